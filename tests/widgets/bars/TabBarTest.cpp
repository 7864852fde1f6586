#include "widgets/bars/StatusBar.h"
#include "widgets/bars/TabBarCtrl.h"
#include "widgets/bars/TabManagerDlg.h"
#include "widgets/bookmarks/BookmarkImages.h"
#include "ui/CommandIds.h"
#include "frames/browser/ChildFrame.h"
#include "ui/CommandRouter.h"
#include "ui/MenuResource.h"
#include "platform/Shortcut.h"
#include "platform/Text.h"

#include "TestBrowser.h"

#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QUrl>

using namespace nimbra;
using testenv::SpinUntil;

namespace {

class TabBarTest : public testenv::BrowserTest {
protected:
    CNimbraView* Open(const std::string& url)
    {
        CNimbraView* view = m_app->OpenUrl(url);
        EXPECT_NE(view, nullptr);
        return view;
    }
    std::vector<CNimbraView*> OpenTabs(int count)
    {
        std::vector<CNimbraView*> views;
        for (int i = 0; i < count; ++i)
            views.push_back(Open("http://t" + std::to_string(i) + "/"));
        return views;
    }
    CTabBarCtrl* Ctrl() const { return Tabs()->TabCtrl(); }
    QPoint Centre(int index) const { return Ctrl()->TabRect(index).center(); }
    // Every view's index matches its item.
    void ExpectConsistent() const
    {
        for (int i = 0; i < Tabs()->GetItemCount(); ++i)
            EXPECT_EQ(Tabs()->ViewAt(i)->m_nTab, i);
    }
    static void ClosePopups()
    {
        while (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
    }
};

} // namespace

TEST_F(TabBarTest, NewTabRightOfTheActiveShiftsTheFollowingTabs)
{
    Option("NewTabPosition", 3);
    Start();
    std::vector<CNimbraView*> views = OpenTabs(5);
    // Each new tab went right of the active first tab.
    EXPECT_EQ(Tabs()->Views(), (std::vector<CNimbraView*>{views[0], views[4], views[3], views[2], views[1]}));
    Tabs()->SelectTab(2);
    CNimbraView* added = Open("http://new/");
    EXPECT_EQ(added->m_nTab, 3);
    EXPECT_EQ(views[2]->m_nTab, 4);
    EXPECT_EQ(views[1]->m_nTab, 5);
    ExpectConsistent();
}

TEST_F(TabBarTest, NewTabFirstAndLeftOfTheActive)
{
    Option("NewTabPosition", 1);
    Start();
    std::vector<CNimbraView*> views = OpenTabs(3);
    EXPECT_EQ(Tabs()->Views(), (std::vector<CNimbraView*>{views[2], views[1], views[0]}));
    m_app->Settings().WriteInt("Options", "NewTabPosition", 2);
    m_frame->ReloadSettings();
    Tabs()->SelectTab(1);
    CNimbraView* added = Open("http://left/");
    EXPECT_EQ(added->m_nTab, 1);
    EXPECT_EQ(views[1]->m_nTab, 2);
    ExpectConsistent();
}

TEST_F(TabBarTest, ClosingWithLeftNeighbourRule)
{
    Option("TabPosToCls", 3);
    Start();
    std::vector<CNimbraView*> views = OpenTabs(3);
    Tabs()->SelectTab(1);
    m_frame->ExecuteCommand(32912);
    EXPECT_EQ(m_frame->ActiveView(), views[0]);
    EXPECT_EQ(Tabs()->GetCurSel(), 0);
    m_frame->ExecuteCommand(32912);
    EXPECT_EQ(m_frame->ActiveView(), views[2]);
    EXPECT_EQ(views[2]->m_nTab, 0);
}

TEST_F(TabBarTest, CloseAllLeavesLockedTabsAndRestoreReopensTheOthers)
{
    Start();
    std::vector<CNimbraView*> views = OpenTabs(3);
    views[1]->ToggleNaviLock();
    m_frame->ExecuteCommand(32775);
    ASSERT_EQ(Tabs()->GetItemCount(), 1);
    EXPECT_EQ(Tabs()->ViewAt(0), views[1]);
    EXPECT_EQ(m_frame->m_closeAllRestore, (UrlList{"http://t0/", "http://t2/"}));
    m_frame->ExecuteCommand(32941);
    ASSERT_EQ(Tabs()->GetItemCount(), 3);
    EXPECT_EQ(Tabs()->GetTabUrl(1), "http://t0/");
    EXPECT_EQ(Tabs()->GetTabUrl(2), "http://t2/");
}

TEST_F(TabBarTest, LastTabGoneClearsAddressAndHidesTheControl)
{
    Start();
    Open("http://only/");
    EXPECT_TRUE(Ctrl()->isVisible());
    EXPECT_FALSE(m_frame->StatusBar()->ZoneText().isEmpty());
    m_frame->ExecuteCommand(32912);
    EXPECT_EQ(Tabs()->GetItemCount(), 0);
    EXPECT_FALSE(Ctrl()->isVisible());
    EXPECT_TRUE(m_frame->StatusBar()->ZoneText().isEmpty());
    EXPECT_TRUE(Tabs()->Bar()->isVisible());
}

TEST_F(TabBarTest, UnreadTabSurvivesClosingReadTabs)
{
    Start();
    std::vector<CNimbraView*> views = OpenTabs(3);
    Tabs()->SelectTab(2);
    Tabs()->SelectTab(0);
    // Tab 1 completed in the background and was never seen.
    EXPECT_EQ(Tabs()->GetItemImage(1), TABIMG_UNREAD);
    m_frame->ExecuteCommand(32945);
    ASSERT_EQ(Tabs()->GetItemCount(), 1);
    EXPECT_EQ(Tabs()->ViewAt(0), views[1]);
    EXPECT_EQ(m_frame->m_closeAllRestore, (UrlList{"http://t0/", "http://t2/"}));
}

TEST_F(TabBarTest, MiddleDoubleClickClosesOnPressAndOnDoubleClick)
{
    Option("TabWheelClick", 1);
    Start();
    std::vector<CNimbraView*> views = OpenTabs(4);
    views[3]->ToggleNaviLock();
    // A real double click: press, release, double click, release.
    QTest::mouseClick(Ctrl(), Qt::MiddleButton, {}, Centre(0));
    EXPECT_EQ(Tabs()->GetItemCount(), 3);
    QTest::mouseDClick(Ctrl(), Qt::MiddleButton, {}, Centre(0));
    QTest::mouseRelease(Ctrl(), Qt::MiddleButton, {}, Centre(0));
    ASSERT_EQ(Tabs()->GetItemCount(), 2);
    EXPECT_EQ(Tabs()->ViewAt(0), views[2]);
    // A locked tab is not closed.
    QTest::mouseClick(Ctrl(), Qt::MiddleButton, {}, Centre(1));
    EXPECT_EQ(Tabs()->GetItemCount(), 2);
}

TEST_F(TabBarTest, MouseActionTable)
{
    Option("TabLeftDblClick", 4);
    Option("TabRightClick", 2);
    Start();
    std::vector<CNimbraView*> views = OpenTabs(2);
    QTest::mouseDClick(Ctrl(), Qt::LeftButton, {}, Centre(1));
    EXPECT_TRUE(views[1]->m_bNaviLock);
    EXPECT_EQ(Tabs()->GetItemImage(1), TABIMG_LOCKED);
    // Refresh does nothing on a locked tab.
    QTest::mouseClick(Ctrl(), Qt::RightButton, {}, Centre(1));
    QTest::mouseClick(Ctrl(), Qt::RightButton, {}, Centre(0));
    EXPECT_TRUE(Fake(views[1])->refreshes.empty());
    EXPECT_EQ(Fake(views[0])->refreshes.size(), 1u);
}

TEST_F(TabBarTest, RightClickOpensTheTabMenuForTheContextTab)
{
    Start();
    std::vector<CNimbraView*> views = OpenTabs(3);
    QTest::mouseClick(Ctrl(), Qt::RightButton, {}, Centre(2));
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(m_frame->m_nContextTab, 2);
    EXPECT_EQ(CCommandRouter::IdOf(menu->actions().at(0)), 32830);
    ClosePopups();
    // A middle press cancels the context tab.
    QTest::mouseClick(Ctrl(), Qt::MiddleButton, {}, Centre(0));
    EXPECT_EQ(m_frame->m_nContextTab, -1);
    // Right of the last tab: the background menu with the recently closed
    // submenu as its fifth item, lent only while it is open.
    QTest::mouseClick(Ctrl(), Qt::RightButton, {}, QPoint(Ctrl()->width() - 40, Centre(0).y()));
    menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    ASSERT_GT(menu->actions().size(), 4);
    EXPECT_EQ(menu->actions().at(4)->text(), QStringLiteral("最近閉じたURL(&E)"));
    EXPECT_EQ(CCommandRouter::IdOf(menu->actions().at(5)), 32865);
    QAction* recent = menu->actions().at(4);
    ClosePopups();
    EXPECT_TRUE(recent->associatedObjects().size() >= 1);
    EXPECT_TRUE(FindPopup(m_frame->MainMenu(), {0})->actions().contains(recent));
}

TEST_F(TabBarTest, DraggingSwapsOnlyTheTwoTabs)
{
    Start();
    std::vector<CNimbraView*> views = OpenTabs(5);
    QTest::mousePress(Ctrl(), Qt::LeftButton, {}, Centre(0));
    // Within the threshold nothing starts when the drag timer looks.
    struct TimerTicks : QObject {
        int count = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            count += event->type() == QEvent::Timer;
            return false;
        }
    } ticks;
    Ctrl()->installEventFilter(&ticks);
    QTest::mouseMove(Ctrl(), Centre(0) + QPoint(CTabBarCtrl::kDragThreshold, 0));
    ASSERT_TRUE(SpinUntil([&] { return ticks.count > 0; }, 2000));
    EXPECT_FALSE(Ctrl()->IsDragging());
    QTest::mouseMove(Ctrl(), Centre(3));
    ASSERT_TRUE(SpinUntil([&] { return Ctrl()->IsDragging(); }, 2000));
    EXPECT_EQ(Ctrl()->cursor().shape(), Qt::DragMoveCursor);
    QTest::mouseRelease(Ctrl(), Qt::LeftButton, {}, Centre(3));
    EXPECT_FALSE(Ctrl()->IsDragging());
    EXPECT_EQ(Tabs()->Views(), (std::vector<CNimbraView*>{views[3], views[1], views[2], views[0], views[4]}));
    ExpectConsistent();
    // The selection followed the moved tab.
    EXPECT_EQ(Tabs()->GetCurSel(), 3);
    EXPECT_EQ(m_frame->ActiveView(), views[0]);
}

