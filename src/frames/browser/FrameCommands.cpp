// The main frame's commands over tabs and outside programs.
#include "ui/CommandIds.h"
#include "widgets/bars/AddressBar.h"
#include "widgets/bars/AddressCombo.h"
#include "frames/browser/ViewManager.h"
#include "widgets/bookmarks/BookmarkCommands.h"
#include "frames/browser/ChildFrame.h"
#include "ui/CommandRouter.h"
#include "frames/browser/InternetOptionsDlg.h"
#include "frames/browser/Option.h"
#include "frames/browser/MainFrame.h"
#include "platform/Ipc.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "data/filters/FilterCommands.h"
#include "data/session/SessionCommands.h"
#include "widgets/tools/ToolsCommands.h"
#include "widgets/view/NimbraView.h"
#include "widgets/view/ViewCommands.h"

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMdiArea>
#include <QMimeData>
#include <QProcess>

namespace nimbra {

namespace {


constexpr int kMaxDroppedPath = 2084;

} // namespace

void CMainFrame::RegisterFrameCommands()
{
    CCommandTable& t = m_pRouter->Table(CCommandRouter::ELevel::Frame);
    auto anyTab = [this](SCmdUI& ui) { ui.Enable(m_pViewManager->GetItemCount() > 0); };
    auto onContext = [this](std::function<void(CNimbraView*)> action) {
        return [this, action] {
            if (CNimbraView* view = ContextView())
                action(view);
            m_nContextTab = -1;
        };
    };

    t.SetHandler(ID_FILE_NEW, [this] { OnFileNew(); });
    t.SetHandler(ID_NEW_HOME, [this] { OnFileNewHome(); });
    t.SetHandler(ID_NEW_BLANK, [this] { m_host.OpenUrl("about:blank", 0, {}, 0, 1); });
    t.SetHandler(ID_NEW_FROM_CLIPBOARD, [this] { OnNewTabFromClipboard(); });
    t.SetHandler(ID_FILE_CLOSE, [this] { OnFileClose(); });
    t.SetHandler(ID_CLOSE_ALL, [this] {
        m_pViewManager->CloseAll();
        m_nContextTab = -1;
    });
    t.SetHandler(ID_CLOSE_OTHERS_ACTIVE, [this] {
        if (m_pViewManager->GetCurSel() < 0)
            return;
        CNimbraView* spare = nullptr;
        for (CNimbraView* view : Views())
            if (view->m_bActive)
                spare = view;
        BulkClose(spare, false);
    });
    t.SetHandler(ID_CLOSE_OTHERS_CONTEXT, [this] {
        CNimbraView* spare = ContextView();
        if (!spare) {
            m_pViewManager->Refresh();
            return;
        }
        BulkClose(spare, true);
    });
    t.SetHandler(ID_CLOSE_READ, [this] { m_pViewManager->CloseReadTabs(); });
    t.SetUpdateHandler(ID_CLOSE_READ, anyTab);
    t.SetUpdateHandler(ID_CLOSE_ALL, anyTab);
    t.SetHandler(ID_REFRESH_ALL, [this] {
        for (CNimbraView* view : m_pViewManager->Views())
            view->Refresh();
    });
    t.SetUpdateHandler(ID_REFRESH_ALL, anyTab);
    t.SetHandler(ID_STOP_ALL, [this] {
        for (CNimbraView* view : m_pViewManager->Views())
            view->Stop();
    });
    t.SetUpdateHandler(ID_STOP_ALL, anyTab);
    t.SetHandler(ID_LOCK_ACTIVE, [this] {
        if (CNimbraView* view = ActiveView())
            view->ToggleNaviLock();
    });
    t.SetUpdateHandler(ID_LOCK_ACTIVE, [this](SCmdUI& ui) {
        CNimbraView* view = ActiveView();
        ui.Enable(view != nullptr);
        ui.SetCheck(view && view->m_bNaviLock);
    });
    t.SetHandler(ID_LOCK_CONTEXT, onContext([](CNimbraView* view) { view->ToggleNaviLock(); }));
    // Back, forward and home run the tab's own commands, which a lock stops.
    t.SetHandler(ID_CONTEXT_BACK, onContext([](CNimbraView* view) { view->Commands().Run(ID_BACK); }));
    t.SetHandler(ID_CONTEXT_FORWARD, onContext([](CNimbraView* view) { view->Commands().Run(ID_FORWARD); }));
    t.SetHandler(ID_CONTEXT_HOME, onContext([](CNimbraView* view) { view->Commands().Run(ID_HOME); }));
    t.SetHandler(ID_CONTEXT_STOP, onContext([](CNimbraView* view) { view->Stop(); }));
    t.SetHandler(ID_CONTEXT_REFRESH, onContext([](CNimbraView* view) { view->Refresh(); }));
    t.SetHandler(ID_CONTEXT_CLOSE, onContext([this](CNimbraView* view) { CloseTab(view); }));
    t.SetHandler(ID_CONTEXT_LEFT, onContext([this](CNimbraView* view) {
        if (view->m_nTab > 0)
            m_pViewManager->MoveTab(view->m_nTab, view->m_nTab - 1);
    }));
    t.SetHandler(ID_CONTEXT_RIGHT, onContext([this](CNimbraView* view) {
        if (view->m_nTab + 1 < m_pViewManager->GetItemCount())
            m_pViewManager->MoveTab(view->m_nTab, view->m_nTab + 1);
    }));
    t.SetHandler(ID_COPY_TITLE, [this] { OnCopyTitle(); });
    t.SetHandler(ID_COPY_URL, [this] { OnCopyUrl(); });
    t.SetHandler(ID_MAILER, [this] { m_host.LaunchMailer("mailto:"); });
    t.SetHandler(ID_EDITOR, [this] { OnStartEditor(); });
    t.SetHandler(ID_INTERNET_OPTIONS, [this] { OnInternetOptions(0); });
    t.SetHandler(ID_ABOUT, [this] { m_host.ShowAboutDialog(this); });
    t.SetHandler(ID_EXIT, [this] { close(); });
    t.SetRangeHandler(ID_WINDOW_FIRST, ID_WINDOW_LAST,
                      [this](int id) { m_pViewManager->SelectTab(id - ID_WINDOW_FIRST); });
    RegisterToggleCommands();
    RegisterPageFrameCommands(*this);
    RegisterSessionCommands(*this);
    RegisterAddressCommands(*this, t);
    RegisterBookmarkCommands(*this);
    RegisterTabBarCommands(*this);
    RegisterToolsCommands(*this);
    RegisterFilterCommands(*this);
    RegisterOptionCommands(*this);
}

CNimbraView* CMainFrame::ContextView() const
{
    return m_pViewManager->ViewAt(m_nContextTab);
}

void CMainFrame::OnFileNew()
{
    if (m_settings.MyHome == 1 && m_settings.NewBlank == 1 && EndsWithNoCase(m_settings.MyHomeUrl, ".nbl")) {
        m_pAddressCombo->Go(m_settings.MyHomeUrl, 0, 1, 0, 1);
        return;
    }
    m_host.OpenUrl({}, 0, {}, m_settings.NewBlank, 1);
}

void CMainFrame::OnFileNewHome()
{
    if (m_settings.MyHome == 1 && EndsWithNoCase(m_settings.MyHomeUrl, ".nbl")) {
        m_pAddressCombo->Go(m_settings.MyHomeUrl, 0, 1, 0, 1);
        return;
    }
    m_host.OpenUrl({}, 0, {}, 1, 1);
}

void CMainFrame::OnFileClose()
{
    CloseTab(ActiveView());
    m_pViewManager->Refresh();
}

void CMainFrame::CloseTab(CNimbraView* view)
{
    if (!view || view->m_bNaviLock)
        return;
    view->m_bTabRemoved = true;
    CChildFrame::Of(view)->close();
}

void CMainFrame::BulkClose(CNimbraView* spare, bool lastToFirst)
{
    m_closeAllRestore.clear();
    std::vector<CNimbraView*> closing;
    for (CNimbraView* view : m_pViewManager->Views()) {
        if (view == spare || view->m_bNaviLock || view->m_bNoCloseRecord)
            continue;
        const std::string url = view->GetLocationURL();
        m_closeAllRestore.push_back(url.empty() ? view->m_strUrl : url);
        closing.push_back(view);
    }
    if (lastToFirst)
        std::reverse(closing.begin(), closing.end());
    for (CNimbraView* view : closing) {
        view->m_bTabRemoved = true;
        CChildFrame::Of(view)->close();
    }
    m_pViewManager->Refresh();
    m_nContextTab = -1;
}

int CMainFrame::NextActiveTab(int tabPosToCls, int i, int n)
{
    switch (tabPosToCls) {
    case 1:
        return i == 0 && n >= 2 ? 1 : 0;
    case 2:
        return i != n - 1 ? n - 1 : n - 2;
    case 3:
        return i == 0 ? 1 : i - 1;
    case 4:
        return i == n - 1 ? n - 2 : i + 1;
    default:
        return -1;
    }
}

void CMainFrame::OnChildClosing(CChildFrame* child)
{
    const int n = m_pViewManager->GetItemCount();
    const int i = child->View()->m_nTab;
    if (m_pViewManager->GetCurSel() < 0 || child != ActiveChild() || i < 0)
        return;
    int j = NextActiveTab(m_settings.TabPosToCls, i, n);
    if (j < 0) {
        // The most recently active other tab.
        const auto history = m_pMdiArea->subWindowList(QMdiArea::ActivationHistoryOrder);
        for (auto it = history.rbegin(); it != history.rend(); ++it) {
            auto* other = qobject_cast<CChildFrame*>(*it);
            if (other && other != child && other->View()->m_nTab >= 0) {
                ActivateTab(other);
                return;
            }
        }
        j = i == 0 ? 1 : i - 1;
    }
    if (j >= 0 && j < n && j != i)
        m_pViewManager->SelectTab(j);
}

void CMainFrame::OnNewTabFromClipboard()
{
    const QString clip = QApplication::clipboard()->text();
    if (clip.isNull() || clip.isEmpty()) {
        m_host.OpenUrl({}, 0, {}, m_settings.NewBlank, 1);
        return;
    }
    std::string text = Trim(FromQ(clip));
    text = text.substr(0, text.find('\n'));
    text = Trim(text);
    if (!text.empty())
        m_pAddressCombo->Go(text, 0, 1, 0, 1);
}

void CMainFrame::OnCopyTitle()
{
    CNimbraView* view = ContextView();
    m_nContextTab = -1;
    std::string title = view ? view->m_strTitle : std::string();
    if (view && title.empty())
        title = view->GetLocationName();
    if (title.empty()) {
        ShowMessage(this, QStringLiteral("タイトルの取得に失敗しました。"));
        return;
    }
    QApplication::clipboard()->setText(ToQ(title));
}

void CMainFrame::OnCopyUrl()
{
    CNimbraView* view = ContextView();
    m_nContextTab = -1;
    const std::string url = view ? view->GetLocationURL() : std::string();
    if (url.empty()) {
        ShowMessage(this, QStringLiteral("URLの取得に失敗しました。"));
        return;
    }
    QApplication::clipboard()->setText(ToQ(url));
}

void CMainFrame::OnStartEditor()
{
    const QString dir = ToQ(DataDirectory());
    if (ipc::FindWindow(ipc::kEditorClass, dir)) {
        ipc::PostWindowMessage(ipc::kEditorClass, dir, {ipc::kMsgActivateWindow, 0, {}});
        return;
    }
    const QString program = ToQ(ProgramDirectory()) + QStringLiteral("/nbbe");
    if (!QProcess::startDetached(program, {}))
        ShowMessage(this, QStringLiteral("%1 を起動できませんでした。").arg(program), QMessageBox::Warning);
}

void CMainFrame::OnInternetOptions(int page)
{
    if (m_settings.OldInet != 0) {
        // The control panel program of the old systems.
        const QStringList arguments{QStringLiteral("inetcpl.cpl") + (page == 1 ? QStringLiteral(" ,1") : QString())};
        if (!QProcess::startDetached(QStringLiteral("control.exe"), arguments))
            ShowMessage(this, QStringLiteral("インターネットオプションの取得に失敗しました。"));
        return;
    }
    CInternetOptionsDlg dialog(this, page);
    dialog.exec();
}

void CMainFrame::OpenDroppedFiles(const QStringList& paths, bool shift)
{
    bool first = true;
    for (const QString& path : paths) {
        const std::string text = FromQ(path.left(kMaxDroppedPath));
        const std::string url = m_host.ResolveShortcut(text);
        if (url.empty())
            continue;
        m_pAddressCombo->Go(url, 0, first ? (shift ? 1 : 0) : 1, 1, 1);
        first = false;
    }
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event)
{
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        paths << (url.isLocalFile() ? url.toLocalFile() : url.toString());
    OpenDroppedFiles(paths, event->modifiers() & Qt::ShiftModifier);
    event->acceptProposedAction();
}

} // namespace nimbra
