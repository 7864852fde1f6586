#include "ui/CommandIds.h"
#include "data/session/SessionCommands.h"

#include "widgets/bars/AddressCombo.h"
#include "ui/CommandRouter.h"
#include "frames/browser/MainFrame.h"
#include "ui/MenuResource.h"
#include "platform/FileDialog.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "data/session/ListFile.h"
#include "data/session/OpenTabsAutoSave.h"
#include "data/session/OpenTabsLog.h"
#include "widgets/view/NimbraView.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <cstdio>
#include <utility>

namespace nimbra {

namespace {


constexpr char kAutoSaveName[] = "OpenTabsAutoSave";

std::string SystemListFileDialog(QWidget* parent, bool save, const std::string& folder, const std::string& name)
{
    return AskFileName(parent, ListFileRequest(save, folder, name));
}

ListFileDialog& Dialog()
{
    static ListFileDialog dialog = SystemListFileDialog;
    return dialog;
}

void SaveListFile(CMainFrame& frame)
{
    CSettings& settings = frame.Host().Settings();
    const std::string path = Dialog()(&frame, true, settings.GetString(EKey::LastSavePath),
                                      DefaultListFileName(QDateTime::currentDateTime()));
    if (path.empty())
        return;
    SaveOpenTabs(frame, path);
    settings.WriteString(EKey::LastSavePath, FolderOf(path));
}

void OpenListFile(CMainFrame& frame)
{
    CSettings& settings = frame.Host().Settings();
    const std::string path = Dialog()(&frame, false, settings.GetString(EKey::LastOpenPath), {});
    if (path.empty())
        return;
    UrlList entries;
    ReadListFile(path, entries);
    OpenListEntries(frame.Host(), entries);
    frame.PostFocusView();
    settings.WriteString(EKey::LastOpenPath, FolderOf(path));
}

// A tab menu command: acts on the context tab, then forgets it.
std::function<void()> OnContextTab(CMainFrame& frame, std::function<void(CNimbraView*)> action)
{
    return [&frame, action] {
        if (CNimbraView* view = frame.ContextView())
            action(view);
        frame.m_nContextTab = -1;
    };
}

void RegisterListCommands(CMainFrame& frame, CCommandTable& t)
{
    IBrowserHost* host = &frame.Host();
    t.SetHandler(ID_LIST_SAVE, [&frame] { SaveListFile(frame); });
    t.SetHandler(ID_LIST_OPEN, [&frame] { OpenListFile(frame); });
    t.SetHandler(ID_LOG_SAVE, [&frame] { SaveOpenTabs(frame, {}); });
    t.SetHandler(ID_LOG_RESTORE, [&frame, host] {
        RestoreLog(*host, false);
        frame.PostFocusView();
    });
    t.SetHandler(ID_RESTORE_CLOSE_ALL, [&frame, host] {
        const UrlList restore = frame.m_closeAllRestore;
        OpenListEntries(*host, restore);
        frame.PostFocusView();
    });
    t.SetHandler(ID_ADD_STARTUP, OnContextTab(frame, [host](CNimbraView* view) {
                     AddStartupUrl(host->StartupPath(), view->GetLocationURL());
                 }));
}

void RegisterRecentClosedCommands(CMainFrame& frame, CCommandTable& t)
{
    IBrowserHost* host = &frame.Host();
    CRecentClosed& recent = frame.RecentClosed();
    recent.m_bSaveOnExit = host->Settings().GetInt(EKey::RectUrlEnable) != 0;
    recent.m_nMenuCharLength = host->Settings().GetInt(EKey::RectUrlMenuCharLength);
    recent.SetChangedHandler([&frame] { RebuildRecentClosedMenu(frame); });
    recent.Load(host->RecentClosedPath());

    t.SetRangeHandler(ID_RECENT_FIRST, ID_RECENT_FIRST + int(CRecentClosed::kMaxEntries) - 1, [&frame](int id) {
        const auto& entries = frame.RecentClosed().Entries();
        const size_t index = size_t(id - ID_RECENT_FIRST);
        if (index < entries.size()) {
            OpenWithHistory(frame.Host(), entries[index].url, entries[index].history, 0);
            frame.PostFocusView();
        }
    });
    t.SetHandler(ID_RECENT_OPEN_ALL, [&frame, host] {
        const std::vector<CRecentClosed::SEntry> entries = frame.RecentClosed().Entries();
        for (const CRecentClosed::SEntry& entry : entries)
            if (!entry.url.empty())
                OpenWithHistory(*host, entry.url, entry.history, 0);
        frame.PostFocusView();
    });
    t.SetHandler(ID_RECENT_SAVE_ON_EXIT,
                 [&frame] { frame.RecentClosed().m_bSaveOnExit = !frame.RecentClosed().m_bSaveOnExit; });
    t.SetUpdateHandler(ID_RECENT_SAVE_ON_EXIT,
                       [&frame](SCmdUI& ui) { ui.SetCheck(frame.RecentClosed().m_bSaveOnExit); });
    t.SetHandler(ID_OPEN_LAST_CLOSED, [&frame] {
        const std::string url = frame.RecentClosed().LastClosedUrl();
        if (!url.empty())
            frame.AddressCombo()->Go(url, 0, frame.FrameSettings().BookmarkNewTab == 1 ? 1 : 0, 0, 1);
    });
    t.SetUpdateHandler(ID_OPEN_LAST_CLOSED,
                       [&frame](SCmdUI& ui) { ui.Enable(!frame.RecentClosed().LastClosedUrl().empty()); });
}

// The active tab's commands (32875, 32960) belong to the view; these are
// the tab menu's.
void RegisterBlockedListCommands(CMainFrame& frame, CCommandTable& t)
{
    t.SetHandler(ID_BLOCK_URL_CONTEXT, OnContextTab(frame, [&frame](CNimbraView* view) {
                     const std::string url = view->GetLocationURL();
                     if (!url.empty())
                         frame.BlockedLists().AddBlockedUrl(url);
                     if (frame.FrameSettings().RLCCloseTab != 0)
                         frame.CloseTab(view);
                 }));
    t.SetHandler(ID_BLOCK_TITLE_CONTEXT, OnContextTab(frame, [&frame](CNimbraView* view) {
                     frame.BlockedLists().AddBlockedTitle(view->GetLocationName());
                 }));
}

// The open tabs are saved as they change to a recovery file of their own,
// so that the log keeps the previous session until the exit writes it. A
// recovery file found now is what a crashed run had open: it becomes the log.
void StartOpenTabsAutoSave(CMainFrame& frame)
{
    IBrowserHost& host = frame.Host();
    PromoteRecoveryFile(host.OpenTabsRecoveryPath(), host.OpenTabsLogPath());
    auto* saver = new COpenTabsAutoSave([&frame] { return OpenTabs(frame); }, host.OpenTabsRecoveryPath(), &frame);
    saver->setObjectName(QString::fromLatin1(kAutoSaveName));
    // Only while the exit writes the log too: otherwise the log holds what
    // the user saved on purpose.
    QObject::connect(&frame, &CMainFrame::OpenTabsChanged, saver, [&frame, saver] {
        if (frame.FrameSettings().ExitSaveLog != 0)
            saver->Schedule();
    });
}

} // namespace

SOpenTabs OpenTabs(const CMainFrame& frame)
{
    SOpenTabs tabs;
    for (const CNimbraView* view : frame.Views()) {
        // A tab a blocking rule is closing is no open tab.
        if (view->m_bMarkedForClose)
            continue;
        std::string url = view->GetLocationURL();
        tabs.urls.push_back(url.empty() ? view->m_strUrl : std::move(url));
        tabs.histories.push_back(view->Browser()->History());
    }
    return tabs;
}

bool SaveOpenTabs(const CMainFrame& frame, const std::string& path)
{
    const SOpenTabs tabs = OpenTabs(frame);
    if (path.empty())
        return WriteOpenTabs(kHeadingOpenTabsLog, frame.Host().OpenTabsLogPath(), tabs);
    return WriteListFile(kHeadingUrlList, path, tabs.urls);
}

void OpenListEntries(IBrowserHost& host, const UrlList& entries)
{
    for (const std::string& entry : entries)
        if (!entry.empty())
            host.OpenUrl(entry, 0, {}, 0, 0);
}

void OpenWithHistory(IBrowserHost& host, const std::string& url, const STabHistory& history, int focusAfter)
{
    CNimbraView* view = host.OpenUrl(url, 0, {}, 0, focusAfter);
    if (view && !history.Empty())
        view->Browser()->RestoreHistory(history);
}

void RestoreLog(IBrowserHost& host, bool atStartup)
{
    CSettings& settings = host.Settings();
    const bool skipStartup = atStartup && settings.GetInt(EKey::StartOpenUrl) != 0
                             && settings.GetInt(EKey::SURepeatCheck) != 0;
    const std::vector<SRestoreEntry> entries =
        LogEntriesToRestore(host.OpenTabsLogPath(), settings.GetInt(EKey::LogRepeatCheck) != 0,
                            skipStartup ? host.StartupPath() : std::string());
    for (const SRestoreEntry& entry : entries)
        OpenWithHistory(host, entry.url, entry.history, 0);
}

void OpenStartupList(IBrowserHost& host)
{
    if (host.Settings().GetInt(EKey::StartOpenUrl) != 1)
        return;
    UrlList startup;
    ReadListFile(host.StartupPath(), startup);
    for (const std::string& entry : startup)
        host.OpenUrl(entry, 0, {}, 0, 1);
}

ListFileDialog SetListFileDialog(ListFileDialog dialog)
{
    return std::exchange(Dialog(), dialog ? std::move(dialog) : ListFileDialog(SystemListFileDialog));
}

void RegisterSessionCommands(CMainFrame& frame)
{
    CCommandTable& t = frame.Router().Table(CCommandRouter::ELevel::Frame);
    RegisterListCommands(frame, t);
    RegisterRecentClosedCommands(frame, t);
    RegisterBlockedListCommands(frame, t);
    StartOpenTabsAutoSave(frame);
}

void RebuildRecentClosedMenu(CMainFrame& frame)
{
    QMenu* menu = FindPopup(frame.MainMenu(), {0, 6});
    if (!menu)
        return;
    menu->clear();
    CCommandRouter& router = frame.Router();
    const CRecentClosed& recent = frame.RecentClosed();
    for (size_t i = 0; i < recent.Entries().size(); ++i) {
        QAction* action = router.Action(ID_RECENT_FIRST + int(i));
        action->setText(ToQ(recent.MenuLabel(i)));
        menu->addAction(action);
    }
    menu->addSeparator();
    menu->addAction(router.Action(ID_RECENT_SAVE_ON_EXIT));
    menu->addAction(router.Action(ID_RECENT_OPEN_ALL));
}

void SaveSessionAtExit(CMainFrame& frame)
{
    IBrowserHost& host = frame.Host();
    if (COpenTabsAutoSave* saver = OpenTabsAutoSaveOf(frame))
        saver->Stop();
    // The recovery file stays when the log could not be written.
    if (frame.FrameSettings().ExitSaveLog == 0 || SaveOpenTabs(frame, {}))
        RemoveListWithHistory(host.OpenTabsRecoveryPath());

    const CRecentClosed& recent = frame.RecentClosed();
    host.Settings().WriteInt(EKey::RectUrlEnable, recent.m_bSaveOnExit ? 1 : 0);
    if (recent.m_bSaveOnExit)
        recent.Save(host.RecentClosedPath());
    else
        RemoveListWithHistory(host.RecentClosedPath());
}

COpenTabsAutoSave* OpenTabsAutoSaveOf(const CMainFrame& frame)
{
    return frame.findChild<COpenTabsAutoSave*>(QString::fromLatin1(kAutoSaveName), Qt::FindDirectChildrenOnly);
}

} // namespace nimbra
