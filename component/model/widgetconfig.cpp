#include "component/model/widgetconfig.h"

#include "component/model/fieldtext.h"
#include "platform/file/atomicfile.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <sys/stat.h>

namespace {

constexpr std::string_view kDescriptionBegin = "========== Description Part Begin ==========";
constexpr std::string_view kDescriptionEnd = "========== Description Part End ==========";
constexpr std::string_view kParameterBegin = "========== Parameter Part Begin ==========";
constexpr std::string_view kParameterEnd = "========== Parameter Part End ==========";
constexpr std::string_view kResourceBegin = "========== Resource Part Begin ==========";
constexpr std::string_view kResourceEnd = "========== Resource Part End ==========";
constexpr std::string_view kHtmlBegin = "========== HTML Part Begin ==========";
constexpr std::string_view kHtmlEnd = "========== HTML Part End ==========";
constexpr std::string_view kSegmentEnd = "===== Segment End =====";
constexpr std::string_view kResourceNumber = "Resource Number";
constexpr std::string_view kSegmentNumber = "Segment Number";
constexpr std::string_view kSegmentPosition = "Segment Position";
constexpr std::string_view kCrLf = "\r\n";

// The count lines hold 16-bit numbers.
constexpr size_t kMaxListSize = std::numeric_limits<uint16_t>::max();

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    }
    return true;
}

bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

