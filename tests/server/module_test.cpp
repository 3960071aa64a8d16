// The component library as a COM server: its registry entries, the four exports, the class
// factory, the live-object count and the string table that comes and goes with the library.

#include "tests/server/componentfixture.h"
#include "tests/support/classesroot.h"

using namespace zephratest;

namespace {

const std::string kClassKey = "CLSID\\{3673BDD0-F2E8-11D2-9EA9-0000E8E0AEB1}";
const std::string kCategory = "{2542EDC1-7EFB-11D2-8CA5-0088CC081531}";
const std::string kProgID = "PlaquetServer.Zephra";

// The library opened a second time by path, for calling its exports directly.
class CLibrary {
public:
    explicit CLibrary(const std::string& path) : m_handle(::dlopen(path.c_str(), RTLD_NOW)) {}
    ~CLibrary() {
        if (m_handle != nullptr)
            ::dlclose(m_handle);
    }
    CLibrary(const CLibrary&) = delete;
    CLibrary& operator=(const CLibrary&) = delete;

    bool IsOpen() const { return m_handle != nullptr; }
    template <class F> F Export(const char* name) const {
        return reinterpret_cast<F>(::dlsym(m_handle, name));
    }
    HRESULT CanUnloadNow() const { return Export<LPFNCANUNLOADNOW>(kDllCanUnloadNowName)(); }
    HRESULT Register() const { return Export<LPFNREGISTERSERVER>(kDllRegisterServerName)(); }
    HRESULT Unregister() const { return Export<LPFNUNREGISTERSERVER>(kDllUnregisterServerName)(); }
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** ppv) const {
        return Export<LPFNGETCLASSOBJECT>(kDllGetClassObjectName)(clsid, iid, ppv);
    }

private:
    void* m_handle;
};

} // namespace

TEST_F(ComponentTest, RegistrationWritesClassKeysAndCategory) {
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(kProgID, &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_Zephra);
    std::string progId;
    ASSERT_EQ(ProgIDFromCLSID(CLSID_Zephra, progId), S_OK);
    EXPECT_EQ(progId, kProgID);

    EXPECT_EQ(KeyValue(kProgID), kProgID);
    EXPECT_EQ(KeyValue(kProgID + "\\CLSID"), GuidToString(CLSID_Zephra));
    EXPECT_EQ(KeyValue(kClassKey), kProgID);
    EXPECT_EQ(KeyValue(kClassKey + "\\ProgID"), kProgID);
    // The full path of the library, whose folder hosts take as the component's folder.
    EXPECT_EQ(KeyValue(kClassKey + "\\InProcServer32"), fs::canonical(kComponentPath).string());
    EXPECT_EQ(KeyValue(kClassKey + "\\InProcServer32", "ThreadingModel"), "<missing>");
    EXPECT_TRUE(KeyExists(kClassKey + "\\Implemented Categories\\" + kCategory));
    EXPECT_EQ(KeyValue("Component Categories\\" + kCategory, "409"), "Tandrel Plaquets");

    // Registering again keeps the ProgID and class keys' values and rewrites the others.
    CRegKey root(HKEY_CLASSES_ROOT);
    const std::pair<std::string, std::string> edits[] = {
        {kProgID, "edited"},
        {kClassKey, "edited"},
        {kProgID + "\\CLSID", "{00000000-0000-0000-0000-000000000001}"},
        {kClassKey + "\\ProgID", "Edited.ProgID"},
        {kClassKey + "\\InProcServer32", "/elsewhere/PlaquetZephra.so"},
    };
    for (const auto& [key, value] : edits)
        ASSERT_EQ(root.SetKeyValue(key, value), ERROR_SUCCESS) << key;
    CLibrary library(kComponentPath);
    ASSERT_TRUE(library.IsOpen());
    ASSERT_EQ(library.Register(), S_OK);
    EXPECT_EQ(KeyValue(kProgID), "edited");
    EXPECT_EQ(KeyValue(kClassKey), "edited");
    EXPECT_EQ(KeyValue(kProgID + "\\CLSID"), GuidToString(CLSID_Zephra));
    EXPECT_EQ(KeyValue(kClassKey + "\\ProgID"), kProgID);
    EXPECT_EQ(KeyValue(kClassKey + "\\InProcServer32"), fs::canonical(kComponentPath).string());
}

TEST_F(ComponentTest, UnregistrationRemovesTheClassKeysAndKeepsTheCategory) {
    CRegKey root(HKEY_CLASSES_ROOT);
    // Another class keeps the CLSID key alive.
    const std::string otherClass = "CLSID\\{00000000-0000-0000-0000-0000000000AA}";
    ASSERT_EQ(root.SetKeyValue(otherClass, "other"), ERROR_SUCCESS);
    CLibrary library(kComponentPath);
    ASSERT_TRUE(library.IsOpen());

    ASSERT_EQ(library.Unregister(), S_OK);
    for (const std::string& key :
         {kProgID, kClassKey, kProgID + "\\CLSID", kClassKey + "\\ProgID",
          kClassKey + "\\InProcServer32", kClassKey + "\\Implemented Categories"})
        EXPECT_FALSE(KeyExists(key)) << key;
    EXPECT_TRUE(KeyExists(otherClass));
    EXPECT_EQ(KeyValue("Component Categories\\" + kCategory, "409"), "Tandrel Plaquets");
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(kProgID, &clsid), CO_E_CLASSSTRING);
    CComPtr<IDispatch> none;
    EXPECT_EQ(none.CoCreateInstance(kProgID), CO_E_CLASSSTRING);

    // Nothing registered: the ProgID cannot be found.
    EXPECT_EQ(library.Unregister(), REGDB_E_CLASSNOTREG);

    // A class key that names another class's ProgID does not take that ProgID with it.
    ASSERT_EQ(library.Register(), S_OK);
    ASSERT_EQ(root.SetKeyValue(kClassKey + "\\ProgID", "Other.App"), ERROR_SUCCESS);
    ASSERT_EQ(root.SetKeyValue("Other.App\\CLSID", "{00000000-0000-0000-0000-0000000000AA}"),
              ERROR_SUCCESS);
    ASSERT_EQ(library.Unregister(), S_OK);
    EXPECT_EQ(KeyValue("Other.App\\CLSID"), "{00000000-0000-0000-0000-0000000000AA}");
    EXPECT_FALSE(KeyExists(kClassKey));
}

