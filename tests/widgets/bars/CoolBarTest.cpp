#include "widgets/bars/BandChild.h"
#include "widgets/bars/CoolBar.h"
#include "ui/CommandIds.h"
#include "ui/CommandRouter.h"

#include "TestBrowser.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

using namespace nimbra;
using testenv::SpinUntil;

namespace {

// A band child of a fixed wanted size that records its chevron pushes.
class Child : public QWidget, public IBandChild {
public:
    Child(int width, int height) : m_size(width, height) {}
    QSize sizeHint() const override { return m_size; }
    void ShowHiddenItems(const QRect& chevron) override { pushes.push_back(chevron); }
    std::vector<QRect> pushes;

private:
    QSize m_size;
};

class CoolBar : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A window of its own: it takes the height the bands need.
        QObject::connect(&m_bar, &CCoolBar::HeightChanged, &m_bar, [this](int h) { m_bar.resize(m_bar.width(), h); });
        m_bar.resize(500, 10);
        m_bar.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_bar));
    }
    // Adds a band whose child wants `width` x `height`.
    Child* Add(int id, bool breakBefore, int width = 100, int height = 20, int bandWidth = 0, bool chevron = false)
    {
        auto* child = new Child(width, height);
        EXPECT_TRUE(m_bar.InsertBand(child, 30, 0, bandWidth, 0, breakBefore, chevron, id));
        return child;
    }
    std::vector<std::vector<int>> Rows() const
    {
        std::vector<std::vector<int>> rows;
        int top = -1;
        std::vector<std::pair<int, int>> bands; // left, id by row top
        for (int id : {1, 2, 3, 4}) {
            const QRect rect = m_bar.BandRect(id);
            if (rect.isEmpty())
                continue;
            bands.push_back({rect.top() * 10000 + rect.left(), id});
        }
        std::sort(bands.begin(), bands.end());
        for (const auto& [key, id] : bands) {
            if (key / 10000 != top)
                rows.emplace_back();
            top = key / 10000;
            rows.back().push_back(id);
        }
        return rows;
    }
    // Drags the band's gripper by the given offset.
    void Drag(int id, QPoint by)
    {
        const QPoint from = m_bar.BandRect(id).topLeft() + QPoint(3, 3);
        QWidget* grip = m_bar.childAt(from);
        ASSERT_NE(grip, nullptr);
        auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
            const QPoint local = grip->mapFrom(&m_bar, at);
            QMouseEvent event(type, local, grip->mapToGlobal(local), Qt::LeftButton, buttons, Qt::NoModifier);
            QApplication::sendEvent(grip, &event);
        };
        send(QEvent::MouseButtonPress, from, Qt::LeftButton);
        send(QEvent::MouseMove, from + by, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, from + by, Qt::NoButton);
    }

    CCoolBar m_bar;
};

} // namespace

TEST_F(CoolBar, RowsFollowBreaksAndTheLastBandFillsItsRow)
{
    QSignalSpy heights(&m_bar, &CCoolBar::HeightChanged);
    Add(1, false, 100, 20, 150);
    Add(2, false);
    Add(3, true, 100, 30);
    Add(4, false);
    EXPECT_EQ(Rows(), (std::vector<std::vector<int>>{{1, 2}, {3, 4}}));
    EXPECT_EQ(m_bar.RowCount(), 2);
    EXPECT_EQ(m_bar.BandRect(1).width(), 150);
    EXPECT_EQ(m_bar.BandRect(2).right(), 499);
    EXPECT_EQ(m_bar.BandRect(3).height(), 30);
    EXPECT_EQ(m_bar.sizeHint().height(), 20 + CCoolBar::kRowGap + 30);
    EXPECT_EQ(heights.last().at(0).toInt(), 52);

    // A hidden band keeps its other bits; its break no longer counts.
    m_bar.SetBandStyle(3, kBandBreak | kBandHidden | 0x40);
    EXPECT_EQ(m_bar.BandStyle(3), kBandBreak | kBandHidden | 0x40);
    EXPECT_FALSE(m_bar.IsBandVisible(3));
    EXPECT_EQ(Rows(), (std::vector<std::vector<int>>{{1, 2, 4}}));
    EXPECT_EQ(m_bar.sizeHint().height(), 20);
    // Hidden by its own owner: the same.
    m_bar.SetBandStyle(3, kBandBreak);
    m_bar.BandChild(4)->hide();
    EXPECT_EQ(m_bar.BandStyle(4) & kBandHidden, kBandHidden);
    EXPECT_EQ(Rows(), (std::vector<std::vector<int>>{{1, 2}, {3}}));

    // Too narrow a row: the bands give way down to their least width.
    const int least = CCoolBar::kGripWidth + 30;
    m_bar.resize(120, m_bar.height());
    EXPECT_EQ(m_bar.BandRect(1).width(), 120 - least);
    EXPECT_EQ(m_bar.BandRect(2).width(), least);
    m_bar.resize(60, m_bar.height());
    EXPECT_EQ(m_bar.BandRect(1).width(), least);
    EXPECT_EQ(m_bar.BandRect(2).width(), least);
    EXPECT_EQ(m_bar.BandWidth(1), 150); // kept for a wider bar
}

