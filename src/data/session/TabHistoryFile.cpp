#include "data/session/TabHistoryFile.h"

#include "platform/AtomicFile.h"
#include "platform/InputFile.h"
#include "platform/Text.h"

#include <QCryptographicHash>

#include <algorithm>
#include <charconv>
#include <optional>

namespace nimbra {

namespace {

constexpr std::string_view kHeader = "NimbraTabHistory 1";
constexpr std::string_view kListPrefix = "List ";
constexpr std::string_view kSumPrefix = "Sum ";
constexpr std::string_view kTabPrefix = "Tab ";

std::string Hash(std::string_view bytes)
{
    return QCryptographicHash::hash(QByteArrayView(bytes.data(), qsizetype(bytes.size())), QCryptographicHash::Sha256)
        .toHex()
        .left(32)
        .toStdString();
}

// The list's entries in order.
std::string Fingerprint(const UrlList& list)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const std::string& entry : list) {
        hash.addData(QByteArrayView(entry.data(), qsizetype(entry.size())));
        hash.addData(QByteArrayView("\n", 1));
    }
    return hash.result().toHex().left(32).toStdString();
}

size_t EntryBytes(const SHistoryPage& entry)
{
    return entry.url.size() + entry.title.size() + entry.state.size();
}

// Splits `text` into lines at LF, without a CR before it.
class CLines {
public:
    explicit CLines(std::string_view text) : m_rest(text) {}

