#include "data/sidebar/HistorySearch.h"

#include "platform/Text.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <cstdio>
#include <algorithm>
#include <limits>
#include <unordered_set>

namespace nimbra {

namespace {

std::string EscapeHtml(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c; break;
        }
    }
    return out;
}

constexpr const char* kWeekdays[] = {"月曜日", "火曜日", "水曜日", "木曜日", "金曜日", "土曜日", "日曜日"};

} // namespace

long long HistoryDayStart(const QDate& date)
{
    return QDateTime(date, QTime(0, 0)).toSecsSinceEpoch();
}

namespace {

int UtcOffsetAt(long long secs)
{
    return QDateTime::fromSecsSinceEpoch(secs).offsetFromUtc();
}

std::string DateText(long long secs, int offset)
{
    static const char* const days[] = {"日", "月", "火", "水", "木", "金", "土"};
    const QDateTime t = QDateTime::fromSecsSinceEpoch(secs, Qt::OffsetFromUTC, offset);
    const QDate d = t.date();
    const QTime tm = t.time();
    char text[64];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d (%s) %02d:%02d:%02d", d.year(), d.month(), d.day(),
                  days[d.dayOfWeek() % 7], tm.hour(), tm.minute(), tm.second());
    return text;
}

} // namespace

std::string HistoryDateText(long long secs)
{
    return DateText(secs, UtcOffsetAt(secs));
}

std::string CHistoryDateTexts::Text(long long secs)
{
    constexpr long long kDay = 86400;
    const long long day = secs >= 0 ? secs / kDay : (secs - kDay + 1) / kDay;
    auto found = m_offsets.find(day);
    if (found == m_offsets.end()) {
        const int first = UtcOffsetAt(day * kDay);
        if (first != UtcOffsetAt(day * kDay + kDay - 1))
            return HistoryDateText(secs);
        found = m_offsets.emplace(day, first).first;
    }
    return DateText(secs, found->second);
}

std::vector<SHistoryGroup> HistoryGroups(const std::vector<std::string>& dates, const QDate& today)
{
    const QDate monday = today.addDays(1 - today.dayOfWeek());
    bool hasToday = false;
    std::vector<int> days;  // days of this week before today, as offsets from monday
    std::vector<int> weeks; // weeks before this one
    for (const std::string& text : dates) {
        const QDate date = QDate::fromString(ToQ(text), Qt::ISODate);
        if (!date.isValid())
            continue;
        if (date >= today)
            hasToday = true;
        else if (date >= monday)
            days.push_back(int(monday.daysTo(date)));
        else
            weeks.push_back(int((date.daysTo(monday) + 6) / 7));
    }
    std::sort(days.begin(), days.end(), std::greater<>());
    days.erase(std::unique(days.begin(), days.end()), days.end());
    std::sort(weeks.begin(), weeks.end());
    weeks.erase(std::unique(weeks.begin(), weeks.end()), weeks.end());
    std::vector<SHistoryGroup> groups;
    if (hasToday)
        groups.push_back({"今日", HistoryDayStart(today), std::numeric_limits<long long>::max()});
    for (int day : days) {
        const QDate date = monday.addDays(day);
        groups.push_back({kWeekdays[date.dayOfWeek() - 1], HistoryDayStart(date), HistoryDayStart(date.addDays(1))});
    }
    for (int week : weeks)
        groups.push_back({std::to_string(week) + " 週間前", HistoryDayStart(monday.addDays(-7 * week)),
                          HistoryDayStart(monday.addDays(-7 * (week - 1)))});
    return groups;
}

SHistoryRow MakeHistoryRow(const std::string& title, const std::string& url, long long lastUpdate,
                           CHistoryDateTexts& dates)
{
    SHistoryRow row;
    row.title = HistoryDisplayTitle(title, url);
    row.url = url;
    row.date = dates.Text(lastUpdate);
    row.keys = {FoldCase(row.title), FoldCase(row.url), row.date};
    return row;
}

