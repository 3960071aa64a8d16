// An in-process server for the COM tests: one class with a property of each VARIANT type, a few
// methods, a string table, and registration the way the component does it.

#include "tests/platform/com/testserver.h"

#include "platform/com/com.h"
#include "platform/registry/regkey.h"
#include "platform/text/pathutil.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <string>

namespace {

CModuleLockCount g_lockCount;

const CStringTableEntry kStrings[] = {
    {IDS_TEST_TYPE, kTestTypeText},
    {IDS_TEST_NAME, kTestNameText},
};
CModuleStrings g_strings(kStrings);

const CDispatchName kNames[] = {
    {"Flag", DISPID_TEST_FLAG},   {"Small", DISPID_TEST_SMALL},
    {"Count", DISPID_TEST_COUNT}, {"When", DISPID_TEST_WHEN},
    {"Text", DISPID_TEST_TEXT},   {"Describe", DISPID_TEST_DESCRIBE},
    {"Raise", DISPID_TEST_RAISE}, {"GetResourceInstance", DISPID_TEST_INSTANCE},
};

const VARTYPE kPropertyTypes[] = {VT_BOOL, VT_I2, VT_I4, VT_DATE, VT_BSTR};

class CTestObject final : public IDispatch {
public:
    CTestObject() {
        g_lockCount.Lock();
        for (size_t i = 0; i < std::size(m_properties); ++i)
            m_properties[i].ChangeType(kPropertyTypes[i]);
    }

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID_ZephraTestServer) {
            *ppv = static_cast<IDispatch*>(this);
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

    HRESULT GetTypeInfoCount(UINT* pctinfo) override {
        if (pctinfo == nullptr)
            return E_POINTER;
        *pctinfo = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
        if (ppTInfo != nullptr)
            *ppTInfo = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                          DISPID* rgDispId) override {
        if (riid != IID_NULL)
            return DISP_E_UNKNOWNINTERFACE;
        return DispGetIDsOfNamesFromTable(kNames, rgszNames, cNames, rgDispId);
    }

    HRESULT Invoke(DISPID dispid, REFIID riid, LCID, WORD wFlags, DISPPARAMS* pdp,
                   VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override {
        if (riid != IID_NULL)
            return DISP_E_UNKNOWNINTERFACE;
        if (pdp == nullptr)
            return E_INVALIDARG;
        if (dispid >= DISPID_TEST_FLAG && dispid <= DISPID_TEST_TEXT)
            return Property(m_properties[dispid - 1], kPropertyTypes[dispid - 1], wFlags, pdp,
                            pVarResult, puArgErr);
        if ((wFlags & DISPATCH_METHOD) == 0 ||
            (dispid != DISPID_TEST_DESCRIBE && dispid != DISPID_TEST_RAISE &&
             dispid != DISPID_TEST_INSTANCE))
            return DISP_E_MEMBERNOTFOUND;
        if (pdp->cNamedArgs != 0)
            return DISP_E_NONAMEDARGS;
        switch (dispid) {
        case DISPID_TEST_DESCRIBE:
            return Describe(pdp, pVarResult, puArgErr);
        case DISPID_TEST_RAISE: {
            if (pdp->cArgs != 1)
                return DISP_E_BADPARAMCOUNT;
            CComVariant text;
            const HRESULT hr = DispGetParam(pdp, 0, VT_BSTR, &text, puArgErr);
            if (FAILED(hr))
                return hr;
            FillExcepInfo(pExcepInfo, E_FAIL, kTestProgID, Utf8FromBstr(text.bstrVal));
            return DISP_E_EXCEPTION;
        }
        default:
            if (pdp->cArgs != 0)
                return DISP_E_BADPARAMCOUNT;
            if (pVarResult != nullptr)
                CComVariant(LONG{g_strings.Instance()}).Detach(pVarResult);
            return S_OK;
        }
    }

private:
    ~CTestObject() { g_lockCount.Unlock(); }

    static HRESULT Property(CComVariant& value, VARTYPE vt, WORD wFlags, DISPPARAMS* pdp,
                            VARIANT* pVarResult, UINT* puArgErr) {
        if (wFlags & DISPATCH_PROPERTYPUT) {
            CComVariant fresh;
            const HRESULT hr = DispGetPropertyPutValue(pdp, vt, &fresh, puArgErr);
            if (FAILED(hr))
                return hr;
            if (DispPositionalCount(pdp) != 0)
                return DISP_E_BADPARAMCOUNT;
            value = fresh;
            return S_OK;
        }
        if ((wFlags & DISPATCH_PROPERTYGET) == 0)
            return DISP_E_MEMBERNOTFOUND;
        if (pdp->cArgs != 0)
            return DISP_E_BADPARAMCOUNT;
        if (pVarResult != nullptr) {
            VariantInit(pVarResult);
            return VariantCopy(pVarResult, &value);
        }
        return S_OK;
    }

    static HRESULT Describe(DISPPARAMS* pdp, VARIANT* pVarResult, UINT* puArgErr) {
        if (pdp->cArgs != 5)
            return DISP_E_BADPARAMCOUNT;
        CComVariant args[5];
        const VARTYPE types[5] = {VT_I2, VT_I4, VT_BSTR, VT_DATE, VT_BOOL};
        for (UINT i = 0; i < 5; ++i) {
            const HRESULT hr = DispGetParam(pdp, i, types[i], &args[i], puArgErr);
            if (FAILED(hr))
                return hr;
        }
        CComVariant dateText;
        dateText.ChangeType(VT_BSTR, &args[3]);
        const std::string text =
            "short=" + std::to_string(args[0].iVal) + " long=" + std::to_string(args[1].lVal) +
            " text=" + Utf8FromBstr(args[2].bstrVal) + " date=" + Utf8FromBstr(dateText.bstrVal) +
            " bool=" + (args[4].boolVal == VARIANT_TRUE ? "true" : "false");
        if (pVarResult != nullptr)
            CComVariant(text).Detach(pVarResult);
        return S_OK;
    }

    std::atomic<ULONG> m_nRefs{1};
    CComVariant m_properties[5];
};

HRESULT CreateTestObject(REFIID riid, void** ppv) {
    auto* object = new (std::nothrow) CTestObject;
    if (object == nullptr)
        return E_OUTOFMEMORY;
    const HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

CClassFactory g_factory(CLSID_ZephraTestServer, CreateTestObject, g_lockCount);

std::string ClassKey() {
    return "CLSID\\" + GuidToString(CLSID_ZephraTestServer);
}

// Sets the default value of a key only when the key is new.
LONG SetIfNew(const std::string& key, const std::string& value) {
    CRegKey k;
    DWORD disposition = 0;
    LONG r = k.Create(HKEY_CLASSES_ROOT, key, &disposition);
    if (r == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY)
        r = k.SetStringValue("", value);
    return r;
}

} // namespace

ZEPHRA_SERVER_EXPORT HRESULT DllGetClassObject(const CLSID& rclsid, const IID& riid, void** ppv) {
    return g_factory.GetClassObject(rclsid, riid, ppv);
}

ZEPHRA_SERVER_EXPORT HRESULT DllCanUnloadNow() {
    return g_lockCount.CanUnloadNow();
}

ZEPHRA_SERVER_EXPORT HRESULT DllRegisterServer() {
    const std::string path = ModulePathOf(reinterpret_cast<const void*>(&DllRegisterServer));
    const std::string clsid = GuidToString(CLSID_ZephraTestServer);
    CRegKey root(HKEY_CLASSES_ROOT);
    if (SetIfNew(kTestProgID, kTestProgID) != ERROR_SUCCESS ||
        SetIfNew(ClassKey(), kTestProgID) != ERROR_SUCCESS ||
        root.SetKeyValue(std::string(kTestProgID) + "\\CLSID", clsid) != ERROR_SUCCESS ||
        root.SetKeyValue(ClassKey() + "\\ProgID", kTestProgID) != ERROR_SUCCESS ||
        root.SetKeyValue(ClassKey() + "\\InProcServer32", path) != ERROR_SUCCESS)
        return REGDB_E_WRITEREGDB;

    CComPtr<ICatRegister> categories;
    HRESULT hr =
        categories.CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER);
    if (FAILED(hr))
        return hr;
    CATEGORYINFO info{};
    info.catid = CATID_ZephraTest;
    info.lcid = 0x409;
    const std::u16string description = Utf16FromUtf8(kTestCategoryDescription);
    std::copy_n(description.begin(), std::min<size_t>(description.size(), 127), info.szDescription);
    hr = categories->RegisterCategories(1, &info);
    if (FAILED(hr))
        return hr;
    CATID ids[] = {CATID_ZephraTest};
    return categories->RegisterClassImplCategories(CLSID_ZephraTestServer, 1, ids);
}

ZEPHRA_SERVER_EXPORT HRESULT DllUnregisterServer() {
    CComPtr<ICatRegister> categories;
    if (SUCCEEDED(categories.CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr,
                                              CLSCTX_INPROC_SERVER))) {
        CATID ids[] = {CATID_ZephraTest};
        categories->UnRegisterClassImplCategories(CLSID_ZephraTestServer, 1, ids);
    }
    std::string progId;
    const HRESULT hr = ProgIDFromCLSID(CLSID_ZephraTestServer, progId);
    if (FAILED(hr))
        return hr;
    const std::string keys[] = {progId, ClassKey(), progId + "\\CLSID", ClassKey() + "\\ProgID",
                                ClassKey() + "\\InProcServer32"};
    for (const std::string& key : keys) {
        // Keys that still have sub keys go later, with their last sub key.
        const LONG r = RegDeleteKeyAndEmptyParents(HKEY_CLASSES_ROOT, key.c_str());
        if (r != ERROR_SUCCESS && r != ERROR_ACCESS_DENIED && r != ERROR_FILE_NOT_FOUND)
            return E_FAIL;
    }
    return S_OK;
}
