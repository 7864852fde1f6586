#pragma once

#include "platform/HistoryDb.h"

#include <QDate>
#include <array>
#include <atomic>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace nimbra {

// A time as the history shows it, in local time:
// "2026/12/09 (水) 13:05:09".
std::string HistoryDateText(long long secs);

// The same texts for many times: the zone is asked once per day of the
// times given (twice, at its ends; a day with a change of offset is asked
// per time), as each question of the C library looks at the zone's file.
class CHistoryDateTexts {
public:
    std::string Text(long long secs);

private:
    std::unordered_map<long long, int> m_offsets; // UTC day: seconds east of UTC
};

// When the local day `date` begins, in seconds since the epoch.
long long HistoryDayStart(const QDate& date);

// One group of the tree's first level: a span of local time.
struct SHistoryGroup {
    std::string name;
    long long from = 0;
    long long to = 0; // exclusive
};
// The groups that hold the visits of `dates` ("YYYY-MM-DD"), seen on
// `today`: "今日", this week's earlier days ("月曜日"...), then "N 週間前";
// newest first.
std::vector<SHistoryGroup> HistoryGroups(const std::vector<std::string>& dates, const QDate& today);

// One row of the history search's result list.
struct SHistoryRow {
    std::string title;
    std::string url;
    std::string date;
    // Per column, the text that sorting compares (letter case folded).
    std::array<std::string, 3> keys;
};

// How rows are ordered: a column (0 title, 1 URL, 2 date) and a direction.
struct SHistorySort {
    int column = 2;
    bool ascending = true;
    bool operator()(const SHistoryRow& a, const SHistoryRow& b) const
    {
        return ascending ? a.keys[size_t(column)] < b.keys[size_t(column)]
                         : b.keys[size_t(column)] < a.keys[size_t(column)];
    }
};

struct SHistoryQuery {
    std::string prefix;        // only URLs that start with it; empty: all
    long long todayFrom = -1;  // with todayTo: only entries last updated in [from, to)
    long long todayTo = -1;
    std::string text;          // empty: list every entry
    bool findCache = false;    // also look into the page copies
    bool useIndex = true;      // narrow by the file's folded columns and index first
    SHistorySort sort;
    size_t batchRows = 100;    // rows handed over at once, at most
    int batchMs = 50;          // and at least this often while rows come
};

// The URL prefixes that the filter `prefix` admits: itself, and for an
// "http://" prefix the same with "https://" as well; none for an empty one.
std::vector<std::string> HistoryFilterPrefixes(const std::string& prefix);

// Lists or searches the history on the calling (worker) thread. Rows come
// to `batch` sorted within each batch; `stop` is looked at after each entry.
// A URL is listed once, also when the copy of its "/" form matched.
void RunHistoryQuery(const CHistoryReader& reader, const SHistoryQuery& query, const std::atomic<bool>& stop,
                     const std::function<void(std::vector<SHistoryRow>&&)>& batch);

// The row for an entry: the title shown (with the URL's last segment for
// an untitled page), the URL, the last update's date text, the sort keys.
SHistoryRow MakeHistoryRow(const std::string& title, const std::string& url, long long lastUpdate,
                           CHistoryDateTexts& dates);

// The export of `rows` as an HTML file's bytes, lines ended by CR LF;
// titles and URLs escaped. `now` is the heading's date text.
std::string HistoryExportHtml(const std::vector<SHistoryRow>& rows, const std::string& now);

} // namespace nimbra
