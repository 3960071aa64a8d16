#include "component/model/menumodel.h"
#include "component/model/resources.h"
#include "component/model/widgetconfig.h"
#include "resources_tempfolder.h"
#include "tests/support/treebuild.h"

#include <functional>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// Readable entries in failure messages.
void PrintTo(const CResourceEntry& e, std::ostream* out) {
    *out << "{" << e.m_strFileName << " | " << e.m_strLocalFolder << " | " << e.m_strWebPath << "}";
}

namespace {

// Remembers what it was asked, lets a step change the rows, and answers as told.
class CRecordingResolver : public IResourceConflictResolver {
public:
    explicit CRecordingResolver(bool answer,
                                std::function<void(CResourceConflicts&)> step = nullptr)
        : m_bAnswer(answer), m_step(std::move(step)) {}

    bool Resolve(CResourceConflicts& conflicts) override {
        ++m_nCalls;
        m_nFields = conflicts.Count();
        for (const CResourceConflict& row : conflicts.Rows()) {
            m_sources.push_back(row.m_strSourcePath);
            m_destNames.push_back(row.m_strDestName);
            m_fieldsPerRow.push_back(row.m_fields.size());
        }
        if (m_step)
            m_step(conflicts);
        return m_bAnswer;
    }

    bool m_bAnswer;
    std::function<void(CResourceConflicts&)> m_step;
    int m_nCalls = 0;
    int m_nFields = 0;
    std::vector<std::string> m_sources;
    std::vector<std::string> m_destNames;
    std::vector<size_t> m_fieldsPerRow;
};

} // namespace

TEST(ResourceList, WidgetWithoutFilesListsOnlyTheClassFile) {
    CAppletParameters applet;
    applet.m_strClassFolder = "/opt/zephra/";
    applet.m_strCodebase = "applet/";
    Append(*Append(*AppendTopLevel(applet), "a")->m_pSubMenu, "b");
    CWidgetConfig config;
    config.AddResource("stale.gif", "/old", "old/");

    EXPECT_EQ(BuildResourceList(applet, config), 1);
    const std::vector<CResourceEntry> expected = {{"zephracore.class", "/opt/zephra/", "applet/"}};
    EXPECT_EQ(config.GetResources(), expected);
}

TEST(ResourceList, ListsFoundFilesInWritingOrderAndForgetsMissingOnes) {
    CTempFolder temp;
    const std::string img = temp.Folder("img");
    const std::string shared = temp.Write("img/shared.gif", "s");
    const std::string windowsStyle = temp.Write("D:\\pics\\bg.gif", "b");
    const std::string tune = temp.Write("snd/tune.au", "t");
    temp.Folder("img/folder.gif");

    CAppletParameters applet;
    applet.m_strClassFolder = temp.Root();
    applet.m_strImage = windowsStyle;
    applet.m_strImageWeb = "bg/";
    applet.m_strAudio = temp.Path("snd/missing.au");
    CZephraBody* first = AppendTopLevel(applet);
    CZephraItem* a0 = Append(*first, "a0");
    a0->m_strImageNormal = shared;
    a0->m_strImageNormalWeb = "n/";
    a0->m_strImageClick = img + "folder.gif"; // a folder is not a file
    CZephraItem* a1 = Append(*first, "a1");
    a1->m_bVisible = 0;
    a1->m_strImageOver = shared;
    a1->m_strImageOverWeb = "o/";
    CZephraItem* s0 = Append(*a0->m_pSubMenu, "s0");
    s0->m_strAudioClick = tune;
    s0->m_strAudioClickWeb = "ac/";
    CZephraBody* second = AppendTopLevel(applet);
    second->m_bVisible = 0;
    CZephraItem* b0 = Append(*second, "b0");
    b0->m_strAudioOver = tune;
    b0->m_strAudioOverWeb = "ao/";

    CWidgetConfig config;
    EXPECT_EQ(BuildResourceList(applet, config), 6);
    const std::vector<CResourceEntry> expected = {
        {"zephracore.class", temp.Root(), ""},  {"bg.gif", temp.Path("D:\\pics"), "bg/"},
        {"shared.gif", temp.Path("img"), "n/"}, // a0
        {"shared.gif", temp.Path("img"), "o/"}, // a1, hidden
        {"tune.au", temp.Path("snd"), "ac/"},   // s0, in a0's sub menu
        {"tune.au", temp.Path("snd"), "ao/"},   // b0, in the hidden second menu
    };
    EXPECT_EQ(config.GetResources(), expected);
    EXPECT_EQ(config.FindResource("shared.gif"), 2);
    EXPECT_EQ(applet.m_strAudio, "");
    EXPECT_EQ(a0->m_strImageClick, "");
    EXPECT_EQ(a0->m_strImageNormal, shared);
    EXPECT_TRUE(applet.m_flatItems.empty());
}

