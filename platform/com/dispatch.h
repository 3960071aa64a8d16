#pragma once
// Helpers for both sides of IDispatch.
//
// Server side: take typed arguments out of DISPPARAMS, answer GetIDsOfNames from a table, fill
// EXCEPINFO. Client side: CComDispatchDriver, which builds DISPPARAMS (in reverse order, with
// DISPID_PROPERTYPUT for puts) and turns DISP_E_EXCEPTION into a text.

#include "platform/com/comptr.h"
#include "platform/com/interfaces.h"

#include <span>
#include <string>
#include <string_view>

// Positional argument `position` (0 = the first argument of the call, whatever its place in the
// reversed rgvarg), or the named argument whose DISPID equals position, converted to vtTarg into
// *pvarResult (which must be initialised; the caller clears it afterwards).
// DISP_E_PARAMNOTFOUND when the call has no such argument; DISP_E_TYPEMISMATCH or
// DISP_E_OVERFLOW when it does not convert, *puArgErr (if not null) then being its rgvarg index.
HRESULT DispGetParam(DISPPARAMS* pdispparams, UINT position, VARTYPE vtTarg, VARIANT* pvarResult,
                     UINT* puArgErr);

// The value of a property put (the named argument DISPID_PROPERTYPUT) converted to vtTarg, as
// DispGetParam does. DISP_E_PARAMNOTOPTIONAL when the call does not carry it.
HRESULT DispGetPropertyPutValue(DISPPARAMS* pdispparams, VARTYPE vtTarg, VARIANT* pvarResult,
                                UINT* puArgErr);

// Number of positional arguments of a call.
inline UINT DispPositionalCount(const DISPPARAMS* pdispparams) {
    return pdispparams == nullptr ? 0 : pdispparams->cArgs - pdispparams->cNamedArgs;
}

// One member name of a dispatch interface.
struct CDispatchName {
    const char* pszName; // UTF-8; compared without regard to ASCII letter case
    DISPID dispid;
};

// IDispatch::GetIDsOfNames from a table: rgszNames[0] is looked up; parameter names (further
// entries) are not known. Unknown names get DISPID_UNKNOWN and the result DISP_E_UNKNOWNNAME.
HRESULT DispGetIDsOfNamesFromTable(std::span<const CDispatchName> table, LPOLESTR* rgszNames,
                                   UINT cNames, DISPID* rgDispId);

// Fills an EXCEPINFO (if not null) for a DISP_E_EXCEPTION answer. Any strings it held are not
// freed: callers pass a fresh one. The new strings belong to the caller of Invoke.
void FillExcepInfo(EXCEPINFO* pExcepInfo, SCODE scode, std::string_view source,
                   std::string_view description);
// Frees the strings of an EXCEPINFO and zeroes it.
void ClearExcepInfo(EXCEPINFO* pExcepInfo);

// Calls members of an IDispatch by DISPID. Arguments are given in call order and only
// borrowed. A result goes into *pResult (cleared first; the caller owns what it gets). When a
// call answers DISP_E_EXCEPTION, ExceptionDescription / ExceptionSource tell what the callee
// reported; after any other outcome they are empty.
class CComDispatchDriver {
public:
    CComDispatchDriver() = default;
    explicit CComDispatchDriver(IDispatch* pDisp) : p(pDisp) {}

    HRESULT GetProperty(DISPID dispid, VARIANT* pResult);
    HRESULT PutProperty(DISPID dispid, const VARIANT& value);
    HRESULT Invoke0(DISPID dispid, VARIANT* pResult = nullptr);
    HRESULT Invoke1(DISPID dispid, const VARIANT& arg1, VARIANT* pResult = nullptr);
    HRESULT Invoke2(DISPID dispid, const VARIANT& arg1, const VARIANT& arg2,
                    VARIANT* pResult = nullptr);
    HRESULT InvokeN(DISPID dispid, std::span<const VARIANT> args, VARIANT* pResult = nullptr);
    HRESULT InvokeN(DISPID dispid, std::span<const CComVariant> args, VARIANT* pResult = nullptr);
    // Any kind of call (wFlags as for IDispatch::Invoke).
    HRESULT Invoke(DISPID dispid, WORD wFlags, std::span<const VARIANT> args, VARIANT* pResult);

    HRESULT GetIDOfName(std::string_view name, DISPID* pDispid);

    const std::string& ExceptionSource() const { return m_strExceptionSource; }
    const std::string& ExceptionDescription() const { return m_strExceptionDescription; }

    CComPtr<IDispatch> p;

private:
    std::string m_strExceptionSource;
    std::string m_strExceptionDescription;
};
