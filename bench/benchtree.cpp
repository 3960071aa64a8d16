#include "bench/benchtree.h"

#include "component/model/menumodel.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <utility>

namespace {

// A GIF header is enough: nothing reads the files, they only have to be there.
using namespace std::string_view_literals;
constexpr std::string_view kImageBytes = "GIF89a\x01\x00\x01\x00\x80\x00\x00"sv;
constexpr std::string_view kSoundBytes = ".snd\x00\x00\x00\x18"sv;

constexpr std::string_view kImageFiles[] = {"normal.gif", "over.gif", "click.gif", "back.gif"};
constexpr std::string_view kSoundFiles[] = {"over.au", "click.au", "back.au"};

void WriteFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

// Items in kBenchTopLevelMenus full trees of fan items per menu and kBenchLevels levels.
size_t Capacity(size_t fan) {
    size_t perMenu = 0;
    size_t level = 1;
    for (int32_t i = 0; i < kBenchLevels; ++i) {
        level *= fan;
        perMenu += level;
    }
    return perMenu * kBenchTopLevelMenus;
}

void StyleMenu(CZephraBody& menu, size_t number, int32_t depth) {
    menu.m_clrBack = static_cast<int32_t>(0x203040 + number % 7 * 0x010101);
    menu.m_nBackStyle = static_cast<int32_t>(number % 4);
    menu.m_nOrientation = depth == 0 ? 1 : 0;
    menu.m_nItemWidth = 90 + depth * 5;
    menu.m_nBorderWidth = depth == 0 ? 1 : 0;
    menu.m_styleOver.clrBack = 0x3366CC;
    menu.m_styleOver.nFontStyle = 1;
    menu.m_styleClick.clrBack = 0x112233;
    menu.m_styleClick.nBorder = 2;
}

void FillItem(CZephraItem& item, size_t n, const CBenchFolder& folder, CBenchShape& shape) {
    item.m_strLabel = "Section " + std::to_string(n);
    if (n % 13 == 0)
        item.m_strLabel += ", part two"; // a comma to escape
    item.m_strDescription = "Pages about topic " + std::to_string(n);
    if (n % 17 == 0)
        item.m_strDescription += "\r\nsecond line";
    item.m_strLink = "https://www.example.com/topics/" + std::to_string(n) + ".html";
    if (n % 3 == 0)
        item.m_strLink += "?lang=en&view=full"; // an ampersand to HTML-escape
    if (n % 5 == 0)
        item.m_strTarget = "_blank";
    if (n % 10 == 7) {
        item.m_bVisible = 0;
        ++shape.m_nHidden;
    }
    if (n % 4 == 1) {
        item.m_strImageNormal = folder.Path(kImageFiles[0]);
        item.m_strImageOver = folder.Path(kImageFiles[1]);
        item.m_strImageClick = folder.Path(kImageFiles[2]);
        item.m_strImageNormalWeb = item.m_strImageOverWeb = item.m_strImageClickWeb = "images/";
        ++shape.m_nImages;
    }
    if (n % 9 == 2) {
        item.m_strAudioOver = folder.Path(kSoundFiles[0]);
        item.m_strAudioClick = folder.Path(kSoundFiles[1]);
        item.m_strAudioOverWeb = item.m_strAudioClickWeb = "sounds/";
        ++shape.m_nSounds;
    }
}

} // namespace

CBenchFolder::CBenchFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string templ =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/zephra-bench-XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (::mkdtemp(buf.data()) == nullptr)
        throw std::runtime_error("cannot create a folder from " + templ);
    m_strRoot = std::string(buf.data()) + "/";
    for (std::string_view name : kImageFiles)
        WriteFile(Path(name), kImageBytes);
    for (std::string_view name : kSoundFiles)
        WriteFile(Path(name), kSoundBytes);
}

CBenchFolder::~CBenchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(m_strRoot, ec);
}