    std::optional<std::string_view> Next()
    {
        if (m_rest.empty())
            return std::nullopt;
        const size_t lf = m_rest.find('\n');
        std::string_view line = m_rest.substr(0, lf);
        m_rest.remove_prefix(lf == std::string_view::npos ? m_rest.size() : lf + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        return line;
    }
    std::string_view Rest() const { return m_rest; }
    // Nothing but empty lines is left.
    bool AtEnd()
    {
        while (std::optional<std::string_view> line = Next())
            if (!line->empty())
                return false;
        return true;
    }

private:
    std::string_view m_rest;
};

// A decimal number of digits only, taking the whole text.
std::optional<size_t> ParseCount(std::string_view text)
{
    size_t value = 0;
    if (text.empty() || text.size() > 6)
        return std::nullopt;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// "Tab <current> <count>" and its pages; nothing when anything is amiss.
std::optional<STabHistory> ParseTab(CLines& lines, const std::string& listEntry)
{
    const std::optional<std::string_view> head = lines.Next();
    if (!head || head->substr(0, kTabPrefix.size()) != kTabPrefix)
        return std::nullopt;
    const std::string_view numbers = head->substr(kTabPrefix.size());
    const size_t blank = numbers.find(' ');
    if (blank == std::string_view::npos)
        return std::nullopt;
    const std::optional<size_t> current = ParseCount(numbers.substr(0, blank));
    const std::optional<size_t> count = ParseCount(numbers.substr(blank + 1));
    if (!current || !count || *count > CTabHistoryFile::kMaxEntries)
        return std::nullopt;
    STabHistory history;
    if (*count == 0)
        return *current == 0 ? std::optional(history) : std::nullopt;
    if (*current >= *count)
        return std::nullopt;
    size_t bytes = 0;
    for (size_t i = 0; i < *count; ++i) {
        const std::optional<std::string_view> line = lines.Next();
        if (!line)
            return std::nullopt;
        const size_t tab = line->find('\t');
        const size_t tab2 = tab == std::string_view::npos ? tab : line->find('\t', tab + 1);
        if (tab == 0 || tab2 == std::string_view::npos)
            return std::nullopt;
        const std::string_view base64 = line->substr(tab2 + 1);
        const QByteArray::FromBase64Result state = QByteArray::fromBase64Encoding(
            QByteArray(base64.data(), qsizetype(base64.size())), QByteArray::AbortOnBase64DecodingErrors);
        if (!state)
            return std::nullopt;
        SHistoryPage entry{std::string(line->substr(0, tab)), std::string(line->substr(tab + 1, tab2 - tab - 1)),
                           state.decoded.toStdString()};
        bytes += EntryBytes(entry);
        if (bytes > CTabHistoryFile::kMaxTabBytes)
            return std::nullopt;
        history.entries.push_back(std::move(entry));
    }
    history.current = *current;
    if (history.Current().url != listEntry)
        return std::nullopt;
    return history;
}

} // namespace

std::string CTabHistoryFile::PathFor(const std::string& listPath)
{
    return listPath + ".history";
}

std::vector<STabHistory> CTabHistoryFile::Parse(std::string_view text, const UrlList& list)
{
    const std::vector<STabHistory> none(list.size());
    CLines lines(text);
    if (lines.Next() != kHeader || lines.Next() != std::string(kListPrefix) + Fingerprint(list))
        return none;
    const std::optional<std::string_view> sum = lines.Next();
    if (!sum || *sum != std::string(kSumPrefix) + Hash(lines.Rest()))
        return none;
    std::vector<STabHistory> histories;
    histories.reserve(list.size());
    for (const std::string& entry : list) {
        std::optional<STabHistory> history = ParseTab(lines, entry);
        if (!history)
            return none;
        histories.push_back(std::move(*history));
    }
    return lines.AtEnd() ? histories : none;
}

std::vector<STabHistory> CTabHistoryFile::Read(const std::string& path, const UrlList& list)
{
    const SInputFile file = ReadInputFile(path);
    if (!file.Ok())
        return std::vector<STabHistory>(list.size());
    return Parse(file.bytes, list);
}

STabHistory CTabHistoryFile::Bounded(const STabHistory& history)
{
    if (history.current >= history.entries.size())
        return {};
    std::vector<SHistoryPage> pages;
    pages.reserve(history.entries.size());
    for (const SHistoryPage& entry : history.entries) {
        if (entry.url.empty() || entry.url.find_first_of("\t\r\n") != std::string::npos)
            return {};
        std::string title = OneLine(entry.title);
        std::replace(title.begin(), title.end(), '\t', ' ');
        pages.push_back({entry.url, CutChars(title, kMaxTitleChars), entry.state});
    }

    // Grows the kept range around the current page, one page back and one
    // forward at a time, while it stays within the bounds.
    size_t first = history.current;
    size_t end = first + 1;
    size_t bytes = EntryBytes(pages[first]);
    if (bytes > kMaxTabBytes)
        return {};
    for (bool grown = true; grown && end - first < kMaxEntries;) {
        grown = false;
        if (first > 0 && bytes + EntryBytes(pages[first - 1]) <= kMaxTabBytes) {
            bytes += EntryBytes(pages[--first]);
            grown = true;
        }
        if (end < pages.size() && end - first < kMaxEntries && bytes + EntryBytes(pages[end]) <= kMaxTabBytes) {
            bytes += EntryBytes(pages[end++]);
            grown = true;
        }
    }
    STabHistory bounded;
    bounded.entries.assign(pages.begin() + std::ptrdiff_t(first), pages.begin() + std::ptrdiff_t(end));
    bounded.current = history.current - first;
    return bounded;
}

std::string CTabHistoryFile::Format(const UrlList& list, const std::vector<STabHistory>& histories)
{
    std::string text;
    for (size_t i = 0; i < list.size(); ++i) {
        STabHistory history = i < histories.size() ? Bounded(histories[i]) : STabHistory();
        if (!history.Empty() && history.Current().url != list[i])
            history = {};
        text += std::string(kTabPrefix) + std::to_string(history.current) + " "
                + std::to_string(history.entries.size()) + "\r\n";
        for (const SHistoryPage& entry : history.entries) {
            const QByteArray state = QByteArray::fromStdString(entry.state).toBase64();
            text += entry.url + "\t" + entry.title + "\t" + state.toStdString() + "\r\n";
        }
    }
    return WithHeader(list, text);
}

std::string CTabHistoryFile::WithHeader(const UrlList& list, std::string_view tabs)
{
    return std::string(kHeader) + "\r\n" + std::string(kListPrefix) + Fingerprint(list) + "\r\n"
           + std::string(kSumPrefix) + Hash(tabs) + "\r\n" + std::string(tabs);
}

bool CTabHistoryFile::Write(const std::string& path, const UrlList& list, const std::vector<STabHistory>& histories)
{
    return WriteFileAtomically(path, Format(list, histories));
}

} // namespace nimbra
