#pragma once
// Replacing a file so that a failure never destroys the earlier one: the new content goes to a
// temporary file in the same folder, which is flushed to disk and renamed over the target.

#include <cstddef>
#include <string>
#include <string_view>

class CAtomicFile {
public:
    CAtomicFile() = default;
    CAtomicFile(const CAtomicFile&) = delete;
    CAtomicFile& operator=(const CAtomicFile&) = delete;
    // Removes the temporary file when Commit was never reached.
    ~CAtomicFile();

    // Creates the temporary file beside path. Returns false (errno kept) when it cannot be
    // created, e.g. the folder does not exist or is not writable; nothing is changed then.
    bool Open(const std::string& path);

    // Buffered write. Throws CFileException naming the target on an I/O error.
    void Write(std::string_view data);

    // Flushes, syncs and renames over the target, keeping the target's permission bits when it
    // existed. Throws CFileException on failure; the target is then as it was.
    void Commit();

    const std::string& TargetPath() const { return m_strPath; }

private:
    void Flush();
    [[noreturn]] void Fail(int err);

    std::string m_strPath;
    std::string m_strTemp;
    std::string m_buffer;
    int m_fd = -1;
};

// Reads a whole file into out. Returns false when it cannot be opened; throws CFileException on a
// read error after it was opened.
bool ReadWholeFile(const std::string& path, std::string& out);
