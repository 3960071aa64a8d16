#pragma once
// The component module: the state that lives as long as the library is loaded (live-object
// count, string table, class factory, component folder, installed hooks) and the work behind
// the four exported server functions.
//
// The one module object is built when the library is loaded and destroyed when it is unloaded;
// its string table is in the platform's module table for exactly that time.

#include "component/server/zephra.h"
#include "platform/com/module.h"
#include "platform/com/server.h"

#include <string>

class IResourceConflictResolver;

class CPlaquetZephraApp {
public:
    CPlaquetZephraApp();
    CPlaquetZephraApp(const CPlaquetZephraApp&) = delete;
    CPlaquetZephraApp& operator=(const CPlaquetZephraApp&) = delete;

    // The folder of the library file, without a trailing '/'. Templates, the sample page and the
    // applet class file live there.
    const std::string& ComponentFolder() const { return m_strComponentFolder; }
    // The module's handle in the platform's module table (what GetResourceInstance answers).
    HINSTANCE Instance() const { return m_strings.Instance(); }
    // Live objects, server locks and references to the class factory.
    CModuleLockCount& LockCount() { return m_lockCount; }
    CClassFactory& Factory() { return m_factory; }

    // The resolver WriteConfigFile asks when names clash: the installed one, else renaming.
    IResourceConflictResolver& ConflictResolver();
    // Installs a resolver (not owned; it must outlive its installation). Null puts the
    // renaming resolver back.
    void SetConflictResolver(IResourceConflictResolver* resolver) { m_pResolver = resolver; }

    // The designer factory Config uses; null when none is installed.
    PFNCREATEDESIGNER DesignerFactory() const { return m_pfnCreateDesigner; }
    void SetDesignerFactory(PFNCREATEDESIGNER factory) { m_pfnCreateDesigner = factory; }

private:
    CModuleLockCount m_lockCount;
    CModuleStrings m_strings;
    CClassFactory m_factory;
    std::string m_strComponentFolder;
    IResourceConflictResolver* m_pResolver = nullptr;
    PFNCREATEDESIGNER m_pfnCreateDesigner = nullptr;
};

// The module object.
CPlaquetZephraApp& ZephraApp();

// The text of a string resource of this module; "" for an unknown id.
std::string LoadModuleString(int32_t id);

// What the exports do (exports.cpp only forwards).
// The class factory for CLSID_Zephra; CLASS_E_CLASSNOTAVAILABLE for any other class.
HRESULT ZephraGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
// S_OK when no object, lock or factory reference is alive, else S_FALSE.
HRESULT ZephraCanUnloadNow();
// Writes the class keys under HKEY_CLASSES_ROOT (the ProgID key and the class key only when
// they are new), InProcServer32 being the full path of the library file that holds this code,
// and the component category. S_OK, or the failure of the category registration.
HRESULT ZephraRegisterServer();
// Removes the category implementation and the five class keys (with parents left empty); the
// category itself stays. S_OK, the failure of finding the class's ProgID
// (REGDB_E_CLASSNOTREG when it is not registered), or E_FAIL when a key cannot be removed.
HRESULT ZephraUnregisterServer();