TEST_F(ComponentTest, RegistrationIntoAnUnwritableRegistryFails) {
    CLibrary library(kComponentPath);
    ASSERT_TRUE(library.IsOpen());
    // The registry folder lies below a plain file: nothing can be written there.
    WriteFile(Path("blocker"), "not a folder");
    ::setenv("ZEPHRA_REGISTRY_DIR", Path("blocker/registry").c_str(), 1);
    const HRESULT hr = library.Register();
    ::setenv("ZEPHRA_REGISTRY_DIR", Path("registry").c_str(), 1);
    EXPECT_TRUE(FAILED(hr)) << DescribeHResult(hr);
}

TEST_F(ComponentTest, LibraryStaysLoadedWhileObjectsOrLocksLive) {
    // The test program does not link the component: only the runtime maps it, and registration
    // left it idle.
    CoFreeUnusedLibraries();
    ASSERT_FALSE(IsMapped(kComponentPath));

    CWidget first = Create();
    CWidget second = Create();
    ASSERT_TRUE(first.Dispatch() && second.Dispatch());
    ASSERT_TRUE(IsMapped(kComponentPath));
    const CComVariant handle = first.Call(DISPID_ZEPHRA_GETRESOURCEINSTANCE, {});
    ASSERT_EQ(handle.vt, VT_I4);
    EXPECT_NE(handle.lVal, 0);
    EXPECT_EQ(second.Call(DISPID_ZEPHRA_GETRESOURCEINSTANCE, {}).lVal, handle.lVal);
    // The handle names the component's string table, for hosts to load its texts.
    const std::pair<int32_t, const char*> strings[] = {
        {1, "Java Applet"},        {2, "Brimble Zephra 2.1"},
        {3, "Brimble Zephra 2.1"}, {4, "Build a perfect navigation popup menu"},
        {5, "Brimble Zephra 2.1"}, {102, "zephracore.class"},
        {57344, "Brimble Zephra"},
    };
    for (const auto& [id, text] : strings) {
        std::string loaded;
        EXPECT_TRUE(LoadString(handle.lVal, id, loaded)) << id;
        EXPECT_EQ(loaded, text) << id;
    }

    {
        CLibrary library(kComponentPath);
        ASSERT_TRUE(library.IsOpen());
        EXPECT_EQ(library.CanUnloadNow(), S_FALSE);
        first.Release();
        EXPECT_EQ(library.CanUnloadNow(), S_FALSE) << "one object left";
        second.Release();
        EXPECT_EQ(library.CanUnloadNow(), S_OK);

        // Server locks count like objects; so do references to the class factory.
        CComPtr<IClassFactory> factory;
        ASSERT_EQ(CoGetClassObject(CLSID_Zephra, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                   factory.ReceiveVoid()),
                  S_OK);
        EXPECT_EQ(library.CanUnloadNow(), S_FALSE);
        ASSERT_EQ(factory->LockServer(true), S_OK);
        CComPtr<IDispatch> made;
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, made.ReceiveVoid()), S_OK);
        CComPtr<IUnknown> outer = made.Get();
        CComPtr<IUnknown> aggregated;
        EXPECT_EQ(factory->CreateInstance(outer, IID_IUnknown, aggregated.ReceiveVoid()),
                  CLASS_E_NOAGGREGATION);
        EXPECT_EQ(aggregated.Get(), nullptr);
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, aggregated.ReceiveVoid()),
                  E_NOINTERFACE);
        outer.Release();
        made.Release();
        factory.Release();
        EXPECT_EQ(library.CanUnloadNow(), S_FALSE) << "locked";
        CoFreeUnusedLibraries();
        EXPECT_TRUE(IsMapped(kComponentPath));
        ASSERT_EQ(CoGetClassObject(CLSID_Zephra, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                   factory.ReceiveVoid()),
                  S_OK);
        ASSERT_EQ(factory->LockServer(false), S_OK);
        factory.Release();
        EXPECT_EQ(library.CanUnloadNow(), S_OK);

        // Only the component's class is served.
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(
            library.GetClassObject(CLSID_StdComponentCategoriesMgr, IID_IClassFactory, &object),
            CLASS_E_CLASSNOTAVAILABLE);
        EXPECT_EQ(object, nullptr);
        EXPECT_EQ(library.GetClassObject(CLSID_Zephra, IID_IDispatch, &object), E_NOINTERFACE);
        EXPECT_EQ(library.CanUnloadNow(), S_OK);
    }

    // Unloaded with the last object gone; its string table went with it.
    CoFreeUnusedLibraries();
    EXPECT_FALSE(IsMapped(kComponentPath));
    std::string loaded;
    EXPECT_FALSE(LoadString(handle.lVal, 2, loaded));

    // Loaded again on demand, under a new handle.
    CWidget again = Create();
    const CComVariant newHandle = again.Call(DISPID_ZEPHRA_GETRESOURCEINSTANCE, {});
    EXPECT_NE(newHandle.lVal, handle.lVal);
    EXPECT_TRUE(LoadString(newHandle.lVal, 57344, loaded));
}
