#include "component/model/fieldtext.h"

#include <limits>

std::string EscapeField(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            out.append(kLineBreakEscape);
        } else if (c == '\n') {
            out.append(kLineBreakEscape);
        } else if (c == ',') {
            out.append(kCommaEscape);
        } else {
            out.push_back(c);
        }
    }
    return out;
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
        size_t hit = value.find(separator, start);
        if (hit == std::string_view::npos)
            hit = value.size();
        pieces.push_back(UnescapeField(value.substr(start, hit - start), separator));
        start = hit + 1;
    }
    pieces.resize(count);
    return pieces;
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
    for (const char c : text) {
        switch (c) {
        case '&':
            out.append("&amp;");
            break;
        case '"':
            out.append("&quot;");
            break;
        case '<':
            out.append("&lt;");
            break;
        case '>':
            out.append("&gt;");
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}
