#include "data/session/OpenTabsLog.h"

#include "data/session/TabHistoryFile.h"

#include <cstdio>
#include <optional>
#include <sys/stat.h>
#include <unordered_set>

namespace nimbra {

namespace {

bool IsRegularFile(const std::string& path)
{
    struct stat info = {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace

bool WriteOpenTabs(std::string_view heading, const std::string& path, const SOpenTabs& tabs)
{
    if (!WriteListFile(heading, path, tabs.urls))
        return false;
    UrlList read;
    std::vector<STabHistory> histories;
    for (size_t i = 0; i < tabs.urls.size(); ++i) {
        std::optional<std::string> entry = ListEntryAsRead(tabs.urls[i]);
        if (!entry)
            continue;
        read.push_back(std::move(*entry));
        histories.push_back(i < tabs.histories.size() ? tabs.histories[i] : STabHistory());
    }
    // A list that reads back without its side file restores the URLs alone.
    CTabHistoryFile::Write(CTabHistoryFile::PathFor(path), read, histories);
    return true;
}

std::vector<SRestoreEntry> LogEntriesToRestore(const std::string& logPath, bool removeRepeats,
                                               const std::string& startupPath)
{
    UrlList log;
    ReadListFile(logPath, log);
    std::vector<STabHistory> histories = CTabHistoryFile::Read(CTabHistoryFile::PathFor(logPath), log);

    std::unordered_set<std::string> skip;
    if (!startupPath.empty()) {
        UrlList startup;
        ReadListFile(startupPath, startup);
        skip.insert(startup.begin(), startup.end());
    }

    std::vector<SRestoreEntry> result;
    std::unordered_set<std::string> seen;
    for (size_t i = 0; i < log.size(); ++i) {
        std::string& entry = log[i];
        if (entry.empty() || skip.count(entry))
            continue;
        if (removeRepeats && !seen.insert(entry).second)
            continue;
        result.push_back({std::move(entry), std::move(histories[i])});
    }
    return result;
}

bool PromoteRecoveryFile(const std::string& recoveryPath, const std::string& logPath)
{
    if (!IsRegularFile(recoveryPath))
        return false;
    const std::string recoverySide = CTabHistoryFile::PathFor(recoveryPath);
    const std::string logSide = CTabHistoryFile::PathFor(logPath);
    if (std::rename(recoveryPath.c_str(), logPath.c_str()) != 0)
        return false;
    if (!IsRegularFile(recoverySide) || std::rename(recoverySide.c_str(), logSide.c_str()) != 0)
        std::remove(logSide.c_str());
    return true;
}

void RemoveListWithHistory(const std::string& path)
{
    std::remove(path.c_str());
    std::remove(CTabHistoryFile::PathFor(path).c_str());
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
