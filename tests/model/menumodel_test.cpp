#include "component/model/menumodel.h"
#include "platform/archive/archive.h"

#include <climits>
#include <filesystem>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

// Readable rectangles in failure messages.
void PrintTo(const CRect& r, std::ostream* out) {
    *out << "(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
}

namespace {

std::vector<std::string> Labels(const CZephraBody& menu) {
    std::vector<std::string> out;
    for (const auto& item : menu.m_items)
        out.push_back(item->m_strLabel);
    return out;
}

CZephraItem* Append(CZephraBody& menu, const std::string& label) {
    auto item = std::make_unique<CZephraItem>(label);
    CZephraItem* raw = item.get();
    menu.AddItem(std::move(item), false);
    return raw;
}

CZephraBody* AppendTopLevel(CAppletParameters& applet, int shownItems) {
    auto menu = std::make_unique<CZephraBody>();
    for (int i = 0; i < shownItems; ++i)
        Append(*menu, "item");
    CZephraBody* raw = menu.get();
    applet.AddTopLevelMenu(std::move(menu), false);
    return raw;
}

// An item whose sub menus nest levels deep: its own sub menu is at depth 1.
std::unique_ptr<CZephraItem> MakeChain(int levels) {
    auto root = std::make_unique<CZephraItem>();
    CZephraItem* tail = root.get();
    for (int i = 1; i < levels; ++i)
        tail = tail->m_pSubMenu->InsertNewItem();
    return root;
}

// Every text of the item set to a value naming the field, so that a swapped field shows.
void FillItem(CZephraItem& item, const std::string& tag) {
    item.m_strLabel = tag + "label\r\nline2";
    item.m_strDescription = tag + "description";
    item.m_strImageNormal = tag + "/img/normal.gif";
    item.m_strImageOver = tag + "/img/over.gif";
    item.m_strImageClick = tag + "/img/click.gif";
    item.m_strAudioOver = tag + "/snd/over.au";
    item.m_strAudioClick = tag + "/snd/click.au";
    item.m_strImageNormalWeb = tag + "web/normal/";
    item.m_strImageOverWeb = tag + "web/over/";
    item.m_strImageClickWeb = tag + "web/click/";
    item.m_strAudioOverWeb = tag + "web/aover/";
    item.m_strAudioClickWeb = tag + "web/aclick/";
    item.m_strTarget = tag + "_blank";
    item.m_strLink = tag + "http://example.test/a,b";
}

void FillMenu(CZephraBody& menu, int32_t seed) {
    menu.m_strName = "menu" + std::to_string(seed);
    int32_t v = seed * 100;
    for (int32_t* field : {&menu.m_clrBack, &menu.m_nBackStyle, &menu.m_nOrientation,
                           &menu.m_nCorner, &menu.m_nX, &menu.m_nY, &menu.m_nItemWidth,
                           &menu.m_nItemHeight, &menu.m_nItemGap, &menu.m_nBorderWidth})
        *field = ++v;
    for (ItemStateStyle* style : {&menu.m_styleNormal, &menu.m_styleOver, &menu.m_styleClick}) {
        for (int32_t* field :
             {&style->clrBack, &style->clrText, &style->nBorder, &style->nBackground,
              &style->nGradient, &style->nEffect, &style->nFont, &style->nFontSize,
              &style->nFontStyle, &style->nTextAlign, &style->nTextOffset, &style->nImageAlign,
              &style->nImageOffset})
            *field = ++v;
        style->strExtra = "extra" + std::to_string(++v);
    }
    menu.m_bVisible = seed % 2;
}

// An item with a three-level sub menu tree, every field distinct, hidden records included.
std::unique_ptr<CZephraItem> MakeRichItem() {
    auto root = std::make_unique<CZephraItem>();
    FillItem(*root, "r-");
    FillMenu(*root->m_pSubMenu, 1);
    int seed = 2;
    for (int i = 0; i < 2; ++i) {
        CZephraItem* child = Append(*root->m_pSubMenu, "");
        FillItem(*child, "c" + std::to_string(i) + "-");
        FillMenu(*child->m_pSubMenu, seed++);
        for (int j = 0; j < 2; ++j) {
            CZephraItem* grandChild = Append(*child->m_pSubMenu, "");
            FillItem(*grandChild, "g" + std::to_string(i) + std::to_string(j) + "-");
            grandChild->m_bVisible = j;
            FillMenu(*grandChild->m_pSubMenu, seed++);
        }
    }
    root->m_pSubMenu->m_items[1]->m_bVisible = 0;
    return root;
}

// Every menu of the tree under item, depth first, for identity checks.
std::vector<const CZephraBody*> MenusOf(const CZephraItem& item) {
    std::vector<const CZephraBody*> out;
    std::vector<const CZephraBody*> pending{item.m_pSubMenu.get()};
    while (!pending.empty()) {
        const CZephraBody* menu = pending.back();
        pending.pop_back();
        out.push_back(menu);
        for (const auto& child : menu->m_items)
            pending.push_back(child->m_pSubMenu.get());
    }
    return out;
}

} // namespace

// ---- Defaults

