#include "session/OpenTabsLog.h"

#include <unordered_set>

namespace nimbra {

UrlList LogEntriesToRestore(const std::string& logPath, bool removeRepeats, const std::string& startupPath)
{
    UrlList log;
    ReadListFile(logPath, log);

    std::unordered_set<std::string> skip;
    if (!startupPath.empty()) {
        UrlList startup;
        ReadListFile(startupPath, startup);
        skip.insert(startup.begin(), startup.end());
    }

    UrlList result;
    std::unordered_set<std::string> seen;
    for (std::string& entry : log) {
        if (entry.empty() || skip.count(entry))
            continue;
        if (removeRepeats && !seen.insert(entry).second)
            continue;
        result.push_back(std::move(entry));
    }
    return result;
}

} // namespace nimbra
