#include "platform/registry/registry.h"

#include "platform/file/atomicfile.h"
#include "platform/file/fileexception.h"
#include "platform/registry/regkey.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <new>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

constexpr int32_t kHiveCount = 3;
constexpr uintptr_t kPredefinedBase = 0x80000000u;
const char* const kHiveNames[kHiveCount] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                            "HKEY_LOCAL_MACHINE"};

thread_local std::string t_strLastError;

LONG FailWith(LONG code, std::string text) {
    t_strLastError = std::move(text);
    return code;
}

std::string_view Sv(const char* p) {
    return p == nullptr ? std::string_view() : p;
}

// A key as a handle names it: the hive and the names on the way down from its root.
struct CKeyRef {
    int32_t nHive = -1;
    std::vector<std::string> path;
};

// The process's open handles. Constructed once and never destroyed, so a library that closes
// keys from its own static destructors at exit still finds it.
class CHandleTable {
public:
    static CHandleTable& Get() {
        alignas(CHandleTable) static unsigned char storage[sizeof(CHandleTable)];
        static CHandleTable* table = ::new (storage) CHandleTable;
        return *table;
    }

    HKEY Add(CKeyRef ref) {
        std::lock_guard lock(m_mutex);
        for (;;) {
            m_nNext = m_nNext >= kPredefinedBase - 1 ? 1 : m_nNext + 1;
            if (m_handles.find(m_nNext) == m_handles.end())
                break;
        }
        m_handles.emplace(m_nNext, std::move(ref));
        return reinterpret_cast<HKEY>(m_nNext);
    }

    bool Find(uintptr_t id, CKeyRef& out) {
        std::lock_guard lock(m_mutex);
        const auto it = m_handles.find(id);
        if (it == m_handles.end())
            return false;
        out = it->second;
        return true;
    }

    bool Remove(uintptr_t id) {
        std::lock_guard lock(m_mutex);
        return m_handles.erase(id) > 0;
    }

private:
    std::mutex m_mutex;
    std::unordered_map<uintptr_t, CKeyRef> m_handles;
    uintptr_t m_nNext = 0;
};

int32_t PredefinedHive(HKEY hKey) {
    const uintptr_t id = reinterpret_cast<uintptr_t>(hKey);
    if (id >= kPredefinedBase && id < kPredefinedBase + kHiveCount)
        return static_cast<int32_t>(id - kPredefinedBase);
    return -1;
}

LONG ResolveHandle(HKEY hKey, CKeyRef& out) {
    const int32_t hive = PredefinedHive(hKey);
    if (hive >= 0) {
        out.nHive = hive;
        out.path.clear();
        return ERROR_SUCCESS;
    }
    if (hKey == nullptr || !CHandleTable::Get().Find(reinterpret_cast<uintptr_t>(hKey), out))
        return ERROR_INVALID_HANDLE;
    return ERROR_SUCCESS;
}

// Appends the names of subKey to path.
LONG AppendPath(std::string_view subKey, std::vector<std::string>& path) {
    while (!subKey.empty()) {
        const size_t sep = subKey.find('\\');
        const std::string_view name = subKey.substr(0, sep);
        if (name.empty() || name.find_first_of("\r\n") != std::string_view::npos)
            return ERROR_INVALID_PARAMETER;
        path.emplace_back(name);
        if (static_cast<int32_t>(path.size()) > kMaxRegistryKeyDepth)
            return ERROR_INVALID_PARAMETER;
        if (sep == std::string_view::npos)
            break;
        subKey.remove_prefix(sep + 1);
        if (subKey.empty())
            return ERROR_INVALID_PARAMETER; // trailing '\'
    }
    return ERROR_SUCCESS;
}

// The handle's key plus subKey.
LONG Resolve(HKEY hKey, std::string_view subKey, CKeyRef& base, CKeyRef& full) {
    const LONG r = ResolveHandle(hKey, base);
    if (r != ERROR_SUCCESS)
        return r;
    full = base;
    return AppendPath(subKey, full.path);
}

CHiveKey* Descend(CHiveKey& root, const std::vector<std::string>& path, size_t count) {
    CHiveKey* key = &root;
    for (size_t i = 0; i < count && key != nullptr; ++i)
        key = key->FindSubKey(path[i]);
    return key;
}

std::string HivePathIn(const std::string& folder, int32_t hive) {
    return folder + "/" + kHiveNames[hive] + ".reg";
}

