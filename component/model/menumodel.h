#pragma once
// The menu tree of one widget: the applet record, its top-level menus, their items and the items'
// sub menus, with the list operations the designer uses, the geometry of a menu, the numbering of
// the parameter-writing passes and the archive form that the designer's clipboard carries.
//
// Conventions for the whole file:
// - Numbers, codes, colours and flags are int32_t; a flag is 1 or 0. A colour is 0x00BBGGRR (red
//   in the low byte).
// - Texts are UTF-8; an empty text means "none". Local paths are full paths; web folders are
//   prefixes put in front of a file name as they are.
// - A record owns what it holds: the applet its top-level menus, a menu its items, an item its sub
//   menu. Destroying a record destroys everything below it, without recursion, so trees of any
//   depth can be torn down.
// - Operations that are given a null record, or an index or item that is not there, return false
//   (or null) and change nothing. Nothing here shows UI; running out of memory is left to
//   std::bad_alloc.
// - Everything is for one thread; nothing is locked.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class CArchiveReader;
class CArchiveWriter;

// The deepest sub menu nesting that the readers of stored trees (archive, parameters) accept.
// Top-level menus, and the menu that holds a loose item, are at depth 0, the sub menus of their
// items at depth 1, and so on. Since every item owns a sub menu, a menu at this depth holds no
// items. Readers refuse deeper trees, which keeps the recursive walks of other modules bounded.
constexpr int kMaxMenuDepth = 1000;

// The most items (counting the outermost one) that one archived item can carry: the archive
// reader numbers objects with 15-bit indices and refuses more.
constexpr size_t kMaxArchivedItems = 0x7FFE - 1;

inline constexpr std::string_view kNewItemLabel = "item";
inline constexpr std::string_view kSubMenuName = "Menu";
inline constexpr std::string_view kTopLevelMenuName = "top-level Menu";
inline constexpr std::string_view kDefaultAppletName = "Zephra Applet Properties";
inline constexpr std::string_view kDefaultLoadingMessage = "Loading Image...";
// Class name and schema of an item in the archive.
inline constexpr std::string_view kItemClassName = "CZephraItem";
constexpr uint16_t kItemSchema = 1;

// A rectangle in pixels; right and bottom are exclusive. Empty when right <= left or
// bottom <= top.
struct CRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    bool IsRectEmpty() const { return right <= left || bottom <= top; }
    friend bool operator==(const CRect&, const CRect&) = default;
};

// The smallest rectangle holding both. An empty rectangle adds nothing; when both are empty the
// result is (0, 0, 0, 0).
CRect UnionRect(const CRect& a, const CRect& b);

// The look of all items of one menu in one state (normal, mouse-over, clicked).
struct ItemStateStyle {
    int32_t clrBack = 0;        // item background colour
    int32_t clrText = 0xFFFFFF; // text colour
    int32_t nBorder = 0;        // 0 plain, 1 raised, 2 sunken
    int32_t nBackground = 1;    // 0 transparent, 1 filled, 2-9 gradients to/from clrBack
    int32_t nGradient = 1;      // 0 single direction, 1 both directions
    int32_t nEffect = 0;        // 0 normal, 1 outline, 2 sunken, 3 bulge, 4 with shadow
    int32_t nFont = 0;          // 0 TimesRoman, 1 Helvetica, 2 Courier
    int32_t nFontSize = 14;     // points
    int32_t nFontStyle = 0;     // 0 plain, 1 bold, 2 italic
    int32_t nTextAlign = 0;     // 0 left, 1 center, 2 right
    int32_t nTextOffset = 0;
    int32_t nImageAlign = 0; // 0 left, 1 center, 2 right
    int32_t nImageOffset = 0;
    std::string strExtra; // reserved: copied and archived, never edited or encoded

    friend bool operator==(const ItemStateStyle&, const ItemStateStyle&) = default;
};

class CZephraBody;

// One menu item. Owns its sub menu, which is never null (an item "without a sub menu" has an
// empty one).
class CZephraItem {
public:
    // Every text empty except the label, shown, and a new empty sub menu named "Menu".
    explicit CZephraItem(std::string label = std::string(kNewItemLabel));
    // Copies every text and the shown flag, and the whole sub menu tree. Shares nothing with
    // source.
    CZephraItem(const CZephraItem& source);
    CZephraItem& operator=(const CZephraItem&) = delete;
    ~CZephraItem();

