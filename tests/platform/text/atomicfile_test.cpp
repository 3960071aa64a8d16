#include "platform/file/atomicfile.h"
#include "platform/file/fileexception.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {
struct TempDir {
    fs::path path;
    TempDir() {
        std::string templ = (fs::temp_directory_path() / "zephra-atomic-XXXXXX").string();
        path = ::mkdtemp(templ.data());
    }
    ~TempDir() { fs::remove_all(path); }
};

size_t EntriesIn(const fs::path& dir) {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir))
        ++n;
    return n;
}
} // namespace

TEST(AtomicFile, ReplacesTargetAndKeepsItsMode) {
    TempDir dir;
    const std::string target = (dir.path / "a.wgt").string();
    {
        CAtomicFile f;
        ASSERT_TRUE(f.Open(target));
        f.Write("old");
        f.Commit();
    }
    ::chmod(target.c_str(), 0640);
    {
        CAtomicFile f;
        ASSERT_TRUE(f.Open(target));
        f.Write(std::string(200000, 'n'));
        f.Commit();
    }
    std::string content;
    ASSERT_TRUE(ReadWholeFile(target, content));
    EXPECT_EQ(content, std::string(200000, 'n'));
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(EntriesIn(dir.path), 1u);
}

TEST(AtomicFile, AbandonedWriteLeavesEarlierFileWhole) {
    TempDir dir;
    const std::string target = (dir.path / "a.wgt").string();
    {
        CAtomicFile f;
        ASSERT_TRUE(f.Open(target));
        f.Write("precious");
        f.Commit();
    }
    {
        CAtomicFile f;
        ASSERT_TRUE(f.Open(target));
        f.Write("half");
        // destroyed without Commit, as when an exception unwinds
    }
    std::string content;
    ASSERT_TRUE(ReadWholeFile(target, content));
    EXPECT_EQ(content, "precious");
    EXPECT_EQ(EntriesIn(dir.path), 1u);
}

TEST(AtomicFile, OpenFailsForMissingFolderOrDirectoryTarget) {
    TempDir dir;
    CAtomicFile f;
    EXPECT_FALSE(f.Open((dir.path / "no" / "such.wgt").string()));
    EXPECT_FALSE(f.Open(dir.path.string()));
    std::string content;
    EXPECT_FALSE(ReadWholeFile((dir.path / "missing").string(), content));
    EXPECT_FALSE(ReadWholeFile(dir.path.string(), content));
}

TEST(AtomicFile, CommitIntoVanishedFolderThrows) {
    // The folder disappears between Open and Commit: the rename fails and must be reported,
    // never taken for success.
    TempDir dir;
    const std::string target = (dir.path / "a.wgt").string();
    CAtomicFile f;
    ASSERT_TRUE(f.Open(target));
    f.Write("x");
    fs::remove_all(dir.path);
    EXPECT_THROW(f.Commit(), CFileException);
}
