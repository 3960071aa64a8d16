#include "component/model/parameters.h"

#include "component/model/fieldtext.h"
#include "component/model/menumodel.h"
#include "component/model/widgetconfig.h"
#include "platform/text/pathutil.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace {

constexpr char kSeparator = ',';
constexpr std::string_view kStoredVersion = "2.1";

// Fields of one value, joined by single commas.
class CFieldList {
public:
    void Text(std::string_view text) {
        Next();
        AppendEscapedField(m_strValue, text);
    }
    void Number(int64_t value) {
        Next();
        AppendDecimal(m_strValue, value);
    }
    void Empty() { Next(); }
    std::string Take() { return std::move(m_strValue); }

private:
    void Next() {
        if (m_bStarted)
            m_strValue.push_back(kSeparator);
        m_bStarted = true;
    }

    std::string m_strValue;
    bool m_bStarted = false;
};

std::string MenuParameterName(std::string_view prefix, int32_t menu) {
    return std::string(prefix) + std::to_string(menu);
}

std::string ItemParameterName(int32_t menu, int64_t item) {
    return "I" + std::to_string(menu) + "-" + std::to_string(item);
}

// The stored form keeps only the file name; the reader puts the configuration's folder back.
std::string StoredFileName(const std::string& path) {
    return FileNamePart(path);
}

std::string StoredAppletStyle(const CAppletParameters& applet) {
    CFieldList fields;
    fields.Text(applet.m_strName);
    fields.Number(applet.m_nAlign);
    fields.Number(applet.m_nWidth);
    fields.Number(applet.m_nHeight);
    fields.Number(applet.m_clrBack);
    fields.Number(applet.m_clrBack); // kept for older readers; ignored when reading
    fields.Text(StoredFileName(applet.m_strImage));
    fields.Number(applet.m_nImageMode);
    fields.Number(applet.m_nImageX);
    fields.Number(applet.m_nImageY);
    fields.Text(StoredFileName(applet.m_strAudio));
    fields.Text(applet.m_strImageWeb);
    fields.Text(applet.m_strAudioWeb);
    fields.Text(applet.m_strCodebase);
    fields.Number(applet.m_bProgressBar);
    fields.Text(applet.m_strLoadingMessage);
    return fields.Take();
}

std::string StoredMenuStyle(const CZephraBody& menu) {
    CFieldList fields;
    for (int32_t value :
         {menu.m_clrBack, menu.m_nBackStyle, menu.m_nOrientation, menu.m_nCorner, menu.m_nX,
          menu.m_nY, menu.m_nItemWidth, menu.m_nItemHeight, menu.m_nItemGap, menu.m_nBorderWidth})
        fields.Number(value);
    fields.Text(menu.m_strName);
    fields.Number(menu.m_bVisible);
    return fields.Take();
}

// Three groups of fifteen fields (thirteen numbers, two empty), then a final comma.
std::string StoredItemStyles(const CZephraBody& menu) {
    CFieldList fields;
    for (const ItemStateStyle* style :
         {&menu.m_styleNormal, &menu.m_styleOver, &menu.m_styleClick}) {
        for (int32_t value :
             {style->clrBack, style->clrText, style->nBackground, style->nEffect, style->nFont,
              style->nFontSize, style->nFontStyle, style->nImageAlign, style->nTextAlign,
              style->nImageOffset, style->nTextOffset, style->nGradient, style->nBorder})
            fields.Number(value);
        fields.Empty();
        fields.Empty();
    }
    std::string value = fields.Take();
    value.push_back(kSeparator);
    return value;
}

std::string StoredItem(const CZephraItem& item) {
    CFieldList fields;
    fields.Text(item.m_strLabel);
    fields.Text(item.m_strDescription);
    fields.Text(item.m_strLink);
    fields.Text(item.m_strTarget);
    for (const std::string* path :
         {&item.m_strImageNormal, &item.m_strImageOver, &item.m_strImageClick, &item.m_strAudioOver,
          &item.m_strAudioClick})
        fields.Text(StoredFileName(*path));
    fields.Number(item.m_bVisible);
    for (const std::string* web :
         {&item.m_strImageNormalWeb, &item.m_strImageOverWeb, &item.m_strImageClickWeb,
          &item.m_strAudioOverWeb, &item.m_strAudioClickWeb})
        fields.Text(*web);
    return fields.Take();
}

// ---- Reading

// A stored file field as a local path in folder (which ends with a separator or is empty).
// Only the file-name part counts, so a field cannot reach outside the folder.
std::string StoredFileToPath(const std::string& field, const std::string& folder) {
    const std::string name = FileNamePart(field);
    if (name.empty() || name == "." || name == "..")
        return {};
    return folder + name;
}