std::string_view Trim(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsSpace(text[begin]))
        ++begin;
    while (end > begin && IsSpace(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

// Splits at the first '=' into trimmed key and value; false when the line has no '='.
bool SplitKeyValue(std::string_view line, std::string_view& key, std::string_view& value) {
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return false;
    key = Trim(line.substr(0, eq));
    value = Trim(line.substr(eq + 1));
    return true;
}

bool HasKey(std::string_view line, std::string_view wanted, std::string_view& value) {
    std::string_view key;
    return SplitKeyValue(line, key, value) && EqualsNoCase(key, wanted);
}

// A count line's value as C's atoi reads it, kept to 16 bits as the writers of these files do.
size_t ListCount(std::string_view value) {
    return static_cast<uint16_t>(AtoI(value));
}

// Lines of a text held in memory, each visited once.
class CLineReader {
public:
    explicit CLineReader(std::string_view text) : m_text(text) {
        m_nextLf = Find('\n');
        m_nextCr = Find('\r');
    }

    bool Next(std::string_view& line) {
        if (m_pos >= m_text.size())
            return false;
        const size_t end = NextBreak();
        if (end == m_text.size()) {
            line = m_text.substr(m_pos);
            m_pos = m_text.size();
            return true;
        }
        line = m_text.substr(m_pos, end - m_pos);
        m_pos = end + 1;
        if (m_text[end] == '\r' && m_pos < m_text.size() && m_text[m_pos] == '\n')
            ++m_pos;
        return true;
    }

    // Skips lines up to and including the marker; false at the end of the text.
    bool SkipPast(std::string_view marker) {
        std::string_view line;
        while (Next(line)) {
            if (EqualsNoCase(line, marker))
                return true;
        }
        return false;
    }

    // Skips lines up to and including the first whose key is wanted; false at the end.
    bool SkipToKey(std::string_view wanted, std::string_view& value) {
        std::string_view line;
        while (Next(line)) {
            if (HasKey(line, wanted, value))
                return true;
        }
        return false;
    }

private:
    // The first CR or LF at or after m_pos, or the size of the text. The next LF and the next CR
    // are each found with memchr and kept until the reader has passed them, so every byte is
    // searched at most once for each: linear for any mix of line ends (a search for either
    // character at once would test the bytes one library call at a time).
    size_t NextBreak() {
        if (m_nextLf < m_pos)
            m_nextLf = Find('\n');
        if (m_nextCr < m_pos)
            m_nextCr = Find('\r');
        return std::min(m_nextLf, m_nextCr);
    }

    size_t Find(char c) const {
        if (m_pos >= m_text.size())
            return m_text.size();
        const void* hit = std::memchr(m_text.data() + m_pos, c, m_text.size() - m_pos);
        return hit == nullptr ? m_text.size()
                              : static_cast<size_t>(static_cast<const char*>(hit) - m_text.data());
    }

    std::string_view m_text;
    size_t m_pos = 0;
    size_t m_nextLf = 0;
    size_t m_nextCr = 0;
};

// Reads "key = value" lines between the two markers into map; false at the end of the text.
bool ReadKeyValuePart(CLineReader& in, std::string_view begin, std::string_view end,
                      CWidgetConfig::TextMap& map) {
    if (!in.SkipPast(begin))
        return false;
    std::string_view line;
    while (in.Next(line)) {
        if (EqualsNoCase(line, end))
            return true;
        std::string_view key;
        std::string_view value;
        // Files we write list keys in order, so the end is where the next key usually goes; the
        // hint makes that insertion constant time instead of a descent through the whole map.
        if (SplitKeyValue(line, key, value))
            map.insert_or_assign(map.end(), std::string(key), std::string(value));
    }
    return false;
}

bool ReadResourcePart(CLineReader& in, std::vector<CResourceEntry>& list) {
    std::string_view value;
    if (!in.SkipPast(kResourceBegin) || !in.SkipToKey(kResourceNumber, value))
        return false;
    const size_t count = ListCount(value);
    if (count != 0)
        list.resize(count);
    std::string_view line;
    for (size_t i = 0; i < count; ++i) {
        size_t first = std::string_view::npos;
        while (first == std::string_view::npos) {
            if (!in.Next(line))
                return false;
            first = line.find('=');
        }
        const size_t last = line.rfind('=');
        CResourceEntry& entry = list[i];
        entry.m_strFileName = Trim(line.substr(0, first));
        if (first == last) {
            entry.m_strLocalFolder = Trim(line.substr(first + 1));
            entry.m_strWebPath.clear();
        } else {
            entry.m_strLocalFolder = Trim(line.substr(first + 1, last - first - 1));
            entry.m_strWebPath = Trim(line.substr(last + 1));
        }
    }
    return in.SkipPast(kResourceEnd);
}

void ReadHtmlPart(CLineReader& in, std::vector<CHtmlSegment>& list) {
    std::string_view value;
    if (!in.SkipPast(kHtmlBegin) || !in.SkipToKey(kSegmentNumber, value))
        return;
    const size_t count = ListCount(value);
    if (count != 0)
        list.resize(count);
    std::string_view line;
    for (size_t i = 0; i < count; ++i) {
        if (!in.SkipToKey(kSegmentPosition, value))
            return;
        CHtmlSegment& segment = list[i];
        segment.m_strPosition = value;
        std::string body;
        bool ended = false;
        while (!ended && in.Next(line)) {
            ended = EqualsNoCase(line, kSegmentEnd);
            if (!ended)
                body.append(line).append(kCrLf);
        }
        // A body cut short by the end of the file is kept as far as it was read.
        segment.m_strBody = std::move(body);
        if (!ended)
            return;
    }
}

// Writes a one-line text; any line break inside it becomes one space so that it cannot end
// the line early and be read as lines of its own.
void WriteLineText(CAtomicFile& file, std::string_view text) {
    // Almost every text is one line: two quick searches, then one write.
    if (text.find('\n') == std::string_view::npos && text.find('\r') == std::string_view::npos) {
        file.Write(text);
        return;
    }
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t brk = text.find_first_of("\r\n", pos);
        if (brk == std::string_view::npos) {
            file.Write(text.substr(pos));
            return;
        }
        file.Write(text.substr(pos, brk - pos));
        file.Write(" ");
        pos = brk + 1;
        if (text[brk] == '\r' && pos < text.size() && text[pos] == '\n')
            ++pos;
    }
}

void WriteKeyValuePart(CAtomicFile& file, std::string_view begin, std::string_view end,
                       const CWidgetConfig::TextMap& map) {
    file.Write(begin);
    file.Write(kCrLf);
    for (const auto& [key, value] : map) {
        WriteLineText(file, key);
        file.Write(" = ");
        WriteLineText(file, value);
        file.Write(kCrLf);
    }
    file.Write(end);
    file.Write(kCrLf);
    file.Write(kCrLf);
}

} // namespace

CWidgetConfig::~CWidgetConfig() = default;