TEST(MenuModel, NewRecordsHoldTheirDefaults) {
    const ItemStateStyle style;
    EXPECT_EQ(style.clrBack, 0);
    EXPECT_EQ(style.clrText, 0xFFFFFF);
    EXPECT_EQ(style.nBorder, 0);
    EXPECT_EQ(style.nBackground, 1);
    EXPECT_EQ(style.nGradient, 1);
    EXPECT_EQ(style.nEffect, 0);
    EXPECT_EQ(style.nFont, 0);
    EXPECT_EQ(style.nFontSize, 14);
    EXPECT_EQ(style.nFontStyle, 0);
    EXPECT_EQ(style.nTextAlign, 0);
    EXPECT_EQ(style.nTextOffset, 0);
    EXPECT_EQ(style.nImageAlign, 0);
    EXPECT_EQ(style.nImageOffset, 0);
    EXPECT_EQ(style.strExtra, "");

    const CZephraBody menu;
    EXPECT_EQ(menu.m_strName, "Menu");
    EXPECT_EQ(menu.m_clrBack, 0);
    EXPECT_EQ(menu.m_nBackStyle, 0);
    EXPECT_EQ(menu.m_nOrientation, 0);
    EXPECT_EQ(menu.m_nCorner, 0);
    EXPECT_EQ(menu.m_nX, 40);
    EXPECT_EQ(menu.m_nY, 15);
    EXPECT_EQ(menu.m_nItemWidth, 80);
    EXPECT_EQ(menu.m_nItemHeight, 20);
    EXPECT_EQ(menu.m_nItemGap, 5);
    EXPECT_EQ(menu.m_nBorderWidth, 0);
    EXPECT_EQ(menu.m_styleNormal, style);
    EXPECT_EQ(menu.m_styleOver, style);
    EXPECT_EQ(menu.m_styleClick, style);
    EXPECT_TRUE(menu.m_items.empty());
    EXPECT_EQ(menu.m_bVisible, 1);
    EXPECT_EQ(CZephraBody("top-level Menu").m_strName, "top-level Menu");

    const CZephraItem item;
    EXPECT_EQ(item.m_strLabel, "item");
    for (const std::string* text :
         {&item.m_strDescription, &item.m_strImageNormal, &item.m_strImageOver,
          &item.m_strImageClick, &item.m_strAudioOver, &item.m_strAudioClick,
          &item.m_strImageNormalWeb, &item.m_strImageOverWeb, &item.m_strImageClickWeb,
          &item.m_strAudioOverWeb, &item.m_strAudioClickWeb, &item.m_strTarget, &item.m_strLink})
        EXPECT_EQ(*text, "");
    EXPECT_EQ(item.m_bVisible, 1);
    ASSERT_NE(item.m_pSubMenu, nullptr);
    EXPECT_TRUE(SameMenuTree(*item.m_pSubMenu, CZephraBody("Menu")));

    const CAppletParameters applet;
    EXPECT_EQ(applet.m_strName, "Zephra Applet Properties");
    EXPECT_EQ(applet.m_nAlign, 0);
    EXPECT_EQ(applet.m_nWidth, 400);
    EXPECT_EQ(applet.m_nHeight, 200);
    EXPECT_EQ(applet.m_clrBack, 0);
    EXPECT_EQ(applet.m_strImage, "");
    EXPECT_EQ(applet.m_nImageMode, 0);
    EXPECT_EQ(applet.m_nImageX, 0);
    EXPECT_EQ(applet.m_nImageY, 0);
    EXPECT_EQ(applet.m_strAudio, "");
    EXPECT_EQ(applet.m_bProgressBar, 1);
    EXPECT_EQ(applet.m_strLoadingMessage, "Loading Image...");
    EXPECT_TRUE(applet.m_menus.empty());
    EXPECT_EQ(applet.m_strItemCounts, "");
    EXPECT_TRUE(applet.m_flatItems.empty());
    EXPECT_EQ(applet.m_nMenuCounter, 0);
    EXPECT_EQ(applet.m_strAudioWeb, "");
    EXPECT_EQ(applet.m_strImageWeb, "");
    EXPECT_EQ(applet.m_strCodebase, "");
    // The model is linked into this test program, so its module folder is the program's.
    EXPECT_EQ(applet.m_strClassFolder, std::filesystem::canonical(ZEPHRA_BIN_DIR).string() + "/");
}

TEST(MenuModel, ColorToHexWritesRedGreenBlue) {
    const std::pair<int32_t, const char*> cases[] = {
        {0, "000000"},
        {0xFFFFFF, "ffffff"},
        {0x0000FF, "ff0000"},
        {0x00FF8000, "0080ff"},
        {0x0A0B0C, "0c0b0a"},
        {static_cast<int32_t>(0xFF123456), "563412"}, // the top byte is not a colour
    };
    for (const auto& [colour, hex] : cases)
        EXPECT_EQ(ColorToHex(colour), hex) << colour;
}

// ---- Geometry

TEST(MenuGeometry, UnionRectIgnoresEmptyRectangles) {
    struct Case {
        CRect a, b, expected;
    };
    const Case cases[] = {
        {{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}},
        {{5, 5, 5, 9}, {7, 7, 3, 3}, {0, 0, 0, 0}},           // both empty
        {{0, 0, 0, 0}, {40, 15, 120, 85}, {40, 15, 120, 85}}, // origin is not dragged in
        {{40, 15, 120, 85}, {-3, -3, -3, 100}, {40, 15, 120, 85}},
        {{40, 15, 120, 85}, {-40, -55, 40, 15}, {-40, -55, 120, 85}},
        {{0, 0, 10, 10}, {2, 2, 5, 5}, {0, 0, 10, 10}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UnionRect(c.a, c.b), c.expected);
        EXPECT_EQ(UnionRect(c.b, c.a), c.expected);
    }
}

TEST(MenuGeometry, RectangleFollowsLayoutStyleAndCorner) {
    struct Case {
        const char* what;
        int32_t orientation, backStyle, corner;
        int shown, hidden;
        int32_t originX, originY;
        CRect expected;
    };
    const Case cases[] = {
        {"defaults, three items", 0, 0, 0, 3, 0, 0, 0, {40, 15, 120, 85}},
        {"filled without border grows by one", 0, 2, 0, 3, 0, 0, 0, {40, 15, 121, 86}},
        {"filled with border does not", 0, 3, 0, 3, 0, 0, 0, {40, 15, 120, 85}},
        {"bottom-right corner", 0, 0, 2, 3, 0, 0, 0, {-40, -55, 40, 15}},
        {"top-right corner", 0, 0, 1, 3, 0, 0, 0, {-40, 15, 40, 85}},
        {"bottom-left corner", 0, 0, 3, 3, 0, 0, 0, {40, -55, 120, 15}},
        {"damaged corner is top-left", 0, 0, 7, 3, 0, 0, 0, {40, 15, 120, 85}},
        {"negative corner is top-left", 0, 0, -1, 3, 0, 0, 0, {40, 15, 120, 85}},
        {"side by side", 1, 0, 0, 3, 0, 0, 0, {40, 15, 290, 35}},
        {"hidden items take no cell", 0, 0, 0, 2, 3, 0, 0, {40, 15, 120, 60}},
        {"moved by the origin", 0, 0, 0, 1, 0, 100, 200, {140, 215, 220, 235}},
    };
    for (const Case& c : cases) {
        CZephraBody menu;
        menu.m_nOrientation = c.orientation;
        menu.m_nBackStyle = c.backStyle;
        menu.m_nCorner = c.corner;
        for (int i = 0; i < c.hidden; ++i)
            Append(menu, "hidden")->m_bVisible = 0;
        for (int i = 0; i < c.shown; ++i)
            Append(menu, "shown");
        EXPECT_EQ(menu.GetRect(c.originX, c.originY), c.expected) << c.what;
    }
}

