#include "ui/CommandIds.h"
#include "platform/Ini.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"
#include "data/sidebar/HistorySearch.h"

#include "SidebarFixture.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <ctime>
#include <map>
#include <set>

using namespace nimbra;
using testenv::SpinUntil;

namespace {

std::set<std::string> Urls(const CHistoryReader& reader, SHistoryQuery query)
{
    std::set<std::string> urls;
    std::atomic<bool> stop{false};
    RunHistoryQuery(reader, query, stop, [&](std::vector<SHistoryRow>&& rows) {
        for (const SHistoryRow& row : rows)
            EXPECT_TRUE(urls.insert(row.url).second) << "listed twice: " << row.url;
    });
    return urls;
}

SHistoryQuery Search(const std::string& text, bool findCache = true)
{
    SHistoryQuery query;
    query.text = text;
    query.findCache = findCache;
    return query;
}

// A copy stored under `key` as it stands, past the store's own rules.
void PutRawCopy(const std::string& path, const std::string& key, const QByteArray& bytes)
{
    {
        QSqlDatabase sql = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
        sql.setDatabaseName(ToQ(path));
        ASSERT_TRUE(sql.open());
        QSqlQuery q(sql);
        q.prepare(QStringLiteral("INSERT INTO copies(key, taken, size, html) VALUES(?, 1, ?, ?)"));
        q.addBindValue(ToQ(key));
        q.addBindValue(bytes.size());
        q.addBindValue(qCompress(bytes));
        ASSERT_TRUE(q.exec());
        sql.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));
}

class HistoryPanesTest : public testenv::SidebarTest {
protected:
    CHistorySearchPane* Pane() const { return Sidebar()->HistorySearch(); }
    CHistoryTree* HTree() const { return Sidebar()->HistoryTree(); }
    std::vector<std::string> Column(int column) const
    {
        std::vector<std::string> texts;
        for (const SHistoryRow& row : Pane()->Model()->Rows())
            texts.push_back(column == 0 ? row.title : column == 1 ? row.url : row.date);
        return texts;
    }
    // Shows the search pane and waits for its listing.
    void ShowSearchPane()
    {
        m_frame->History().Flush();
        m_frame->Router().Execute(ID_NB_HISTORY_SEARCH);
        ASSERT_TRUE(SpinUntil([&] { return !Pane()->IsSearching(); }, 5000));
    }
    void PressFind(const std::string& text)
    {
        int finished = 0;
        QObject::connect(Pane(), &CHistorySearchPane::Finished, Pane(), [&] { ++finished; });
        Pane()->TextBox()->setEditText(ToQ(text));
        Pane()->Button(1142)->click();
        EXPECT_TRUE(SpinUntil([&] { return finished > 0; }, 5000));
        QObject::disconnect(Pane(), &CHistorySearchPane::Finished, Pane(), nullptr);
    }
};

} // namespace