void ReadAppletStyle(CAppletParameters& applet, const CWidgetConfig& config,
                     const std::string& folder) {
    const std::vector<std::string> v =
        SplitFields(config.GetParameter("ApStyle", ""), 16, kSeparator);
    applet.m_strName = v[0];
    applet.m_nAlign = AtoI(v[1]);
    applet.m_nWidth = AtoI(v[2]);
    applet.m_nHeight = AtoI(v[3]);
    applet.m_clrBack = AtoI(v[4]);
    applet.m_strImage = StoredFileToPath(v[6], folder);
    applet.m_nImageMode = AtoI(v[7]);
    applet.m_nImageX = AtoI(v[8]);
    applet.m_nImageY = AtoI(v[9]);
    applet.m_strAudio = StoredFileToPath(v[10], folder);
    applet.m_strImageWeb = v[11];
    applet.m_strAudioWeb = v[12];
    applet.m_strCodebase = v[13];
    applet.m_bProgressBar = AtoI(v[14]);
    applet.m_strLoadingMessage = v[15];
}

// What one call has read so far. The menus stay here, unlinked, until the whole shape is
// known; a menu owns only its items then, so dropping them all is flat work.
struct CReadMenus {
    std::vector<std::unique_ptr<CZephraBody>> menus;
    std::vector<size_t> firstItem;   // per menu: global index of its first item
    std::vector<CZephraItem*> items; // global index -> item (owned by its menu)
    std::vector<int32_t> itemMenu;   // global index -> number of the menu holding it
};

// The first N fields of value as numbers: AtoI of each field SplitFields would give, without
// making a text of each (the style values hold 57 numbers per menu). Missing fields read as 0.
template <size_t N> std::array<int32_t, N> NumberFields(std::string_view value) {
    std::array<int32_t, N> numbers{};
    size_t start = 0;
    for (size_t n = 0; n < N && start < value.size(); ++n) {
        // One pass per field: the fields are a few bytes long, too short for library searches.
        size_t end = start;
        bool escaped = false;
        for (; end < value.size() && value[end] != kSeparator; ++end)
            escaped = escaped || value[end] == '`';
        const std::string_view field = value.substr(start, end - start);
        numbers[n] = escaped ? AtoI(UnescapeField(field, kSeparator)) : AtoI(field);
        start = end + 1;
    }
    return numbers;
}

void ReadItemStyle(const std::array<int32_t, 45>& s, size_t base, ItemStateStyle& style) {
    int32_t* const fields[] = {&style.clrBack,      &style.clrText,     &style.nBackground,
                               &style.nEffect,      &style.nFont,       &style.nFontSize,
                               &style.nFontStyle,   &style.nImageAlign, &style.nTextAlign,
                               &style.nImageOffset, &style.nTextOffset, &style.nGradient,
                               &style.nBorder};
    for (size_t i = 0; i < std::size(fields); ++i)
        *fields[i] = s[base + i];
}

// A number as std::to_string writes it (digits only, no leading zero) that is at most limit.
// Names are matched by their exact text, so "I01-1" names nothing.
bool ParseNameNumber(std::string_view text, uint64_t limit, uint64_t& value) {
    if (text.empty() || text.size() > 18 || (text.size() > 1 && text[0] == '0'))
        return false;
    uint64_t n = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        n = n * 10 + static_cast<uint64_t>(c - '0');
    }
    value = n;
    return n <= limit;
}

// Where the parameters of each menu are, found in one walk over the map in key order. Looking up
// every name would cost a descent through the whole map per menu and per item: n log n for the
// tree, with a cache miss at nearly every step once the map outgrows the caches.
class CStoredIndex {
public:
    // Indexes menus 0 to menuCount - 1; the caller keeps menuCount within the map's size, so
    // nothing here is sized by a count the file merely claims.
    CStoredIndex(const CWidgetConfig::TextMap& parameters, size_t menuCount)
        : m_menuStyles(menuCount), m_itemStyles(menuCount), m_firstItem(menuCount, 0),
          m_itemCount(menuCount, 0) {
        if (menuCount == 0)
            return;
        const uint64_t lastMenu = menuCount - 1;
        for (const auto& [key, value] : parameters) {
            const std::string_view name = key;
            uint64_t m = 0;
            if (name.starts_with("MStyle-")) {
                if (ParseNameNumber(name.substr(7), lastMenu, m))
                    m_menuStyles[m] = value;
            } else if (name.starts_with("IStyle-")) {
                if (ParseNameNumber(name.substr(7), lastMenu, m))
                    m_itemStyles[m] = value;
            } else if (name.starts_with('I')) {
                const size_t dash = name.find('-');
                uint64_t i = 0;
                if (dash == std::string_view::npos ||
                    !ParseNameNumber(name.substr(1, dash - 1), lastMenu, m) ||
                    !ParseNameNumber(name.substr(dash + 1), UINT64_MAX, i) || i == 0)
                    continue;
                // Every name starting with "I<m>-" lies in one run of the key order, so the
                // items of a menu are one run here too.
                if (m_itemCount[m] == 0)
                    m_firstItem[m] = m_items.size();
                m_items.emplace_back(i, value);
                ++m_itemCount[m];
            }
        }
    }