LONG LoadHiveFile(const std::string& path, CHiveKey& root) {
    std::string text;
    try {
        if (!ReadWholeFile(path, text)) {
            const int err = errno;
            if (err == ENOENT || err == ENOTDIR)
                return ERROR_SUCCESS; // no file yet: an empty hive
            return FailWith(ERROR_CANTREAD, path + ": " + std::strerror(err));
        }
    } catch (const CFileException& e) {
        return FailWith(ERROR_CANTREAD, e.what());
    }
    CHiveParseError error;
    if (!ParseHiveText(text, root, error)) {
        return FailWith(ERROR_BADDB,
                        path + ":" + std::to_string(error.nLine) + ": " + error.strMessage);
    }
    return ERROR_SUCCESS;
}

// Reads the hive as its file is now.
LONG ReadHive(int32_t hive, CHiveKey& root) {
    const std::string folder = RegGetRegistryFolder();
    root = CHiveKey(kHiveNames[hive]);
    if (folder.empty())
        return ERROR_SUCCESS;
    return LoadHiveFile(HivePathIn(folder, hive), root);
}

class CLockFile {
public:
    ~CLockFile() {
        if (m_fd >= 0)
            ::close(m_fd); // releases the flock
    }
    bool Lock(const std::string& path) {
        m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (m_fd < 0)
            return false;
        while (::flock(m_fd, LOCK_EX) != 0) {
            if (errno != EINTR)
                return false;
        }
        return true;
    }

private:
    int m_fd = -1;
};

// One write: lock, re-read, change, replace. mutate(root, changed) returns a result code and
// sets changed when the file needs writing.
template <class Mutate> LONG WriteHive(int32_t hive, Mutate&& mutate) {
    const std::string folder = RegGetRegistryFolder();
    if (folder.empty())
        return FailWith(ERROR_CANTWRITE, "no registry folder: set ZEPHRA_REGISTRY_DIR or HOME");
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec)
        return FailWith(ERROR_CANTWRITE, folder + ": " + ec.message());
    const std::string path = HivePathIn(folder, hive);
    CLockFile lock;
    if (!lock.Lock(path + ".lock"))
        return FailWith(ERROR_CANTWRITE, path + ".lock: " + std::strerror(errno));
    CHiveKey root(kHiveNames[hive]);
    LONG r = LoadHiveFile(path, root);
    if (r != ERROR_SUCCESS)
        return r;
    bool changed = false;
    r = mutate(root, changed);
    if (r != ERROR_SUCCESS || !changed)
        return r;
    const std::string text = FormatHiveText(root);
    CAtomicFile file;
    if (!file.Open(path))
        return FailWith(ERROR_CANTWRITE, path + ": " + std::strerror(errno));
    try {
        file.Write(text);
        file.Commit();
    } catch (const CFileException& e) {
        return FailWith(ERROR_CANTWRITE, e.what());
    }
    return ERROR_SUCCESS;
}

// Resolves hKey\subKey, reads its hive into root and finds the key (null when it does not
// exist). ERROR_KEY_DELETED when the key hKey names is gone.
LONG FindKey(HKEY hKey, std::string_view subKey, CHiveKey& root, CKeyRef& base, CKeyRef& full,
             const CHiveKey*& key) {
    LONG r = Resolve(hKey, subKey, base, full);
    if (r != ERROR_SUCCESS)
        return r;
    r = ReadHive(full.nHive, root);
    if (r != ERROR_SUCCESS)
        return r;
    if (Descend(root, base.path, base.path.size()) == nullptr)
        return ERROR_KEY_DELETED;
    key = Descend(root, full.path, full.path.size());
    return ERROR_SUCCESS;
}

// The key full names in root, created with every missing key on the way below base; changed
// is set when a key was created. Null when base itself is gone.
CHiveKey* CreatePath(CHiveKey& root, const CKeyRef& base, const CKeyRef& full, bool& changed) {
    CHiveKey* key = Descend(root, base.path, base.path.size());
    if (key == nullptr)
        return nullptr;
    for (size_t i = base.path.size(); i < full.path.size(); ++i) {
        bool created = false;
        key = &key->CreateSubKey(full.path[i], created);
        changed = changed || created;
    }
    return key;
}