TEST(MenuGeometry, MenuWithoutShownItemsIsEmptyEvenWithDamagedSizes) {
    CZephraBody menu;
    Append(menu, "hidden")->m_bVisible = 0;
    menu.m_nItemGap = -50; // would otherwise give a positive height for no cells
    EXPECT_TRUE(menu.GetRect(0, 0).IsRectEmpty());
    menu.m_nOrientation = 1;
    EXPECT_TRUE(menu.GetRect(0, 0).IsRectEmpty());
}

TEST(MenuGeometry, HugeSizesSaturateInsteadOfOverflowing) {
    CZephraBody menu;
    for (int i = 0; i < 3; ++i)
        Append(menu, "x");
    menu.m_nItemHeight = INT32_MAX;
    menu.m_nY = INT32_MAX;
    const CRect rect = menu.GetRect(INT32_MAX, 0);
    EXPECT_EQ(rect.left, INT32_MAX);
    EXPECT_EQ(rect.bottom, INT32_MAX);
    menu.m_nCorner = 2;
    menu.m_nX = INT32_MIN;
    EXPECT_EQ(menu.GetRect(INT32_MIN, 0).left, INT32_MIN);
}

TEST(MenuGeometry, InsertNewTopLevelMenuStartsBesideTheOthers) {
    {
        CAppletParameters applet;
        CZephraBody* menu = applet.InsertNewTopLevelMenu();
        ASSERT_EQ(applet.m_menus.size(), 1u);
        EXPECT_EQ(applet.m_menus[0].get(), menu);
        EXPECT_EQ(menu->m_strName, "top-level Menu");
        EXPECT_EQ(menu->m_nX, 0);
        EXPECT_EQ(menu->m_nY, 0);
        EXPECT_TRUE(menu->m_items.empty());
        EXPECT_EQ(menu->m_styleNormal, ItemStateStyle{});
    }
    {
        // Menus without items neither lend their style nor take room.
        CAppletParameters applet;
        AppendTopLevel(applet, 0)->m_clrBack = 0x123456;
        CZephraBody* menu = applet.InsertNewTopLevelMenu();
        EXPECT_EQ(applet.m_menus.size(), 2u);
        EXPECT_EQ(menu->m_clrBack, 0);
        EXPECT_EQ(menu->m_nX, 0);
        EXPECT_EQ(menu->m_nY, 0);
    }
    {
        // One vertical menu of three items at the defaults: the new one starts at its right.
        CAppletParameters applet;
        AppendTopLevel(applet, 0);
        CZephraBody* styled = AppendTopLevel(applet, 3);
        styled->m_styleOver.nFont = 2;
        styled->m_nItemGap = 5;
        CZephraBody* menu = applet.InsertNewTopLevelMenu();
        ASSERT_EQ(applet.m_menus.size(), 3u);
        EXPECT_EQ(applet.m_menus[0].get(), menu);
        EXPECT_EQ(menu->m_nX, 120);
        EXPECT_EQ(menu->m_nY, 0);
        EXPECT_EQ(menu->m_styleOver.nFont, 2);
        EXPECT_EQ(menu->m_strName, "top-level Menu");
        EXPECT_TRUE(menu->m_items.empty());
    }
    {
        // A horizontal style puts the new menu below everything, hidden menus included.
        CAppletParameters applet;
        CZephraBody* first = AppendTopLevel(applet, 2);
        first->m_nOrientation = 1;
        CZephraBody* lower = AppendTopLevel(applet, 1);
        lower->m_nY = 300;
        lower->m_bVisible = 0;
        CZephraBody* menu = applet.InsertNewTopLevelMenu();
        EXPECT_EQ(menu->m_nOrientation, 1);
        EXPECT_EQ(menu->m_nX, 0);
        EXPECT_EQ(menu->m_nY, 320);
    }
}

TEST(MenuGeometry, AccumulateExtentWalksTheCellsOfShownItems) {
    // Vertical default menu at (40, 15): items a, hidden b, c. c is the second shown item, so its
    // cell starts at (40, 15 + 25).
    CAppletParameters applet;
    CZephraBody top;
    CZephraItem* a = Append(top, "a");
    CZephraItem* b = Append(top, "b");
    CZephraItem* c = Append(top, "c");
    b->m_bVisible = 0;
    Append(*a->m_pSubMenu, "a1");
    Append(*b->m_pSubMenu, "b1");
    b->m_pSubMenu->m_nX = 5000; // left out with its hidden item
    Append(*c->m_pSubMenu, "c1");
    c->m_pSubMenu->m_nY = 200;

    applet.AccumulateExtent(&top, 0, 0);
    // top (40,15,120,60); a's sub menu (80,30,160,50); c's sub menu (80,240,160,260).
    EXPECT_EQ(applet.m_rcExtent, (CRect{40, 15, 160, 260}));

    // Side by side, the second cell starts one item width and gap to the right.
    CAppletParameters across;
    top.m_nOrientation = 1;
    c->m_pSubMenu->m_nY = 0;
    across.AccumulateExtent(&top, 10, 10);
    // top (50,25,215,45); a's sub menu (90,40,170,60); c's cell at (135,25), its sub menu
    // (175,25,255,45).
    EXPECT_EQ(across.m_rcExtent, (CRect{50, 25, 255, 60}));

    // Nothing for a null menu or a menu without items, whatever its placement.
    CAppletParameters none;
    CZephraBody empty;
    empty.m_nItemGap = -100;
    none.AccumulateExtent(nullptr, 0, 0);
    none.AccumulateExtent(&empty, 0, 0);
    EXPECT_EQ(none.m_rcExtent, CRect{});
}

// ---- Item lists

class ItemList : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* label : {"a", "b", "c"})
            Append(menu, label);
    }
    CZephraBody menu;
};

TEST_F(ItemList, CountsAndLooksUp) {
    menu.m_items[1]->m_bVisible = 0;
    EXPECT_EQ(menu.GetItemCount(true), 3);
    EXPECT_EQ(menu.GetItemCount(false), 2);
    EXPECT_EQ(menu.GetItem(2)->m_strLabel, "c");
    EXPECT_EQ(menu.GetItem(3), nullptr);
    EXPECT_EQ(menu.GetItem(-1), nullptr);
}

