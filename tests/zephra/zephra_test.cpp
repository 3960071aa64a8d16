// The zephra program as scripts run it: the built binary started with a scratch registry, its
// exit status, standard output and the one line it prints on failure.

#include "editor/binding/plaquet.h"
#include "editor/binding/widgetrules.h"
#include "tests/binding/hostfixture.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

using namespace hosttest;

namespace {

const std::string kZephra = std::string(ZEPHRA_BIN_DIR) + "/zephra";

struct CRun {
    int exit = -1;
    std::string out;
    std::string err;
};

class ZephraTool : public CHostTest {
protected:
    // Runs zephra with args in cwd (the scratch folder when empty), the registry of this test.
    CRun Run(const std::vector<std::string>& args, const std::string& cwd = {}) {
        std::vector<std::string> argv = {kZephra};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> pointers;
        for (std::string& arg : argv)
            pointers.push_back(arg.data());
        pointers.push_back(nullptr);
        const std::string outPath = Path("run.out");
        const std::string errPath = Path("run.err");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addchdir_np(&actions,
                                             (cwd.empty() ? m_root.string() : cwd).c_str());
        pid_t pid = 0;
        CRun run;
        const int spawned =
            posix_spawn(&pid, kZephra.c_str(), &actions, nullptr, pointers.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_EQ(spawned, 0);
        if (spawned != 0)
            return run;
        int status = 0;
        EXPECT_EQ(::waitpid(pid, &status, 0), pid);
        run.exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        run.out = ReadFile(outPath);
        run.err = ReadFile(errPath);
        fs::remove(outPath);
        fs::remove(errPath);
        return run;
    }

    // A component folder with the shipped templates, registered through zephra.
    std::string RegisterWithTemplates(const std::string& folder) {
        const std::string library = CopyComponent(folder);
        CopyTemplates(folder);
        const CRun run = Run({"register", library});
        EXPECT_EQ(run.exit, 0) << run.err;
        return library;
    }

    // What the component itself answers for a widget file.
    std::string ComponentBody(const std::string& file, int16_t form,
                              const std::string* previewPath = nullptr) {
        CRecordingPrompt prompt;
        CPlaquet widget(prompt);
        EXPECT_TRUE(widget.CreateFromProgID(kPlaquetProgID));
        EXPECT_TRUE(widget.ReadConfigFile(file));
        if (previewPath != nullptr)
            widget.SetPreviewPath(*previewPath);
        return widget.GetHTMLBody(0, form);
    }
};

// One line on stderr that holds every part.
void ExpectOneLine(const CRun& run, const std::vector<std::string>& parts) {
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.err.rfind("zephra: ", 0), 0u) << run.err;
    for (const std::string& part : parts)
        EXPECT_TRUE(Contains(run.err, part)) << "'" << part << "' in " << run.err;
}

} // namespace

TEST_F(ZephraTool, HelpAndUsageErrors) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--help"},
                                               {"register", "--help"},
                                               {"unregister", "--help"},
                                               {"new", "--help"},
                                               {"html", "x.wgt", "--help"},
                                               {"save", "--help"},
                                               {"resources", "--help"},
                                               {"templates", "--help"}}) {
        const CRun run = Run(args);
        EXPECT_EQ(run.exit, 0) << args[0];
        EXPECT_EQ(run.out.rfind("Usage: zephra", 0), 0u) << run.out;
        EXPECT_EQ(run.err, "");
    }

    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{}, "zephra: missing command"},
        {{"bogus"}, "zephra: unknown command 'bogus'"},
        {{"new"}, "zephra new: missing OUT.wgt"},
        {{"new", "a.wgt", "--colour", "red"}, "zephra new: unknown option '--colour'"},
        {{"new", "a.wgt", "--title"}, "zephra new: option '--title' needs a value"},
        {{"new", "a.wgt", "--title", ""}, "zephra new: You must enter a name!\n"},
        {{"new", "a.wgt", "--title=My_Menu"}, "zephra new: " + std::string(kMsgInvalidWidgetName)},
        {{"html", "a.wgt", "b.wgt"}, "zephra html: unexpected argument 'b.wgt'"},
        {{"html", "a.wgt", "--web=yes"}, "zephra html: option '--web' takes no value"},
        {{"save", "a.wgt"}, "zephra save: missing OUT.wgt"},
        {{"resources"}, "zephra resources: missing FILE.wgt"},
        {{"templates", "extra"}, "zephra templates: unexpected argument 'extra'"},
        {{"register", "a.so", "b.so"}, "zephra register: unexpected argument 'b.so'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "(none)" : c.args[0]);
        const CRun run = Run(c.args);
        EXPECT_EQ(run.exit, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind(c.err, 0), 0u) << run.err;
    }
    EXPECT_FALSE(fs::exists(Path("a.wgt")));
    EXPECT_FALSE(fs::exists(RegistryFolder())) << "usage errors touch nothing";
}

