#pragma once
// The support files of a widget: the applet class file and every image and sound the menu uses.
// The list of them is derived from the model into the configuration's resource list, and a copy
// operation puts them beside a configuration file and points the model at the copies.
//
// Paths: the model holds full local paths; '/' and '\' both end a folder, so paths written on
// Windows still split correctly. Folder texts are compared byte for byte (letter case matters).
// "A file is found" means a regular file exists at the path (following symbolic links); a
// folder, a device or anything else counts as missing, and so does a path holding a NUL byte.
//
// Order of the path fields, everywhere in this file: the applet's background image and sound,
// then for every item, in the order of a full numbering pass (NumberMenus: a menu's items, then
// the sub menus of those items, depth first; hidden records included), its normal, mouse-over
// and clicked images and its mouse-over and click sounds.
//
// Nothing here shows UI; everything runs on the caller's thread.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class CAppletParameters;
class CWidgetConfig;

// The applet class file, looked for in CAppletParameters::m_strClassFolder.
inline constexpr std::string_view kAppletClassFile = "zephracore.class";

// Refills config's resource list from applet. The first entry is always the class file
// ("zephracore.class", m_strClassFolder, m_strCodebase), whether or not it exists. Then one entry
// per non-empty path field whose file is found: the path's file-name part, the path up to (not
// including) its last separator, and the field's web folder. A file used by several fields is
// listed once per field. A path field whose file is not found is set to "" in the model: this is
// how the model forgets files deleted from disk.
// Uses and resets the transient numbering fields of applet (m_flatItems is left empty). Returns
// the number of entries, 65535 at most (the count the configuration file can hold).
uint16_t BuildResourceList(CAppletParameters& applet, CWidgetConfig& config);

// One row of the copy conflicts: a source file whose name is already taken in the destination.
struct CResourceConflict {
    std::string m_strSourcePath;        // the source file, as the fields hold it (the key)
    std::string m_strDestName;          // name of the copy in the destination; may be changed
    std::vector<std::string*> m_fields; // model path fields that hold the source path (not owned)
};

// The conflicts of one copy into one destination folder, one row per source path in the order in
// which each path was first recorded. The rows point into the model: they are valid only while
// the model's records stay where they are (during one CopyResourceFiles).
class CResourceConflicts {
public:
    // destFolder is used with a trailing '/' (added unless it ends with '/' or '\').
    explicit CResourceConflicts(std::string destFolder);

    // Records field under its current text: a new row (destination name: the file-name part of
    // the text) for a path not seen before, else one more field of that path's row. field must
    // outlive this record.
    void AddConflict(std::string& field);

    const std::string& DestFolder() const { return m_strDestFolder; }
    std::vector<CResourceConflict>& Rows() { return m_rows; }
    const std::vector<CResourceConflict>& Rows() const { return m_rows; }
    // The number of fields recorded (a row can hold several).
    int Count() const { return m_nCount; }

private:
    std::string m_strDestFolder;
    std::vector<CResourceConflict> m_rows;
    std::unordered_map<std::string, size_t> m_rowOfPath;
    int m_nCount = 0;
};

// Decides what happens to the conflicts of a copy: the Copy Resources dialog in the designer, a
// headless policy elsewhere.
class IResourceConflictResolver {
public:
    virtual ~IResourceConflictResolver() = default;
    // May change rows' m_strDestName. true: copy as the rows say; false: copy nothing, and the
    // conflicting fields keep their source paths.
    virtual bool Resolve(CResourceConflicts& conflicts) = 0;
};

// For hosts without a display: every row gets the first free name of the form "name-2.gif",
// "name-3.gif", ... (the number goes before the last dot of the name, or at the end when there is
// none). Free means no directory entry of that name in the destination and not chosen for an
// earlier row, so no copy overwrites anything. Answers false (nothing is copied) when 100,000
// names in a row are taken (a destination the file system cannot tell apart).
class CRenamingConflictResolver : public IResourceConflictResolver {
public:
    bool Resolve(CResourceConflicts& conflicts) override;
};

// Copies one image or sound file into destFolder (a folder text ending with '/'; "" is the
// current folder) and points field at the copy. Returns false only for a conflict: another file
// of that name is already in destFolder; field and the disk are then unchanged. true otherwise:
//  - field is empty: nothing to do;
//  - no file is found at field: field is set to "";
//  - the file already lies in destFolder (same folder text): nothing to do;
//  - the copy was made: field names it;
//  - the copy failed (unreadable source, destination missing, read-only or full): field keeps the
//    source path, and nothing is left behind in destFolder.
// Copies go to a temporary file in destFolder that is renamed to its name only when complete.
bool CopyResourceFile(std::string& field, const std::string& destFolder);

// Copies every row's source to DestFolder() + m_strDestName, replacing a file of that name, and
// points every field of the row at the copy. A row whose copy fails keeps its fields on the
// source. A row whose destination name is empty, "." or "..", or holds '/', '\' or a NUL byte
// is not copied either (it would land outside the folder, or under a name the fields could not
// be resolved by). Returns true when every row was copied.
bool ApplyConflicts(const CResourceConflicts& conflicts);

// Copies every support file of applet into destFolder and points the model at the copies:
//  1. the class file m_strClassFolder + "zephracore.class", replacing a file of that name (a
//     missing class file is skipped);
//  2. every path field in the order above, through CopyResourceFile. A file that several fields
//     use is copied once: the later fields are pointed at the copy already made;
//  3. fields whose name is taken are recorded as conflicts; when there is at least one,
//     resolver.Resolve decides, and on true ApplyConflicts copies them.
// Missing files are cleared from their fields. A copy that fails leaves its field on the source.
// Returns true when no copy failed (conflicts the resolver declined are not failures).
// Uses and resets the transient numbering fields of applet (m_flatItems is left empty).
bool CopyResourceFiles(CAppletParameters& applet, const std::string& destFolder,
                       IResourceConflictResolver& resolver);
