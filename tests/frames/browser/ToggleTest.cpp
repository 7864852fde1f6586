#include "widgets/bars/StatusBar.h"
#include "ui/CommandIds.h"
#include "ui/CommandRouter.h"
#include "platform/MessageBox.h"
#include "platform/PageDialogs.h"
#include "platform/SystemSettings.h"

#include "TestBrowser.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QTimer>
#include <QUrl>

using namespace nimbra;
using testenv::SpinUntil;

namespace {

class ToggleTest : public testenv::BrowserTest {
protected:
    bool Checked(int id)
    {
        m_frame->Router().Update(id);
        return m_frame->Router().Action(id)->isChecked();
    }
};

} // namespace

TEST_F(ToggleTest, FlagsActPerTabAndOnNewTabsWithoutOne)
{
    Start();
    // No tab: the frame's value, the default of new tabs, changes.
    m_frame->ExecuteCommand(ID_RUN_SCRIPTS);
    EXPECT_EQ(m_frame->DownloadFlags(), 0x70u | DLCTL_NO_SCRIPTS);
    EXPECT_FALSE(Checked(ID_RUN_SCRIPTS));
    CNimbraView* a = m_app->OpenUrl("http://a/");
    CNimbraView* b = m_app->OpenUrl("http://b/");
    EXPECT_EQ(Fake(a)->downloadControl, 0x70u | DLCTL_NO_SCRIPTS);

    m_frame->ViewManager()->SelectTab(0);
    m_frame->ExecuteCommand(ID_DL_IMAGES);
    EXPECT_EQ(a->m_dwDLControl & DLCTL_DLIMAGES, 0u);
    EXPECT_EQ(Fake(a)->downloadControl & DLCTL_DLIMAGES, 0u);
    EXPECT_EQ(Fake(a)->refreshes, std::vector<int>{3});
    EXPECT_NE(b->m_dwDLControl & DLCTL_DLIMAGES, 0u);
    EXPECT_NE(m_frame->DownloadFlags() & DLCTL_DLIMAGES, 0u);
    // The item and the toolbar's button are one action: it shows the tab.
    EXPECT_FALSE(Checked(ID_DL_IMAGES));
    m_frame->ViewManager()->SelectTab(1);
    EXPECT_TRUE(Checked(ID_DL_IMAGES));

    // Inversion: images on and sounds off become images off and sounds on.
    b->m_dwDLControl = DLCTL_DLIMAGES | DLCTL_VIDEOS;
    m_frame->ExecuteCommand(ID_INVERT_MULTIMEDIA);
    EXPECT_EQ(b->m_dwDLControl, unsigned(DLCTL_BGSOUNDS));
    m_frame->ExecuteCommand(ID_INVERT_SECURITY);
    EXPECT_EQ(b->m_dwDLControl, DLCTL_BGSOUNDS | 0x780u);
}

TEST_F(ToggleTest, PropChangeRefreshLeavesTheFlagsForTheNextPage)
{
    Option("PropChangeRefresh", 1);
    Start();
    CNimbraView* view = m_app->OpenUrl("http://a/");
    m_frame->ExecuteCommand(ID_RUN_SCRIPTS);
    EXPECT_TRUE(Fake(view)->refreshes.empty());
    EXPECT_EQ(Fake(view)->downloadControl & DLCTL_NO_SCRIPTS, 0u);
    Fake(view)->ClickLink("http://b/");
    EXPECT_EQ(Fake(view)->downloadControl & DLCTL_NO_SCRIPTS, unsigned(DLCTL_NO_SCRIPTS));
}

TEST_F(ToggleTest, PresetsAndUnknownBits)
{
    Option("DownloadCtrl", -1);
    Option("DownloadCtrl1", 0x10);
    Option("DownloadCtrl3", 0x7F0);
    Start();
    // Known bits act, the others stay.
    m_frame->ExecuteCommand(ID_DL_IMAGES);
    EXPECT_EQ(m_app->Settings().GetInt("Options", "DownloadCtrl", 0), -1 ^ 0x10);

    m_frame->ExecuteCommand(ID_SECURITY_LEVEL);
    EXPECT_EQ(m_frame->DownloadFlags(), 0x10u);
    CNimbraView* view = m_app->OpenUrl("http://a/");
    m_frame->ExecuteCommand(ID_SECURITY_LEVEL_FIRST + 3);
    EXPECT_EQ(view->m_dwDLControl, 0x7F0u);
    EXPECT_EQ(view->m_dwDLControlPrev, 0x10u);
    m_frame->ExecuteCommand(ID_SECURITY_LEVEL_FIRST);
    EXPECT_EQ(view->m_dwDLControl, 0x10u);

    QMenu* menu = m_frame->SecurityLevelMenu();
    ASSERT_EQ(menu->actions().size(), 5);
    EXPECT_TRUE(menu->actions()[1]->font().bold());
    EXPECT_EQ(m_frame->Router().Action(ID_SECURITY_LEVEL)->menu(), menu);
}

