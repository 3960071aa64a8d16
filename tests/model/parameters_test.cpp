#include "component/model/fieldtext.h"
#include "component/model/menumodel.h"
#include "component/model/parameters.h"
#include "component/model/widgetconfig.h"
#include "tests/support/treebuild.h"

#include <climits>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

const std::string kBase = "/sites/shop/";

std::vector<std::string> Fields(const std::string& value) {
    std::vector<std::string> out;
    for (std::string_view field : CutFields(value, ','))
        out.emplace_back(field);
    return out;
}

// Every stored applet setting and every menu tree, field by field.
::testing::AssertionResult SameApplet(const CAppletParameters& a, const CAppletParameters& b) {
    const auto settings = [](const CAppletParameters& x) {
        return std::make_tuple(x.m_strName, x.m_nAlign, x.m_nWidth, x.m_nHeight, x.m_clrBack,
                               x.m_strImage, x.m_nImageMode, x.m_nImageX, x.m_nImageY, x.m_strAudio,
                               x.m_bProgressBar, x.m_strLoadingMessage, x.m_strAudioWeb,
                               x.m_strImageWeb, x.m_strCodebase);
    };
    if (settings(a) != settings(b))
        return ::testing::AssertionFailure() << "applet settings differ";
    if (a.m_menus.size() != b.m_menus.size())
        return ::testing::AssertionFailure()
               << a.m_menus.size() << " top-level menus against " << b.m_menus.size();
    for (size_t i = 0; i < a.m_menus.size(); ++i) {
        if (!SameMenuTree(*a.m_menus[i], *b.m_menus[i]))
            return ::testing::AssertionFailure() << "top-level menu " << i << " differs";
    }
    return ::testing::AssertionSuccess();
}

// The tree of the worked example: Home (link index.html, empty sub menu) and Products, whose
// sub menu holds Widgets (link w.html, target _blank, empty sub menu).
void BuildExample(CAppletParameters& applet) {
    CZephraBody* top = AppendTopLevel(applet);
    Append(*top, "Home")->m_strLink = "index.html";
    CZephraItem* products = Append(*top, "Products");
    CZephraItem* widgets = Append(*products->m_pSubMenu, "Widgets");
    widgets->m_strLink = "w.html";
    widgets->m_strTarget = "_blank";
}

const std::string kDefaultItemStyles = "0,16777215,1,0,0,14,0,0,0,0,0,1,0,,,"
                                       "0,16777215,1,0,0,14,0,0,0,0,0,1,0,,,"
                                       "0,16777215,1,0,0,14,0,0,0,0,0,1,0,,,";

// ---- Hand-made stored trees

// Parameters for menus with the given item counts and the given parent links after the counts
// in "Misc". Menu m is placed at x = 1000 + m so it can be told apart after reading; the item at
// global index j is labelled "i<j>".
CWidgetConfig HandMade(const std::vector<int>& itemCounts, const std::string& links) {
    CWidgetConfig config;
    config.SetParameter("ApStyle", "Hand,1,300,100");
    std::string misc = std::to_string(itemCounts.size()) + ",";
    int j = 0;
    for (size_t m = 0; m < itemCounts.size(); ++m) {
        const std::string number = std::to_string(m);
        misc += std::to_string(itemCounts[m]) + ",";
        config.SetParameter("MStyle-" + number,
                            "0,0,0,0," + std::to_string(1000 + m) + ",15,80,20,5,0,Menu,1");
        config.SetParameter("IStyle-" + number, kDefaultItemStyles);
        for (int i = 1; i <= itemCounts[m]; ++i)
            config.SetParameter("I" + number + "-" + std::to_string(i),
                                "i" + std::to_string(j++) + ",,,,,,,,,1");
    }
    config.SetParameter("Misc", misc + links);
    return config;
}

std::string MenuShape(const CZephraBody& menu);

// "i<j>" and, when the item holds a read menu rather than its own empty one, ">" and that menu.
std::string ItemShape(const CZephraItem& item) {
    std::string out = item.m_strLabel;
    if (item.m_pSubMenu->m_nX >= 1000)
        out += ">" + MenuShape(*item.m_pSubMenu);
    return out;
}

// "M<m>" and its items in parentheses.
std::string MenuShape(const CZephraBody& menu) {
    std::string out = "M" + std::to_string(menu.m_nX - 1000);
    if (!menu.m_items.empty()) {
        out += "(";
        for (size_t i = 0; i < menu.m_items.size(); ++i)
            out += (i ? " " : "") + ItemShape(*menu.m_items[i]);
        out += ")";
    }
    return out;
}

std::string Shape(const CAppletParameters& applet) {
    std::string out;
    for (size_t i = 0; i < applet.m_menus.size(); ++i)
        out += (i ? " " : "") + MenuShape(*applet.m_menus[i]);
    return out;
}

// ---- Generated trees

// A text piece as written into the model and as the reader gives it back: the escape sequences
// themselves are read as the characters they stand for.
struct CPiece {
    const char* written;
    const char* read;
};

constexpr CPiece kPieces[] = {
    {"a", "a"},       {"Zürich", "Zürich"}, {"\"q\"", "\"q\""},
    {",", ","},       {"\r\n", "\r\n"},     {"<b>&", "<b>&"},
    {"-", "-"},       {"日本", "日本"},     {"~@^`", ","},
    {"|_#`", "\r\n"}, {" ", " "},           {"http://x.test/?a=1,2", "http://x.test/?a=1,2"},
};