TEST_F(ZephraTool, RegisterAndUnregister) {
    // By default the component beside the program.
    CRun run = Run({"register"});
    ASSERT_EQ(run.exit, 0) << run.err;
    CRegKey key;
    std::string server;
    ASSERT_EQ(key.Open(HKEY_CLASSES_ROOT,
                       "CLSID\\{3673BDD0-F2E8-11D2-9EA9-0000E8E0AEB1}\\InprocServer32"),
              ERROR_SUCCESS);
    ASSERT_EQ(key.QueryStringValue("", server), ERROR_SUCCESS);
    EXPECT_EQ(server, fs::canonical(kBuiltComponent).string());
    key.Close();

    // A named library, given relative to the current folder; registering twice is harmless.
    const std::string library = CopyComponent(Path("component"));
    CopyTemplates(Path("component"));
    for (int i = 0; i < 2; ++i) {
        run = Run({"register", "PlaquetZephra.so"}, Path("component"));
        ASSERT_EQ(run.exit, 0) << run.err;
    }
    run = Run({"templates"});
    ASSERT_EQ(run.exit, 0) << run.err;
    EXPECT_TRUE(Contains(run.out, "\t" + Path("component") + "/Ocean_PlaquetServer.Zephra.wgt\n"))
        << run.out;

    run = Run({"unregister", library});
    ASSERT_EQ(run.exit, 0) << run.err;
    run = Run({"templates"});
    EXPECT_EQ(run.exit, 1);
    ExpectOneLine(run, {"not registered"});

    // Unregistering what is not registered, and a library that is not there.
    run = Run({"unregister", library});
    EXPECT_EQ(run.exit, 1);
    ExpectOneLine(run, {library, "DllUnregisterServer failed", "0x80040154"});
    run = Run({"register", Path("nowhere/PlaquetZephra.so")});
    EXPECT_EQ(run.exit, 1);
    ExpectOneLine(
        run, {Path("nowhere/PlaquetZephra.so"), "DllRegisterServer failed", "CO_E_DLLNOTFOUND"});
}

TEST_F(ZephraTool, CommandsNeedTheComponent) {
    const std::string sample = CopySample(Path("widget"));
    const std::vector<std::vector<std::string>> commands = {
        {"new", Path("out.wgt")}, {"html", sample}, {"save", sample, Path("out.wgt")},
        {"resources", sample},    {"templates"},
    };
    // Not registered.
    for (const auto& args : commands) {
        SCOPED_TRACE(args[0]);
        const CRun run = Run(args);
        EXPECT_EQ(run.exit, 1);
        EXPECT_EQ(run.out, "");
        ExpectOneLine(run,
                      {args.size() > 1 ? args[1] : "templates",
                       "Create the dispatch of the PlaquetServer.Zephra Error!", "not registered"});
    }
    // Registered, but the library is gone.
    fs::remove(InstallComponent(Path("component")));
    for (const auto& args : commands) {
        SCOPED_TRACE(args[0]);
        const CRun run = Run(args);
        EXPECT_EQ(run.exit, 1);
        ExpectOneLine(run, {"Create Dispatch of the PlaquetServer.Zephra Error!",
                            Path("component/PlaquetZephra.so")});
    }
    EXPECT_FALSE(fs::exists(Path("out.wgt")));
}

