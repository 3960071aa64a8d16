#pragma once
// Small builders for menu trees in tests: append a record and get a pointer to it.

#include "component/model/menumodel.h"

#include <memory>
#include <string>

inline CZephraItem* Append(CZephraBody& menu, const std::string& label) {
    auto item = std::make_unique<CZephraItem>(label);
    CZephraItem* raw = item.get();
    menu.AddItem(std::move(item), false);
    return raw;
}

// Appends a new top-level menu (named "top-level Menu", as every top-level menu is).
inline CZephraBody* AppendTopLevel(CAppletParameters& applet) {
    auto menu = std::make_unique<CZephraBody>();
    CZephraBody* raw = menu.get();
    applet.AddTopLevelMenu(std::move(menu), false);
    return raw;
}