// The first pieces hold no folder separator, so they can make up a file name.
constexpr int kFileNamePieces = 10;

// Builds the same random tree twice from one seed: once with the texts as written, once with
// the texts, names and paths the reader is expected to give back.
class CTreeGenerator {
public:
    CTreeGenerator(unsigned seed, bool asRead) : m_random(seed), m_bAsRead(asRead) {}

    void Fill(CAppletParameters& applet) {
        applet.m_strName = Text();
        applet.m_nAlign = Number();
        applet.m_nWidth = Number();
        applet.m_nHeight = Number();
        applet.m_clrBack = Number();
        applet.m_strImage = Path();
        applet.m_nImageMode = Number();
        applet.m_nImageX = Number();
        applet.m_nImageY = Number();
        applet.m_strAudio = Path();
        applet.m_bProgressBar = Pick(2);
        applet.m_strLoadingMessage = Text();
        applet.m_strAudioWeb = Text();
        applet.m_strImageWeb = Text();
        applet.m_strCodebase = Text();
        const int menus = Pick(4);
        for (int i = 0; i < menus; ++i)
            FillMenu(*AppendTopLevel(applet), 0);
    }

private:
    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }

    int32_t Number() {
        switch (Pick(4)) {
        case 0:
            return INT32_MIN + Pick(2);
        case 1:
            return INT32_MAX - Pick(2);
        default:
            return std::uniform_int_distribution<int32_t>(-100000, 100000)(m_random);
        }
    }

    std::string Text() {
        std::string out;
        const int pieces = Pick(5);
        for (int i = 0; i < pieces; ++i) {
            const CPiece& piece = kPieces[Pick(static_cast<int>(std::size(kPieces)))];
            out += m_bAsRead ? piece.read : piece.written;
        }
        return out;
    }

    // A path already in the base folder, so that it reads back unchanged; or none.
    std::string Path() {
        if (Pick(3) == 0)
            return {};
        std::string name = "f" + std::to_string(Pick(100));
        const int pieces = Pick(3);
        for (int i = 0; i < pieces; ++i) {
            const CPiece& piece = kPieces[Pick(kFileNamePieces)];
            name += m_bAsRead ? piece.read : piece.written;
        }
        return kBase + name;
    }

    void FillStyle(ItemStateStyle& style) {
        for (int32_t* field :
             {&style.clrBack, &style.clrText, &style.nBorder, &style.nBackground, &style.nGradient,
              &style.nEffect, &style.nFont, &style.nFontSize, &style.nFontStyle, &style.nTextAlign,
              &style.nTextOffset, &style.nImageAlign, &style.nImageOffset})
            *field = Number();
    }

    void FillMenu(CZephraBody& menu, int depth) {
        for (int32_t* field : {&menu.m_clrBack, &menu.m_nBackStyle, &menu.m_nOrientation,
                               &menu.m_nCorner, &menu.m_nX, &menu.m_nY, &menu.m_nItemWidth,
                               &menu.m_nItemHeight, &menu.m_nItemGap, &menu.m_nBorderWidth})
            *field = Number();
        FillStyle(menu.m_styleNormal);
        FillStyle(menu.m_styleOver);
        FillStyle(menu.m_styleClick);
        menu.m_bVisible = Pick(2);
        const int items = depth >= 4 ? 0 : Pick(4);
        for (int i = 0; i < items; ++i) {
            CZephraItem* item = Append(menu, Text());
            item->m_strDescription = Text();
            item->m_strLink = Text();
            item->m_strTarget = Text();
            item->m_strImageNormal = Path();
            item->m_strImageOver = Path();
            item->m_strImageClick = Path();
            item->m_strAudioOver = Path();
            item->m_strAudioClick = Path();
            item->m_strImageNormalWeb = Text();
            item->m_strImageOverWeb = Text();
            item->m_strImageClickWeb = Text();
            item->m_strAudioOverWeb = Text();
            item->m_strAudioClickWeb = Text();
            item->m_bVisible = Pick(3) == 0 ? 0 : 1;
            FillMenu(*item->m_pSubMenu, depth + 1);
        }
    }

    std::mt19937 m_random;
    bool m_bAsRead;
};

} // namespace

// ---- Writing

