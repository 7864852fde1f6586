#include "platform/HistoryDb.h"

#include "SqliteDamage.h"
#include "TestEnv.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <gtest/gtest.h>
#include <mutex>
#include <set>
#include <thread>
#include <sys/stat.h>

using namespace nimbra;

namespace {

std::optional<SHistoryEntry> Find(CHistoryDb& db, const std::string& url)
{
    db.Flush();
    return db.Reader().Entry(url);
}

// Every byte of the database's files together.
std::string FileBytes(const testenv::TempDir& dir)
{
    std::string all;
    for (const QString& name : QDir(dir.path()).entryList(QDir::Files))
        all += testenv::ReadFile(dir.file(name.toStdString()));
    return all;
}

std::string SpreadUrl(int i)
{
    // Spread over the whole URL index, as visits of many sites are.
    return "http://h" + std::to_string(i * 7919 % 10007) + ".example/" + std::string(150, 'p') + "/" + std::to_string(i);
}

// A database of `visits` entries, closed.
void MakeHistory(const std::string& path, int visits)
{
    CHistoryDb db(path);
    for (int i = 0; i < visits; ++i)
        db.AddVisit(SpreadUrl(i), "Title " + std::to_string(i), 1000 + i);
}

std::vector<std::string> SetAside(const testenv::TempDir& dir)
{
    std::vector<std::string> files;
    for (const QString& name : QDir(dir.path()).entryList({QStringLiteral("history.db.bad-*")}))
        if (!name.endsWith(QLatin1String("-wal")) && !name.endsWith(QLatin1String("-shm")))
            files.push_back(dir.file(name.toStdString()));
    return files;
}

} // namespace

