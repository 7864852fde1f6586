#include "frame/CommandIds.h"
#include "platform/Ini.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"
#include "sidebar/HistorySearch.h"

#include "SidebarFixture.h"

#include <QComboBox>
#include <QDateTime>
#include <QHeaderView>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
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
    EXPECT_EQ(Urls(reader, today), (std::set<std::string>{"http://a.example/page1.html", "http://a.example/dir/",
                                                          "http://slash.example", "http://slash.example/"}));
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
                    if (findCache && !today)
                        EXPECT_EQ(found.empty(), text == "nothing here") << text;
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

    const std::vector<SHistoryRow> rows = {MakeHistoryRow("<script>x</script> & \"q\"", "http://e/?a=1&b=\"2\"", 0)};
    const std::string html = HistoryExportHtml(rows, "NOW");
    EXPECT_EQ(html, "<HTML>\r\n<H1> 履歴 NOW </H1>\r\n<H2>URL</H2>\r\n<UL>\r\n"
                    "<LI><A HREF=\"http://e/?a=1&amp;b=&quot;2&quot;\">&lt;script&gt;x&lt;/script&gt; &amp; "
                    "&quot;q&quot;</A> 最終更新日時 " + rows[0].date + "\r\n</UL>\r\n</HTML>\r\n");
}

TEST(HistoryTreeGroups, DaysOfThisWeekThenWeeksAgo)
{
    const QDate wednesday(2026, 12, 9);
    const auto groups = HistoryGroups({"2026-11-29", "2026-12-07", "2026-12-09", "2026-12-06", "2026-11-30",
                                       "2026-12-08", "bad"},
                                      wednesday);
    std::vector<std::string> names;
    for (const SHistoryGroup& g : groups)
        names.push_back(g.name);
    EXPECT_EQ(names, (std::vector<std::string>{"今日", "火曜日", "月曜日", "1 週間前", "2 週間前"}));
    EXPECT_EQ(groups[1].to, groups[0].from);
    EXPECT_EQ(groups[3].to, groups[2].from);
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
    search();
    m_frame->ClearHistory();
    EXPECT_FALSE(Pane()->IsSearching());
    EXPECT_TRUE(Pane()->Model()->Rows().empty());

    fill();
    search();
    QString message;
    testenv::HandlerGuard messages(SetMessageHandler, [&](const QString& text) { message = text; });
    m_frame->close();
    m_app.reset();
    EXPECT_EQ(message, QStringLiteral("検索が途中です"));
}
