#include "platform/com/com.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

std::string Bytes(std::string_view s) {
    std::string out;
    char buf[4];
    for (unsigned char c : s) {
        std::snprintf(buf, sizeof buf, "%02X ", c);
        out += buf;
    }
    return out;
}

} // namespace

TEST(Guid, ParsesAndFormatsTheBracedForm) {
    constexpr CLSID clsid = MakeGuid("{3673bdd0-F2E8-11d2-9EA9-0000e8e0aeb1}");
    static_assert(clsid.Data1 == 0x3673BDD0 && clsid.Data2 == 0xF2E8 && clsid.Data3 == 0x11D2);
    static_assert(clsid.Data4[0] == 0x9E && clsid.Data4[7] == 0xB1);
    EXPECT_EQ(GuidToString(clsid), "{3673BDD0-F2E8-11D2-9EA9-0000E8E0AEB1}");
    EXPECT_EQ(GuidToString(IID_IDispatch), "{00020400-0000-0000-C000-000000000046}");

    const char* const bad[] = {
        "3673BDD0-F2E8-11D2-9EA9-0000E8E0AEB1",    // no braces
        "{3673BDD0-F2E8-11D2-9EA9-0000E8E0AEB1",   // one brace
        "{3673BDD0-F2E8-11D2-9EA9-0000E8E0AEB}",   // short
        "{3673BDD0-F2E8-11D2-9EA9-0000E8E0AEB12}", // long
        "{3673BDD0F-2E8-11D2-9EA9-0000E8E0AEB1}",  // dash moved
        "{3673BDD0-F2E8-11D2-9EA9-0000E8E0AEG1}",  // not hex
        "{3673BDD0-F2E8-11D2-9EA9+0000E8E0AEB1}",  " {3673BDD0-F2E8-11D2-9EA9-0000E8E0AEB1}", "",
    };
    for (const char* text : bad) {
        GUID g = IID_IUnknown;
        EXPECT_FALSE(GuidFromString(text, g)) << text;
        EXPECT_EQ(g, IID_IUnknown) << "left alone on failure: " << text;
        CLSID c{};
        EXPECT_EQ(CLSIDFromString(text, &c), CO_E_CLASSSTRING) << text;
    }
    CLSID parsed{};
    ASSERT_EQ(CLSIDFromString(u"{3673BDD0-F2E8-11D2-9EA9-0000E8E0AEB1}", &parsed), S_OK);
    EXPECT_EQ(parsed, clsid);
    EXPECT_NE(parsed, CLSID_NULL);
    LPOLESTR text = nullptr;
    ASSERT_EQ(StringFromCLSID(clsid, &text), S_OK);
    EXPECT_EQ(std::u16string(text), u"{3673BDD0-F2E8-11D2-9EA9-0000E8E0AEB1}");
    CoTaskMemFree(text);
}

TEST(Bstr, IsLengthPrefixedTerminatedUtf16) {
    BSTR s = SysAllocString(u"ab\u00FC");
    ASSERT_NE(s, nullptr);
    uint32_t prefix = 0;
    std::memcpy(&prefix, reinterpret_cast<const char*>(s) - 4, 4);
    EXPECT_EQ(prefix, 6u);
    EXPECT_EQ(SysStringLen(s), 3u);
    EXPECT_EQ(SysStringByteLen(s), 6u);
    EXPECT_EQ(s[3], u'\0');
    SysFreeString(s);

    // Length counts, so NULs inside survive; a null source gives zeros.
    const char16_t withNul[] = {u'a', u'\0', u'b'};
    s = SysAllocStringLen(withNul, 3);
    EXPECT_EQ(Utf8FromBstr(s), std::string("a\0b", 3));
    CComBSTR copy;
    copy.Attach(s);
    CComBSTR second(copy);
    EXPECT_NE(second.m_str, copy.m_str);
    EXPECT_EQ(second.Length(), 3u);
    BSTR zeros = SysAllocStringLen(nullptr, 2);
    EXPECT_EQ(zeros[0] | zeros[1] | zeros[2], 0);
    SysFreeString(zeros);

    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(Utf8FromBstr(nullptr), "");
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    SysFreeString(nullptr);
    EXPECT_EQ(SysAllocStringLen(nullptr, 0x80000000u), nullptr) << "byte length must fit 32 bits";
}