TEST(ResourceList, EveryFieldOfAPathGetsTheSameAnswerAndTheNextPassLooksAgain) {
    CTempFolder temp;
    const std::string gone = temp.Write("img/gone.gif", "g");
    const std::string kept = temp.Write("img/kept.gif", "k");
    CAppletParameters applet;
    applet.m_strClassFolder = temp.Root();
    applet.m_strImage = kept;
    CZephraBody* menu = AppendTopLevel(applet);
    for (const char* label : {"a", "b", "c"}) {
        CZephraItem* item = Append(*menu, label);
        item->m_strImageNormal = item->m_strImageClick = kept;
        item->m_strImageOver = item->m_strAudioClick = gone;
    }
    ASSERT_EQ(::unlink(gone.c_str()), 0);

    CWidgetConfig config;
    EXPECT_EQ(BuildResourceList(applet, config), 1 + 1 + 3 * 2);
    for (const auto& item : menu->m_items) {
        EXPECT_EQ(item->m_strImageNormal, kept);
        EXPECT_EQ(item->m_strImageClick, kept);
        EXPECT_EQ(item->m_strImageOver, "");
        EXPECT_EQ(item->m_strAudioClick, "");
    }
    for (size_t i = 1; i < config.GetResources().size(); ++i)
        EXPECT_EQ(config.GetResources()[i], (CResourceEntry{"kept.gif", temp.Path("img"), ""}));

    // Nothing is remembered between passes: a file deleted since is dropped by the next one.
    ASSERT_EQ(::unlink(kept.c_str()), 0);
    EXPECT_EQ(BuildResourceList(applet, config), 1);
    EXPECT_EQ(applet.m_strImage, "");
    EXPECT_EQ(menu->m_items[0]->m_strImageNormal, "");
}

TEST(ResourceConflicts, GroupsFieldsBySourcePathInFirstRecordedOrder) {
    std::string f1 = "C:\\img\\a.gif";
    std::string f2 = "/src/b.gif";
    std::string f3 = "C:\\img\\a.gif";
    CResourceConflicts conflicts("/dest");
    conflicts.AddConflict(f1);
    conflicts.AddConflict(f2);
    conflicts.AddConflict(f3);

    EXPECT_EQ(conflicts.DestFolder(), "/dest/");
    EXPECT_EQ(conflicts.Count(), 3);
    ASSERT_EQ(conflicts.Rows().size(), 2u);
    EXPECT_EQ(conflicts.Rows()[0].m_strSourcePath, "C:\\img\\a.gif");
    EXPECT_EQ(conflicts.Rows()[0].m_strDestName, "a.gif");
    EXPECT_EQ(conflicts.Rows()[0].m_fields, (std::vector<std::string*>{&f1, &f3}));
    EXPECT_EQ(conflicts.Rows()[1].m_strDestName, "b.gif");
    EXPECT_EQ(conflicts.Rows()[1].m_fields, (std::vector<std::string*>{&f2}));
}

