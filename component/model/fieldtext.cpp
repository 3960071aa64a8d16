#include "component/model/fieldtext.h"

#include <array>
#include <charconv>
#include <limits>

std::string EscapeField(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendEscapedField(out, text);
    return out;
}

namespace {
// The bytes each escape replaces, looked up in one step per byte.
using CByteSet = std::array<bool, 256>;
constexpr CByteSet ByteSet(std::string_view bytes) {
    CByteSet set{};
    for (const char c : bytes)
        set[static_cast<unsigned char>(c)] = true;
    return set;
}
constexpr CByteSet kFieldSpecial = ByteSet(",\r\n");
constexpr CByteSet kHtmlSpecial = ByteSet("&\"<>");
} // namespace

// Both escapes copy the runs between the characters they replace in one piece: most texts have
// none, and a byte-by-byte copy costs several times the scan.
void AppendEscapedField(std::string& out, std::string_view text) {
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (!kFieldSpecial[static_cast<unsigned char>(c)])
            continue;
        out.append(text.substr(start, i - start));
        if (c == ',') {
            out.append(kCommaEscape);
        } else {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            out.append(kLineBreakEscape);
        }
        start = i + 1;
    }
    out.append(text.substr(start));
}

namespace {
// Replaces every occurrence of from by to in one left-to-right pass.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    for (;;) {
        const size_t hit = text.find(from, pos);
        if (hit == std::string_view::npos)
            break;
        out.append(text.substr(pos, hit - pos));
        out.append(to);
        pos = hit + from.size();
    }
    out.append(text.substr(pos));
    return out;
}
} // namespace

std::string UnescapeField(std::string_view field, char separator) {
    if (field.find('`') == std::string_view::npos)
        return std::string(field);
    const std::string once = ReplaceAll(field, kCommaEscape, std::string_view(&separator, 1));
    return ReplaceAll(once, kLineBreakEscape, "\r\n");
}

std::vector<std::string_view> CutFields(std::string_view text, char separator) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (;;) {
        const size_t hit = text.find(separator, start);
        if (hit == std::string_view::npos) {
            fields.push_back(text.substr(start));
            return fields;
        }
        fields.push_back(text.substr(start, hit - start));
        start = hit + 1;
    }
}

std::vector<std::string> SplitFields(std::string_view value, size_t count, char separator) {
    std::vector<std::string> pieces;
    pieces.reserve(count);
    size_t start = 0;
    while (start < value.size() && pieces.size() < count) {
        // One pass per field, noting whether it holds an escape at all: fields are short, and
        // most hold none.
        size_t end = start;
        bool escaped = false;
        for (; end < value.size() && value[end] != separator; ++end)
            escaped = escaped || value[end] == '`';
        const std::string_view field = value.substr(start, end - start);
        if (escaped)
            pieces.push_back(UnescapeField(field, separator));
        else
            pieces.emplace_back(field);
        start = end + 1;
    }
    pieces.resize(count);
    return pieces;
}

void AppendDecimal(std::string& out, int64_t value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

int32_t AtoI(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int64_t value = 0;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value < kLimit)
            value = value * 10 + (text[i] - '0');
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

std::string EscapeHtmlAttribute(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendHtmlAttribute(out, text);
    return out;
}

void AppendHtmlAttribute(std::string& out, std::string_view text) {
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (!kHtmlSpecial[static_cast<unsigned char>(text[i])])
            continue;
        std::string_view entity;
        switch (text[i]) {
        case '&':
            entity = "&amp;";
            break;
        case '"':
            entity = "&quot;";
            break;
        case '<':
            entity = "&lt;";
            break;
        default: // '>', the last byte of kHtmlSpecial
            entity = "&gt;";
            break;
        }
        out.append(text.substr(start, i - start));
        out.append(entity);
        start = i + 1;
    }
    out.append(text.substr(start));
}
