#include "data/session/OpenTabsLog.h"


#include <cstdio>
#include <sys/stat.h>

namespace nimbra {

bool PromoteRecoveryFile(const std::string& recoveryPath, const std::string& logPath)
{
    struct stat info = {};
    if (::lstat(recoveryPath.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    return std::rename(recoveryPath.c_str(), logPath.c_str()) == 0;
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