class CopyResources : public ::testing::Test {
protected:
    void SetUp() override {
        m_strDest = m_temp.Folder("dest");
        m_strComponent = m_temp.Folder("component");
        m_applet.m_strClassFolder = m_strComponent;
        m_pMenu = AppendTopLevel(m_applet);
    }

    CZephraItem* Item(const std::string& normalImage) {
        CZephraItem* item = Append(*m_pMenu, "i");
        item->m_strImageNormal = normalImage;
        return item;
    }

    // Both the single-file copy and the whole copy keep the field on the source, report the
    // failure (not a conflict) and leave dest as empty as it was.
    void ExpectCopyFails(const std::string& source, const std::string& dest) {
        struct stat st {};
        ASSERT_EQ(::stat(source.c_str(), &st), 0) << source;
        std::string field = source;
        EXPECT_TRUE(CopyResourceFile(field, dest));
        EXPECT_EQ(field, source);

        CZephraItem* item = Item(source);
        CRecordingResolver resolver(true);
        EXPECT_FALSE(CopyResourceFiles(m_applet, dest, resolver));
        EXPECT_EQ(item->m_strImageNormal, source);
        EXPECT_EQ(resolver.m_nCalls, 0);
        EXPECT_TRUE(FolderEntries(dest).empty());
        m_pMenu->RemoveAllItems();
    }

    CTempFolder m_temp;
    std::string m_strDest;
    std::string m_strComponent;
    CAppletParameters m_applet;
    CZephraBody* m_pMenu = nullptr;
};

TEST_F(CopyResources, CopiesFilesOnceAndPointsTheModelAtTheCopies) {
    m_temp.Write("component/zephracore.class", "CAFEBABE");
    m_temp.Write("dest/zephracore.class", "old");
    const std::string bg = m_temp.Write("src/bg.gif", "background");
    const std::string shared = m_temp.Write("src/a.gif", "shared");
    const std::string inPlace = m_temp.Write("dest/tune.au", "tune");
    m_applet.m_strImage = bg;
    CZephraItem* i0 = Item(shared);
    CZephraItem* i1 = Item(shared);
    i1->m_strAudioClick = inPlace;
    CZephraItem* i2 = Item(m_temp.Path("src/gone.gif"));
    CZephraItem* sub = Append(*i0->m_pSubMenu, "sub");
    sub->m_strImageOver = shared;

    CRecordingResolver resolver(true);
    EXPECT_TRUE(CopyResourceFiles(m_applet, m_strDest, resolver));
    EXPECT_EQ(resolver.m_nCalls, 0);
    EXPECT_EQ(m_applet.m_strImage, m_strDest + "bg.gif");
    // Every field that used the shared file names the one copy.
    EXPECT_EQ(i0->m_strImageNormal, m_strDest + "a.gif");
    EXPECT_EQ(i1->m_strImageNormal, m_strDest + "a.gif");
    EXPECT_EQ(sub->m_strImageOver, m_strDest + "a.gif");
    EXPECT_EQ(i1->m_strAudioClick, inPlace);
    EXPECT_EQ(i2->m_strImageNormal, "");
    EXPECT_EQ(FolderEntries(m_strDest),
              (std::set<std::string>{"zephracore.class", "bg.gif", "a.gif", "tune.au"}));
    EXPECT_EQ(ReadFileText(m_strDest + "zephracore.class"), "CAFEBABE");
    EXPECT_EQ(ReadFileText(m_strDest + "a.gif"), "shared");
    EXPECT_EQ(ReadFileText(bg), "background"); // the source stays
    EXPECT_TRUE(m_applet.m_flatItems.empty());
}

