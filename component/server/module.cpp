#include "component/server/module.h"

#include "component/model/resources.h"
#include "component/server/zephraids.h"
#include "platform/com/com.h"
#include "platform/registry/regkey.h"
#include "platform/text/pathutil.h"

#include <algorithm>
#include <new>
#include <string>
#include <vector>

namespace {

const CStringTableEntry kStrings[] = {
    {IDS_ZEPHRA_TYPE, "Java Applet"},
    {IDS_ZEPHRA_NAME, "Brimble Zephra 2.1"},
    {IDS_ZEPHRA_MENUTEXT, "Brimble Zephra 2.1"},
    {IDS_ZEPHRA_MESSAGETEXT, "Build a perfect navigation popup menu"},
    {IDS_ZEPHRA_TIPSTEXT, "Brimble Zephra 2.1"},
    {IDS_ZEPHRA_CLASSFILE, "zephracore.class"},
    {IDS_ZEPHRA_TITLE, "Brimble Zephra"},
};

// An address inside this library, for dladdr.
void ModuleAnchor() {}

std::string LibraryPath() {
    return ModulePathOf(reinterpret_cast<const void*>(&ModuleAnchor));
}

CRenamingConflictResolver g_renamingResolver;

CPlaquetZephraApp theApp;

// Registration may be called by a host that never initialised COM; the category manager needs
// it. Balanced, so a host that did initialise keeps its own count.
class CComInitScope {
public:
    CComInitScope() { CoInitialize(nullptr); }
    ~CComInitScope() { CoUninitialize(); }
    CComInitScope(const CComInitScope&) = delete;
    CComInitScope& operator=(const CComInitScope&) = delete;
};

std::string ClassKey() {
    return "CLSID\\" + GuidToString(CLSID_Zephra);
}

// Sets the default value of HKEY_CLASSES_ROOT\key only when the key did not exist: a second
// registration keeps what the first (or an administrator) wrote there.
bool SetDefaultIfNew(const std::string& key, std::string_view value) {
    CRegKey k;
    DWORD disposition = 0;
    if (k.Create(HKEY_CLASSES_ROOT, key, &disposition) != ERROR_SUCCESS)
        return false;
    return disposition != REG_CREATED_NEW_KEY || k.SetStringValue("", value) == ERROR_SUCCESS;
}

void WriteClassKeys() {
    const std::string progId(kZephraProgID);
    const std::string classKey = ClassKey();
    if (!SetDefaultIfNew(progId, progId) || !SetDefaultIfNew(classKey, progId))
        return;
    CRegKey root(HKEY_CLASSES_ROOT);
    root.SetKeyValue(progId + "\\CLSID", GuidToString(CLSID_Zephra));
    root.SetKeyValue(classKey + "\\ProgID", progId);
    root.SetKeyValue(classKey + "\\InProcServer32", LibraryPath());
}

HRESULT CreateCategoryManager(CComPtr<ICatRegister>& manager) {
    return manager.CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER);
}

void RegisterCategory() {
    CComPtr<ICatRegister> manager;
    if (FAILED(CreateCategoryManager(manager)))
        return;
    CATEGORYINFO info{};
    info.catid = CATID_TandrelPlaquets;
    info.lcid = kCategoryLocale;
    const std::u16string description = Utf16FromUtf8(kCategoryDescription);
    std::copy_n(description.begin(), std::min<size_t>(description.size(), 127), info.szDescription);
    manager->RegisterCategories(1, &info);
}

// Whether HKEY_CLASSES_ROOT\progId names this class: a ProgID key that another class owns is
// not ours to remove, whatever our class key claims.
bool ProgIDBelongsToUs(const std::string& progId) {
    CRegKey key;
    if (key.Open(HKEY_CLASSES_ROOT, progId + "\\CLSID") != ERROR_SUCCESS)
        return true; // nothing there that another class could need
    std::string value;
    CLSID clsid{};
    return key.QueryStringValue("", value) != ERROR_SUCCESS ||
           (GuidFromString(value, clsid) && clsid == CLSID_Zephra);
}

} // namespace

CPlaquetZephraApp::CPlaquetZephraApp()
    : m_strings(kStrings), m_factory(CLSID_Zephra, &CZephra::CreateInstance, m_lockCount),
      m_strComponentFolder(FolderPart(LibraryPath())) {}

IResourceConflictResolver& CPlaquetZephraApp::ConflictResolver() {
    return m_pResolver != nullptr ? *m_pResolver : g_renamingResolver;
}

CPlaquetZephraApp& ZephraApp() {
    return theApp;
}

std::string LoadModuleString(int32_t id) {
    std::string text;
    LoadString(theApp.Instance(), id, text);
    return text;
}

HRESULT ZephraGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    return theApp.Factory().GetClassObject(rclsid, riid, ppv);
}

HRESULT ZephraCanUnloadNow() {
    return theApp.LockCount().CanUnloadNow();
}

HRESULT ZephraRegisterServer() {
    try {
        CComInitScope com;
        // Class keys that cannot be written do not decide the result: the category steps
        // below write to the same hive and report an unwritable registry.
        WriteClassKeys();
        RegisterCategory();

        CComPtr<ICatRegister> manager;
        HRESULT hr = CreateCategoryManager(manager);
        if (FAILED(hr))
            return hr;
        CATID categories[] = {CATID_TandrelPlaquets};
        hr = manager->RegisterClassImplCategories(CLSID_Zephra, 1, categories);
        return FAILED(hr) ? hr : S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

HRESULT ZephraUnregisterServer() {
    try {
        CComInitScope com;
        const std::string classKey = ClassKey();
        {
            CComPtr<ICatRegister> manager;
            if (SUCCEEDED(CreateCategoryManager(manager))) {
                CATID categories[] = {CATID_TandrelPlaquets};
                manager->UnRegisterClassImplCategories(CLSID_Zephra, 1, categories);
                RegDeleteKey(HKEY_CLASSES_ROOT, (classKey + "\\Implemented Categories").c_str());
            }
        }

        std::string progId;
        const HRESULT hr = ProgIDFromCLSID(CLSID_Zephra, progId);
        if (FAILED(hr))
            return hr;
        std::vector<std::string> keys;
        const bool ownProgID = !progId.empty() && ProgIDBelongsToUs(progId);
        if (ownProgID)
            keys.push_back(progId);
        keys.push_back(classKey);
        if (ownProgID)
            keys.push_back(progId + "\\CLSID");
        keys.push_back(classKey + "\\ProgID");
        keys.push_back(classKey + "\\InProcServer32");
        for (const std::string& key : keys) {
            // A key that still has sub keys goes later, with the last of them; one that is
            // already gone is fine.
            const LONG r = RegDeleteKeyAndEmptyParents(HKEY_CLASSES_ROOT, key.c_str());
            if (r != ERROR_SUCCESS && r != ERROR_ACCESS_DENIED && r != ERROR_FILE_NOT_FOUND)
                return E_FAIL;
        }
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}