TEST(Bstr, Utf8RoundTripsAndMalformedInputBecomesReplacementCharacters) {
    const char* const good[] = {
        "",
        "plain ASCII",
        "Gr\xC3\xBC\xC3\x9F"
        "e",
        "\xE2\x9C\x93 \xE6\x97\xA5\xE6\x9C\xAC",
        "\xF0\x9F\x98\x80 outside the BMP",
        "\xEF\xBF\xBF\xF4\x8F\xBF\xBF", // U+FFFF, U+10FFFF
    };
    for (const char* text : good) {
        CComBSTR b(text);
        EXPECT_EQ(b.ToUtf8(), text) << Bytes(text);
    }
    EXPECT_EQ(Utf16FromUtf8("\xF0\x9F\x98\x80"), u"\U0001F600");

    struct Case {
        std::string utf8;
        std::u16string utf16;
    };
    const Case bad[] = {
        {"a\x80z", u"a\uFFFDz"},                           // lone continuation byte
        {"\xC0\xAF", u"\uFFFD\uFFFD"},                     // overlong '/'
        {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},           // overlong three-byte form
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},           // an encoded surrogate
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"}, // above U+10FFFF
        {"\xE2\x9C", u"\uFFFD"},                           // truncated at the end
        {"\xE2\x9C"
         "a",
         u"\uFFFDa"}, // truncated, then more text
        {"\xF0\x9F\x98", u"\uFFFD"},
        {"\xFF\xFE", u"\uFFFD\uFFFD"},
        {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
    };
    for (const Case& c : bad)
        EXPECT_EQ(Utf16FromUtf8(c.utf8), c.utf16) << Bytes(c.utf8);

    // Unpaired surrogates cannot be written as UTF-8.
    EXPECT_EQ(Utf8FromUtf16(u"a\xD800z"), "a\xEF\xBF\xBDz");
    EXPECT_EQ(Utf8FromUtf16(u"\xDC00\xD83D"), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(Variant, ChangeTypeFollowsTheUsualConversions) {
    struct Case {
        CComVariant from;
        VARTYPE to;
        HRESULT hr;
        CComVariant expected;
        USHORT flags = 0;
    };
    const DATE noon2000 = 36526.5; // 2000-01-01 12:00
    const Case cases[] = {
        // To VT_I2 / VT_I4.
        {CComVariant(LONG{70000}), VT_I4, S_OK, CComVariant(LONG{70000})},
        {CComVariant(LONG{70000}), VT_I2, DISP_E_OVERFLOW, {}},
        {CComVariant(LONG{-32768}), VT_I2, S_OK, CComVariant(SHORT{-32768})},
        {CComVariant(SHORT{-5}), VT_I4, S_OK, CComVariant(LONG{-5})},
        {CComVariant(true), VT_I2, S_OK, CComVariant(SHORT{-1})},
        {CComVariant(false), VT_I4, S_OK, CComVariant(LONG{0})},
        {CComVariant(), VT_I4, S_OK, CComVariant(LONG{0})},
        {CComVariant::FromDate(2.5), VT_I4, S_OK, CComVariant(LONG{2})}, // half to even
        {CComVariant::FromDate(3.5), VT_I4, S_OK, CComVariant(LONG{4})},
        {CComVariant::FromDate(-2.5), VT_I2, S_OK, CComVariant(SHORT{-2})},
        {CComVariant("  42 "), VT_I2, S_OK, CComVariant(SHORT{42})},
        {CComVariant("+7"), VT_I4, S_OK, CComVariant(LONG{7})},
        {CComVariant("-1.5"), VT_I4, S_OK, CComVariant(LONG{-2})},
        {CComVariant("1e3"), VT_I4, S_OK, CComVariant(LONG{1000})},
        {CComVariant("2147483648"), VT_I4, DISP_E_OVERFLOW, {}},
        {CComVariant("12abc"), VT_I4, DISP_E_TYPEMISMATCH, {}},
        {CComVariant(""), VT_I4, DISP_E_TYPEMISMATCH, {}},
        {CComVariant("nan"), VT_I4, DISP_E_TYPEMISMATCH, {}},
        {CComVariant("1,5"), VT_I4, DISP_E_TYPEMISMATCH, {}}, // never the locale's comma
        // To VT_BOOL.
        {CComVariant(LONG{2}), VT_BOOL, S_OK, CComVariant(true)},
        {CComVariant(SHORT{0}), VT_BOOL, S_OK, CComVariant(false)},
        {CComVariant("TRUE"), VT_BOOL, S_OK, CComVariant(true)},
        {CComVariant(" false "), VT_BOOL, S_OK, CComVariant(false)},
        {CComVariant("-1"), VT_BOOL, S_OK, CComVariant(true)},
        {CComVariant("yes"), VT_BOOL, DISP_E_TYPEMISMATCH, {}},
        {CComVariant::FromDate(0.25), VT_BOOL, S_OK, CComVariant(true)},
        // To VT_DATE.
        {CComVariant(LONG{36526}), VT_DATE, S_OK, CComVariant::FromDate(36526)},
        {CComVariant(true), VT_DATE, S_OK, CComVariant::FromDate(-1)},
        {CComVariant(LONG{3000000}), VT_DATE, DISP_E_OVERFLOW, {}},
        {CComVariant("2000-01-01 12:00"), VT_DATE, S_OK, CComVariant::FromDate(noon2000)},
        {CComVariant("2000-1-1T12:00:00"), VT_DATE, S_OK, CComVariant::FromDate(noon2000)},
        {CComVariant("06:00"), VT_DATE, S_OK, CComVariant::FromDate(0.25)},
        {CComVariant("2000-02-30"), VT_DATE, DISP_E_TYPEMISMATCH, {}},
        {CComVariant("36526.5"), VT_DATE, DISP_E_TYPEMISMATCH, {}},
        // To VT_BSTR.
        {CComVariant(true), VT_BSTR, S_OK, CComVariant("-1")},
        {CComVariant(true), VT_BSTR, S_OK, CComVariant("True"), VARIANT_ALPHABOOL},
        {CComVariant(false), VT_BSTR, S_OK, CComVariant("False"), VARIANT_ALPHABOOL},
        {CComVariant(SHORT{-12}), VT_BSTR, S_OK, CComVariant("-12")},
        {CComVariant(LONG{123456}), VT_BSTR, S_OK, CComVariant("123456")},
        {CComVariant::FromDate(noon2000), VT_BSTR, S_OK, CComVariant("2000-01-01 12:00:00")},
        {CComVariant::FromDate(36526), VT_BSTR, S_OK, CComVariant("2000-01-01")},
        {CComVariant::FromDate(-1.25), VT_BSTR, S_OK, CComVariant("1899-12-29 06:00:00")},
        {CComVariant::FromDate(1e9), VT_BSTR, DISP_E_OVERFLOW, {}},
        {CComVariant(), VT_BSTR, S_OK, CComVariant("")},
        // To VT_EMPTY, and types this layer does not know.
        {CComVariant(), VT_EMPTY, S_OK, CComVariant()},
        {CComVariant(LONG{1}), VT_EMPTY, DISP_E_TYPEMISMATCH, {}},
        {CComVariant(LONG{1}), 5 /* VT_R8 */, DISP_E_TYPEMISMATCH, {}},
    };
    for (const Case& c : cases) {
        CComVariant from(c.from);
        const std::string label = "from vt " + std::to_string(c.from.vt) + " to vt " +
                                  std::to_string(c.to) + " (row " + std::to_string(&c - cases) +
                                  ")";
        CComVariant dest("untouched on failure");
        const HRESULT hr = VariantChangeType(&dest, &from, c.flags, c.to);
        EXPECT_EQ(hr, c.hr) << label;
        if (FAILED(c.hr)) {
            EXPECT_EQ(dest.vt, VT_BSTR) << label;
            EXPECT_EQ(Utf8FromBstr(dest.bstrVal), "untouched on failure") << label;
            continue;
        }
        ASSERT_EQ(dest.vt, c.expected.vt) << label;
        switch (dest.vt) {
        case VT_BOOL:
            EXPECT_EQ(dest.boolVal, c.expected.boolVal) << label;
            break;
        case VT_I2:
            EXPECT_EQ(dest.iVal, c.expected.iVal) << label;
            break;
        case VT_I4:
            EXPECT_EQ(dest.lVal, c.expected.lVal) << label;
            break;
        case VT_DATE:
            EXPECT_NEAR(dest.date, c.expected.date, 1e-9) << label;
            break;
        case VT_BSTR:
            EXPECT_EQ(Utf8FromBstr(dest.bstrVal), Utf8FromBstr(c.expected.bstrVal)) << label;
            break;
        default:
            break;
        }
    }
}

TEST(Variant, CopyAndInPlaceConversionOwnTheirStrings) {
    CComVariant text("12");
    CComVariant copy;
    ASSERT_EQ(VariantCopy(&copy, &text), S_OK);
    EXPECT_NE(copy.bstrVal, text.bstrVal);
    // In place: the source string is freed only after the new value exists (ASan checks).
    ASSERT_EQ(VariantChangeType(&copy, &copy, 0, VT_I2), S_OK);
    EXPECT_EQ(copy.vt, VT_I2);
    EXPECT_EQ(copy.iVal, 12);
    ASSERT_EQ(text.ChangeType(VT_BSTR), S_OK);
    EXPECT_EQ(Utf8FromBstr(text.bstrVal), "12");

    VARIANT odd;
    VariantInit(&odd);
    odd.vt = 9; // VT_DISPATCH: not handled here
    EXPECT_EQ(VariantClear(&odd), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantCopy(&copy, &odd), DISP_E_BADVARTYPE);
    EXPECT_EQ(copy.vt, VT_I2) << "a refused copy leaves the target alone";

    CComVariant moved(std::move(text));
    EXPECT_EQ(text.vt, VT_EMPTY);
    VARIANT out;
    VariantInit(&out);
    ASSERT_EQ(moved.Detach(&out), S_OK);
    EXPECT_EQ(moved.vt, VT_EMPTY);
    EXPECT_EQ(Utf8FromBstr(out.bstrVal), "12");
    VariantClear(&out);
}

TEST(Variant, DatesConvertBothWaysAcrossTheEpoch) {
    struct Case {
        SYSTEMTIME st;
        DATE date;
    };
    const Case cases[] = {
        {{1899, 12, 6, 30, 0, 0, 0, 0}, 0.0},
        {{1899, 12, 6, 30, 18, 0, 0, 0}, 0.75},
        {{1899, 12, 5, 29, 6, 0, 0, 0}, -1.25}, // the fraction counts forward before day 0
        {{1900, 1, 1, 1, 0, 0, 0, 0}, 2.0},
        {{2000, 1, 6, 1, 12, 0, 0, 0}, 36526.5},
        {{2024, 2, 4, 29, 23, 59, 59, 0}, 45351.0 + 86399.0 / 86400.0},
        {{100, 1, 5, 1, 0, 0, 0, 0}, -657434.0},
        {{9999, 12, 5, 31, 0, 0, 0, 0}, 2958465.0},
    };
    for (const Case& c : cases) {
        DATE d = 0;
        ASSERT_TRUE(SystemTimeToVariantTime(&c.st, &d)) << c.date;
        EXPECT_NEAR(d, c.date, 1e-9);
        SYSTEMTIME back{};
        ASSERT_TRUE(VariantTimeToSystemTime(c.date, &back)) << c.date;
        EXPECT_EQ(std::memcmp(&back, &c.st, sizeof back), 0)
            << c.date << " -> " << back.wYear << "-" << back.wMonth << "-" << back.wDay << " "
            << back.wHour << ":" << back.wMinute << ":" << back.wSecond << " dow "
            << back.wDayOfWeek;
    }
    // Just short of midnight rounds into the next calendar day, on both sides of day 0.
    SYSTEMTIME st{};
    ASSERT_TRUE(VariantTimeToSystemTime(-1.9999999, &st));
    EXPECT_EQ(st.wDay, 30);
    EXPECT_EQ(st.wHour, 0);
    ASSERT_TRUE(VariantTimeToSystemTime(1.9999999, &st));
    EXPECT_EQ(st.wDay, 1);
    EXPECT_EQ(st.wMonth, 1);

    SYSTEMTIME invalid = {2023, 2, 0, 29, 0, 0, 0, 0};
    DATE d = 0;
    EXPECT_FALSE(SystemTimeToVariantTime(&invalid, &d));
    invalid = {99, 1, 0, 1, 0, 0, 0, 0};
    EXPECT_FALSE(SystemTimeToVariantTime(&invalid, &d));
    EXPECT_FALSE(VariantTimeToSystemTime(2958466.0, &st));
    EXPECT_FALSE(VariantTimeToSystemTime(std::nan(""), &st));
}