LONG OpenOrCreate(HKEY hKey, std::string_view subKey, bool create, PHKEY phkResult,
                  DWORD* pDisposition) {
    if (phkResult == nullptr)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    CKeyRef base;
    CKeyRef full;
    CHiveKey root;
    const CHiveKey* existing = nullptr;
    LONG r = FindKey(hKey, subKey, root, base, full, existing);
    if (r != ERROR_SUCCESS)
        return r;
    DWORD disposition = REG_OPENED_EXISTING_KEY;
    if (existing == nullptr) {
        if (!create)
            return ERROR_FILE_NOT_FOUND;
        r = WriteHive(full.nHive, [&](CHiveKey& fresh, bool& changed) -> LONG {
            if (CreatePath(fresh, base, full, changed) == nullptr)
                return ERROR_KEY_DELETED;
            disposition = changed ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
            return ERROR_SUCCESS;
        });
        if (r != ERROR_SUCCESS)
            return r;
    }
    *phkResult = CHandleTable::Get().Add(std::move(full));
    if (pDisposition != nullptr)
        *pDisposition = disposition;
    return ERROR_SUCCESS;
}

// Sets a value of hKey\subKey, creating the sub key when needed.
LONG SetValueCore(HKEY hKey, std::string_view subKey, CHiveValue value) {
    CKeyRef base;
    CKeyRef full;
    const LONG r = Resolve(hKey, subKey, base, full);
    if (r != ERROR_SUCCESS)
        return r;
    return WriteHive(full.nHive, [&](CHiveKey& root, bool& changed) -> LONG {
        CHiveKey* key = CreatePath(root, base, full, changed);
        if (key == nullptr)
            return ERROR_KEY_DELETED;
        changed = key->SetValue(std::move(value)) || changed;
        return ERROR_SUCCESS;
    });
}

// Reads a value of hKey\subKey. A missing default value reads as "" when defaultIsEmpty.
LONG QueryValueCore(HKEY hKey, std::string_view subKey, std::string_view name, bool defaultIsEmpty,
                    CHiveValue& out) {
    CKeyRef base;
    CKeyRef full;
    CHiveKey root;
    const CHiveKey* key = nullptr;
    const LONG r = FindKey(hKey, subKey, root, base, full, key);
    if (r != ERROR_SUCCESS)
        return r;
    if (key == nullptr)
        return ERROR_FILE_NOT_FOUND;
    const CHiveValue* value = key->FindValue(name);
    if (value == nullptr) {
        if (!(defaultIsEmpty && name.empty()))
            return ERROR_FILE_NOT_FOUND;
        out = CHiveValue();
        return ERROR_SUCCESS;
    }
    out = *value;
    return ERROR_SUCCESS;
}

LONG EnumKeysCore(HKEY hKey, std::vector<std::string>& names) {
    names.clear();
    CKeyRef ref;
    LONG r = ResolveHandle(hKey, ref);
    if (r != ERROR_SUCCESS)
        return r;
    CHiveKey root;
    r = ReadHive(ref.nHive, root);
    if (r != ERROR_SUCCESS)
        return r;
    const CHiveKey* key = Descend(root, ref.path, ref.path.size());
    if (key == nullptr)
        return ERROR_KEY_DELETED;
    names.reserve(key->SubKeys().size());
    for (const auto& [folded, sub] : key->SubKeys())
        names.push_back(sub->Name());
    return ERROR_SUCCESS;
}

LONG DeleteValueCore(HKEY hKey, std::string_view name) {
    CKeyRef ref;
    const LONG r = ResolveHandle(hKey, ref);
    if (r != ERROR_SUCCESS)
        return r;
    return WriteHive(ref.nHive, [&](CHiveKey& root, bool& changed) -> LONG {
        CHiveKey* key = Descend(root, ref.path, ref.path.size());
        if (key == nullptr)
            return ERROR_KEY_DELETED;
        if (!key->RemoveValue(name))
            return ERROR_FILE_NOT_FOUND;
        changed = true;
        return ERROR_SUCCESS;
    });
}