TEST(StoredParameters, WorkedExampleIsWrittenFieldForField) {
    CAppletParameters applet;
    BuildExample(applet);
    CWidgetConfig config;
    config.SetParameter("Stale", "dropped");
    WriteParameters(applet, config);

    const std::string menuStyle = "0,0,0,0,40,15,80,20,5,0,";
    const CWidgetConfig::TextMap expected = {
        {"Version", "2.1"},
        {"ApStyle", "Zephra Applet Properties,0,400,200,0,0,,0,0,0,,,,,1,Loading Image..."},
        {"MStyle-0", menuStyle + "top-level Menu,1"},
        {"MStyle-1", menuStyle + "Menu,1"},
        {"MStyle-2", menuStyle + "Menu,1"},
        {"MStyle-3", menuStyle + "Menu,1"},
        {"IStyle-0", kDefaultItemStyles},
        {"IStyle-1", kDefaultItemStyles},
        {"IStyle-2", kDefaultItemStyles},
        {"IStyle-3", kDefaultItemStyles},
        {"I0-1", "Home,,index.html,,,,,,,1,,,,,"},
        {"I0-2", "Products,,,,,,,,,1,,,,,"},
        {"I2-1", "Widgets,,w.html,_blank,,,,,,1,,,,,"},
        {"Misc", "4,2,0,1,0,-0,0-1,1-2,2-3,"},
    };
    EXPECT_EQ(config.GetParameters(), expected);

    // The pass leaves its numbers on the menus and no item pointers behind.
    const CZephraBody& top = *applet.m_menus[0];
    EXPECT_EQ(top.m_nNumber, 0);
    EXPECT_EQ(top.m_items[0]->m_pSubMenu->m_nNumber, 1);
    EXPECT_EQ(top.m_items[1]->m_pSubMenu->m_nNumber, 2);
    EXPECT_EQ(top.m_items[1]->m_pSubMenu->m_items[0]->m_pSubMenu->m_nNumber, 3);
    EXPECT_EQ(applet.m_nMenuCounter, 4);
    EXPECT_TRUE(applet.m_flatItems.empty());

    // Writing twice gives the same map: no state carries over from the first pass.
    CWidgetConfig again;
    WriteParameters(applet, again);
    EXPECT_EQ(again.GetParameters(), expected);
}

TEST(StoredParameters, EmptyModelWritesVersionApStyleAndZeroMisc) {
    CAppletParameters applet;
    CWidgetConfig config;
    WriteParameters(applet, config);
    EXPECT_EQ(config.GetParameters().size(), 3u);
    EXPECT_EQ(config.GetParameter("Version", "?"), "2.1");
    EXPECT_EQ(config.GetParameter("Misc", "?"), "0,");
}

TEST(StoredParameters, EveryTextFieldIsEscapedLikeALabel) {
    // A comma in any text used to shift every later field; a line break ended the line.
    const std::string text = "a,b\r\nc\rd\ne";
    const std::string escaped = "a~@^`b|_#`c|_#`d|_#`e";
    CAppletParameters applet;
    applet.m_strName = text;
    applet.m_strImage = "/pics/" + text + ".gif";
    applet.m_strAudio = "/snd/" + text + ".au";
    applet.m_strImageWeb = text;
    applet.m_strAudioWeb = text;
    applet.m_strCodebase = text;
    applet.m_strLoadingMessage = text;
    CZephraBody* top = AppendTopLevel(applet);
    top->m_strName = text;
    CZephraItem* item = Append(*top, text);
    for (std::string* field :
         {&item->m_strDescription, &item->m_strLink, &item->m_strTarget, &item->m_strImageNormalWeb,
          &item->m_strImageOverWeb, &item->m_strImageClickWeb, &item->m_strAudioOverWeb,
          &item->m_strAudioClickWeb})
        *field = text;
    for (std::string* path :
         {&item->m_strImageNormal, &item->m_strImageOver, &item->m_strImageClick,
          &item->m_strAudioOver, &item->m_strAudioClick})
        *path = "C:\\pics\\" + text;

    CWidgetConfig config;
    WriteParameters(applet, config);

    const std::vector<std::string> ap = Fields(config.GetParameter("ApStyle", ""));
    ASSERT_EQ(ap.size(), 16u);
    for (size_t i : {0, 11, 12, 13, 15})
        EXPECT_EQ(ap[i], escaped) << "ApStyle field " << i;
    EXPECT_EQ(ap[6], escaped + ".gif");
    EXPECT_EQ(ap[10], escaped + ".au");

    const std::vector<std::string> menu = Fields(config.GetParameter("MStyle-0", ""));
    ASSERT_EQ(menu.size(), 12u);
    EXPECT_EQ(menu[10], escaped);
    EXPECT_EQ(menu[11], "1");

    const std::vector<std::string> fields = Fields(config.GetParameter("I0-1", ""));
    ASSERT_EQ(fields.size(), 15u);
    for (size_t i = 0; i < 15; ++i)
        EXPECT_EQ(fields[i], i == 9 ? "1" : escaped) << "item field " << i;

    for (const auto& [key, value] : config.GetParameters()) {
        EXPECT_EQ(value.find('\r'), std::string::npos) << key;
        EXPECT_EQ(value.find('\n'), std::string::npos) << key;
    }
}

