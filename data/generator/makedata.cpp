// zephra_makedata: writes the templates and the sample widget shipped in data/.
//
// There is no designer without a display, so the menus are put together here with the model and
// stored as a first draft; the real component then reads each draft and writes the final file,
// exactly as the editor's Save as Template does. The component runs registered in a private,
// temporary registry, so the user's registry is never touched.
//
//     zephra_makedata PlaquetZephra.so DATA_FOLDER
//
// writes DATA_FOLDER/component/<Name>_PlaquetServer.Zephra.wgt and DATA_FOLDER/sample/Sample.wgt
// (whose images must already lie in DATA_FOLDER/sample).

#include "component/model/menumodel.h"
#include "component/model/parameters.h"
#include "component/model/widgetconfig.h"
#include "editor/binding/plaquet.h"
#include "editor/binding/widgetrules.h"
#include "platform/com/runtime.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Colours are 0x00BBGGRR.
constexpr int32_t Rgb(int32_t r, int32_t g, int32_t b) {
    return r | (g << 8) | (b << 16);
}

class CPrintingPrompt : public IPrompt {
public:
    void Message(const std::string& text) override {
        std::fprintf(stderr, "zephra_makedata: %s\n", text.c_str());
    }
};

struct CLook {
    int32_t clrBack;
    int32_t clrText;
    int32_t nBorder;
    int32_t nBackground;
};

void SetLooks(CZephraBody& menu, const CLook& normal, const CLook& over, const CLook& click,
              int32_t font, int32_t size, int32_t style, int32_t align) {
    const CLook* looks[3] = {&normal, &over, &click};
    ItemStateStyle* styles[3] = {&menu.m_styleNormal, &menu.m_styleOver, &menu.m_styleClick};
    for (int i = 0; i < 3; ++i) {
        styles[i]->clrBack = looks[i]->clrBack;
        styles[i]->clrText = looks[i]->clrText;
        styles[i]->nBorder = looks[i]->nBorder;
        styles[i]->nBackground = looks[i]->nBackground;
        styles[i]->nGradient = 1;
        styles[i]->nFont = font;
        styles[i]->nFontSize = size;
        styles[i]->nFontStyle = style;
        styles[i]->nTextAlign = align;
        styles[i]->nTextOffset = 4;
    }
}

void SetLayout(CZephraBody& menu, int32_t orientation, int32_t x, int32_t y, int32_t width,
               int32_t height, int32_t gap, int32_t backStyle, int32_t clrBack) {
    menu.m_nOrientation = orientation;
    menu.m_nX = x;
    menu.m_nY = y;
    menu.m_nItemWidth = width;
    menu.m_nItemHeight = height;
    menu.m_nItemGap = gap;
    menu.m_nBackStyle = backStyle;
    menu.m_clrBack = clrBack;
    menu.m_nBorderWidth = backStyle >= 2 ? 1 : 0;
}

CZephraItem& AddItem(CZephraBody& menu, const std::string& label, const std::string& description,
                     const std::string& link) {
    auto item = std::make_unique<CZephraItem>(label);
    item->m_strDescription = description;
    item->m_strLink = link;
    CZephraItem& added = *item;
    menu.AddItem(std::move(item), false);
    return added;
}

CZephraBody& AddTopLevelMenu(CAppletParameters& applet) {
    applet.AddTopLevelMenu(std::make_unique<CZephraBody>(), false);
    return *applet.m_menus.back();
}

// A sub menu that opens beside or below its item and looks like the menu it hangs from.
CZephraBody& SubMenuOf(CZephraItem& item, const CZephraBody& parent, int32_t x, int32_t y) {
    CZephraBody& sub = *item.m_pSubMenu;
    sub.CopyStyle(parent);
    sub.m_strName = std::string(kSubMenuName);
    sub.m_nOrientation = 0;
    sub.m_nX = x;
    sub.m_nY = y;
    return sub;
}

void BuildClassic(CAppletParameters& applet) {
    applet.m_nWidth = 360;
    applet.m_nHeight = 200;
    applet.m_clrBack = Rgb(255, 255, 255);
    CZephraBody& menu = AddTopLevelMenu(applet);
    SetLayout(menu, 0, 20, 20, 110, 22, 2, 0, 0);
    SetLooks(menu, {Rgb(192, 192, 192), Rgb(0, 0, 0), 1, 1},
             {Rgb(0, 0, 128), Rgb(255, 255, 255), 1, 1},
             {Rgb(128, 128, 128), Rgb(255, 255, 255), 2, 1}, 1, 12, 1, 0);
    AddItem(menu, "Home", "Back to the start page", "index.html");
    CZephraItem& products = AddItem(menu, "Products", "What we make", "products.html");
    CZephraBody& sub = SubMenuOf(products, menu, 112, 0);
    AddItem(sub, "Software", "Programs and updates", "software.html");
    AddItem(sub, "Hardware", "Devices and spare parts", "hardware.html");
    AddItem(menu, "Services", "Support and training", "services.html");
    AddItem(menu, "Contact", "How to reach us", "contact.html");
}