TEST_F(ZephraTool, NewWritesAFreshWidgetOrOneFromATemplate) {
    RegisterWithTemplates(Path("component"));

    // The component's defaults, titled "Normal", stamped now.
    const DATE before = CurrentLocalDate();
    CRun run = Run({"new", "plain.wgt"});
    const DATE after = CurrentLocalDate();
    ASSERT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out, "");
    const std::string plain = ReadFile(Path("plain.wgt"));
    for (const char* line : {"\r\nTitle = Normal\r\n", "\r\nDescription = \r\n",
                             "\r\nPreviewPath = \r\n", "\r\nProgID = PlaquetServer.Zephra\r\n"})
        EXPECT_TRUE(Contains(plain, line)) << line;
    const size_t stamp = plain.find("LastUpdateTime = ");
    ASSERT_NE(stamp, std::string::npos);
    const double written = std::strtod(plain.c_str() + stamp + 17, nullptr);
    EXPECT_GE(written, before - 1e-6);
    EXPECT_LE(written, after + 1e-6);

    // From a template, under a new name: the template's menus, the new title and description.
    run = Run({"new", Path("sea.wgt"), "--template", "Ocean", "--title", "Sea", "--description",
               "Waves, and more"});
    ASSERT_EQ(run.exit, 0) << run.err;
    CRecordingPrompt prompt;
    CPlaquet widget(prompt);
    ASSERT_TRUE(widget.CreateFromProgID(kPlaquetProgID));
    ASSERT_TRUE(widget.ReadConfigFile(Path("sea.wgt")));
    EXPECT_EQ(widget.GetTitle(), "Sea");
    EXPECT_EQ(widget.GetDescription(), "Waves, and more");
    EXPECT_EQ(widget.GetPreviewPath(), "");
    const std::string sea = widget.GetHTMLBody(0, kHtmlFormLocal);
    EXPECT_EQ(sea, ComponentBody(Path("component/Ocean_PlaquetServer.Zephra.wgt"), 0));
    EXPECT_TRUE(Contains(sea, "Islands")) << sea;

    // A template that is not there, and a file that cannot be written.
    run = Run({"new", Path("x.wgt"), "--template", "Desert"});
    EXPECT_EQ(run.exit, 1);
    ExpectOneLine(run, {Path("x.wgt"), "no template titled 'Desert'"});
    run = Run({"new", Path("no/such/folder/x.wgt")});
    EXPECT_EQ(run.exit, 1);
    ExpectOneLine(
        run, {"Save to " + Path("no/such/folder/x.wgt") + " Error!", "No such file or directory"});
    EXPECT_FALSE(fs::exists(Path("x.wgt")));
}

TEST_F(ZephraTool, HtmlIsTheComponentsBodyByteForByte) {
    InstallComponent(Path("component"));
    const std::string sample = CopySample(Path("widget"));

    CRun run = Run({"html", sample});
    ASSERT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out, ComponentBody(sample, kHtmlFormLocal));
    EXPECT_TRUE(Contains(run.out, "</applet>\r\n</p>\r\n")) << "line ends are kept";
    EXPECT_EQ(run.err, "");

    run = Run({"html", sample, "--web"});
    ASSERT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out, ComponentBody(sample, kHtmlFormWeb));
    EXPECT_TRUE(Contains(run.out, "images/bullet.gif"));

    // The preview path is stored as the editor's dialog stores it.
    const std::string stored = "site/img/";
    run = Run({"html", "--preview-path", "site\\img", "widget/Sample.wgt"});
    ASSERT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out, ComponentBody(sample, kHtmlFormLocal, &stored));
    EXPECT_TRUE(Contains(run.out, "codebase=\"site/img/\"")) << run.out;
    EXPECT_TRUE(Contains(run.out, ",site/img/bullet.gif,")) << run.out;
    EXPECT_EQ(ReadFile(sample), ReadFile(kSampleData + "/Sample.wgt")) << "the file is not touched";
}

TEST_F(ZephraTool, FilesThatCannotBeUsed) {
    InstallComponent(Path("component"));
    const std::string foreign = WriteForeignWidget(Path("foreign.wgt"), "Foreign");
    fs::create_directories(Path("folder.wgt"));
    struct Case {
        std::string file;
        std::vector<std::string> parts;
    };
    const std::vector<Case> cases = {
        {Path("missing.wgt"), {"Open " + Path("missing.wgt") + " Error!", "No such file"}},
        {"missing.wgt", {"Open missing.wgt Error!"}},
        {Path("folder.wgt"), {"Open " + Path("folder.wgt") + " Error!", "Is a directory"}},
        {foreign, {foreign + ": This File is not saved by Brimble Zephra!"}},
        {"/proc/self/mem", {"/proc/self/mem", "Input/output error"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
                 {"html", c.file}, {"resources", c.file}, {"save", c.file, Path("out.wgt")}}) {
            const CRun run = Run(args);
            EXPECT_EQ(run.exit, 1) << args[0];
            EXPECT_EQ(run.out, "");
            ExpectOneLine(run, c.parts);
        }
    }
    EXPECT_FALSE(fs::exists(Path("out.wgt")));
}

