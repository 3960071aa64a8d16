#include "platform/com/com.h"
#include "platform/file/atomicfile.h"
#include "platform/registry/regkey.h"
#include "tests/platform/com/testserver.h"
#include "tests/support/classesroot.h"

#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string kServerPath = ZEPHRA_TEST_SERVER;
const std::string kNoExportsPath = ZEPHRA_TEST_NOEXPORTS;

// Whether the dynamic linker still has the library mapped (without loading it).
bool IsMapped(const std::string& path) {
    void* h = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (h == nullptr)
        return false;
    ::dlclose(h);
    return true;
}

std::string ClassKey(const CLSID& clsid) {
    return "CLSID\\" + GuidToString(clsid);
}

// A fresh registry with the test server registered in it, and COM initialised.
class ComRuntime : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("ZEPHRA_REGISTRY_DIR");
        m_hadOld = old != nullptr;
        if (m_hadOld)
            m_old = old;
        std::string templ = (fs::temp_directory_path() / "zephra-com-XXXXXX").string();
        ASSERT_NE(::mkdtemp(templ.data()), nullptr);
        m_root = templ;
        ::setenv("ZEPHRA_REGISTRY_DIR", (m_root / "registry").c_str(), 1);
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        ASSERT_EQ(RegisterServerLibrary(kServerPath), S_OK) << CoGetLastErrorText();
    }
    void TearDown() override {
        CoUninitialize();
        EXPECT_FALSE(IsMapped(kServerPath)) << "the last CoUninitialize unloads idle libraries";
        fs::remove_all(m_root);
        if (m_hadOld)
            ::setenv("ZEPHRA_REGISTRY_DIR", m_old.c_str(), 1);
        else
            ::unsetenv("ZEPHRA_REGISTRY_DIR");
    }

    CComDispatchDriver Create() {
        CComDispatchDriver driver;
        EXPECT_EQ(driver.p.CoCreateInstance(kTestProgID), S_OK) << CoGetLastErrorText();
        return driver;
    }

    fs::path m_root;
    bool m_hadOld = false;
    std::string m_old;
};

} // namespace

