#pragma once
// The COM interfaces of this system: IUnknown, IDispatch and IClassFactory, with their IIDs and
// the IDispatch argument structures. The methods are pure virtual and in the Windows vtable order;
// the calling convention is the ordinary C++ one.
//
// Reference counting: every interface pointer handed out (a QueryInterface, a created object, a
// class object) carries one reference that its receiver releases; arguments passed in are only
// borrowed. CComPtr (comptr.h) does the counting.

#include "platform/com/bstr.h"
#include "platform/com/guid.h"
#include "platform/com/hresult.h"
#include "platform/com/variant.h"
#include "platform/registry/wintypes.h"

using LCID = DWORD;
using DISPID = LONG;

constexpr LCID LOCALE_USER_DEFAULT = 0x400;
constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x800;

// The IID of an interface type, for templates such as CComPtr. A function rather than a static
// member, so that no symbol a shared library must keep unique is emitted for it: a library that
// holds one of those can no longer be unloaded.
template <class Interface> constexpr IID IIDOf();

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default; // objects delete themselves in Release
};

// Type information is never offered: GetTypeInfoCount answers 0 and no ITypeInfo is handed out.
struct ITypeInfo;

// The arguments of IDispatch::Invoke. rgvarg holds them in reverse order: the last argument
// first. The first cNamedArgs entries are the named ones, rgdispidNamedArgs[i] naming rgvarg[i];
// a property put passes its value as a named argument DISPID_PROPERTYPUT.
struct DISPPARAMS {
    VARIANTARG* rgvarg;
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
};

// Filled by the callee when Invoke answers DISP_E_EXCEPTION. The BSTRs then belong to the caller
// (ClearExcepInfo in dispatch.h frees them). When pfnDeferredFillIn is set, the caller calls it
// before reading the other fields.
struct EXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    void* pvReserved;
    HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
    SCODE scode;
};

constexpr DISPID DISPID_UNKNOWN = -1;
constexpr DISPID DISPID_VALUE = 0;
constexpr DISPID DISPID_PROPERTYPUT = -3;

constexpr WORD DISPATCH_METHOD = 0x1;
constexpr WORD DISPATCH_PROPERTYGET = 0x2;
constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;

struct IDispatch : IUnknown {
    virtual HRESULT GetTypeInfoCount(UINT* pctinfo) = 0;
    virtual HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
    // rgszNames[0] is a member name, any further ones its parameter names; unknown names get
    // DISPID_UNKNOWN and the call answers DISP_E_UNKNOWNNAME.
    virtual HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                  DISPID* rgDispId) = 0;
    // riid is IID_NULL. wFlags is DISPATCH_METHOD, DISPATCH_PROPERTYGET (either may be combined
    // with the other) or DISPATCH_PROPERTYPUT. pVarResult may be null when no result is wanted;
    // the callee writes it without clearing it first. On DISP_E_TYPEMISMATCH or
    // DISP_E_PARAMNOTFOUND, *puArgErr is the index into rgvarg of the offending argument.
    virtual HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                           DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                           UINT* puArgErr) = 0;

protected:
    ~IDispatch() = default;
};

struct IClassFactory : IUnknown {
    // A new object of the class, asked for by interface. CLASS_E_NOAGGREGATION when
    // pUnkOuter is not null (no class here supports aggregation).
    virtual HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
    // Keeps the server library loaded while locked, whether or not objects are alive.
    virtual HRESULT LockServer(bool fLock) = 0;

protected:
    ~IClassFactory() = default;
};

template <> constexpr IID IIDOf<IUnknown>() {
    return MakeGuid("{00000000-0000-0000-C000-000000000046}");
}
template <> constexpr IID IIDOf<IClassFactory>() {
    return MakeGuid("{00000001-0000-0000-C000-000000000046}");
}
template <> constexpr IID IIDOf<IDispatch>() {
    return MakeGuid("{00020400-0000-0000-C000-000000000046}");
}

constexpr IID IID_IUnknown = IIDOf<IUnknown>();
constexpr IID IID_IClassFactory = IIDOf<IClassFactory>();
constexpr IID IID_IDispatch = IIDOf<IDispatch>();