TEST_F(ToggleTest, CookieItemsWriteTheStore)
{
    Option("IEVersion", 6);
    Start();
    CSystemSettings system;
    ASSERT_TRUE(system.SetCookieChoice(0));
    EXPECT_TRUE(Checked(ID_COOKIES));
    m_frame->ExecuteCommand(ID_COOKIES);
    EXPECT_EQ(system.PrivacyText(0), "IE6-P3PV1/settings: always=r session=a");
    EXPECT_FALSE(Checked(ID_COOKIES));
    m_frame->ExecuteCommand(ID_INVERT_COOKIES);
    EXPECT_EQ(system.PrivacyText(0), "IE6-P3PV1/settings: always=a");
    EXPECT_EQ(system.PrivacyText(1), "IE6-P3PV1/settings: always=r");
    EXPECT_FALSE(Checked(ID_THIRD_PARTY_COOKIES));
    EXPECT_TRUE(system.CookieRules().refuseThirdParty);

    // The zone policies without IEVersion 6; they know no third party.
    Option("IEVersion", 5);
    m_frame->ReloadSettings();
    m_frame->ExecuteCommand(ID_SESSION_COOKIES);
    EXPECT_EQ(system.ZonePolicy(URLACTION_COOKIES_SESSION), URLPOLICY_DISALLOW);
    EXPECT_FALSE(Checked(ID_SESSION_COOKIES));
    m_frame->ExecuteCommand(ID_THIRD_PARTY_COOKIES);
    EXPECT_EQ(system.PrivacyText(1), "IE6-P3PV1/settings: always=r");
    system.SetCookieChoice(0);

    // A cancelled delete says so; nothing starts the engine to delete.
    QStringList messages;
    testenv::HandlerGuard answers(SetAnswerHandler, [](const QString&) { return false; });
    testenv::HandlerGuard texts(SetMessageHandler, [&](const QString& text) { messages << text; });
    m_frame->ExecuteCommand(ID_DELETE_COOKIES);
    EXPECT_EQ(messages, QStringList{QStringLiteral("中止しました。")});
}

TEST_F(ToggleTest, OfflineFollowsTheStore)
{
    Start();
    m_app->OpenUrl("http://a/");
    m_frame->ExecuteCommand(ID_WORK_OFFLINE);
    EXPECT_TRUE(CSystemSettings().Offline());
    EXPECT_TRUE(m_frame->StatusBar()->IsOfflineShown());
    EXPECT_TRUE(m_frame->windowTitle().endsWith(QStringLiteral(" - [オフライン作業]")));
    EXPECT_TRUE(Checked(ID_WORK_OFFLINE));
    // Another program goes online: the next load sees it.
    CSystemSettings().SetOffline(false);
    m_app->OpenUrl("http://b/");
    EXPECT_FALSE(m_frame->StatusBar()->IsOfflineShown());
    EXPECT_FALSE(m_frame->windowTitle().contains(QStringLiteral("オフライン")));
}

TEST_F(ToggleTest, WarningDialogsCloseWhileKillDlgIsOn)
{
    Start();
    const QUrl origin(QStringLiteral("http://a/"));
    // Turned on while an alert is open: the next tick closes it.
    QTimer::singleShot(0, m_frame, [&] {
        ASSERT_EQ(OpenWarningDialogs(), 1);
        m_frame->ExecuteCommand(ID_KILL_DIALOGS);
    });
    // Should the sweep fail, the test still ends.
    bool rescued = false;
    QTimer::singleShot(20000, m_frame, [&rescued] {
        rescued = OpenWarningDialogs() > 0;
        RejectWarningDialogs();
    });
    ShowPageAlert(m_frame, origin, QStringLiteral("open"));
    EXPECT_FALSE(rescued) << "the sweep left the alert open";
    EXPECT_EQ(m_app->Settings().GetInt("Options", "KillDlg", 0), 1);
    EXPECT_TRUE(Checked(ID_KILL_DIALOGS));

    // While on: no alert window, Cancel for confirms, "leave" for leaving.
    ShowPageAlert(m_frame, origin, QStringLiteral("no window"));
    EXPECT_FALSE(AskPageConfirm(m_frame, origin, QStringLiteral("sure?")));
    EXPECT_TRUE(AskPageConfirm(m_frame, origin,
                               QStringLiteral("Are you sure you want to leave this page? Changes that you made may not be saved.")));
    // Prompts still show.
    QString answer;
    QTimer::singleShot(0, m_frame, [] {
        auto* prompt = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(prompt, nullptr);
        prompt->accept();
    });
    EXPECT_TRUE(AskPagePrompt(m_frame, origin, QStringLiteral("name?"), QStringLiteral("x"), &answer));
    EXPECT_EQ(answer, QStringLiteral("x"));
    m_frame->ExecuteCommand(ID_KILL_DIALOGS);
    EXPECT_FALSE(CloseWarningDialogs());
}