TEST(HistoryQuery, FollowsTheListingAndSearchRules)
{
    testenv::TempDir dir;
    CHistoryDb db(dir.file("history.db"));
    const long long now = QDateTime::currentSecsSinceEpoch();
    db.AddVisit("http://a.example/page1.html", "", now);
    db.AddVisit("http://a.example/dir/", "", now);
    db.AddVisit("https://secure.example/", "Secure", now);
    db.AddVisit("http://old.example/x", "Old", now - 3 * 86400);
    db.AddVisit("file:///home/u/local.html", "Local", now);
    db.AddVisit("http://slash.example", "Slash", now);
    db.AddVisit("http://slash.example/", "Slash", now);
    db.SetCachedCopy("http://slash.example/", "<p>the needle</p>", now);
    db.Flush();
    PutRawCopy(dir.file("history.db"), "file:///home/u/local.html", "<p>needle</p>");
    const CHistoryReader reader = db.Reader();

    SHistoryQuery today;
    today.prefix = "http://";
    today.todayFrom = now - 3600;
    today.todayTo = now + 3600;
    // "http://" admits https pages too.
    EXPECT_EQ(Urls(reader, today), (std::set<std::string>{"http://a.example/page1.html", "http://a.example/dir/",
                                                          "http://slash.example", "http://slash.example/",
                                                          "https://secure.example/"}));
    today.prefix = "http://s";
    EXPECT_EQ(Urls(reader, today),
              (std::set<std::string>{"http://slash.example", "http://slash.example/", "https://secure.example/"}));
    today.prefix = "https://";
    EXPECT_EQ(Urls(reader, today), std::set<std::string>{"https://secure.example/"});
    today.prefix = "http://";
    // Untitled rows show the URL's last segment: nothing after a slash.
    std::map<std::string, std::string> titles;
    std::atomic<bool> stop{false};
    RunHistoryQuery(reader, today, stop, [&](std::vector<SHistoryRow>&& rows) {
        for (const SHistoryRow& row : rows)
            titles[row.url] = row.title;
    });
    EXPECT_EQ(titles["http://a.example/page1.html"], "page1.html");
    EXPECT_EQ(titles["http://a.example/dir/"], "");

    // The "/" form of a URL is listed once; file: copies are never read.
    EXPECT_EQ(Urls(reader, Search("NEEDLE")), std::set<std::string>{"http://slash.example/"});
    EXPECT_TRUE(Urls(reader, Search("needle", false)).empty());
    EXPECT_EQ(Urls(reader, Search("PAGE1")), std::set<std::string>{"http://a.example/page1.html"});
    EXPECT_EQ(Urls(reader, Search("%")).size(), 0u);
    EXPECT_EQ(Urls(reader, Search(std::string(10000, '_'))).size(), 0u);
}

TEST(HistoryQuery, IndexFindsWhatTheScanFinds)
{
    testenv::TempDir dir;
    const long long now = QDateTime::currentSecsSinceEpoch();
    const char* const words[] = {"alpha", "Beta", "ＧＡＭＭＡ", "日本語", "検索", "needle", "\"quoted\"", "x"};
    {
        CHistoryDb db(dir.file("history.db"));
        ASSERT_TRUE(db.HasIndex());
        for (int i = 0; i < 200; ++i) {
            // Some pages titled, some renamed later, some with a fragment,
            // some with their copy only under their "/" form.
            std::string url = "http://gen.example/" + std::to_string(i) + (i % 11 == 0 ? "#top" : "");
            std::string body = "<div class=\"c" + std::to_string(i % 7) + "\">";
            for (int w = 0; w < 8; ++w)
                if ((i >> w) & 1)
                    body += std::string(words[w]) + " ";
            db.AddVisit(url, i % 3 == 0 ? words[i % 8] : "", now - 200 + i);
            if (i % 5 == 0)
                db.SetTitle(url, std::string("Ｔｉｔｌｅ ") + words[(i + 1) % 8]);
            if (i % 13 == 0)
                url += "/", db.AddVisit(url, "", now - 400 + i);
            db.SetCachedCopy(url, body + "</div>", now - 200 + i);
        }
        db.Flush();
    }
    auto compare = [&](const CHistoryReader& reader) {
        // The file answers itself, or this compares the scan with itself.
        EXPECT_TRUE(reader.ForEachMatch({}, "beta", true, [](SHistoryMatch&&) { return true; }));
        const std::string texts[] = {"a", "be", "bet", "BETA", "ｇａｍｍａ", "本語", "日本語 検索", "alpha Beta",
                                     "class=\"c3", "\"quo", "<div", "nothing here", "x ", "ｔｉｔｌｅ", "13/", "#top"};
        for (const std::string& text : texts)
            for (const bool findCache : {true, false})
                for (const bool today : {false, true}) {
                    SHistoryQuery indexed = Search(text, findCache);
                    if (today)
                        indexed.todayFrom = now - 100, indexed.todayTo = now;
                    SHistoryQuery scanned = indexed;
                    scanned.useIndex = false;
                    const std::set<std::string> found = Urls(reader, indexed);
                    EXPECT_EQ(found, Urls(reader, scanned)) << text << findCache << today;
                    if (findCache && !today) {
                        EXPECT_EQ(found.empty(), text == "nothing here") << text;
                    }
                }
    };
    {
        CHistoryDb db(dir.file("history.db"));
        compare(db.Reader());
    }
    // A file of the first layout, without the search columns, gets them.
    {
        QSqlDatabase sql = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("old"));
        sql.setDatabaseName(ToQ(dir.file("history.db")));
        ASSERT_TRUE(sql.open());
        QSqlQuery q(sql);
        for (const char* column : {"title_fold", "url_fold", "copy_id", "slash_id"})
            ASSERT_TRUE(q.exec(QStringLiteral("ALTER TABLE urls DROP COLUMN %1").arg(QLatin1String(column))));
        ASSERT_TRUE(q.exec(QStringLiteral("PRAGMA user_version=1")));
        sql.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("old"));
    CHistoryDb db(dir.file("history.db"));
    EXPECT_EQ(db.OpenMessage(), "");
    compare(db.Reader());
}