TEST_F(CoolBar, ChevronAsksTheChildOrListsTheClippedActions)
{
    Child* child = Add(1, false, 300, 20, 0, true);
    auto* menuBar = new QMenuBar;
    for (const char* text : {"ファイル(&F)", "編集(&E)", "表示(&V)", "ツール(&T)", "ヘルプ(&H)"})
        menuBar->addMenu(QString::fromUtf8(text))->addAction(QStringLiteral("x"));
    ASSERT_TRUE(m_bar.InsertBand(menuBar, 20, 0, 0, 0, true, true, 2));

    m_bar.resize(200, m_bar.height());
    const QRect chevron = m_bar.ChevronRect(1);
    ASSERT_FALSE(chevron.isEmpty());
    m_bar.PushChevron(1);
    EXPECT_EQ(child->pushes, std::vector<QRect>{chevron});

    // The menu bar keeps its width behind the band; the chevron lists the
    // menus it hides, in order.
    const int wanted = menuBar->sizeHint().width();
    m_bar.resize(CCoolBar::kGripWidth + wanted / 2 + CCoolBar::kChevronWidth, m_bar.height());
    EXPECT_EQ(menuBar->width(), wanted);
    m_bar.PushChevron(2);
    auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(popup, nullptr);
    const QList<QAction*> listed = popup->actions();
    ASSERT_FALSE(listed.isEmpty());
    EXPECT_LT(listed.size(), 5);
    EXPECT_EQ(listed.back()->text(), QStringLiteral("ヘルプ(&H)"));
    for (qsizetype i = 1; i < listed.size(); ++i)
        EXPECT_LT(menuBar->actions().indexOf(listed[i - 1]), menuBar->actions().indexOf(listed[i]));
    popup->close();

    // Wide enough: no chevron.
    m_bar.resize(CCoolBar::kGripWidth + std::max(wanted, 300) + 10, m_bar.height());
    EXPECT_TRUE(m_bar.ChevronRect(1).isEmpty());
    EXPECT_TRUE(m_bar.ChevronRect(2).isEmpty());
}

TEST_F(CoolBar, GripperResizesAndMovesBandsBetweenRows)
{
    Add(1, false, 100, 20, 200);
    Add(2, false);
    Add(3, true);
    // Left: the band before gives way.
    Drag(2, {-50, 0});
    EXPECT_EQ(m_bar.BandRect(1).width(), 150);
    EXPECT_EQ(m_bar.BandWidth(2), 350);
    // Up into the first row, at its right end.
    Drag(3, {400, -20});
    EXPECT_EQ(Rows(), (std::vector<std::vector<int>>{{1, 2, 3}}));
    // Below the bar: a row of its own; the next band starts the first row.
    Drag(1, {0, 40});
    EXPECT_EQ(Rows(), (std::vector<std::vector<int>>{{2, 3}, {1}}));
    EXPECT_EQ(m_bar.BandStyle(2) & kBandBreak, kBandBreak);
    // Into the first row before its first band.
    Drag(1, {0, -25});
    EXPECT_EQ(Rows(), (std::vector<std::vector<int>>{{1, 2, 3}}));
    EXPECT_EQ(m_bar.IdToIndex(1), 0);
    // A band alone on the last row stays there when dragged further down.
    Drag(3, {0, 40});
    EXPECT_EQ(Rows(), (std::vector<std::vector<int>>{{1, 2}, {3}}));
    Drag(3, {0, 40});
    EXPECT_EQ(Rows(), (std::vector<std::vector<int>>{{1, 2}, {3}}));
    // Within a row: past the left end of the band before it, or the middle
    // of the band after it, a band changes places.
    Drag(2, {-400, 0});
    EXPECT_EQ(Rows(), (std::vector<std::vector<int>>{{2, 1}, {3}}));
    EXPECT_EQ(m_bar.BandStyle(2) & kBandBreak, kBandBreak);
    EXPECT_EQ(m_bar.BandStyle(1) & kBandBreak, 0);
    Drag(2, {m_bar.BandRect(1).center().x() - m_bar.BandRect(2).left() + 10, 0});
    EXPECT_EQ(Rows(), (std::vector<std::vector<int>>{{1, 2}, {3}}));
    EXPECT_EQ(m_bar.BandStyle(1) & kBandBreak, kBandBreak);
}

class NimbraCoolBarTest : public testenv::BrowserTest {
protected:
    CNimbraCoolBar* Bar() const { return qobject_cast<CNimbraCoolBar*>(m_frame->menuWidget()); }
};

TEST_F(NimbraCoolBarTest, BarCommandsHideTheirBandsAndRightClickShowsTheBarMenu)
{
    Start();
    ASSERT_NE(Bar(), nullptr);
    EXPECT_EQ(Bar()->BandChild(kBandMenuBar), m_frame->MainMenu());
    for (const auto& [command, band] : {std::pair{ID_VIEW_ADDRESS_BAR, kBandAddressBar}, {ID_VIEW_TOOLBAR, kBandToolBar},
                                        {ID_VIEW_LINK_BAR, kBandLinkBar}, {ID_TAB_BAR, kBandTabBar}}) {
        ASSERT_GE(Bar()->IdToIndex(band), 0) << band;
        EXPECT_TRUE(m_frame->Router().Query(command).checked.value_or(false)) << command;
        m_frame->ExecuteCommand(command);
        EXPECT_FALSE(Bar()->IsBandVisible(band)) << command;
        EXPECT_EQ(Bar()->GetBand(band)->style & kBandHidden, kBandHidden) << command;
        EXPECT_FALSE(m_frame->Router().Query(command).checked.value_or(true)) << command;
        m_frame->ExecuteCommand(command);
        EXPECT_TRUE(Bar()->IsBandVisible(band)) << command;
    }
    const QPoint at = Bar()->BandRect(kBandAddressBar).topLeft();
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, Bar()->mapToGlobal(at));
    QApplication::sendEvent(Bar(), &click);
    auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(popup->title(), QStringLiteral("ツール バー(&T)"));
    popup->close();
}
