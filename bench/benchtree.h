#pragma once
// Menu trees of a chosen size for the benchmarks, and the scratch folder that holds the image and
// sound files their items point at (the markup writer clears paths of files it does not find, so
// they must exist).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CAppletParameters;
class CZephraItem;

// A fresh folder under $TMPDIR (or /tmp) holding the support files the trees use; removed with
// everything in it when the object dies.
class CBenchFolder {
public:
    // Throws std::runtime_error when the folder or a file cannot be created.
    CBenchFolder();
    CBenchFolder(const CBenchFolder&) = delete;
    CBenchFolder& operator=(const CBenchFolder&) = delete;
    ~CBenchFolder();

    // The folder, ending with '/'.
    const std::string& Root() const { return m_strRoot; }
    std::string Path(std::string_view name) const { return m_strRoot + std::string(name); }

private:
    std::string m_strRoot;
};

// How a tree of BuildBenchTree is laid out.
struct CBenchShape {
    size_t m_nItems = 0;  // every item, hidden ones included
    size_t m_nMenus = 0;  // every menu, the empty sub menus of leaf items included
    size_t m_nFan = 0;    // items per filled menu
    size_t m_nHidden = 0; // hidden items
    size_t m_nImages = 0; // items with the three state images
    size_t m_nSounds = 0; // items with the two state sounds
    int32_t m_nDepth = 0; // deepest menu that holds items (top-level menus are at depth 0)
};

// Number of top-level menus of every tree.
constexpr size_t kBenchTopLevelMenus = 6;
// Menus at this depth and below hold no items.
constexpr int32_t kBenchLevels = 5;

// Fills applet, which must hold no menus, with exactly itemCount items: kBenchTopLevelMenus
// top-level menus, filled breadth first with the smallest fan-out that reaches itemCount within
// kBenchLevels levels. Every tenth item is hidden, every fourth has images and every ninth sounds
// from folder (files of CBenchFolder), some texts carry commas, line breaks and '&'. The same
// arguments always give the same tree.
CBenchShape BuildBenchTree(CAppletParameters& applet, size_t itemCount, const CBenchFolder& folder);

// The number of items of item's tree: item itself and every item below it.
size_t CountItems(const CZephraItem& item);

// Every text of the tree (applet, menus with their style extras, items) in pre-order: the texts a
// deep copy of the tree has to copy.
std::vector<std::string> CollectTexts(const CAppletParameters& applet);
