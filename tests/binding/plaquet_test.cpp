#include "editor/binding/plaquet.h"
#include "tests/binding/hostfixture.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace hosttest;

namespace {

class Binding : public CHostTest {};

} // namespace

TEST_F(Binding, BindsByProgIDWithFolderDisplayStringsAndAFreshTitle) {
    const std::string folder = Path("component");
    InstallComponent(folder);
    WriteFile(folder + "/Sample/sample.htm", "<html></html>\n");

    CRecordingPrompt prompt;
    CPlaquet widget(prompt);
    ASSERT_TRUE(widget.CreateFromProgID(kPlaquetProgID));
    EXPECT_TRUE(prompt.m_messages.empty());
    EXPECT_TRUE(widget.IsBound());
    EXPECT_EQ(widget.BindResult(), S_OK);
    EXPECT_EQ(widget.BoundProgID(), "PlaquetServer.Zephra");
    EXPECT_EQ(widget.BoundCLSID(), kZephraClsid);
    EXPECT_EQ(widget.ComponentFolder(), folder);
    EXPECT_EQ(widget.SamplePath(), folder + "/Sample/sample.htm");
    EXPECT_EQ(widget.TypeText(), "Java Applet");
    EXPECT_EQ(widget.NameText(), "Brimble Zephra 2.1");
    EXPECT_EQ(widget.MenuText(), "Brimble Zephra 2.1");
    EXPECT_EQ(widget.MessageText(), "Build a perfect navigation popup menu");
    EXPECT_EQ(widget.GetTitle(), "Normal");
    EXPECT_EQ(widget.GetDescription(), "");

    // "Normal" is the binding's doing: an object created without it has no title.
    CComDispatchDriver plain;
    ASSERT_EQ(plain.p.CoCreateInstance(kZephraClsid), S_OK);
    CComVariant title;
    ASSERT_EQ(plain.GetProperty(kDispidTitle, &title), S_OK);
    EXPECT_EQ(Utf8FromBstr(title.bstrVal), "");

    // Binding by class gives the same.
    CPlaquet byClass(prompt);
    ASSERT_TRUE(byClass.CreateFromCLSID(kZephraClsid));
    EXPECT_EQ(byClass.BoundProgID(), "PlaquetServer.Zephra");
    EXPECT_EQ(byClass.ComponentFolder(), folder);
    EXPECT_EQ(byClass.GetTitle(), "Normal");
    EXPECT_TRUE(prompt.m_messages.empty());
}

TEST_F(Binding, SamplePageIsFoundOnlyWhenItIsAFile) {
    struct Case {
        const char* name;
        std::function<void(const std::string& sample)> make;
        bool found;
    };
    const std::vector<Case> cases = {
        {"absent", [](const std::string&) {}, false},
        {"file", [](const std::string& sample) { WriteFile(sample, "<html></html>\n"); }, true},
        {"folder", [](const std::string& sample) { fs::create_directories(sample); }, false},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = Path("component" + std::to_string(n++));
        InstallComponent(folder);
        const std::string sample = folder + "/Sample/sample.htm";
        c.make(sample);
        CRecordingPrompt prompt;
        CPlaquet widget(prompt);
        ASSERT_TRUE(widget.CreateFromProgID(kPlaquetProgID));
        EXPECT_EQ(widget.ComponentFolder(), folder);
        EXPECT_EQ(widget.SamplePath(), c.found ? sample : "");
    }
}

TEST_F(Binding, AComponentDeepInTheFileSystemIsStillFound) {
    // Longer than the fixed buffers install paths were once read into.
    std::string folder = Path("deep");
    while (folder.size() < 700)
        folder += "/" + std::string(60, 'd');
    InstallComponent(folder);
    WriteFile(folder + "/Sample/sample.htm", "<html></html>\n");
    CopyTemplates(folder);
    CRecordingPrompt prompt;
    CPlaquet widget(prompt);
    ASSERT_TRUE(widget.CreateFromProgID(kPlaquetProgID));
    EXPECT_EQ(widget.ComponentFolder(), folder);
    EXPECT_EQ(widget.SamplePath(), folder + "/Sample/sample.htm");
    EXPECT_EQ(widget.ListTemplates().m_paths.size(), 3u);
}