TEST_F(ZephraTool, SaveCopiesSupportFilesAndRenamesOnAClash) {
    InstallComponent(Path("component"));
    const std::string sample = CopySample(Path("widget"));
    // Another picture of the same name already lies in the target folder.
    WriteFile(Path("site/bullet.gif"), "GIF89a someone else's picture");

    const CRun run = Run({"save", sample, Path("site/Menu.wgt")});
    ASSERT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(ReadFile(Path("site/bullet.gif")), "GIF89a someone else's picture");
    EXPECT_EQ(ReadFile(Path("site/bullet-2.gif")), ReadFile(Path("widget/bullet.gif")));
    EXPECT_EQ(ReadFile(Path("site/bulletover.gif")), ReadFile(Path("widget/bulletover.gif")));

    const std::string saved = ReadFile(Path("site/Menu.wgt"));
    EXPECT_TRUE(Contains(saved, "\r\nProgID = PlaquetServer.Zephra\r\n"));
    EXPECT_TRUE(Contains(saved, "\r\nTitle = Sample\r\n"));
    EXPECT_TRUE(Contains(saved, "\r\nLastUpdateTime = ")) << "stamped on save";
    const std::string body = ComponentBody(Path("site/Menu.wgt"), kHtmlFormLocal);
    EXPECT_TRUE(Contains(body, ",bullet-2.gif,bulletover.gif,")) << body;
    EXPECT_EQ(ReadFile(sample), ReadFile(kSampleData + "/Sample.wgt")) << "the source stays";
}

TEST_F(ZephraTool, ResourcesListsTheSupportFilesAsTheEditorShowsThem) {
    const std::string folder = Path("component");
    InstallComponent(folder);
    const std::string sample = CopySample(Path("widget"));

    CRun run = Run({"resources", sample});
    ASSERT_EQ(run.exit, 0) << run.err;
    std::string expected = "zephracore.class\t" + folder + "/\tapplet/\n";
    for (int item = 0; item < 4; ++item) {
        expected += "bullet.gif\t" + Path("widget") + "\timages/\n";
        expected += "bulletover.gif\t" + Path("widget") + "\timages/\n";
        expected += "bulletover.gif\t" + Path("widget") + "\timages/\n";
    }
    EXPECT_EQ(run.out, expected);

    // The list comes from the widget as it is now, not from the file: a picture deleted since
    // the save drops out.
    fs::remove(Path("widget/bulletover.gif"));
    run = Run({"resources", sample});
    ASSERT_EQ(run.exit, 0) << run.err;
    expected = "zephracore.class\t" + folder + "/\tapplet/\n";
    for (int item = 0; item < 4; ++item)
        expected += "bullet.gif\t" + Path("widget") + "\timages/\n";
    EXPECT_EQ(run.out, expected);
}

TEST_F(ZephraTool, TemplatesListsTitleDescriptionAndPath) {
    const std::string folder = Path("component");
    RegisterWithTemplates(folder);
    WriteForeignWidget(folder + "/Foreign_PlaquetServer.Other.wgt", "Foreign");

    const CRun run = Run({"templates"});
    ASSERT_EQ(run.exit, 0) << run.err;
    CRecordingPrompt prompt;
    CPlaquet lister(prompt);
    ASSERT_TRUE(lister.CreateFromProgID(kPlaquetProgID));
    const CTemplateList list = lister.ListTemplates();
    ASSERT_EQ(list.m_titles.size(), 3u);
    std::string expected;
    for (size_t i = 0; i < list.m_titles.size(); ++i)
        expected +=
            list.m_titles[i] + "\t" + list.m_descriptions[i] + "\t" + list.m_paths[i] + "\n";
    EXPECT_EQ(run.out, expected);
    EXPECT_FALSE(Contains(run.out, "Foreign"));
}