    // Empty when the menu has no such parameter.
    std::string_view MenuStyle(size_t m) const {
        return m < m_menuStyles.size() ? m_menuStyles[m] : std::string_view();
    }
    std::string_view ItemStyles(size_t m) const {
        return m < m_itemStyles.size() ? m_itemStyles[m] : std::string_view();
    }

    // The values of items 1 to count of menu m, in order. False when one of them is missing or
    // empty.
    bool Items(size_t m, int64_t count, std::vector<std::string_view>& values) const {
        values.clear();
        if (count <= 0)
            return true;
        if (m >= m_itemCount.size() || static_cast<uint64_t>(count) > m_itemCount[m])
            return false; // fewer names than items: one is missing
        values.resize(static_cast<size_t>(count));
        for (size_t k = m_firstItem[m]; k < m_firstItem[m] + m_itemCount[m]; ++k) {
            const auto& [i, value] = m_items[k];
            if (i <= values.size())
                values[i - 1] = value;
        }
        return std::none_of(values.begin(), values.end(),
                            [](std::string_view value) { return value.empty(); });
    }

private:
    std::vector<std::string_view> m_menuStyles;
    std::vector<std::string_view> m_itemStyles;
    std::vector<size_t> m_firstItem;
    std::vector<size_t> m_itemCount;
    std::vector<std::pair<uint64_t, std::string_view>> m_items; // item number, value
};

// Reads menu m with itemCount items into read. False when one of its parameters is missing.
bool ReadMenu(const CStoredIndex& index, int32_t m, int32_t itemCount, const std::string& folder,
              CReadMenus& read, std::vector<std::string_view>& values) {
    const std::string_view menuStyle = index.MenuStyle(static_cast<size_t>(m));
    if (menuStyle.empty())
        return false;
    const std::string_view itemStyles = index.ItemStyles(static_cast<size_t>(m));
    if (itemStyles.empty())
        return false;
    if (!index.Items(static_cast<size_t>(m), itemCount, values))
        return false;

    auto menu = std::make_unique<CZephraBody>();
    const std::array<int32_t, 12> layoutValues = NumberFields<12>(menuStyle);
    int32_t* const layout[] = {&menu->m_clrBack,     &menu->m_nBackStyle,  &menu->m_nOrientation,
                               &menu->m_nCorner,     &menu->m_nX,          &menu->m_nY,
                               &menu->m_nItemWidth,  &menu->m_nItemHeight, &menu->m_nItemGap,
                               &menu->m_nBorderWidth};
    for (size_t i = 0; i < std::size(layout); ++i)
        *layout[i] = layoutValues[i];
    // Field 10, the stored name, is not taken: names follow from where the menu ends up.
    menu->m_bVisible = layoutValues[11];

    const std::array<int32_t, 45> styleValues = NumberFields<45>(itemStyles);
    ReadItemStyle(styleValues, 0, menu->m_styleNormal);
    ReadItemStyle(styleValues, 15, menu->m_styleOver);
    ReadItemStyle(styleValues, 30, menu->m_styleClick);

    read.firstItem.push_back(read.items.size());
    CZephraBody* const raw = menu.get();
    read.menus.push_back(std::move(menu));
    for (const std::string_view value : values) {
        std::vector<std::string> s = SplitFields(value, 15, kSeparator);
        auto item = std::make_unique<CZephraItem>(std::move(s[0]));
        item->m_strDescription = std::move(s[1]);
        item->m_strLink = std::move(s[2]);
        item->m_strTarget = std::move(s[3]);
        item->m_strImageNormal = StoredFileToPath(s[4], folder);
        item->m_strImageOver = StoredFileToPath(s[5], folder);
        item->m_strImageClick = StoredFileToPath(s[6], folder);
        item->m_strAudioOver = StoredFileToPath(s[7], folder);
        item->m_strAudioClick = StoredFileToPath(s[8], folder);
        item->m_bVisible = AtoI(s[9]);
        item->m_strImageNormalWeb = std::move(s[10]);
        item->m_strImageOverWeb = std::move(s[11]);
        item->m_strImageClickWeb = std::move(s[12]);
        item->m_strAudioOverWeb = std::move(s[13]);
        item->m_strAudioClickWeb = std::move(s[14]);
        read.items.push_back(item.get());
        read.itemMenu.push_back(m);
        raw->m_items.push_back(std::move(item));
    }
    return true;
}