TEST_F(ItemList, InsertsAtTheFrontOrEnd) {
    menu.InsertNewItem();
    EXPECT_EQ(Labels(menu), (std::vector<std::string>{"item", "a", "b", "c"}));
    EXPECT_TRUE(menu.AddItem(std::make_unique<CZephraItem>("front"), true));
    EXPECT_TRUE(menu.AddItem(std::make_unique<CZephraItem>("back"), false));
    EXPECT_FALSE(menu.AddItem(nullptr, true));
    EXPECT_EQ(Labels(menu), (std::vector<std::string>{"front", "item", "a", "b", "c", "back"}));

    // A copy of one of the menu's own items goes to the front and is a record of its own.
    CZephraItem* source = menu.GetItem(3);
    Append(*source->m_pSubMenu, "deep");
    CZephraItem* copy = menu.AddItemCopy(*source);
    EXPECT_EQ(menu.GetItem(0), copy);
    EXPECT_NE(copy, source);
    EXPECT_TRUE(SameItemTree(*copy, *source));
    EXPECT_NE(copy->m_pSubMenu->GetItem(0), source->m_pSubMenu->GetItem(0));
}

TEST_F(ItemList, RemovesOnlyWhatIsThere) {
    const CZephraItem stranger;
    EXPECT_FALSE(menu.RemoveItemAt(3));
    EXPECT_FALSE(menu.RemoveItemAt(-1));
    EXPECT_FALSE(menu.RemoveItem(&stranger));
    EXPECT_FALSE(menu.RemoveItem(nullptr));
    // An item of a sub menu is not one of this menu's items.
    CZephraItem* nested = Append(*menu.GetItem(0)->m_pSubMenu, "nested");
    EXPECT_FALSE(menu.RemoveItem(nested));
    EXPECT_EQ(Labels(menu), (std::vector<std::string>{"a", "b", "c"}));

    EXPECT_TRUE(menu.RemoveItemAt(1));
    EXPECT_EQ(Labels(menu), (std::vector<std::string>{"a", "c"}));
    EXPECT_TRUE(menu.RemoveItem(menu.GetItem(1)));
    EXPECT_EQ(Labels(menu), (std::vector<std::string>{"a"}));
    EXPECT_TRUE(menu.RemoveAllItems());
    EXPECT_TRUE(menu.m_items.empty());
    EXPECT_TRUE(menu.RemoveAllItems());
}

TEST_F(ItemList, MovesWithinBounds) {
    struct Case {
        bool up;
        int32_t index;
        bool result;
        std::vector<std::string> order;
    };
    const Case cases[] = {
        {true, 0, false, {"a", "b", "c"}},   {true, 1, true, {"b", "a", "c"}},
        {true, 2, true, {"a", "c", "b"}},    {true, 3, false, {"a", "b", "c"}},
        {true, -1, false, {"a", "b", "c"}},  {false, 0, true, {"b", "a", "c"}},
        {false, 1, true, {"a", "c", "b"}},   {false, 2, false, {"a", "b", "c"}},
        {false, -1, false, {"a", "b", "c"}},
    };
    for (const Case& c : cases) {
        // By index and by item must agree.
        for (bool byItem : {false, true}) {
            CZephraBody fresh;
            for (const char* label : {"a", "b", "c"})
                Append(fresh, label);
            bool result;
            if (byItem) {
                const CZephraItem* item = fresh.GetItem(c.index);
                if (item == nullptr)
                    continue;
                result = c.up ? fresh.MoveItemUp(item) : fresh.MoveItemDown(item);
            } else {
                result = c.up ? fresh.MoveItemUp(c.index) : fresh.MoveItemDown(c.index);
            }
            EXPECT_EQ(result, c.result) << c.up << c.index << byItem;
            EXPECT_EQ(Labels(fresh), c.order) << c.up << c.index << byItem;
        }
    }
    const CZephraItem stranger;
    EXPECT_FALSE(menu.MoveItemUp(&stranger));
    EXPECT_FALSE(menu.MoveItemDown(nullptr));
}

// ---- Copies

TEST(MenuCopy, ItemCopyIsDeepAndIndependent) {
    const auto source = MakeRichItem();
    source->m_pSubMenu->m_nNumber = 7;
    auto copy = std::make_unique<CZephraItem>(*source);
    EXPECT_TRUE(SameItemTree(*copy, *source));
    EXPECT_EQ(copy->m_strImageOverWeb, "r-web/over/");
    EXPECT_EQ(copy->m_pSubMenu->m_nNumber, -1);

    const auto sourceMenus = MenusOf(*source);
    for (const CZephraBody* menu : MenusOf(*copy))
        EXPECT_EQ(std::find(sourceMenus.begin(), sourceMenus.end(), menu), sourceMenus.end());

    CZephraItem& deep = *copy->m_pSubMenu->m_items[0]->m_pSubMenu->m_items[1];
    deep.m_strLink = "changed";
    deep.m_pSubMenu->m_styleClick.strExtra = "changed";
    copy->m_pSubMenu->RemoveItemAt(1);
    const auto pristine = MakeRichItem();
    EXPECT_TRUE(SameItemTree(*source, *pristine));
    EXPECT_FALSE(SameItemTree(*copy, *source));

    copy.reset();
    EXPECT_TRUE(SameItemTree(*source, *pristine));
}

TEST(MenuCopy, CopyStyleLeavesItemsAndFlagsAlone) {
    CZephraBody source;
    FillMenu(source, 3);
    source.m_bVisible = 0;
    Append(source, "s");
    CZephraBody target;
    Append(target, "t");
    target.m_nNumber = 4;
    target.CopyStyle(source);
    EXPECT_EQ(target.m_strName, "menu3");
    EXPECT_EQ(target.m_nBorderWidth, source.m_nBorderWidth);
    EXPECT_EQ(target.m_styleClick, source.m_styleClick);
    EXPECT_EQ(target.m_bVisible, 1);
    EXPECT_EQ(target.m_nNumber, 4);
    EXPECT_EQ(Labels(target), (std::vector<std::string>{"t"}));

    // The copy constructor takes the flag and the items too.
    const CZephraBody copy(source);
    EXPECT_TRUE(SameMenuTree(copy, source));
}

TEST(MenuCopy, SetSubMenuReplacesAndRefusesNull) {
    CZephraItem item;
    Append(*item.m_pSubMenu, "old");
    auto menu = std::make_unique<CZephraBody>();
    CZephraBody* raw = menu.get();
    EXPECT_TRUE(item.SetSubMenu(std::move(menu)));
    EXPECT_EQ(item.m_pSubMenu.get(), raw);
    EXPECT_FALSE(item.SetSubMenu(nullptr));
    EXPECT_EQ(item.m_pSubMenu.get(), raw);
}

// ---- The applet