    // Destroys the current sub menu and takes ownership of menu. False for null (nothing
    // changes). menu must not hold this item.
    bool SetSubMenu(std::unique_ptr<CZephraBody> menu);

    // Exchanges every field with other, sub menus included (the sub menu objects change owner,
    // they are not copied).
    void Swap(CZephraItem& other) noexcept;

    // Writes the item's fields in archive order: its sub menu in place, the fourteen texts, the
    // shown flag. The object reference in front of the item is the caller's (see ArchiveItem).
    // Throws std::length_error when the sub menu tree is deeper than kMaxMenuDepth below the item.
    void Serialize(CArchiveWriter& archive) const;
    // Reads what Serialize writes, loading the sub menu into the sub menu object this item
    // already owns. depth (>= 0) is the depth of the menu holding this item; its sub menu is read
    // at depth + 1. Throws CArchiveException on malformed data or a tree deeper than
    // kMaxMenuDepth; the item is then valid but partly loaded, so load into a fresh item.
    void Deserialize(CArchiveReader& archive, int depth);

    std::string m_strLabel; // may hold CR LF line breaks
    std::string m_strDescription;
    std::string m_strImageNormal; // local paths of the state images and sounds
    std::string m_strImageOver;
    std::string m_strImageClick;
    std::string m_strAudioOver;
    std::string m_strAudioClick;
    std::string m_strImageNormalWeb; // web folders of the five files above
    std::string m_strImageOverWeb;
    std::string m_strImageClickWeb;
    std::string m_strAudioOverWeb;
    std::string m_strAudioClickWeb;
    std::string m_strTarget; // target frame; empty means "_self" in the markup
    std::string m_strLink;
    std::unique_ptr<CZephraBody> m_pSubMenu;
    int32_t m_bVisible = 1; // a hidden item takes no cell and its sub menu is not shown

private:
    void SerializeAt(CArchiveWriter& archive, int depth) const;
    void CopyTextsFrom(const CZephraItem& source);

    friend class CZephraBody;
};

// One menu: placement, cell layout, the three state styles shared by its items, and its items.
class CZephraBody {
public:
    // Every field at its default, no items. Sub menus are named "Menu", top-level menus
    // "top-level Menu".
    explicit CZephraBody(std::string name = std::string(kSubMenuName));
    // CopyStyle(source), the shown flag, and a deep copy of every item in order. m_nNumber is not
    // copied. Shares nothing with source.
    CZephraBody(const CZephraBody& source);
    CZephraBody& operator=(const CZephraBody&) = delete;
    ~CZephraBody();

    // Copies the name, the ten layout values (m_clrBack to m_nBorderWidth) and the three state
    // styles. Items, m_bVisible and m_nNumber stay as they are.
    void CopyStyle(const CZephraBody& source);

    // All items when all is true, otherwise only the shown ones.
    int32_t GetItemCount(bool all) const;
    // The item at index, owned by this menu; null when index is out of range.
    CZephraItem* GetItem(int32_t index) const;

    // A new item labelled "item" inserted at the front. Owned by this menu.
    CZephraItem* InsertNewItem();
    // Takes ownership of item and inserts it at the front or appends it. False for null. item
    // must not hold this menu.
    bool AddItem(std::unique_ptr<CZephraItem> item, bool atFront);
    // A deep copy of item inserted at the front; returns the copy, owned by this menu. item may
    // belong to any menu, this one and the ones above it included.
    CZephraItem* AddItemCopy(const CZephraItem& item);

    // Destroys every item. Always true.
    bool RemoveAllItems();
    // Destroys the item at index; false unless 0 <= index < count.
    bool RemoveItemAt(int32_t index);
    // Destroys item, found by identity among this menu's own items; false when it is not one.
    bool RemoveItem(const CZephraItem* item);
    // Swaps the item with the one before it; false unless 1 <= index < count.
    bool MoveItemUp(int32_t index);
    bool MoveItemUp(const CZephraItem* item);
    // Swaps the item with the one after it; false unless 0 <= index < count - 1.
    bool MoveItemDown(int32_t index);
    bool MoveItemDown(const CZephraItem* item);