TEST(HistoryQuery, StopsAtTheFlagAndExportsEscapedLines)
{
    testenv::TempDir dir;
    CHistoryDb db(dir.file("history.db"));
    for (int i = 0; i < 3000; ++i)
        db.AddVisit("http://many.example/" + std::to_string(i), "", 1000 + i);
    db.Flush();
    const CHistoryReader reader = db.Reader();
    std::atomic<bool> stop{false};
    int batches = 0;
    SHistoryQuery query;
    query.batchRows = 10;
    const testenv::CpuTimer cpu;
    RunHistoryQuery(reader, query, stop, [&](std::vector<SHistoryRow>&&) {
        ++batches;
        stop = true;
    });
    EXPECT_EQ(batches, 1);
    EXPECT_LT(cpu.elapsed(), 100);

    CHistoryDateTexts dates;
    const std::vector<SHistoryRow> rows = {
        MakeHistoryRow("<script>x</script> & \"q\"", "http://e/?a=1&b=\"2\"", 0, dates)};
    const std::string html = HistoryExportHtml(rows, "NOW");
    EXPECT_EQ(html, "<HTML>\r\n<H1> 履歴 NOW </H1>\r\n<H2>URL</H2>\r\n<UL>\r\n"
                    "<LI><A HREF=\"http://e/?a=1&amp;b=&quot;2&quot;\">&lt;script&gt;x&lt;/script&gt; &amp; "
                    "&quot;q&quot;</A> 最終更新日時 " + rows[0].date + "\r\n</UL>\r\n</HTML>\r\n");
}

TEST(HistoryResultModel, BatchesMergeAsOneStableSortAndTheCurrentRowFollows)
{
    // Ties in every column; batches of every size, each sorted as the
    // search sends them, land before, among and after the rows listed.
    std::vector<SHistoryRow> all;
    CHistoryDateTexts dates;
    for (int i = 0; i < 400; ++i)
        all.push_back(MakeHistoryRow("t" + std::to_string(i * 7 % 13), "http://u/" + std::to_string(i * 11 % 17),
                                     1000 + i * 37 % 23, dates));
    auto text = [](const SHistoryRow& row) { return row.title + " " + row.url + " " + row.date; };
    for (const SHistorySort sort : {SHistorySort{0, true}, SHistorySort{1, false}, SHistorySort{2, true}}) {
        CHistoryResultModel model;
        model.SetSort(sort);
        QPersistentModelIndex held;
        std::string heldText;
        for (size_t at = 0, size = 1; at < all.size(); at += size, size = size * 3 % 31 + 1) {
            std::vector<SHistoryRow> batch(all.begin() + at, all.begin() + std::min(all.size(), at + size));
            std::stable_sort(batch.begin(), batch.end(), sort);
            model.Merge(std::move(batch));
            if (!held.isValid()) {
                held = model.index(model.rowCount() / 2, 0);
                heldText = text(model.Rows()[size_t(held.row())]);
            }
            ASSERT_EQ(text(model.Rows()[size_t(held.row())]), heldText);
        }
        std::vector<SHistoryRow> expected = all;
        std::stable_sort(expected.begin(), expected.end(), sort);
        ASSERT_EQ(model.Rows().size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i)
            EXPECT_EQ(text(model.Rows()[i]), text(expected[i])) << sort.column << " row " << i;
    }
}

