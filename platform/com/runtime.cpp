#include "platform/com/runtime.h"

#include "platform/com/comcat.h"
#include "platform/com/comptr.h"
#include "platform/com/server.h"
#include "platform/registry/regkey.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

namespace {

thread_local std::string t_strLastError;

HRESULT Fail(HRESULT hr, std::string text) {
    t_strLastError = std::move(text);
    return hr;
}

struct CLoadedLibrary {
    std::string strPath; // canonical
    void* hLib = nullptr;
    LPFNGETCLASSOBJECT pfnGetClassObject = nullptr;
    LPFNCANUNLOADNOW pfnCanUnloadNow = nullptr;
    LPFNREGISTERSERVER pfnRegisterServer = nullptr;
    LPFNUNREGISTERSERVER pfnUnregisterServer = nullptr;
};

// Process-wide state. Never destroyed: nothing is unloaded behind the back of objects still in
// use while the process exits.
class CRuntime {
public:
    static CRuntime& Get() {
        alignas(CRuntime) static unsigned char storage[sizeof(CRuntime)];
        static CRuntime* runtime = ::new (storage) CRuntime;
        return *runtime;
    }

    std::atomic<int32_t> m_nInitCount{0};
    // Recursive: a library may create objects from DllGetClassObject or DllRegisterServer.
    std::recursive_mutex m_mutex;
    std::vector<std::unique_ptr<CLoadedLibrary>> m_libraries;
};

// The symbol only if the library itself defines it: dlsym on a handle also searches the
// library's dependencies, which must not answer for it.
void* OwnSymbol(void* hLib, const char* name) {
    void* sym = ::dlsym(hLib, name);
    if (sym == nullptr)
        return nullptr;
    struct link_map* map = nullptr;
    Dl_info info{};
    if (::dlinfo(hLib, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr || ::dladdr(sym, &info) == 0 ||
        info.dli_fname == nullptr || map->l_name == nullptr ||
        std::strcmp(info.dli_fname, map->l_name) != 0)
        return nullptr;
    return sym;
}

// Finds the library in the table or loads it. A library that exports DllGetClassObject is kept
// in the table and *entry points at its record; any other is loaded only for the caller, who
// gets it in scratch (then *entry == &scratch) and must dlclose it. Called with the lock held.
HRESULT FindOrLoad(CRuntime& rt, const std::string& path, CLoadedLibrary& scratch,
                   CLoadedLibrary*& entry) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr)
        return Fail(CO_E_DLLNOTFOUND, path + ": " + std::strerror(errno));
    for (const auto& lib : rt.m_libraries) {
        if (lib->strPath == resolved) {
            entry = lib.get();
            return S_OK;
        }
    }
    ::dlerror();
    void* hLib = ::dlopen(resolved, RTLD_NOW | RTLD_LOCAL);
    if (hLib == nullptr) {
        const char* why = ::dlerror();
        return Fail(CO_E_ERRORINDLL, why != nullptr ? why : path + ": cannot be loaded");
    }
    auto lib = std::make_unique<CLoadedLibrary>();
    lib->strPath = resolved;
    lib->hLib = hLib;
    lib->pfnGetClassObject =
        reinterpret_cast<LPFNGETCLASSOBJECT>(OwnSymbol(hLib, kDllGetClassObjectName));
    lib->pfnCanUnloadNow =
        reinterpret_cast<LPFNCANUNLOADNOW>(OwnSymbol(hLib, kDllCanUnloadNowName));
    lib->pfnRegisterServer =
        reinterpret_cast<LPFNREGISTERSERVER>(OwnSymbol(hLib, kDllRegisterServerName));
    lib->pfnUnregisterServer =
        reinterpret_cast<LPFNUNREGISTERSERVER>(OwnSymbol(hLib, kDllUnregisterServerName));
    if (lib->pfnGetClassObject == nullptr) {
        scratch = *lib;
        entry = &scratch;
        return S_OK;
    }
    entry = lib.get();
    rt.m_libraries.push_back(std::move(lib));
    return S_OK;
}

