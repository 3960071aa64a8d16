#pragma once
// BSTR: the string type that crosses IDispatch. A BSTR points at UTF-16 code units; the 4 bytes
// before it hold the length in bytes, and a NUL follows the last unit. Length counts, so a BSTR
// may hold NULs; a null BSTR is a valid empty string.
//
// Ownership: whoever allocates a BSTR owns it until it is passed on as a result (the receiver
// then owns it) and frees it with SysFreeString. CComBSTR does that by itself.
//
// Texts inside this system are UTF-8; the conversions below never fail: malformed UTF-8 and
// unpaired surrogates become U+FFFD (one per maximal ill-formed sequence).

#include "platform/registry/wintypes.h"

#include <string>
#include <string_view>

using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using BSTR = OLECHAR*;

// A copy of the NUL-terminated psz. Null for a null psz or when memory runs out.
BSTR SysAllocString(LPCOLESTR psz);
// cch units copied from pch (which may hold NULs), or zero-filled when pch is null. Null when
// memory runs out or cch is too large.
BSTR SysAllocStringLen(const OLECHAR* pch, UINT cch);
// Frees a BSTR; null is allowed.
void SysFreeString(BSTR bstr);
// Length in units / bytes; 0 for null.
UINT SysStringLen(BSTR bstr);
UINT SysStringByteLen(BSTR bstr);

std::u16string Utf16FromUtf8(std::string_view utf8);
std::string Utf8FromUtf16(std::u16string_view utf16);
// A new BSTR (the caller owns it) holding the text; null only when memory runs out.
BSTR BstrFromUtf8(std::string_view utf8);
// The whole BSTR, NULs included, as UTF-8; "" for null.
std::string Utf8FromBstr(BSTR bstr);

// Owns one BSTR (or null) and frees it.
class CComBSTR {
public:
    CComBSTR() noexcept = default;
    explicit CComBSTR(std::string_view utf8) : m_str(BstrFromUtf8(utf8)) {}
    explicit CComBSTR(const char* utf8) : m_str(utf8 == nullptr ? nullptr : BstrFromUtf8(utf8)) {}
    explicit CComBSTR(LPCOLESTR psz) : m_str(SysAllocString(psz)) {}
    CComBSTR(const CComBSTR& other) : m_str(other.Copy()) {}
    CComBSTR(CComBSTR&& other) noexcept : m_str(other.Detach()) {}
    CComBSTR& operator=(const CComBSTR& other);
    CComBSTR& operator=(CComBSTR&& other) noexcept;
    ~CComBSTR() { SysFreeString(m_str); }

    operator BSTR() const noexcept { return m_str; }
    UINT Length() const noexcept { return SysStringLen(m_str); }
    std::string ToUtf8() const { return Utf8FromBstr(m_str); }

    // A new copy the caller owns (null for null).
    BSTR Copy() const;
    // Gives up ownership.
    BSTR Detach() noexcept;
    // Frees the current string and takes ownership of bstr.
    void Attach(BSTR bstr) noexcept;
    void Empty() noexcept;
    // Frees the current string and returns the slot for an out parameter to fill.
    BSTR* Receive() noexcept;

    BSTR m_str = nullptr;
};
