#pragma once
// GUID, and the identifiers made of it: CLSID (a class), IID (an interface), CATID (a component
// category). The text form is the braced upper-case one, "{3673BDD0-F2E8-11D2-9EA9-0000E8E0AEB1}",
// as registry keys use it.

#include <cstdint>
#include <string>
#include <string_view>

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];

    friend constexpr bool operator==(const GUID&, const GUID&) = default;
};

using IID = GUID;
using CLSID = GUID;
using CATID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
using REFCATID = const CATID&;

constexpr GUID GUID_NULL{};
constexpr IID IID_NULL{};
constexpr CLSID CLSID_NULL{};

constexpr bool IsEqualGUID(REFGUID a, REFGUID b) {
    return a == b;
}
constexpr bool IsEqualIID(REFIID a, REFIID b) {
    return a == b;
}
constexpr bool IsEqualCLSID(REFCLSID a, REFCLSID b) {
    return a == b;
}

// Parses the braced form (hex digits in either case, nothing around it). Returns false and
// leaves guid alone for anything else.
constexpr bool GuidFromString(std::string_view text, GUID& guid) {
    if (text.size() != 38 || text.front() != '{' || text.back() != '}')
        return false;
    uint8_t bytes[16] = {};
    int nibble = 0;
    for (size_t pos = 1; pos < 37; ++pos) {
        const char c = text[pos];
        if (pos == 9 || pos == 14 || pos == 19 || pos == 24) {
            if (c != '-')
                return false;
            continue;
        }
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0)
            return false;
        bytes[nibble / 2] = static_cast<uint8_t>((bytes[nibble / 2] << 4) | digit);
        ++nibble;
    }
    GUID g{};
    g.Data1 = (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
              bytes[3];
    g.Data2 = static_cast<uint16_t>((bytes[4] << 8) | bytes[5]);
    g.Data3 = static_cast<uint16_t>((bytes[6] << 8) | bytes[7]);
    for (int i = 0; i < 8; ++i)
        g.Data4[i] = bytes[8 + i];
    guid = g;
    return true;
}

// A GUID from a literal, checked while compiling:
//     constexpr CLSID CLSID_X = MakeGuid("{3673BDD0-F2E8-11D2-9EA9-0000E8E0AEB1}");
consteval GUID MakeGuid(std::string_view text) {
    GUID g{};
    if (!GuidFromString(text, g))
        throw "malformed GUID literal";
    return g;
}

// The braced upper-case form.
std::string GuidToString(REFGUID guid);
