// The history database under load: N entries (100,000 by default) with
// generated 2-20 KB pages of Japanese and ASCII text. Times the search of a
// text in 100 pages and in none, the first 100 rows of a text in half the
// pages, the listing, a tree level and the UI-thread cost of a visit; the
// same searches as a LIKE scan over an uncompressed text column beside it.
// Each figure is wall time and the calling thread's CPU time (the reads run
// on it), as the wall clock of a loaded machine says little. A folder that
// already holds a fill of the same size is searched as it is.
//   history_program [entries] [folder]
#include "platform/HistoryDb.h"
#include "CpuClock.h"
#include "data/sidebar/HistorySearch.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>
#include <cstdio>
#include <cstdlib>
#include <ctime>

using namespace nimbra;

namespace {

const char* const kJapanese[] = {"日本語", "検索", "履歴", "ページ", "東京", "天気", "情報", "表示", "設定", "記事"};
const char* const kAscii[] = {"alpha", "browser", "history", "search", "index", "page", "query", "table", "zone", "text"};

std::string Page(unsigned seed, int i, int entries)
{
    unsigned x = seed * 2654435761u + 1;
    auto next = [&] { return x = x * 1103515245u + 12345u, (x >> 16) & 0x7FFF; };
    const size_t size = 2048 + next() % (18 * 1024);
    std::string page = "<html><head><title>page " + std::to_string(i) + "</title></head><body><p>";
    while (page.size() < size) {
        page += (next() & 1) ? kJapanese[next() % 10] : kAscii[next() % 10];
        page += (next() % 12 == 0) ? "</p>\n<p>" : " ";
    }
    if (i % (entries / 100) == 0)
        page += "rareword ";
    if (i % 2 == 0)
        page += "halfword ";
    return page + "</p></body></html>";
}

// Wall and thread CPU time since start().
class CTimer {
public:
    CTimer() { start(); }
    void start()
    {
        m_wall.start();
        m_cpu = ThreadCpuMs();
    }
    double Wall() const { return double(m_wall.nsecsElapsed()) / 1e6; }
    double Cpu() const { return ThreadCpuMs() - m_cpu; }
    // "12.3 ms (cpu 4.5 ms)"
    std::string Text() const
    {
        char text[64];
        std::snprintf(text, sizeof text, "%.1f ms (cpu %.1f ms)", Wall(), Cpu());
        return text;
    }

private:
    QElapsedTimer m_wall;
    double m_cpu = 0;
};

struct SResult {
    size_t rows = 0;
    std::string firstHundred = "never";
    std::string total;
};

SResult Search(const CHistoryReader& reader, const std::string& text, bool useIndex)
{
    SHistoryQuery query;
    query.text = text;
    query.findCache = true;
    query.useIndex = useIndex;
    std::atomic<bool> stop{false};
    SResult result;
    const CTimer t;
    RunHistoryQuery(reader, query, stop, [&](std::vector<SHistoryRow>&& rows) {
        if (result.rows < 100 && result.rows + rows.size() >= 100)
            result.firstHundred = t.Text();
        result.rows += rows.size();
    });
    result.total = t.Text();
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int entries = argc > 1 ? std::max(200, std::atoi(argv[1])) : 100000;
    QTemporaryDir temp;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : temp.path();
    QDir().mkpath(folder);
    const std::string path = QString(folder + QStringLiteral("/history.db")).toStdString();

    QSqlDatabase plain = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("plain"));
    plain.setDatabaseName(folder + QStringLiteral("/plain.db"));
    plain.open();
    QSqlQuery(plain).exec(QStringLiteral("CREATE TABLE IF NOT EXISTS pages(url TEXT, text TEXT)"));
    QSqlQuery count(plain);
    const bool reuse = QFile::exists(QString::fromStdString(path)) && count.exec(QStringLiteral("SELECT count(*) FROM pages"))
                       && count.next() && count.value(0).toInt() == entries;
    count.finish();
    if (!reuse) {
        QFile::remove(QString::fromStdString(path));
        QSqlQuery(plain).exec(QStringLiteral("DELETE FROM pages"));
    }