TEST(HistoryTreeGroups, EveryVisitFallsInTheGroupOfItsLocalDayAtEveryEdge)
{
    // Zones whose clocks move: days of 23 and 25 hours.
    const QByteArray oldZone = qgetenv("TZ");
    const bool hadZone = qEnvironmentVariableIsSet("TZ");
    auto zone = [](const char* name) {
        qputenv("TZ", name);
        tzset();
    };
    auto at = [](const char* local) {
        return QDateTime::fromString(QString::fromLatin1(local), QStringLiteral("yyyy-MM-dd hh:mm:ss")).toSecsSinceEpoch();
    };
    struct Visit {
        const char* at; // local time
        const char* group;
    };
    struct Case {
        const char* today;
        std::vector<Visit> visits;
        const char* zone = "Europe/Berlin";
    };
    const Case cases[] = {
        // A Wednesday within a month.
        {"2026-12-09", {{"2026-12-09 00:00:00", "今日"}, {"2026-12-10 00:00:00", "今日"}, {"2026-12-08 23:59:59", "火曜日"},
                        {"2026-12-07 00:00:00", "月曜日"}, {"2026-12-06 23:59:59", "1 週間前"},
                        {"2026-11-30 00:00:00", "1 週間前"}, {"2026-11-29 23:59:59", "2 週間前"},
                        {"2026-11-23 00:00:00", "2 週間前"}, {"2026-11-22 23:59:59", "3 週間前"}}},
        // A Monday: no earlier day this week; the week before spans the year's edge.
        {"2027-01-04", {{"2027-01-04 00:00:00", "今日"}, {"2027-01-03 23:59:59", "1 週間前"},
                        {"2026-12-28 00:00:00", "1 週間前"}, {"2026-12-27 23:59:59", "2 週間前"}}},
        // New Year's Day, a Friday: this week began in the old year.
        {"2027-01-01", {{"2027-01-01 00:00:00", "今日"}, {"2026-12-31 23:59:59", "木曜日"}, {"2026-12-28 00:00:00", "月曜日"},
                        {"2026-12-27 23:59:59", "1 週間前"}}},
        // A Sunday that ends a month: every day of its week.
        {"2026-03-01", {{"2026-03-01 00:00:00", "今日"}, {"2026-02-28 23:59:59", "土曜日"}, {"2026-02-26 12:00:00", "木曜日"},
                        {"2026-02-23 00:00:00", "月曜日"}, {"2026-02-22 23:59:59", "1 週間前"}}},
        // The Monday after a 23-hour Sunday, and a Tuesday after a 25-hour one.
        {"2027-03-29", {{"2027-03-29 00:00:00", "今日"}, {"2027-03-28 23:59:59", "1 週間前"},
                        {"2027-03-22 00:00:00", "1 週間前"}, {"2027-03-21 23:59:59", "2 週間前"}}},
        {"2026-10-27", {{"2026-10-27 00:00:00", "今日"}, {"2026-10-26 23:59:59", "月曜日"}, {"2026-10-26 00:00:00", "月曜日"},
                        {"2026-10-25 23:59:59", "1 週間前"}, {"2026-10-19 00:00:00", "1 週間前"},
                        {"2026-10-18 23:59:59", "2 週間前"}}},
        // Weeks whose only visit is at their first second.
        {"2026-12-16", {{"2026-12-07 00:00:00", "1 週間前"}, {"2026-11-30 00:00:00", "2 週間前"}}},
        // A 23-hour day of this week: clocks go forward on a Friday there.
        {"2027-03-27", {{"2027-03-27 00:30:00", "今日"}, {"2027-03-26 23:59:59", "金曜日"}, {"2027-03-26 00:00:00", "金曜日"}},
         "Asia/Jerusalem"},
    };
    for (const Case& c : cases) {
        zone(c.zone);
        testenv::TempDir dir;
        CHistoryDb db(dir.file("history.db"));
        for (size_t i = 0; i < c.visits.size(); ++i)
            db.AddVisit("http://v" + std::to_string(i) + ".example/", "", at(c.visits[i].at));
        db.Flush();
        const CHistoryReader reader = db.Reader();
        const auto groups = HistoryGroups(reader.VisitDates(), QDate::fromString(QString::fromLatin1(c.today), Qt::ISODate));
        std::map<std::string, std::string> found; // host: group
        for (size_t g = 0; g < groups.size(); ++g) {
            if (g > 0) { // newest first
                EXPECT_LE(groups[g].to, groups[g - 1].from) << c.today << " " << groups[g].name;
            }
            for (const std::string& host : reader.Hosts(groups[g].from, groups[g].to))
                EXPECT_TRUE(found.emplace(host, groups[g].name).second) << c.today << " " << host;
        }
        for (size_t i = 0; i < c.visits.size(); ++i)
            EXPECT_EQ(found["v" + std::to_string(i) + ".example"], c.visits[i].group) << c.today << " " << c.visits[i].at;
    }
    // The date texts at the same edges, with their weekday names.
    const std::pair<const char*, const char*> texts[] = {
        {"2026-12-31 23:59:59", "2026/12/31 (木) 23:59:59"}, {"2027-01-01 00:00:00", "2027/01/01 (金) 00:00:00"},
        {"2027-01-02 09:05:07", "2027/01/02 (土) 09:05:07"}, {"2027-01-03 23:59:59", "2027/01/03 (日) 23:59:59"},
        {"2027-01-04 00:00:00", "2027/01/04 (月) 00:00:00"}, {"2027-03-28 03:00:00", "2027/03/28 (日) 03:00:00"},
        {"2027-03-28 01:59:59", "2027/03/28 (日) 01:59:59"}, {"2027-03-28 23:30:00", "2027/03/28 (日) 23:30:00"},
    };
    zone("Europe/Berlin");
    // One by one, and many at once (each day's offset looked up once).
    CHistoryDateTexts many;
    for (const auto& [local, text] : texts) {
        EXPECT_EQ(HistoryDateText(at(local)), text);
        EXPECT_EQ(many.Text(at(local)), text);
    }
    if (hadZone)
        qputenv("TZ", oldZone);
    else
        qunsetenv("TZ");
    tzset();
}

