#include "platform/com/bstr.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kPrefix = sizeof(uint32_t);

char* BaseOf(BSTR bstr) {
    return reinterpret_cast<char*>(bstr) - kPrefix;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

} // namespace

BSTR SysAllocStringLen(const OLECHAR* pch, UINT cch) {
    // The byte length must fit the 32-bit prefix.
    if (cch > (UINT32_MAX - kPrefix - sizeof(OLECHAR)) / sizeof(OLECHAR))
        return nullptr;
    const uint32_t bytes = cch * static_cast<uint32_t>(sizeof(OLECHAR));
    char* base = static_cast<char*>(std::malloc(kPrefix + bytes + sizeof(OLECHAR)));
    if (base == nullptr)
        return nullptr;
    std::memcpy(base, &bytes, kPrefix);
    BSTR bstr = reinterpret_cast<BSTR>(base + kPrefix);
    if (pch != nullptr)
        std::memcpy(bstr, pch, bytes);
    else
        std::memset(bstr, 0, bytes);
    bstr[cch] = u'\0';
    return bstr;
}

BSTR SysAllocString(LPCOLESTR psz) {
    if (psz == nullptr)
        return nullptr;
    return SysAllocStringLen(psz, static_cast<UINT>(std::char_traits<char16_t>::length(psz)));
}

void SysFreeString(BSTR bstr) {
    if (bstr != nullptr)
        std::free(BaseOf(bstr));
}

UINT SysStringByteLen(BSTR bstr) {
    if (bstr == nullptr)
        return 0;
    uint32_t bytes = 0;
    std::memcpy(&bytes, BaseOf(bstr), kPrefix);
    return bytes;
}

UINT SysStringLen(BSTR bstr) {
    return SysStringByteLen(bstr) / static_cast<UINT>(sizeof(OLECHAR));
}

std::u16string Utf16FromUtf8(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    size_t i = 0;
    const size_t n = s.size();
    while (i < n) {
        const auto b0 = static_cast<unsigned char>(s[i]);
        if (b0 < 0x80) {
            out.push_back(b0);
            ++i;
            continue;
        }
        // Expected continuation count and the allowed range of the second byte, which rules
        // out overlong forms, surrogates and values above U+10FFFF.
        int need = 0;
        unsigned char lo = 0x80;
        unsigned char hi = 0xBF;
        char32_t cp = 0;
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            need = 1;
            cp = b0 & 0x1F;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            need = 2;
            cp = b0 & 0x0F;
            if (b0 == 0xE0)
                lo = 0xA0;
            else if (b0 == 0xED)
                hi = 0x9F;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            need = 3;
            cp = b0 & 0x07;
            if (b0 == 0xF0)
                lo = 0x90;
            else if (b0 == 0xF4)
                hi = 0x8F;
        } else {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        size_t j = i + 1;
        bool ok = true;
        for (int k = 0; k < need; ++k, ++j) {
            if (j >= n) {
                ok = false;
                break;
            }
            const auto b = static_cast<unsigned char>(s[j]);
            const unsigned char min = k == 0 ? lo : 0x80;
            const unsigned char max = k == 0 ? hi : 0xBF;
            if (b < min || b > max) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (b & 0x3F);
        }
        if (!ok) {
            // The lead byte and the continuation bytes that fitted make one replacement.
            out.push_back(u'\uFFFD');
            i = j;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i = j;
    }
    return out;
}

std::string Utf8FromUtf16(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        const char16_t u = s[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((char32_t{u} - 0xD800) << 10) + (s[i + 1] - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

BSTR BstrFromUtf8(std::string_view utf8) {
    const std::u16string wide = Utf16FromUtf8(utf8);
    if (wide.size() > UINT32_MAX)
        return nullptr;
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

std::string Utf8FromBstr(BSTR bstr) {
    return bstr == nullptr ? std::string() : Utf8FromUtf16({bstr, SysStringLen(bstr)});
}

CComBSTR& CComBSTR::operator=(const CComBSTR& other) {
    if (this != &other)
        Attach(other.Copy());
    return *this;
}

CComBSTR& CComBSTR::operator=(CComBSTR&& other) noexcept {
    if (this != &other)
        Attach(other.Detach());
    return *this;
}

BSTR CComBSTR::Copy() const {
    return m_str == nullptr ? nullptr : SysAllocStringLen(m_str, SysStringLen(m_str));
}

BSTR CComBSTR::Detach() noexcept {
    BSTR s = m_str;
    m_str = nullptr;
    return s;
}

void CComBSTR::Attach(BSTR bstr) noexcept {
    if (bstr != m_str)
        SysFreeString(m_str);
    m_str = bstr;
}

void CComBSTR::Empty() noexcept {
    Attach(nullptr);
}

BSTR* CComBSTR::Receive() noexcept {
    Empty();
    return &m_str;
}
