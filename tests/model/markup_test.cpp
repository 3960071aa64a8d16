#include "component/model/markup.h"
#include "component/model/menumodel.h"
#include "component/model/widgetconfig.h"
#include "resources_tempfolder.h"
#include "tests/support/treebuild.h"

#include <algorithm>
#include <climits>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

const std::string kDefaultItemStyle = "000000,ffffff,111,0,0,14,0,00,0,0,,,"
                                      "000000,ffffff,111,0,0,14,0,00,0,0,,,"
                                      "000000,ffffff,111,0,0,14,0,00,0,0,,,";

// The block cut into its lines. Every line must end with CR LF and hold no other line break.
std::vector<std::string> Lines(const std::string& block) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < block.size()) {
        const size_t end = block.find("\r\n", start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "last line without CR LF: " << block.substr(start);
            break;
        }
        const std::string line = block.substr(start, end - start);
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << "stray line break: " << line;
        lines.push_back(line);
        start = end + 2;
    }
    return lines;
}

std::string Param(const std::string& name, const std::string& value) {
    return "\t<param name=\"" + name + "\" value=\"" + value + "\">";
}

// The value attribute of the named param line, as written (HTML-escaped); "<absent>" when the
// block has no such line.
std::string ParamValue(const std::string& block, const std::string& name) {
    const std::string head = "\t<param name=\"" + name + "\" value=\"";
    for (const std::string& line : Lines(block)) {
        if (line.rfind(head, 0) == 0 && line.size() >= head.size() + 2)
            return line.substr(head.size(), line.size() - head.size() - 2);
    }
    return "<absent>";
}

std::vector<std::string> ParamNames(const std::string& block) {
    std::vector<std::string> names;
    const std::string head = "\t<param name=\"";
    for (const std::string& line : Lines(block)) {
        if (line.rfind(head, 0) == 0)
            names.push_back(line.substr(head.size(), line.find('"', head.size()) - head.size()));
    }
    return names;
}

std::string Body(CAppletParameters& applet, int16_t form) {
    CWidgetConfig config;
    return BuildHtmlBody(applet, config, form);
}

} // namespace

TEST(Markup, WorkedExampleLineForLine) {
    CAppletParameters applet;
    CZephraBody* top = AppendTopLevel(applet);
    Append(*top, "Home")->m_strLink = "index.html";
    CZephraItem* products = Append(*top, "Products");
    CZephraItem* widgets = Append(*products->m_pSubMenu, "Widgets");
    widgets->m_strLink = "w.html";
    widgets->m_strTarget = "_blank";

    CWidgetConfig config;
    const std::string block = BuildHtmlBody(applet, config, kMarkupWeb);
    const std::vector<std::string> expected = {
        "<p align=\"Center\">",
        "<applet  code=\"zephracore.class\" align=\"baseline\" width=\"400\" height=\"200\">",
        Param("Notice", "Brimble Zephra 2.1,Tandrel Plaquets"),
        Param("ApStyle", "000000,000000,,0,0,0,,1,Loading Image..."),
        Param("MStyle-0", "000000,01,0,0,40,15,80,20,5,0"),
        Param("IStyle-0", kDefaultItemStyle),
        Param("I0-0", "Home,,,,,,,_self,index.html"),
        Param("I0-1", "Products,,,,,,,_self,"),
        Param("MStyle-1", "000000,01,0,0,40,15,80,20,5,0"),
        Param("IStyle-1", kDefaultItemStyle),
        Param("I1-0", "Widgets,,,,,,,_blank,w.html"),
        Param("Misc", "2,2,1,-0,1-1,"),
        "</applet>",
        "</p>",
    };
    EXPECT_EQ(Lines(block), expected);
    EXPECT_TRUE(applet.m_flatItems.empty());
    // The class file is the only support file; a second call gives the same text.
    EXPECT_EQ(config.GetResources().size(), 1u);
    EXPECT_EQ(BuildHtmlBody(applet, config, kMarkupWeb), block);
}