constexpr int32_t kNoParent = -2;
constexpr int32_t kTopLevel = -1;

// Disjoint sets of menus joined by accepted links; each set is one tree under construction and
// knows the menu at its top. Linking menu n (always the top of its own tree, since it has no
// parent yet) under a menu m closes a cycle exactly when n is the top of m's tree.
class CMenuForest {
public:
    explicit CMenuForest(size_t count) : m_set(count), m_top(count) {
        for (size_t i = 0; i < count; ++i)
            m_set[i] = m_top[i] = static_cast<int32_t>(i);
    }
    int32_t TopOf(int32_t menu) { return m_top[static_cast<size_t>(Find(menu))]; }
    // Hangs the tree topped by child under the tree holding parent.
    void Join(int32_t child, int32_t parent) {
        const int32_t top = TopOf(parent);
        const int32_t a = Find(child);
        const int32_t b = Find(parent);
        m_set[static_cast<size_t>(a)] = b;
        m_top[static_cast<size_t>(b)] = top;
    }

private:
    int32_t Find(int32_t menu) {
        int32_t root = menu;
        while (m_set[static_cast<size_t>(root)] != root)
            root = m_set[static_cast<size_t>(root)];
        // Path compression keeps later look-ups short.
        while (m_set[static_cast<size_t>(menu)] != root)
            menu = std::exchange(m_set[static_cast<size_t>(menu)], root);
        return root;
    }

    std::vector<int32_t> m_set;
    std::vector<int32_t> m_top;
};

} // namespace

void WriteMenuParameters(CAppletParameters& applet, CWidgetConfig& config, CZephraBody* menu,
                         int32_t number) {
    if (menu == nullptr)
        return;
    // Pre-order from a work list: sub menus are pushed last to first, so the first item's sub
    // menu and everything below it are numbered before the second item's.
    std::vector<CZephraBody*> pending{menu};
    bool first = true;
    while (!pending.empty()) {
        CZephraBody* current = pending.back();
        pending.pop_back();
        current->m_nNumber = first ? number : applet.m_nMenuCounter;
        first = false;
        const int32_t n = current->m_nNumber;
        applet.m_strItemCounts += std::to_string(current->m_items.size());
        applet.m_strItemCounts.push_back(kSeparator);
        config.SetParameter(MenuParameterName("MStyle-", n), StoredMenuStyle(*current));
        config.SetParameter(MenuParameterName("IStyle-", n), StoredItemStyles(*current));
        int64_t i = 0;
        for (const auto& item : current->m_items) {
            applet.m_flatItems.push_back(item.get());
            config.SetParameter(ItemParameterName(n, ++i), StoredItem(*item));
        }
        ++applet.m_nMenuCounter;
        for (auto it = current->m_items.rbegin(); it != current->m_items.rend(); ++it)
            pending.push_back((*it)->m_pSubMenu.get());
    }
}

void WriteParameters(CAppletParameters& applet, CWidgetConfig& config) {
    config.ClearParameters();
    config.SetParameter("Version", std::string(kStoredVersion));
    config.SetParameter("ApStyle", StoredAppletStyle(applet));

    applet.m_nMenuCounter = 0;
    applet.m_strItemCounts.clear();
    applet.m_flatItems.clear();
    for (const auto& menu : applet.m_menus)
        WriteMenuParameters(applet, config, menu.get(), applet.m_nMenuCounter);

    std::string misc = std::to_string(applet.m_nMenuCounter);
    misc.push_back(kSeparator);
    misc += applet.m_strItemCounts;
    for (const auto& menu : applet.m_menus) {
        misc += "-" + std::to_string(menu->m_nNumber);
        misc.push_back(kSeparator);
    }
    for (size_t j = 0; j < applet.m_flatItems.size(); ++j) {
        misc +=
            std::to_string(j) + "-" + std::to_string(applet.m_flatItems[j]->m_pSubMenu->m_nNumber);
        misc.push_back(kSeparator);
    }
    applet.m_flatItems.clear();
    config.SetParameter("Misc", misc);
}

