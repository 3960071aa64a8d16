#pragma once
// The widget configuration: the description and parameter maps, the support-file list and the
// HTML segments of one widget, and the text file that stores them.
//
// File layout (every line ends in CR LF, the file ends with an empty line):
//
//   ========== Description Part Begin ==========
//   key = value                                   one line per description entry
//   ========== Description Part End ==========
//   (empty line)
//   ========== Parameter Part Begin ==========
//   key = value                                   one line per parameter
//   ========== Parameter Part End ==========
//   (empty line)
//   ========== Resource Part Begin ==========
//   Resource Number = n
//   file name=local folder=web path               n lines
//   ========== Resource Part End ==========
//   (empty line)
//   ========== HTML Part Begin ==========
//   Segment Number = n
//   Segment Position = position                   per segment: this line, the body as stored
//   body lines ...                                (lines ending in CR LF), then the end marker
//   ===== Segment End =====
//   ========== HTML Part End ==========
//   (empty line)
//
// Reading lines: a line ends at LF, at CR LF, or at a CR that no LF follows (so a file with
// CR-only line ends reads as lines); the line end is not part of the line, and a last line
// without a line end is still a line. Files we write never contain a lone CR.
//
// Every text is 8-bit (UTF-8) and kept byte for byte; reading is linear in the file's size.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// One support file of the widget.
struct CResourceEntry {
    std::string m_strFileName;    // bare file name
    std::string m_strLocalFolder; // folder on this computer that holds the file
    std::string m_strWebPath;     // folder prefix the published page uses for it

    bool operator==(const CResourceEntry&) const = default;
};

// One block of markup for the host to insert into a page.
struct CHtmlSegment {
    std::string m_strPosition; // where it goes: "cursor", "style" or "script"
    std::string m_strBody;     // markup, every line ending in CR LF

    bool operator==(const CHtmlSegment&) const = default;
};

class CWidgetConfig {
public:
    using TextMap = std::map<std::string, std::string>;

    CWidgetConfig() = default;
    CWidgetConfig(const CWidgetConfig&) = default;
    CWidgetConfig& operator=(const CWidgetConfig&) = default;
    CWidgetConfig(CWidgetConfig&&) = default;
    CWidgetConfig& operator=(CWidgetConfig&&) = default;
    virtual ~CWidgetConfig();

    // Reads the file at path and merges it into this configuration: keys the file names are
    // inserted or replaced, others keep their values; a list whose count line is missing or 0
    // keeps its entries, any other count sets the list's size (surplus entries are dropped).
    // The four parts are read in order, each starting where the previous one stopped; a
    // missing part leaves it and every later part unread. The end of the file at any point
    // ends the read with true, keeping what was read so far.
    // Returns false, with nothing changed, when path is not a regular file that can be opened
    // for reading (missing, a directory, a FIFO or device, no permission). Throws
    // CFileException on a read error after opening; nothing is changed then either. Running out
    // of memory while merging throws std::bad_alloc and keeps what was merged so far.
    bool Load(const std::string& path);

    // What Load does with the text of a file it has read: merges text, in the file format, into
    // this configuration. Never fails; running out of memory throws std::bad_alloc.
    void MergeText(std::string_view text);

    // Writes the configuration to path, replacing it atomically: the text goes to a temporary
    // file beside it that is renamed over path only when everything was written, so a failed
    // save leaves the earlier file whole. Map entries are written in key order.
    // Line breaks (CR LF, lone CR or LF) inside keys, values, resource fields and segment
    // positions are written as one space each, so no text can break the line structure; a
    // non-empty segment body that does not end in a line break gets CR LF before the end marker.
    // Returns false, with nothing changed, when the temporary file cannot be created (missing
    // folder, no permission, path is a directory) or when a list holds more than 65535 entries
    // (the count lines hold 16-bit numbers). Throws CFileException on an I/O error after that.
    bool Save(const std::string& path) const;

    // The description value of key. An absent key is first inserted with an empty value, so
    // every key that was read is written to the next file.
    std::string GetDescription(const std::string& key);
    // Inserts or replaces a description value.
    void SetDescription(const std::string& key, const std::string& value);
    const TextMap& GetDescriptions() const { return m_mapDescriptions; }

    // The parameter value of key, or def when it is absent. Never inserts.
    std::string GetParameter(const std::string& key, const std::string& def) const;
    // Inserts or replaces a parameter. Returns false, with nothing changed, only when memory
    // runs out.
    bool SetParameter(const std::string& key, const std::string& value);
    void ClearParameters();
    const TextMap& GetParameters() const { return m_mapParameters; }

    // The support-file list in insertion order. Callers may read entries by index and
    // overwrite their fields in place.
    void ClearResources();
    // Appends an entry. Returns false, with nothing changed, only when memory runs out.
    bool AddResource(const std::string& fileName, const std::string& localFolder,
                     const std::string& webPath);
    std::vector<CResourceEntry>& GetResources() { return m_vecResources; }
    const std::vector<CResourceEntry>& GetResources() const { return m_vecResources; }
    // Index of the first entry whose file name equals fileName byte for byte, or -1.
    int32_t FindResource(std::string_view fileName) const;

    // The segment list in insertion order.
    void ClearSegments();
    void AddSegment(const std::string& position, const std::string& body);
    std::vector<CHtmlSegment>& GetSegments() { return m_vecSegments; }
    const std::vector<CHtmlSegment>& GetSegments() const { return m_vecSegments; }

    bool operator==(const CWidgetConfig&) const = default;

private:
    TextMap m_mapDescriptions;
    TextMap m_mapParameters;
    std::vector<CResourceEntry> m_vecResources;
    std::vector<CHtmlSegment> m_vecSegments;
};
