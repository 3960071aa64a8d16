// The two places where the designer module plugs into the server: the designer Config runs and
// the resolver WriteConfigFile asks about clashing names. Built from the server's code directly,
// since a host cannot install either.

#include "component/model/resources.h"
#include "component/server/module.h"
#include "component/server/zephra.h"
#include "component/server/zephraids.h"
#include "platform/com/com.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// One object, reached both typed and through IDispatch.
struct CObject {
    CObject() {
        EXPECT_EQ(CZephra::CreateInstance(IID_IDispatch, dispatch.ReceiveVoid()), S_OK);
        zephra = static_cast<CZephra*>(dispatch.Get());
    }
    CComPtr<IDispatch> dispatch;
    CZephra* zephra = nullptr;
};

// Two top-level menus, the first with an item that opens a sub menu.
void BuildTree(CAppletParameters& applet) {
    CZephraBody* second = applet.InsertNewTopLevelMenu();
    second->InsertNewItem()->m_strLabel = "Contact";
    CZephraBody* first = applet.InsertNewTopLevelMenu();
    CZephraItem* item = first->InsertNewItem();
    item->m_strLabel = "Products";
    item->m_pSubMenu->InsertNewItem()->m_strLabel = "Widgets";
    applet.m_strName = "Shop";
}

bool SameTree(const CAppletParameters& a, const CAppletParameters& b) {
    if (a.m_strName != b.m_strName || a.m_menus.size() != b.m_menus.size())
        return false;
    for (size_t i = 0; i < a.m_menus.size(); ++i) {
        if (!SameMenuTree(*a.m_menus[i], *b.m_menus[i]))
            return false;
    }
    return true;
}

// A designer that runs a scripted edit and answers as told.
std::function<bool(CZephra&)> g_script;

class CScriptedDesigner : public IZephraDesigner {
public:
    explicit CScriptedDesigner(CZephra& owner) : m_owner(owner) {}
    bool DoModal() override { return g_script(m_owner); }

private:
    CZephra& m_owner;
};

std::unique_ptr<IZephraDesigner> MakeScriptedDesigner(CZephra& owner) {
    return std::make_unique<CScriptedDesigner>(owner);
}

// Deletes the first top-level menu, moves the remaining one's item, selects something and
// changes the applet name: the kinds of edit a cancel must undo.
bool EditEverything(CZephra& self, bool answer) {
    CAppletParameters& applet = self.Applet();
    EXPECT_EQ(self.RunningDesigner() != nullptr, true);
    applet.RemoveTopLevelMenu(applet.m_menus.front().get());
    CZephraBody* menu = applet.m_menus.front().get();
    menu->InsertNewItem()->m_strLabel = "New";
    menu->MoveItemDown(0);
    self.SetCurrentMenu(menu);
    self.SetCurrentItem(menu->m_items[0].get());
    applet.m_strName = "Edited";
    return answer;
}

class DesignerHook : public ::testing::Test {
protected:
    void SetUp() override { ZephraApp().SetDesignerFactory(&MakeScriptedDesigner); }
    void TearDown() override {
        ZephraApp().SetDesignerFactory(nullptr);
        g_script = nullptr;
    }
};

} // namespace

