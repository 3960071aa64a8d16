#include "platform/com/dispatch.h"

#include <cstring>
#include <vector>

namespace {

std::string FoldAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

HRESULT ConvertArgument(DISPPARAMS* pdp, UINT index, VARTYPE vtTarg, VARIANT* pvarResult,
                        UINT* puArgErr) {
    const HRESULT hr = VariantChangeType(pvarResult, &pdp->rgvarg[index], 0, vtTarg);
    if (FAILED(hr) && puArgErr != nullptr)
        *puArgErr = index;
    if (hr == DISP_E_OVERFLOW || hr == E_OUTOFMEMORY)
        return hr;
    return FAILED(hr) ? DISP_E_TYPEMISMATCH : S_OK;
}

} // namespace

HRESULT DispGetParam(DISPPARAMS* pdispparams, UINT position, VARTYPE vtTarg, VARIANT* pvarResult,
                     UINT* puArgErr) {
    if (pdispparams == nullptr || pvarResult == nullptr ||
        pdispparams->cNamedArgs > pdispparams->cArgs ||
        (pdispparams->cArgs > 0 && pdispparams->rgvarg == nullptr) ||
        (pdispparams->cNamedArgs > 0 && pdispparams->rgdispidNamedArgs == nullptr))
        return E_INVALIDARG;
    for (UINT i = 0; i < pdispparams->cNamedArgs; ++i) {
        if (pdispparams->rgdispidNamedArgs[i] == static_cast<DISPID>(position))
            return ConvertArgument(pdispparams, i, vtTarg, pvarResult, puArgErr);
    }
    const UINT positional = pdispparams->cArgs - pdispparams->cNamedArgs;
    if (position >= positional)
        return DISP_E_PARAMNOTFOUND;
    return ConvertArgument(pdispparams, pdispparams->cArgs - 1 - position, vtTarg, pvarResult,
                           puArgErr);
}

HRESULT DispGetPropertyPutValue(DISPPARAMS* pdispparams, VARTYPE vtTarg, VARIANT* pvarResult,
                                UINT* puArgErr) {
    if (pdispparams == nullptr || pvarResult == nullptr ||
        pdispparams->cNamedArgs > pdispparams->cArgs ||
        (pdispparams->cNamedArgs > 0 &&
         (pdispparams->rgvarg == nullptr || pdispparams->rgdispidNamedArgs == nullptr)))
        return E_INVALIDARG;
    for (UINT i = 0; i < pdispparams->cNamedArgs; ++i) {
        if (pdispparams->rgdispidNamedArgs[i] == DISPID_PROPERTYPUT)
            return ConvertArgument(pdispparams, i, vtTarg, pvarResult, puArgErr);
    }
    return DISP_E_PARAMNOTOPTIONAL;
}

HRESULT DispGetIDsOfNamesFromTable(std::span<const CDispatchName> table, LPOLESTR* rgszNames,
                                   UINT cNames, DISPID* rgDispId) {
    if (cNames == 0)
        return S_OK;
    if (rgszNames == nullptr || rgDispId == nullptr)
        return E_INVALIDARG;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < cNames; ++i)
        rgDispId[i] = DISPID_UNKNOWN;
    if (rgszNames[0] != nullptr) {
        const std::string wanted = FoldAscii(Utf8FromUtf16(std::u16string_view(rgszNames[0])));
        for (const CDispatchName& entry : table) {
            if (FoldAscii(entry.pszName) == wanted) {
                rgDispId[0] = entry.dispid;
                break;
            }
        }
    }
    if (rgDispId[0] == DISPID_UNKNOWN || cNames > 1)
        hr = DISP_E_UNKNOWNNAME;
    return hr;
}