// The library path registered for a class.
HRESULT ServerPathOf(REFCLSID rclsid, std::string& path) {
    const std::string key = "CLSID\\" + GuidToString(rclsid) + "\\InprocServer32";
    CRegKey server;
    LONG r = server.Open(HKEY_CLASSES_ROOT, key);
    if (r == ERROR_FILE_NOT_FOUND)
        return Fail(REGDB_E_CLASSNOTREG, "HKEY_CLASSES_ROOT\\" + key + " does not exist");
    if (r == ERROR_SUCCESS)
        r = server.QueryStringValue("", path);
    if (r == ERROR_FILE_NOT_FOUND || (r == ERROR_SUCCESS && path.empty()))
        return Fail(REGDB_E_CLASSNOTREG, "HKEY_CLASSES_ROOT\\" + key + " names no library");
    if (r != ERROR_SUCCESS)
        return Fail(REGDB_E_READREGDB, RegGetLastErrorText());
    return S_OK;
}

HRESULT CallRegistration(const std::string& path, bool unregister) {
    t_strLastError.clear();
    CRuntime& rt = CRuntime::Get();
    CoInitialize(nullptr);
    CLoadedLibrary scratch;
    HRESULT hr = S_OK;
    {
        std::lock_guard lock(rt.m_mutex);
        CLoadedLibrary* entry = nullptr;
        hr = FindOrLoad(rt, path, scratch, entry);
        if (SUCCEEDED(hr)) {
            const auto fn = unregister ? entry->pfnUnregisterServer : entry->pfnRegisterServer;
            if (fn == nullptr) {
                hr = Fail(CO_E_ERRORINDLL,
                          path + " does not export " +
                              (unregister ? kDllUnregisterServerName : kDllRegisterServerName));
            } else {
                hr = fn();
                if (FAILED(hr) && t_strLastError.empty())
                    t_strLastError = path + ": registration answered " + DescribeHResult(hr);
            }
        }
    }
    if (scratch.hLib != nullptr)
        ::dlclose(scratch.hLib);
    CoUninitialize();
    return hr;
}

} // namespace

HRESULT CoInitialize(void* /*pvReserved*/) {
    return CRuntime::Get().m_nInitCount.fetch_add(1) == 0 ? S_OK : S_FALSE;
}

HRESULT CoInitializeEx(void* pvReserved, DWORD /*dwCoInit*/) {
    return CoInitialize(pvReserved);
}

void CoUninitialize() {
    std::atomic<int32_t>& count = CRuntime::Get().m_nInitCount;
    int32_t n = count.load();
    while (n > 0 && !count.compare_exchange_weak(n, n - 1)) {
    }
    if (n == 1)
        CoFreeUnusedLibraries();
}

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, void* /*pvReserved*/, REFIID riid,
                         void** ppv) {
    t_strLastError.clear();
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    CRuntime& rt = CRuntime::Get();
    if (rt.m_nInitCount.load() == 0)
        return Fail(CO_E_NOTINITIALIZED, "CoInitialize has not been called");
    if ((dwClsContext & CLSCTX_INPROC_SERVER) == 0)
        return Fail(REGDB_E_CLASSNOTREG, "only in-process servers exist here");
    if (rclsid == CLSID_StdComponentCategoriesMgr)
        return GetStdComponentCategoriesMgrClassObject(riid, ppv);

    std::string path;
    HRESULT hr = ServerPathOf(rclsid, path);
    if (FAILED(hr))
        return hr;
    CLoadedLibrary scratch;
    {
        std::lock_guard lock(rt.m_mutex);
        CLoadedLibrary* entry = nullptr;
        hr = FindOrLoad(rt, path, scratch, entry);
        if (SUCCEEDED(hr) && entry != &scratch) {
            hr = entry->pfnGetClassObject(rclsid, riid, ppv);
            if (FAILED(hr)) {
                *ppv = nullptr;
                Fail(hr, path + ": DllGetClassObject answered " + DescribeHResult(hr));
            }
            return hr;
        }
    }
    if (SUCCEEDED(hr)) {
        ::dlclose(scratch.hLib);
        hr = Fail(CO_E_ERRORINDLL, path + " does not export " + kDllGetClassObjectName);
    }
    return hr;
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                         void** ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    CComPtr<IClassFactory> factory;
    HRESULT hr =
        CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory, factory.ReceiveVoid());
    if (FAILED(hr))
        return hr;
    hr = factory->CreateInstance(pUnkOuter, riid, ppv);
    if (FAILED(hr)) {
        *ppv = nullptr;
        Fail(hr, "creating " + GuidToString(rclsid) + " answered " + DescribeHResult(hr));
    }
    return hr;
}