TEST(StoredParameters, ColoursFlagsTargetsAndHiddenItems) {
    CAppletParameters applet;
    applet.m_clrBack = 0x0000FF; // pure red
    CZephraBody* top = AppendTopLevel(applet);
    top->m_clrBack = 0x0000FF;
    top->m_bVisible = 0;
    top->m_styleOver.clrText = 0x00FF8000;
    CZephraItem* hidden = Append(*top, "Hidden");
    hidden->m_bVisible = 0;
    Append(*hidden->m_pSubMenu, "Below hidden");
    Append(*top, "No target");

    CWidgetConfig config;
    WriteParameters(applet, config);

    const std::vector<std::string> ap = Fields(config.GetParameter("ApStyle", ""));
    EXPECT_EQ(ap[4], "255");
    EXPECT_EQ(ap[5], "255");
    const std::vector<std::string> menu = Fields(config.GetParameter("MStyle-0", ""));
    EXPECT_EQ(menu[0], "255");
    EXPECT_EQ(menu[11], "0");
    EXPECT_EQ(Fields(config.GetParameter("IStyle-0", ""))[16], "16744448");

    // The hidden item is stored with its flag 0 and its whole sub menu.
    EXPECT_EQ(Fields(config.GetParameter("I0-1", ""))[9], "0");
    EXPECT_EQ(config.GetParameter("I1-1", ""), "Below hidden,,,,,,,,,1,,,,,");
    // An empty target stays empty (the markup is what shows it as _self).
    EXPECT_EQ(Fields(config.GetParameter("I0-2", ""))[3], "");
    EXPECT_EQ(config.GetParameter("Misc", ""), "4,2,1,0,0,-0,0-1,1-3,2-2,");
}

TEST(StoredParameters, FileFieldsKeepOnlyTheFileName) {
    const std::pair<std::string, std::string> cases[] = {
        {"C:\\sites\\shop\\bg.gif", "bg.gif"},
        {"/home/ann/pics/bg.gif", "bg.gif"},
        {"bare.au", "bare.au"},
        {"", ""},
        {"/home/ann/folder/", ""},
    };
    for (const auto& [path, stored] : cases) {
        CAppletParameters applet;
        applet.m_strImage = path;
        Append(*AppendTopLevel(applet), "x")->m_strAudioClick = path;
        CWidgetConfig config;
        WriteParameters(applet, config);
        EXPECT_EQ(Fields(config.GetParameter("ApStyle", ""))[6], stored) << path;
        EXPECT_EQ(Fields(config.GetParameter("I0-1", ""))[8], stored) << path;
    }
}

TEST(StoredParameters, DeepTreeIsWrittenWithoutRecursion) {
    constexpr int kLevels = 100000;
    CAppletParameters applet;
    CZephraItem* tail = Append(*AppendTopLevel(applet), "0");
    for (int i = 1; i < kLevels; ++i)
        tail = tail->m_pSubMenu->InsertNewItem();
    CWidgetConfig config;
    WriteParameters(applet, config);
    EXPECT_EQ(config.GetParameter("I99999-1", ""), "item,,,,,,,,,1,,,,,");
    EXPECT_FALSE(config.GetParameter("MStyle-100000", "").empty());
    const std::string misc = config.GetParameter("Misc", "");
    EXPECT_EQ(misc.substr(0, 9), "100001,1,");
    EXPECT_EQ(misc.substr(misc.size() - 13), "99999-100000,");

    // Such a tree is more than the reader takes back.
    CAppletParameters read;
    EXPECT_FALSE(ReadParameters(read, config, kBase));
    EXPECT_TRUE(read.m_menus.empty());
}

// ---- Reading

TEST(StoredParameters, WorkedExampleReadsBackIntoAnEqualTree) {
    CAppletParameters applet;
    BuildExample(applet);
    CWidgetConfig config;
    WriteParameters(applet, config);

    CAppletParameters read;
    read.Reset();
    EXPECT_TRUE(ReadParameters(read, config, kBase));
    EXPECT_TRUE(SameApplet(read, applet));
    ASSERT_EQ(read.m_menus.size(), 1u);
    EXPECT_EQ(read.m_menus[0]->m_strName, "top-level Menu");
    EXPECT_EQ(read.m_menus[0]->m_items[1]->m_pSubMenu->m_strName, "Menu");
}

TEST(StoredParameters, EscapesComeBackAsCommasAndLineBreaks) {
    const std::pair<std::string, std::string> cases[] = {
        {"Line one\r\nLine two, more", "Line one\r\nLine two, more"},
        {"a~@^`b", "a,b"},          // the text of the comma escape itself reads as a comma
        {"a|_#`b", "a\r\nb"},       // and the text of the line-break escape as a line break
        {"lone\nLF", "lone\r\nLF"}, // lone line ends come back as CR LF
        {"lone\rCR", "lone\r\nCR"},
        {"\"Zürich\" <b>", "\"Zürich\" <b>"},
    };
    for (const auto& [label, expected] : cases) {
        CAppletParameters applet;
        Append(*AppendTopLevel(applet), label)->m_strLink = label;
        CWidgetConfig config;
        WriteParameters(applet, config);
        CAppletParameters read;
        ASSERT_TRUE(ReadParameters(read, config, kBase));
        ASSERT_EQ(read.m_menus.size(), 1u);
        EXPECT_EQ(read.m_menus[0]->m_items[0]->m_strLabel, expected);
        EXPECT_EQ(read.m_menus[0]->m_items[0]->m_strLink, expected);
    }
}

