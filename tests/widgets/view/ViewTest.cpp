#include "widgets/bars/AddressCombo.h"
#include "widgets/bars/StatusBar.h"
#include "frames/browser/ChildFrame.h"
#include "ui/CommandIds.h"
#include "platform/Text.h"
#include "widgets/view/PagePropertiesDlg.h"
#include "widgets/view/PopupLimiter.h"
#include "widgets/view/ViewCommands.h"

#include "TestBrowser.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QTextDocument>
#include <QToolTip>

using namespace nimbra;
using testenv::FakeWebBrowser;
using testenv::SpinUntil;

namespace {

class ViewTest : public testenv::BrowserTest {
protected:
    CNimbraView* Open(const std::string& url)
    {
        CNimbraView* view = m_app->OpenUrl(url);
        EXPECT_NE(view, nullptr);
        return view;
    }
    // Waits for the tab bar's timer to close tabs until `count` are left.
    bool TabsLeft(int count) { return SpinUntil([&] { return m_frame->TabCount() == count; }, 2000); }
};

} // namespace

TEST_F(ViewTest, FirstNavigationCreatesTheTabInTheBackground)
{
    Start();
    CNimbraView* first = Open("http://a/");
    CNimbraView* second = Open("http://b/");
    EXPECT_EQ(first->m_nTab, 0);
    EXPECT_EQ(second->m_nTab, 1);
    EXPECT_FALSE(second->m_bTabPending);
    EXPECT_EQ(m_frame->ActiveView(), first);
    EXPECT_EQ(Tabs()->GetItemText(1), "http://b/");
    // Completed in the background: unread until it is activated.
    EXPECT_EQ(first->m_nTabImage, TABIMG_NONE);
    EXPECT_EQ(second->m_nTabImage, TABIMG_UNREAD);
    Tabs()->SelectTab(1);
    EXPECT_EQ(m_frame->ActiveView(), second);
    EXPECT_EQ(second->m_nTabImage, TABIMG_NONE);
    EXPECT_EQ(m_frame->AddressCombo()->currentText().toStdString(), "http://b/");
}

TEST_F(ViewTest, ActiveNewTabActivatesAtTheFirstNavigation)
{
    Option("ActiveNewTab", 1);
    Start();
    Open("http://a/");
    CNimbraView* second = Open("http://b/");
    EXPECT_EQ(m_frame->ActiveView(), second);
}

TEST_F(ViewTest, PopupOpensInANewBackgroundTab)
{
    Start();
    CNimbraView* opener = Open("http://a/");
    FakeWebBrowser* popup = Fake(opener)->OpenWindow("http://popup/");
    ASSERT_NE(popup, nullptr);
    ASSERT_EQ(Tabs()->GetItemCount(), 2);
    CNimbraView* view = Tabs()->ViewAt(1);
    EXPECT_FALSE(view->m_bNewWindowPending);
    EXPECT_EQ(view->m_strUrl, "http://popup/");
    EXPECT_EQ(m_frame->ActiveView(), opener);
}

TEST_F(ViewTest, BlockedPopupIsQueuedCountedAndNeverRecorded)
{
    Option("CloseUrl", 1);
    BlockUrls({"*/ads/*"});
    Start();
    CNimbraView* opener = Open("http://a/");
    Fake(opener)->OpenWindow("http://x/ads/1");
    ASSERT_EQ(m_frame->TabCount(), 2);
    EXPECT_EQ(m_frame->m_nCWC, 1);
    EXPECT_EQ(Tabs()->GetItemCount(), 1); // never got a tab item
    EXPECT_TRUE(TabsLeft(1));
    EXPECT_TRUE(m_frame->RecentClosed().Entries().empty());

    // Case matters.
    Fake(opener)->OpenWindow("http://x/ADS/1");
    EXPECT_EQ(m_frame->TabCount(), 2);
    EXPECT_FALSE(m_frame->Views().back()->m_bMarkedForClose);
    EXPECT_EQ(m_frame->m_nCWC, 1);
}

