#include "platform/com/hresult.h"

#include <cstdio>

namespace {

struct CHResultText {
    HRESULT hr;
    const char* name;
    const char* text;
};

const CHResultText kTexts[] = {
    {S_OK, "S_OK", "success"},
    {S_FALSE, "S_FALSE", "success (false)"},
    {E_NOTIMPL, "E_NOTIMPL", "not implemented"},
    {E_NOINTERFACE, "E_NOINTERFACE", "interface not supported"},
    {E_POINTER, "E_POINTER", "invalid pointer"},
    {E_ABORT, "E_ABORT", "operation aborted"},
    {E_FAIL, "E_FAIL", "unspecified failure"},
    {E_UNEXPECTED, "E_UNEXPECTED", "unexpected failure"},
    {E_ACCESSDENIED, "E_ACCESSDENIED", "access denied"},
    {E_OUTOFMEMORY, "E_OUTOFMEMORY", "out of memory"},
    {E_INVALIDARG, "E_INVALIDARG", "invalid argument"},
    {CLASS_E_NOAGGREGATION, "CLASS_E_NOAGGREGATION", "class does not support aggregation"},
    {CLASS_E_CLASSNOTAVAILABLE, "CLASS_E_CLASSNOTAVAILABLE",
     "the library does not provide this class"},
    {REGDB_E_READREGDB, "REGDB_E_READREGDB", "could not read the registry"},
    {REGDB_E_WRITEREGDB, "REGDB_E_WRITEREGDB", "could not write the registry"},
    {REGDB_E_KEYMISSING, "REGDB_E_KEYMISSING", "registry key missing"},
    {REGDB_E_CLASSNOTREG, "REGDB_E_CLASSNOTREG", "class not registered"},
    {CO_E_NOTINITIALIZED, "CO_E_NOTINITIALIZED", "CoInitialize has not been called"},
    {CO_E_CLASSSTRING, "CO_E_CLASSSTRING", "invalid class string or unknown ProgID"},
    {CO_E_DLLNOTFOUND, "CO_E_DLLNOTFOUND", "server library not found"},
    {CO_E_ERRORINDLL, "CO_E_ERRORINDLL", "server library cannot be loaded or lacks its exports"},
    {DISP_E_UNKNOWNINTERFACE, "DISP_E_UNKNOWNINTERFACE", "unknown interface"},
    {DISP_E_MEMBERNOTFOUND, "DISP_E_MEMBERNOTFOUND", "member not found"},
    {DISP_E_PARAMNOTFOUND, "DISP_E_PARAMNOTFOUND", "parameter not found"},
    {DISP_E_TYPEMISMATCH, "DISP_E_TYPEMISMATCH", "type mismatch"},
    {DISP_E_UNKNOWNNAME, "DISP_E_UNKNOWNNAME", "unknown name"},
    {DISP_E_NONAMEDARGS, "DISP_E_NONAMEDARGS", "no named arguments"},
    {DISP_E_BADVARTYPE, "DISP_E_BADVARTYPE", "bad variable type"},
    {DISP_E_EXCEPTION, "DISP_E_EXCEPTION", "exception occurred"},
    {DISP_E_OVERFLOW, "DISP_E_OVERFLOW", "out of present range"},
    {DISP_E_BADINDEX, "DISP_E_BADINDEX", "invalid index"},
    {DISP_E_BADPARAMCOUNT, "DISP_E_BADPARAMCOUNT", "invalid number of parameters"},
    {DISP_E_PARAMNOTOPTIONAL, "DISP_E_PARAMNOTOPTIONAL", "parameter not optional"},
};

} // namespace

std::string DescribeHResult(HRESULT hr) {
    char number[16];
    std::snprintf(number, sizeof number, "0x%08X", static_cast<unsigned>(hr));
    for (const CHResultText& t : kTexts) {
        if (t.hr == hr)
            return std::string(number) + " " + t.name + ": " + t.text;
    }
    return number;
}
