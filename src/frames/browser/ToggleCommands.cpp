// The main frame's download-control, cookie, offline and warning-dialog
// toggles, and the status bar's command.
#include "widgets/bars/StatusBar.h"
#include "frames/browser/ViewManager.h"
#include "ui/CommandIds.h"
#include "ui/CommandRouter.h"
#include "frames/browser/MainFrame.h"
#include "platform/MessageBox.h"
#include "platform/PageDialogs.h"
#include "platform/SystemSettings.h"
#include "platform/WebEngineBrowser.h"
#include "widgets/view/NimbraView.h"

#include <QAction>
#include <QFont>
#include <QMenu>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>

namespace nimbra {

namespace {

struct SFlagCommand {
    int id;
    unsigned bit;
    bool security; // checked while the bit is clear
};

constexpr SFlagCommand kFlagCommands[] = {
    {ID_DL_IMAGES, DLCTL_DLIMAGES, false},     {ID_DL_SOUNDS, DLCTL_BGSOUNDS, false},
    {ID_DL_VIDEOS, DLCTL_VIDEOS, false},       {ID_RUN_JAVA, DLCTL_NO_JAVA, true},
    {ID_RUN_SCRIPTS, DLCTL_NO_SCRIPTS, true},  {ID_RUN_ACTIVEX, DLCTL_NO_RUNACTIVEXCTLS, true},
    {ID_DL_ACTIVEX, DLCTL_NO_DLACTIVEXCTLS, true},
};

constexpr unsigned kMultimediaBits = DLCTL_DLIMAGES | DLCTL_BGSOUNDS | DLCTL_VIDEOS;
constexpr unsigned kSecurityBits = DLCTL_NO_JAVA | DLCTL_NO_SCRIPTS | DLCTL_NO_RUNACTIVEXCTLS | DLCTL_NO_DLACTIVEXCTLS;

constexpr const char* kSecurityLevelTexts[] = {"初期値(&D)", "お気に入り(&F)", "設定 低(&L)", "設定 中(&M)", "設定 高(&H)"};

constexpr char kDeleteCookiesText[] = "クッキーをすべて削除します。\n\nよろしいですか？\n"
                                      "(クッキーの意味がわからない人はキャンセルボタンを押してください)";

} // namespace

void CMainFrame::SetFrameDownloadFlags(unsigned flags)
{
    m_settings.DownloadCtrl = int(flags);
    m_host.Settings().WriteInt(EKey::DownloadCtrl, m_settings.DownloadCtrl);
    if (m_pStatusBar)
        m_pStatusBar->SetDownloadFlags(flags);
}

void CMainFrame::ToggleDownloadFlag(unsigned bit)
{
    if (CNimbraView* view = ActiveView())
        view->m_dwDLControl ^= bit;
    else
        SetFrameDownloadFlags(DownloadFlags() ^ bit);
}

bool CMainFrame::IsDownloadFlagSet(unsigned bit) const
{
    const CNimbraView* view = ActiveView();
    return ((view ? view->m_dwDLControl : DownloadFlags()) & bit) != 0;
}

void CMainFrame::ApplyDownloadFlags()
{
    CNimbraView* view = ActiveView();
    if (m_settings.PropChangeRefresh != 0 || !view)
        return;
    if (!view->GetLocationURL().empty())
        view->NotifyAmbientChange(CNimbraView::DISPID_AMBIENT_DLCONTROL);
    view->Refresh(3);
}

void CMainFrame::ApplyDownloadPreset(int n)
{
    CSettings& settings = m_host.Settings();
    const unsigned preset = unsigned(n == 0 ? settings.GetInt(EKey::DownloadCtrl) : settings.GetInt(DownloadCtrlKey(n)));
    if (CNimbraView* view = ActiveView()) {
        view->m_dwDLControlPrev = view->m_dwDLControl;
        view->m_dwDLControl = preset;
    } else {
        m_dwDLControlPrev = DownloadFlags();
        SetFrameDownloadFlags(preset);
    }
    ApplyDownloadFlags();
}

void CMainFrame::OnTogglePane(unsigned bit)
{
    SetFrameDownloadFlags(DownloadFlags() ^ bit);
    // The open page takes the frame's new setting of the bit.
    if (CNimbraView* view = ActiveView()) {
        view->m_dwDLControl = (view->m_dwDLControl & ~bit) | (DownloadFlags() & bit);
        ApplyDownloadFlags();
    }
    m_pRouter->UpdateAll();
}

void CMainFrame::PrepareSecurityLevelItems()
{
    m_pSecurityLevelMenu = new QMenu(this);
    for (int n = 0; n <= ID_SECURITY_LEVEL_LAST - ID_SECURITY_LEVEL_FIRST; ++n) {
        QAction* action = m_pRouter->Action(ID_SECURITY_LEVEL_FIRST + n);
        action->setText(QString::fromUtf8(kSecurityLevelTexts[n]));
        if (n == 1) {
            QFont font = action->font();
            font.setBold(true);
            action->setFont(font);
        }
        m_pSecurityLevelMenu->addAction(action);
    }
    QAction* button = m_pRouter->Action(ID_SECURITY_LEVEL);
    if (button->text().isEmpty())
        button->setText(QStringLiteral("セキュリティ指定"));
    button->setMenu(m_pSecurityLevelMenu);
    m_pRouter->WatchMenu(m_pSecurityLevelMenu);
}

void CMainFrame::ShowOfflineState(bool offline)
{
    CWebEngineBrowser::SetWorkOffline(offline);
    m_offline.SetOffline(offline);
    if (m_pStatusBar)
        m_pStatusBar->SetOffline(offline);
    UpdateCaption();
}

void CMainFrame::SetOfflineMode(bool offline)
{
    CSystemSettings system;
    system.SetOffline(offline);
    ShowOfflineState(system.Offline());
}

void CMainFrame::RefreshOfflineState()
{
    const bool offline = CSystemSettings().Offline();
    if (offline != m_offline.IsOffline())
        ShowOfflineState(offline);
}

void CMainFrame::ApplyCookieRules()
{
    // A profile made later reads the rules itself.
    if (QWebEngineProfile* profile = m_host.ExistingProfile())
        CSystemSettings().ApplyCookiePolicy(profile);
}

void CMainFrame::ToggleCookies(int id)
{
    CSystemSettings system;
    if (m_settings.IEVersion == 6) {
        auto invert = [&system](int party, bool accept) {
            const int accepting = system.ReadCookiePreference(party, false);
            const int session = system.ReadCookiePreference(party, true);
            // An unreadable store takes no writes.
            if (accepting == kCookieUnknown || session == kCookieUnknown)
                return;
            system.WriteCookiePreference(party, accept ? !accepting : accepting != 0, accept ? session != 0 : !session);
        };
        if (id == ID_COOKIES) {
            invert(0, true);
        } else if (id == ID_THIRD_PARTY_COOKIES) {
            invert(1, true);
        } else {
            invert(0, false);
            invert(1, false);
        }
    } else if (id != ID_THIRD_PARTY_COOKIES) {
        const int action = id == ID_COOKIES ? URLACTION_COOKIES : URLACTION_COOKIES_SESSION;
        system.SetZonePolicy(action, system.ZonePolicy(action) != URLPOLICY_ALLOW ? URLPOLICY_ALLOW : URLPOLICY_DISALLOW);
    }
    ApplyCookieRules();
}

void CMainFrame::RegisterToggleCommands()
{
    CCommandTable& t = m_pRouter->Table(CCommandRouter::ELevel::Frame);
    for (const SFlagCommand& c : kFlagCommands) {
        t.SetHandler(c.id, [this, c] {
            ToggleDownloadFlag(c.bit);
            ApplyDownloadFlags();
        });
        // The toolbar's letter button shares this action, so both show the
        // active tab's flag.
        t.SetUpdateHandler(c.id, [this, c](SCmdUI& ui) { ui.SetCheck(IsDownloadFlagSet(c.bit) != c.security); });
    }
    t.SetHandler(ID_INVERT_MULTIMEDIA, [this] {
        ToggleDownloadFlag(kMultimediaBits);
        ApplyDownloadFlags();
    });
    t.SetHandler(ID_INVERT_SECURITY, [this] {
        ToggleDownloadFlag(kSecurityBits);
        ApplyDownloadFlags();
    });
    t.SetRangeHandler(ID_SECURITY_LEVEL_FIRST, ID_SECURITY_LEVEL_LAST,
                      [this](int id) { ApplyDownloadPreset(id - ID_SECURITY_LEVEL_FIRST); });
    t.SetHandler(ID_SECURITY_LEVEL, [this] { ApplyDownloadPreset(1); });

    for (int id : {ID_COOKIES, ID_SESSION_COOKIES, ID_THIRD_PARTY_COOKIES})
        t.SetHandler(id, [this, id] { ToggleCookies(id); });
    t.SetHandler(ID_INVERT_COOKIES, [this] {
        ToggleCookies(ID_SESSION_COOKIES);
        ToggleCookies(ID_COOKIES);
        ToggleCookies(ID_THIRD_PARTY_COOKIES);
    });
    // The marks read the store again, so a write that failed shows as undone.
    t.SetUpdateHandler(ID_COOKIES, [this](SCmdUI& ui) {
        const CSystemSettings system;
        ui.SetCheck(m_settings.IEVersion == 6 ? system.ReadCookiePreference(0, false) != 0
                                              : system.ZonePolicy(URLACTION_COOKIES) == URLPOLICY_ALLOW);
    });
    t.SetUpdateHandler(ID_SESSION_COOKIES, [this](SCmdUI& ui) {
        const CSystemSettings system;
        ui.SetCheck(m_settings.IEVersion == 6 ? system.ReadCookiePreference(0, true) != 0
                                              : system.ZonePolicy(URLACTION_COOKIES_SESSION) == URLPOLICY_ALLOW);
    });
    // The zone policies know no third party.
    t.SetUpdateHandler(ID_THIRD_PARTY_COOKIES, [this](SCmdUI& ui) {
        ui.Enable(m_settings.IEVersion == 6);
        ui.SetCheck(m_settings.IEVersion == 6 && CSystemSettings().ReadCookiePreference(1, false) != 0);
    });
    t.SetHandler(ID_DELETE_COOKIES, [this] {
        if (!AskOkCancel(this, QString::fromUtf8(kDeleteCookiesText), QMessageBox::Warning)) {
            ShowMessage(this, QStringLiteral("中止しました。"));
            return;
        }
        m_host.Profile()->cookieStore()->deleteAllCookies();
    });

    t.SetHandler(ID_WORK_OFFLINE, [this] { SetOfflineMode(!CSystemSettings().Offline()); });
    t.SetUpdateHandler(ID_WORK_OFFLINE, [](SCmdUI& ui) { ui.SetCheck(CSystemSettings().Offline()); });

    t.SetHandler(ID_KILL_DIALOGS, [this] {
        m_settings.KillDlg = m_settings.KillDlg != 0 ? 0 : 1;
        m_host.Settings().WriteInt(EKey::KillDlg, m_settings.KillDlg);
        SetCloseWarningDialogs(m_settings.KillDlg != 0);
    });
    t.SetUpdateHandler(ID_KILL_DIALOGS, [this](SCmdUI& ui) { ui.SetCheck(m_settings.KillDlg != 0); });

    t.SetHandler(ID_VIEW_STATUS_BAR, [this] { m_pStatusBar->setVisible(m_pStatusBar->isHidden()); });
    t.SetUpdateHandler(ID_VIEW_STATUS_BAR, [this](SCmdUI& ui) { ui.SetCheck(m_pStatusBar && !m_pStatusBar->isHidden()); });
}

} // namespace nimbra