TEST(Applet, ResetKeepsOnlyTheListedSettings) {
    CAppletParameters applet;
    AppendTopLevel(applet, 2);
    applet.m_strName = "x";
    applet.m_nAlign = 2;
    applet.m_nWidth = 1;
    applet.m_nHeight = 2;
    applet.m_clrBack = 3;
    applet.m_strImage = "/bg.gif";
    applet.m_nImageMode = 1;
    applet.m_nImageX = 4;
    applet.m_nImageY = 5;
    applet.m_strAudio = "/bg.au";
    applet.m_strCodebase = "cb/";
    applet.m_bProgressBar = 0;
    applet.m_strLoadingMessage = "wait";
    applet.m_strClassFolder = "/classes/";
    applet.m_strAudioWeb = "aw/";
    applet.m_strImageWeb = "iw/";
    applet.NumberMenus(applet.m_menus[0].get(), 0);

    applet.Reset();
    EXPECT_TRUE(applet.m_menus.empty());
    EXPECT_TRUE(applet.m_flatItems.empty()); // its items are gone
    EXPECT_EQ(applet.m_strName, "Zephra Applet Properties");
    EXPECT_EQ(applet.m_nAlign, 0);
    EXPECT_EQ(applet.m_nWidth, 400);
    EXPECT_EQ(applet.m_nHeight, 200);
    EXPECT_EQ(applet.m_clrBack, 0);
    EXPECT_EQ(applet.m_strImage, "");
    EXPECT_EQ(applet.m_nImageMode, 0);
    EXPECT_EQ(applet.m_nImageX, 0);
    EXPECT_EQ(applet.m_nImageY, 0);
    EXPECT_EQ(applet.m_strAudio, "");
    EXPECT_EQ(applet.m_strCodebase, "");
    EXPECT_EQ(applet.m_bProgressBar, 0);
    EXPECT_EQ(applet.m_strLoadingMessage, "wait");
    EXPECT_EQ(applet.m_strClassFolder, "/classes/");
    EXPECT_EQ(applet.m_strAudioWeb, "aw/");
    EXPECT_EQ(applet.m_strImageWeb, "iw/");
}

TEST(Applet, CopyFromReplacesMenusInOrderWithTopLevelNames) {
    CAppletParameters source;
    for (int i = 0; i < 3; ++i) {
        CZephraBody* menu = AppendTopLevel(source, i + 1);
        FillMenu(*menu, i + 10);
        menu->m_items[0]->m_strLabel = "first of " + std::to_string(i);
    }
    source.m_strName = "name";
    source.m_nAlign = 1;
    source.m_nWidth = 11;
    source.m_nHeight = 12;
    source.m_clrBack = 13;
    source.m_strImage = "img";
    source.m_nImageMode = 1;
    source.m_nImageX = 14;
    source.m_nImageY = 15;
    source.m_strAudio = "snd";
    source.m_bProgressBar = 0;
    source.m_strLoadingMessage = "msg";
    source.m_strClassFolder = "/cls/";
    source.m_strAudioWeb = "aw/";
    source.m_strImageWeb = "iw/";
    source.m_strCodebase = "cb/";
    source.m_nMenuCounter = 9;
    source.m_strItemCounts = "1,";

    CAppletParameters copy;
    AppendTopLevel(copy, 5);
    copy.CopyFrom(source);
    ASSERT_EQ(copy.m_menus.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(copy.m_menus[i]->m_strName, "top-level Menu");
        EXPECT_EQ(copy.m_menus[i]->m_items[0]->m_strLabel, "first of " + std::to_string(i));
        EXPECT_NE(copy.m_menus[i], source.m_menus[i]);
        CZephraBody renamed(*source.m_menus[i]);
        renamed.m_strName = "top-level Menu";
        EXPECT_TRUE(SameMenuTree(*copy.m_menus[i], renamed));
    }
    EXPECT_EQ(source.m_menus[0]->m_strName, "menu10"); // the source keeps its names
    EXPECT_EQ(copy.m_strName, "name");
    EXPECT_EQ(copy.m_nAlign, 1);
    EXPECT_EQ(copy.m_nWidth, 11);
    EXPECT_EQ(copy.m_nHeight, 12);
    EXPECT_EQ(copy.m_clrBack, 13);
    EXPECT_EQ(copy.m_strImage, "img");
    EXPECT_EQ(copy.m_nImageMode, 1);
    EXPECT_EQ(copy.m_nImageX, 14);
    EXPECT_EQ(copy.m_nImageY, 15);
    EXPECT_EQ(copy.m_strAudio, "snd");
    EXPECT_EQ(copy.m_bProgressBar, 0);
    EXPECT_EQ(copy.m_strLoadingMessage, "msg");
    EXPECT_EQ(copy.m_strClassFolder, "/cls/");
    EXPECT_EQ(copy.m_strAudioWeb, "aw/");
    EXPECT_EQ(copy.m_strImageWeb, "iw/");
    EXPECT_EQ(copy.m_strCodebase, "cb/");
    EXPECT_EQ(copy.m_nMenuCounter, 0);
    EXPECT_EQ(copy.m_strItemCounts, "");

    // Copying back over itself must not lose the tree.
    copy.CopyFrom(copy);
    EXPECT_EQ(copy.m_menus.size(), 3u);
    EXPECT_EQ(copy.m_menus[2]->m_items.size(), 3u);
}

TEST(Applet, TopLevelListOperations) {
    CAppletParameters applet;
    auto named = std::make_unique<CZephraBody>("Menu");
    CZephraBody* a = named.get();
    EXPECT_TRUE(applet.AddTopLevelMenu(std::move(named), false));
    EXPECT_EQ(a->m_strName, "top-level Menu");
    CZephraBody* b = AppendTopLevel(applet, 1);
    EXPECT_FALSE(applet.AddTopLevelMenu(nullptr, true));

    CZephraBody* copy = applet.AddTopLevelMenuCopy(*b);
    ASSERT_EQ(applet.m_menus.size(), 3u);
    EXPECT_EQ(applet.m_menus[0].get(), copy);
    EXPECT_TRUE(SameMenuTree(*copy, *b));

    // Order is copy, a, b.
    const CZephraBody stranger;
    EXPECT_FALSE(applet.MoveTopLevelMenuUp(copy));
    EXPECT_FALSE(applet.MoveTopLevelMenuDown(b));
    EXPECT_FALSE(applet.MoveTopLevelMenuUp(&stranger));
    EXPECT_FALSE(applet.MoveTopLevelMenuDown(nullptr));
    EXPECT_FALSE(applet.MoveTopLevelMenuUp(b->m_items[0]->m_pSubMenu.get()));
    EXPECT_TRUE(applet.MoveTopLevelMenuUp(b));
    EXPECT_TRUE(applet.MoveTopLevelMenuDown(copy));
    EXPECT_EQ(applet.m_menus[0].get(), b);
    EXPECT_EQ(applet.m_menus[1].get(), copy);
    EXPECT_EQ(applet.m_menus[2].get(), a);

    EXPECT_FALSE(applet.RemoveTopLevelMenu(&stranger));
    EXPECT_FALSE(applet.RemoveTopLevelMenu(nullptr));
    EXPECT_TRUE(applet.RemoveTopLevelMenu(copy));
    EXPECT_FALSE(applet.RemoveTopLevelMenu(copy));
    ASSERT_EQ(applet.m_menus.size(), 2u);
    EXPECT_EQ(applet.m_menus[0].get(), b);
    EXPECT_EQ(applet.m_menus[1].get(), a);
}