TEST_F(ViewTest, MailLinkPopupStartsTheMailerAndCloses)
{
    Start();
    CNimbraView* opener = Open("http://a/");
    Fake(opener)->OpenWindow("mailto:someone@example.org");
    ASSERT_EQ(m_shell.opened.size(), 1u);
    EXPECT_TRUE(TabsLeft(1));
}

TEST_F(ViewTest, BlankPopupThatNavigatesToABlockedUrlIsClosed)
{
    Option("CloseUrl", 1);
    BlockUrls({"*/ads/*"});
    for (int newWindowClose : {0, 1}) {
        Option("NewWindowClose", newWindowClose);
        m_app->MainFrame() ? m_frame->ReloadSettings() : void(Start());
        CNimbraView* opener = Open("http://a/");
        const int cwc = m_frame->m_nCWC;
        const int tabs = m_frame->TabCount();
        // The blank first page is still loading when the pop-up moves on.
        FakeWebBrowser* popup = Fake(opener)->OpenWindow("about:blank", true);
        ASSERT_NE(popup, nullptr);
        popup->Navigate("http://x/ads/2", 0, {});
        EXPECT_EQ(popup->refused.size(), 1u);
        EXPECT_EQ(m_frame->m_nCWC, cwc + 1) << "NewWindowClose " << newWindowClose;
        EXPECT_TRUE(TabsLeft(tabs));
    }
}

TEST_F(ViewTest, BlankPopupThatStaysGetsItsTab)
{
    Start();
    CNimbraView* opener = Open("http://a/");
    Fake(opener)->OpenWindow("about:blank");
    EXPECT_EQ(Tabs()->GetItemCount(), 1); // settles first
    ASSERT_TRUE(SpinUntil([&] { return Tabs()->GetItemCount() == 2; }, 2000));
    CNimbraView* popup = Tabs()->ViewAt(1);
    EXPECT_FALSE(popup->m_bBlankPopup);
    EXPECT_EQ(Tabs()->GetItemText(1), "about:blank");
    EXPECT_EQ(popup->m_nTabImage, TABIMG_UNREAD);
}

TEST_F(ViewTest, BlankPopupIsClosedWhenAboutBlankIsBlocked)
{
    Option("CloseUrl", 1);
    BlockUrls({"about:blank"});
    Start();
    CNimbraView* opener = Open("http://a/");
    Fake(opener)->OpenWindow("about:blank");
    EXPECT_TRUE(SpinUntil([&] { return m_frame->m_nCWC == 1; }, 2000));
    EXPECT_TRUE(TabsLeft(1));
}

TEST_F(ViewTest, BlockedNavigationOfAnOrdinaryTab)
{
    Option("CloseUrl", 1);
    BlockUrls({"http://blocked/"});
    Start();
    CNimbraView* view = Open("http://a/");
    Fake(view)->ClickLink("http://blocked/");
    EXPECT_EQ(Fake(view)->refused, (std::vector<std::string>{"http://blocked/"}));
    EXPECT_EQ(view->GetLocationURL(), "http://a/");
    EXPECT_EQ(m_frame->m_nCWC, 0);

    // Only pop-ups are checked with NewWindowClose.
    Option("NewWindowClose", 1);
    m_frame->ReloadSettings();
    Fake(view)->ClickLink("http://blocked/");
    EXPECT_EQ(view->GetLocationURL(), "http://blocked/");
}