TEST_F(Binding, FailsWithoutAMessageUnlessTheComponentCannotBeCreated) {
    struct Case {
        const char* name;
        std::function<void()> setup;
        std::string progId;
        HRESULT result;
        bool message;
    };
    const std::vector<Case> cases = {
        {"nothing registered", [] {}, "PlaquetServer.Zephra", CO_E_CLASSSTRING, false},
        {"unknown ProgID", [this] { InstallComponent(Path("c1")); }, "PlaquetServer.Nothing",
         CO_E_CLASSSTRING, false},
        {"class without a ProgID entry",
         [] {
             CRegKey root(HKEY_CLASSES_ROOT);
             ASSERT_EQ(
                 root.SetKeyValue("Lone.Widget\\CLSID", "{11111111-2222-3333-4444-555555555555}"),
                 ERROR_SUCCESS);
         },
         "Lone.Widget", REGDB_E_CLASSNOTREG, false},
        {"library deleted",
         [this] {
             const std::string library = InstallComponent(Path("c2"));
             CoFreeUnusedLibraries(); // registering loaded it
             fs::remove(library);
         },
         "PlaquetServer.Zephra", CO_E_DLLNOTFOUND, true},
        {"library that is no server",
         [this] {
             const std::string library = InstallComponent(Path("c3"));
             CoFreeUnusedLibraries();
             fs::remove(library);
             WriteFile(library, "not a library\n");
         },
         "PlaquetServer.Zephra", CO_E_ERRORINDLL, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(RegistryFolder());
        c.setup();
        CRecordingPrompt prompt;
        CPlaquet widget(prompt);
        EXPECT_FALSE(widget.CreateFromProgID(c.progId));
        EXPECT_EQ(widget.BindResult(), c.result) << DescribeHResult(widget.BindResult());
        if (c.message)
            EXPECT_EQ(prompt.m_messages,
                      std::vector<std::string>{"Create Dispatch of the " + c.progId + " Error!"});
        else
            EXPECT_TRUE(prompt.m_messages.empty());
        EXPECT_FALSE(widget.IsBound());
        EXPECT_EQ(widget.BoundProgID(), "");
        EXPECT_EQ(widget.ComponentFolder(), "");
        EXPECT_EQ(widget.SamplePath(), "");
        EXPECT_EQ(widget.TypeText(), "");
    }
}

TEST_F(Binding, TypedCallsReachTheirMembers) {
    const std::string folder = Path("component");
    InstallComponent(folder);
    const std::string sample = CopySample(Path("widget"));
    CRecordingPrompt prompt;
    CPlaquet widget(prompt);
    ASSERT_TRUE(widget.CreateFromProgID(kPlaquetProgID));

    // The display string ids name strings of the module whose handle the component gives.
    EXPECT_EQ(widget.GetPlaquetTypeID(), 1);
    EXPECT_EQ(widget.GetPlaquetNameID(), 2);
    EXPECT_EQ(widget.GetMenuTextID(), 3);
    EXPECT_EQ(widget.GetMessageTextID(), 4);
    const HINSTANCE module = widget.GetResourceInstance();
    EXPECT_NE(module, 0);
    std::string text;
    ASSERT_TRUE(LoadString(module, widget.GetMessageTextID(), text));
    EXPECT_EQ(text, "Build a perfect navigation popup menu");

    // Properties, with text that is neither ASCII nor free of the field separators.
    const std::string odd = "Überblick, mit Komma";
    widget.SetProgID("Some.Other");
    EXPECT_EQ(widget.GetProgID(), "Some.Other");
    widget.SetTitle(odd);
    EXPECT_EQ(widget.GetTitle(), odd);
    widget.SetDescription(odd + "!");
    EXPECT_EQ(widget.GetDescription(), odd + "!");
    widget.SetPreviewPath("pre/");
    EXPECT_EQ(widget.GetPreviewPath(), "pre/");

    // Reading a widget.
    EXPECT_FALSE(widget.ReadConfigFile(Path("missing.wgt")));
    EXPECT_EQ(widget.GetTitle(), odd) << "a failed read changes nothing";
    ASSERT_TRUE(widget.ReadConfigFile(sample));
    EXPECT_EQ(widget.GetProgID(), "PlaquetServer.Zephra");
    EXPECT_EQ(widget.GetTitle(), "Sample");
    EXPECT_EQ(widget.GetPreviewPath(), "");

    // Segments and both forms of the body.
    EXPECT_EQ(widget.GetHTMLSegmentNumber(), 1);
    EXPECT_EQ(widget.GetHTMLPosition(0), "cursor");
    const std::string local = widget.GetHTMLBody(0, kHtmlFormLocal);
    const std::string web = widget.GetHTMLBody(0, kHtmlFormWeb);
    EXPECT_TRUE(Contains(local, ",bullet.gif,bulletover.gif,")) << local;
    EXPECT_FALSE(Contains(local, "codebase=")) << local;
    EXPECT_TRUE(Contains(web, ",images/bullet.gif,images/bulletover.gif,")) << web;
    EXPECT_TRUE(Contains(web, "codebase=\"applet/\"")) << web;
    EXPECT_TRUE(Contains(web, "\r\n")) << "the body keeps its line ends";
    widget.SetPreviewPath("preview/");
    const std::string preview = widget.GetHTMLBody(0, kHtmlFormLocal);
    EXPECT_TRUE(Contains(preview, ",preview/bullet.gif,")) << preview;
    EXPECT_TRUE(Contains(preview, "codebase=\"preview/\"")) << preview;

    // The support files: the class file, then three images for each of the four bar items.
    ASSERT_EQ(widget.GetResourceNumber(), 13);
    EXPECT_EQ(widget.GetResourceName(0), "zephracore.class");
    EXPECT_EQ(widget.GetResourceLocalPath(0), folder + "/");
    EXPECT_EQ(widget.GetResourceWebPath(0), "applet/");
    EXPECT_EQ(widget.GetResourceName(1), "bullet.gif");
    EXPECT_EQ(widget.GetResourceLocalPath(1), Path("widget"));
    EXPECT_EQ(widget.GetResourceWebPath(1), "images/");
    EXPECT_EQ(widget.GetResourceName(2), "bulletover.gif");
    for (const int16_t outside : {int16_t(-1), int16_t(13)}) {
        EXPECT_EQ(widget.GetResourceName(outside), "");
        EXPECT_EQ(widget.GetResourceLocalPath(outside), "");
        EXPECT_EQ(widget.GetResourceWebPath(outside), "");
    }

    // Writing: the stamp and the support files land beside the file.
    widget.SetLastUpdateTime(36526.5);
    fs::create_directories(Path("out"));
    ASSERT_TRUE(widget.WriteConfigFile(Path("out/Copy.wgt")));
    const std::string written = ReadFile(Path("out/Copy.wgt"));
    EXPECT_TRUE(Contains(written, "LastUpdateTime = 36526.500000000\r\n")) << written;
    EXPECT_TRUE(Contains(written, "PreviewPath = preview/\r\n")) << written;
    EXPECT_EQ(ReadFile(Path("out/bullet.gif")), ReadFile(Path("widget/bullet.gif")));
    EXPECT_EQ(ReadFile(Path("out/bulletover.gif")), ReadFile(Path("widget/bulletover.gif")));
    EXPECT_FALSE(widget.WriteConfigFile(Path("no/such/folder/Copy.wgt")));
}

TEST_F(Binding, AFailedAutomationCallReachesTheCallerWithTheComponentsText) {
    InstallComponent(Path("component"));
    CRecordingPrompt prompt;
    CPlaquet widget(prompt);
    ASSERT_TRUE(widget.CreateFromProgID(kPlaquetProgID));

    // The file opens, then reading it fails.
    try {
        widget.ReadConfigFile("/proc/self/mem");
        ADD_FAILURE() << "a read error must not pass for an answer";
    } catch (const CBindingException& e) {
        EXPECT_EQ(e.Member(), "ReadConfigFile");
        EXPECT_EQ(e.Result(), DISP_E_EXCEPTION);
        EXPECT_TRUE(Contains(e.Description(), "/proc/self/mem")) << e.Description();
        EXPECT_EQ(std::string(e.what()), e.Description());
    }
    EXPECT_EQ(widget.GetTitle(), "Normal") << "the component stays usable";
    EXPECT_TRUE(prompt.m_messages.empty());

    // An unbound wrapper reaches nothing.
    CPlaquet unbound(prompt);
    EXPECT_THROW(unbound.GetTitle(), CBindingException);
    EXPECT_THROW(unbound.WriteConfigFile(Path("x.wgt")), CBindingException);
    EXPECT_TRUE(unbound.ListTemplates().m_paths.empty());
    EXPECT_FALSE(fs::exists(Path("x.wgt")));
}

TEST_F(Binding, ListTemplatesKeepsTheReadableTemplatesOfThisComponentInFolderOrder) {
    const std::string folder = Path("component");
    InstallComponent(folder);
    CopyTemplates(folder);
    WriteForeignWidget(folder + "/Foreign_PlaquetServer.Other.wgt", "Foreign");
    fs::create_directory(folder + "/Folder_PlaquetServer.Zephra.wgt");
    fs::create_symlink(folder + "/gone", folder + "/Dangling_PlaquetServer.Zephra.wgt");
    fs::create_symlink("/proc/self/mem", folder + "/Unreadable_PlaquetServer.Zephra.wgt");
    fs::copy_file(folder + "/Ocean_PlaquetServer.Zephra.wgt", folder + "/Ocean.wgt.bak");
    WriteFile(folder + "/Bare.wgt", "");

    std::vector<std::string> expected;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        for (const char* title : {"Classic", "Horizontal", "Ocean"}) {
            if (name == std::string(title) + "_PlaquetServer.Zephra.wgt")
                expected.push_back(entry.path().string());
        }
    }
    ASSERT_EQ(expected.size(), 3u) << "the shipped templates";

    CRecordingPrompt prompt;
    CPlaquet lister(prompt);
    ASSERT_TRUE(lister.CreateFromProgID(kPlaquetProgID));
    const CTemplateList list = lister.ListTemplates();
    EXPECT_EQ(list.m_paths, expected);
    ASSERT_EQ(list.m_titles.size(), expected.size());
    ASSERT_EQ(list.m_descriptions.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const std::string file = ReadFile(expected[i]);
        EXPECT_EQ(fs::path(expected[i]).filename().string(),
                  list.m_titles[i] + "_PlaquetServer.Zephra.wgt");
        EXPECT_FALSE(list.m_descriptions[i].empty());
        EXPECT_TRUE(Contains(file, "\r\nDescription = " + list.m_descriptions[i] + "\r\n"));
    }
    EXPECT_TRUE(prompt.m_messages.empty());
}

