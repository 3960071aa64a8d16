#include "component/model/resources.h"

#include "component/model/menumodel.h"
#include "component/model/widgetconfig.h"
#include "platform/file/atomicfile.h"
#include "platform/file/fileexception.h"
#include "platform/text/pathutil.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace {

// One path field of the model with the web folder that belongs to it.
struct CFileField {
    std::string* m_pPath;
    const std::string* m_pWeb;
};

// Every path field of the applet in resource order. Runs a full numbering pass and leaves
// m_flatItems empty again.
std::vector<CFileField> CollectFileFields(CAppletParameters& applet) {
    applet.m_nMenuCounter = 0;
    applet.m_strItemCounts.clear();
    applet.m_flatItems.clear();
    for (const auto& menu : applet.m_menus)
        applet.NumberMenus(menu.get(), applet.m_nMenuCounter);

    std::vector<CFileField> fields;
    fields.reserve(2 + 5 * applet.m_flatItems.size());
    fields.push_back({&applet.m_strImage, &applet.m_strImageWeb});
    fields.push_back({&applet.m_strAudio, &applet.m_strAudioWeb});
    for (CZephraItem* item : applet.m_flatItems) {
        fields.push_back({&item->m_strImageNormal, &item->m_strImageNormalWeb});
        fields.push_back({&item->m_strImageOver, &item->m_strImageOverWeb});
        fields.push_back({&item->m_strImageClick, &item->m_strImageClickWeb});
        fields.push_back({&item->m_strAudioOver, &item->m_strAudioOverWeb});
        fields.push_back({&item->m_strAudioClick, &item->m_strAudioClickWeb});
    }
    applet.m_flatItems.clear();
    return fields;
}

// A path holding a NUL byte names no file: the system would look at the text before the NUL.
bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return !path.empty() && path.find('\0') == std::string::npos &&
           ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Whether anything at all (file, folder, dangling link) holds the name.
bool NameTaken(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Copies source to target through a temporary file beside target that replaces target only
// when the whole content was written. False on any failure; nothing is left behind then.
bool CopyFileAtomically(const std::string& source, const std::string& target) {
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    struct stat st {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        return false;
    }
    bool ok = false;
    try {
        CAtomicFile out;
        if (out.Open(target)) {
            std::string buffer(1 << 16, '\0');
            for (;;) {
                const ssize_t n = ::read(in, buffer.data(), buffer.size());
                if (n < 0) {
                    if (errno == EINTR)
                        continue;
                    break; // out's destructor removes the temporary file
                }
                if (n == 0) {
                    out.Commit();
                    ok = true;
                    break;
                }
                out.Write(std::string_view(buffer.data(), static_cast<size_t>(n)));
            }
        }
    } catch (const CFileException&) {
        ok = false;
    }
    ::close(in);
    return ok;
}

// A destination name that stays inside the destination folder and that a path field can be
// resolved by again.
bool IsPlainFileName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

// "name.gif" with n gives "name-n.gif"; a name without a dot (or with only a leading one) gets
// the number at its end.
std::string NumberedName(const std::string& name, unsigned long n) {
    const size_t dot = name.find_last_of('.');
    const std::string suffix = "-" + std::to_string(n);
    if (dot == std::string::npos || dot == 0)
        return name + suffix;
    return name.substr(0, dot) + suffix + name.substr(dot);
}

} // namespace

uint16_t BuildResourceList(CAppletParameters& applet, CWidgetConfig& config) {
    config.ClearResources();
    config.AddResource(std::string(kAppletClassFile), applet.m_strClassFolder,
                       applet.m_strCodebase);
    // Each path is looked up on disk and split once per pass: menus use a few images on many
    // items, and the stat call costs more than everything else done for a field.
    struct CFoundFile {
        bool m_bFound = false;
        std::string m_strName;
        std::string m_strFolder;
    };
    std::unordered_map<std::string, CFoundFile> files;
    for (const CFileField& field : CollectFileFields(applet)) {
        std::string& path = *field.m_pPath;
        if (path.empty())
            continue;
        auto [it, inserted] = files.try_emplace(path);
        CFoundFile& file = it->second;
        if (inserted && IsRegularFile(path)) {
            file.m_bFound = true;
            file.m_strName = FileNamePart(path);
            file.m_strFolder = FolderPart(path);
        }
        if (!file.m_bFound) {
            path.clear();
            continue;
        }
        config.AddResource(file.m_strName, file.m_strFolder, *field.m_pWeb);
    }
    const size_t count = config.GetResources().size();
    return static_cast<uint16_t>(std::min<size_t>(count, std::numeric_limits<uint16_t>::max()));
}