void FillExcepInfo(EXCEPINFO* pExcepInfo, SCODE scode, std::string_view source,
                   std::string_view description) {
    if (pExcepInfo == nullptr)
        return;
    std::memset(pExcepInfo, 0, sizeof *pExcepInfo);
    pExcepInfo->scode = scode;
    pExcepInfo->bstrSource = BstrFromUtf8(source);
    pExcepInfo->bstrDescription = BstrFromUtf8(description);
}

void ClearExcepInfo(EXCEPINFO* pExcepInfo) {
    if (pExcepInfo == nullptr)
        return;
    SysFreeString(pExcepInfo->bstrSource);
    SysFreeString(pExcepInfo->bstrDescription);
    SysFreeString(pExcepInfo->bstrHelpFile);
    std::memset(pExcepInfo, 0, sizeof *pExcepInfo);
}

HRESULT CComDispatchDriver::Invoke(DISPID dispid, WORD wFlags, std::span<const VARIANT> args,
                                   VARIANT* pResult) {
    m_strExceptionSource.clear();
    m_strExceptionDescription.clear();
    if (!p)
        return E_POINTER;
    if (pResult != nullptr)
        VariantClear(pResult);
    // The callee sees the arguments last first; the copies are shallow because it only reads.
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    if (wFlags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        params.rgdispidNamedArgs = &named;
        params.cNamedArgs = 1;
    }
    EXCEPINFO excep{};
    UINT argErr = 0;
    const HRESULT hr =
        p->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, wFlags, &params, pResult, &excep, &argErr);
    if (hr == DISP_E_EXCEPTION) {
        if (excep.pfnDeferredFillIn != nullptr)
            excep.pfnDeferredFillIn(&excep);
        m_strExceptionSource = Utf8FromBstr(excep.bstrSource);
        m_strExceptionDescription = Utf8FromBstr(excep.bstrDescription);
    }
    ClearExcepInfo(&excep);
    return hr;
}

HRESULT CComDispatchDriver::GetProperty(DISPID dispid, VARIANT* pResult) {
    if (pResult == nullptr)
        return E_POINTER;
    return Invoke(dispid, DISPATCH_PROPERTYGET, {}, pResult);
}

HRESULT CComDispatchDriver::PutProperty(DISPID dispid, const VARIANT& value) {
    return Invoke(dispid, DISPATCH_PROPERTYPUT, std::span<const VARIANT>(&value, 1), nullptr);
}

HRESULT CComDispatchDriver::Invoke0(DISPID dispid, VARIANT* pResult) {
    return Invoke(dispid, DISPATCH_METHOD, {}, pResult);
}

HRESULT CComDispatchDriver::Invoke1(DISPID dispid, const VARIANT& arg1, VARIANT* pResult) {
    return Invoke(dispid, DISPATCH_METHOD, std::span<const VARIANT>(&arg1, 1), pResult);
}

HRESULT CComDispatchDriver::Invoke2(DISPID dispid, const VARIANT& arg1, const VARIANT& arg2,
                                    VARIANT* pResult) {
    const VARIANT args[2] = {arg1, arg2};
    return Invoke(dispid, DISPATCH_METHOD, args, pResult);
}

HRESULT CComDispatchDriver::InvokeN(DISPID dispid, std::span<const VARIANT> args,
                                    VARIANT* pResult) {
    return Invoke(dispid, DISPATCH_METHOD, args, pResult);
}

HRESULT CComDispatchDriver::InvokeN(DISPID dispid, std::span<const CComVariant> args,
                                    VARIANT* pResult) {
    // Shallow copies: the arguments stay owned by the caller's objects.
    const std::vector<VARIANT> plain(args.begin(), args.end());
    return Invoke(dispid, DISPATCH_METHOD, plain, pResult);
}

HRESULT CComDispatchDriver::GetIDOfName(std::string_view name, DISPID* pDispid) {
    if (pDispid == nullptr)
        return E_POINTER;
    if (!p)
        return E_POINTER;
    std::u16string wide = Utf16FromUtf8(name);
    LPOLESTR names[1] = {wide.data()};
    return p->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, pDispid);
}