CBenchShape BuildBenchTree(CAppletParameters& applet, size_t itemCount,
                           const CBenchFolder& folder) {
    CBenchShape shape;
    shape.m_nFan = 1;
    while (Capacity(shape.m_nFan) < itemCount)
        ++shape.m_nFan;

    applet.m_strName = "Benchmark menu";
    applet.m_nWidth = 760;
    applet.m_nHeight = 420;
    applet.m_strImage = folder.Path(kImageFiles[3]);
    applet.m_strImageWeb = "images/";
    applet.m_strAudio = folder.Path(kSoundFiles[2]);
    applet.m_strAudioWeb = "sounds/";
    applet.m_strCodebase = "applet/";

    // The shape is planned breadth first, so that every menu at one depth is filled before any
    // menu below it...
    struct CPlannedMenu {
        int32_t m_nDepth = 0;
        size_t m_nFirstItem = 0; // number of its first item, breadth first
        size_t m_nItems = 0;
    };
    std::vector<CPlannedMenu> plan(kBenchTopLevelMenus);
    std::vector<size_t> subMenuOf; // item number -> planned menu, or 0 for an empty leaf menu
    for (size_t next = 0; next < plan.size() && shape.m_nItems < itemCount; ++next) {
        const int32_t depth = plan[next].m_nDepth;
        plan[next].m_nFirstItem = shape.m_nItems;
        plan[next].m_nItems = std::min(shape.m_nFan, itemCount - shape.m_nItems);
        shape.m_nDepth = depth;
        for (size_t i = 0; i < plan[next].m_nItems; ++i, ++shape.m_nItems) {
            subMenuOf.push_back(depth + 1 < kBenchLevels ? plan.size() : 0);
            if (depth + 1 < kBenchLevels)
                plan.push_back({depth + 1, 0, 0});
        }
    }
    shape.m_nMenus = kBenchTopLevelMenus + shape.m_nItems;

    // ...and built in pre-order, menu by menu, so that the records lie in memory the way reading
    // a stored file leaves them, which is how the walks of the writers find a real tree.
    std::vector<std::pair<size_t, CZephraBody*>> pending;
    for (size_t i = 0; i < kBenchTopLevelMenus; ++i) {
        auto menu = std::make_unique<CZephraBody>(std::string(kTopLevelMenuName));
        pending.emplace_back(i, menu.get());
        applet.AddTopLevelMenu(std::move(menu), false);
    }
    std::reverse(pending.begin(), pending.end());
    while (!pending.empty()) {
        const auto [planned, menu] = pending.back();
        pending.pop_back();
        const CPlannedMenu& p = plan[planned];
        StyleMenu(*menu, planned, p.m_nDepth);
        for (size_t n = p.m_nFirstItem; n < p.m_nFirstItem + p.m_nItems; ++n) {
            auto item = std::make_unique<CZephraItem>();
            FillItem(*item, n, folder, shape);
            menu->AddItem(std::move(item), false);
        }
        for (size_t i = menu->m_items.size(); i-- > 0;) {
            if (const size_t sub = subMenuOf[p.m_nFirstItem + i]; sub != 0)
                pending.emplace_back(sub, menu->m_items[i]->m_pSubMenu.get());
        }
    }
    return shape;
}

size_t CountItems(const CZephraItem& item) {
    size_t count = 1;
    std::vector<const CZephraBody*> pending{item.m_pSubMenu.get()};
    while (!pending.empty()) {
        const CZephraBody* menu = pending.back();
        pending.pop_back();
        count += menu->m_items.size();
        for (const auto& child : menu->m_items)
            pending.push_back(child->m_pSubMenu.get());
    }
    return count;
}

std::vector<std::string> CollectTexts(const CAppletParameters& applet) {
    std::vector<std::string> texts{applet.m_strName,        applet.m_strImage,
                                   applet.m_strAudio,       applet.m_strLoadingMessage,
                                   applet.m_strClassFolder, applet.m_strAudioWeb,
                                   applet.m_strImageWeb,    applet.m_strCodebase};
    std::vector<const CZephraBody*> pending;
    for (auto it = applet.m_menus.rbegin(); it != applet.m_menus.rend(); ++it)
        pending.push_back(it->get());
    while (!pending.empty()) {
        const CZephraBody* menu = pending.back();
        pending.pop_back();
        for (const std::string* text : {&menu->m_strName, &menu->m_styleNormal.strExtra,
                                        &menu->m_styleOver.strExtra, &menu->m_styleClick.strExtra})
            texts.push_back(*text);
        for (const auto& item : menu->m_items) {
            for (const std::string* text :
                 {&item->m_strLabel, &item->m_strDescription, &item->m_strImageNormal,
                  &item->m_strImageOver, &item->m_strImageClick, &item->m_strAudioOver,
                  &item->m_strAudioClick, &item->m_strImageNormalWeb, &item->m_strImageOverWeb,
                  &item->m_strImageClickWeb, &item->m_strAudioOverWeb, &item->m_strAudioClickWeb,
                  &item->m_strTarget, &item->m_strLink})
                texts.push_back(*text);
        }
        for (auto it = menu->m_items.rbegin(); it != menu->m_items.rend(); ++it)
            pending.push_back((*it)->m_pSubMenu.get());
    }
    return texts;
}
