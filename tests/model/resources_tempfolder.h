#pragma once
// A scratch folder for tests that put support files on disk, removed with everything in it.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

class CTempFolder {
public:
    CTempFolder() {
        const char* base = std::getenv("TMPDIR");
        std::string templ =
            std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/zephra-res-XXXXXX";
        std::vector<char> buf(templ.begin(), templ.end());
        buf.push_back('\0');
        if (::mkdtemp(buf.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        m_strRoot = std::string(buf.data()) + "/";
    }
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;
    ~CTempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(m_strRoot, ec);
    }

    // The root, ending with '/'.
    const std::string& Root() const { return m_strRoot; }
    // Root + relative (no check).
    std::string Path(const std::string& relative) const { return m_strRoot + relative; }
    // A sub folder of the root, created, ending with '/'.
    std::string Folder(const std::string& relative) const {
        std::filesystem::create_directories(m_strRoot + relative);
        return m_strRoot + relative + "/";
    }
    // Writes content to Root + relative (its '/'-separated folders are created) and returns the
    // full path.
    std::string Write(const std::string& relative, const std::string& content) const {
        const std::string path = m_strRoot + relative;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

private:
    std::string m_strRoot;
};

inline std::string ReadFileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Names of the entries of a folder, sorted.
inline std::set<std::string> FolderEntries(const std::string& folder) {
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
        names.insert(entry.path().filename().string());
    return names;
}
