#include "platform/file/atomicfile.h"
#include "platform/registry/registry.h"
#include "platform/registry/regkey.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Saves an environment variable and puts it back afterwards.
class CEnvGuard {
public:
    explicit CEnvGuard(const char* name) : m_name(name) {
        const char* v = std::getenv(name);
        m_had = v != nullptr;
        if (m_had)
            m_value = v;
    }
    ~CEnvGuard() {
        if (m_had)
            ::setenv(m_name, m_value.c_str(), 1);
        else
            ::unsetenv(m_name);
    }

private:
    const char* m_name;
    bool m_had = false;
    std::string m_value;
};

// Each test gets its own registry folder (not created yet: the first write makes it).
class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        std::string templ = (fs::temp_directory_path() / "zephra-registry-XXXXXX").string();
        ASSERT_NE(::mkdtemp(templ.data()), nullptr);
        m_root = templ;
        m_folder = m_root / "registry";
        ::setenv("ZEPHRA_REGISTRY_DIR", m_folder.c_str(), 1);
    }
    void TearDown() override { fs::remove_all(m_root); }

    std::string HiveText(HKEY hive) {
        std::string text;
        EXPECT_TRUE(ReadWholeFile(RegGetHiveFilePath(hive), text));
        return text;
    }

    CEnvGuard m_guard{"ZEPHRA_REGISTRY_DIR"};
    fs::path m_root;
    fs::path m_folder;
};

ino_t InodeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