    // The menu's rectangle with its (m_nX, m_nY) taken relative to (originX, originY): the cells
    // of the shown items side by side or stacked, one pixel wider and higher for background
    // style 2, placed by m_nCorner. A menu without shown items gives an empty rectangle.
    // m_nCorner outside 0-3 (only damaged data has it) is taken as 0, top-left. Coordinates
    // saturate at the int32_t range instead of overflowing.
    CRect GetRect(int32_t originX, int32_t originY) const;

    // Writes the menu's fields in archive order, its items as object references of class
    // "CZephraItem", schema 1. Throws std::length_error when the tree below it is deeper than
    // kMaxMenuDepth.
    void Serialize(CArchiveWriter& archive) const;
    // Reads what Serialize writes at depth (>= 0; 0 for a top-level menu). Destroys the items it
    // held first. Throws CArchiveException on malformed data, an item count that the remaining
    // bytes cannot hold, or a menu deeper than kMaxMenuDepth; the menu is then valid but partly
    // loaded.
    void Deserialize(CArchiveReader& archive, int depth);

    std::string m_strName;
    int32_t m_clrBack = 0;
    int32_t m_nBackStyle = 0;   // 0/1 transparent without/with border, 2/3 filled without/with
    int32_t m_nOrientation = 0; // 0 items stacked, 1 side by side
    int32_t m_nCorner = 0;      // corner at (m_nX, m_nY): 0 top-left, 1 top-right,
                                // 2 bottom-right, 3 bottom-left
    int32_t m_nX = 40;          // relative to the applet (top-level) or the opening item's cell
    int32_t m_nY = 15;
    int32_t m_nItemWidth = 80;
    int32_t m_nItemHeight = 20;
    int32_t m_nItemGap = 5;
    int32_t m_nBorderWidth = 0;
    ItemStateStyle m_styleNormal;
    ItemStateStyle m_styleOver;
    ItemStateStyle m_styleClick;
    std::vector<std::unique_ptr<CZephraItem>> m_items; // never holds null
    int32_t m_bVisible = 1;                            // changed only on top-level menus
    int32_t m_nNumber = -1; // set by the last numbering pass; meaningless outside one

private:
    void SerializeAt(CArchiveWriter& archive, int depth) const;
    void CopyItemsFrom(const CZephraBody& source);

    friend class CZephraItem;
};

// The applet as a whole and the root of the tree.
class CAppletParameters {
public:
    // Every field at its default, no menus; m_strClassFolder is the folder of the module that
    // holds this code, ending with '/'.
    CAppletParameters();
    CAppletParameters(const CAppletParameters&) = delete;
    CAppletParameters& operator=(const CAppletParameters&) = delete;
    ~CAppletParameters();

    // Destroys every top-level menu and sets the applet settings back to their defaults, except
    // m_bProgressBar, m_strLoadingMessage, m_strClassFolder, m_strAudioWeb and m_strImageWeb,
    // which keep their values. Also empties m_flatItems, whose items are gone.
    void Reset();
    // Makes this record a deep copy of source: the applet settings and deep copies of source's
    // top-level menus in order, each named "top-level Menu", replacing the menus held before.
    // Transient fields are not copied. Copying from itself changes nothing.
    void CopyFrom(const CAppletParameters& source);

    // A new top-level menu at the front, owned by this record: the style of FindMenuAtDepth(0)
    // when there is one, placed beside the bounds of the existing menus (below them when it is
    // horizontal, to their right when vertical).
    CZephraBody* InsertNewTopLevelMenu();
    // Names menu "top-level Menu", takes ownership and inserts it at the front or appends it.
    // False for null. menu must not be one already in the tree.
    bool AddTopLevelMenu(std::unique_ptr<CZephraBody> menu, bool atFront);
    // A deep copy of menu added at the front; returns the copy, owned by this record.
    CZephraBody* AddTopLevelMenuCopy(const CZephraBody& menu);
    // Destroys menu, found by identity among the top-level menus; false when it is not one.
    bool RemoveTopLevelMenu(const CZephraBody* menu);
    // Swap a top-level menu with its neighbour; false when it is not a top-level menu or is
    // already first (up) or last (down).
    bool MoveTopLevelMenuUp(const CZephraBody* menu);
    bool MoveTopLevelMenuDown(const CZephraBody* menu);