LONG DeleteKeyCore(HKEY hKey, std::string_view subKey, bool emptyParents) {
    CKeyRef base;
    CKeyRef full;
    const LONG r = Resolve(hKey, subKey, base, full);
    if (r != ERROR_SUCCESS)
        return r;
    if (full.path.empty())
        return ERROR_ACCESS_DENIED; // a hive root stays
    return WriteHive(full.nHive, [&](CHiveKey& root, bool& changed) -> LONG {
        // chain[i] is the key i levels below the root on the way to the one to delete.
        std::vector<CHiveKey*> chain{&root};
        for (const std::string& name : full.path) {
            CHiveKey* next = chain.back()->FindSubKey(name);
            if (next == nullptr) {
                return chain.size() <= base.path.size() ? ERROR_KEY_DELETED : ERROR_FILE_NOT_FOUND;
            }
            chain.push_back(next);
        }
        const size_t depth = full.path.size();
        if (!chain[depth]->SubKeys().empty())
            return ERROR_ACCESS_DENIED;
        chain[depth - 1]->RemoveSubKey(full.path[depth - 1]);
        changed = true;
        if (emptyParents) {
            for (size_t i = depth - 1; i > base.path.size(); --i) {
                if (!chain[i]->SubKeys().empty())
                    break;
                chain[i - 1]->RemoveSubKey(full.path[i - 1]);
            }
        }
        return ERROR_SUCCESS;
    });
}

LONG CopyOut(const std::string& data, BYTE* lpData, DWORD* lpcbData) {
    if (lpcbData == nullptr)
        return lpData == nullptr ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
    const DWORD need = static_cast<DWORD>(data.size());
    if (lpData != nullptr && *lpcbData < need) {
        *lpcbData = need;
        return ERROR_MORE_DATA;
    }
    if (lpData != nullptr)
        std::memcpy(lpData, data.data(), data.size());
    *lpcbData = need;
    return ERROR_SUCCESS;
}

} // namespace

LONG RegCreateKeyEx(HKEY hKey, const char* lpSubKey, DWORD /*Reserved*/, char* /*lpClass*/,
                    DWORD /*dwOptions*/, REGSAM /*samDesired*/,
                    const void* /*lpSecurityAttributes*/, PHKEY phkResult, DWORD* lpdwDisposition) {
    return OpenOrCreate(hKey, Sv(lpSubKey), true, phkResult, lpdwDisposition);
}

LONG RegCreateKey(HKEY hKey, const char* lpSubKey, PHKEY phkResult) {
    return OpenOrCreate(hKey, Sv(lpSubKey), true, phkResult, nullptr);
}

LONG RegOpenKeyEx(HKEY hKey, const char* lpSubKey, DWORD /*ulOptions*/, REGSAM /*samDesired*/,
                  PHKEY phkResult) {
    return OpenOrCreate(hKey, Sv(lpSubKey), false, phkResult, nullptr);
}

LONG RegOpenKey(HKEY hKey, const char* lpSubKey, PHKEY phkResult) {
    return OpenOrCreate(hKey, Sv(lpSubKey), false, phkResult, nullptr);
}

LONG RegCloseKey(HKEY hKey) {
    if (PredefinedHive(hKey) >= 0)
        return ERROR_SUCCESS;
    if (hKey == nullptr || !CHandleTable::Get().Remove(reinterpret_cast<uintptr_t>(hKey)))
        return ERROR_INVALID_HANDLE;
    return ERROR_SUCCESS;
}

LONG RegSetValueEx(HKEY hKey, const char* lpValueName, DWORD /*Reserved*/, DWORD dwType,
                   const BYTE* lpData, DWORD cbData) {
    CHiveValue value;
    value.m_strName = Sv(lpValueName);
    value.m_dwType = dwType;
    if (dwType == REG_SZ) {
        if (lpData == nullptr && cbData > 0)
            return ERROR_INVALID_PARAMETER;
        const char* text = reinterpret_cast<const char*>(lpData);
        const size_t len = cbData == 0 ? 0 : ::strnlen(text, cbData);
        value.m_strText.assign(text == nullptr ? "" : text, len);
    } else if (dwType == REG_DWORD) {
        if (lpData == nullptr || cbData != sizeof(DWORD))
            return ERROR_INVALID_PARAMETER;
        std::memcpy(&value.m_dwNumber, lpData, sizeof(DWORD));
    } else {
        return ERROR_INVALID_PARAMETER;
    }
    return SetValueCore(hKey, {}, std::move(value));
}

LONG RegSetValue(HKEY hKey, const char* lpSubKey, DWORD dwType, const char* lpData,
                 DWORD /*cbData*/) {
    if (dwType != REG_SZ || lpData == nullptr)
        return ERROR_INVALID_PARAMETER;
    CHiveValue value;
    value.m_strText = lpData;
    return SetValueCore(hKey, Sv(lpSubKey), std::move(value));
}

