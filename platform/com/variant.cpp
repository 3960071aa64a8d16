#include "platform/com/variant.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Years 100 to 9999, as Windows allows.
constexpr double kMinDate = -657434.0;     // 0100-01-01
constexpr double kMaxDateExcl = 2958466.0; // 10000-01-01
constexpr int64_t kEpochDays = -25569;     // 1899-12-30 counted from 1970-01-01

bool IsSupported(VARTYPE vt) {
    return vt == VT_EMPTY || vt == VT_I2 || vt == VT_I4 || vt == VT_DATE || vt == VT_BSTR ||
           vt == VT_BOOL;
}

// Days from 1970-01-01 of a proleptic Gregorian date.
constexpr int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

constexpr void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0);
}

bool IsLeap(unsigned y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

unsigned DaysInMonth(unsigned y, unsigned m) {
    static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char c = a[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != b[i])
            return false;
    }
    return true;
}

// A decimal number, as text to VT_I2 / VT_I4 / VT_BOOL reads it.
bool ParseNumber(std::string_view text, double& out) {
    text = TrimBlanks(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty() || text.front() == '+')
        return false;
    // from_chars also reads "inf" and "nan"; neither is a number here.
    const char first = text.front() == '-' && text.size() > 1 ? text[1] : text.front();
    if (!(first >= '0' && first <= '9') && first != '.')
        return false;
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return false;
    out = value;
    return true;
}

bool ReadDigits(std::string_view s, size_t& pos, size_t minDigits, size_t maxDigits, WORD& out) {
    size_t n = 0;
    unsigned value = 0;
    while (pos < s.size() && n < maxDigits && s[pos] >= '0' && s[pos] <= '9') {
        value = value * 10 + static_cast<unsigned>(s[pos] - '0');
        ++pos;
        ++n;
    }
    if (n < minDigits)
        return false;
    out = static_cast<WORD>(value);
    return true;
}

bool ReadTime(std::string_view s, size_t& pos, SYSTEMTIME& st) {
    if (!ReadDigits(s, pos, 1, 2, st.wHour) || pos >= s.size() || s[pos] != ':')
        return false;
    ++pos;
    if (!ReadDigits(s, pos, 2, 2, st.wMinute))
        return false;
    if (pos < s.size() && s[pos] == ':') {
        ++pos;
        if (!ReadDigits(s, pos, 2, 2, st.wSecond))
            return false;
    }
    return true;
}

bool ParseDateText(std::string_view text, DATE& out) {
    text = TrimBlanks(text);
    SYSTEMTIME st{1899, 12, 0, 30, 0, 0, 0, 0};
    size_t pos = 0;
    if (text.size() > 4 && text[4] == '-') {
        if (!ReadDigits(text, pos, 4, 4, st.wYear) || text[pos++] != '-' ||
            !ReadDigits(text, pos, 1, 2, st.wMonth) || pos >= text.size() || text[pos++] != '-' ||
            !ReadDigits(text, pos, 1, 2, st.wDay))
            return false;
        if (pos < text.size()) {
            if (text[pos] != ' ' && text[pos] != 'T')
                return false;
            ++pos;
            if (!ReadTime(text, pos, st))
                return false;
        }
    } else if (!ReadTime(text, pos, st)) {
        return false;
    }
    return pos == text.size() && SystemTimeToVariantTime(&st, &out);
}

bool FormatDate(DATE d, std::string& out) {
    SYSTEMTIME st{};
    if (!VariantTimeToSystemTime(d, &st))
        return false;
    char buf[64];
    if (st.wHour == 0 && st.wMinute == 0 && st.wSecond == 0)
        std::snprintf(buf, sizeof buf, "%04u-%02u-%02u", st.wYear, st.wMonth, st.wDay);
    else
        std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth,
                      st.wDay, st.wHour, st.wMinute, st.wSecond);
    out = buf;
    return true;
}

// The numeric value of a non-text variant.
double NumberOf(const VARIANT& v) {
    switch (v.vt) {
    case VT_BOOL:
        return v.boolVal != 0 ? -1.0 : 0.0;
    case VT_I2:
        return v.iVal;
    case VT_I4:
        return v.lVal;
    case VT_DATE:
        return v.date;
    default:
        return 0.0;
    }
}

HRESULT NumberFrom(const VARIANT& src, double& out) {
    if (src.vt != VT_BSTR) {
        out = NumberOf(src);
        return S_OK;
    }
    return ParseNumber(Utf8FromBstr(src.bstrVal), out) ? S_OK : DISP_E_TYPEMISMATCH;
}

HRESULT RoundToInteger(double d, double lo, double hi, int64_t& out) {
    // nearbyint rounds half to even in the default rounding mode, as Windows does.
    const double r = std::nearbyint(d);
    if (!std::isfinite(r) || r < lo || r > hi)
        return DISP_E_OVERFLOW;
    out = static_cast<int64_t>(r);
    return S_OK;
}

