#include "ui/CommandIds.h"
#include "platform/Text.h"

#include "SidebarFixture.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QStatusBar>
#include <QMainWindow>
#include <QScreen>
#include <QScrollBar>
#include <QTabBar>
#include <QToolButton>
#include <QWheelEvent>

using namespace nimbra;
using testenv::SpinUntil;

namespace {

class NimbraBarTest : public testenv::SidebarTest {
protected:
    bool Wheel(QWidget* receiver, QPoint angle)
    {
        const QPointF at(5, 5);
        QWheelEvent event(at, receiver->mapToGlobal(at), QPoint(), angle, Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        return QApplication::sendEvent(receiver, &event);
    }
};

} // namespace

TEST_F(NimbraBarTest, PaneCommandsShowHideAndSwitchWithTheFocusFollowing)
{
    StartWithTab();
    // kText: the search text of the history search or web search pane.
    enum EFocus { kView, kPane, kText };
    constexpr int kHideButton = 0;
    struct Step {
        int id;
        bool visible;
        int pane;
        EFocus focus;
    };
    const Step steps[] = {
        {ID_NB_FOCUS, true, 0, kPane},
        {ID_NB_BOOKMARK, false, 0, kView}, // hidden: the focus leaves the hidden tree
        {ID_NB_BOOKMARK, true, 0, kPane},
        {ID_NB_HISTORY, true, 1, kPane},
        {ID_NB_HISTORY, false, 1, kView},
        {ID_NB_HISTORY, true, 1, kPane},
        {ID_NIMBRA_BAR, false, 1, kView},
        {ID_NB_FOCUS, false, 1, kView},
        {ID_NB_HISTORY_SEARCH, true, 2, kText},
        {ID_NB_WEB_SEARCH, true, 3, kText},
        {ID_NB_FOCUS, true, 3, kPane},
        {ID_NIMBRA_BAR, false, 3, kView},
        {ID_NIMBRA_BAR, true, 3, kPane},
        {kHideButton, false, 3, kView},
        {ID_NB_BOOKMARK, true, 0, kPane},
    };
    const int paneIds[] = {ID_NB_BOOKMARK, ID_NB_HISTORY, ID_NB_HISTORY_SEARCH, ID_NB_WEB_SEARCH};
    // A field right after the pane in the focus chain, where the focus of a
    // hidden pane would otherwise go.
    QLineEdit* decoy = new QLineEdit(m_frame->statusBar());
    decoy->show();
    int n = 0;
    for (const Step& step : steps) {
        ++n;
        QWidget::setTabOrder(Bar()->CurrentFocusTarget(), decoy);
        if (step.id == kHideButton)
            Bar()->HideButton()->click();
        else
            ASSERT_TRUE(m_frame->ExecuteCommand(step.id)) << n;
        EXPECT_EQ(Bar()->IsBarVisible(), step.visible) << "step " << n;
        EXPECT_EQ(Bar()->SelectedPane(), step.pane) << "step " << n;
        QWidget* expected = step.focus == kView ? ViewWidget() : Bar()->CurrentFocusTarget();
        if (step.focus == kText)
            expected = step.pane == 2 ? static_cast<QWidget*>(Sidebar()->HistorySearch()->TextBox())
                                      : Sidebar()->WebSearch()->Form()->TextCombo();
        EXPECT_TRUE(SpinUntil([&] { return m_frame->focusWidget() == expected; }, 2000)) << "step " << n;
        EXPECT_EQ(Checked(ID_NIMBRA_BAR), step.visible) << "step " << n;
        for (int pane = 0; pane < kNimbraBarPaneCount; ++pane)
            EXPECT_EQ(Checked(paneIds[pane]), step.visible && pane == step.pane) << "step " << n << " pane " << pane;
    }
}

TEST_F(NimbraBarTest, PanesAreMadeWhenFirstShownOrAskedForAndWorkBefore)
{
    StartWithTab();
    auto made = [&] {
        std::string out;
        for (int i = 0; i < kNimbraBarPaneCount; ++i)
            out += Bar()->Tab()->IsPaneMade(i) ? 'x' : '-';
        return out;
    };
    EXPECT_EQ(made(), "x---");
    EXPECT_EQ(m_frame->findChild<QWidget*>("WebSearchPane"), nullptr);
    // The file answers for the pane: the built-in list has Google checked.
    EXPECT_TRUE(m_frame->Router().Query(ID_SEARCH_SELECTION).enabled);
    m_frame->ClearHistory();
    Restart([&] { EXPECT_NE(testenv::ReadFile(File("search.ini")).find("ItemCount=4\r\n"), std::string::npos); });
    EXPECT_EQ(made(), "x---");

    // Hidden with the history search selected: made when the bar shows.
    m_frame->ExecuteCommand(ID_NB_HISTORY_SEARCH);
    m_frame->ExecuteCommand(ID_NIMBRA_BAR);
    Restart();
    EXPECT_EQ(made(), "x---");
    m_frame->ExecuteCommand(ID_NIMBRA_BAR);
    EXPECT_EQ(made(), "x-x-");
    EXPECT_TRUE(SpinUntil([&] { return m_frame->focusWidget() == Sidebar()->HistorySearch()->List(); }, 2000));

    // The quick search makes the web search pane in its page, unseen.
    QApplication::clipboard()->setText("w");
    m_frame->FrameSettings().FindWebDlg = 0;
    m_frame->ExecuteCommand(ID_FIND_WEB);
    EXPECT_EQ(made(), "x-xx");
    EXPECT_EQ(Bar()->SelectedPane(), 2);
    EXPECT_TRUE(SpinUntil([&] { return m_frame->Views().size() == 2; }, 5000));
    EXPECT_TRUE(Sidebar()->HistoryTree()->IsStale());
}

TEST_F(NimbraBarTest, StoredPaneIsReadWithinTheTabsAndWrittenAtExit)
{
    StartWithTab();
    for (const char* stored : {"4", "99", "-1", "x", "2"}) {
        Restart([&] { Option("NimbraBarSelTab", std::string(stored)); });
        EXPECT_EQ(Bar()->SelectedPane(), std::string(stored) == "2" ? 2 : 0) << stored;
    }
    m_frame->ExecuteCommand(ID_NB_WEB_SEARCH);
    Restart([&] { EXPECT_EQ(m_app->Settings().GetInt(EKey::NimbraBarSelTab), 3); });
    EXPECT_EQ(Bar()->SelectedPane(), 3);
}

TEST_F(NimbraBarTest, StoredSizesTakeTheirMinimumsAndAreClampedToTheWindowAtUse)
{
    StartWithTab();
    struct Case {
        std::string stored; // "" leaves the key out
        int read;       // 0: clamped when shown, and kept so
        int shownWidth; // 0: as wide as the window lets it be
    };
    const Case cases[] = {
        {"10", 33, 33},  {"-5", 33, 33},   {"0", 33, 33},        {"abc", 200, 200},
        {"", 200, 200}, {"260", 260, 260}, {"700", 700, 700}, {"2147483647", 0, 0},
    };
    for (const Case& c : cases) {
        Restart([&] {
            std::remove(File("barstate.ini").c_str());
            if (!c.stored.empty())
                BarState("szVertCX", c.stored);
        });
        if (c.read != 0) {
            EXPECT_EQ(Bar()->Size(CSizingControlBar::EPlace::Vert).width(), c.read) << c.stored;
        }
        if (c.shownWidth != 0) {
            EXPECT_TRUE(SpinUntil([&] { return Bar()->width() == c.shownWidth; }, 2000))
                << c.stored << ": " << Bar()->width();
        } else {
            // The pages keep their room (less the separator).
            EXPECT_TRUE(SpinUntil([&] { return Bar()->width() > 33; }, 2000));
            EXPECT_GE(m_frame->centralWidget()->width(), CSizingControlBar::kKeepPages - 10) << Bar()->width();
        }
    }

    // Floating far off every screen and larger than any: back on the
    // primary screen, within it.
    Restart([&] {
        BarState("Floating", "1");
        BarState("FloatX", "-40000");
        BarState("FloatY", "90000");
        BarState("szFloatCX", "100000");
        BarState("szFloatCY", "2147483647");
    });
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(Bar()->isFloating());
    EXPECT_TRUE(SpinUntil([&] { return screen.contains(Bar()->frameGeometry()); }, 2000))
        << Bar()->frameGeometry().x() << "," << Bar()->frameGeometry().y() << " " << Bar()->width() << "x"
        << Bar()->height();
}

TEST_F(NimbraBarTest, PaneWidthSideAndVisibilityComeBackAfterARestart)
{
    StartWithTab();
    m_frame->ExecuteCommand(ID_NB_HISTORY_SEARCH);
    // Docked at the top: the gripper runs down the left side, the height
    // is the horizontal size.
    m_frame->addDockWidget(Qt::TopDockWidgetArea, Bar(), Qt::Vertical);
    EXPECT_TRUE(SpinUntil([&] { return Bar()->height() == 200; }, 2000)) << Bar()->height();
    EXPECT_TRUE(Bar()->features() & QDockWidget::DockWidgetVerticalTitleBar);
    // Moved to the right and widened there, then hidden.
    m_frame->addDockWidget(Qt::RightDockWidgetArea, Bar(), Qt::Vertical);
    EXPECT_FALSE(Bar()->features() & QDockWidget::DockWidgetVerticalTitleBar);
    ASSERT_TRUE(SpinUntil([&] { return Bar()->width() == 200; }, 2000)) << Bar()->width();
    m_frame->resizeDocks({Bar()}, {260}, Qt::Horizontal);
    ASSERT_TRUE(SpinUntil([&] { return Bar()->width() == 260; }, 2000)) << Bar()->width();
    m_frame->ExecuteCommand(ID_NIMBRA_BAR);

    Restart([] {});
    EXPECT_EQ(m_frame->dockWidgetArea(Bar()), Qt::RightDockWidgetArea);
    EXPECT_FALSE(Bar()->IsBarVisible());
    EXPECT_EQ(Bar()->SelectedPane(), 2);
    m_frame->ExecuteCommand(ID_NIMBRA_BAR);
    EXPECT_TRUE(SpinUntil([&] { return Bar()->width() == 260; }, 2000)) << Bar()->width();
    EXPECT_EQ(SavedBarState("szVertCX"), "260");
    EXPECT_EQ(SavedBarState("DockArea"), "2");
}

TEST_F(NimbraBarTest, WheelCyclesPanesOnTheTabRowAndScrollsTheTreeThreeLinesANotch)
{
    StartWithTab();
    std::vector<BookmarkItem> links;
    for (int i = 0; i < 300; ++i)
        links.push_back(BookmarkItem::Link("link " + std::to_string(i), "http://l/" + std::to_string(i)));
    Bookmarks(std::move(links));

    QTabBar* tabs = Bar()->Tab()->tabBar();
    // Away from the user: the previous pane, wrapping; towards: the next.
    struct Turn {
        QPoint angle;
        int pane;
    };
    const Turn turns[] = {{{0, 120}, 3}, {{0, -120}, 0}, {{0, -120}, 1}, {{0, -60}, 1}, {{0, -60}, 2},
                          {{0, 240}, 0}, {{120, 0}, 0}};
    for (const Turn& turn : turns) {
        Wheel(tabs, turn.angle);
        EXPECT_EQ(Bar()->SelectedPane(), turn.pane) << turn.angle.x() << "," << turn.angle.y();
    }

    QScrollBar* scroll = Tree()->verticalScrollBar();
    const int line = scroll->singleStep();
    const Turn lines[] = {{{0, -120}, 3}, {{0, -60}, 3}, {{0, -60}, 6}, {{0, 120}, 3}, {{-120, 0}, 3}};
    for (const Turn& turn : lines) {
        const bool used = Wheel(Tree()->viewport(), turn.angle);
        EXPECT_EQ(scroll->value(), turn.pane * line) << turn.angle.x() << "," << turn.angle.y();
        EXPECT_TRUE(used || turn.angle.y() == 0);
    }

    // A hidden bar, or a horizontal turn, is left to the widget under the cursor.
    QWheelEvent horizontal(QPointF(5, 5), Tree()->viewport()->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(120, 0),
                           Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    EXPECT_FALSE(Bar()->OnWheel(Tree()->viewport(), &horizontal));
    m_frame->ExecuteCommand(ID_NIMBRA_BAR);
    QWheelEvent vertical(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                         Qt::NoScrollPhase, false);
    EXPECT_FALSE(Bar()->OnWheel(Tree()->viewport(), &vertical));
    EXPECT_FALSE(Bar()->OnWheel(tabs, &vertical));
}

TEST_F(NimbraBarTest, TabLabelsIconsAndSideFollowTheSettingsAtEveryReload)
{
    // A broken bitmap still gives four icons.
    QDir().mkpath(m_home.path() + "/res");
    testenv::WriteFile(File("res/nb.bmp"), "BM broken");
    StartWithTab();
    CNimbraBarTab* tab = Bar()->Tab();
    const std::vector<std::string> labels{"ブックマーク", "履歴", "履歴検索", "Web検索"};
    auto texts = [&] {
        std::vector<std::string> out;
        for (int i = 0; i < tab->count(); ++i) {
            out.push_back(FromQ(tab->tabText(i)));
            EXPECT_FALSE(tab->tabIcon(i).isNull()) << i;
        }
        return out;
    };
    EXPECT_EQ(texts(), labels);
    EXPECT_EQ(tab->tabPosition(), QTabWidget::South);
    EXPECT_EQ(tab->tabBar()->focusPolicy(), Qt::NoFocus);
    // At the default width the four tabs fit: labels give way rather than
    // tabs scroll away, the selected tab's label last.
    EXPECT_EQ(SavedBarState("szVertCX"), "(missing)");
    QTabBar* row = tab->tabBar();
    ASSERT_TRUE(SpinUntil([&] { return row->isVisible() && row->width() > 100; }, 5000));
    EXPECT_LE(Bar()->width(), 200);
    for (const int pane : {0, 2}) {
        Bar()->SelectPane(pane);
        for (int i = 0; i < row->count(); ++i)
            EXPECT_TRUE(row->rect().contains(row->tabRect(i))) << pane << " " << i;
        for (const QToolButton* scroll : row->findChildren<QToolButton*>())
            EXPECT_FALSE(scroll->isVisible());
        EXPECT_GT(row->tabRect(pane).width(), 16 + row->fontMetrics().horizontalAdvance(tab->tabText(pane))) << pane;
    }

    Option("NBTabText", 0);
    Option("NBTabStyleTop", 1);
    m_frame->ReloadSettings();
    EXPECT_EQ(texts(), std::vector<std::string>(4));
    EXPECT_EQ(tab->tabPosition(), QTabWidget::North);

    Option("NBTabText", 1);
    Option("NBTabStyleTop", 0);
    m_frame->ReloadSettings();
    EXPECT_EQ(texts(), labels);
    EXPECT_EQ(tab->tabPosition(), QTabWidget::South);
}

TEST(FitFloatingRect, KeepsABarOnAScreenAndWithinIt)
{
    const QRect primary(0, 0, 1280, 1024);
    const QRect second(1280, 0, 800, 600);
    struct Case {
        QRect in;
        QRect out;
    };
    const Case cases[] = {
        {{100, 100, 200, 300}, {100, 100, 200, 300}},
        {{1300, 50, 200, 200}, {1300, 50, 200, 200}},        // on the second screen
        {{2000, 500, 200, 200}, {1880, 400, 200, 200}},      // pushed back inside it
        {{-5000, 9000, 200, 200}, {540, 412, 200, 200}},     // on no screen: the primary's middle
        {{10, 10, 100000, 100000}, {0, 0, 1280, 1024}},      // never larger than its screen
    };
    for (const Case& c : cases)
        EXPECT_EQ(FitFloatingRect(c.in, {primary, second}, primary), c.out) << c.in.x() << "," << c.in.y();
}