TEST_F(ViewTest, NavigationLockOpensLinksInNewTabsOrNowhere)
{
    Start();
    CNimbraView* view = Open("http://a/");
    view->ToggleNaviLock();
    EXPECT_EQ(Tabs()->GetItemImage(0), TABIMG_LOCKED);
    Fake(view)->ClickLink("http://b/");
    EXPECT_EQ(view->GetLocationURL(), "http://a/");
    ASSERT_EQ(Tabs()->GetItemCount(), 2);
    EXPECT_EQ(Tabs()->ViewAt(1)->m_strUrl, "http://b/");
    // The lock icon and the text stay.
    Fake(view)->ChangeTitle("changed");
    EXPECT_EQ(Tabs()->GetItemText(0), "http://a/");
    EXPECT_EQ(Tabs()->GetItemImage(0), TABIMG_LOCKED);

    Option("NaviNewTabLock", 1);
    m_frame->ReloadSettings();
    Fake(view)->ClickLink("http://c/");
    EXPECT_EQ(Fake(view)->OpenWindow("http://d/"), nullptr);
    EXPECT_EQ(Tabs()->GetItemCount(), 2);

    view->ToggleNaviLock();
    EXPECT_EQ(Tabs()->GetItemImage(0), TABIMG_NONE);
}

TEST_F(ViewTest, BlockedTitleClosesEveryNewTabAtLoading)
{
    Option("CloseTitle", 1);
    BlockTitles({"*"});
    Start();
    m_app->OpenUrl("http://a/");
    m_app->OpenUrl("http://b/");
    EXPECT_EQ(m_frame->m_nCWC, 2);
    EXPECT_TRUE(TabsLeft(0));
}

TEST_F(ViewTest, ClosedTabsAreRecordedButNotBlankOnes)
{
    Start();
    CNimbraView* a = Open("http://a/");
    CNimbraView* blank = Open("about:blank");
    FakeWebBrowser::Titles()["http://c/"] = "Page C";
    Open("http://c/");
    CChildFrame::Of(blank)->close();
    CChildFrame::Of(Tabs()->ViewAt(1))->close();
    EXPECT_EQ(Tabs()->GetItemCount(), 1);
    EXPECT_EQ(a->m_nTab, 0);
    ASSERT_EQ(m_frame->RecentClosed().Entries().size(), 1u);
    EXPECT_EQ(m_frame->RecentClosed().Entries()[0].title, "Page C");
    EXPECT_EQ(m_frame->RecentClosed().LastClosedUrl(), "http://c/");
}

TEST_F(ViewTest, TabsKeepTheirOwnDownloadControlFlags)
{
    Option("DownloadCtrl", 112);
    Start();
    CNimbraView* a = Open("http://a/");
    CNimbraView* b = Open("http://b/");
    EXPECT_EQ(Fake(a)->downloadControl, 112u);
    a->m_dwDLControlPrev = a->m_dwDLControl;
    a->m_dwDLControl = 112 | DLCTL_NO_SCRIPTS;
    a->NotifyAmbientChange(-5512);
    EXPECT_EQ(Fake(a)->downloadControl, 112u | DLCTL_NO_SCRIPTS);
    EXPECT_EQ(Fake(b)->downloadControl, 112u);
    b->NotifyAmbientChange(-1); // another property: nothing changes
    EXPECT_EQ(Fake(b)->downloadControl, 112u);
}

TEST_F(ViewTest, ProgressPercentages)
{
    EXPECT_EQ(CNimbraView::ProgressPercent(50, 200), 25);
    EXPECT_EQ(CNimbraView::ProgressPercent(200, 200), 100);
    EXPECT_EQ(CNimbraView::ProgressPercent(-1, 200), 0);
    EXPECT_EQ(CNimbraView::ProgressPercent(0, 0), 0);
    EXPECT_EQ(CNimbraView::ProgressPercent(300, 200), 100);
    EXPECT_EQ(CNimbraView::ProgressPercent(1, 3), 33);
}

TEST_F(ViewTest, StatusBarFollowsTheActiveTab)
{
    Start();
    CNimbraView* view = Open("https://secure.example/");
    Fake(view)->holding = true;
    view->ProgressChange(50, 200);
    EXPECT_EQ(m_frame->StatusBar()->Progress(), 25);
    view->SetSecureLockIcon(SECURELOCK_SET_SECURE128BIT);
    EXPECT_TRUE(m_frame->StatusBar()->IsSecureShown());
    EXPECT_EQ(m_frame->StatusBar()->ZoneText(), CNimbraStatusBar::ZoneName(URLZONE_INTERNET));
    m_app->OpenUrl("http://b/");
    Tabs()->SelectTab(0);
    EXPECT_TRUE(m_frame->StatusBar()->IsSecureShown());
    Tabs()->SelectTab(1);
    EXPECT_FALSE(m_frame->StatusBar()->IsSecureShown());
}