TEST_F(TabBarTest, AShortcutDroppedOnATabOpensItsTargetThere)
{
    Start();
    std::vector<CNimbraView*> views = OpenTabs(2);
    const std::string shortcut = File("dropped.url");
    ASSERT_TRUE(WriteInternetShortcut(shortcut, "http://target/"));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(ToQ(shortcut)), QUrl(QStringLiteral("http://second/"))});
    // The drop goes to the widget that accepted the drag's entry.
    QDragEnterEvent enter(Centre(1), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Ctrl(), &enter);
    QDropEvent drop(Centre(1), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Ctrl(), &drop);
    EXPECT_EQ(Fake(views[1])->navigations.back(), "http://target/");
    EXPECT_EQ(Fake(views[0])->navigations.back(), "http://t0/");
    EXPECT_EQ(Tabs()->GetItemCount(), 2);
}

TEST_F(TabBarTest, WindowMenuListsNineTabsAndTheManager)
{
    Start();
    QMenu* menu = Tabs()->WindowMenu();
    ASSERT_NE(menu, nullptr);
    const int fixed = int(menu->actions().size());
    EXPECT_EQ(fixed, CViewManager::kWindowMenuFixedItems);
    std::vector<CNimbraView*> views = OpenTabs(9);
    ASSERT_EQ(int(menu->actions().size()), fixed + 10);
    EXPECT_EQ(menu->actions().at(7)->text(), QStringLiteral("&1 http://t0/"));
    EXPECT_EQ(CCommandRouter::IdOf(menu->actions().at(15)), 1040);
    EXPECT_EQ(menu->actions().at(16)->text(), QStringLiteral("タブ マネージャー(&M)..."));
    views[0]->TitleChange("A&B");
    EXPECT_EQ(menu->actions().at(7)->text(), QStringLiteral("&1 A&&B"));
    m_frame->ExecuteCommand(1033);
    EXPECT_EQ(m_frame->ActiveView(), views[1]);
    m_frame->ExecuteCommand(32912);
    ASSERT_EQ(int(menu->actions().size()), fixed + 8);
    EXPECT_EQ(menu->actions().at(8)->text(), QStringLiteral("&2 http://t2/"));
}