CResourceConflicts::CResourceConflicts(std::string destFolder)
    : m_strDestFolder(EnsureTrailingSeparator(destFolder)) {}

void CResourceConflicts::AddConflict(std::string& field) {
    auto [it, inserted] = m_rowOfPath.try_emplace(field, m_rows.size());
    if (inserted)
        m_rows.push_back({field, FileNamePart(field), {}});
    m_rows[it->second].m_fields.push_back(&field);
    ++m_nCount;
}

bool CRenamingConflictResolver::Resolve(CResourceConflicts& conflicts) {
    // A folder in which every candidate name seems taken (a path the file system cannot hold)
    // must not keep us searching forever: past this many tries nothing is copied.
    constexpr unsigned long kMaxTries = 100000;
    std::unordered_set<std::string> chosen;
    // Rows with the same name continue where the previous one stopped, so many rows of one
    // name cost one search, not one per row.
    std::unordered_map<std::string, unsigned long> next;
    for (CResourceConflict& row : conflicts.Rows()) {
        const std::string base = row.m_strDestName;
        unsigned long& n = next.try_emplace(base, 2).first->second;
        for (unsigned long tries = 0;; ++n, ++tries) {
            if (tries == kMaxTries)
                return false;
            std::string candidate = NumberedName(base, n);
            if (!chosen.contains(candidate) && !NameTaken(conflicts.DestFolder() + candidate)) {
                row.m_strDestName = candidate;
                chosen.insert(std::move(candidate));
                ++n;
                break;
            }
        }
    }
    return true;
}

bool CopyResourceFile(std::string& field, const std::string& destFolder) {
    if (field.empty())
        return true;
    if (!IsRegularFile(field)) {
        field.clear();
        return true;
    }
    const std::string dest = EnsureTrailingSeparator(destFolder);
    if (FolderWithSeparator(field) == dest)
        return true;
    const std::string target = dest + FileNamePart(field);
    if (NameTaken(target))
        return false;
    if (CopyFileAtomically(field, target))
        field = target;
    return true;
}

bool ApplyConflicts(const CResourceConflicts& conflicts) {
    bool all = true;
    for (const CResourceConflict& row : conflicts.Rows()) {
        const std::string target = conflicts.DestFolder() + row.m_strDestName;
        if (!IsPlainFileName(row.m_strDestName) ||
            !CopyFileAtomically(row.m_strSourcePath, target)) {
            all = false;
            continue;
        }
        for (std::string* field : row.m_fields)
            *field = target;
    }
    return all;
}

bool CopyResourceFiles(CAppletParameters& applet, const std::string& destFolder,
                       IResourceConflictResolver& resolver) {
    const std::string dest = EnsureTrailingSeparator(destFolder);
    bool all = true;

    const std::string classFile =
        EnsureTrailingSeparator(applet.m_strClassFolder) + std::string(kAppletClassFile);
    const std::string classCopy = dest + std::string(kAppletClassFile);
    if (IsRegularFile(classFile) && classFile != classCopy)
        all = CopyFileAtomically(classFile, classCopy) && all;

    CResourceConflicts conflicts(dest);
    // Source path -> the copy made of it in this pass, so that a file several fields use is
    // copied once instead of conflicting with its own copy.
    std::unordered_map<std::string, std::string> copied;
    for (const CFileField& field : CollectFileFields(applet)) {
        std::string& path = *field.m_pPath;
        if (path.empty())
            continue;
        if (const auto it = copied.find(path); it != copied.end()) {
            path = it->second;
            continue;
        }
        const std::string source = path;
        if (!CopyResourceFile(path, dest)) {
            conflicts.AddConflict(path);
            continue;
        }
        if (path != source && !path.empty()) {
            copied.emplace(source, path);
        } else if (path == source && FolderWithSeparator(path) != dest) {
            all = false; // the copy failed and the field stays on the source
        }
    }

    if (conflicts.Count() > 0 && resolver.Resolve(conflicts))
        all = ApplyConflicts(conflicts) && all;
    return all;
}
