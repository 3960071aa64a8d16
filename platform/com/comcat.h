#pragma once
// The component category manager. CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr,
// CLSCTX_INPROC_SERVER, IID_ICatRegister, ...) gives an object built into the runtime (no
// registry entry needed) that writes the keys Windows writes under HKEY_CLASSES_ROOT:
//
//     Component Categories\{catid}                  value "<lcid in hex>" = description
//                                                   (locale 0x409 gives the value "409")
//     CLSID\{clsid}\Implemented Categories\{catid}
//     CLSID\{clsid}\Required Categories\{catid}
//
// Registry write failures answer REGDB_E_WRITEREGDB (RegGetLastErrorText says why). Removing
// something that is not there succeeds.

#include "platform/com/interfaces.h"

struct CATEGORYINFO {
    CATID catid;
    LCID lcid;
    OLECHAR szDescription[128]; // up to the first NUL; at most 127 units are meant to be used
};

struct ICatRegister : IUnknown {
    virtual HRESULT RegisterCategories(ULONG cCategories, CATEGORYINFO rgCategoryInfo[]) = 0;
    // Removes Component Categories\{catid} of each category, with all its descriptions.
    virtual HRESULT UnRegisterCategories(ULONG cCategories, CATID rgcatid[]) = 0;
    virtual HRESULT RegisterClassImplCategories(REFCLSID rclsid, ULONG cCategories,
                                                CATID rgcatid[]) = 0;
    // Removes the category keys; an "Implemented Categories" key left empty goes too.
    virtual HRESULT UnRegisterClassImplCategories(REFCLSID rclsid, ULONG cCategories,
                                                  CATID rgcatid[]) = 0;
    virtual HRESULT RegisterClassReqCategories(REFCLSID rclsid, ULONG cCategories,
                                               CATID rgcatid[]) = 0;
    virtual HRESULT UnRegisterClassReqCategories(REFCLSID rclsid, ULONG cCategories,
                                                 CATID rgcatid[]) = 0;

protected:
    ~ICatRegister() = default;
};

template <> constexpr IID IIDOf<ICatRegister>() {
    return MakeGuid("{0002E012-0000-0000-C000-000000000046}");
}
constexpr IID IID_ICatRegister = IIDOf<ICatRegister>();
constexpr CLSID CLSID_StdComponentCategoriesMgr =
    MakeGuid("{0002E005-0000-0000-C000-000000000046}");

// The manager's class object, for the runtime (CoGetClassObject). It lives as long as the
// process and is not reference counted.
HRESULT GetStdComponentCategoriesMgrClassObject(REFIID riid, void** ppv);