TEST_F(HistoryPanesTest, ListsSortsFindsNextAndKeepsItsSettingsInRange)
{
    Option("FLCSort", 7);
    Option("FLCColumnSize", std::string("-5,99999,x"));
    Option("FLCFilter", std::string("http://h."));
    Option("FLCFindCache", 0);
    testenv::FakeWebBrowser::Titles() = {{"http://h.example/b", "Bravo page"}, {"http://h.example/a", "alpha page"}};
    StartWithTab();
    m_app->OpenUrl("http://h.example/b");
    m_app->OpenUrl("http://h.example/a");
    ShowSearchPane();
    EXPECT_EQ(Pane()->List()->header()->sectionSize(1), 300);
    EXPECT_EQ(Pane()->Model()->Sort().column, 2);
    ASSERT_EQ(Column(0).size(), 2u);

    // Another column first; then the date column sorts up, and down.
    Pane()->OnHeaderClicked(0);
    EXPECT_EQ(Column(0), (std::vector<std::string>{"alpha page", "Bravo page"}));
    Pane()->OnHeaderClicked(2);
    const auto up = Column(2);
    EXPECT_TRUE(std::is_sorted(up.begin(), up.end()));
    Pane()->OnHeaderClicked(2);
    const auto down = Column(2);
    EXPECT_TRUE(std::is_sorted(down.rbegin(), down.rend()));

    // Find next: the next matching row, then around to the first match.
    Pane()->OnHeaderClicked(0);
    for (int row : {0, 1, 0}) {
        PressFind("PAGE");
        EXPECT_EQ(Pane()->List()->currentIndex().row(), row);
    }
    QTest::keyClick(Pane()->List(), Qt::Key_Escape); // no search: nothing happens
    EXPECT_EQ(Pane()->List()->currentIndex().row(), 0);

    m_frame->close();
    m_app.reset();
    const CIniFile ini(File("nimbrab.ini"));
    EXPECT_EQ(ini.GetString("Options", "FLCColumnSize", ""), "200,300,140");
    EXPECT_EQ(ini.GetInt("Options", "FLCSort", 0), 0x10000);
}