TEST_F(DesignerHook, CancelPutsTheModelBackAndOkKeepsTheEdits) {
    CObject object;
    CZephra& zephra = *object.zephra;
    BuildTree(zephra.Applet());
    CAppletParameters before;
    before.CopyFrom(zephra.Applet());

    g_script = [](CZephra& self) { return EditEverything(self, false); };
    EXPECT_FALSE(zephra.Config());
    EXPECT_TRUE(SameTree(zephra.Applet(), before));
    EXPECT_EQ(zephra.RunningDesigner(), nullptr);
    // The selection pointed into records that the restored copy replaced.
    EXPECT_EQ(zephra.CurrentMenu(), nullptr);
    EXPECT_EQ(zephra.CurrentItem(), nullptr);

    g_script = [](CZephra& self) { return EditEverything(self, true); };
    CComVariant result;
    ASSERT_EQ(CComDispatchDriver(object.dispatch).Invoke0(DISPID_ZEPHRA_CONFIG, &result), S_OK);
    ASSERT_EQ(result.vt, VT_BOOL);
    EXPECT_EQ(result.boolVal, VARIANT_TRUE);
    EXPECT_EQ(zephra.Applet().m_strName, "Edited");
    ASSERT_EQ(zephra.Applet().m_menus.size(), 1u);
    EXPECT_EQ(zephra.Applet().m_menus[0]->m_items[1]->m_strLabel, "New");
    EXPECT_EQ(zephra.CurrentItem(), zephra.Applet().m_menus[0]->m_items[0].get())
        << "an accepted designer's selection stays";
}

TEST_F(DesignerHook, NoSecondDesignerAndAThrowingOneLeavesTheModelAlone) {
    CObject object;
    CZephra& zephra = *object.zephra;
    BuildTree(zephra.Applet());
    CAppletParameters before;
    before.CopyFrom(zephra.Applet());

    // Config from inside the designer would run a second one over the same live model.
    bool inner = true;
    g_script = [&inner](CZephra& self) {
        inner = self.Config();
        return true;
    };
    EXPECT_TRUE(zephra.Config());
    EXPECT_FALSE(inner);

    g_script = [](CZephra& self) -> bool {
        EditEverything(self, true);
        throw std::runtime_error("designer failed");
    };
    CComDispatchDriver driver(object.dispatch);
    CComVariant result;
    EXPECT_EQ(driver.Invoke0(DISPID_ZEPHRA_CONFIG, &result), DISP_E_EXCEPTION);
    EXPECT_NE(driver.ExceptionDescription().find("designer failed"), std::string::npos);
    EXPECT_TRUE(SameTree(zephra.Applet(), before));
    EXPECT_EQ(zephra.RunningDesigner(), nullptr);

    ZephraApp().SetDesignerFactory(nullptr);
    EXPECT_FALSE(zephra.Config());
    EXPECT_TRUE(SameTree(zephra.Applet(), before));
}

namespace {

// Declines every clash, counting what it was shown.
class CDecliningResolver : public IResourceConflictResolver {
public:
    bool Resolve(CResourceConflicts& conflicts) override {
        m_nRows += static_cast<int>(conflicts.Rows().size());
        return false;
    }
    int m_nRows = 0;
};

} // namespace

TEST(ConflictResolverHook, InstalledResolverDecidesAndRenamingIsTheDefault) {
    const fs::path root =
        fs::temp_directory_path() / ("zephra-hooks-" + std::to_string(::getpid()));
    fs::create_directories(root / "src");
    fs::create_directories(root / "dst");
    std::ofstream((root / "src/a.gif").string()) << "mine";
    std::ofstream((root / "dst/a.gif").string()) << "theirs";

    CObject object;
    CZephra& zephra = *object.zephra;
    BuildTree(zephra.Applet());
    CZephraItem& item = *zephra.Applet().m_menus[0]->m_items[0];
    item.m_strImageNormal = (root / "src/a.gif").string();

    CDecliningResolver declining;
    ZephraApp().SetConflictResolver(&declining);
    EXPECT_TRUE(zephra.WriteConfigFile((root / "dst/w.wgt").string()));
    ZephraApp().SetConflictResolver(nullptr);
    EXPECT_EQ(declining.m_nRows, 1);
    EXPECT_EQ(item.m_strImageNormal, (root / "src/a.gif").string()) << "kept on its source";
    EXPECT_FALSE(fs::exists(root / "dst/a-2.gif"));

    EXPECT_TRUE(zephra.WriteConfigFile((root / "dst/w.wgt").string()));
    EXPECT_EQ(item.m_strImageNormal, (root / "dst/a-2.gif").string());
    fs::remove_all(root);
}
