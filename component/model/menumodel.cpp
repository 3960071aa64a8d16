#include "component/model/menumodel.h"

#include "platform/archive/archive.h"
#include "platform/text/pathutil.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <tuple>
#include <utility>

namespace {

// Destroys menus and everything below them one record at a time: each menu hands the sub menus
// of its items to the work list before it dies, so no destructor ever recurses.
void DestroyMenus(std::vector<std::unique_ptr<CZephraBody>> pending) {
    while (!pending.empty()) {
        std::unique_ptr<CZephraBody> menu = std::move(pending.back());
        pending.pop_back();
        for (auto& item : menu->m_items) {
            if (item && item->m_pSubMenu)
                pending.push_back(std::move(item->m_pSubMenu));
        }
        menu->m_items.clear();
    }
}

void DestroyItems(std::vector<std::unique_ptr<CZephraItem>>& items) {
    std::vector<std::unique_ptr<CZephraBody>> pending;
    for (auto& item : items) {
        if (item && item->m_pSubMenu)
            pending.push_back(std::move(item->m_pSubMenu));
    }
    items.clear();
    DestroyMenus(std::move(pending));
}

int32_t Saturate(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

// Position of record in list, found by identity; -1 when it is not there.
template <typename T>
int32_t IndexOf(const std::vector<std::unique_ptr<T>>& list, const T* record) {
    if (record == nullptr)
        return -1;
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i].get() == record)
            return static_cast<int32_t>(i);
    }
    return -1;
}

template <typename T> bool SwapWithNext(std::vector<std::unique_ptr<T>>& list, int32_t index) {
    if (index < 0 || static_cast<size_t>(index) + 1 >= list.size())
        return false;
    std::swap(list[static_cast<size_t>(index)], list[static_cast<size_t>(index) + 1]);
    return true;
}

// Calls visit(menu) for menu and, when below is true, every menu under it.
template <typename Visit> void ForEachMenu(CZephraBody* menu, bool below, Visit visit) {
    std::vector<CZephraBody*> pending{menu};
    while (!pending.empty()) {
        CZephraBody* current = pending.back();
        pending.pop_back();
        visit(*current);
        if (below) {
            for (const auto& item : current->m_items)
                pending.push_back(item->m_pSubMenu.get());
        }
    }
}

// Smallest size of an archived item: its short object tag, a sub menu with empty name and
// extras and no items, fourteen empty texts and the shown flag.
constexpr size_t kMinMenuBytes = 1 + 10 * 4 + 3 * (13 * 4 + 1) + 4 + 4;
constexpr size_t kMinItemBytes = 2 + kMinMenuBytes + 14 * 1 + 4;

constexpr CArchiveClass kArchiveClasses[] = {{kItemClassName, kItemSchema}};

void WriteStyle(CArchiveWriter& archive, const ItemStateStyle& style) {
    for (int32_t value :
         {style.clrBack, style.clrText, style.nBorder, style.nBackground, style.nGradient,
          style.nEffect, style.nFont, style.nFontSize, style.nFontStyle, style.nTextAlign,
          style.nTextOffset, style.nImageAlign, style.nImageOffset})
        archive.WriteInt32(value);
    archive.WriteString(style.strExtra);
}

void ReadStyle(CArchiveReader& archive, ItemStateStyle& style) {
    for (int32_t* field :
         {&style.clrBack, &style.clrText, &style.nBorder, &style.nBackground, &style.nGradient,
          &style.nEffect, &style.nFont, &style.nFontSize, &style.nFontStyle, &style.nTextAlign,
          &style.nTextOffset, &style.nImageAlign, &style.nImageOffset})
        *field = archive.ReadInt32();
    style.strExtra = archive.ReadString();
}

bool SameItemFields(const CZephraItem& a, const CZephraItem& b) {
    return a.m_strLabel == b.m_strLabel && a.m_strDescription == b.m_strDescription &&
           a.m_strImageNormal == b.m_strImageNormal && a.m_strImageOver == b.m_strImageOver &&
           a.m_strImageClick == b.m_strImageClick && a.m_strAudioOver == b.m_strAudioOver &&
           a.m_strAudioClick == b.m_strAudioClick &&
           a.m_strImageNormalWeb == b.m_strImageNormalWeb &&
           a.m_strImageOverWeb == b.m_strImageOverWeb &&
           a.m_strImageClickWeb == b.m_strImageClickWeb &&
           a.m_strAudioOverWeb == b.m_strAudioOverWeb &&
           a.m_strAudioClickWeb == b.m_strAudioClickWeb && a.m_strTarget == b.m_strTarget &&
           a.m_strLink == b.m_strLink && a.m_bVisible == b.m_bVisible;
}