bool CWidgetConfig::Load(const std::string& path) {
    // Only regular files: a FIFO would block and a device such as /dev/zero never ends.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    std::string text;
    if (!ReadWholeFile(path, text))
        return false;

    MergeText(text);
    return true;
}

void CWidgetConfig::MergeText(std::string_view text) {
    CLineReader in(text);
    if (!ReadKeyValuePart(in, kDescriptionBegin, kDescriptionEnd, m_mapDescriptions))
        return;
    if (!ReadKeyValuePart(in, kParameterBegin, kParameterEnd, m_mapParameters))
        return;
    if (!ReadResourcePart(in, m_vecResources))
        return;
    ReadHtmlPart(in, m_vecSegments);
}

bool CWidgetConfig::Save(const std::string& path) const {
    if (m_vecResources.size() > kMaxListSize || m_vecSegments.size() > kMaxListSize)
        return false;
    CAtomicFile file;
    if (!file.Open(path))
        return false;

    WriteKeyValuePart(file, kDescriptionBegin, kDescriptionEnd, m_mapDescriptions);
    WriteKeyValuePart(file, kParameterBegin, kParameterEnd, m_mapParameters);

    file.Write(kResourceBegin);
    file.Write(kCrLf);
    file.Write("Resource Number = " + std::to_string(m_vecResources.size()));
    file.Write(kCrLf);
    for (const CResourceEntry& entry : m_vecResources) {
        WriteLineText(file, entry.m_strFileName);
        file.Write("=");
        WriteLineText(file, entry.m_strLocalFolder);
        file.Write("=");
        WriteLineText(file, entry.m_strWebPath);
        file.Write(kCrLf);
    }
    file.Write(kResourceEnd);
    file.Write(kCrLf);
    file.Write(kCrLf);

    file.Write(kHtmlBegin);
    file.Write(kCrLf);
    file.Write("Segment Number = " + std::to_string(m_vecSegments.size()));
    file.Write(kCrLf);
    for (const CHtmlSegment& segment : m_vecSegments) {
        file.Write("Segment Position = ");
        WriteLineText(file, segment.m_strPosition);
        file.Write(kCrLf);
        const std::string& body = segment.m_strBody;
        file.Write(body);
        // The end marker must start a line of its own or the reader would take the rest of
        // the file as body.
        if (!body.empty() && body.back() == '\r')
            file.Write("\n");
        else if (!body.empty() && body.back() != '\n')
            file.Write(kCrLf);
        file.Write(kSegmentEnd);
        file.Write(kCrLf);
    }
    file.Write(kHtmlEnd);
    file.Write(kCrLf);
    file.Write(kCrLf);

    file.Commit();
    return true;
}

std::string CWidgetConfig::GetDescription(const std::string& key) {
    return m_mapDescriptions[key];
}

void CWidgetConfig::SetDescription(const std::string& key, const std::string& value) {
    m_mapDescriptions.insert_or_assign(key, value);
}

std::string CWidgetConfig::GetParameter(const std::string& key, const std::string& def) const {
    const auto it = m_mapParameters.find(key);
    return it == m_mapParameters.end() ? def : it->second;
}

bool CWidgetConfig::SetParameter(const std::string& key, const std::string& value) {
    try {
        m_mapParameters.insert_or_assign(key, value);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void CWidgetConfig::ClearParameters() {
    m_mapParameters.clear();
}

void CWidgetConfig::ClearResources() {
    m_vecResources.clear();
}

bool CWidgetConfig::AddResource(const std::string& fileName, const std::string& localFolder,
                                const std::string& webPath) {
    try {
        m_vecResources.push_back(CResourceEntry{fileName, localFolder, webPath});
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

int32_t CWidgetConfig::FindResource(std::string_view fileName) const {
    for (size_t i = 0; i < m_vecResources.size(); ++i) {
        if (m_vecResources[i].m_strFileName == fileName)
            return static_cast<int32_t>(i);
    }
    return -1;
}

void CWidgetConfig::ClearSegments() {
    m_vecSegments.clear();
}

void CWidgetConfig::AddSegment(const std::string& position, const std::string& body) {
    m_vecSegments.push_back(CHtmlSegment{position, body});
}