HRESULT ToText(const VARIANT& src, USHORT flags, std::string& out) {
    switch (src.vt) {
    case VT_EMPTY:
        out.clear();
        return S_OK;
    case VT_BOOL:
        if (flags & VARIANT_ALPHABOOL)
            out = src.boolVal != 0 ? "True" : "False";
        else
            out = src.boolVal != 0 ? "-1" : "0";
        return S_OK;
    case VT_I2:
        out = std::to_string(src.iVal);
        return S_OK;
    case VT_I4:
        out = std::to_string(src.lVal);
        return S_OK;
    case VT_DATE:
        return FormatDate(src.date, out) ? S_OK : DISP_E_OVERFLOW;
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

// Builds the converted value in out (VT_EMPTY on entry).
HRESULT Convert(const VARIANT& src, USHORT flags, VARTYPE vt, VARIANT& out) {
    if (!IsSupported(src.vt) || !IsSupported(vt))
        return DISP_E_TYPEMISMATCH;
    switch (vt) {
    case VT_EMPTY:
        return src.vt == VT_EMPTY ? S_OK : DISP_E_TYPEMISMATCH;
    case VT_BSTR: {
        if (src.vt == VT_BSTR) {
            out.bstrVal = src.bstrVal == nullptr
                              ? nullptr
                              : SysAllocStringLen(src.bstrVal, SysStringLen(src.bstrVal));
            if (src.bstrVal != nullptr && out.bstrVal == nullptr)
                return E_OUTOFMEMORY;
        } else {
            std::string text;
            const HRESULT hr = ToText(src, flags, text);
            if (FAILED(hr))
                return hr;
            out.bstrVal = BstrFromUtf8(text);
            if (out.bstrVal == nullptr)
                return E_OUTOFMEMORY;
        }
        out.vt = VT_BSTR;
        return S_OK;
    }
    case VT_BOOL: {
        if (src.vt == VT_BSTR) {
            const std::string text = Utf8FromBstr(src.bstrVal);
            const std::string_view t = TrimBlanks(text);
            if (EqualsNoCase(t, "true") || EqualsNoCase(t, "false")) {
                out.boolVal = EqualsNoCase(t, "true") ? VARIANT_TRUE : VARIANT_FALSE;
                out.vt = VT_BOOL;
                return S_OK;
            }
        }
        double d = 0;
        const HRESULT hr = NumberFrom(src, d);
        if (FAILED(hr))
            return hr;
        out.boolVal = d != 0 ? VARIANT_TRUE : VARIANT_FALSE;
        out.vt = VT_BOOL;
        return S_OK;
    }
    case VT_I2:
    case VT_I4: {
        double d = 0;
        HRESULT hr = NumberFrom(src, d);
        if (FAILED(hr))
            return hr;
        int64_t n = 0;
        hr = vt == VT_I2 ? RoundToInteger(d, INT16_MIN, INT16_MAX, n)
                         : RoundToInteger(d, INT32_MIN, INT32_MAX, n);
        if (FAILED(hr))
            return hr;
        if (vt == VT_I2)
            out.iVal = static_cast<SHORT>(n);
        else
            out.lVal = static_cast<LONG>(n);
        out.vt = vt;
        return S_OK;
    }
    case VT_DATE: {
        double d = 0;
        if (src.vt == VT_BSTR) {
            if (!ParseDateText(Utf8FromBstr(src.bstrVal), d))
                return DISP_E_TYPEMISMATCH;
        } else {
            d = NumberOf(src);
            if (!(d >= kMinDate && d < kMaxDateExcl))
                return DISP_E_OVERFLOW;
        }
        out.date = d;
        out.vt = VT_DATE;
        return S_OK;
    }
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

} // namespace

void VariantInit(VARIANTARG* pvarg) {
    if (pvarg == nullptr)
        return;
    std::memset(static_cast<void*>(pvarg), 0, sizeof(VARIANT));
    pvarg->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* pvarg) {
    if (pvarg == nullptr)
        return E_INVALIDARG;
    if (!IsSupported(pvarg->vt))
        return DISP_E_BADVARTYPE;
    if (pvarg->vt == VT_BSTR)
        SysFreeString(pvarg->bstrVal);
    VariantInit(pvarg);
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
    if (pvargDest == nullptr || pvargSrc == nullptr)
        return E_INVALIDARG;
    if (pvargDest == pvargSrc)
        return S_OK;
    if (!IsSupported(pvargSrc->vt))
        return DISP_E_BADVARTYPE;
    const HRESULT hr = VariantClear(pvargDest);
    if (FAILED(hr))
        return hr;
    VARIANT copy = *pvargSrc;
    if (copy.vt == VT_BSTR && copy.bstrVal != nullptr) {
        copy.bstrVal = SysAllocStringLen(pvargSrc->bstrVal, SysStringLen(pvargSrc->bstrVal));
        if (copy.bstrVal == nullptr)
            return E_OUTOFMEMORY;
    }
    *pvargDest = copy;
    return S_OK;
}

HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags,
                          VARTYPE vt) {
    if (pvargDest == nullptr || pvarSrc == nullptr)
        return E_INVALIDARG;
    VARIANT result;
    VariantInit(&result);
    const HRESULT hr = Convert(*pvarSrc, wFlags, vt, result);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    // Only now may dest (which can be src) be released.
    if (FAILED(VariantClear(pvargDest)))
        VariantInit(pvargDest);
    *pvargDest = result;
    return S_OK;
}

bool SystemTimeToVariantTime(const SYSTEMTIME* pst, DATE* pvtime) {
    if (pst == nullptr || pvtime == nullptr)
        return false;
    const SYSTEMTIME& st = *pst;
    if (st.wYear < 100 || st.wYear > 9999 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
        st.wDay > DaysInMonth(st.wYear, st.wMonth) || st.wHour > 23 || st.wMinute > 59 ||
        st.wSecond > 59 || st.wMilliseconds > 999)
        return false;
    const int64_t days = DaysFromCivil(st.wYear, st.wMonth, st.wDay) - kEpochDays;
    const double time =
        (st.wHour * 3600.0 + st.wMinute * 60.0 + st.wSecond + st.wMilliseconds / 1000.0) / 86400.0;
    *pvtime = days >= 0 ? static_cast<double>(days) + time : static_cast<double>(days) - time;
    return true;
}

bool VariantTimeToSystemTime(DATE vtime, SYSTEMTIME* pst) {
    if (pst == nullptr || !(vtime >= kMinDate && vtime < kMaxDateExcl))
        return false;
    const double whole = std::trunc(vtime);
    auto days = static_cast<int64_t>(whole);
    auto seconds = static_cast<int64_t>(std::llround(std::fabs(vtime - whole) * 86400.0));
    if (seconds >= 86400) {
        // Rounded up to midnight: the next calendar day, whichever side of day 0.
        seconds -= 86400;
        days += 1;
    }
    int64_t y = 0;
    unsigned m = 0;
    unsigned d = 0;
    CivilFromDays(days + kEpochDays, y, m, d);
    if (y < 100 || y > 9999)
        return false;
    const int64_t z = days + kEpochDays; // 1970-01-01 was a Thursday
    pst->wYear = static_cast<WORD>(y);
    pst->wMonth = static_cast<WORD>(m);
    pst->wDay = static_cast<WORD>(d);
    pst->wDayOfWeek = static_cast<WORD>(((z % 7) + 7 + 4) % 7);
    pst->wHour = static_cast<WORD>(seconds / 3600);
    pst->wMinute = static_cast<WORD>(seconds / 60 % 60);
    pst->wSecond = static_cast<WORD>(seconds % 60);
    pst->wMilliseconds = 0;
    return true;
}

CComVariant::CComVariant(bool value) noexcept {
    VariantInit(this);
    vt = VT_BOOL;
    boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

CComVariant::CComVariant(SHORT value) noexcept {
    VariantInit(this);
    vt = VT_I2;
    iVal = value;
}

CComVariant::CComVariant(LONG value) noexcept {
    VariantInit(this);
    vt = VT_I4;
    lVal = value;
}

CComVariant::CComVariant(std::string_view utf8) {
    VariantInit(this);
    vt = VT_BSTR;
    bstrVal = BstrFromUtf8(utf8);
}

CComVariant::CComVariant(LPCOLESTR psz) {
    VariantInit(this);
    vt = VT_BSTR;
    bstrVal = SysAllocString(psz);
}

CComVariant::CComVariant(const VARIANT& src) {
    VariantInit(this);
    VariantCopy(this, &src);
}

CComVariant::CComVariant(const CComVariant& other)
    : CComVariant(static_cast<const VARIANT&>(other)) {}

CComVariant::CComVariant(CComVariant&& other) noexcept {
    VariantInit(this);
    Attach(&other);
}

CComVariant& CComVariant::operator=(const CComVariant& other) {
    if (this != &other)
        VariantCopy(this, &other);
    return *this;
}

CComVariant& CComVariant::operator=(CComVariant&& other) noexcept {
    if (this != &other) {
        Clear();
        Attach(&other);
    }
    return *this;
}

CComVariant CComVariant::FromDate(DATE value) noexcept {
    CComVariant v;
    v.vt = VT_DATE;
    v.date = value;
    return v;
}

HRESULT CComVariant::ChangeType(VARTYPE vtNew, const VARIANT* src) {
    return VariantChangeType(this, src == nullptr ? this : src, 0, vtNew);
}

void CComVariant::Attach(VARIANT* src) {
    if (src == nullptr || src == this)
        return;
    Clear();
    *static_cast<VARIANT*>(this) = *src;
    VariantInit(src);
}

HRESULT CComVariant::Detach(VARIANT* dest) {
    if (dest == nullptr)
        return E_POINTER;
    if (dest == this)
        return S_OK;
    const HRESULT hr = VariantClear(dest);
    if (FAILED(hr))
        return hr;
    *dest = *static_cast<VARIANT*>(this);
    VariantInit(this);
    return S_OK;
}