bool SameMenuFields(const CZephraBody& a, const CZephraBody& b) {
    return a.m_strName == b.m_strName && a.m_clrBack == b.m_clrBack &&
           a.m_nBackStyle == b.m_nBackStyle && a.m_nOrientation == b.m_nOrientation &&
           a.m_nCorner == b.m_nCorner && a.m_nX == b.m_nX && a.m_nY == b.m_nY &&
           a.m_nItemWidth == b.m_nItemWidth && a.m_nItemHeight == b.m_nItemHeight &&
           a.m_nItemGap == b.m_nItemGap && a.m_nBorderWidth == b.m_nBorderWidth &&
           a.m_styleNormal == b.m_styleNormal && a.m_styleOver == b.m_styleOver &&
           a.m_styleClick == b.m_styleClick && a.m_bVisible == b.m_bVisible &&
           a.m_items.size() == b.m_items.size();
}

} // namespace

CRect UnionRect(const CRect& a, const CRect& b) {
    if (a.IsRectEmpty())
        return b.IsRectEmpty() ? CRect{} : b;
    if (b.IsRectEmpty())
        return a;
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

// ---- CZephraItem

CZephraItem::CZephraItem(std::string label)
    : m_strLabel(std::move(label)), m_pSubMenu(std::make_unique<CZephraBody>()) {}

CZephraItem::CZephraItem(const CZephraItem& source)
    : m_pSubMenu(std::make_unique<CZephraBody>(*source.m_pSubMenu)) {
    CopyTextsFrom(source);
}

CZephraItem::~CZephraItem() {
    if (m_pSubMenu) {
        std::vector<std::unique_ptr<CZephraBody>> pending;
        pending.push_back(std::move(m_pSubMenu));
        DestroyMenus(std::move(pending));
    }
}

void CZephraItem::CopyTextsFrom(const CZephraItem& source) {
    m_strLabel = source.m_strLabel;
    m_strDescription = source.m_strDescription;
    m_strImageNormal = source.m_strImageNormal;
    m_strImageOver = source.m_strImageOver;
    m_strImageClick = source.m_strImageClick;
    m_strAudioOver = source.m_strAudioOver;
    m_strAudioClick = source.m_strAudioClick;
    m_strImageNormalWeb = source.m_strImageNormalWeb;
    m_strImageOverWeb = source.m_strImageOverWeb;
    m_strImageClickWeb = source.m_strImageClickWeb;
    m_strAudioOverWeb = source.m_strAudioOverWeb;
    m_strAudioClickWeb = source.m_strAudioClickWeb;
    m_strTarget = source.m_strTarget;
    m_strLink = source.m_strLink;
    m_bVisible = source.m_bVisible;
}

bool CZephraItem::SetSubMenu(std::unique_ptr<CZephraBody> menu) {
    if (!menu)
        return false;
    std::vector<std::unique_ptr<CZephraBody>> pending;
    pending.push_back(std::exchange(m_pSubMenu, std::move(menu)));
    DestroyMenus(std::move(pending));
    return true;
}

void CZephraItem::Swap(CZephraItem& other) noexcept {
    using std::swap;
    swap(m_strLabel, other.m_strLabel);
    swap(m_strDescription, other.m_strDescription);
    swap(m_strImageNormal, other.m_strImageNormal);
    swap(m_strImageOver, other.m_strImageOver);
    swap(m_strImageClick, other.m_strImageClick);
    swap(m_strAudioOver, other.m_strAudioOver);
    swap(m_strAudioClick, other.m_strAudioClick);
    swap(m_strImageNormalWeb, other.m_strImageNormalWeb);
    swap(m_strImageOverWeb, other.m_strImageOverWeb);
    swap(m_strImageClickWeb, other.m_strImageClickWeb);
    swap(m_strAudioOverWeb, other.m_strAudioOverWeb);
    swap(m_strAudioClickWeb, other.m_strAudioClickWeb);
    swap(m_strTarget, other.m_strTarget);
    swap(m_strLink, other.m_strLink);
    swap(m_pSubMenu, other.m_pSubMenu);
    swap(m_bVisible, other.m_bVisible);
}

void CZephraItem::Serialize(CArchiveWriter& archive) const {
    SerializeAt(archive, 0);
}

void CZephraItem::SerializeAt(CArchiveWriter& archive, int depth) const {
    m_pSubMenu->SerializeAt(archive, depth + 1);
    for (const std::string* text :
         {&m_strLabel, &m_strDescription, &m_strImageNormal, &m_strImageNormalWeb, &m_strImageOver,
          &m_strImageOverWeb, &m_strImageClick, &m_strImageClickWeb, &m_strAudioOver,
          &m_strAudioOverWeb, &m_strAudioClick, &m_strAudioClickWeb, &m_strTarget, &m_strLink})
        archive.WriteString(*text);
    archive.WriteInt32(m_bVisible);
}

void CZephraItem::Deserialize(CArchiveReader& archive, int depth) {
    if (depth >= kMaxMenuDepth)
        throw CArchiveException("menu tree nested too deeply");
    m_pSubMenu->Deserialize(archive, depth + 1);
    for (std::string* text :
         {&m_strLabel, &m_strDescription, &m_strImageNormal, &m_strImageNormalWeb, &m_strImageOver,
          &m_strImageOverWeb, &m_strImageClick, &m_strImageClickWeb, &m_strAudioOver,
          &m_strAudioOverWeb, &m_strAudioClick, &m_strAudioClickWeb, &m_strTarget, &m_strLink})
        *text = archive.ReadString();
    m_bVisible = archive.ReadInt32();
}

// ---- CZephraBody

CZephraBody::CZephraBody(std::string name) : m_strName(std::move(name)) {}

CZephraBody::CZephraBody(const CZephraBody& source) {
    CopyStyle(source);
    m_bVisible = source.m_bVisible;
    CopyItemsFrom(source);
}

CZephraBody::~CZephraBody() {
    DestroyItems(m_items);
}

// Appends deep copies of source's items to this new menu, level by level from a work list so that
// the depth of the tree never reaches the call stack.
void CZephraBody::CopyItemsFrom(const CZephraBody& source) {
    std::vector<std::pair<const CZephraBody*, CZephraBody*>> pending{{&source, this}};
    while (!pending.empty()) {
        auto [from, to] = pending.back();
        pending.pop_back();
        for (const auto& item : from->m_items) {
            auto copy = std::make_unique<CZephraItem>();
            copy->CopyTextsFrom(*item);
            copy->m_pSubMenu->CopyStyle(*item->m_pSubMenu);
            copy->m_pSubMenu->m_bVisible = item->m_pSubMenu->m_bVisible;
            pending.emplace_back(item->m_pSubMenu.get(), copy->m_pSubMenu.get());
            to->m_items.push_back(std::move(copy));
        }
    }
}

void CZephraBody::CopyStyle(const CZephraBody& source) {
    m_strName = source.m_strName;
    m_clrBack = source.m_clrBack;
    m_nBackStyle = source.m_nBackStyle;
    m_nOrientation = source.m_nOrientation;
    m_nCorner = source.m_nCorner;
    m_nX = source.m_nX;
    m_nY = source.m_nY;
    m_nItemWidth = source.m_nItemWidth;
    m_nItemHeight = source.m_nItemHeight;
    m_nItemGap = source.m_nItemGap;
    m_nBorderWidth = source.m_nBorderWidth;
    m_styleNormal = source.m_styleNormal;
    m_styleOver = source.m_styleOver;
    m_styleClick = source.m_styleClick;
}

int32_t CZephraBody::GetItemCount(bool all) const {
    if (all)
        return static_cast<int32_t>(m_items.size());
    return static_cast<int32_t>(std::count_if(
        m_items.begin(), m_items.end(), [](const auto& item) { return item->m_bVisible != 0; }));
}

CZephraItem* CZephraBody::GetItem(int32_t index) const {
    if (index < 0 || static_cast<size_t>(index) >= m_items.size())
        return nullptr;
    return m_items[static_cast<size_t>(index)].get();
}

CZephraItem* CZephraBody::InsertNewItem() {
    m_items.insert(m_items.begin(), std::make_unique<CZephraItem>());
    return m_items.front().get();
}

bool CZephraBody::AddItem(std::unique_ptr<CZephraItem> item, bool atFront) {
    if (!item)
        return false;
    if (atFront)
        m_items.insert(m_items.begin(), std::move(item));
    else
        m_items.push_back(std::move(item));
    return true;
}

CZephraItem* CZephraBody::AddItemCopy(const CZephraItem& item) {
    auto copy = std::make_unique<CZephraItem>(item);
    CZephraItem* result = copy.get();
    AddItem(std::move(copy), true);
    return result;
}

bool CZephraBody::RemoveAllItems() {
    DestroyItems(m_items);
    return true;
}

bool CZephraBody::RemoveItemAt(int32_t index) {
    if (index < 0 || static_cast<size_t>(index) >= m_items.size())
        return false;
    const auto at = m_items.begin() + index;
    std::unique_ptr<CZephraItem> removed = std::move(*at);
    m_items.erase(at);
    return true; // removed dies here, after the list is consistent again
}

bool CZephraBody::RemoveItem(const CZephraItem* item) {
    const int32_t index = IndexOf(m_items, item);
    return index >= 0 && RemoveItemAt(index);
}

bool CZephraBody::MoveItemUp(int32_t index) {
    return index >= 1 && SwapWithNext(m_items, index - 1);
}

bool CZephraBody::MoveItemUp(const CZephraItem* item) {
    const int32_t index = IndexOf(m_items, item);
    return index >= 0 && MoveItemUp(index);
}

bool CZephraBody::MoveItemDown(int32_t index) {
    return SwapWithNext(m_items, index);
}

bool CZephraBody::MoveItemDown(const CZephraItem* item) {
    const int32_t index = IndexOf(m_items, item);
    return index >= 0 && MoveItemDown(index);
}

CRect CZephraBody::GetRect(int32_t originX, int32_t originY) const {
    const int64_t shown = GetItemCount(false);
    const int64_t x = int64_t{originX} + m_nX;
    const int64_t y = int64_t{originY} + m_nY;
    // Without shown items there is nothing to draw, whatever sizes damaged data may carry.
    if (shown == 0)
        return {Saturate(x), Saturate(y), Saturate(x), Saturate(y)};
    int64_t width = m_nItemWidth;
    int64_t height = m_nItemHeight;
    if (m_nOrientation == 1)
        width = shown * (int64_t{m_nItemWidth} + m_nItemGap) - m_nItemGap;
    else
        height = shown * (int64_t{m_nItemHeight} + m_nItemGap) - m_nItemGap;
    if (m_nBackStyle == 2) {
        ++width;
        ++height;
    }
    int64_t left = x;
    int64_t top = y;
    switch (m_nCorner) {
    case 1:
        left = x - width;
        break;
    case 2:
        left = x - width;
        top = y - height;
        break;
    case 3:
        top = y - height;
        break;
    default: // 0, and whatever damaged data holds
        break;
    }
    return {Saturate(left), Saturate(top), Saturate(left + width), Saturate(top + height)};
}

void CZephraBody::Serialize(CArchiveWriter& archive) const {
    SerializeAt(archive, 0);
}

void CZephraBody::SerializeAt(CArchiveWriter& archive, int depth) const {
    if (depth > kMaxMenuDepth)
        throw std::length_error("menu tree nested too deeply to archive");
    archive.WriteString(m_strName);
    for (int32_t value : {m_clrBack, m_nBackStyle, m_nOrientation, m_nCorner, m_nX, m_nY,
                          m_nItemWidth, m_nItemHeight, m_nItemGap, m_nBorderWidth})
        archive.WriteInt32(value);
    WriteStyle(archive, m_styleNormal);
    WriteStyle(archive, m_styleOver);
    WriteStyle(archive, m_styleClick);
    archive.WriteInt32(m_bVisible);
    archive.WriteInt32(static_cast<int32_t>(m_items.size()));
    for (const auto& item : m_items) {
        archive.BeginObject(kItemClassName, kItemSchema);
        item->SerializeAt(archive, depth);
    }
}

void CZephraBody::Deserialize(CArchiveReader& archive, int depth) {
    if (depth > kMaxMenuDepth)
        throw CArchiveException("menu tree nested too deeply");
    m_strName = archive.ReadString();
    for (int32_t* field : {&m_clrBack, &m_nBackStyle, &m_nOrientation, &m_nCorner, &m_nX, &m_nY,
                           &m_nItemWidth, &m_nItemHeight, &m_nItemGap, &m_nBorderWidth})
        *field = archive.ReadInt32();
    ReadStyle(archive, m_styleNormal);
    ReadStyle(archive, m_styleOver);
    ReadStyle(archive, m_styleClick);
    m_bVisible = archive.ReadInt32();
    DestroyItems(m_items);
    const int32_t count = archive.ReadInt32();
    // Checked against the bytes left, so a forged count costs nothing before it is refused.
    if (count < 0 || static_cast<size_t>(count) > archive.Remaining() / kMinItemBytes)
        throw CArchiveException("menu item count larger than the archive can hold");
    std::string className;
    for (int32_t i = 0; i < count; ++i) {
        if (!archive.ReadObjectTag(kArchiveClasses, className))
            throw CArchiveException("menu holds a null item");
        auto item = std::make_unique<CZephraItem>();
        item->Deserialize(archive, depth);
        m_items.push_back(std::move(item));
    }
}

// ---- CAppletParameters

CAppletParameters::CAppletParameters()
    : m_strName(kDefaultAppletName), m_strLoadingMessage(kDefaultLoadingMessage),
      m_strClassFolder(ModuleFolderOf(reinterpret_cast<const void*>(&ColorToHex))) {}

CAppletParameters::~CAppletParameters() {
    DestroyMenus(std::move(m_menus));
}

void CAppletParameters::Reset() {
    m_flatItems.clear();
    DestroyMenus(std::exchange(m_menus, {}));
    m_strName = kDefaultAppletName;
    m_nAlign = 0;
    m_nWidth = 400;
    m_nHeight = 200;
    m_clrBack = 0;
    m_strImage.clear();
    m_nImageMode = 0;
    m_nImageX = 0;
    m_nImageY = 0;
    m_strAudio.clear();
    m_strCodebase.clear();
}

void CAppletParameters::CopyFrom(const CAppletParameters& source) {
    if (&source == this)
        return;
    std::vector<std::unique_ptr<CZephraBody>> copies;
    copies.reserve(source.m_menus.size());
    for (const auto& menu : source.m_menus) {
        copies.push_back(std::make_unique<CZephraBody>(*menu));
        copies.back()->m_strName = kTopLevelMenuName;
    }
    m_strName = source.m_strName;
    m_nAlign = source.m_nAlign;
    m_nWidth = source.m_nWidth;
    m_nHeight = source.m_nHeight;
    m_clrBack = source.m_clrBack;
    m_strImage = source.m_strImage;
    m_nImageMode = source.m_nImageMode;
    m_nImageX = source.m_nImageX;
    m_nImageY = source.m_nImageY;
    m_strAudio = source.m_strAudio;
    m_bProgressBar = source.m_bProgressBar;
    m_strLoadingMessage = source.m_strLoadingMessage;
    m_strClassFolder = source.m_strClassFolder;
    m_strAudioWeb = source.m_strAudioWeb;
    m_strImageWeb = source.m_strImageWeb;
    m_strCodebase = source.m_strCodebase;
    m_flatItems.clear();
    DestroyMenus(std::exchange(m_menus, std::move(copies)));
}

CZephraBody* CAppletParameters::InsertNewTopLevelMenu() {
    auto menu = std::make_unique<CZephraBody>(std::string(kTopLevelMenuName));
    if (const CZephraBody* style = FindMenuAtDepth(0))
        menu->CopyStyle(*style);
    const CRect bounds = GetTopLevelBounds();
    if (menu->m_nOrientation == 1) {
        menu->m_nX = 0;
        menu->m_nY = bounds.bottom;
    } else {
        menu->m_nX = bounds.right;
        menu->m_nY = 0;
    }
    m_menus.insert(m_menus.begin(), std::move(menu));
    return m_menus.front().get();
}

bool CAppletParameters::AddTopLevelMenu(std::unique_ptr<CZephraBody> menu, bool atFront) {
    if (!menu)
        return false;
    menu->m_strName = kTopLevelMenuName;
    if (atFront)
        m_menus.insert(m_menus.begin(), std::move(menu));
    else
        m_menus.push_back(std::move(menu));
    return true;
}

CZephraBody* CAppletParameters::AddTopLevelMenuCopy(const CZephraBody& menu) {
    auto copy = std::make_unique<CZephraBody>(menu);
    CZephraBody* result = copy.get();
    AddTopLevelMenu(std::move(copy), true);
    return result;
}

bool CAppletParameters::RemoveTopLevelMenu(const CZephraBody* menu) {
    const int32_t index = IndexOf(m_menus, menu);
    if (index < 0)
        return false;
    const auto at = m_menus.begin() + index;
    std::unique_ptr<CZephraBody> removed = std::move(*at);
    m_menus.erase(at);
    return true;
}

bool CAppletParameters::MoveTopLevelMenuUp(const CZephraBody* menu) {
    const int32_t index = IndexOf(m_menus, menu);
    return index >= 1 && SwapWithNext(m_menus, index - 1);
}

bool CAppletParameters::MoveTopLevelMenuDown(const CZephraBody* menu) {
    const int32_t index = IndexOf(m_menus, menu);
    return index >= 0 && SwapWithNext(m_menus, index);
}

CZephraBody* CAppletParameters::FindMenuAtDepth(int32_t depth) const {
    if (depth < 0)
        return nullptr;
    // Depth first in item order: children are pushed last to first.
    std::vector<std::pair<CZephraBody*, int32_t>> pending;
    for (auto it = m_menus.rbegin(); it != m_menus.rend(); ++it)
        pending.emplace_back(it->get(), 0);
    while (!pending.empty()) {
        auto [menu, level] = pending.back();
        pending.pop_back();
        if (menu->m_items.empty())
            continue;
        if (level == depth)
            return menu;
        for (auto it = menu->m_items.rbegin(); it != menu->m_items.rend(); ++it)
            pending.emplace_back((*it)->m_pSubMenu.get(), level + 1);
    }
    return nullptr;
}

CRect CAppletParameters::GetTopLevelBounds() const {
    CRect bounds;
    for (const auto& menu : m_menus)
        bounds = UnionRect(bounds, menu->GetRect(0, 0));
    return bounds;
}

void CAppletParameters::AccumulateExtent(const CZephraBody* menu, int32_t x, int32_t y) {
    // The union does not depend on the order of the menus, so a plain work list will do.
    std::vector<std::tuple<const CZephraBody*, int32_t, int32_t>> pending;
    if (menu != nullptr)
        pending.emplace_back(menu, x, y);
    while (!pending.empty()) {
        auto [current, originX, originY] = pending.back();
        pending.pop_back();
        if (current->m_items.empty())
            continue;
        const CRect rect = current->GetRect(originX, originY);
        m_rcExtent = UnionRect(m_rcExtent, rect);
        int64_t cell = 0;
        for (const auto& item : current->m_items) {
            if (item->m_bVisible == 0)
                continue;
            if (current->m_nOrientation == 1)
                pending.emplace_back(item->m_pSubMenu.get(),
                                     Saturate(rect.left + cell * (int64_t{current->m_nItemWidth} +
                                                                  current->m_nItemGap)),
                                     rect.top);
            else
                pending.emplace_back(item->m_pSubMenu.get(), rect.left,
                                     Saturate(rect.top + cell * (int64_t{current->m_nItemHeight} +
                                                                 current->m_nItemGap)));
            ++cell;
        }
    }
}

void CAppletParameters::NumberMenus(CZephraBody* menu, int32_t number) {
    if (menu == nullptr)
        return;
    // Pre-order from a work list: sub menus are pushed last to first, so the first item's
    // sub menu and everything below it come before the second item's.
    menu->m_nNumber = number;
    std::vector<CZephraBody*> pending{menu};
    bool first = true;
    while (!pending.empty()) {
        CZephraBody* current = pending.back();
        pending.pop_back();
        if (!first)
            current->m_nNumber = m_nMenuCounter;
        first = false;
        for (const auto& item : current->m_items)
            m_flatItems.push_back(item.get());
        ++m_nMenuCounter;
        for (auto it = current->m_items.rbegin(); it != current->m_items.rend(); ++it)
            pending.push_back((*it)->m_pSubMenu.get());
    }
}

// ---- Free functions

CZephraBody* FindParentMenu(CZephraBody* menu, const CZephraItem* item) {
    if (menu == nullptr || item == nullptr)
        return nullptr;
    std::vector<CZephraBody*> pending{menu};
    while (!pending.empty()) {
        CZephraBody* current = pending.back();
        pending.pop_back();
        for (const auto& candidate : current->m_items) {
            if (candidate.get() == item)
                return current;
            pending.push_back(candidate->m_pSubMenu.get());
        }
    }
    return nullptr;
}

void ApplyImages(std::string normal, std::string normalWeb, std::string over, std::string overWeb,
                 std::string click, std::string clickWeb, CZephraBody* menu, bool below) {
    if (menu == nullptr)
        return;
    ForEachMenu(menu, below, [&](CZephraBody& current) {
        for (const auto& item : current.m_items) {
            item->m_strImageNormal = normal;
            item->m_strImageNormalWeb = normalWeb;
            item->m_strImageOver = over;
            item->m_strImageOverWeb = overWeb;
            item->m_strImageClick = click;
            item->m_strImageClickWeb = clickWeb;
        }
    });
}

void ApplyAudio(std::string over, std::string overWeb, std::string click, std::string clickWeb,
                CZephraBody* menu, bool below) {
    if (menu == nullptr)
        return;
    ForEachMenu(menu, below, [&](CZephraBody& current) {
        for (const auto& item : current.m_items) {
            item->m_strAudioOver = over;
            item->m_strAudioOverWeb = overWeb;
            item->m_strAudioClick = click;
            item->m_strAudioClickWeb = clickWeb;
        }
    });
}

std::string ColorToHex(int32_t colour) {
    // By hand: the markup writes seven colours per menu, and snprintf costs more than the rest
    // of a menu's style line.
    static constexpr char kDigits[] = "0123456789abcdef";
    const auto value = static_cast<uint32_t>(colour);
    std::string text(6, '0');
    for (size_t i = 0; i < 3; ++i) {
        const uint32_t byte = (value >> (8 * i)) & 0xFF; // red, green, blue
        text[2 * i] = kDigits[byte >> 4];
        text[2 * i + 1] = kDigits[byte & 0xF];
    }
    return text;
}

bool SameMenuTree(const CZephraBody& a, const CZephraBody& b) {
    std::vector<std::pair<const CZephraBody*, const CZephraBody*>> pending{{&a, &b}};
    while (!pending.empty()) {
        auto [left, right] = pending.back();
        pending.pop_back();
        if (!SameMenuFields(*left, *right))
            return false;
        for (size_t i = 0; i < left->m_items.size(); ++i) {
            const CZephraItem& x = *left->m_items[i];
            const CZephraItem& y = *right->m_items[i];
            if (!SameItemFields(x, y))
                return false;
            pending.emplace_back(x.m_pSubMenu.get(), y.m_pSubMenu.get());
        }
    }
    return true;
}

bool SameItemTree(const CZephraItem& a, const CZephraItem& b) {
    return SameItemFields(a, b) && SameMenuTree(*a.m_pSubMenu, *b.m_pSubMenu);
}

std::vector<uint8_t> ArchiveItem(const CZephraItem& item) {
    // Measure first: the writer would take any tree, the reader takes only this much back.
    size_t items = 1;
    std::vector<std::pair<const CZephraBody*, int>> pending{{item.m_pSubMenu.get(), 1}};
    while (!pending.empty()) {
        auto [menu, depth] = pending.back();
        pending.pop_back();
        if (depth > kMaxMenuDepth)
            return {};
        items += menu->m_items.size();
        if (items > kMaxArchivedItems)
            return {};
        for (const auto& child : menu->m_items)
            pending.emplace_back(child->m_pSubMenu.get(), depth + 1);
    }
    CArchiveWriter archive;
    archive.BeginObject(kItemClassName, kItemSchema);
    item.Serialize(archive);
    return archive.TakeBytes();
}

bool LoadArchivedItem(std::span<const uint8_t> data, CZephraItem& target) {
    auto loaded = std::make_unique<CZephraItem>();
    try {
        CArchiveReader archive(data);
        std::string className;
        if (!archive.ReadObjectTag(kArchiveClasses, className))
            return false;
        loaded->Deserialize(archive, 0);
        if (!archive.AtEnd())
            return false;
    } catch (const CArchiveException&) {
        return false;
    }
    target.Swap(*loaded);
    return true;
}