void BuildHorizontal(CAppletParameters& applet) {
    applet.m_nWidth = 480;
    applet.m_nHeight = 160;
    applet.m_clrBack = Rgb(255, 255, 255);
    CZephraBody& bar = AddTopLevelMenu(applet);
    SetLayout(bar, 1, 10, 10, 110, 24, 0, 2, Rgb(64, 64, 64));
    SetLooks(bar, {Rgb(64, 64, 64), Rgb(255, 255, 255), 0, 1},
             {Rgb(224, 96, 0), Rgb(255, 255, 255), 0, 1},
             {Rgb(160, 64, 0), Rgb(255, 255, 255), 0, 1}, 1, 12, 1, 1);
    AddItem(bar, "Home", "Back to the start page", "index.html");
    CZephraItem& news = AddItem(bar, "News", "What is new", "news.html");
    CZephraBody& newsMenu = SubMenuOf(news, bar, 0, 24);
    AddItem(newsMenu, "Latest", "This week's news", "news.html#latest");
    AddItem(newsMenu, "Archive", "Older news", "archive.html");
    CZephraItem& help = AddItem(bar, "Help", "Questions and answers", "help.html");
    CZephraBody& helpMenu = SubMenuOf(help, bar, 0, 24);
    AddItem(helpMenu, "FAQ", "Frequently asked questions", "faq.html");
    AddItem(helpMenu, "Forum", "Ask other users", "forum.html");
    AddItem(bar, "About", "Who we are", "about.html");
}

void BuildOcean(CAppletParameters& applet) {
    applet.m_nWidth = 360;
    applet.m_nHeight = 220;
    applet.m_clrBack = Rgb(232, 244, 255);
    CZephraBody& menu = AddTopLevelMenu(applet);
    SetLayout(menu, 0, 20, 20, 120, 24, 3, 0, 0);
    SetLooks(menu, {Rgb(0, 80, 160), Rgb(255, 255, 255), 0, 2},
             {Rgb(0, 140, 200), Rgb(255, 255, 224), 0, 2},
             {Rgb(0, 48, 96), Rgb(255, 255, 255), 2, 2}, 1, 12, 0, 0);
    AddItem(menu, "Beaches", "Sand and sun", "beaches.html");
    CZephraItem& islands = AddItem(menu, "Islands", "Places to sail to", "islands.html");
    CZephraBody& sub = SubMenuOf(islands, menu, 122, 0);
    AddItem(sub, "North", "The northern islands", "north.html");
    AddItem(sub, "South", "The southern islands", "south.html");
    AddItem(menu, "Diving", "Reefs and wrecks", "diving.html");
    AddItem(menu, "Weather", "Wind and waves", "weather.html");
}

// The sample: a bar with images on its items and two drop-down menus.
void BuildSample(CAppletParameters& applet, const std::string& imageFolder) {
    applet.m_nWidth = 460;
    applet.m_nHeight = 140;
    applet.m_clrBack = Rgb(255, 255, 255);
    applet.m_strCodebase = "applet/";
    CZephraBody& bar = AddTopLevelMenu(applet);
    SetLayout(bar, 1, 10, 10, 100, 24, 2, 2, Rgb(0, 64, 128));
    SetLooks(bar, {Rgb(0, 64, 128), Rgb(255, 255, 255), 0, 1},
             {Rgb(0, 96, 176), Rgb(255, 240, 160), 0, 1},
             {Rgb(0, 48, 96), Rgb(255, 255, 255), 2, 1}, 1, 12, 1, 0);
    for (ItemStateStyle* style : {&bar.m_styleNormal, &bar.m_styleOver, &bar.m_styleClick}) {
        style->nTextOffset = 20;
        style->nImageOffset = 4;
    }
    AddItem(bar, "Home", "Back to the start page", "index.html");
    CZephraItem& products = AddItem(bar, "Products", "What we make", "products.html");
    CZephraBody& productsMenu = SubMenuOf(products, bar, 0, 26);
    AddItem(productsMenu, "Menus", "Pop-up menus for your pages", "menus.html");
    AddItem(productsMenu, "Buttons", "Buttons with three states", "buttons.html");
    CZephraItem& support = AddItem(bar, "Support", "Help when you need it", "support.html");
    CZephraBody& supportMenu = SubMenuOf(support, bar, 0, 26);
    AddItem(supportMenu, "FAQ", "Frequently asked questions", "faq.html");
    AddItem(supportMenu, "Contact", "Write to us", "contact.html");
    AddItem(bar, "About", "Who we are", "about.html");
    ApplyImages(imageFolder + "bullet.gif", "images/", imageFolder + "bulletover.gif", "images/",
                imageFolder + "bulletover.gif", "images/", &bar, false);
}