TEST_F(CopyResources, TakenNamesAreRenamedWithoutOverwritingAnything) {
    // No class file in the component folder: the copy goes on without it.
    const std::string one = m_temp.Write("src1/a.gif", "one");
    const std::string two = m_temp.Write("src2/a.gif", "two");
    const std::string three = m_temp.Write("src3/a.gif", "three");
    // A folder whose name differs from the destination only in letter case is another folder.
    const std::string upper = m_temp.Write("Dest/b.gif", "upper");
    m_temp.Write("dest/b.gif", "lower");
    m_temp.Write("dest/b-2.gif", "lower-2");
    CZephraItem* i0 = Item(one);
    CZephraItem* i1 = Item(two);
    i1->m_strImageOver = two;
    CZephraItem* i2 = Item(three);
    CZephraItem* i3 = Item(upper);

    CRenamingConflictResolver renamer;
    CRecordingResolver resolver(true, [&](CResourceConflicts& c) { renamer.Resolve(c); });
    EXPECT_TRUE(CopyResourceFiles(m_applet, m_strDest, resolver));
    EXPECT_EQ(resolver.m_nCalls, 1);
    EXPECT_EQ(resolver.m_nFields, 4);
    EXPECT_EQ(resolver.m_sources, (std::vector<std::string>{two, three, upper}));
    EXPECT_EQ(resolver.m_destNames, (std::vector<std::string>{"a.gif", "a.gif", "b.gif"}));
    EXPECT_EQ(resolver.m_fieldsPerRow, (std::vector<size_t>{2, 1, 1}));

    // Each field names a file with its own content; nothing was overwritten.
    const std::pair<const std::string*, const char*> fields[] = {
        {&i0->m_strImageNormal, "one"},   {&i1->m_strImageNormal, "two"},
        {&i1->m_strImageOver, "two"},     {&i2->m_strImageNormal, "three"},
        {&i3->m_strImageNormal, "upper"},
    };
    for (const auto& [field, content] : fields) {
        EXPECT_EQ(field->rfind(m_strDest, 0), 0u) << *field;
        EXPECT_EQ(ReadFileText(*field), content) << *field;
    }
    EXPECT_EQ(i1->m_strImageNormal, m_strDest + "a-2.gif");
    EXPECT_EQ(i2->m_strImageNormal, m_strDest + "a-3.gif");
    EXPECT_EQ(i3->m_strImageNormal, m_strDest + "b-3.gif");
    EXPECT_EQ(ReadFileText(m_strDest + "b.gif"), "lower");
    EXPECT_EQ(ReadFileText(m_strDest + "b-2.gif"), "lower-2");
    EXPECT_EQ(ReadFileText(one), "one");
}

TEST_F(CopyResources, DeclinedConflictsCopyNothingAndKeepTheirPaths) {
    const std::string one = m_temp.Write("src1/a.gif", "one");
    const std::string two = m_temp.Write("src2/a.gif", "two");
    const std::string other = m_temp.Write("src2/c.gif", "c");
    CZephraItem* i0 = Item(one);
    CZephraItem* i1 = Item(two);
    CZephraItem* i2 = Item(other);

    CRecordingResolver resolver(false,
                                [](CResourceConflicts& c) { c.Rows()[0].m_strDestName = "z.gif"; });
    EXPECT_TRUE(CopyResourceFiles(m_applet, m_strDest, resolver));
    EXPECT_EQ(resolver.m_nCalls, 1);
    EXPECT_EQ(i0->m_strImageNormal, m_strDest + "a.gif");
    EXPECT_EQ(i1->m_strImageNormal, two);
    EXPECT_EQ(i2->m_strImageNormal, m_strDest + "c.gif");
    EXPECT_EQ(FolderEntries(m_strDest), (std::set<std::string>{"a.gif", "c.gif"}));
    EXPECT_EQ(ReadFileText(m_strDest + "a.gif"), "one");
}

TEST_F(CopyResources, FailedCopiesKeepTheSourcePathAndLeaveNothingBehind) {
    {
        SCOPED_TRACE("destination folder missing");
        ExpectCopyFails(m_temp.Write("src/a.gif", "a"), m_temp.Path("nowhere/"));
    }
    {
        // Reading our own memory at offset 0 fails with EIO after the open succeeded, so the
        // temporary copy has been created by then.
        SCOPED_TRACE("read error in the middle of the copy");
        ExpectCopyFails("/proc/self/mem", m_strDest);
    }
}