// ---- Searching, applying, numbering

// top0: no items
// top1: a (empty sub menu), b -> [c -> [d]]
// top2: e -> [f]
class MenuTree : public ::testing::Test {
protected:
    void SetUp() override {
        top0 = AppendTopLevel(applet, 0);
        top1 = AppendTopLevel(applet, 0);
        top2 = AppendTopLevel(applet, 0);
        a = Append(*top1, "a");
        b = Append(*top1, "b");
        c = Append(*b->m_pSubMenu, "c");
        d = Append(*c->m_pSubMenu, "d");
        e = Append(*top2, "e");
        f = Append(*e->m_pSubMenu, "f");
    }
    CAppletParameters applet;
    CZephraBody *top0, *top1, *top2;
    CZephraItem *a, *b, *c, *d, *e, *f;
};

TEST_F(MenuTree, FindMenuAtDepthSkipsMenusWithoutItems) {
    b->m_bVisible = 0; // hidden records count like shown ones
    EXPECT_EQ(applet.FindMenuAtDepth(0), top1);
    EXPECT_EQ(applet.FindMenuAtDepth(1), b->m_pSubMenu.get());
    EXPECT_EQ(applet.FindMenuAtDepth(2), c->m_pSubMenu.get());
    EXPECT_EQ(applet.FindMenuAtDepth(3), nullptr);
    EXPECT_EQ(applet.FindMenuAtDepth(-1), nullptr);

    // Only when top1 has nothing at depth 1 does the search reach top2.
    b->m_pSubMenu->RemoveAllItems();
    EXPECT_EQ(applet.FindMenuAtDepth(1), e->m_pSubMenu.get());
    CAppletParameters empty;
    EXPECT_EQ(empty.FindMenuAtDepth(0), nullptr);
}

TEST_F(MenuTree, FindParentMenuSearchesBelowTheGivenMenu) {
    EXPECT_EQ(FindParentMenu(top1, b), top1);
    EXPECT_EQ(FindParentMenu(top1, c), b->m_pSubMenu.get());
    EXPECT_EQ(FindParentMenu(top1, d), c->m_pSubMenu.get());
    EXPECT_EQ(FindParentMenu(b->m_pSubMenu.get(), d), c->m_pSubMenu.get());
    EXPECT_EQ(FindParentMenu(top1, f), nullptr);
    EXPECT_EQ(FindParentMenu(top0, a), nullptr);
    EXPECT_EQ(FindParentMenu(nullptr, a), nullptr);
    EXPECT_EQ(FindParentMenu(top1, nullptr), nullptr);
}

TEST_F(MenuTree, ApplyImagesAndAudioReachHiddenItemsAndOptionallyBelow) {
    a->m_bVisible = 0;
    b->m_strImageNormal = "/old/n.gif";
    // The mouse-over image comes from an item that changes on the way; its value at the call
    // must be used throughout.
    ApplyImages("/n.gif", "n/", b->m_strImageNormal, "o/", "/c.gif", "c/", top1, false);
    for (const CZephraItem* item : {a, b}) {
        EXPECT_EQ(item->m_strImageNormal, "/n.gif");
        EXPECT_EQ(item->m_strImageNormalWeb, "n/");
        EXPECT_EQ(item->m_strImageOver, "/old/n.gif");
        EXPECT_EQ(item->m_strImageOverWeb, "o/");
        EXPECT_EQ(item->m_strImageClick, "/c.gif");
        EXPECT_EQ(item->m_strImageClickWeb, "c/");
    }
    EXPECT_EQ(c->m_strImageNormal, "");

    ApplyImages("/n2.gif", "", "", "", "", "", top1, true);
    for (const CZephraItem* item : {a, b, c, d})
        EXPECT_EQ(item->m_strImageNormal, "/n2.gif");
    EXPECT_EQ(e->m_strImageNormal, "");

    ApplyAudio("/o.au", "o/", "/c.au", "c/", b->m_pSubMenu.get(), false);
    EXPECT_EQ(c->m_strAudioOver, "/o.au");
    EXPECT_EQ(c->m_strAudioOverWeb, "o/");
    EXPECT_EQ(c->m_strAudioClick, "/c.au");
    EXPECT_EQ(c->m_strAudioClickWeb, "c/");
    EXPECT_EQ(d->m_strAudioOver, "");
    EXPECT_EQ(b->m_strAudioOver, "");
    ApplyAudio("/o2.au", "", "", "", b->m_pSubMenu.get(), true);
    EXPECT_EQ(c->m_strAudioOver, "/o2.au");
    EXPECT_EQ(d->m_strAudioOver, "/o2.au");
    EXPECT_EQ(c->m_strAudioClick, "");

    ApplyImages("x", "x", "x", "x", "x", "x", nullptr, true); // nothing to do
    ApplyAudio("x", "x", "x", "x", nullptr, true);
}

TEST_F(MenuTree, NumberMenusCountsInPreOrder) {
    CZephraItem* g = Append(*top1, "g"); // top1: a, b, g
    applet.m_nMenuCounter = 0;
    applet.m_flatItems.clear();
    for (const auto& menu : applet.m_menus)
        applet.NumberMenus(menu.get(), applet.m_nMenuCounter);
    applet.NumberMenus(nullptr, 99);

    // top0; top1, its sub menus a, b (with c's and d's below), g; top2 and e's.
    const std::vector<std::pair<const CZephraBody*, int32_t>> expected = {
        {top0, 0},
        {top1, 1},
        {a->m_pSubMenu.get(), 2},
        {b->m_pSubMenu.get(), 3},
        {c->m_pSubMenu.get(), 4},
        {d->m_pSubMenu.get(), 5},
        {g->m_pSubMenu.get(), 6},
        {top2, 7},
        {e->m_pSubMenu.get(), 8},
        {f->m_pSubMenu.get(), 9},
    };
    for (const auto& [menu, number] : expected)
        EXPECT_EQ(menu->m_nNumber, number);
    EXPECT_EQ(applet.m_nMenuCounter, 10);
    EXPECT_EQ(applet.m_flatItems, (std::vector<CZephraItem*>{a, b, g, c, d, e, f}));
}

