#pragma once
// VARIANT: the tagged value of IDispatch arguments and results. The types this system passes are
// VT_EMPTY, VT_BOOL, VT_I2, VT_I4, VT_DATE and VT_BSTR; the functions below handle exactly these
// and answer DISP_E_BADVARTYPE (clear, copy) or DISP_E_TYPEMISMATCH (change type) for any other.
//
// Ownership: a VT_BSTR variant owns its string. VariantClear frees it; VariantCopy duplicates it.
// Arguments handed to IDispatch::Invoke stay the caller's; a result written to pVarResult
// belongs to the caller, who clears it.
//
// DATE is days since 30 December 1899 00:00, the fraction being the time of day; before that
// day the fraction still counts forward (-1.25 is 29 December 1899, 06:00).

#include "platform/com/bstr.h"
#include "platform/com/hresult.h"
#include "platform/registry/wintypes.h"

#include <string_view>

using VARTYPE = uint16_t;
using VARIANT_BOOL = int16_t;
using DATE = double;

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

constexpr VARTYPE VT_EMPTY = 0;
constexpr VARTYPE VT_I2 = 2;
constexpr VARTYPE VT_I4 = 3;
constexpr VARTYPE VT_DATE = 7;
constexpr VARTYPE VT_BSTR = 8;
constexpr VARTYPE VT_BOOL = 11;

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONG lVal;            // VT_I4
        SHORT iVal;           // VT_I2
        VARIANT_BOOL boolVal; // VT_BOOL: VARIANT_TRUE or VARIANT_FALSE
        DATE date;            // VT_DATE
        BSTR bstrVal;         // VT_BSTR (null is the empty text)
    };
};
using VARIANTARG = VARIANT;

// Sets VT_EMPTY without looking at the old contents.
void VariantInit(VARIANTARG* pvarg);
// Frees what the variant owns and leaves it VT_EMPTY. DISP_E_BADVARTYPE (variant untouched) for
// a type not listed above.
HRESULT VariantClear(VARIANTARG* pvarg);
// Clears dest, then makes it a deep copy of src.
HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc);

// Flags of VariantChangeType.
constexpr USHORT VARIANT_NOVALUEPROP = 0x1;
constexpr USHORT VARIANT_ALPHABOOL = 0x2; // VT_BOOL to text as "True"/"False", not "-1"/"0"

// Converts src to type vt into dest (dest may be src). On failure dest is unchanged.
//   - VT_EMPTY reads as 0, FALSE, 0.0 or "", and only VT_EMPTY converts to VT_EMPTY;
//   - VT_BOOL reads as -1 / 0; any nonzero number is TRUE;
//   - numbers to VT_I2 / VT_I4 round half to even; DISP_E_OVERFLOW when out of range;
//   - text to numbers: optional blanks, sign, decimal digits, fraction and exponent (never
//     locale-dependent); to VT_BOOL also "True"/"False" in any case; to VT_DATE the forms
//     "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS]" ('T' may replace the blank) or "HH:MM[:SS]";
//   - numbers to text in decimal; a DATE as "YYYY-MM-DD" plus " HH:MM:SS" when it has a time;
//   - dates run from year 100 to 9999; anything outside is DISP_E_OVERFLOW.
// Text that does not read as the target type is DISP_E_TYPEMISMATCH.
HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags,
                          VARTYPE vt);

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek; // 0 = Sunday; ignored on input
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

// False for fields out of range (years 100 to 9999). Milliseconds are counted.
bool SystemTimeToVariantTime(const SYSTEMTIME* pst, DATE* pvtime);
// Rounds to the nearest second (wMilliseconds is 0). False outside years 100 to 9999 or NaN.
bool VariantTimeToSystemTime(DATE vtime, SYSTEMTIME* pst);

// Owns the contents of one VARIANT and clears them when destroyed. Derives from VARIANT so it
// can be passed wherever a VARIANT* is asked for.
class CComVariant : public VARIANT {
public:
    CComVariant() noexcept { VariantInit(this); }
    CComVariant(bool value) noexcept;
    CComVariant(SHORT value) noexcept;
    CComVariant(LONG value) noexcept;
    // VT_BSTR from UTF-8 text.
    CComVariant(std::string_view utf8);
    CComVariant(const char* utf8) : CComVariant(std::string_view(utf8 == nullptr ? "" : utf8)) {}
    // VT_BSTR from UTF-16 text.
    explicit CComVariant(LPCOLESTR psz);
    // A copy of any supported variant.
    explicit CComVariant(const VARIANT& src);
    CComVariant(const CComVariant& other);
    CComVariant(CComVariant&& other) noexcept;
    CComVariant& operator=(const CComVariant& other);
    CComVariant& operator=(CComVariant&& other) noexcept;
    ~CComVariant() { Clear(); }

    static CComVariant FromDate(DATE value) noexcept;

    HRESULT Clear() { return VariantClear(this); }
    HRESULT Copy(const VARIANT* src) { return VariantCopy(this, src); }
    // Converts in place, or from src into this object.
    HRESULT ChangeType(VARTYPE vtNew, const VARIANT* src = nullptr);
    // Takes over src's contents; src is left VT_EMPTY without being cleared.
    void Attach(VARIANT* src);
    // Moves the contents into dest (clearing dest first); this object is left VT_EMPTY.
    HRESULT Detach(VARIANT* dest);
};