TEST_F(Registry, ValuesAndAwkwardTextsRoundTripThroughTheFile) {
    struct TextCase {
        const char* key;
        const char* name;
        const char* text;
    };
    const TextCase texts[] = {
        {"Plain", "", "default text"},
        {"Quotes \"q\"", "say \"hi\"", "she said \"no\""},
        {"Paths", "C:\\Path\\", "C:\\Temp\\a.htm\\"},
        {"Eq=key", "a=b", "x=y=z"},
        {"Gr\xC3\xBC\xC3\x9F"
         "e \xE2\x9C\x93",
         "\xE6\x97\xA5\xE6\x9C\xAC", "\xC3\x9Cn\xC3\xAF \xF0\x9F\x98\x80"},
        {"[Bracket] key]", "]", "[Section]"},
        {"Lines", "multi\nline", "a\r\nb\nc\r"},
        {"Spaces ", " lead", "  both  "},
        {";Semi", ";not a comment", "@"},
        {"Empty", "empty", ""},
    };
    struct NumberCase {
        const char* name;
        DWORD value;
        const char* line;
    };
    const NumberCase numbers[] = {
        {"Zero", 0, "\"Zero\"=dword:00000000"},
        {"Ten", 10, "\"Ten\"=dword:0000000a"},
        {"High", 0x80000000u, "\"High\"=dword:80000000"},
        {"Max", 0xFFFFFFFFu, "\"Max\"=dword:ffffffff"},
    };
    for (const TextCase& c : texts) {
        CRegKey key;
        ASSERT_EQ(key.Create(HKEY_CURRENT_USER, std::string("Software\\Test\\") + c.key),
                  ERROR_SUCCESS)
            << c.key;
        ASSERT_EQ(key.SetStringValue(c.name, c.text), ERROR_SUCCESS) << c.key;
    }
    {
        CRegKey key;
        ASSERT_EQ(key.Create(HKEY_CURRENT_USER, "Software\\Test\\Numbers"), ERROR_SUCCESS);
        for (const NumberCase& c : numbers)
            ASSERT_EQ(key.SetDWORDValue(c.name, c.value), ERROR_SUCCESS);
    }

    // Every read parses the file again, so this checks what the file holds.
    for (const TextCase& c : texts) {
        CRegKey key;
        ASSERT_EQ(key.Open(HKEY_CURRENT_USER, std::string("Software\\Test\\") + c.key),
                  ERROR_SUCCESS)
            << c.key;
        std::string value;
        EXPECT_EQ(key.QueryStringValue(c.name, value), ERROR_SUCCESS) << c.key;
        EXPECT_EQ(value, c.text) << c.key;
    }
    CRegKey numbersKey;
    ASSERT_EQ(numbersKey.Open(HKEY_CURRENT_USER, "Software\\Test\\Numbers"), ERROR_SUCCESS);
    for (const NumberCase& c : numbers) {
        DWORD value = 1;
        EXPECT_EQ(numbersKey.QueryDWORDValue(c.name, value), ERROR_SUCCESS);
        EXPECT_EQ(value, c.value) << c.name;
    }

    const std::string file = HiveText(HKEY_CURRENT_USER);
    for (const NumberCase& c : numbers)
        EXPECT_NE(file.find(std::string("\n") + c.line + "\n"), std::string::npos) << c.line;
    for (const char* line :
         {"\n@=\"default text\"\n", "\n\"say \\\"hi\\\"\"=\"she said \\\"no\\\"\"\n",
          "\n\"C:\\\\Path\\\\\"=\"C:\\\\Temp\\\\a.htm\\\\\"\n",
          "\n[HKEY_CURRENT_USER\\Software\\Test\\[Bracket] key]]\n",
          "\n\"multi\\nline\"=\"a\\r\\nb\\nc\\r\"\n"}) {
        EXPECT_NE(file.find(line), std::string::npos) << line << "\nin\n" << file;
    }
    EXPECT_EQ(file.rfind("REGEDIT4\n", 0), 0u);

    // Writing what is already there leaves the file alone.
    const ino_t before = InodeOf(RegGetHiveFilePath(HKEY_CURRENT_USER));
    CRegKey again;
    DWORD disposition = 0;
    ASSERT_EQ(again.Create(HKEY_CURRENT_USER, "software\\test\\numbers", &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    EXPECT_EQ(again.SetDWORDValue("TEN", 10), ERROR_SUCCESS);
    EXPECT_EQ(InodeOf(RegGetHiveFilePath(HKEY_CURRENT_USER)), before);
    EXPECT_EQ(HiveText(HKEY_CURRENT_USER), file);
}

TEST_F(Registry, LookupIgnoresCaseAndKeepsTheFirstSpelling) {
    CRegKey key;
    DWORD disposition = 0;
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, "Software\\Tandrel\\Brimble Zephra", &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    ASSERT_EQ(key.SetStringValue("LastFile", "a.wgt"), ERROR_SUCCESS);

    CRegKey upper;
    ASSERT_EQ(upper.Open(HKEY_CURRENT_USER, "SOFTWARE\\tandrel\\BRIMBLE ZEPHRA"), ERROR_SUCCESS);
    ASSERT_EQ(upper.SetStringValue("LASTFILE", "b.wgt"), ERROR_SUCCESS);
    std::string value;
    ASSERT_EQ(key.QueryStringValue("lastfile", value), ERROR_SUCCESS);
    EXPECT_EQ(value, "b.wgt");

    CRegKey sub;
    ASSERT_EQ(sub.Create(HKEY_CURRENT_USER, "software\\TANDREL\\brimble zephra\\Frame"),
              ERROR_SUCCESS);

    std::vector<std::string> names;
    CRegKey software;
    ASSERT_EQ(software.Open(HKEY_CURRENT_USER, "software"), ERROR_SUCCESS);
    ASSERT_EQ(software.EnumKeyNames(names), ERROR_SUCCESS);
    EXPECT_EQ(names, std::vector<std::string>{"Tandrel"});
    EXPECT_EQ(HiveText(HKEY_CURRENT_USER),
              "REGEDIT4\n\n"
              "[HKEY_CURRENT_USER\\Software]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Tandrel]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Tandrel\\Brimble Zephra]\n"
              "\"LastFile\"=\"b.wgt\"\n\n"
              "[HKEY_CURRENT_USER\\Software\\Tandrel\\Brimble "
              "Zephra\\Frame]\n\n");
    // The hives are separate files.
    CRegKey other;
    EXPECT_EQ(other.Open(HKEY_LOCAL_MACHINE, "Software"), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, Win32CallsFollowTheirBufferAndNameRules) {
    ASSERT_EQ(RegSetValue(HKEY_CLASSES_ROOT, "Zephra.Test\\CLSID", REG_SZ, "{ABC}", 0),
              ERROR_SUCCESS);
    HKEY hKey = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, "zephra.test", 0, KEY_READ, &hKey), ERROR_SUCCESS);

    // The default value of a key that has none reads as "" through RegQueryValue, and is
    // missing for RegQueryValueEx.
    char buffer[16] = "junk";
    LONG cb = sizeof buffer;
    EXPECT_EQ(RegQueryValue(hKey, nullptr, buffer, &cb), ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(cb, 1);
    EXPECT_EQ(RegQueryValueEx(hKey, nullptr, nullptr, nullptr, nullptr, nullptr),
              ERROR_FILE_NOT_FOUND);

    cb = 0;
    EXPECT_EQ(RegQueryValue(hKey, "CLSID", nullptr, &cb), ERROR_SUCCESS);
    EXPECT_EQ(cb, 6);
    cb = 5;
    EXPECT_EQ(RegQueryValue(hKey, "CLSID", buffer, &cb), ERROR_MORE_DATA);
    EXPECT_EQ(cb, 6);
    cb = 6;
    EXPECT_EQ(RegQueryValue(hKey, "clsid", buffer, &cb), ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "{ABC}");

    const DWORD n = 0x1234;
    ASSERT_EQ(RegSetValueEx(hKey, "N", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&n), 4),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueEx(hKey, "N", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&n), 2),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueEx(hKey, "B", 0, 3 /* REG_BINARY */, reinterpret_cast<const BYTE*>(&n), 4),
              ERROR_INVALID_PARAMETER);
    // REG_SZ data stops at its NUL.
    ASSERT_EQ(RegSetValueEx(hKey, "S", 0, REG_SZ, reinterpret_cast<const BYTE*>("ab\0cd"), 6),
              ERROR_SUCCESS);
    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueEx(hKey, "s", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 3u);
    DWORD out = 0;
    size = sizeof out;
    EXPECT_EQ(RegQueryValueEx(hKey, "n", nullptr, &type, reinterpret_cast<BYTE*>(&out), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(out, n);
    std::string text;
    CRegKey wrapper(hKey);
    EXPECT_EQ(wrapper.QueryStringValue("N", text), ERROR_INVALID_DATA);
    EXPECT_EQ(wrapper.DeleteValue("n"), ERROR_SUCCESS);
    EXPECT_EQ(wrapper.DeleteValue("n"), ERROR_FILE_NOT_FOUND);

    // Enumeration is in folded-name order with the stored spelling.
    for (const char* name : {"beta", "Alpha", "gamma"})
        ASSERT_EQ(wrapper.SetKeyValue(name, "x"), ERROR_SUCCESS);
    char name[8];
    DWORD cch = sizeof name;
    ASSERT_EQ(RegEnumKeyEx(wrapper, 0, name, &cch, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_STREQ(name, "Alpha");
    EXPECT_EQ(cch, 5u);
    EXPECT_EQ(RegEnumKey(wrapper, 1, name, sizeof name), ERROR_SUCCESS);
    EXPECT_STREQ(name, "beta");
    EXPECT_EQ(RegEnumKey(wrapper, 2, name, sizeof name), ERROR_SUCCESS);
    EXPECT_STREQ(name, "CLSID");
    EXPECT_EQ(RegEnumKey(wrapper, 3, name, 5), ERROR_MORE_DATA);
    EXPECT_EQ(RegEnumKey(wrapper, 4, name, sizeof name), ERROR_NO_MORE_ITEMS);

    // Names the file could not hold, or paths with empty names, are refused.
    HKEY bad = nullptr;
    for (const char* path : {"a\\\\b", "a\\", "\\a", "line\nbreak", "cr\rkey"})
        EXPECT_EQ(RegCreateKey(HKEY_CLASSES_ROOT, path, &bad), ERROR_INVALID_PARAMETER) << path;
    std::string deep;
    for (int i = 0; i <= kMaxRegistryKeyDepth; ++i)
        deep += "k\\";
    deep.pop_back();
    EXPECT_EQ(RegCreateKey(HKEY_CLASSES_ROOT, deep.c_str(), &bad), ERROR_INVALID_PARAMETER);

    // A closed or made-up handle is reported, not followed.
    HKEY closed = wrapper.Detach();
    EXPECT_EQ(RegCloseKey(closed), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(closed), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegSetValue(closed, "x", REG_SZ, "y", 0), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegOpenKey(reinterpret_cast<HKEY>(uintptr_t{0x80000003}), "x", &bad),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_CLASSES_ROOT), ERROR_SUCCESS);
}

TEST_F(Registry, DeleteKeyRefusesKeysThatHaveSubKeys) {
    ASSERT_EQ(RegSetValue(HKEY_CLASSES_ROOT, "App\\Sub", REG_SZ, "v", 0), ERROR_SUCCESS);
    const std::string before = HiveText(HKEY_CLASSES_ROOT);
    EXPECT_EQ(RegDeleteKey(HKEY_CLASSES_ROOT, "App"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(HiveText(HKEY_CLASSES_ROOT), before);
    EXPECT_EQ(RegDeleteKey(HKEY_CLASSES_ROOT, "App\\Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKey(HKEY_CLASSES_ROOT, ""), ERROR_ACCESS_DENIED);

    EXPECT_EQ(RegDeleteKey(HKEY_CLASSES_ROOT, "APP\\SUB"), ERROR_SUCCESS);
    CRegKey app;
    ASSERT_EQ(app.Open(HKEY_CLASSES_ROOT, "App"), ERROR_SUCCESS) << "the parent stays";
    EXPECT_EQ(RegDeleteKey(HKEY_CLASSES_ROOT, "App"), ERROR_SUCCESS);

    // A handle whose key went away says so instead of acting on a missing key.
    std::string value;
    EXPECT_EQ(app.QueryStringValue("", value), ERROR_KEY_DELETED);
    EXPECT_EQ(app.SetStringValue("", "again"), ERROR_KEY_DELETED);
    CRegKey child;
    EXPECT_EQ(child.Create(app, "Child"), ERROR_KEY_DELETED);
    EXPECT_EQ(RegDeleteKey(app, nullptr), ERROR_KEY_DELETED);
}

// What unregistering an in-process server does: remove its class keys one after the other,
// letting each take its emptied parents along.
TEST_F(Registry, DeleteKeyAndEmptyParentsClimbsUntilAKeyStillHasSubKeys) {
    const char* const clsid = "CLSID\\{3673BDD0-F2E8-11D2-9EA9-0000E8E0AEB1}";
    const std::string classKey = clsid;
    ASSERT_EQ(RegSetValue(HKEY_CLASSES_ROOT, "PlaquetServer.Zephra", REG_SZ, "P", 0),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValue(HKEY_CLASSES_ROOT, clsid, REG_SZ, "P", 0), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValue(HKEY_CLASSES_ROOT, "PlaquetServer.Zephra\\CLSID", REG_SZ, "{..}", 0),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValue(HKEY_CLASSES_ROOT, (classKey + "\\ProgID").c_str(), REG_SZ, "P", 0),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValue(HKEY_CLASSES_ROOT, (classKey + "\\InProcServer32").c_str(), REG_SZ,
                          "/lib/x.so", 0),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValue(HKEY_CLASSES_ROOT, "CLSID\\{00000000-0000-0000-0000-000000000001}",
                          REG_SZ, "another class", 0),
              ERROR_SUCCESS);

    struct Step {
        std::string key;
        LONG result;
    };
    const Step steps[] = {
        {"PlaquetServer.Zephra", ERROR_ACCESS_DENIED}, // still has CLSID below it
        {classKey, ERROR_ACCESS_DENIED},
        {"PlaquetServer.Zephra\\CLSID", ERROR_SUCCESS}, // takes PlaquetServer.Zephra along
        {classKey + "\\ProgID", ERROR_SUCCESS},         // parent keeps InProcServer32
        {classKey + "\\inprocserver32", ERROR_SUCCESS}, // takes the class key along
    };
    for (const Step& s : steps)
        EXPECT_EQ(RegDeleteKeyAndEmptyParents(HKEY_CLASSES_ROOT, s.key.c_str()), s.result) << s.key;
    EXPECT_EQ(HiveText(HKEY_CLASSES_ROOT),
              "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\CLSID]\n\n"
              "[HKEY_CLASSES_ROOT\\CLSID\\{00000000-0000-0000-0000-000000000001}]\n"
              "@=\"another class\"\n\n");

    // Never above the handle's own key, even when that key is left empty.
    CRegKey clsidKey;
    ASSERT_EQ(clsidKey.Open(HKEY_CLASSES_ROOT, "CLSID"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyAndEmptyParents(clsidKey, "{00000000-0000-0000-0000-000000000001}"),
              ERROR_SUCCESS);
    std::vector<std::string> names;
    EXPECT_EQ(clsidKey.EnumKeyNames(names), ERROR_SUCCESS);
    EXPECT_TRUE(names.empty());
    // From the hive root, an emptied CLSID goes too.
    ASSERT_EQ(RegSetValue(clsidKey, "{X}\\InprocServer32", REG_SZ, "p", 0), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyAndEmptyParents(HKEY_CLASSES_ROOT, "CLSID\\{X}\\InprocServer32"),
              ERROR_SUCCESS);
    EXPECT_EQ(HiveText(HKEY_CLASSES_ROOT), "REGEDIT4\n\n");
}

TEST_F(Registry, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kWrites = 150;
    // Both start from an existing file so every write is a read-modify-replace.
    ASSERT_EQ(RegSetValue(HKEY_CURRENT_USER, "Start", REG_SZ, "x", 0), ERROR_SUCCESS);
    auto writeMany = [](const char* who) {
        bool ok = true;
        for (int i = 0; i < kWrites; ++i) {
            const std::string key = std::string("Race\\") + who + "\\" + std::to_string(i);
            CRegKey k;
            ok = ok && k.Create(HKEY_CURRENT_USER, key) == ERROR_SUCCESS;
            ok = ok && k.SetDWORDValue("i", static_cast<DWORD>(i)) == ERROR_SUCCESS;
        }
        return ok;
    };
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        ::_exit(writeMany("child") ? 0 : 1);
    const bool parentOk = writeMany("parent");
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(parentOk);

    for (const char* who : {"parent", "child"}) {
        CRegKey race;
        ASSERT_EQ(race.Open(HKEY_CURRENT_USER, std::string("Race\\") + who), ERROR_SUCCESS);
        std::vector<std::string> names;
        ASSERT_EQ(race.EnumKeyNames(names), ERROR_SUCCESS);
        EXPECT_EQ(names.size(), static_cast<size_t>(kWrites)) << who;
        for (int i = 0; i < kWrites; i += 37) {
            CRegKey k;
            DWORD v = 0;
            ASSERT_EQ(k.Open(race, std::to_string(i)), ERROR_SUCCESS);
            EXPECT_EQ(k.QueryDWORDValue("i", v), ERROR_SUCCESS);
            EXPECT_EQ(v, static_cast<DWORD>(i));
        }
    }
    // No temporary files are left behind: the hive, its lock file, nothing else.
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(m_folder))
        ++entries;
    EXPECT_EQ(entries, 2u);
}

TEST_F(Registry, DamagedHiveIsReportedWithItsLineAndNeverOverwritten) {
    ASSERT_EQ(RegSetValue(HKEY_CURRENT_USER, "Good", REG_SZ, "kept", 0), ERROR_SUCCESS);
    const std::string path = RegGetHiveFilePath(HKEY_CLASSES_ROOT);
    const std::string damaged = "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\A]\n\"x\"=\"C:\\dir\"\n";
    {
        CAtomicFile f;
        ASSERT_TRUE(f.Open(path));
        f.Write(damaged);
        f.Commit();
    }
    HKEY hKey = nullptr;
    EXPECT_EQ(RegOpenKey(HKEY_CLASSES_ROOT, "A", &hKey), ERROR_BADDB);
    EXPECT_EQ(RegGetLastErrorText(), path + ":4: value data: unknown escape \\d (write a "
                                            "backslash as \\\\)");
    EXPECT_EQ(RegCreateKey(HKEY_CLASSES_ROOT, "New", &hKey), ERROR_BADDB);
    EXPECT_EQ(RegSetValue(HKEY_CLASSES_ROOT, "A", REG_SZ, "y", 0), ERROR_BADDB);
    EXPECT_EQ(RegDeleteKey(HKEY_CLASSES_ROOT, "A"), ERROR_BADDB);
    std::string text;
    EXPECT_EQ(RegCheckHive(HKEY_CLASSES_ROOT, &text), ERROR_BADDB);
    EXPECT_NE(text.find("HKEY_CLASSES_ROOT.reg:4:"), std::string::npos) << text;

    std::string now;
    ASSERT_TRUE(ReadWholeFile(path, now));
    EXPECT_EQ(now, damaged);

    // The other hives go on working.
    CRegKey good;
    ASSERT_EQ(good.Open(HKEY_CURRENT_USER, "good"), ERROR_SUCCESS);
    EXPECT_EQ(good.SetStringValue("more", "fine"), ERROR_SUCCESS);
    EXPECT_EQ(RegCheckHive(HKEY_CURRENT_USER, nullptr), ERROR_SUCCESS);
}

TEST_F(Registry, FolderFollowsTheEnvironmentAndIsMadeByTheFirstWrite) {
    CEnvGuard xdg("XDG_CONFIG_HOME");
    CEnvGuard home("HOME");
    const std::string root = m_root.string();

    ::setenv("ZEPHRA_REGISTRY_DIR", (root + "/explicit/").c_str(), 1);
    EXPECT_EQ(RegGetRegistryFolder(), root + "/explicit");
    ::unsetenv("ZEPHRA_REGISTRY_DIR");
    ::setenv("XDG_CONFIG_HOME", (root + "/xdg").c_str(), 1);
    EXPECT_EQ(RegGetRegistryFolder(), root + "/xdg/brimble-zephra/registry");
    ::setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    ::setenv("HOME", (root + "/home").c_str(), 1);
    EXPECT_EQ(RegGetRegistryFolder(), root + "/home/.config/brimble-zephra/registry");

    // Reading creates nothing; the first write makes the folders.
    HKEY hKey = nullptr;
    EXPECT_EQ(RegOpenKey(HKEY_CURRENT_USER, "Software", &hKey), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(fs::exists(root + "/home"));
    ASSERT_EQ(RegSetValue(HKEY_CURRENT_USER, "Software", REG_SZ, "v", 0), ERROR_SUCCESS);
    EXPECT_TRUE(fs::exists(root + "/home/.config/brimble-zephra/registry/HKEY_CURRENT_USER.reg"));

    // A folder that cannot be made is a write error with a text to show.
    ::setenv("ZEPHRA_REGISTRY_DIR",
             (root + "/home/.config/brimble-zephra/registry/"
                     "HKEY_CURRENT_USER.reg/sub")
                 .c_str(),
             1);
    EXPECT_EQ(RegSetValue(HKEY_CURRENT_USER, "Software", REG_SZ, "v", 0), ERROR_CANTWRITE);
    EXPECT_NE(RegGetLastErrorText().find("HKEY_CURRENT_USER.reg/sub"), std::string::npos);
}