struct CWidgetRecipe {
    std::string m_strTitle;
    std::string m_strDescription;
    std::string m_strPath;
    std::function<void(CAppletParameters&)> m_build;
};

// Stores the draft at the final path, then has the component read it and write it again.
bool MakeWidget(const CWidgetRecipe& rule, IPrompt& prompt) {
    CAppletParameters applet;
    rule.m_build(applet);
    CWidgetConfig draft;
    WriteParameters(applet, draft);
    draft.SetDescription("ProgID", std::string(kPlaquetProgID));
    if (!draft.Save(rule.m_strPath)) {
        std::fprintf(stderr, "zephra_makedata: %s: cannot be written\n", rule.m_strPath.c_str());
        return false;
    }
    CPlaquet widget(prompt);
    if (!widget.CreateFromProgID(kPlaquetProgID)) {
        std::fprintf(stderr, "zephra_makedata: the component cannot be created\n");
        return false;
    }
    if (!widget.ReadConfigFile(rule.m_strPath) || widget.GetProgID() != kPlaquetProgID) {
        std::fprintf(stderr, "zephra_makedata: %s: the component cannot read the draft\n",
                     rule.m_strPath.c_str());
        return false;
    }
    widget.SetTitle(rule.m_strTitle);
    widget.SetDescription(rule.m_strDescription);
    widget.SetPreviewPath("");
    if (!widget.WriteConfigFile(rule.m_strPath)) {
        std::fprintf(stderr, "zephra_makedata: %s: the component cannot write it\n",
                     rule.m_strPath.c_str());
        return false;
    }
    std::printf("%s\n", rule.m_strPath.c_str());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: zephra_makedata PlaquetZephra.so DATA_FOLDER\n");
        return 2;
    }
    const std::string library = fs::absolute(argv[1]).lexically_normal().string();
    const fs::path data = fs::absolute(argv[2]).lexically_normal();
    const std::string componentFolder = (data / "component").string() + "/";
    const std::string sampleFolder = (data / "sample").string() + "/";

    std::string registry = (fs::temp_directory_path() / "zephra-makedata-XXXXXX").string();
    if (::mkdtemp(registry.data()) == nullptr) {
        std::perror("zephra_makedata: temporary registry");
        return 1;
    }
    ::setenv("ZEPHRA_REGISTRY_DIR", registry.c_str(), 1);

    const std::vector<CWidgetRecipe> rules = {
        {"Classic", "A grey menu with raised items and a sub menu to the right",
         componentFolder + TemplateFileName("Classic", kPlaquetProgID), BuildClassic},
        {"Horizontal", "A dark bar across the page with menus that drop down",
         componentFolder + TemplateFileName("Horizontal", kPlaquetProgID), BuildHorizontal},
        {"Ocean", "Blue gradient items in a column, light text",
         componentFolder + TemplateFileName("Ocean", kPlaquetProgID), BuildOcean},
        {"Sample", "The sample widget: a bar with images and two drop-down menus",
         sampleFolder + "Sample.wgt",
         [&](CAppletParameters& applet) { BuildSample(applet, sampleFolder); }},
    };

    int status = 0;
    CoInitialize(nullptr);
    HRESULT hr = RegisterServerLibrary(library);
    if (FAILED(hr)) {
        std::fprintf(stderr, "zephra_makedata: %s: %s %s\n", library.c_str(),
                     DescribeHResult(hr).c_str(), CoGetLastErrorText().c_str());
        status = 1;
    } else {
        CPrintingPrompt prompt;
        try {
            for (const CWidgetRecipe& rule : rules) {
                if (!MakeWidget(rule, prompt))
                    status = 1;
            }
        } catch (const CBindingException& e) {
            std::fprintf(stderr, "zephra_makedata: %s\n", e.what());
            status = 1;
        }
    }
    CoUninitialize();
    std::error_code ec;
    fs::remove_all(registry, ec);
    return status;
}