LONG RegQueryValueEx(HKEY hKey, const char* lpValueName, DWORD* /*lpReserved*/, DWORD* lpType,
                     BYTE* lpData, DWORD* lpcbData) {
    if (lpData != nullptr && lpcbData == nullptr)
        return ERROR_INVALID_PARAMETER;
    CHiveValue value;
    const LONG r = QueryValueCore(hKey, {}, Sv(lpValueName), false, value);
    if (r != ERROR_SUCCESS)
        return r;
    if (lpType != nullptr)
        *lpType = value.m_dwType;
    if (value.m_dwType == REG_DWORD) {
        return CopyOut(std::string(reinterpret_cast<const char*>(&value.m_dwNumber), sizeof(DWORD)),
                       lpData, lpcbData);
    }
    return CopyOut(value.m_strText + '\0', lpData, lpcbData);
}

LONG RegQueryValue(HKEY hKey, const char* lpSubKey, char* lpData, LONG* lpcbData) {
    if (lpData != nullptr && lpcbData == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (lpcbData != nullptr && *lpcbData < 0)
        return ERROR_INVALID_PARAMETER;
    CHiveValue value;
    const LONG r = QueryValueCore(hKey, Sv(lpSubKey), {}, true, value);
    if (r != ERROR_SUCCESS)
        return r;
    if (value.m_dwType != REG_SZ)
        return ERROR_INVALID_DATA;
    DWORD size = lpcbData == nullptr ? 0 : static_cast<DWORD>(*lpcbData);
    const LONG c = CopyOut(value.m_strText + '\0', reinterpret_cast<BYTE*>(lpData),
                           lpcbData == nullptr ? nullptr : &size);
    if (lpcbData != nullptr)
        *lpcbData = static_cast<LONG>(size);
    return c;
}

LONG RegDeleteValue(HKEY hKey, const char* lpValueName) {
    return DeleteValueCore(hKey, Sv(lpValueName));
}

LONG RegEnumKeyEx(HKEY hKey, DWORD dwIndex, char* lpName, DWORD* lpcchName, DWORD* /*lpReserved*/,
                  char* lpClass, DWORD* lpcchClass, FILETIME* lpftLastWriteTime) {
    if (lpName == nullptr || lpcchName == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::vector<std::string> names;
    const LONG r = EnumKeysCore(hKey, names);
    if (r != ERROR_SUCCESS)
        return r;
    if (dwIndex >= names.size())
        return ERROR_NO_MORE_ITEMS;
    const std::string& name = names[dwIndex];
    if (*lpcchName <= name.size())
        return ERROR_MORE_DATA;
    std::memcpy(lpName, name.c_str(), name.size() + 1);
    *lpcchName = static_cast<DWORD>(name.size());
    if (lpClass != nullptr && lpcchClass != nullptr && *lpcchClass > 0)
        *lpClass = '\0';
    if (lpcchClass != nullptr)
        *lpcchClass = 0;
    if (lpftLastWriteTime != nullptr)
        *lpftLastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

LONG RegEnumKey(HKEY hKey, DWORD dwIndex, char* lpName, DWORD cchName) {
    return RegEnumKeyEx(hKey, dwIndex, lpName, &cchName, nullptr, nullptr, nullptr, nullptr);
}

LONG RegDeleteKey(HKEY hKey, const char* lpSubKey) {
    return DeleteKeyCore(hKey, Sv(lpSubKey), false);
}

LONG RegDeleteKeyAndEmptyParents(HKEY hKey, const char* lpSubKey) {
    return DeleteKeyCore(hKey, Sv(lpSubKey), true);
}

std::string RegGetRegistryFolder() {
    auto trimmed = [](std::string s) {
        while (s.size() > 1 && s.back() == '/')
            s.pop_back();
        return s;
    };
    const char* dir = std::getenv("ZEPHRA_REGISTRY_DIR");
    if (dir != nullptr && *dir != '\0')
        return trimmed(dir);
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && *xdg == '/') // relative values are to be ignored
        return trimmed(xdg) + "/brimble-zephra/registry";
    std::string home;
    if (const char* h = std::getenv("HOME"); h != nullptr && *h != '\0') {
        home = h;
    } else {
        struct passwd pw {};
        struct passwd* found = nullptr;
        char buffer[4096];
        if (::getpwuid_r(::getuid(), &pw, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
            found->pw_dir != nullptr)
            home = found->pw_dir;
    }
    if (home.empty())
        return {};
    home = trimmed(home);
    return (home == "/" ? std::string() : home) + "/.config/brimble-zephra/registry";
}

std::string RegGetHiveFilePath(HKEY hive) {
    const int32_t index = PredefinedHive(hive);
    const std::string folder = RegGetRegistryFolder();
    if (index < 0 || folder.empty())
        return {};
    return HivePathIn(folder, index);
}

LONG RegCheckHive(HKEY hive, std::string* errorText) {
    const int32_t index = PredefinedHive(hive);
    if (index < 0)
        return ERROR_INVALID_HANDLE;
    CHiveKey root;
    const LONG r = ReadHive(index, root);
    if (r != ERROR_SUCCESS && errorText != nullptr)
        *errorText = t_strLastError;
    return r;
}

std::string RegGetLastErrorText() {
    return t_strLastError;
}

// CRegKey ----------------------------------------------------------------------------------------

CRegKey& CRegKey::operator=(CRegKey&& other) noexcept {
    if (this != &other) {
        Close();
        m_hKey = other.Detach();
    }
    return *this;
}

LONG CRegKey::Create(HKEY hKeyParent, std::string_view subKey, DWORD* pDisposition) {
    HKEY hKey = nullptr;
    const LONG r = OpenOrCreate(hKeyParent, subKey, true, &hKey, pDisposition);
    Close();
    m_hKey = hKey;
    return r;
}

LONG CRegKey::Open(HKEY hKeyParent, std::string_view subKey) {
    HKEY hKey = nullptr;
    const LONG r = OpenOrCreate(hKeyParent, subKey, false, &hKey, nullptr);
    Close();
    m_hKey = hKey;
    return r;
}

LONG CRegKey::Close() {
    if (m_hKey == nullptr)
        return ERROR_SUCCESS;
    const LONG r = RegCloseKey(m_hKey);
    m_hKey = nullptr;
    return r;
}

void CRegKey::Attach(HKEY hKey) {
    Close();
    m_hKey = hKey;
}

HKEY CRegKey::Detach() noexcept {
    return std::exchange(m_hKey, nullptr);
}

LONG CRegKey::QueryStringValue(std::string_view valueName, std::string& value) const {
    CHiveValue found;
    const LONG r = QueryValueCore(m_hKey, {}, valueName, false, found);
    if (r != ERROR_SUCCESS)
        return r;
    if (found.m_dwType != REG_SZ)
        return ERROR_INVALID_DATA;
    value = std::move(found.m_strText);
    return ERROR_SUCCESS;
}

LONG CRegKey::QueryDWORDValue(std::string_view valueName, DWORD& value) const {
    CHiveValue found;
    const LONG r = QueryValueCore(m_hKey, {}, valueName, false, found);
    if (r != ERROR_SUCCESS)
        return r;
    if (found.m_dwType != REG_DWORD)
        return ERROR_INVALID_DATA;
    value = found.m_dwNumber;
    return ERROR_SUCCESS;
}

LONG CRegKey::SetStringValue(std::string_view valueName, std::string_view value) {
    return SetKeyValue({}, value, valueName);
}

LONG CRegKey::SetDWORDValue(std::string_view valueName, DWORD value) {
    CHiveValue v;
    v.m_strName = valueName;
    v.m_dwType = REG_DWORD;
    v.m_dwNumber = value;
    return SetValueCore(m_hKey, {}, std::move(v));
}

LONG CRegKey::SetKeyValue(std::string_view subKey, std::string_view value,
                          std::string_view valueName) {
    CHiveValue v;
    v.m_strName = valueName;
    v.m_strText = value.substr(0, value.find('\0'));
    return SetValueCore(m_hKey, subKey, std::move(v));
}

LONG CRegKey::DeleteValue(std::string_view valueName) {
    return DeleteValueCore(m_hKey, valueName);
}

LONG CRegKey::DeleteSubKey(std::string_view subKey) {
    if (subKey.empty())
        return ERROR_INVALID_PARAMETER;
    return DeleteKeyCore(m_hKey, subKey, false);
}

LONG CRegKey::EnumKeyNames(std::vector<std::string>& names) const {
    return EnumKeysCore(m_hKey, names);
}
