#include "data/session/ListFile.h"

#include "platform/AtomicFile.h"
#include "platform/InputFile.h"
#include "platform/Text.h"

#include <QDateTime>

#include <cstdio>

namespace nimbra {

namespace {

// The entry of one line of a list file, if it holds one.
std::optional<std::string> EntryOfLine(std::string_view raw)
{
    if (raw.find("<LI>") == std::string_view::npos)
        return std::nullopt;
    // The four bytes the Windows version dropped are four cells of
    // width here, so a decoded character is never split.
    const std::string line = Trim(DecodeLine(raw));
    const size_t skip = CutText(line, 4).size();
    if (line.size() <= skip)
        return std::nullopt;
    return line.substr(skip);
}

std::string LineOfEntry(std::string_view entry)
{
    return "\t<LI>" + OneLine(entry);
}

} // namespace

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
        if (std::optional<std::string> entry = EntryOfLine(raw))
            list.push_back(std::move(*entry));
    }
    return file.Ok();
}

std::optional<std::string> ListEntryAsRead(std::string_view entry)
{
    return EntryOfLine(LineOfEntry(entry));
}

bool WriteListFile(std::string_view heading, const std::string& path, const UrlList& list)
{
    std::string text;
    text.reserve(64 + list.size() * 48);
    text += "<HTML>\r\n<H1>";
    text += heading;
    text += "</H1>\r\n<H2>URL</H2>\r\n<UL>\r\n";
    for (const std::string& entry : list) {
        text += LineOfEntry(entry);
        text += "\r\n";
    }
    text += "</UL>\r\n</HTML>\r\n";
    return WriteFileAtomically(path, text);
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
