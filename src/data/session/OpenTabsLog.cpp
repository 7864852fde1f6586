#include "data/session/OpenTabsLog.h"

#include "app/NimbraApp.h"
#include "frames/browser/MainFrame.h"
#include "widgets/view/NimbraView.h"

#include <cstdio>
#include <sys/stat.h>

namespace nimbra {

UrlList OpenTabUrls(const CMainFrame& frame)
{
    UrlList urls;
    for (const CNimbraView* view : frame.Views()) {
        // A tab a blocking rule is closing is no open tab.
        if (view->m_bMarkedForClose)
            continue;
        std::string url = view->GetLocationURL();
        urls.push_back(url.empty() ? view->m_strUrl : std::move(url));
    }
    return urls;
}

bool SaveOpenTabs(const CMainFrame& frame, const std::string& path)
{
    const UrlList urls = OpenTabUrls(frame);
    if (path.empty())
        return WriteListFile(kHeadingOpenTabsLog, CNimbraApp::Instance()->OpenTabsLogPath(), urls);
    return WriteListFile(kHeadingUrlList, path, urls);
}

bool PromoteRecoveryFile(const std::string& recoveryPath, const std::string& logPath)
{
    struct stat info = {};
    if (::lstat(recoveryPath.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    return std::rename(recoveryPath.c_str(), logPath.c_str()) == 0;
}

void OpenListEntries(CNimbraApp& app, const UrlList& entries)
{
    for (const std::string& entry : entries)
        if (!entry.empty())
            app.OpenUrl(entry, 0, {}, 0, 0);
}

void RestoreLog(CNimbraApp& app, bool atStartup)
{
    CSettings& settings = app.Settings();
    const bool skipStartup = atStartup && settings.GetInt(EKey::StartOpenUrl) != 0
                             && settings.GetInt(EKey::SURepeatCheck) != 0;
    OpenListEntries(app, LogEntriesToRestore(app.OpenTabsLogPath(), settings.GetInt(EKey::LogRepeatCheck) != 0,
                                             skipStartup ? app.StartupPath() : std::string()));
}

void OpenStartupList(CNimbraApp& app)
{
    if (app.Settings().GetInt(EKey::StartOpenUrl) != 1)
        return;
    UrlList startup;
    ReadListFile(app.StartupPath(), startup);
    for (const std::string& entry : startup)
        app.OpenUrl(entry, 0, {}, 0, 1);
}

bool AddStartupUrl(const std::string& startupPath, const std::string& url)
{
    if (url.size() < 3)
        return false;
    UrlList list;
    ReadListFile(startupPath, list);
    list.push_back(url);
    return WriteListFile(kHeadingStartup, startupPath, list);
}

} // namespace nimbra