TEST_F(ViewTest, CtrlTabInsideAPageSwitchesTabs)
{
    Start();
    CNimbraView* a = Open("http://a/");
    CNimbraView* b = Open("http://b/");
    QWidget* page = Fake(a)->Widget();
    QTest::keyClick(page, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(m_frame->ActiveView(), b);
    QTest::keyClick(Fake(b)->Widget(), Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(m_frame->ActiveView(), a); // wraps
    QTest::keyClick(Fake(a)->Widget(), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(m_frame->ActiveView(), b);
}

TEST_F(ViewTest, TabLimitCancelsPopups)
{
    Option("TabMax", 1);
    Option("TabMaxCount", 1);
    Start();
    CNimbraView* view = Open("http://a/");
    EXPECT_EQ(Fake(view)->OpenWindow("http://b/"), nullptr);
    EXPECT_EQ(m_frame->TabCount(), 1);
}

TEST_F(ViewTest, LockedTabReloadsAndMovesInItsOwnHistoryInPlace)
{
    Start();
    CNimbraView* view = Open("http://a/");
    Fake(view)->ClickLink("http://b/");
    view->ToggleNaviLock();
    // The tab menu's refresh, refresh-all and the page's own history.back().
    m_frame->m_nContextTab = 0;
    m_frame->ExecuteCommand(ID_CONTEXT_REFRESH);
    m_frame->ExecuteCommand(ID_REFRESH_ALL);
    EXPECT_EQ(Fake(view)->refreshes.size(), 2u);
    Fake(view)->GoBack();
    EXPECT_EQ(view->GetLocationURL(), "http://a/");
    EXPECT_EQ(m_frame->TabCount(), 1);
    EXPECT_EQ(Tabs()->GetItemImage(0), TABIMG_LOCKED);
    // The tab menu's back, forward and home obey the lock.
    for (int id : {ID_CONTEXT_FORWARD, ID_CONTEXT_HOME}) {
        m_frame->m_nContextTab = 0;
        m_frame->ExecuteCommand(id);
    }
    EXPECT_EQ(view->GetLocationURL(), "http://a/");
    EXPECT_EQ(m_frame->TabCount(), 1);
    // A link is still a new navigation.
    Fake(view)->ClickLink("http://c/");
    EXPECT_EQ(m_frame->TabCount(), 2);
}

TEST_F(ViewTest, NoTabIsLeftWithoutItsItem)
{
    Option("TabMax", 1);
    Option("TabMaxCount", 3);
    Option("CloseUrl", 1);
    BlockUrls({"*/ads/*"});
    Start();
    CNimbraView* opener = Open("http://a/");
    // A script URL runs in the active tab and opens none.
    EXPECT_EQ(m_app->OpenUrl("javascript:void(0)"), nullptr);
    EXPECT_EQ(Fake(opener)->navigations.back(), "javascript:void(0)");
    EXPECT_EQ(m_frame->TabCount(), 1);
    // A pop-up whose first navigation never starts is shown all the same.
    ASSERT_NE(opener->NewWindow2(true), nullptr);
    ASSERT_TRUE(SpinUntil([&] { return Tabs()->GetItemCount() == 2; }, 5000));
    EXPECT_EQ(Tabs()->GetItemText(1), "about:blank");
    // A blocked pop-up on its way out does not count against the limit.
    Fake(opener)->OpenWindow("http://x/ads/1");
    EXPECT_NE(m_app->OpenUrl("http://b/"), nullptr);
    EXPECT_EQ(m_app->OpenUrl("http://c/"), nullptr);
}

TEST_F(ViewTest, PageTextIsShownAsPlainText)
{
    // What a user reads in a widget that guesses the format of `text`.
    auto shown = [](const QString& text, Qt::TextFormat format = Qt::AutoText) {
        QTextDocument document;
        if (format == Qt::RichText || (format == Qt::AutoText && Qt::mightBeRichText(text)))
            document.setHtml(text);
        else
            document.setPlainText(text);
        return document.toPlainText();
    };
    const std::string title = "<b><font color=red>x</font></b>";
    const std::string url = "http://a/?<i>";
    for (const char* page : {"http://a/?<i>", "http://b/", "http://c/"})
        FakeWebBrowser::Titles()[page] = title;
    Start();
    CNimbraView* view = Open(url);

    const QPoint centre = Tabs()->TabCtrl()->TabRect(0).center();
    QHelpEvent help(QEvent::ToolTip, centre, Tabs()->TabCtrl()->mapToGlobal(centre));
    QApplication::sendEvent(Tabs()->TabCtrl(), &help);
    EXPECT_EQ(shown(QToolTip::text()), ToQ(title + "\n" + url));

    ASSERT_TRUE(m_frame->ExecuteCommand(ID_PROPERTIES));
    auto* dialog = m_frame->findChild<CPagePropertiesDlg*>();
    ASSERT_NE(dialog, nullptr);
    QStringList labels;
    for (QLabel* label : dialog->findChildren<QLabel*>())
        labels << shown(label->text(), label->textFormat());
    EXPECT_TRUE(labels.contains(ToQ(title)));
    EXPECT_TRUE(labels.contains(ToQ(url)));
    delete dialog;

    Fake(view)->ClickLink("http://b/");
    Fake(view)->ClickLink("http://c/");
    std::unique_ptr<QMenu> back(CreateHistoryMenu(*m_frame, *view, false, nullptr));
    ASSERT_FALSE(back->actions().isEmpty());
    EXPECT_EQ(shown(back->actions()[0]->toolTip()), ToQ(title));
}

TEST(OpenRateTest, AFewOpensPassInAnyPeriodAndTheOldestMakeRoom)
{
    COpenRate rate;
    for (int i = 0; i < COpenRate::kFreeOpens; ++i)
        EXPECT_TRUE(rate.Take(1000 + i));
    EXPECT_FALSE(rate.Take(1000 + COpenRate::kPeriodMs - 1));
    EXPECT_TRUE(rate.Take(1000 + COpenRate::kPeriodMs));
    EXPECT_FALSE(rate.Take(1000 + COpenRate::kPeriodMs));
}

TEST_F(ViewTest, PageOpeningWindowsByItselfIsRefusedBeyondTheRateButClicksOpen)
{
    Start();
    CNimbraView* opener = Open("http://a/");
    for (int i = 0; i < COpenRate::kFreeOpens; ++i)
        EXPECT_NE(Fake(opener)->OpenWindow("http://p/" + std::to_string(i), false, false), nullptr);
    EXPECT_EQ(Fake(opener)->OpenWindow("http://p/x", false, false), nullptr);
    EXPECT_EQ(opener->m_nRefusedOpens, 1);
    EXPECT_EQ(CPopupLimiter::Of(m_frame)->Text(), QStringLiteral("ポップアップを 1 件ブロック"));
    EXPECT_NE(Fake(opener)->OpenWindow("http://p/clicked", false, true), nullptr);
    // Another tab's page has not run away: it waits for the rate.
    CNimbraView* other = Open("http://b/");
    EXPECT_EQ(Fake(other)->OpenWindow("http://p/y", false, false), nullptr);
    EXPECT_EQ(Fake(other)->OpenWindow("http://p/z", false, false), nullptr);
    EXPECT_EQ(other->m_nRefusedOpens, 2);
    Tabs()->SelectTab(other->m_nTab);
    EXPECT_EQ(CPopupLimiter::Of(m_frame)->Text(), QStringLiteral("ポップアップを 2 件ブロック"));
    Tabs()->SelectTab(opener->m_nTab);
    EXPECT_EQ(CPopupLimiter::Of(m_frame)->Text(), QStringLiteral("ポップアップを 1 件ブロック"));
}
