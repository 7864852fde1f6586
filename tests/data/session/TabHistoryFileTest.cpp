#include "data/session/OpenTabsLog.h"
#include "data/session/TabHistoryFile.h"

#include "TestEnv.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace nimbra;

namespace {

const UrlList kList{"http://b/", "http://x/"};

STabHistory ThreePagesOnB()
{
    return {{{"http://a/", "a", ""}, {"http://b/", "b", std::string("\0\1\2", 3)}, {"http://c/", "c", ""}}, 1};
}

// A side file for kList around `body`, with a sound checksum.
std::string SideFile(const std::string& body)
{
    return CTabHistoryFile::WithHeader(kList, body);
}

const std::string kGoodBody = "Tab 1 3\r\nhttp://a/\ta\t\r\nhttp://b/\tb\tAAEC\r\nhttp://c/\tc\t\r\nTab 0 0\r\n";

} // namespace

TEST(TabHistoryFile, ReadsItsOwnFileAndFallsBackToTheUrlsOnAnythingElse)
{
    ASSERT_EQ(CTabHistoryFile::Format(kList, {ThreePagesOnB()}), SideFile(kGoodBody));
    const std::vector<STabHistory> good = CTabHistoryFile::Parse(SideFile(kGoodBody), kList);
    ASSERT_EQ(good.size(), 2u);
    EXPECT_EQ(good[0], ThreePagesOnB());
    EXPECT_TRUE(good[1].Empty());

    std::string flipped = SideFile(kGoodBody);
    flipped[flipped.find("http://c/") + 7] ^= 1;
    const std::string big(CTabHistoryFile::kMaxTabBytes, 'x');
    std::string fiftyOne = "Tab 0 51\r\n";
    for (int i = 0; i < 51; ++i)
        fiftyOne += "http://b/\tb\t\r\n";
    const struct {
        const char* name;
        std::string text;
        UrlList list;
    } cases[] = {
        {"empty", "", kList},
        {"another list", SideFile(kGoodBody), {"http://b/", "http://y/"}},
        {"a longer list", SideFile(kGoodBody), {"http://b/", "http://x/", "http://z/"}},
        {"another layout", "NimbraTabHistory 2" + SideFile(kGoodBody).substr(18), kList},
        {"damaged", flipped, kList},
        {"cut short", SideFile(kGoodBody).substr(0, SideFile(kGoodBody).size() - 10), kList},
        {"current beyond the pages", SideFile("Tab 3 3\r\nhttp://a/\ta\t\r\nhttp://b/\tb\t\r\nhttp://c/\tc\t\r\nTab 0 0\r\n"), kList},
        {"current page not the list's", SideFile("Tab 0 3\r\nhttp://a/\ta\t\r\nhttp://b/\tb\t\r\nhttp://c/\tc\t\r\nTab 0 0\r\n"), kList},
        {"too many pages", SideFile(fiftyOne + "Tab 0 0\r\n"), kList},
        {"too many bytes", SideFile("Tab 0 1\r\nhttp://b/\t" + big + "\t\r\nTab 0 0\r\n"), kList},
        {"a page missing", SideFile("Tab 1 3\r\nhttp://a/\ta\t\r\nhttp://b/\tb\t\r\nTab 0 0\r\n"), kList},
        {"a tab missing", SideFile("Tab 0 1\r\nhttp://b/\tb\t\r\n"), kList},
        {"more after the tabs", SideFile(kGoodBody + "Tab 0 0\r\n"), kList},
        {"state not base64", SideFile("Tab 0 1\r\nhttp://b/\tb\t@@\r\nTab 0 0\r\n"), kList},
        {"no state field", SideFile("Tab 0 1\r\nhttp://b/\tb\r\nTab 0 0\r\n"), kList},
        {"empty url", SideFile("Tab 0 1\r\n\tb\t\r\nTab 0 0\r\n"), kList},
        {"signed count", SideFile("Tab 0 +1\r\nhttp://b/\tb\t\r\nTab 0 0\r\n"), kList},
        {"negative current", SideFile("Tab -1 1\r\nhttp://b/\tb\t\r\nTab 0 0\r\n"), kList},
        {"no history yet a current page", SideFile("Tab 1 0\r\nTab 0 0\r\n"), kList},
    };
    for (const auto& c : cases) {
        const std::vector<STabHistory> histories = CTabHistoryFile::Parse(c.text, c.list);
        EXPECT_EQ(histories, std::vector<STabHistory>(c.list.size())) << c.name;
    }
}

TEST(TabHistoryFile, KeepsABoundedWindowAroundTheCurrentPage)
{
    STabHistory long_;
    for (int i = 0; i < 120; ++i)
        long_.entries.push_back({"http://p/" + std::to_string(i), "title\tof\n" + std::to_string(i), ""});
    long_.current = 100;
    const STabHistory kept = CTabHistoryFile::Bounded(long_);
    ASSERT_EQ(kept.entries.size(), CTabHistoryFile::kMaxEntries);
    EXPECT_EQ(kept.Current().url, "http://p/100");
    EXPECT_EQ(kept.Current().title, "title of 100");
    EXPECT_EQ(kept.entries.back().url, "http://p/119");

    // Pages beyond the byte bound are left out from the far ends.
    STabHistory heavy{{{"http://p/0", "", std::string(CTabHistoryFile::kMaxTabBytes / 2, 's')},
                       {"http://p/1", "", ""},
                       {"http://p/2", "", std::string(CTabHistoryFile::kMaxTabBytes, 's')}},
                      1};
    EXPECT_EQ(CTabHistoryFile::Bounded(heavy).entries.size(), 2u);
    EXPECT_TRUE(CTabHistoryFile::Bounded({{{"http://p/\t", "", ""}}, 0}).Empty());
    EXPECT_TRUE(CTabHistoryFile::Bounded({{{"http://p/", "", ""}}, 1}).Empty());
}

TEST(TabHistoryFile, TheOpenTabsLogPairsHistoriesWithTheEntriesAsTheyReadBack)
{
    testenv::TempDir home;
    const std::string log = home.file("eaou.log");
    STabHistory padded = ThreePagesOnB();
    padded.entries[1].url = "http://b/ ";
    // An empty entry reads as none; a trailing blank is trimmed, so its
    // history no longer matches and is left out.
    ASSERT_TRUE(WriteOpenTabs(kHeadingOpenTabsLog, log,
                              {{"", "http://b/ ", "http://b/"}, {STabHistory(), padded, ThreePagesOnB()}}));
    const std::vector<SRestoreEntry> restored = LogEntriesToRestore(log, false, {});
    ASSERT_EQ(restored.size(), 2u);
    EXPECT_TRUE(restored[0].history.Empty());
    EXPECT_EQ(restored[1].history, ThreePagesOnB());

    // A log written again without its side file restores the URLs alone.
    ASSERT_TRUE(WriteListFile(kHeadingOpenTabsLog, log, {"http://b/"}));
    EXPECT_TRUE(LogEntriesToRestore(log, false, {})[0].history.Empty());
    // A recovery file without a side file takes the log's along.
    const std::string recovery = home.file("eaou-recovery.log");
    ASSERT_TRUE(WriteListFile(kHeadingOpenTabsLog, recovery, {"http://b/"}));
    ASSERT_TRUE(PromoteRecoveryFile(recovery, log));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(CTabHistoryFile::PathFor(log))));
}