TEST_F(TabBarTest, NextAndPreviousTabWrap)
{
    Start();
    std::vector<CNimbraView*> views = OpenTabs(3);
    m_frame->ExecuteCommand(32774);
    EXPECT_EQ(m_frame->ActiveView(), views[2]);
    m_frame->ExecuteCommand(32773);
    EXPECT_EQ(m_frame->ActiveView(), views[0]);
    EXPECT_TRUE(m_frame->Router().Query(32773).enabled);
    m_frame->ExecuteCommand(32912);
    m_frame->ExecuteCommand(32912);
    EXPECT_FALSE(m_frame->Router().Query(32773).enabled);
}

TEST_F(TabBarTest, TabTextAndTooltipText)
{
    Option("SetTabCharMax", 1);
    Option("TabCharMax", 5);
    Start();
    Open("http://x/");
    Tabs()->ViewAt(0)->TitleChange("あいうえお");
    EXPECT_EQ(Tabs()->GetItemText(0), "あい....");
    Tabs()->ViewAt(0)->TitleChange("abcdefgh");
    EXPECT_EQ(Tabs()->GetItemText(0), "abcde...");
}

TEST_F(TabBarTest, TabBarCommandHidesTheBar)
{
    Start();
    EXPECT_TRUE(m_frame->Router().Query(32771).checked.value_or(false));
    m_frame->ExecuteCommand(32771);
    EXPECT_FALSE(Tabs()->IsBarVisible());
    EXPECT_FALSE(m_frame->Router().Query(32771).checked.value_or(true));
}