TEST_F(ComRuntime, RegistrationWritesClassKeysAndCategoryAndUnregistrationRemovesThem) {
    const std::string classKey = ClassKey(CLSID_ZephraTestServer);
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(kTestProgID, &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_ZephraTestServer);
    ASSERT_EQ(CLSIDFromProgID(u"zephra.testserver", &clsid), S_OK) << "ProgIDs ignore case";
    std::string progId;
    ASSERT_EQ(ProgIDFromCLSID(CLSID_ZephraTestServer, progId), S_OK);
    EXPECT_EQ(progId, kTestProgID);
    LPOLESTR wide = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(CLSID_ZephraTestServer, &wide), S_OK);
    EXPECT_EQ(Utf8FromUtf16(wide), kTestProgID);
    CoTaskMemFree(wide);

    EXPECT_EQ(KeyValue(classKey + "\\InprocServer32"), fs::canonical(kServerPath).string());
    EXPECT_EQ(KeyValue("Component Categories\\" + GuidToString(CATID_ZephraTest), "409"),
              kTestCategoryDescription);
    EXPECT_TRUE(
        KeyExists(classKey + "\\Implemented Categories\\" + GuidToString(CATID_ZephraTest)));

    // A second registration keeps the existing ProgID and class keys' values and rewrites the
    // others.
    CRegKey root(HKEY_CLASSES_ROOT);
    ASSERT_EQ(root.SetKeyValue(kTestProgID, "changed by hand"), ERROR_SUCCESS);
    ASSERT_EQ(root.SetKeyValue(classKey + "\\InprocServer32", "/elsewhere.so"), ERROR_SUCCESS);
    ASSERT_EQ(RegisterServerLibrary(kServerPath), S_OK);
    EXPECT_EQ(KeyValue(kTestProgID), "changed by hand");
    EXPECT_EQ(KeyValue(classKey + "\\InprocServer32"), fs::canonical(kServerPath).string());

    // Another class keeps the CLSID key alive.
    ASSERT_EQ(root.SetKeyValue("CLSID\\{00000000-0000-0000-0000-0000000000AA}", "other"),
              ERROR_SUCCESS);
    ASSERT_EQ(UnregisterServerLibrary(kServerPath), S_OK) << CoGetLastErrorText();
    for (const std::string& key : {std::string(kTestProgID), classKey})
        EXPECT_FALSE(KeyExists(key)) << key;
    EXPECT_TRUE(KeyExists("CLSID\\{00000000-0000-0000-0000-0000000000AA}"));
    EXPECT_EQ(KeyValue("Component Categories\\" + GuidToString(CATID_ZephraTest), "409"),
              kTestCategoryDescription)
        << "the category itself stays";
    EXPECT_EQ(CLSIDFromProgID(kTestProgID, &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(UnregisterServerLibrary(kServerPath), REGDB_E_CLASSNOTREG);
}

TEST_F(ComRuntime, CreatedByProgIDAndDrivenByDispatchIdWithEveryType) {
    CComDispatchDriver object = Create();
    ASSERT_TRUE(object.p);
    UINT count = 7;
    EXPECT_EQ(object.p->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);

    // Each property by a hand-built put (value as the named argument DISPID_PROPERTYPUT), then
    // a get.
    struct Property {
        DISPID dispid;
        CComVariant value;
    };
    const Property properties[] = {
        {DISPID_TEST_FLAG, CComVariant(true)},
        {DISPID_TEST_SMALL, CComVariant(SHORT{-32768})},
        {DISPID_TEST_COUNT, CComVariant(LONG{2147483647})},
        {DISPID_TEST_WHEN, CComVariant::FromDate(36526.5)},
        {DISPID_TEST_TEXT, CComVariant("Gr\xC3\xBC\xC3\x9F"
                                       "e \"quoted\" \xF0\x9F\x98\x80")},
    };
    for (const Property& prop : properties) {
        VARIANT arg = prop.value;
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS put{&arg, &named, 1, 1};
        ASSERT_EQ(object.p->Invoke(prop.dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT,
                                   &put, nullptr, nullptr, nullptr),
                  S_OK)
            << prop.dispid;
        CComVariant got;
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        ASSERT_EQ(object.p->Invoke(prop.dispid, IID_NULL, LOCALE_USER_DEFAULT,
                                   DISPATCH_PROPERTYGET | DISPATCH_METHOD, &none, &got, nullptr,
                                   nullptr),
                  S_OK);
        ASSERT_EQ(got.vt, prop.value.vt) << prop.dispid;
        CComVariant a(got);
        CComVariant b(prop.value);
        ASSERT_EQ(a.ChangeType(VT_BSTR), S_OK);
        ASSERT_EQ(b.ChangeType(VT_BSTR), S_OK);
        EXPECT_EQ(Utf8FromBstr(a.bstrVal), Utf8FromBstr(b.bstrVal)) << prop.dispid;
    }
    // A put converts what it is given to the property's type.
    ASSERT_EQ(object.PutProperty(DISPID_TEST_SMALL, CComVariant("123")), S_OK);
    CComVariant small;
    ASSERT_EQ(object.GetProperty(DISPID_TEST_SMALL, &small), S_OK);
    EXPECT_EQ(small.vt, VT_I2);
    EXPECT_EQ(small.iVal, 123);

    // Arguments travel last first: rgvarg[0] is the fifth argument.
    CComVariant args[5] = {CComVariant(true), CComVariant::FromDate(36526.5), CComVariant("txt"),
                           CComVariant(LONG{-70000}), CComVariant(SHORT{7})};
    DISPPARAMS call{args, nullptr, 5, 0};
    CComVariant result;
    ASSERT_EQ(object.p->Invoke(DISPID_TEST_DESCRIBE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                               &call, &result, nullptr, nullptr),
              S_OK);
    const std::string expected = "short=7 long=-70000 text=txt date=2000-01-01 12:00:00 bool=true";
    EXPECT_EQ(Utf8FromBstr(result.bstrVal), expected);
    // The driver takes them in call order, and the callee converts what it can.
    const CComVariant inOrder[5] = {CComVariant("7"), CComVariant(SHORT{-7}), CComVariant(LONG{5}),
                                    CComVariant("2000-01-01 12:00"), CComVariant(LONG{0})};
    ASSERT_EQ(object.InvokeN(DISPID_TEST_DESCRIBE, inOrder, &result), S_OK);
    EXPECT_EQ(Utf8FromBstr(result.bstrVal),
              "short=7 long=-7 text=5 date=2000-01-01 12:00:00 bool=false");

    DISPID id = 0;
    EXPECT_EQ(object.GetIDOfName("dEsCrIbE", &id), S_OK);
    EXPECT_EQ(id, DISPID_TEST_DESCRIBE);
    EXPECT_EQ(object.GetIDOfName("Missing", &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);

    // The object answers its dispinterface id with the same IDispatch.
    CComPtr<IUnknown> unknown;
    ASSERT_EQ(object.p.QueryInterface(unknown.Receive()), S_OK);
    void* dispinterface = nullptr;
    ASSERT_EQ(unknown->QueryInterface(DIID_ZephraTestServer, &dispinterface), S_OK);
    EXPECT_EQ(dispinterface, static_cast<void*>(object.p.Get()));
    object.p->Release();
    CComPtr<ICatRegister> notThere;
    EXPECT_EQ(object.p.QueryInterface(notThere.Receive()), E_NOINTERFACE);
    EXPECT_FALSE(notThere);
}

TEST_F(ComRuntime, DispatchFailuresComeBackWithTheirCodes) {
    CComDispatchDriver object = Create();
    ASSERT_TRUE(object.p);

    CComVariant value(SHORT{1});
    DISPID named = DISPID_PROPERTYPUT;
    struct Case {
        const char* what;
        DISPID dispid;
        WORD flags;
        DISPPARAMS params;
        HRESULT hr;
    };
    CComVariant bad[2] = {CComVariant("not a number"), CComVariant(LONG{70000})};
    const Case cases[] = {
        {"unknown member", 99, DISPATCH_METHOD, {nullptr, nullptr, 0, 0}, DISP_E_MEMBERNOTFOUND},
        {"put without DISPID_PROPERTYPUT",
         DISPID_TEST_SMALL,
         DISPATCH_PROPERTYPUT,
         {&value, nullptr, 1, 0},
         DISP_E_PARAMNOTOPTIONAL},
        {"get with an argument",
         DISPID_TEST_SMALL,
         DISPATCH_PROPERTYGET,
         {&value, nullptr, 1, 0},
         DISP_E_BADPARAMCOUNT},
        {"method called as a property",
         DISPID_TEST_DESCRIBE,
         DISPATCH_PROPERTYGET,
         {nullptr, nullptr, 0, 0},
         DISP_E_MEMBERNOTFOUND},
        {"too few arguments",
         DISPID_TEST_DESCRIBE,
         DISPATCH_METHOD,
         {&value, nullptr, 1, 0},
         DISP_E_BADPARAMCOUNT},
        {"text that is no short",
         DISPID_TEST_SMALL,
         DISPATCH_PROPERTYPUT,
         {bad, &named, 1, 1},
         DISP_E_TYPEMISMATCH},
        {"number too big for a short",
         DISPID_TEST_SMALL,
         DISPATCH_PROPERTYPUT,
         {bad + 1, &named, 1, 1},
         DISP_E_OVERFLOW},
    };
    for (const Case& c : cases) {
        DISPPARAMS params = c.params;
        UINT argErr = 99;
        CComVariant result;
        EXPECT_EQ(object.p->Invoke(c.dispid, IID_NULL, LOCALE_USER_DEFAULT, c.flags, &params,
                                   &result, nullptr, &argErr),
                  c.hr)
            << c.what;
        if (c.hr == DISP_E_TYPEMISMATCH || c.hr == DISP_E_OVERFLOW) {
            EXPECT_EQ(argErr, 0u) << c.what;
        }
    }
    // The argument index names the offending entry of rgvarg.
    CComVariant args[5] = {CComVariant(true), CComVariant("no date"), CComVariant("t"),
                           CComVariant(LONG{1}), CComVariant(SHORT{1})};
    DISPPARAMS call{args, nullptr, 5, 0};
    UINT argErr = 99;
    EXPECT_EQ(object.p->Invoke(DISPID_TEST_DESCRIBE, IID_NULL, 0, DISPATCH_METHOD, &call, nullptr,
                               nullptr, &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 1u);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(object.p->Invoke(DISPID_TEST_FLAG, IID_IDispatch, 0, DISPATCH_PROPERTYGET, &none,
                               nullptr, nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);

    // An exception carries its description to the caller, who owns the strings.
    EXCEPINFO excep{};
    CComVariant message("Save to /x.wgt Error!");
    DISPPARAMS raise{&message, nullptr, 1, 0};
    EXPECT_EQ(object.p->Invoke(DISPID_TEST_RAISE, IID_NULL, 0, DISPATCH_METHOD, &raise, nullptr,
                               &excep, nullptr),
              DISP_E_EXCEPTION);
    EXPECT_EQ(Utf8FromBstr(excep.bstrDescription), "Save to /x.wgt Error!");
    EXPECT_EQ(excep.scode, E_FAIL);
    ClearExcepInfo(&excep);
    EXPECT_EQ(object.Invoke1(DISPID_TEST_RAISE, CComVariant("disk full")), DISP_E_EXCEPTION);
    EXPECT_EQ(object.ExceptionDescription(), "disk full");
    EXPECT_EQ(object.ExceptionSource(), kTestProgID);
    EXPECT_EQ(object.Invoke0(DISPID_TEST_INSTANCE), S_OK);
    EXPECT_EQ(object.ExceptionDescription(), "") << "cleared by the next call";
}

TEST_F(ComRuntime, CreationFailuresHaveTheirCodes) {
    CRegKey root(HKEY_CLASSES_ROOT);
    const std::string notALibrary = (m_root / "not-a-library.so").string();
    {
        CAtomicFile f;
        ASSERT_TRUE(f.Open(notALibrary));
        f.Write("this is text, not ELF");
        f.Commit();
    }
    struct Case {
        const char* what;
        const char* path; // InprocServer32 of a class registered for this case; null: none
        DWORD context;
        HRESULT hr;
    };
    const Case cases[] = {
        {"unregistered class", nullptr, CLSCTX_ALL, REGDB_E_CLASSNOTREG},
        {"missing library", "/nonexistent/zephra/missing.so", CLSCTX_ALL, CO_E_DLLNOTFOUND},
        {"file that is no library", notALibrary.c_str(), CLSCTX_ALL, CO_E_ERRORINDLL},
        {"library without the exports", kNoExportsPath.c_str(), CLSCTX_INPROC_SERVER,
         CO_E_ERRORINDLL},
        {"library that lacks the class", kServerPath.c_str(), CLSCTX_ALL,
         CLASS_E_CLASSNOTAVAILABLE},
        {"class key without a path", "", CLSCTX_ALL, REGDB_E_CLASSNOTREG},
        {"only a local server asked for", kServerPath.c_str(), CLSCTX_LOCAL_SERVER,
         REGDB_E_CLASSNOTREG},
    };
    uint32_t n = 0;
    for (const Case& c : cases) {
        CLSID clsid = MakeGuid("{C0FFEE00-0000-0000-0000-000000000000}");
        clsid.Data1 += ++n;
        if (c.path != nullptr) {
            ASSERT_EQ(root.SetKeyValue(ClassKey(clsid) + "\\InprocServer32", c.path),
                      ERROR_SUCCESS);
        }
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(CoCreateInstance(clsid, nullptr, c.context, IID_IDispatch, &object), c.hr)
            << c.what << ": " << CoGetLastErrorText();
        EXPECT_EQ(object, nullptr) << c.what;
        EXPECT_FALSE(CoGetLastErrorText().empty()) << c.what;
    }
    EXPECT_FALSE(IsMapped(kNoExportsPath)) << "a library that is no server is not kept";

    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID("No.Such.ProgID", &clsid), CO_E_CLASSSTRING);
    ASSERT_EQ(root.SetKeyValue("Broken.ProgID\\CLSID", "{not a guid}"), ERROR_SUCCESS);
    EXPECT_EQ(CLSIDFromProgID("Broken.ProgID", &clsid), CO_E_CLASSSTRING);

    CComPtr<IDispatch> object;
    CComPtr<IUnknown> outer;
    ASSERT_EQ(object.CoCreateInstance(kTestProgID), S_OK);
    ASSERT_EQ(object.QueryInterface(outer.Receive()), S_OK);
    CComPtr<IDispatch> aggregated;
    EXPECT_EQ(aggregated.CoCreateInstance(CLSID_ZephraTestServer, outer), CLASS_E_NOAGGREGATION);
    CComPtr<ICatRegister> wrongInterface;
    EXPECT_EQ(wrongInterface.CoCreateInstance(CLSID_ZephraTestServer), E_NOINTERFACE);

    // A damaged HKEY_CLASSES_ROOT is a registry read error, with the file and line to show.
    const std::string hive = RegGetHiveFilePath(HKEY_CLASSES_ROOT);
    std::string text;
    ASSERT_TRUE(ReadWholeFile(hive, text));
    {
        CAtomicFile f;
        ASSERT_TRUE(f.Open(hive));
        f.Write(text + "garbage\n");
        f.Commit();
    }
    EXPECT_EQ(CLSIDFromProgID(kTestProgID, &clsid), REGDB_E_READREGDB);
    EXPECT_EQ(object.CoCreateInstance(CLSID_ZephraTestServer), REGDB_E_READREGDB);
    EXPECT_NE(CoGetLastErrorText().find("HKEY_CLASSES_ROOT.reg:"), std::string::npos)
        << CoGetLastErrorText();
    {
        CAtomicFile f;
        ASSERT_TRUE(f.Open(hive));
        f.Write(text);
        f.Commit();
    }
}

TEST_F(ComRuntime, LibraryIsLoadedOnceAndUnloadedOnlyAfterItsLastReference) {
    CComDispatchDriver first = Create();
    CComDispatchDriver second = Create();
    ASSERT_TRUE(first.p && second.p);
    EXPECT_TRUE(IsMapped(kServerPath));

    // The module's strings, by the handle the object reports.
    CComVariant handle;
    ASSERT_EQ(first.Invoke0(DISPID_TEST_INSTANCE, &handle), S_OK);
    ASSERT_EQ(handle.vt, VT_I4);
    CComVariant handle2;
    ASSERT_EQ(second.Invoke0(DISPID_TEST_INSTANCE, &handle2), S_OK);
    EXPECT_EQ(handle.lVal, handle2.lVal) << "one load, one module";
    std::string text;
    ASSERT_TRUE(LoadString(handle.lVal, IDS_TEST_NAME, text));
    EXPECT_EQ(text, kTestNameText);
    ASSERT_TRUE(LoadString(handle.lVal, IDS_TEST_TYPE, text));
    EXPECT_EQ(text, kTestTypeText);
    text = "kept";
    EXPECT_FALSE(LoadString(handle.lVal, 999, text));
    EXPECT_FALSE(LoadString(0, IDS_TEST_NAME, text));
    EXPECT_FALSE(LoadString(handle.lVal + 1000, IDS_TEST_NAME, text));
    EXPECT_EQ(text, "kept");

    // Live objects, then a held class object, keep the library.
    first.p.Release();
    CoFreeUnusedLibraries();
    EXPECT_TRUE(IsMapped(kServerPath));
    CComPtr<IClassFactory> factory;
    ASSERT_EQ(CoGetClassObject(CLSID_ZephraTestServer, CLSCTX_INPROC_SERVER, nullptr,
                               IID_IClassFactory, factory.ReceiveVoid()),
              S_OK);
    second.p.Release();
    CoFreeUnusedLibraries();
    EXPECT_TRUE(IsMapped(kServerPath));
    ASSERT_EQ(factory->LockServer(true), S_OK);
    factory.Release();
    CoFreeUnusedLibraries();
    EXPECT_TRUE(IsMapped(kServerPath)) << "a server lock keeps it too";
    // Unlocking needs the factory again.
    ASSERT_EQ(CoGetClassObject(CLSID_ZephraTestServer, CLSCTX_INPROC_SERVER, nullptr,
                               IID_IClassFactory, factory.ReceiveVoid()),
              S_OK);
    ASSERT_EQ(factory->LockServer(false), S_OK);
    factory.Release();

    CoFreeUnusedLibraries();
    EXPECT_FALSE(IsMapped(kServerPath));
    EXPECT_FALSE(LoadString(handle.lVal, IDS_TEST_NAME, text)) << "its table left with it";

    // The next creation loads it again, under a new handle.
    CComDispatchDriver again = Create();
    ASSERT_TRUE(again.p);
    CComVariant handle3;
    ASSERT_EQ(again.Invoke0(DISPID_TEST_INSTANCE, &handle3), S_OK);
    EXPECT_NE(handle3.lVal, handle.lVal);
    ASSERT_TRUE(LoadString(handle3.lVal, IDS_TEST_NAME, text));
}

TEST(ComInitialisation, CreationNeedsCoInitializeAndCountsCalls) {
    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                               IID_ICatRegister, &object),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    CoUninitialize();
    CComPtr<ICatRegister> manager;
    EXPECT_EQ(
        manager.CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER),
        S_OK)
        << "built in, without any registry entry";
    manager.Release();
    CoUninitialize();
    EXPECT_EQ(manager.CoCreateInstance(CLSID_StdComponentCategoriesMgr), CO_E_NOTINITIALIZED);
    CoUninitialize(); // one too many is ignored
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    CoUninitialize();
}
