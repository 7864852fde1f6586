#include "widgets/bars/StatusBar.h"
#include "ui/CommandIds.h"
#include "ui/CommandRouter.h"

#include "TestBrowser.h"

#include <QAction>
#include <QTest>

using namespace nimbra;
using testenv::SpinUntil;

namespace {

// Counts the paint events a widget gets.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

TEST(StatusProgress, CaptionsAndRanges)
{
    CStatusProgress progress(nullptr);
    const std::pair<int, const char*> cases[] = {{0, ""}, {1, "1%"}, {100, "100%"}, {-5, ""}, {250, "100%"}};
    for (const auto& [pos, caption] : cases) {
        progress.SetPos(pos);
        EXPECT_EQ(progress.CaptionText(), QString::fromUtf8(caption)) << pos;
    }
    progress.SetCaption(QStringLiteral("読み込み中"));
    EXPECT_EQ(progress.CaptionText(), QStringLiteral("読み込み中"));
    progress.SetRange(5, 5);
    EXPECT_TRUE(progress.CaptionText().isEmpty());
}

TEST(StatusProgress, RepaintsOnlyWhenTheFilledWidthChanges)
{
    CStatusProgress progress(nullptr);
    progress.resize(50, 16);
    progress.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&progress));
    progress.SetPos(40);
    QApplication::processEvents();
    PaintCounter counter(&progress);
    // 50 pixels for 100 steps: every second step moves the fill.
    for (int i = 0; i < 1000; ++i)
        progress.SetPos(40);
    QApplication::processEvents();
    EXPECT_EQ(counter.paints, 0);
    progress.SetPos(41);
    QApplication::processEvents();
    EXPECT_EQ(counter.paints, 0);
    progress.SetPos(42);
    EXPECT_TRUE(SpinUntil([&] { return counter.paints == 1; }, 1000));
    progress.resize(60, 16);
    EXPECT_TRUE(SpinUntil([&] { return counter.paints == 2; }, 1000));
}

class StatusBarTest : public testenv::BrowserTest {};

TEST_F(StatusBarTest, PanesShowTheFrameFlagsAndAClickReloadsTheTab)
{
    Start();
    CNimbraStatusBar* status = m_frame->StatusBar();
    CNimbraView* view = m_app->OpenUrl("http://a/");
    ASSERT_NE(view, nullptr);
    CStatusTogglePane* java = status->TogglePane(61250);
    ASSERT_NE(java, nullptr);
    EXPECT_TRUE(java->IsOn());
    const unsigned before = m_frame->DownloadFlags();

    QTest::mouseClick(java, Qt::LeftButton);
    EXPECT_EQ(m_frame->DownloadFlags(), before | DLCTL_NO_JAVA);
    EXPECT_FALSE(java->IsOn());
    EXPECT_TRUE(view->m_dwDLControl & DLCTL_NO_JAVA);
    EXPECT_EQ(Fake(view)->downloadControl & DLCTL_NO_JAVA, DLCTL_NO_JAVA);
    EXPECT_EQ(Fake(view)->refreshes, std::vector<int>{3});
    EXPECT_EQ(m_app->Settings().GetInt("Options", "DownloadCtrl", 0), int(before | DLCTL_NO_JAVA));

    QTest::mouseClick(java, Qt::LeftButton);
    EXPECT_EQ(m_frame->DownloadFlags(), before);
    EXPECT_TRUE(java->IsOn());
    EXPECT_EQ(Fake(view)->refreshes, (std::vector<int>{3, 3}));
    // A multimedia pane is greyed while its bit is clear.
    QTest::mouseClick(status->TogglePane(61247), Qt::LeftButton);
    EXPECT_FALSE(status->TogglePane(61247)->IsOn());
    EXPECT_TRUE(status->TogglePane(61247)->toolTip().endsWith(QStringLiteral("オフ")));
}

TEST_F(StatusBarTest, IndicatorsFollowTheTabsAndTheBarHides)
{
    Start();
    CNimbraStatusBar* status = m_frame->StatusBar();
    m_app->OpenUrl("http://a/");
    EXPECT_EQ(status->ZoneText(), CNimbraStatusBar::ZoneName(URLZONE_INTRANET));
    // A finished load empties the bar.
    EXPECT_EQ(status->Progress(), 0);
    m_frame->ExecuteCommand(ID_FILE_CLOSE);
    EXPECT_TRUE(status->ZoneText().isEmpty());
    EXPECT_FALSE(status->IsSecureShown());

    m_frame->ExecuteCommand(ID_VIEW_STATUS_BAR);
    EXPECT_TRUE(status->isHidden());
    m_frame->Router().Update(ID_VIEW_STATUS_BAR);
    EXPECT_FALSE(m_frame->Router().Action(ID_VIEW_STATUS_BAR)->isChecked());
    m_frame->ExecuteCommand(ID_VIEW_STATUS_BAR);
    EXPECT_FALSE(status->isHidden());
}
