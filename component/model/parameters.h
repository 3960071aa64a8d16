#pragma once
// The stored form of the menu tree: the named parameters a widget configuration keeps, written
// from the model and read back into it.
//
// Parameters (values are fields joined by single commas, numbers in decimal):
//   Version       "2.1"
//   ApStyle       the applet settings
//   MStyle-<m>    layout, name and shown flag of menu m
//   IStyle-<m>    the three item state styles of menu m
//   I<m>-<i>      item i (from 1) of menu m, every item, hidden ones included
//   Misc          the shape: menu count, the item count of every menu, then one parent link per
//                 menu: "-n" for a top-level menu n, "j-n" for menu n under the item at global
//                 index j (items counted menu by menu in menu-number order)
// Menus are numbered from 0 in pre-order over every menu of the tree, empty and hidden ones
// included. Colours are their decimal 0x00BBGGRR value. File fields hold the bare file name;
// the configuration's folder is put back in front when reading. Every text field is escaped
// with EscapeField (line breaks, then commas), so no text can shift a later field or break the
// configuration file's line.

#include <cstdint>
#include <string>

class CAppletParameters;
class CWidgetConfig;
class CZephraBody;

// Replaces the whole parameter map of config by the stored form of applet's tree. Runs a full
// numbering pass: every menu gets its m_nNumber, m_nMenuCounter ends at the number of menus and
// m_strItemCounts holds their item counts; m_flatItems is empty afterwards. The tree itself is
// not changed and stays owned by applet. Cannot fail (running out of memory throws
// std::bad_alloc). Works through the tree without recursion, so any depth can be written, but
// ReadParameters refuses trees deeper than kMaxMenuDepth.
void WriteParameters(CAppletParameters& applet, CWidgetConfig& config);

// One step of WriteParameters: gives menu the number number and the menus below it the
// following values of applet.m_nMenuCounter in pre-order, stores MStyle, IStyle and the item
// parameters of each, appends their item counts to m_strItemCounts and their items to
// m_flatItems, and advances m_nMenuCounter by the number of menus written. The caller starts the
// pass (counter 0, both lists empty) and passes m_nMenuCounter as number. Nothing for a null
// menu.
void WriteMenuParameters(CAppletParameters& applet, CWidgetConfig& config, CZephraBody* menu,
                         int32_t number);

// Rebuilds applet's tree from config's stored parameters; config is not changed. Meant for a
// model that holds no menus (the caller resets it first); read menus are appended to m_menus.
//
// The applet settings of ApStyle are always taken (a missing value reads as empty texts and 0;
// m_strClassFolder is not touched). Numbers are read as atoi does. A file field becomes
// baseFolder followed by the field's file-name part (the text after its last '/' or '\');
// baseFolder should end with '/' (one is added when it ends with neither separator). An empty
// field, or a file-name part that is empty, "." or "..", leaves the path empty. Whether the file
// exists is not checked here.
//
// Menus: "Misc" gives the count N. Each of the N menus needs its MStyle and IStyle parameters and
// each of its items its I parameter; when one is missing or empty the reader stops and no menu
// is added. Read menus are named "Menu", top-level ones "top-level Menu".
//
// Parent links: a link naming a menu or item that was not read, naming a menu or an item a
// second time, or hanging a menu under one of its own items or below them (a cycle) is ignored,
// as is an entry without '-'. Menus that end up without a path to a top-level link are dropped
// with everything under them. An item without a link keeps its empty sub menu.
//
// Depth: when the linked tree would hold an item in a menu at depth kMaxMenuDepth or deeper
// (top-level menus are at depth 0), the whole tree is refused and no menu is added.
//
// Returns true when the menus were read (or "Misc" announced none), false when they were given
// up (a missing parameter or a tree too deep); the applet settings are read either way. Every
// record read but not added is destroyed. Reading is linear in the size of the parameters and
// uses no recursion. Running out of memory throws std::bad_alloc, and then no menu is added.
bool ReadParameters(CAppletParameters& applet, const CWidgetConfig& config,
                    const std::string& baseFolder);