TEST(StoredParameters, FileFieldsResolveOnlyInsideTheBaseFolder) {
    const std::pair<std::string, std::string> cases[] = {
        {"bg.gif", kBase + "bg.gif"},
        {"", ""},
        {".", ""},
        {"..", ""},
        {"../../../../etc/passwd", kBase + "passwd"},
        {"/etc/passwd", kBase + "passwd"},
        {"C:\\Windows\\win.ini", kBase + "win.ini"},
        {"..\\..\\boot.ini", kBase + "boot.ini"},
        {"sub/", ""},
        {"sub/..", ""},
    };
    for (const auto& [field, path] : cases) {
        CWidgetConfig config;
        config.SetParameter("ApStyle", "A,0,1,1,0,0," + field + ",0,0,0," + field);
        config.SetParameter("Misc", "1,1,-0,");
        config.SetParameter("MStyle-0", "0");
        config.SetParameter("IStyle-0", "0");
        config.SetParameter("I0-1", "x,,,," + field + "," + field + "," + field + "," + field +
                                        "," + field + ",1");
        CAppletParameters read;
        ASSERT_TRUE(ReadParameters(read, config, kBase)) << field;
        EXPECT_EQ(read.m_strImage, path) << field;
        EXPECT_EQ(read.m_strAudio, path) << field;
        ASSERT_EQ(read.m_menus.size(), 1u);
        const CZephraItem& item = *read.m_menus[0]->m_items[0];
        for (const std::string* p :
             {&item.m_strImageNormal, &item.m_strImageOver, &item.m_strImageClick,
              &item.m_strAudioOver, &item.m_strAudioClick})
            EXPECT_EQ(*p, path) << field;
    }

    // A folder given without its separator still gets one between folder and name.
    CWidgetConfig config;
    config.SetParameter("ApStyle", "A,0,1,1,0,0,bg.gif");
    CAppletParameters read;
    ReadParameters(read, config, "/sites/shop");
    EXPECT_EQ(read.m_strImage, "/sites/shop/bg.gif");
}

TEST(StoredParameters, ShortMissingAndLongValuesReadAsEmptyOrZero) {
    // No ApStyle at all: every applet setting empty or 0; the class folder is left alone.
    {
        CAppletParameters read;
        const std::string classFolder = read.m_strClassFolder;
        EXPECT_TRUE(ReadParameters(read, CWidgetConfig(), kBase));
        CAppletParameters expected;
        expected.m_strName.clear();
        expected.m_nWidth = expected.m_nHeight = 0;
        expected.m_bProgressBar = 0;
        expected.m_strLoadingMessage.clear();
        EXPECT_TRUE(SameApplet(read, expected));
        EXPECT_EQ(read.m_strClassFolder, classFolder);
    }
    // Short values fill up with 0, extra fields are dropped, numbers read as atoi does.
    CWidgetConfig config;
    config.SetParameter("ApStyle", "Name,  2,+300,-5x,255,0,,1,2,3,,w/,a/,c/,0,msg,extra,more");
    config.SetParameter("Misc", "1,1,-0,");
    config.SetParameter("MStyle-0", "7,1");
    config.SetParameter("IStyle-0", "1,2,3,4,5,6,7,8,9,10,11,12,13,99,99,14");
    config.SetParameter("I0-1", "Label,,link");
    CAppletParameters read;
    ASSERT_TRUE(ReadParameters(read, config, kBase));
    EXPECT_EQ(read.m_strName, "Name");
    EXPECT_EQ(read.m_nAlign, 2);
    EXPECT_EQ(read.m_nWidth, 300);
    EXPECT_EQ(read.m_nHeight, -5);
    EXPECT_EQ(read.m_clrBack, 255);
    EXPECT_EQ(read.m_nImageMode, 1);
    EXPECT_EQ(read.m_nImageY, 3);
    EXPECT_EQ(read.m_strImageWeb, "w/");
    EXPECT_EQ(read.m_strAudioWeb, "a/");
    EXPECT_EQ(read.m_strCodebase, "c/");
    EXPECT_EQ(read.m_bProgressBar, 0);
    EXPECT_EQ(read.m_strLoadingMessage, "msg");
    ASSERT_EQ(read.m_menus.size(), 1u);
    const CZephraBody& menu = *read.m_menus[0];
    EXPECT_EQ(menu.m_clrBack, 7);
    EXPECT_EQ(menu.m_nBackStyle, 1);
    EXPECT_EQ(menu.m_nX, 0);
    EXPECT_EQ(menu.m_bVisible, 0);
    EXPECT_EQ(menu.m_styleNormal.clrBack, 1);
    EXPECT_EQ(menu.m_styleNormal.nBorder, 13);
    EXPECT_EQ(menu.m_styleNormal.nGradient, 12);
    EXPECT_EQ(menu.m_styleOver.clrBack, 14);
    EXPECT_EQ(menu.m_styleOver.clrText, 0);
    ItemStateStyle zero;
    zero.clrText = zero.nBackground = zero.nGradient = zero.nFontSize = 0;
    EXPECT_EQ(menu.m_styleClick, zero);
    const CZephraItem& item = *menu.m_items[0];
    EXPECT_EQ(item.m_strLabel, "Label");
    EXPECT_EQ(item.m_strLink, "link");
    EXPECT_EQ(item.m_strTarget, "");
    EXPECT_EQ(item.m_bVisible, 0);
}