TEST(Markup, NothingToShowGivesSevenLines) {
    struct Case {
        const char* name;
        void (*build)(CAppletParameters&);
    };
    const Case cases[] = {
        {"no menus", [](CAppletParameters&) {}},
        {"hidden top-level menus",
         [](CAppletParameters& a) {
             CZephraBody* m = AppendTopLevel(a);
             Append(*m, "x");
             m->m_bVisible = 0;
         }},
        {"menus without shown items",
         [](CAppletParameters& a) {
             AppendTopLevel(a);
             Append(*AppendTopLevel(a), "hidden")->m_bVisible = 0;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CAppletParameters applet;
        c.build(applet);
        const std::vector<std::string> lines = Lines(Body(applet, kMarkupWeb));
        ASSERT_EQ(lines.size(), 7u);
        EXPECT_EQ(lines[0], "<p align=\"Center\">");
        EXPECT_EQ(lines[2], Param("Notice", std::string(kNoticeText)));
        EXPECT_EQ(lines[3].rfind("\t<param name=\"ApStyle\"", 0), 0u);
        EXPECT_EQ(lines[4], Param("Misc", "0,"));
        EXPECT_EQ(lines[5], "</applet>");
        EXPECT_EQ(lines[6], "</p>");
    }
}

// One tree for the numbering rules:
//   H (hidden top-level menu, with items)
//   A: a0 (empty sub menu), a1 (hidden, sub menu X: x0), a2 (sub menu S1: s0 -> S3: t0),
//      a3 (sub menu S2: u0)
TEST(Markup, NumbersShownMenusInPreOrderAndSkipsHiddenOnes) {
    CAppletParameters applet;
    CZephraBody* hidden = AppendTopLevel(applet);
    Append(*Append(*hidden, "h0")->m_pSubMenu, "h1");
    hidden->m_bVisible = 0;
    CZephraBody* a = AppendTopLevel(applet);
    Append(*a, "a0");
    CZephraItem* a1 = Append(*a, "a1");
    a1->m_bVisible = 0;
    Append(*a1->m_pSubMenu, "x0");
    CZephraItem* a2 = Append(*a, "a2");
    CZephraItem* a3 = Append(*a, "a3");
    CZephraItem* s0 = Append(*a2->m_pSubMenu, "s0");
    Append(*s0->m_pSubMenu, "t0");
    Append(*a3->m_pSubMenu, "u0");

    const std::string block = Body(applet, kMarkupWeb);
    const std::vector<std::string> names = {
        "Notice", "ApStyle",  "MStyle-0", "IStyle-0", "I0-0",     "I0-1",
        "I0-2",   "MStyle-1", "IStyle-1", "I1-0",     "MStyle-2", "IStyle-2",
        "I2-0",   "MStyle-3", "IStyle-3", "I3-0",     "Misc"};
    EXPECT_EQ(ParamNames(block), names);
    // Hidden items take no k: a2 and a3 follow a0 directly.
    EXPECT_EQ(ParamValue(block, "I0-1").substr(0, 3), "a2,");
    EXPECT_EQ(ParamValue(block, "I0-2").substr(0, 3), "a3,");
    // The earlier item's sub menu and everything below it come first.
    EXPECT_EQ(ParamValue(block, "I1-0").substr(0, 3), "s0,");
    EXPECT_EQ(ParamValue(block, "I2-0").substr(0, 3), "t0,");
    EXPECT_EQ(ParamValue(block, "I3-0").substr(0, 3), "u0,");
    // Global items: a0 (j0, empty sub menu: no link), a2 (j1), a3 (j2), s0 (j3), t0, u0.
    EXPECT_EQ(ParamValue(block, "Misc"), "4,3,1,1,1,-0,1-1,2-3,3-2,");
    for (const char* hiddenLabel : {"h0", "h1", "a1", "x0"})
        EXPECT_EQ(block.find(std::string(hiddenLabel) + ","), std::string::npos) << hiddenLabel;
    EXPECT_EQ(hidden->m_nNumber, -1);
    EXPECT_EQ(a1->m_pSubMenu->m_nNumber, -1);
}

TEST(Markup, HiddenSubMenuGetsNoParentLinkEvenWithAStaleNumber) {
    // Only a hand-made file can hide a sub menu itself; its item is shown.
    CAppletParameters applet;
    CZephraBody* top = AppendTopLevel(applet);
    CZephraItem* item = Append(*top, "a");
    Append(*item->m_pSubMenu, "b");
    item->m_pSubMenu->m_bVisible = 0;
    item->m_pSubMenu->m_nNumber = 7; // left over from an earlier pass

    const std::string block = Body(applet, kMarkupWeb);
    EXPECT_EQ(ParamValue(block, "Misc"), "1,1,-0,");
    EXPECT_EQ(ParamValue(block, "MStyle-1"), "<absent>");
    EXPECT_EQ(item->m_pSubMenu->m_nNumber, -1);
}

TEST(Markup, FileReferencesFollowTheForm) {
    CTempFolder temp;
    // A file named the way a Windows path reads: its name part is bg.gif.
    const std::string windowsStyle = temp.Write("D:\\pics\\bg.gif", "GIF89a");
    const std::string posix = temp.Write("pics/bg.gif", "GIF89a");
    const std::string sound = temp.Write("snd/tune.au", "au");

    struct Case {
        const char* name;
        int16_t form;
        const char* previewPath; // null: no "PreviewPath" entry at all
        std::string image;
        const char* appletLine;
        const char* apStyle;
    };
    const Case cases[] = {
        {"local, Windows preview path", kMarkupLocal, "C:\\tmp\\pv\\", windowsStyle,
         "<applet codebase=\"C:\\tmp\\pv\\\" code=\"zephracore.class\" align=\"baseline\" "
         "width=\"400\" height=\"200\">",
         "000000,000000,C:\\tmp\\pv\\bg.gif,0,0,0,C:\\tmp\\pv\\tune.au,1,Loading Image..."},
        {"local, POSIX preview path", kMarkupLocal, "/srv/pv/", posix,
         "<applet codebase=\"/srv/pv/\" code=\"zephracore.class\" align=\"baseline\" "
         "width=\"400\" height=\"200\">",
         "000000,000000,/srv/pv/bg.gif,0,0,0,/srv/pv/tune.au,1,Loading Image..."},
        {"local, empty preview path", kMarkupLocal, "", posix,
         "<applet  code=\"zephracore.class\" align=\"baseline\" width=\"400\" height=\"200\">",
         "000000,000000,bg.gif,0,0,0,tune.au,1,Loading Image..."},
        {"local, no preview path", kMarkupLocal, nullptr, posix,
         "<applet  code=\"zephracore.class\" align=\"baseline\" width=\"400\" height=\"200\">",
         "000000,000000,bg.gif,0,0,0,tune.au,1,Loading Image..."},
        {"web", kMarkupWeb, "/ignored/", windowsStyle,
         "<applet codebase=\"classes/\" code=\"zephracore.class\" align=\"baseline\" "
         "width=\"400\" height=\"200\">",
         "000000,000000,images/bg.gif,0,0,0,sounds/tune.au,1,Loading Image..."},
        {"other form", 2, "/ignored/", posix,
         "<applet  code=\"zephracore.class\" align=\"baseline\" width=\"400\" height=\"200\">",
         "000000,000000,bg.gif,0,0,0,tune.au,1,Loading Image..."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CAppletParameters applet;
        applet.m_strImage = c.image;
        applet.m_strImageWeb = "images/";
        applet.m_strAudio = sound;
        applet.m_strAudioWeb = "sounds/";
        applet.m_strCodebase = "classes/";
        CZephraItem* item = Append(*AppendTopLevel(applet), "i");
        item->m_strImageNormal = c.image;
        item->m_strImageNormalWeb = "n/";
        item->m_strImageOver = posix;
        item->m_strImageOverWeb = "o/";
        item->m_strImageClick = posix;
        item->m_strImageClickWeb = "c/";
        item->m_strAudioOver = sound;
        item->m_strAudioOverWeb = "ao/";
        item->m_strAudioClick = sound;
        item->m_strAudioClickWeb = "ac/";

        CWidgetConfig config;
        if (c.previewPath != nullptr)
            config.SetDescription("PreviewPath", c.previewPath);
        const std::string block = BuildHtmlBody(applet, config, c.form);
        const std::vector<std::string> lines = Lines(block);
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[1], c.appletLine);
        EXPECT_EQ(ParamValue(block, "ApStyle"), c.apStyle);

        // Item files go through the same prefix, or their own web folders in the web form.
        const std::string p =
            c.form == kMarkupLocal && c.previewPath != nullptr ? c.previewPath : "";
        const std::string item0 = c.form == kMarkupWeb
                                      ? "i,,n/bg.gif,o/bg.gif,c/bg.gif,ao/tune.au,ac/tune.au,_self,"
                                      : "i,," + p + "bg.gif," + p + "bg.gif," + p + "bg.gif," + p +
                                            "tune.au," + p + "tune.au,_self,";
        EXPECT_EQ(ParamValue(block, "I0-0"), item0);
        // Writing the block never adds a description entry.
        EXPECT_EQ(config.GetDescriptions().size(), c.previewPath != nullptr ? 1u : 0u);
    }
}

TEST(Markup, FilesDeletedFromDiskAreClearedFromModelAndMarkup) {
    CTempFolder temp;
    const std::string kept = temp.Write("kept.gif", "k");
    const std::string gone = temp.Write("gone.gif", "g");
    CAppletParameters applet;
    CZephraItem* item = Append(*AppendTopLevel(applet), "i");
    item->m_strImageNormal = kept;
    item->m_strImageOver = gone;
    item->m_strAudioClick = temp.Path("never-there.au");
    applet.m_strImage = temp.Root(); // a folder is not a file
    std::filesystem::remove(gone);

    CWidgetConfig config;
    const std::string block = BuildHtmlBody(applet, config, 2);
    EXPECT_EQ(ParamValue(block, "I0-0"), "i,,kept.gif,,,,,_self,");
    EXPECT_EQ(item->m_strImageNormal, kept);
    EXPECT_EQ(item->m_strImageOver, "");
    EXPECT_EQ(item->m_strAudioClick, "");
    EXPECT_EQ(applet.m_strImage, "");
    ASSERT_EQ(config.GetResources().size(), 2u);
    EXPECT_EQ(config.GetResources()[1].m_strFileName, "kept.gif");
}

TEST(Markup, TextFieldsAreEscapedThenHtmlEscaped) {
    struct Case {
        const char* name;
        void (*set)(CAppletParameters&, CZephraItem&);
        const char* param;
        const char* value; // as written into the attribute
    };
    const Case cases[] = {
        {"comma in a label", [](CAppletParameters&, CZephraItem& i) { i.m_strLabel = "a,b"; },
         "I0-0", "a~@^`b,,,,,,,_self,"},
        {"line breaks in a label",
         [](CAppletParameters&, CZephraItem& i) { i.m_strLabel = "one\r\ntwo\nthree\r,x"; }, "I0-0",
         "one|_#`two|_#`three|_#`~@^`x,,,,,,,_self,"},
        {"markup in a label",
         [](CAppletParameters&, CZephraItem& i) { i.m_strLabel = "Say \"hi\" <b>&</b>"; }, "I0-0",
         "Say &quot;hi&quot; &lt;b&gt;&amp;&lt;/b&gt;,,,,,,,_self,"},
        {"markup and a comma in a link",
         [](CAppletParameters&, CZephraItem& i) {
             i.m_strLink = "x.html?a=1,b=2\"><script>alert(1)</script>";
         },
         "I0-0",
         "item,,,,,,,_self,x.html?a=1~@^`b=2&quot;&gt;&lt;script&gt;alert(1)&lt;/script&gt;"},
        {"comma in a description and a target",
         [](CAppletParameters&, CZephraItem& i) {
             i.m_strDescription = "d,e";
             i.m_strTarget = "f,g";
         },
         "I0-0", "item,d~@^`e,,,,,,f~@^`g,"},
        {"loading message",
         [](CAppletParameters& a, CZephraItem&) { a.m_strLoadingMessage = "Wait, \"please\"\r\n"; },
         "ApStyle", "000000,000000,,0,0,0,,1,Wait~@^` &quot;please&quot;|_#`"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CAppletParameters applet;
        CZephraItem* item = Append(*AppendTopLevel(applet), "item");
        c.set(applet, *item);
        const std::string block = Body(applet, kMarkupWeb);
        EXPECT_EQ(ParamValue(block, c.param), c.value);
        // Every line still holds exactly its own attribute quotes.
        for (const std::string& line : Lines(block)) {
            if (line.rfind("\t<param", 0) == 0) {
                EXPECT_EQ(std::count(line.begin(), line.end(), '"'), 4) << line;
            }
        }
    }
}

TEST(Markup, FileReferencesAndCodeBaseAreEscaped) {
    CTempFolder temp;
    CAppletParameters applet;
    CZephraItem* item = Append(*AppendTopLevel(applet), "i");
    item->m_strImageNormal = temp.Write("a,b.gif", "x");
    item->m_strImageNormalWeb = "we\"b/";
    CWidgetConfig config;
    config.SetDescription("PreviewPath", "/p\"v/");

    const std::string web = BuildHtmlBody(applet, config, kMarkupWeb);
    EXPECT_EQ(ParamValue(web, "I0-0"), "i,,we&quot;b/a~@^`b.gif,,,,,_self,");
    const std::string local = BuildHtmlBody(applet, config, kMarkupLocal);
    EXPECT_EQ(Lines(local)[1], "<applet codebase=\"/p&quot;v/\" code=\"zephracore.class\" "
                               "align=\"baseline\" width=\"400\" height=\"200\">");
    EXPECT_EQ(ParamValue(local, "I0-0"), "i,,/p&quot;v/a~@^`b.gif,,,,,_self,");
}

TEST(Markup, StyleValues) {
    CZephraBody menu;
    menu.m_clrBack = 0x0000FF; // pure red
    menu.m_styleNormal.nBorder = 2;
    menu.m_styleNormal.nGradient = 0;
    menu.m_styleNormal.nBackground = 7;
    menu.m_styleOver.clrBack = 0x00FF8000;
    menu.m_styleOver.nImageAlign = 2;
    menu.m_styleOver.nTextAlign = 1;
    menu.m_styleOver.nEffect = 4;
    menu.m_styleOver.nFont = 2;
    menu.m_styleOver.nFontSize = 9;
    menu.m_styleOver.nFontStyle = 1;
    menu.m_styleOver.nImageOffset = 3;
    menu.m_styleOver.nTextOffset = 6;
    menu.m_styleClick.nBorder = INT32_MAX; // damaged data must not overflow
    EXPECT_EQ(MarkupMenuStyle(menu), "ff0000,01,0,0,40,15,80,20,5,0");
    EXPECT_EQ(MarkupItemStyle(menu), "000000,ffffff,073,0,0,14,0,00,0,0,,,"
                                     "0080ff,ffffff,111,4,2,9,1,21,3,6,,,"
                                     "000000,ffffff,112147483648,0,0,14,0,00,0,0,,,");

    const char* const codes[] = {"01", "02", "11", "12"};
    for (int32_t style = 0; style < 4; ++style) {
        menu.m_nBackStyle = style;
        EXPECT_EQ(MarkupMenuStyle(menu).substr(7, 2), codes[style]) << style;
    }

    CAppletParameters applet;
    applet.m_clrBack = 0x0000FF;
    applet.m_nImageMode = 1;
    applet.m_nImageX = 12;
    applet.m_nImageY = -3;
    applet.m_bProgressBar = 0;
    EXPECT_EQ(MarkupAppletStyle(applet, CMarkupForm{}),
              "ff0000,ff0000,,1,12,-3,,0,Loading Image...");
}

TEST(Markup, ParagraphAlignmentAndAppletSize) {
    const std::pair<int32_t, const char*> aligns[] = {
        {0, "Center"}, {1, "Left"}, {2, "Right"}, {9, "Center"}};
    for (const auto& [align, word] : aligns) {
        CAppletParameters applet;
        applet.m_nAlign = align;
        applet.m_nWidth = 321;
        applet.m_nHeight = -5;
        const std::vector<std::string> lines = Lines(Body(applet, kMarkupWeb));
        EXPECT_EQ(lines[0], "<p align=\"" + std::string(word) + "\">");
        EXPECT_EQ(lines[1], "<applet  code=\"zephracore.class\" align=\"baseline\" width=\"321\" "
                            "height=\"-5\">");
    }
}

TEST(Markup, DeepestTreeTheReadersAcceptIsWritten) {
    CAppletParameters applet;
    CZephraBody* menu = AppendTopLevel(applet);
    for (int depth = 0; depth < kMaxMenuDepth; ++depth)
        menu = Append(*menu, "d" + std::to_string(depth))->m_pSubMenu.get();

    const std::string block = Body(applet, kMarkupWeb);
    std::string misc = std::to_string(kMaxMenuDepth) + ",";
    for (int n = 0; n < kMaxMenuDepth; ++n)
        misc += "1,";
    misc += "-0,";
    for (int j = 0; j + 1 < kMaxMenuDepth; ++j)
        misc += std::to_string(j) + "-" + std::to_string(j + 1) + ",";
    EXPECT_EQ(ParamValue(block, "Misc"), misc);
    const std::string last = std::to_string(kMaxMenuDepth - 1);
    EXPECT_EQ(ParamValue(block, "I" + last + "-0").substr(0, last.size() + 2), "d" + last + ",");
}
