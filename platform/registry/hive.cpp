#include "platform/registry/hive.h"

#include <utility>

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimLeft(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && IsSpace(s[i]))
        ++i;
    return s.substr(i);
}

std::string_view TrimRight(std::string_view s) {
    size_t n = s.size();
    while (n > 0 && (IsSpace(s[n - 1]) || s[n - 1] == '\r'))
        --n;
    return s.substr(0, n);
}

bool EqualsFolded(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads a quoted text starting at s[pos] == '"'. On success pos is just past the closing quote.
bool ReadQuoted(std::string_view s, size_t& pos, std::string& out, std::string& message) {
    out.clear();
    ++pos;
    while (pos < s.size()) {
        const char c = s[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\') {
            if (pos + 1 >= s.size())
                break;
            const char e = s[pos + 1];
            switch (e) {
            case '\\':
                out.push_back('\\');
                break;
            case '"':
                out.push_back('"');
                break;
            case 'n':
                out.push_back('\n');
                break;
            case 'r':
                out.push_back('\r');
                break;
            default:
                message = std::string("unknown escape \\") + e + " (write a backslash as \\\\)";
                return false;
            }
            pos += 2;
            continue;
        }
        out.push_back(c);
        ++pos;
    }
    message = "missing closing quote";
    return false;
}

class CHiveParser {
public:
    CHiveParser(std::string_view text, CHiveKey& root, CHiveParseError& error)
        : m_text(text), m_root(root), m_error(error) {}

    bool Run();

private:
    bool Fail(std::string message) {
        m_error.nLine = m_nLine;
        m_error.strMessage = std::move(message);
        return false;
    }
    bool KeyHeader(std::string_view line);
    bool ValueLine(std::string_view line);

    std::string_view m_text;
    CHiveKey& m_root;
    CHiveParseError& m_error;
    CHiveKey* m_pCurrent = nullptr;
    int32_t m_nLine = 0;
};

bool CHiveParser::Run() {
    std::string_view rest = m_text;
    if (rest.substr(0, 3) == "\xEF\xBB\xBF")
        rest.remove_prefix(3);
    bool header = false;
    while (!rest.empty() || !header) {
        const size_t nl = rest.find('\n');
        std::string_view line = rest.substr(0, nl);
        rest = nl == std::string_view::npos ? std::string_view() : rest.substr(nl + 1);
        ++m_nLine;
        if (line.find('\0') != std::string_view::npos)
            return Fail("NUL byte in the file");
        line = TrimRight(line);
        if (line.find('\r') != std::string_view::npos)
            return Fail("carriage return inside a line");
        if (!header) {
            if (line != "REGEDIT4")
                return Fail("the first line must be REGEDIT4");
            header = true;
            continue;
        }
        line = TrimLeft(line);
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            if (!KeyHeader(line))
                return false;
        } else if (line.front() == '@' || line.front() == '"') {
            if (!ValueLine(line))
                return false;
        } else {
            return Fail("expected a [key] header or a value line");
        }
    }
    return true;
}

bool CHiveParser::KeyHeader(std::string_view line) {
    if (line.size() < 2 || line.back() != ']')
        return Fail("a key header must end with ']'");
    std::string_view path = line.substr(1, line.size() - 2);
    if (!path.empty() && path.front() == '-')
        return Fail("key deletions ([-...]) do not belong in a hive file");
    const size_t first = path.find('\\');
    const std::string_view hive = path.substr(0, first);
    if (!EqualsFolded(hive, m_root.Name()))
        return Fail("key is not in " + m_root.Name());
    CHiveKey* key = &m_root;
    int32_t depth = 0;
    if (first != std::string_view::npos) {
        std::string_view tail = path.substr(first + 1);
        for (;;) {
            const size_t sep = tail.find('\\');
            const std::string_view name = tail.substr(0, sep);
            if (name.empty())
                return Fail("empty key name in the path");
            if (++depth > kMaxRegistryKeyDepth)
                return Fail("keys nest deeper than " + std::to_string(kMaxRegistryKeyDepth));
            bool created = false;
            key = &key->CreateSubKey(name, created);
            if (sep == std::string_view::npos)
                break;
            tail.remove_prefix(sep + 1);
        }
    }
    m_pCurrent = key;
    return true;
}