TEST(StoredParameters, MissingMenuOrItemParameterDropsAllMenus) {
    struct Case {
        const char* name;
        std::vector<int> itemCounts;
        std::string links;
        const char* removed; // parameter taken out of the hand-made set
        std::string misc;    // replaces "Misc" when not empty
        bool result;
    };
    const Case cases[] = {
        {"no menus announced", {1}, "-0,", nullptr, "0,", true},
        {"negative count", {1}, "-0,", nullptr, "-3,1,-0,", true},
        {"no Misc", {1}, "-0,", "Misc", "", true},
        {"second menu style missing", {1, 0}, "-0,0-1,", "MStyle-1", "", false},
        {"item styles missing", {1, 0}, "-0,0-1,", "IStyle-0", "", false},
        {"item missing", {2}, "-0,", "I0-2", "", false},
        {"count far beyond the menus", {1}, "-0,", nullptr, "2000000000,1,-0,", false},
        {"item count far beyond the items", {1}, "-0,", nullptr, "1,2000000000,-0,", false},
    };
    for (const Case& c : cases) {
        CWidgetConfig config = HandMade(c.itemCounts, c.links);
        CWidgetConfig::TextMap params = config.GetParameters();
        if (c.removed)
            params.erase(c.removed);
        if (!c.misc.empty())
            params["Misc"] = c.misc;
        CWidgetConfig edited;
        for (const auto& [key, value] : params)
            edited.SetParameter(key, value);
        // An empty value counts as missing.
        if (c.removed && std::string(c.removed) != "Misc") {
            CAppletParameters read;
            CWidgetConfig emptied = edited;
            emptied.SetParameter(c.removed, "");
            EXPECT_EQ(ReadParameters(read, emptied, kBase), c.result) << c.name;
            EXPECT_TRUE(read.m_menus.empty()) << c.name;
        }
        CAppletParameters read;
        EXPECT_EQ(ReadParameters(read, edited, kBase), c.result) << c.name;
        EXPECT_TRUE(read.m_menus.empty()) << c.name;
        EXPECT_EQ(read.m_strName, "Hand") << c.name; // applet settings are read regardless
        EXPECT_EQ(read.m_nWidth, 300) << c.name;
    }
}