std::vector<std::string> HistoryFilterPrefixes(const std::string& prefix)
{
    static constexpr std::string_view http = "http://";
    if (prefix.empty())
        return {};
    if (!prefix.starts_with(http))
        return {prefix};
    return {prefix, "https://" + prefix.substr(http.size())};
}

void RunHistoryQuery(const CHistoryReader& reader, const SHistoryQuery& query, const std::atomic<bool>& stop,
                     const std::function<void(std::vector<SHistoryRow>&&)>& batch)
{
    const std::string folded = FoldCase(query.text);
    const QString needle = ToQ(folded);
    const bool searching = !folded.empty();
    auto copyHolds = [&](const std::string& url) {
        const std::optional<std::string> copy = reader.Copy(CopyKey(url));
        if (!copy)
            return false;
        const std::optional<std::string> text = DecodeCopy(*copy);
        return text && FoldCase(ToQ(*text)).contains(needle);
    };

    std::vector<SHistoryRow> rows;
    CHistoryDateTexts dates;
    // Batches grow with the rows listed, so merging them stays cheap.
    std::unordered_set<std::string> listed;
    QElapsedTimer sinceBatch;
    sinceBatch.start();
    auto flush = [&] {
        if (rows.empty())
            return;
        std::stable_sort(rows.begin(), rows.end(), query.sort);
        batch(std::move(rows));
        rows.clear();
        sinceBatch.restart();
    };
    auto take = [&](SHistoryEntry&& e, bool inTitleOrUrl) {
        if (stop.load(std::memory_order_relaxed))
            return false;
        std::string url = std::move(e.url);
        bool taken = inTitleOrUrl;
        if (!taken && query.findCache && !StartsWithNoCase(url, "file:")) {
            if (copyHolds(url)) {
                taken = true;
            } else if (!url.ends_with('/') && copyHolds(url + "/")) {
                url += '/';
                taken = true;
            }
        }
        // The row, with its date text, is made only for what is listed.
        if (taken && listed.insert(url).second)
            rows.push_back(MakeHistoryRow(e.title, url, e.lastUpdate, dates));
        if (rows.size() >= std::max(query.batchRows, listed.size() - rows.size())
            || (!rows.empty() && sinceBatch.elapsed() >= query.batchMs))
            flush();
        return true;
    };

    SHistoryRange range{HistoryFilterPrefixes(query.prefix)};
    // Read in about the order of the list when it is sorted by date, so
    // that the rows mostly go after those listed.
    range.oldestFirst = query.sort.column == 2 && query.sort.ascending;
    if (query.todayFrom >= 0) {
        range.updatedFrom = query.todayFrom;
        range.updatedTo = query.todayTo;
    }
    // The file narrows a search by its folded columns and index; else every
    // entry is folded and every copy read here.
    const bool narrowed = searching && query.useIndex
                          && reader.ForEachMatch(range, folded, query.findCache, [&](SHistoryMatch&& m) {
                                 return take(std::move(m.entry), m.inTitleOrUrl);
                             });
    if (!narrowed)
        reader.ForEach(range, [&](SHistoryEntry&& e) {
            const bool inTitleOrUrl = !searching
                                      || FoldCase(HistoryDisplayTitle(e.title, e.url)).find(folded) != std::string::npos
                                      || FoldCase(e.url).find(folded) != std::string::npos;
            return take(std::move(e), inTitleOrUrl);
        });
    flush();
}

std::string HistoryExportHtml(const std::vector<SHistoryRow>& rows, const std::string& now)
{
    std::string out = "<HTML>\r\n<H1> 履歴 " + now + " </H1>\r\n<H2>URL</H2>\r\n<UL>\r\n";
    for (const SHistoryRow& row : rows)
        out += "<LI><A HREF=\"" + EscapeHtml(row.url) + "\">" + EscapeHtml(row.title) + "</A> 最終更新日時 " + row.date
               + "\r\n";
    out += "</UL>\r\n</HTML>\r\n";
    return out;
}

} // namespace nimbra