TEST_F(HistoryPanesTest, ASearchOfManyRowsListsEachOnceInTheListsOrder)
{
    StartWithTab();
    const long long now = QDateTime::currentSecsSinceEpoch();
    for (int i = 0; i < 3000; ++i)
        m_frame->History().AddVisit("http://many.example/" + std::to_string(i * 7919 % 3000), "", now - i % 50);
    ShowSearchPane();
    // By title the rows come in no order of the list's; by date (flipped
    // to descending) against the order they are read in.
    for (int column : {0, 2}) {
        Pane()->OnHeaderClicked(column);
        PressFind("many.example");
        const std::vector<SHistoryRow>& rows = Pane()->Model()->Rows();
        std::set<std::string> urls;
        for (const SHistoryRow& row : rows)
            urls.insert(row.url);
        EXPECT_EQ(rows.size(), 3000u);
        EXPECT_EQ(urls.size(), 3000u);
        EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end(), Pane()->Model()->Sort())) << column;
    }
}

TEST_F(HistoryPanesTest, TreeShowsDaysHostsAndPagesAndRefusesGoneRows)
{
    testenv::FakeWebBrowser::Titles() = {{"http://t.example/1", "One"}};
    StartWithTab();
    m_app->OpenUrl("http://t.example/1");
    m_app->OpenUrl("http://t.example/2"); // untitled: its last segment
    m_frame->History().Flush();
    m_frame->Router().Execute(ID_NB_HISTORY);
    auto item = [&](const char* text) {
        return HTree()->findItems(QString::fromUtf8(text), Qt::MatchExactly | Qt::MatchRecursive).value(0);
    };
    ASSERT_TRUE(SpinUntil([&] { return item("今日"); }, 5000));
    item("今日")->setExpanded(true);
    ASSERT_TRUE(SpinUntil([&] { return item("t.example"); }, 5000));
    item("t.example")->setExpanded(true);
    ASSERT_TRUE(SpinUntil([&] { return item("One") && item("2"); }, 5000));

    HTree()->Click(item("One"), Qt::NoModifier);
    ASSERT_TRUE(SpinUntil([&] { return ActiveUrl() == "http://t.example/1"; }, 5000));

    // Rows removed behind the tree's back are refused.
    QString message;
    testenv::HandlerGuard messages(SetMessageHandler, [&](const QString& text) { message = text; });
    m_frame->History().Clear();
    m_frame->History().Flush();
    HTree()->Click(item("2"), Qt::NoModifier);
    ASSERT_TRUE(SpinUntil([&] { return !message.isEmpty(); }, 5000));
    EXPECT_EQ(message, QStringLiteral("この履歴データは無効です。再読み込みをしてください"));

    // Clearing through the frame empties every view at once.
    m_frame->ClearHistory();
    EXPECT_EQ(HTree()->topLevelItemCount(), 0);
    EXPECT_TRUE(Pane()->Model()->Rows().empty());
}