    // The first menu, searched depth first through the top-level menus in order, that has items
    // and lies at depth (0 for top-level menus). Menus without items are passed over with
    // everything below them; hidden records count. Null when there is none. Owned by the tree.
    CZephraBody* FindMenuAtDepth(int32_t depth) const;
    // Union of the rectangles (origin 0, 0) of all top-level menus, shown or hidden.
    CRect GetTopLevelBounds() const;
    // Adds to m_rcExtent the rectangle of menu with origin (x, y) and, through the cells of its
    // shown items, the rectangles of their sub menus. Nothing for a null menu or one without
    // items. The caller resets m_rcExtent first.
    void AccumulateExtent(const CZephraBody* menu, int32_t x, int32_t y);
    // Gives menu the number number and the menus below it the following values of
    // m_nMenuCounter in pre-order, appends all their items to m_flatItems in that order and
    // advances m_nMenuCounter by the number of menus visited. The caller starts a pass by setting
    // m_nMenuCounter to 0 and emptying m_flatItems, and passes m_nMenuCounter as number.
    // Nothing for a null menu.
    void NumberMenus(CZephraBody* menu, int32_t number);

    std::string m_strName;
    int32_t m_nAlign = 0; // paragraph around the applet: 0 center, 1 left, 2 right
    int32_t m_nWidth = 400;
    int32_t m_nHeight = 200;
    int32_t m_clrBack = 0;
    std::string m_strImage;   // background image (local path)
    int32_t m_nImageMode = 0; // 0 at (m_nImageX, m_nImageY), 1 tiled
    int32_t m_nImageX = 0;
    int32_t m_nImageY = 0;
    std::string m_strAudio; // background sound (local path)
    int32_t m_bProgressBar = 1;
    std::string m_strLoadingMessage;
    std::vector<std::unique_ptr<CZephraBody>> m_menus; // never holds null
    // Transient, valid only during a pass that sets them up first.
    std::string m_strItemCounts;
    std::vector<CZephraItem*> m_flatItems; // not owned
    int32_t m_nMenuCounter = 0;
    CRect m_rcExtent;
    std::string m_strClassFolder; // folder of the applet class file, ending with '/'
    std::string m_strAudioWeb;
    std::string m_strImageWeb;
    std::string m_strCodebase; // web folder of the applet class file
};

// The menu among menu and the menus below it that directly holds item; null when either is null
// or item is not there.
CZephraBody* FindParentMenu(CZephraBody* menu, const CZephraItem* item);

// Sets the three state images and their web folders of every item of menu, shown or not, and,
// when below is true, of every item in the sub menus below them. Nothing for a null menu. The
// texts are taken by value, so they may come from an item that is changed on the way.
void ApplyImages(std::string normal, std::string normalWeb, std::string over, std::string overWeb,
                 std::string click, std::string clickWeb, CZephraBody* menu, bool below);
// The same for the two state sounds and their web folders.
void ApplyAudio(std::string over, std::string overWeb, std::string click, std::string clickWeb,
                CZephraBody* menu, bool below);

// Six lower-case hexadecimal digits: red, green, blue. The top byte is ignored.
std::string ColorToHex(int32_t colour);

// True when both trees hold the same values in every archived field (every field except
// m_nNumber), sub menus included. For checks and tests; it does not look at identity.
bool SameItemTree(const CZephraItem& a, const CZephraItem& b);
bool SameMenuTree(const CZephraBody& a, const CZephraBody& b);

// The archive form of one item for the clipboard: an object reference of class "CZephraItem",
// schema 1, then the item's fields. Empty when the item cannot be loaded back: a tree deeper than
// kMaxMenuDepth below the item or more than kMaxArchivedItems items.
std::vector<uint8_t> ArchiveItem(const CZephraItem& item);

// Loads data as written by ArchiveItem into a fresh item and swaps it into target; target's former
// fields and sub menu tree are destroyed. data must hold exactly one item: trailing bytes are
// refused. False on any malformed input (including a null reference, an unknown class or schema,
// a tree deeper than kMaxMenuDepth), and then target is exactly as it was.
bool LoadArchivedItem(std::span<const uint8_t> data, CZephraItem& target);