TEST_F(Binding, ListTemplatesLendsNoValuesOfTheFileReadBefore) {
    const std::string folder = Path("component");
    InstallComponent(folder);
    WriteFile(folder + "/Bare.wgt", "");
    WriteFile(folder + "/Untitled_PlaquetServer.Zephra.wgt",
              DescriptionOnlyConfig({"ProgID = PlaquetServer.Zephra"}));

    CRecordingPrompt prompt;
    CPlaquet lister(prompt);
    ASSERT_TRUE(lister.CreateFromProgID(kPlaquetProgID));
    // The lister last read a widget of this component, with a title and a description.
    lister.SetTitle("Leftover");
    lister.SetDescription("from the file before");
    ASSERT_TRUE(lister.WriteConfigFile(Path("before.wgt")));
    ASSERT_TRUE(lister.ReadConfigFile(Path("before.wgt")));

    const CTemplateList list = lister.ListTemplates();
    EXPECT_EQ(list.m_paths,
              std::vector<std::string>{folder + "/Untitled_PlaquetServer.Zephra.wgt"});
    EXPECT_EQ(list.m_titles, std::vector<std::string>{""});
    EXPECT_EQ(list.m_descriptions, std::vector<std::string>{""});
}

TEST_F(Binding, ListTemplatesOfAComponentWithoutTemplatesIsEmpty) {
    InstallComponent(Path("component"));
    CRecordingPrompt prompt;
    CPlaquet lister(prompt);
    ASSERT_TRUE(lister.CreateFromProgID(kPlaquetProgID));
    const CTemplateList list = lister.ListTemplates();
    EXPECT_TRUE(list.m_titles.empty());
    EXPECT_TRUE(list.m_descriptions.empty());
    EXPECT_TRUE(list.m_paths.empty());
}
