#include "widgets/tools/ToolsCommands.h"

#include "widgets/bars/FlatToolBar.h"
#include "ui/CommandIds.h"
#include "ui/CommandRouter.h"
#include "frames/browser/MainFrame.h"
#include "ui/MenuResource.h"
#include "platform/MessageBox.h"
#include "platform/SystemSettings.h"
#include "platform/Text.h"
#include "platform/WebEngineBrowser.h"
#include "widgets/tools/ListEditorDialog.h"
#include "widgets/tools/ProxyAuthDlg.h"
#include "widgets/tools/ProxyDlg.h"
#include "data/tools/ProxyFile.h"
#include "data/tools/ProxySwitch.h"
#include "widgets/tools/UrlExtractDialog.h"
#include "data/tools/UrlFilter.h"
#include "widgets/view/NimbraView.h"

#include <QMenu>
#include <QMenuBar>
#include <QNetworkProxyFactory>
#include <optional>
#include <utility>

namespace nimbra {

namespace {

// The dialog opens at once and gets the page when the engine has read it.
void OpenUrlExtract(CMainFrame& frame)
{
    CNimbraView* view = frame.ActiveView();
    if (!view)
        return;
    IBrowserHost* host = &frame.Host();
    auto* dialog = new CUrlExtractDialog(
        host->Settings(), host->ProgramDir() + "/" + kFilterFileName,
        [host](const std::string& url) { host->OpenUrl(url); }, &frame);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
    QPointer<CUrlExtractDialog> guard(dialog);
    QObject::connect(view, &QObject::destroyed, dialog, [guard] {
        if (guard)
            guard->PageUnavailable();
    });
    view->Browser()->ReadLinks([guard](const SPageDocument& page, size_t leftOut) {
        if (guard)
            guard->SetPage(page, leftOut);
    });
}

std::string ActiveTabUrl(const CMainFrame* frame)
{
    CNimbraView* view = frame ? frame->ActiveView() : nullptr;
    return view ? view->GetLocationURL() : std::string();
}

constexpr char kProxyFailedText[] = "プロキシの設定に失敗しました。\n\nダイレクト接続に切り替えます。";
constexpr char kRestartText[] = "この機能はNimbra Browserの再起動をしないと\n有効になりません。";
// "インターネットオプションで接続(&I)" and its separator are the last fixed items.
constexpr int kFixedItems = 6;

std::string ProxyIniPath(const CMainFrame& frame)
{
    return frame.Host().ProgramDir() + "/proxy.ini";
}

// ツール > プロキシ サーバー(&X).
QMenu* ProxyMenu(const CMainFrame& frame)
{
    return FindPopup(frame.MainMenu(), {4, 6});
}

std::function<int(QDialog&)>& Driver()
{
    static std::function<int(QDialog&)> driver;
    return driver;
}

CProxySwitch& SwitchOf(CMainFrame& frame)
{
    auto* proxySwitch = frame.findChild<CProxySwitch*>(QString(), Qt::FindDirectChildrenOnly);
    return proxySwitch ? *proxySwitch : *new CProxySwitch([&frame] { return frame.Host().Profile(); }, &frame);
}

// Puts the process on `mode` (and, for a named proxy, entry `index` of the
// file). A named entry whose server text names no usable proxy connects
// directly instead, with the failure message. With `live`, the active tab
// reloads once the engine uses the new proxy.
void ApplyMode(CMainFrame& frame, int mode, int index, bool live, const CProxyFile* file = nullptr)
{
    QNetworkProxy named(QNetworkProxy::NoProxy);
    if (mode == PROXY_NAMED) {
        std::optional<CProxyFile> read;
        if (!file)
            file = &read.emplace(ProxyIniPath(frame));
        if (index >= 0)
            named = ParseProxyServer(file->Server(index));
        // The engine takes type, host and port only: the exceptions
        // ("ProxyOverride") are kept and shown but do not act; the engine
        // itself always bypasses loopback and single-label names (what
        // "<local>" means) and nothing else.
        if (named.type() == QNetworkProxy::NoProxy) {
            ShowMessage(&frame, QString::fromUtf8(kProxyFailedText));
            mode = PROXY_DIRECT;
        } else {
            frame.m_nProxyIndex = index;
        }
    }
    frame.m_nProxyMode = mode;
    const auto set = [mode, named] {
        if (mode == PROXY_SYSTEM) {
            CSystemSettings().ApplyProxy();
            return;
        }
        QNetworkProxyFactory::setUseSystemConfiguration(false);
        QNetworkProxy::setApplicationProxy(named);
    };
    if (!live) {
        set();
        return;
    }
    SwitchOf(frame).Apply(set, [&frame] {
        if (CNimbraView* view = frame.ActiveView())
            view->Refresh();
    });
}

void OpenProxyDialog(CMainFrame& frame)
{
    const std::string path = ProxyIniPath(frame);
    CProxyList list;
    list.Load(CProxyFile(path), frame.m_nProxyIndex);
    CProxyDlg dialog(&frame, path, std::move(list), frame.m_nProxyMode);
    const int result = Driver() ? Driver()(dialog) : dialog.exec();
    if (result != QDialog::Accepted)
        return;
    frame.m_nProxyIndex = dialog.List().m_nCurrent;
    const CProxyFile file(path);
    if (QMenu* menu = ProxyMenu(frame))
        FillProxyMenu(menu, frame.Router(), file);
    ApplyMode(frame, frame.m_nProxyMode, frame.m_nProxyIndex, true, &file);
}

} // namespace

void RegisterToolsCommands(CMainFrame& frame)
{
    CCommandTable& t = frame.Router().Table(CCommandRouter::ELevel::Frame);
    t.SetHandler(ID_URL_EXTRACT, [&frame] { OpenUrlExtract(frame); });
    t.SetUpdateHandler(ID_URL_EXTRACT, [&frame](SCmdUI& ui) { ui.Enable(frame.ActiveView() != nullptr); });
    t.SetHandler(ID_LIST_EDITOR, [&frame] {
        CListEditorDialog::Open(frame.Host().Settings(),
                                [guard = QPointer<CMainFrame>(&frame)] { return ActiveTabUrl(guard); });
    });
    QObject::connect(&frame, &QObject::destroyed, [] { CloseListEditor(); });
    t.SetHandler(ID_PROXY_SETTINGS, [&frame] { OpenProxyDialog(frame); });
    t.SetHandler(ID_PROXY_DIRECT, [&frame] { ApplyMode(frame, PROXY_DIRECT, frame.m_nProxyIndex, true); });
    t.SetUpdateHandler(ID_PROXY_DIRECT, [&frame](SCmdUI& ui) { ui.SetCheck(frame.m_nProxyMode == PROXY_DIRECT); });
    t.SetHandler(ID_PROXY_SYSTEM, [&frame] {
        frame.m_nProxyIndex = -1;
        ShowMessage(&frame, QString::fromUtf8(kRestartText), QMessageBox::Warning);
        ApplyMode(frame, PROXY_SYSTEM, -1, true);
    });
    t.SetUpdateHandler(ID_PROXY_SYSTEM, [&frame](SCmdUI& ui) { ui.SetCheck(frame.m_nProxyMode == PROXY_SYSTEM); });
    t.SetRangeHandler(ID_PROXY_FIRST, ID_PROXY_LAST,
                      [&frame](int id) { ApplyMode(frame, PROXY_NAMED, id - ID_PROXY_FIRST, true); });
    // Only a named proxy in use is checked; the index is kept beside the
    // other modes.
    t.SetRangeUpdateHandler(ID_PROXY_FIRST, ID_PROXY_LAST, [&frame](SCmdUI& ui) {
        ui.SetCheck(frame.m_nProxyMode == PROXY_NAMED && frame.m_nProxyIndex == ui.id - ID_PROXY_FIRST);
    });
    t.SetHandler(ID_PROXY_BUTTON, [&frame] {
        if (QMenu* menu = ProxyMenu(frame))
            PopUpBelowButton(frame, ID_PROXY_BUTTON, menu);
    });
    CWebEngineBrowser::SetProxyAuthHandler(&AnswerProxyAuthentication);
}

void SetUpProxy(CMainFrame& frame)
{
    const CProxyFile file(ProxyIniPath(frame));
    frame.m_nProxyIndex = file.Index();
    frame.m_nProxyMode = file.Mode();
    if (QMenu* menu = ProxyMenu(frame))
        FillProxyMenu(menu, frame.Router(), file);
    ApplyMode(frame, frame.m_nProxyMode, frame.m_nProxyIndex, false, &file);
}

void SaveProxyAtExit(const CMainFrame& frame)
{
    CProxyFile::WriteOptions(ProxyIniPath(frame), frame.m_nProxyIndex, frame.m_nProxyMode);
}

void OnSystemProxyChanged(CMainFrame& frame)
{
    if (frame.m_nProxyMode == PROXY_SYSTEM)
        ApplyMode(frame, PROXY_SYSTEM, frame.m_nProxyIndex, true);
}

void FillProxyMenu(QMenu* menu, CCommandRouter& router, const CProxyFile& file)
{
    const QList<QAction*> actions = menu->actions();
    for (qsizetype i = kFixedItems; i < actions.size(); ++i)
        menu->removeAction(actions[i]);
    const int count = file.Count(ID_PROXY_LAST - ID_PROXY_FIRST + 1);
    for (int n = 0; n < count; ++n) {
        QString name = ToQ(OneLine(file.Name(n)));
        name.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* action = router.Action(ID_PROXY_FIRST + n);
        action->setText(QStringLiteral("&%1 %2").arg(n + 1).arg(name));
        menu->addAction(action);
    }
}

std::function<int(QDialog&)> SetProxyDialogDriver(std::function<int(QDialog&)> driver)
{
    return std::exchange(Driver(), std::move(driver));
}

void CloseListEditor()
{
    if (CListEditorDialog* editor = CListEditorDialog::Instance()) {
        editor->close();
        delete editor;
    }
}

} // namespace nimbra
