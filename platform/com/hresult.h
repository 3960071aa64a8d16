#pragma once
// HRESULT: the result of every COM call. Negative values are failures; the codes keep their
// Windows values so hosts, logs and tests can compare them with documentation.

#include <cstdint>
#include <string>

using HRESULT = int32_t;
using SCODE = int32_t;

constexpr HRESULT MakeHResult(uint32_t bits) {
    return static_cast<HRESULT>(bits);
}
constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}
// A Win32 error code (such as a registry result) as an HRESULT; 0 stays S_OK.
constexpr HRESULT HRESULT_FROM_WIN32(int32_t err) {
    return err <= 0 ? err : MakeHResult((static_cast<uint32_t>(err) & 0xFFFFu) | 0x80070000u);
}

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;

constexpr HRESULT E_NOTIMPL = MakeHResult(0x80004001u);
constexpr HRESULT E_NOINTERFACE = MakeHResult(0x80004002u);
constexpr HRESULT E_POINTER = MakeHResult(0x80004003u);
constexpr HRESULT E_ABORT = MakeHResult(0x80004004u);
constexpr HRESULT E_FAIL = MakeHResult(0x80004005u);
constexpr HRESULT E_UNEXPECTED = MakeHResult(0x8000FFFFu);
constexpr HRESULT E_ACCESSDENIED = MakeHResult(0x80070005u);
constexpr HRESULT E_OUTOFMEMORY = MakeHResult(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = MakeHResult(0x80070057u);

constexpr HRESULT CLASS_E_NOAGGREGATION = MakeHResult(0x80040110u);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeHResult(0x80040111u);
constexpr HRESULT REGDB_E_READREGDB = MakeHResult(0x80040150u);
constexpr HRESULT REGDB_E_WRITEREGDB = MakeHResult(0x80040151u);
constexpr HRESULT REGDB_E_KEYMISSING = MakeHResult(0x80040152u);
constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHResult(0x80040154u);
constexpr HRESULT CO_E_NOTINITIALIZED = MakeHResult(0x800401F0u);
constexpr HRESULT CO_E_CLASSSTRING = MakeHResult(0x800401F3u);
constexpr HRESULT CO_E_DLLNOTFOUND = MakeHResult(0x800401F8u);
constexpr HRESULT CO_E_ERRORINDLL = MakeHResult(0x800401F9u);

constexpr HRESULT DISP_E_UNKNOWNINTERFACE = MakeHResult(0x80020001u);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = MakeHResult(0x80020003u);
constexpr HRESULT DISP_E_PARAMNOTFOUND = MakeHResult(0x80020004u);
constexpr HRESULT DISP_E_TYPEMISMATCH = MakeHResult(0x80020005u);
constexpr HRESULT DISP_E_UNKNOWNNAME = MakeHResult(0x80020006u);
constexpr HRESULT DISP_E_NONAMEDARGS = MakeHResult(0x80020007u);
constexpr HRESULT DISP_E_BADVARTYPE = MakeHResult(0x80020008u);
constexpr HRESULT DISP_E_EXCEPTION = MakeHResult(0x80020009u);
constexpr HRESULT DISP_E_OVERFLOW = MakeHResult(0x8002000Au);
constexpr HRESULT DISP_E_BADINDEX = MakeHResult(0x8002000Bu);
constexpr HRESULT DISP_E_BADPARAMCOUNT = MakeHResult(0x8002000Eu);
constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = MakeHResult(0x8002000Fu);

// "0x80040154 REGDB_E_CLASSNOTREG: class not registered", for messages a host prints. Codes
// this layer does not know give the number alone.
std::string DescribeHResult(HRESULT hr);