void CoFreeUnusedLibraries() {
    CRuntime& rt = CRuntime::Get();
    std::vector<void*> unload;
    {
        std::lock_guard lock(rt.m_mutex);
        auto& libs = rt.m_libraries;
        for (auto it = libs.begin(); it != libs.end();) {
            const auto& lib = **it;
            if (lib.pfnCanUnloadNow != nullptr && lib.pfnCanUnloadNow() == S_OK) {
                unload.push_back(lib.hLib);
                it = libs.erase(it);
            } else {
                ++it;
            }
        }
    }
    // Outside the lock: the libraries' static destructors run now and may call back.
    for (void* hLib : unload)
        ::dlclose(hLib);
}

void* CoTaskMemAlloc(size_t cb) {
    return std::malloc(cb == 0 ? 1 : cb);
}

void CoTaskMemFree(void* pv) {
    std::free(pv);
}

namespace {

HRESULT DupOleString(const std::u16string& text, LPOLESTR* out) {
    auto* p = static_cast<OLECHAR*>(CoTaskMemAlloc((text.size() + 1) * sizeof(OLECHAR)));
    if (p == nullptr)
        return E_OUTOFMEMORY;
    std::memcpy(p, text.c_str(), (text.size() + 1) * sizeof(OLECHAR));
    *out = p;
    return S_OK;
}

} // namespace

HRESULT CLSIDFromProgID(std::string_view progId, CLSID* pclsid) {
    t_strLastError.clear();
    if (pclsid == nullptr)
        return E_INVALIDARG;
    const std::string name(progId);
    if (name.empty() || name.find('\\') != std::string::npos)
        return Fail(CO_E_CLASSSTRING, "\"" + name + "\" is not a ProgID");
    CRegKey key;
    std::string text;
    LONG r = key.Open(HKEY_CLASSES_ROOT, name + "\\CLSID");
    if (r == ERROR_SUCCESS)
        r = key.QueryStringValue("", text);
    if (r == ERROR_FILE_NOT_FOUND)
        return Fail(CO_E_CLASSSTRING, "ProgID " + name + " is not registered");
    if (r != ERROR_SUCCESS)
        return Fail(REGDB_E_READREGDB, RegGetLastErrorText());
    if (!GuidFromString(text, *pclsid))
        return Fail(CO_E_CLASSSTRING, "ProgID " + name + " names the malformed CLSID " + text);
    return S_OK;
}

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* pclsid) {
    if (lpszProgID == nullptr)
        return E_INVALIDARG;
    return CLSIDFromProgID(Utf8FromUtf16(lpszProgID), pclsid);
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, std::string& progId) {
    t_strLastError.clear();
    const std::string key = "CLSID\\" + GuidToString(clsid) + "\\ProgID";
    CRegKey progKey;
    std::string text;
    LONG r = progKey.Open(HKEY_CLASSES_ROOT, key);
    if (r == ERROR_SUCCESS)
        r = progKey.QueryStringValue("", text);
    if (r == ERROR_FILE_NOT_FOUND || (r == ERROR_SUCCESS && text.empty()))
        return Fail(REGDB_E_CLASSNOTREG, "HKEY_CLASSES_ROOT\\" + key + " holds no ProgID");
    if (r != ERROR_SUCCESS)
        return Fail(REGDB_E_READREGDB, RegGetLastErrorText());
    progId = std::move(text);
    return S_OK;
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID) {
    if (lplpszProgID == nullptr)
        return E_INVALIDARG;
    *lplpszProgID = nullptr;
    std::string progId;
    const HRESULT hr = ProgIDFromCLSID(clsid, progId);
    return FAILED(hr) ? hr : DupOleString(Utf16FromUtf8(progId), lplpszProgID);
}

HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz) {
    if (lplpsz == nullptr)
        return E_INVALIDARG;
    *lplpsz = nullptr;
    return DupOleString(Utf16FromUtf8(GuidToString(rclsid)), lplpsz);
}

HRESULT CLSIDFromString(std::string_view text, CLSID* pclsid) {
    if (pclsid == nullptr)
        return E_INVALIDARG;
    return GuidFromString(text, *pclsid) ? S_OK : CO_E_CLASSSTRING;
}

HRESULT CLSIDFromString(LPCOLESTR lpsz, CLSID* pclsid) {
    if (lpsz == nullptr)
        return E_INVALIDARG;
    return CLSIDFromString(Utf8FromUtf16(lpsz), pclsid);
}

HRESULT RegisterServerLibrary(const std::string& path) {
    return CallRegistration(path, false);
}

HRESULT UnregisterServerLibrary(const std::string& path) {
    return CallRegistration(path, true);
}

std::string CoGetLastErrorText() {
    return t_strLastError;
}
