#include "data/session/ListFile.h"

#include "platform/AtomicFile.h"
#include "platform/InputFile.h"
#include "platform/Text.h"

#include <QDateTime>

#include <cstdio>
#include <unordered_set>

namespace nimbra {

bool ReadListFile(const std::string& path, UrlList& list)
{
    const SInputFile file = ReadInputFile(path);
    if (file.error == EInputFileError::Missing)
        return true;
    std::string_view rest = file.bytes;
    while (!rest.empty()) {
        const size_t lf = rest.find('\n');
        const std::string_view raw = rest.substr(0, lf);
        rest.remove_prefix(lf == std::string_view::npos ? rest.size() : lf + 1);
        if (raw.find("<LI>") == std::string_view::npos)
            continue;
        // The four bytes the Windows version dropped are four cells of
        // width here, so a decoded character is never split.
        const std::string line = Trim(DecodeLine(raw));
        const size_t skip = CutText(line, 4).size();
        if (line.size() > skip)
            list.push_back(line.substr(skip));
    }
    return file.Ok();
}

bool WriteListFile(std::string_view heading, const std::string& path, const UrlList& list)
{
    std::string text;
    text.reserve(64 + list.size() * 48);
    text += "<HTML>\r\n<H1>";
    text += heading;
    text += "</H1>\r\n<H2>URL</H2>\r\n<UL>\r\n";
    for (const std::string& entry : list) {
        text += "\t<LI>";
        text += OneLine(entry);
        text += "\r\n";
    }
    text += "</UL>\r\n</HTML>\r\n";
    return WriteFileAtomically(path, text);
}

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

SFileRequest ListFileRequest(bool save, const std::string& folder, const std::string& name)
{
    SFileRequest request;
    request.save = save;
    request.filters = {QStringLiteral("Nimbra リストファイル (*.nbl)"), QStringLiteral("すべてのファイル (*)")};
    request.defaultSuffix = QStringLiteral("nbl");
    request.folder = folder;
    request.name = name;
    return request;
}

std::string DefaultListFileName(const QDateTime& time)
{
    static const char* const kWeekdays[] = {"日", "月", "火", "水", "木", "金", "土"};
    const QDate date = time.date();
    const QTime clock = time.time();
    char name[96];
    std::snprintf(name, sizeof(name), "%04d-%02d-%02d(%s)%02d-%02d-%02d-%d", date.year(), date.month(), date.day(),
                  kWeekdays[date.dayOfWeek() % 7], clock.hour(), clock.minute(), clock.second(), clock.msec());
    return name;
}

} // namespace nimbra