TEST(StoredParameters, NamesAreMatchedByTheirExactNumber) {
    // Twelve menus of twelve items: the numbers sort differently as text ("I1-10" before
    // "I1-2", "MStyle-10" before "MStyle-2"), and each menu and item still reads in order.
    {
        std::string links = "-0,";
        for (int m = 1; m < 12; ++m)
            links += std::to_string(12 * (m - 1)) + "-" + std::to_string(m) + ","; // first items
        const CWidgetConfig config = HandMade(std::vector<int>(12, 12), links);
        CAppletParameters read;
        ASSERT_TRUE(ReadParameters(read, config, kBase));
        std::string expected;
        for (int m = 11; m >= 0; --m) {
            std::string items;
            for (int i = 0; i < 12; ++i) {
                const int j = 12 * m + i;
                items += (i ? " i" : "i") + std::to_string(j) +
                         (i == 0 && !expected.empty() ? ">" + expected : "");
            }
            expected = "M" + std::to_string(m) + "(" + items + ")";
        }
        EXPECT_EQ(Shape(read), expected);
    }
    // A name that only reads as the right number is another name: the menu or item it should
    // have been is missing. Names of items past the count are not read at all.
    const struct {
        const char* name;
        const char* replaced;
        const char* by;
        bool result;
    } cases[] = {
        {"leading zero in the item", "I0-1", "I0-01", false},
        {"leading zero in the menu", "I0-1", "I00-1", false},
        {"signed item", "I0-1", "I0-+1", false},
        {"space in the name", "I0-1", "I0- 1", false},
        {"item zero", "I0-1", "I0-0", false},
        {"menu style with a leading zero", "MStyle-0", "MStyle-00", false},
        {"item style with a trailing letter", "IStyle-0", "IStyle-0x", false},
        {"item past the count", "I0-1", "I0-1", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CWidgetConfig handMade = HandMade({1}, "-0,");
        CWidgetConfig config;
        for (const auto& [key, value] : handMade.GetParameters())
            config.SetParameter(key == c.replaced ? c.by : key, value);
        config.SetParameter("I0-2", "past,,,,,,,,,1");
        CAppletParameters read;
        EXPECT_EQ(ReadParameters(read, config, kBase), c.result);
        if (c.result) {
            ASSERT_EQ(read.m_menus.size(), 1u);
            EXPECT_EQ(Shape(read), "M0(i0)");
        } else {
            EXPECT_TRUE(read.m_menus.empty());
        }
    }
}

TEST(StoredParameters, NumbersHoldingEscapesReadAsTheirUnescapedText) {
    // A number field is read as atoi reads the field with its escapes undone: a line break in
    // front is white space, a comma ends the number.
    CWidgetConfig config = HandMade({1}, "-0,");
    config.SetParameter("MStyle-0", "|_#`7,~@^`1,12~@^`5,|_#`-3~@^`,0,0,0,0,0,0,Menu,|_#`1");
    config.SetParameter("IStyle-0", "|_#`|_#`255,~@^`9," + kDefaultItemStyles);
    CAppletParameters read;
    ASSERT_TRUE(ReadParameters(read, config, kBase));
    ASSERT_EQ(read.m_menus.size(), 1u);
    const CZephraBody& menu = *read.m_menus[0];
    EXPECT_EQ(menu.m_clrBack, 7);
    EXPECT_EQ(menu.m_nBackStyle, 0);
    EXPECT_EQ(menu.m_nOrientation, 12);
    EXPECT_EQ(menu.m_nCorner, -3);
    EXPECT_EQ(menu.m_bVisible, 1);
    EXPECT_EQ(menu.m_styleNormal.clrBack, 255);
    EXPECT_EQ(menu.m_styleNormal.clrText, 0);
}

TEST(StoredParameters, ParentLinksBuildTheTreeAndBadOnesAreIgnored) {
    struct Case {
        const char* name;
        std::vector<int> itemCounts;
        std::string links;
        std::string shape;
    };
    const Case cases[] = {
        {"well formed", {2, 0, 1, 0}, "-0,0-1,1-2,2-3,", "M0(i0>M1 i1>M2(i2>M3))"},
        {"top-level order from the links", {0, 0, 0}, "-2,-0,-1,", "M2 M0 M1"},
        {"missing link keeps the empty sub menu", {2, 0}, "-0,1-1,", "M0(i0 i1>M1)"},
        {"link list cut short", {1, 0}, "-0,", "M0(i0)"},
        {"empty and dashless entries are no links", {1, 0, 0, 0}, ",5,-0,0-1,", "M0(i0>M1)"},
        {"an empty entry does not name menu 0", {1, 0}, ",0-1,", ""},
        {"menu named twice", {1, 0, 0}, "-0,0-1,-1,", "M0(i0>M1)"},
        {"top-level menu named again", {1, 0}, "-0,0-0,", "M0(i0)"},
        {"item named twice", {1, 0, 0}, "-0,0-1,0-2,", "M0(i0>M1)"},
        {"menu under its own item", {1, 1}, "-0,1-1,", "M0(i0)"},
        {"cycle of two", {1, 1}, "0-1,1-0,", ""},
        {"a menu whose link closed a cycle can be linked later",
         {1, 1, 0},
         "0-1,1-0,-0,",
         "M0(i0>M1(i1))"},
        {"cycle below a menu no link names", {1, 1, 1, 1}, "-0,1-2,2-3,3-1,", "M0(i0)"},
        {"menu hanging under an unnamed menu", {1, 1, 0}, "-0,1-2,", "M0(i0)"},
        {"cycle closed through an ancestor", {1, 1, 1}, "0-1,1-2,2-0,", ""},
        {"chain down to an empty menu", {1, 1, 0}, "-0,0-1,1-2,", "M0(i0>M1(i1>M2))"},
        {"menu number out of range", {1, 0}, "-0,0-2,", "M0(i0)"},
        {"huge menu number", {1, 0}, "-0,0-99999999999,", "M0(i0)"},
        {"top-level menu out of range", {1, 0}, "-0,-5,", "M0(i0)"},
        {"item index out of range", {1, 0}, "-0,1-1,", "M0(i0)"},
        {"huge item index", {1, 0}, "-0,2147483647-1,", "M0(i0)"},
        {"second dash ends the number", {1, 0}, "-0,0-1-5,", "M0(i0>M1)"},
    };
    for (const Case& c : cases) {
        CAppletParameters read;
        EXPECT_TRUE(ReadParameters(read, HandMade(c.itemCounts, c.links), kBase)) << c.name;
        EXPECT_EQ(Shape(read), c.shape) << c.name;
        for (const auto& top : read.m_menus) {
            EXPECT_EQ(top->m_strName, "top-level Menu") << c.name;
            for (const auto& item : top->m_items)
                EXPECT_EQ(item->m_pSubMenu->m_strName, "Menu") << c.name;
        }
    }

    // An empty item count reads as 0: the items stored for that menu are not read.
    CWidgetConfig config = HandMade({2}, "-0,");
    config.SetParameter("Misc", "1,,-0,");
    CAppletParameters read;
    EXPECT_TRUE(ReadParameters(read, config, kBase));
    EXPECT_EQ(Shape(read), "M0");
}

TEST(StoredParameters, TreeDepthIsLimited) {
    // A chain of menus as parameters: menu m holds one item whose sub menu is menu m + 1; the
    // last menu holds items only when lastHasItem is set.
    const auto chain = [](int menus, bool lastHasItem) {
        CWidgetConfig config;
        config.SetParameter("ApStyle", "Deep,0,10,10");
        std::string counts;
        std::string links = "-0,";
        for (int m = 0; m < menus; ++m) {
            const std::string number = std::to_string(m);
            const bool hasItem = m + 1 < menus || lastHasItem;
            counts += hasItem ? "1," : "0,";
            config.SetParameter("MStyle-" + number, number);
            config.SetParameter("IStyle-" + number, "0");
            if (hasItem)
                config.SetParameter("I" + number + "-1", "c,,,,,,,,,1");
            if (m > 0)
                links += std::to_string(m - 1) + "-" + number + ",";
        }
        config.SetParameter("Misc", std::to_string(menus) + "," + counts + links);
        return config;
    };

    // The deepest menu at the limit may exist as long as it holds no items.
    {
        CAppletParameters read;
        EXPECT_TRUE(ReadParameters(read, chain(kMaxMenuDepth + 1, false), kBase));
        ASSERT_EQ(read.m_menus.size(), 1u);
        const CZephraBody* menu = read.m_menus[0].get();
        int depth = 0;
        while (!menu->m_items.empty()) {
            menu = menu->m_items[0]->m_pSubMenu.get();
            ++depth;
        }
        EXPECT_EQ(depth, kMaxMenuDepth);
        EXPECT_EQ(menu->m_clrBack, kMaxMenuDepth);
    }
    for (const auto& [menus, lastHasItem] :
         {std::pair{kMaxMenuDepth + 1, true}, std::pair{100000, false}}) {
        CAppletParameters read;
        EXPECT_FALSE(ReadParameters(read, chain(menus, lastHasItem), kBase)) << menus;
        EXPECT_TRUE(read.m_menus.empty()) << menus;
        EXPECT_EQ(read.m_strName, "Deep");
    }
    // Menus that no top-level link reaches do not count, however deep they go.
    {
        CWidgetConfig config = chain(100000, false);
        std::string misc = config.GetParameter("Misc", "");
        misc.replace(misc.find("-0,"), 3, "-99999,");
        config.SetParameter("Misc", misc);
        CAppletParameters read;
        EXPECT_TRUE(ReadParameters(read, config, kBase));
        ASSERT_EQ(read.m_menus.size(), 1u);
        EXPECT_EQ(read.m_menus[0]->m_clrBack, 99999);
    }
}

TEST(StoredParameters, MillionEntryMiscIsReadWhole) {
    // 100,000 top-level menus linked in reverse order, then 800,000 entries past the links.
    constexpr int kMenus = 100000;
    CWidgetConfig config;
    std::string misc = std::to_string(kMenus) + ",";
    for (int m = 0; m < kMenus; ++m) {
        misc += "0,";
        config.SetParameter("MStyle-" + std::to_string(m), std::to_string(m));
        config.SetParameter("IStyle-" + std::to_string(m), "0");
    }
    for (int k = 0; k < kMenus; ++k)
        misc += "-" + std::to_string(kMenus - 1 - k) + ",";
    for (int k = 0; k < 800000; ++k)
        misc += "0-0,";
    config.SetParameter("Misc", misc);

    CAppletParameters read;
    EXPECT_TRUE(ReadParameters(read, config, kBase));
    ASSERT_EQ(read.m_menus.size(), static_cast<size_t>(kMenus));
    for (int k = 0; k < kMenus; ++k)
        ASSERT_EQ(read.m_menus[static_cast<size_t>(k)]->m_clrBack, kMenus - 1 - k);
}

TEST(StoredParameters, GeneratedTreesReadBackEqual) {
    for (unsigned seed = 1; seed <= 60; ++seed) {
        CAppletParameters written;
        CTreeGenerator(seed, false).Fill(written);
        CAppletParameters expected;
        CTreeGenerator(seed, true).Fill(expected);

        CWidgetConfig config;
        WriteParameters(written, config);
        CAppletParameters read;
        ASSERT_TRUE(ReadParameters(read, config, kBase)) << "seed " << seed;
        EXPECT_TRUE(SameApplet(read, expected)) << "seed " << seed;

        // What is read writes the same parameters again, apart from the escapes' own texts.
        CWidgetConfig again;
        WriteParameters(read, again);
        CWidgetConfig fromExpected;
        WriteParameters(expected, fromExpected);
        EXPECT_EQ(again.GetParameters(), fromExpected.GetParameters()) << "seed " << seed;
    }
}

TEST(StoredParameters, TreesFromAnotherFolderReadBackInTheBaseFolder) {
    CAppletParameters written;
    BuildExample(written);
    written.m_strImage = "C:\\sites\\old\\bg.gif";
    written.m_menus[0]->m_items[0]->m_strImageOver = "/home/ann/over.gif";
    CWidgetConfig config;
    WriteParameters(written, config);
    CAppletParameters read;
    ASSERT_TRUE(ReadParameters(read, config, kBase));
    EXPECT_EQ(read.m_strImage, kBase + "bg.gif");
    EXPECT_EQ(read.m_menus[0]->m_items[0]->m_strImageOver, kBase + "over.gif");
}

TEST(StoredParameters, StoredTreeSurvivesTheConfigurationFile) {
    CAppletParameters written;
    written.m_strName = "Shop \"Ünïcode\", v=2";
    written.m_strLoadingMessage = "Loading,\r\nplease wait";
    written.m_strImage = kBase + "bg, old.gif";
    CZephraBody* top = AppendTopLevel(written);
    CZephraItem* item = Append(*top, "two\r\nlines, and a comma");
    item->m_strLink = "shop.cgi?a=1,b=2";
    item->m_strTarget = "frame,2";
    item->m_strDescription = "say \"hi\" = 日本";
    item->m_strImageOverWeb = "img/a,b/";
    item->m_strAudioClick = kBase + "click=1.au";
    item->m_bVisible = 0;
    Append(*item->m_pSubMenu, "below a hidden item");
    CWidgetConfig config;
    WriteParameters(written, config);

    const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                       ("zephra-stored-" + std::to_string(getpid()) + ".wgt");
    ASSERT_TRUE(config.Save(path.string()));
    CWidgetConfig loaded;
    const bool ok = loaded.Load(path.string());
    std::filesystem::remove(path);
    ASSERT_TRUE(ok);
    EXPECT_EQ(loaded.GetParameters(), config.GetParameters());
    CAppletParameters read;
    ASSERT_TRUE(ReadParameters(read, loaded, kBase));
    EXPECT_TRUE(SameApplet(read, written));
}