    CHistoryDb db(path);
    std::printf("FTS5 index: %s\n", db.HasIndex() ? "yes" : "no");
    const long long now = QDateTime::currentSecsSinceEpoch();
    if (reuse) {
        std::printf("entries: %d, the fill in %s reused\n", entries, qPrintable(folder));
    } else {
        const CTimer fill;
        double visitWallMs = 0;
        double visitCpuMs = 0;
        plain.transaction();
        QSqlQuery insert(plain);
        insert.prepare(QStringLiteral("INSERT INTO pages(url, text) VALUES(?, ?)"));
        for (int i = 0; i < entries; ++i) {
            const std::string url = "http://site" + std::to_string(i % 500) + ".example.com/page/" + std::to_string(i);
            const std::string page = Page(unsigned(i), i, entries);
            const CTimer visit;
            db.AddVisit(url, "page " + std::to_string(i), now - (entries - i));
            db.SetCachedCopy(url, page, now - (entries - i));
            visitWallMs += visit.Wall();
            visitCpuMs += visit.Cpu();
            insert.addBindValue(QString::fromStdString(url));
            insert.addBindValue(QString::fromStdString(page));
            insert.exec();
            if (i % 1000 == 999)
                db.Flush(); // keeps the queue, and the memory it holds, short
        }
        plain.commit();
        db.Flush();
        std::printf("entries: %d, filled in %.1f s\n", entries, fill.Wall() / 1000);
        std::printf("visit, UI-thread cost (queueing visit and copy): %.3f ms (cpu %.3f ms)\n", visitWallMs / entries,
                    visitCpuMs / entries);
    }
    std::printf("history.db: %.1f MB, plain.db: %.1f MB\n",
                double(QFileInfo(QString::fromStdString(path)).size()) / 1e6,
                double(QFileInfo(folder + QStringLiteral("/plain.db")).size()) / 1e6);

    const CHistoryReader reader = db.Reader();
    for (const char* text : {"rareword", "nowordhere"}) {
        const SResult indexed = Search(reader, text, true);
        std::printf("search \"%s\" (index): %zu rows in %s\n", text, indexed.rows, indexed.total.c_str());
        const CTimer t;
        QSqlQuery like(plain);
        like.prepare(QStringLiteral("SELECT url FROM pages WHERE text LIKE ?"));
        like.addBindValue(QStringLiteral("%%1%").arg(QLatin1String(text)));
        like.exec();
        size_t rows = 0;
        while (like.next())
            ++rows;
        std::printf("search \"%s\" (LIKE over plain text): %zu rows in %s\n", text, rows, t.Text().c_str());
    }
    const SResult half = Search(reader, "halfword", true);
    std::printf("search \"halfword\": first 100 rows after %s, all %zu in %s\n", half.firstHundred.c_str(),
                half.rows, half.total.c_str());
    const SResult scan = Search(reader, "nowordhere", false);
    std::printf("search \"nowordhere\" (scan, no index): %s\n", scan.total.c_str());

    const SResult listing = Search(reader, "", true);
    std::printf("listing: %zu rows in %s\n", listing.rows, listing.total.c_str());
    CTimer t;
    const auto dates = reader.VisitDates();
    std::printf("tree, first level: %zu dates in %s\n", dates.size(), t.Text().c_str());
    t.start();
    const auto hosts = reader.Hosts(0, now + 1);
    std::printf("tree, sites: %zu in %s\n", hosts.size(), t.Text().c_str());
    t.start();
    const auto pages = reader.Pages(hosts.empty() ? std::string() : hosts.front(), 0, now + 1);
    std::printf("tree, pages of one site: %zu in %s\n", pages.size(), t.Text().c_str());
    plain.close();
    return 0;
}