bool ReadParameters(CAppletParameters& applet, const CWidgetConfig& config,
                    const std::string& baseFolder) {
    const std::string folder = EnsureTrailingSeparator(baseFolder);
    ReadAppletStyle(applet, config, folder);

    const std::string misc = config.GetParameter("Misc", "");
    if (misc.empty())
        return true;
    // Cut once; every later look-up is by index.
    const std::vector<std::string_view> fields = CutFields(misc, kSeparator);
    const int32_t count = AtoI(FieldAt(fields, 0));
    if (count <= 0)
        return true;

    // Nothing is sized by count: every menu needs two parameters, so no more than half the map's
    // size can be read, and a forged count stops at the first menu that is not there.
    const CStoredIndex index(
        config.GetParameters(),
        std::min<size_t>(static_cast<size_t>(count), config.GetParameters().size() / 2));
    CReadMenus read;
    std::vector<std::string_view> values;
    for (int32_t m = 0; m < count; ++m) {
        if (!ReadMenu(index, m, AtoI(FieldAt(fields, static_cast<size_t>(m) + 1)), folder, read,
                      values))
            return false;
    }

    // Parent links, checked one by one against the links accepted before them.
    const size_t menuCount = read.menus.size();
    const size_t itemCount = read.items.size();
    std::vector<int32_t> parentItem(menuCount, kNoParent); // item index, kTopLevel or kNoParent
    std::vector<int32_t> itemChild(itemCount, -1);
    std::vector<int32_t> topLevel;
    CMenuForest forest(menuCount);
    for (size_t k = 0; k < menuCount; ++k) {
        const std::string_view entry = FieldAt(fields, menuCount + 1 + k);
        const size_t dash = entry.find('-');
        if (dash == std::string_view::npos)
            continue;
        const std::string_view head = entry.substr(0, dash);
        std::string_view tail = entry.substr(dash + 1);
        tail = tail.substr(0, tail.find('-'));
        const int32_t n = AtoI(tail);
        if (n < 0 || static_cast<size_t>(n) >= menuCount ||
            parentItem[static_cast<size_t>(n)] != kNoParent)
            continue;
        if (head.empty()) {
            parentItem[static_cast<size_t>(n)] = kTopLevel;
            topLevel.push_back(n);
            continue;
        }
        const int32_t j = AtoI(head);
        if (j < 0 || static_cast<size_t>(j) >= itemCount || itemChild[static_cast<size_t>(j)] >= 0)
            continue;
        const int32_t owner = read.itemMenu[static_cast<size_t>(j)];
        if (forest.TopOf(owner) == n)
            continue; // n is owner or above it
        parentItem[static_cast<size_t>(n)] = j;
        itemChild[static_cast<size_t>(j)] = n;
        forest.Join(n, owner);
    }

    // Depth of what hangs under the top-level menus, measured before anything is linked so that
    // a refused tree is still flat to destroy.
    std::vector<std::pair<int32_t, int32_t>> pending; // menu, depth
    for (int32_t top : topLevel)
        pending.emplace_back(top, 0);
    while (!pending.empty()) {
        const auto [menu, depth] = pending.back();
        pending.pop_back();
        const CZephraBody& body = *read.menus[static_cast<size_t>(menu)];
        if (body.m_items.empty())
            continue;
        // Every item owns a sub menu one level down.
        if (depth >= kMaxMenuDepth)
            return false;
        const size_t first = read.firstItem[static_cast<size_t>(menu)];
        for (size_t j = first; j < first + body.m_items.size(); ++j) {
            if (itemChild[j] >= 0)
                pending.emplace_back(itemChild[j], depth + 1);
        }
    }

    // From here on nothing allocates, so the applet gets all of the tree or none of it.
    applet.m_menus.reserve(applet.m_menus.size() + topLevel.size());
    for (size_t n = 0; n < menuCount; ++n) {
        const int32_t j = parentItem[n];
        if (j >= 0 &&
            parentItem[static_cast<size_t>(forest.TopOf(static_cast<int32_t>(n)))] == kTopLevel)
            read.items[static_cast<size_t>(j)]->SetSubMenu(std::move(read.menus[n]));
    }
    for (int32_t top : topLevel)
        applet.AddTopLevelMenu(std::move(read.menus[static_cast<size_t>(top)]), false);
    // Menus that no top-level link reaches are still here, unlinked, and go with read.
    return true;
}
