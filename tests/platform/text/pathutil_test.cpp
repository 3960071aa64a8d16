#include "platform/text/pathutil.h"

#include <gtest/gtest.h>

TEST(PathUtil, NameAndFolderPartsTakeEitherSeparator) {
    struct Case {
        const char* path;
        const char* name;
        const char* folder;
        const char* folderSep;
    };
    const Case cases[] = {
        {"/home/a/b.gif", "b.gif", "/home/a", "/home/a/"},
        {"C:\\Lib\\x.au", "x.au", "C:\\Lib", "C:\\Lib\\"},
        {"C:\\Mixed/dir\\f.gif", "f.gif", "C:\\Mixed/dir", "C:\\Mixed/dir\\"},
        {"a/b\\", "", "a/b", "a/b\\"},
        {"plain", "plain", "", ""},
        {"", "", "", ""},
        {"/", "", "", "/"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FileNamePart(c.path), c.name) << c.path;
        EXPECT_EQ(FolderPart(c.path), c.folder) << c.path;
        EXPECT_EQ(FolderWithSeparator(c.path), c.folderSep) << c.path;
    }
    EXPECT_EQ(EnsureTrailingSeparator("/x"), "/x/");
    EXPECT_EQ(EnsureTrailingSeparator("/x/"), "/x/");
    EXPECT_EQ(EnsureTrailingSeparator(""), "");
}

TEST(PathUtil, ModuleFolderOfThisProgram) {
    const std::string folder = ModuleFolderOf(reinterpret_cast<const void*>(&FileNamePart));
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_EQ(folder.front(), '/');
}