TEST_F(CopyResources, FailedCopiesForLackOfPermission) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads and writes regardless of permissions";
    {
        SCOPED_TRACE("unreadable source");
        const std::string path = m_temp.Write("src/locked.gif", "x");
        ::chmod(path.c_str(), 0);
        ExpectCopyFails(path, m_strDest);
        ::chmod(path.c_str(), 0644);
    }
    {
        SCOPED_TRACE("read-only destination");
        ::chmod(m_strDest.c_str(), 0555);
        ExpectCopyFails(m_temp.Write("src/b.gif", "b"), m_strDest);
        ::chmod(m_strDest.c_str(), 0755);
    }
}

TEST_F(CopyResources, ApplyingConflictsKeepsFieldsOfRowsThatCannotBeCopied) {
    m_temp.Folder("dest/dir.gif"); // a folder holds the name
    std::string blocked = m_temp.Write("src/x.gif", "x");
    std::string escaping = m_temp.Write("src/y.gif", "y");
    std::string unnamed = m_temp.Write("src/z.gif", "z");
    std::string good = m_temp.Write("src/w.gif", "w");
    std::string good2 = good;
    const std::vector<std::string> before = {blocked, escaping, unnamed, good};

    CResourceConflicts conflicts(m_strDest);
    for (std::string* field : {&blocked, &escaping, &unnamed, &good, &good2})
        conflicts.AddConflict(*field);
    auto& rows = conflicts.Rows();
    rows[0].m_strDestName = "dir.gif";
    rows[1].m_strDestName = "../escape.gif";
    rows[2].m_strDestName = "";
    rows[3].m_strDestName = "w-new.gif";

    EXPECT_FALSE(ApplyConflicts(conflicts));
    EXPECT_EQ(blocked, before[0]);
    EXPECT_EQ(escaping, before[1]);
    EXPECT_EQ(unnamed, before[2]);
    EXPECT_EQ(good, m_strDest + "w-new.gif");
    EXPECT_EQ(good2, m_strDest + "w-new.gif");
    EXPECT_EQ(ReadFileText(good), "w");
    EXPECT_EQ(FolderEntries(m_strDest), (std::set<std::string>{"dir.gif", "w-new.gif"}));
    EXPECT_FALSE(std::filesystem::exists(m_temp.Path("escape.gif")));
}

TEST_F(CopyResources, KeepingTheNameReplacesTheFileInTheDestination) {
    // What the dialog's OK without renaming does: the later file wins, both fields name it.
    const std::string one = m_temp.Write("src1/a.gif", "one");
    const std::string two = m_temp.Write("src2/a.gif", "two");
    CZephraItem* i0 = Item(one);
    CZephraItem* i1 = Item(two);
    CRecordingResolver resolver(true);
    EXPECT_TRUE(CopyResourceFiles(m_applet, m_strDest, resolver));
    EXPECT_EQ(i0->m_strImageNormal, m_strDest + "a.gif");
    EXPECT_EQ(i1->m_strImageNormal, m_strDest + "a.gif");
    EXPECT_EQ(ReadFileText(m_strDest + "a.gif"), "two");
    EXPECT_EQ(FolderEntries(m_strDest), (std::set<std::string>{"a.gif"}));
}

TEST(RenamingResolver, GivesUpWhenEveryNameLooksTaken) {
    // The text after a NUL is invisible to the file system, so every candidate name in this
    // "folder" is the existing file itself: the search must end, copying nothing.
    CTempFolder temp;
    const std::string file = temp.Write("x/file", "f");
    CResourceConflicts conflicts(file + std::string(1, '\0') + "/");
    std::string field = temp.Write("src/a.gif", "a");
    conflicts.AddConflict(field);
    CRenamingConflictResolver renamer;
    EXPECT_FALSE(renamer.Resolve(conflicts));
}
