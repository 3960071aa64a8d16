#include "platform/com/comcat.h"

#include "platform/registry/regkey.h"

#include <atomic>
#include <cstdio>
#include <iterator>
#include <new>
#include <string>

namespace {

std::string DescriptionOf(const CATEGORYINFO& info) {
    size_t n = 0;
    while (n < std::size(info.szDescription) && info.szDescription[n] != u'\0')
        ++n;
    return Utf8FromUtf16(std::u16string_view(info.szDescription, n));
}

HRESULT FromRegistry(LONG r) {
    return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND ? S_OK : REGDB_E_WRITEREGDB;
}

class CStdComponentCategoriesMgr final : public ICatRegister {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ICatRegister) {
            *ppv = static_cast<ICatRegister*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++m_nRefs; }
    ULONG Release() override {
        const ULONG n = --m_nRefs;
        if (n == 0)
            delete this;
        return n;
    }

    HRESULT RegisterCategories(ULONG cCategories, CATEGORYINFO rgCategoryInfo[]) override {
        if (cCategories > 0 && rgCategoryInfo == nullptr)
            return E_POINTER;
        for (ULONG i = 0; i < cCategories; ++i) {
            const CATEGORYINFO& info = rgCategoryInfo[i];
            char locale[16];
            std::snprintf(locale, sizeof locale, "%x", static_cast<unsigned>(info.lcid));
            CRegKey key;
            LONG r =
                key.Create(HKEY_CLASSES_ROOT, "Component Categories\\" + GuidToString(info.catid));
            if (r == ERROR_SUCCESS)
                r = key.SetStringValue(locale, DescriptionOf(info));
            if (r != ERROR_SUCCESS)
                return REGDB_E_WRITEREGDB;
        }
        return S_OK;
    }

    HRESULT UnRegisterCategories(ULONG cCategories, CATID rgcatid[]) override {
        if (cCategories > 0 && rgcatid == nullptr)
            return E_POINTER;
        for (ULONG i = 0; i < cCategories; ++i) {
            const std::string key = "Component Categories\\" + GuidToString(rgcatid[i]);
            if (FAILED(FromRegistry(RegDeleteKey(HKEY_CLASSES_ROOT, key.c_str()))))
                return REGDB_E_WRITEREGDB;
        }
        return S_OK;
    }

    HRESULT RegisterClassImplCategories(REFCLSID rclsid, ULONG cCategories,
                                        CATID rgcatid[]) override {
        return RegisterClassCategories(rclsid, "Implemented Categories", cCategories, rgcatid);
    }
    HRESULT UnRegisterClassImplCategories(REFCLSID rclsid, ULONG cCategories,
                                          CATID rgcatid[]) override {
        return UnRegisterClassCategories(rclsid, "Implemented Categories", cCategories, rgcatid);
    }
    HRESULT RegisterClassReqCategories(REFCLSID rclsid, ULONG cCategories,
                                       CATID rgcatid[]) override {
        return RegisterClassCategories(rclsid, "Required Categories", cCategories, rgcatid);
    }
    HRESULT UnRegisterClassReqCategories(REFCLSID rclsid, ULONG cCategories,
                                         CATID rgcatid[]) override {
        return UnRegisterClassCategories(rclsid, "Required Categories", cCategories, rgcatid);
    }

private:
    ~CStdComponentCategoriesMgr() = default;

    static HRESULT RegisterClassCategories(REFCLSID rclsid, const char* kind, ULONG cCategories,
                                           CATID rgcatid[]) {
        if (cCategories > 0 && rgcatid == nullptr)
            return E_POINTER;
        for (ULONG i = 0; i < cCategories; ++i) {
            CRegKey key;
            const std::string path =
                "CLSID\\" + GuidToString(rclsid) + "\\" + kind + "\\" + GuidToString(rgcatid[i]);
            if (key.Create(HKEY_CLASSES_ROOT, path) != ERROR_SUCCESS)
                return REGDB_E_WRITEREGDB;
        }
        return S_OK;
    }

    static HRESULT UnRegisterClassCategories(REFCLSID rclsid, const char* kind, ULONG cCategories,
                                             CATID rgcatid[]) {
        if (cCategories > 0 && rgcatid == nullptr)
            return E_POINTER;
        CRegKey classKey;
        const LONG r = classKey.Open(HKEY_CLASSES_ROOT, "CLSID\\" + GuidToString(rclsid));
        if (r == ERROR_FILE_NOT_FOUND)
            return S_OK;
        if (r != ERROR_SUCCESS)
            return REGDB_E_WRITEREGDB;
        for (ULONG i = 0; i < cCategories; ++i) {
            // Takes the emptied "... Categories" key along, never the class key itself.
            const std::string path = std::string(kind) + "\\" + GuidToString(rgcatid[i]);
            const LONG d = RegDeleteKeyAndEmptyParents(classKey, path.c_str());
            if (d != ERROR_SUCCESS && d != ERROR_FILE_NOT_FOUND)
                return REGDB_E_WRITEREGDB;
        }
        return S_OK;
    }

    std::atomic<ULONG> m_nRefs{1};
};

class CCategoryManagerFactory final : public IClassFactory {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    // Part of the runtime, which is never unloaded: no counting needed.
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }

    HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override {
        if (ppv == nullptr)
            return E_POINTER;
        *ppv = nullptr;
        if (pUnkOuter != nullptr)
            return CLASS_E_NOAGGREGATION;
        auto* object = new (std::nothrow) CStdComponentCategoriesMgr;
        if (object == nullptr)
            return E_OUTOFMEMORY;
        const HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release(); // the caller's reference, if any, keeps it
        return hr;
    }
    HRESULT LockServer(bool) override { return S_OK; }
};

} // namespace

HRESULT GetStdComponentCategoriesMgrClassObject(REFIID riid, void** ppv) {
    static CCategoryManagerFactory factory;
    return factory.QueryInterface(riid, ppv);
}