TEST_F(HistoryPanesTest, ClosingOrClearingDuringASearchStopsIt)
{
    Option("FLCFilterToday", 2);
    StartWithTab();
    auto fill = [&] {
        for (int i = 0; i < 8000; ++i)
            m_frame->History().AddVisit("http://s.example/" + std::to_string(i), "", 1000 + i);
        m_frame->History().Flush();
    };
    // A two-letter text reads every copy: long enough to be caught running.
    auto search = [&] {
        Pane()->TextBox()->setEditText(QStringLiteral("zq"));
        Pane()->Button(1142)->click();
        ASSERT_TRUE(SpinUntil([&] { return Pane()->IsSearching(); }, 5000));
    };
    fill();
    ShowSearchPane();
    // Typed while the list is read, a search takes the listing's place.
    Pane()->PostReload();
    QMetaObject::invokeMethod(Pane(), [&] {
        EXPECT_TRUE(Pane()->IsSearching() && Pane()->TextBox()->isEnabled());
        QTest::keyClicks(Pane()->TextBox()->lineEdit(), "zz");
        QTest::keyClick(Pane()->TextBox()->lineEdit(), Qt::Key_Return);
    }, Qt::QueuedConnection);
    ASSERT_TRUE(SpinUntil([&] { return Pane()->TextBox()->itemText(0) == "zz" && !Pane()->IsSearching(); }, 5000));
    EXPECT_TRUE(Pane()->Model()->Rows().empty());
    search();
    m_frame->ClearHistory();
    EXPECT_FALSE(Pane()->IsSearching());
    EXPECT_TRUE(Pane()->Model()->Rows().empty());

    fill();
    search();
    // The exit asks nothing.
    QString message;
    testenv::HandlerGuard messages(SetMessageHandler, [&](const QString& text) { message = text; });
    m_frame->close();
    m_app.reset();
    EXPECT_EQ(message, QString());
}

TEST_F(HistoryPanesTest, CtrlEFocusesTheTextAndEnterSearchesWhatWasTyped)
{
    testenv::FakeWebBrowser::Titles() = {{"http://w.example/1", "wombat hat"}, {"http://w.example/2", "wombat"}};
    StartWithTab();
    m_app->OpenUrl("http://w.example/1");
    m_app->OpenUrl("http://w.example/2");
    ShowSearchPane();
    m_frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_frame));
    // Back to the pane, listed already: the focus is in its text.
    QTest::keyClick(m_frame, Qt::Key_H, Qt::ControlModifier);
    QTest::keyClick(m_frame, Qt::Key_E, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), Pane()->TextBox());
    // Typed where the focus is; an earlier text is not filled in.
    for (const char* text : {"wombat hat", "wombat"}) {
        int finished = 0;
        QObject::connect(Pane(), &CHistorySearchPane::Finished, Pane(), [&] { ++finished; });
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(QApplication::focusWidget(), QString::fromUtf8(text));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        ASSERT_TRUE(SpinUntil([&] { return finished > 0; }, 5000)) << text;
        QObject::disconnect(Pane(), &CHistorySearchPane::Finished, Pane(), nullptr);
        EXPECT_EQ(Pane()->TextBox()->itemText(0), QString::fromUtf8(text));
        EXPECT_EQ(Column(0).size(), std::string(text) == "wombat" ? 2u : 1u) << text;
    }
}

TEST_F(HistoryPanesTest, TheDefaultFilterAdmitsHttpsAndItsMenuItemNamesIt)
{
    StartWithTab();
    for (const char* url : {"https://s.example/", "ftp://f.example/"})
        m_app->OpenUrl(url);
    ShowSearchPane();
    const std::vector<std::string> urls = Column(1);
    EXPECT_EQ(std::set<std::string>(urls.begin(), urls.end()), (std::set<std::string>{"http://start/", "https://s.example/"}));

    QTest::mouseClick(Pane()->Button(1147), Qt::LeftButton);
    QMenu* menu = nullptr;
    ASSERT_TRUE(SpinUntil([&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())); }, 5000));
    QStringList texts;
    for (const QAction* action : menu->actions())
        texts << action->text();
    menu->close();
    EXPECT_TRUE(texts.contains(QStringLiteral("http://フィルタを使う(&F)"))) << FromQ(texts.join('|'));
    m_frame->close();
    m_app.reset();
    EXPECT_EQ(CIniFile(File("nimbrab.ini")).GetString("Options", "FLCFilter", ""), "http://");
}