// ---- Archive form

namespace {

void WriteMenuHead(CArchiveWriter& w, int32_t count, const char* name = "Menu") {
    w.WriteString(name);
    for (int i = 0; i < 10; ++i)
        w.WriteInt32(0);
    for (int s = 0; s < 3; ++s) {
        for (int i = 0; i < 13; ++i)
            w.WriteInt32(0);
        w.WriteString("");
    }
    w.WriteInt32(1);
    w.WriteInt32(count);
}

void WriteItemTail(CArchiveWriter& w) {
    for (int i = 0; i < 14; ++i)
        w.WriteString("");
    w.WriteInt32(1);
}

// An archived item whose sub menus nest levels deep, written field by field.
void WriteChainItem(CArchiveWriter& w, int levels) {
    w.BeginObject("CZephraItem", 1);
    WriteMenuHead(w, levels > 1 ? 1 : 0);
    if (levels > 1)
        WriteChainItem(w, levels - 1);
    WriteItemTail(w);
}

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST(MenuArchive, ItemRoundTripKeepsTheWholeTree) {
    const auto source = MakeRichItem();
    for (const CZephraBody* menu : MenusOf(*source))
        const_cast<CZephraBody*>(menu)->m_nNumber = 42;
    const std::vector<uint8_t> bytes = ArchiveItem(*source);
    ASSERT_FALSE(bytes.empty());

    CZephraItem target;
    Append(*target.m_pSubMenu, "replaced");
    ASSERT_TRUE(LoadArchivedItem(bytes, target));
    EXPECT_TRUE(SameItemTree(target, *source));
    for (const CZephraBody* menu : MenusOf(target))
        EXPECT_EQ(menu->m_nNumber, -1);
    // The menu round trip on its own, into a menu that held items before.
    CArchiveWriter w;
    source->m_pSubMenu->Serialize(w);
    CZephraBody menu;
    Append(menu, "old");
    CArchiveReader r(w.Bytes());
    menu.Deserialize(r, 0);
    EXPECT_TRUE(r.AtEnd());
    EXPECT_TRUE(SameMenuTree(menu, *source->m_pSubMenu));
}

TEST(MenuArchive, FieldsAreWrittenInArchiveOrder) {
    CZephraItem item;
    FillItem(item, "");
    item.m_bVisible = 0;
    FillMenu(*item.m_pSubMenu, 2); // numbers 201, 202, ... in field order
    Append(*item.m_pSubMenu, "one");
    Append(*item.m_pSubMenu, "two");
    const std::vector<uint8_t> bytes = ArchiveItem(item);

    CArchiveReader r(bytes);
    const std::vector<uint8_t> head(bytes.begin(), bytes.begin() + 17);
    const std::string name = "CZephraItem";
    std::vector<uint8_t> expectedHead = {0xFF, 0xFF, 1, 0, 11, 0};
    expectedHead.insert(expectedHead.end(), name.begin(), name.end());
    EXPECT_EQ(head, expectedHead);
    std::string className;
    ASSERT_TRUE(r.ReadObjectTag(std::vector<CArchiveClass>{{"CZephraItem", 1}}, className));

    // The sub menu in place: name, ten numbers, three styles, shown flag, item count.
    EXPECT_EQ(r.ReadString(), "menu2");
    int32_t expected = 200;
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(r.ReadInt32(), ++expected);
    for (int s = 0; s < 3; ++s) {
        for (int i = 0; i < 13; ++i)
            EXPECT_EQ(r.ReadInt32(), ++expected);
        EXPECT_EQ(r.ReadString(), "extra" + std::to_string(++expected));
    }
    EXPECT_EQ(r.ReadInt32(), 0);
    EXPECT_EQ(r.ReadInt32(), 2);
    // Later items carry the short class tag.
    for (const char* label : {"one", "two"}) {
        EXPECT_EQ(r.ReadUInt16(), 0x8001);
        CZephraBody skipped;
        skipped.Deserialize(r, 1);
        EXPECT_EQ(r.ReadString(), label);
        for (int i = 0; i < 13; ++i)
            EXPECT_EQ(r.ReadString(), "");
        EXPECT_EQ(r.ReadInt32(), 1);
    }
    for (const char* text :
         {"label\r\nline2", "description", "/img/normal.gif", "web/normal/", "/img/over.gif",
          "web/over/", "/img/click.gif", "web/click/", "/snd/over.au", "web/aover/",
          "/snd/click.au", "web/aclick/", "_blank", "http://example.test/a,b"})
        EXPECT_EQ(r.ReadString(), text);
    EXPECT_EQ(r.ReadInt32(), 0);
    EXPECT_TRUE(r.AtEnd());
}

class ArchiveTarget : public ::testing::Test {
protected:
    void SetUp() override {
        FillItem(target, "t-");
        Append(*target.m_pSubMenu, "kept");
        subMenu = target.m_pSubMenu.get();
        before = std::make_unique<CZephraItem>(target);
    }
    // Loading bytes fails and leaves the target exactly as it was.
    void ExpectRefused(const std::vector<uint8_t>& bytes, const std::string& what) {
        EXPECT_FALSE(LoadArchivedItem(bytes, target)) << what;
        EXPECT_EQ(target.m_pSubMenu.get(), subMenu) << what;
        EXPECT_TRUE(SameItemTree(target, *before)) << what;
    }
    CZephraItem target;
    CZephraBody* subMenu = nullptr;
    std::unique_ptr<CZephraItem> before;
};

TEST_F(ArchiveTarget, TruncatedOrLongerArchivesAreRefused) {
    const std::vector<uint8_t> bytes = ArchiveItem(*MakeRichItem());
    for (size_t n = 0; n < bytes.size(); ++n)
        ExpectRefused(std::vector<uint8_t>(bytes.begin(), bytes.begin() + n),
                      "cut at " + std::to_string(n));
    // The payload is exactly one item.
    ExpectRefused(Concat(bytes, {0}), "trailing byte");
}

TEST_F(ArchiveTarget, ForgedArchivesAreRefused) {
    CArchiveWriter tag;
    tag.BeginObject("CZephraItem", 1);
    const std::vector<uint8_t> itemTag = tag.Bytes();

    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    std::vector<Case> cases;
    cases.push_back({"null reference", {0, 0}});
    cases.push_back(
        {"4 GB name", Concat(itemTag, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 'M'})});
    for (int32_t count : {0x7FFFFFFF, -1, 2}) {
        CArchiveWriter w;
        w.BeginObject("CZephraItem", 1);
        WriteMenuHead(w, count);
        WriteChainItem(w, 1); // room for one item only
        WriteItemTail(w);
        cases.push_back({"forged item count", w.TakeBytes()});
    }
    for (auto [className, schema] :
         {std::pair<const char*, uint16_t>{"CZephraBody", 1}, {"CZephraItem", 2}}) {
        CArchiveWriter w;
        w.BeginObject(className, schema);
        WriteMenuHead(w, 0);
        WriteItemTail(w);
        cases.push_back({"unknown class or schema", w.TakeBytes()});
    }
    {
        CArchiveWriter w;
        w.BeginObject("CZephraItem", 1);
        WriteMenuHead(w, 1);
        w.WriteNullObject();
        WriteItemTail(w);
        cases.push_back({"null item in a menu", w.TakeBytes()});
    }
    {
        CArchiveWriter w;
        w.BeginObject("CZephraItem", 1);
        WriteMenuHead(w, 1);
        w.WriteUInt16(2); // back reference to the outer item
        WriteItemTail(w);
        cases.push_back({"back reference", w.TakeBytes()});
    }
    {
        CArchiveWriter w;
        w.BeginObject("CZephraItem", 1);
        WriteMenuHead(w, 1);
        w.BeginObject("CZephraOther", 1);
        WriteMenuHead(w, 0);
        WriteItemTail(w);
        WriteItemTail(w);
        cases.push_back({"unknown class inside", w.TakeBytes()});
    }
    {
        CArchiveWriter w;
        WriteChainItem(w, kMaxMenuDepth + 1);
        cases.push_back({"nested too deeply", w.TakeBytes()});
    }
    for (const Case& c : cases)
        ExpectRefused(c.bytes, c.what);