bool CHiveParser::ValueLine(std::string_view line) {
    if (m_pCurrent == nullptr)
        return Fail("value before the first [key] header");
    CHiveValue value;
    size_t pos = 0;
    std::string message;
    if (line.front() == '@') {
        pos = 1;
    } else if (!ReadQuoted(line, pos, value.m_strName, message)) {
        return Fail("value name: " + message);
    }
    std::string_view rest = TrimLeft(line.substr(pos));
    if (rest.empty() || rest.front() != '=')
        return Fail("expected '=' after the value name");
    rest = TrimLeft(rest.substr(1));
    if (!rest.empty() && rest.front() == '"') {
        size_t p = 0;
        if (!ReadQuoted(rest, p, value.m_strText, message))
            return Fail("value data: " + message);
        if (!TrimLeft(rest.substr(p)).empty())
            return Fail("text after the closing quote");
        value.m_dwType = REG_SZ;
    } else if (rest.size() >= 6 && EqualsFolded(rest.substr(0, 6), "dword:")) {
        const std::string_view digits = rest.substr(6);
        if (digits.empty() || digits.size() > 8)
            return Fail("a dword needs 1 to 8 hexadecimal digits");
        DWORD n = 0;
        for (const char c : digits) {
            const int d = HexDigit(c);
            if (d < 0)
                return Fail("a dword needs 1 to 8 hexadecimal digits");
            n = (n << 4) | static_cast<DWORD>(d);
        }
        value.m_dwType = REG_DWORD;
        value.m_dwNumber = n;
    } else {
        return Fail("unsupported value data (only \"text\" and dword:)");
    }
    m_pCurrent->SetValue(std::move(value));
    return true;
}

void AppendQuoted(std::string& out, std::string_view text) {
    out.push_back('"');
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out.push_back(c);
        }
    }
    out.push_back('"');
}

void AppendValues(std::string& out, const CHiveKey& key) {
    static const char kHex[] = "0123456789abcdef";
    for (const auto& [folded, value] : key.Values()) {
        if (value.m_strName.empty())
            out.push_back('@');
        else
            AppendQuoted(out, value.m_strName);
        out.push_back('=');
        if (value.m_dwType == REG_DWORD) {
            out += "dword:";
            for (int shift = 28; shift >= 0; shift -= 4)
                out.push_back(kHex[(value.m_dwNumber >> shift) & 0xF]);
        } else {
            AppendQuoted(out, value.m_strText);
        }
        out.push_back('\n');
    }
}

// Depth is bounded by kMaxRegistryKeyDepth, so recursion is safe.
void AppendKey(std::string& out, std::string& path, const CHiveKey& key) {
    for (const auto& [folded, sub] : key.SubKeys()) {
        const size_t mark = path.size();
        path.push_back('\\');
        path += sub->Name();
        out += '[';
        out += path;
        out += "]\n";
        AppendValues(out, *sub);
        out.push_back('\n');
        AppendKey(out, path, *sub);
        path.resize(mark);
    }
}

} // namespace

std::string FoldRegistryName(std::string_view name) {
    std::string out(name);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

CHiveKey* CHiveKey::FindSubKey(std::string_view name) const {
    const auto it = m_subKeys.find(FoldRegistryName(name));
    return it == m_subKeys.end() ? nullptr : it->second.get();
}

const CHiveValue* CHiveKey::FindValue(std::string_view name) const {
    const auto it = m_values.find(FoldRegistryName(name));
    return it == m_values.end() ? nullptr : &it->second;
}

CHiveKey& CHiveKey::CreateSubKey(std::string_view name, bool& created) {
    auto [it, inserted] = m_subKeys.try_emplace(FoldRegistryName(name));
    if (inserted)
        it->second = std::make_unique<CHiveKey>(std::string(name));
    created = inserted;
    return *it->second;
}

bool CHiveKey::RemoveSubKey(std::string_view name) {
    return m_subKeys.erase(FoldRegistryName(name)) > 0;
}

bool CHiveKey::SetValue(CHiveValue value) {
    if (value.m_dwType == REG_DWORD)
        value.m_strText.clear();
    else
        value.m_dwNumber = 0;
    auto [it, inserted] = m_values.try_emplace(FoldRegistryName(value.m_strName));
    if (!inserted) {
        value.m_strName = it->second.m_strName; // the first spelling stays, as for keys
        if (it->second == value)
            return false;
    }
    it->second = std::move(value);
    return true;
}

bool CHiveKey::RemoveValue(std::string_view name) {
    return m_values.erase(FoldRegistryName(name)) > 0;
}

bool CHiveKey::operator==(const CHiveKey& other) const {
    if (m_strName != other.m_strName || m_values != other.m_values ||
        m_subKeys.size() != other.m_subKeys.size())
        return false;
    auto a = m_subKeys.begin();
    auto b = other.m_subKeys.begin();
    for (; a != m_subKeys.end(); ++a, ++b) {
        if (a->first != b->first || !(*a->second == *b->second))
            return false;
    }
    return true;
}

bool ParseHiveText(std::string_view text, CHiveKey& root, CHiveParseError& error) {
    root = CHiveKey(root.Name());
    error = CHiveParseError();
    CHiveParser parser(text, root, error);
    if (parser.Run())
        return true;
    root = CHiveKey(root.Name());
    return false;
}

std::string FormatHiveText(const CHiveKey& root) {
    std::string out = "REGEDIT4\n\n";
    std::string path = root.Name();
    if (!root.Values().empty()) {
        out += '[' + path + "]\n";
        AppendValues(out, root);
        out.push_back('\n');
    }
    AppendKey(out, path, root);
    return out;
}

std::string QuoteRegistryText(std::string_view text) {
    std::string out;
    AppendQuoted(out, text);
    return out;
}