TEST(HistoryDb, CountsVisitsTitlesAndCopies)
{
    testenv::TempDir dir;
    CHistoryDb db(dir.file("history.db"));
    db.AddVisit("http://a/1", "One", 100);
    db.AddVisit("http://a/1", "", 300); // an empty title keeps the old one
    db.AddVisit("http://a/1#part", "One", 310);
    db.AddVisit("http://a/2", "", 200);
    db.SetTitle("http://a/2", "Two");
    db.SetTitle("http://nowhere/", "lost"); // no entry: nothing made
    for (const char* skipped : {"about:blank", "data:text/html,x", "blob:http://a/x", "javascript:1", "view-source:http://a/1", ""})
        db.AddVisit(skipped, "s", 5);

    auto one = Find(db, "http://a/1");
    ASSERT_TRUE(one);
    EXPECT_EQ(one->title, "One");
    EXPECT_EQ(one->visitCount, 2);
    EXPECT_EQ(one->lastVisit, 300);
    EXPECT_EQ(one->lastUpdate, 300); // no copy: the last visit
    EXPECT_EQ(one->host, "a");
    EXPECT_EQ(Find(db, "http://a/2")->title, "Two");
    EXPECT_EQ(db.Enumerate("").size(), 3u);
    const auto prefixed = db.Enumerate("http://a/1");
    ASSERT_EQ(prefixed.size(), 2u);
    EXPECT_EQ(prefixed[0].url, "http://a/1#part"); // most recent first

    // The copy is keyed without the fragment and replaced by a later one;
    // it sets the last update of the URL with and without fragment.
    db.SetCachedCopy("http://a/1#part", "<p>old</p>", 400);
    db.SetCachedCopy("http://a/1", "<p>new</p>", 500);
    db.SetCachedCopy("file:///home/u/x.html", "<p>local</p>", 500);
    db.Flush();
    const CHistoryReader reader = db.Reader();
    EXPECT_EQ(reader.Copy("http://a/1"), "<p>new</p>");
    EXPECT_FALSE(reader.Copy("file:///home/u/x.html"));
    EXPECT_EQ(reader.Entry("http://a/1")->lastUpdate, 500);
    EXPECT_EQ(reader.Entry("http://a/1#part")->lastUpdate, 500);
    EXPECT_EQ(reader.Entry("http://a/2")->lastUpdate, 200);
    // A later visit keeps the copy's time.
    db.AddVisit("http://a/1", "One", 600);
    EXPECT_EQ(Find(db, "http://a/1")->lastUpdate, 500);
    if (db.HasIndex()) {
        // The index knows the replacing copy only, under both entries.
        auto inCopies = [&](const std::string& text) {
            std::set<std::string> urls;
            EXPECT_TRUE(reader.ForEachMatch({}, text, true, [&](SHistoryMatch&& m) {
                urls.insert(m.entry.url);
                return true;
            }));
            return urls;
        };
        EXPECT_EQ(inCopies("new"), (std::set<std::string>{"http://a/1", "http://a/1#part"}));
        EXPECT_TRUE(inCopies("old").empty());
    }

    struct stat st {};
    ASSERT_EQ(::stat(dir.file("history.db").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(HistoryDb, KeepsCopiesWithinTheBudgetDroppingTheOldest)
{
    testenv::TempDir dir;
    // Letters that hardly compress: each copy takes about 2.4 KB.
    auto page = [](int seed) {
        std::string text;
        unsigned x = 2463534242u + seed;
        for (int i = 0; i < 4000; ++i) {
            x ^= x << 13, x ^= x >> 17, x ^= x << 5;
            text += char('a' + x % 26);
        }
        return text;
    };
    CHistoryDb db(dir.file("history.db"), 5000);
    for (int i = 0; i < 5; ++i) {
        const std::string url = "http://b/" + std::to_string(i);
        db.AddVisit(url, "", 10 + i);
        db.SetCachedCopy(url, page(i), 100 + i);
    }
    db.Flush();
    const CHistoryReader reader = db.Reader();
    EXPECT_FALSE(reader.Copy("http://b/0"));
    EXPECT_FALSE(reader.Copy("http://b/2"));
    EXPECT_EQ(reader.Copy("http://b/3"), page(3));
    EXPECT_EQ(reader.Copy("http://b/4"), page(4));
    EXPECT_EQ(reader.Entry("http://b/0")->lastUpdate, 10); // back to the visit
    EXPECT_EQ(reader.Entry("http://b/4")->lastUpdate, 104);
}

TEST(HistoryDb, ClearingLeavesNoPageOnDisk)
{
    testenv::TempDir dir;
    CHistoryDb db(dir.file("history.db"));
    db.AddVisit("http://secret.example/page", "Secret title", 100);
    db.SetCachedCopy("http://secret.example/page", "<p>confidential words</p>", 100);
    db.Flush();
    ASSERT_EQ(db.Enumerate("").size(), 1u);

    db.DropCopies();
    db.Flush();
    EXPECT_FALSE(db.Reader().Copy("http://secret.example/page"));
    EXPECT_EQ(db.Enumerate("").size(), 1u);

    db.SetCachedCopy("http://secret.example/page", "<p>confidential words</p>", 200);
    // A read after the clear waits for it, however many writes came first;
    // a copy of a page visited before the clear arrives too late to be kept.
    for (int i = 0; i < 2000; ++i)
        db.AddVisit("http://queued.example/" + std::to_string(i), "", 300);
    db.Clear();
    EXPECT_TRUE(db.Enumerate("").empty());
    db.SetCachedCopy("http://queued.example/1", "<p>late words</p>", 400);
    db.Flush();
    EXPECT_TRUE(db.Enumerate("").empty());
    const std::string bytes = FileBytes(dir);
    for (const char* text : {"secret.example", "Secret title", "confidential", "queued.example", "late words"})
        EXPECT_EQ(bytes.find(text), std::string::npos) << text;
}

TEST(HistoryDb, AHeldCheckBeginsWhenAskedOrAtTheFirstWriteAndAnExitDoesNotWaitForIt)
{
    enum EStart { kAsked, kWrite, kExit };
    for (const EStart start : {kAsked, kWrite, kExit}) {
        testenv::TempDir dir;
        const std::string path = dir.file("history.db");
        MakeHistory(path, 300);
        testenv::DamageSqlitePages(path);
        {
            CHistoryDb db(path, kCopyBudgetBytes, {}, true);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            EXPECT_TRUE(SetAside(dir).empty()) << start;
            if (start == kExit)
                continue;
            if (start == kAsked)
                db.StartCheck();
            else
                db.AddVisit("http://c/", "C", 1);
            EXPECT_EQ(db.OpenMessage(), "履歴ファイルが壊れているため別名で残し、新しく作りました: " + path) << start;
        }
        EXPECT_EQ(SetAside(dir).size(), start == kExit ? 0u : 1u) << start;
    }
}

TEST(HistoryDb, BadFilesAreSetAsideOrUsedReadOnly)
{
    testenv::TempDir dir;
    const std::string path = dir.file("history.db");
    // Not a database at all; then a sound header over damaged pages.
    for (const bool header : {false, true}) {
        if (header) {
            QFile::remove(QString::fromStdString(SetAside(dir)[0]));
            QFile::remove(QString::fromStdString(path));
            MakeHistory(path, 300);
            testenv::DamageSqlitePages(path);
        } else {
            testenv::WriteFile(path, std::string(5000, 'x'));
        }
        const std::string bad = testenv::ReadFile(path);
        {
            CHistoryDb db(path);
            EXPECT_EQ(db.OpenMessage(), "履歴ファイルが壊れているため別名で残し、新しく作りました: " + path);
            db.AddVisit("http://c/", "C", 1);
            EXPECT_TRUE(Find(db, "http://c/"));
            EXPECT_EQ(db.Enumerate("").size(), 1u);
        }
        const std::vector<std::string> aside = SetAside(dir);
        ASSERT_EQ(aside.size(), 1u);
        EXPECT_EQ(testenv::ReadFile(aside[0]), bad);
    }

    {
        QSqlDatabase sql = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("newer"));
        sql.setDatabaseName(QString::fromStdString(path));
        ASSERT_TRUE(sql.open());
        QSqlQuery(sql).exec(QStringLiteral("PRAGMA user_version=99"));
        sql.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("newer"));
    CHistoryDb newer(path);
    EXPECT_NE(newer.OpenMessage(), "");
    newer.AddVisit("http://d/", "D", 2);
    EXPECT_FALSE(Find(newer, "http://d/"));
    EXPECT_TRUE(Find(newer, "http://c/"));
}

TEST(HistoryDb, DamageMetByAWriteOrAReadSetsTheFileAsideAndTheVisitsGoOn)
{
    // Larger than what SQLite keeps of it in memory.
    constexpr int kVisits = 3000;
    for (const bool byRead : {false, true}) {
        testenv::TempDir dir;
        const std::string path = dir.file("history.db");
        MakeHistory(path, kVisits);
        std::vector<std::string> messages;
        std::mutex mutex;
        auto told = [&] {
            std::lock_guard lock(mutex);
            return messages;
        };
        CHistoryDb db(path, kCopyBudgetBytes, [&](const std::string& message) {
            std::lock_guard lock(mutex);
            messages.push_back(message);
        });
        ASSERT_EQ(db.OpenMessage(), "");
        // The disk fails under the open file.
        testenv::DamageSqlitePages(path);
        if (byRead) {
            int read = 0;
            db.Reader().ForEach({}, [&](SHistoryEntry&&) { return ++read, true; });
            EXPECT_LT(read, kVisits);
            db.Flush(); // the read alone, before any write
            EXPECT_EQ(told().size(), 1u);
        }
        // Visits until the damage is met; the one that met it is kept too.
        int n = kVisits;
        while (told().empty() && n < kVisits + 1000) {
            db.AddVisit(SpreadUrl(n++), "Later", 9000);
            db.Flush();
        }
        ASSERT_EQ(told(), std::vector<std::string>{"履歴ファイルが壊れているため別名で残し、新しく作りました: " + path})
            << byRead;
        if (n > kVisits) {
            EXPECT_TRUE(Find(db, SpreadUrl(n - 1))) << byRead;
        }
        db.AddVisit("http://after.example/", "After", 9001);
        EXPECT_TRUE(Find(db, "http://after.example/")) << byRead;
        EXPECT_FALSE(Find(db, SpreadUrl(0))) << byRead;
        EXPECT_EQ(SetAside(dir).size(), 1u) << byRead;
    }
}

TEST(HistoryDb, JournalFilesArePrivateWhateverTheFileWasBefore)
{
    testenv::TempDir dir;
    const std::string path = dir.file("history.db");
    // A file made by another program, and a shared-memory file left by it.
    MakeHistory(path, 10);
    testenv::WriteFile(path + "-shm", "");
    for (const std::string& file : {path, path + "-shm"})
        ASSERT_EQ(::chmod(file.c_str(), 0644), 0);
    CHistoryDb db(path);
    db.AddVisit("http://private.example/", "Private", 1);
    db.Flush();
    const CHistoryReader reader = db.Reader();
    ASSERT_TRUE(reader.Entry("http://private.example/"));
    for (const std::string& file : {path, path + "-wal", path + "-shm"}) {
        struct stat st {};
        ASSERT_EQ(::stat(file.c_str(), &st), 0) << file;
        EXPECT_EQ(st.st_mode & 0777, 0600u) << file;
    }
}

TEST(HistoryDb, DecodesCopiesAsTheSearchChoosesTheirEncoding)
{
    const std::string nihongo = "日本語";
    const struct {
        std::string bytes;
        std::optional<std::string> text;
    } cases[] = {
        {"<p>" + nihongo + "</p>", "<p>" + nihongo + "</p>"},
        {"\x93\xFA\x96\x7B\x8C\xEA", nihongo},                         // Shift-JIS
        {"\xC6\xFC\xCB\xDC\xB8\xEC", nihongo},                         // EUC-JP
        {"a\x1B$BF|K\\8l\x1B(B", "a" + nihongo},                        // JIS
        {std::string("\xFF\xFE\xE5\x65\x2C\x67\x9E\x8A", 8), nihongo}, // UTF-16 with its mark
        {std::string("<\0p\0>\0", 6), "<p>"},                          // UTF-16 without
        {"x", std::nullopt},                                            // under 2 bytes
        {std::string("ab\0\x01\x02" "cd", 7), std::nullopt},             // binary
        {"\x93\xFA\x96\x7B\xFF\xFF", std::nullopt},                     // Shift-JIS, then no text
        // The edges of each rule.
        {"ab", "ab"},                                                   // 2 bytes: text
        {std::string("a\0b\0", 4), "ab"},                               // 4 bytes may be UTF-16
        {std::string("\xFE\xFF\x65\xE5", 4), "日"},                     // big-endian mark
        {std::string("\0a\0b", 4), "ab"},                               // big-endian without
        {"\xE6\x97\xA5", "日"},                                         // UTF-8 first, though a Shift-JIS pair
        {"\x81\x40", "\u3000"},                                         // the first lead and trail
        {"\x9F\xFC", "滌"},                                             // the last lead and trail
        {"\xE0\x40", "漾"},                                             // the first of the upper leads
        {"\x81\x80", "÷"},                                              // the trail after 0x7F
        {"\xEF\xA1", std::nullopt},                                     // the last upper lead: no character, not EUC-JP
        {"\xF0\xA1", "陝"},                                             // past the Shift-JIS leads: EUC-JP
        {"\xA1\xA1\xB0\xA1", "\u3000亜"},                               // EUC-JP's first byte pair
        {"a\x1B(B", "a"},                                               // JIS by "ESC ("
        {"a\x1BK", "a\x1BK"},                                           // ESC alone is no sign
        {"\xA0 ", std::nullopt},                                         // no rule: not text
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecodeCopy(c.bytes), c.text) << c.bytes;
}

TEST(HistoryDb, NamesHostsAndTitles)
{
    EXPECT_EQ(HistoryHost("http://Example.COM:8080/a"), "example.com");
    EXPECT_EQ(HistoryHost("file:///home/u/a.html"), "");
    EXPECT_EQ(CopyKey("http://a/b?x#frag"), "http://a/b?x");
    EXPECT_EQ(StoredTitle("http://127.0.0.1:8771/a.html", "127.0.0.1:8771/a.html"), "");
    EXPECT_EQ(StoredTitle("http://a/", "http://a/"), "");
    EXPECT_EQ(StoredTitle("http://a/", "Title"), "Title");
}