TEST_F(TabBarTest, RebarModeWithMultipleRows)
{
    Option("TabMultiLine", 1);
    Option("SetTabWidth", 1);
    Option("TabWidth", 200);
    Start();
    EXPECT_TRUE(Tabs()->IsRebarMode());
    OpenTabs(12);
    SpinUntil([&] { return Ctrl()->RowCount() > 1 && Ctrl()->height() >= 24 * Ctrl()->RowCount(); }, 2000);
    EXPECT_GT(Ctrl()->RowCount(), 1);
    EXPECT_EQ(Ctrl()->TabRect(1).width(), 200);
    EXPECT_GE(Ctrl()->height(), 24 * Ctrl()->RowCount());
    // Every tab can be hit.
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(Ctrl()->TabAt(Centre(i)), i);
}

TEST_F(TabBarTest, ButtonAndTabModesDrawTheSettingsColours)
{
    for (int mode : {1, 0}) {
        Option("TabMode", mode);
        Option("SetTabWidth", 1);
        Option("TabWidth", 120);
        Option("SelTabWeight", 1);
        Option("SelTabClr", 0x0000FF);      // red text
        Option("SelTabBkgClr", 0xA0FFFF);   // light yellow
        Option("UnSelTabBkgClr", 0xFFE0C0); // light blue
        Start();
        OpenTabs(4);
        Tabs()->SelectTab(1);
        SpinUntil([&] { return Ctrl()->rect().contains(Ctrl()->TabRect(3)); }, 2000);
        const QImage bar = Ctrl()->grab().toImage();
        const QRect selected = Ctrl()->TabRect(1);
        EXPECT_EQ(selected.width(), 120);
        EXPECT_EQ(bar.pixelColor(selected.right() - 6, selected.center().y()), QColor(0xFF, 0xFF, 0xA0));
        const QRect other = Ctrl()->TabRect(3);
        EXPECT_EQ(bar.pixelColor(other.right() - 6, other.center().y()), QColor(0xC0, 0xE0, 0xFF));
        if (const char* dir = std::getenv("NIMBRA_TABBAR_SHOTS"))
            m_frame->grab().save(QString::fromLocal8Bit(dir) + (mode ? "/tabbar-buttons.png" : "/tabbar-tabs.png"));
        m_app.reset();
        m_app = std::make_unique<CNimbraApp>();
        m_app->SetShell(std::make_unique<testenv::RecordingShell>(&m_shell));
        m_app->InitPaths();
    }
}

TEST_F(TabBarTest, TabManagerListsPagesWithThePageImage)
{
    Start();
    OpenTabs(2);
    const SBookmarkImages images = LoadBookmarkImages();
    auto same = [](const QIcon& a, const QIcon& b) { return a.pixmap(16).toImage() == b.pixmap(16).toImage(); };
    int rows = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, m_frame, [&] {
        auto* dialog = qobject_cast<CTabManagerDlg*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        rows = dialog->List()->count();
        for (int i = 0; i < rows; ++i) {
            EXPECT_TRUE(same(dialog->List()->item(i)->icon(), images.bookmark)) << i;
            EXPECT_FALSE(same(dialog->List()->item(i)->icon(), images.closedFolder)) << i;
        }
        dialog->reject();
    });
    poll.start(20);
    m_frame->ExecuteCommand(ID_TAB_MANAGER);
    EXPECT_EQ(rows, 2);
}