    // The hand-written form is right: at the limit it loads.
    CArchiveWriter w;
    WriteChainItem(w, kMaxMenuDepth);
    CZephraItem loaded;
    EXPECT_TRUE(LoadArchivedItem(w.Bytes(), loaded));

    // Items of the smallest possible size pass the item-count check.
    CArchiveWriter small;
    WriteMenuHead(small, 3, "");
    for (int i = 0; i < 3; ++i) {
        small.BeginObject("CZephraItem", 1);
        WriteMenuHead(small, 0, "");
        WriteItemTail(small);
    }
    CArchiveReader r(small.Bytes());
    CZephraBody menu;
    EXPECT_NO_THROW(menu.Deserialize(r, 0));
    EXPECT_EQ(menu.m_items.size(), 3u);
}

TEST(MenuArchive, ArchiveItemWritesOnlyWhatCanBeLoadedBack) {
    {
        const auto deepest = MakeChain(kMaxMenuDepth);
        CZephraItem loaded;
        ASSERT_TRUE(LoadArchivedItem(ArchiveItem(*deepest), loaded));
        EXPECT_TRUE(SameItemTree(loaded, *deepest));
        EXPECT_TRUE(ArchiveItem(*MakeChain(kMaxMenuDepth + 1)).empty());
        CArchiveWriter w;
        EXPECT_THROW(MakeChain(kMaxMenuDepth + 1)->Serialize(w), std::length_error);
    }
    {
        // The outer item and kMaxArchivedItems - 1 more fit; one more does not.
        CZephraItem wide;
        for (size_t i = 1; i < kMaxArchivedItems; ++i)
            Append(*wide.m_pSubMenu, "w");
        CZephraItem loaded;
        ASSERT_TRUE(LoadArchivedItem(ArchiveItem(wide), loaded));
        EXPECT_EQ(loaded.m_pSubMenu->m_items.size(), kMaxArchivedItems - 1);
        Append(*wide.m_pSubMenu->m_items[0]->m_pSubMenu, "one too many");
        EXPECT_TRUE(ArchiveItem(wide).empty());
    }
}

// ---- Deep trees

TEST(DeepTrees, HundredThousandLevelsNeedNoStack) {
    constexpr int kLevels = 100000;
    {
        // Built from the bottom with SetSubMenu and AddItem, destroyed from the top.
        auto menu = std::make_unique<CZephraBody>();
        for (int i = 0; i < kLevels; ++i) {
            auto item = std::make_unique<CZephraItem>();
            ASSERT_TRUE(item->SetSubMenu(std::move(menu)));
            menu = std::make_unique<CZephraBody>();
            menu->AddItem(std::move(item), false);
        }
        menu.reset();
    }
    {
        auto chain = MakeChain(kLevels);
        // Replacing or emptying a deep sub menu tears it down too.
        auto again = MakeChain(kLevels);
        again->SetSubMenu(std::make_unique<CZephraBody>());
        again = MakeChain(kLevels);
        again->m_pSubMenu->RemoveAllItems();

        const CZephraItem copy(*chain);
        EXPECT_TRUE(SameItemTree(copy, *chain));

        CAppletParameters applet;
        auto top = std::make_unique<CZephraBody>();
        top->AddItem(std::move(chain), false);
        applet.AddTopLevelMenu(std::move(top), false);
        CZephraBody* root = applet.m_menus[0].get();

        applet.NumberMenus(root, 0);
        EXPECT_EQ(applet.m_nMenuCounter, kLevels + 1);
        EXPECT_EQ(applet.m_flatItems.size(), static_cast<size_t>(kLevels));
        CZephraBody* deepest = applet.FindMenuAtDepth(kLevels - 1);
        ASSERT_NE(deepest, nullptr);
        EXPECT_EQ(deepest->m_nNumber, kLevels - 1);
        EXPECT_EQ(FindParentMenu(root, deepest->m_items[0].get()), deepest);
        applet.AccumulateExtent(root, 0, 0);
        EXPECT_FALSE(applet.m_rcExtent.IsRectEmpty());
        ApplyAudio("/a.au", "", "", "", root, true);
        EXPECT_EQ(deepest->m_items[0]->m_strAudioOver, "/a.au");
        EXPECT_TRUE(ArchiveItem(*root->m_items[0]).empty());

        CAppletParameters snapshot;
        snapshot.CopyFrom(applet);
        applet.Reset();
    } // the copy and the snapshot go here
}
