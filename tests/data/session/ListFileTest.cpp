#include "data/session/BlockedLists.h"
#include "data/session/ListFile.h"
#include "data/session/OpenTabsLog.h"

#include "TestEnv.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace nimbra;

TEST(ListFile, WritesTheLayoutAndReadsItBack)
{
    testenv::TempDir home;
    const std::string path = home.file("tabs.nbl");
    const UrlList urls{"http://a/", "http://b/?x=<1>&y=2", "http://c/"};
    ASSERT_TRUE(WriteListFile(kHeadingUrlList, path, urls));
    EXPECT_EQ(testenv::ReadFile(path),
              "<HTML>\r\n<H1>UrlList</H1>\r\n<H2>URL</H2>\r\n<UL>\r\n"
              "\t<LI>http://a/\r\n\t<LI>http://b/?x=<1>&y=2\r\n\t<LI>http://c/\r\n</UL>\r\n</HTML>\r\n");
    UrlList read;
    ReadListFile(path, read);
    EXPECT_EQ(read, urls);
}

TEST(ListFile, ReadsOnlyUpperCaseEntriesWithText)
{
    testenv::TempDir home;
    const std::string path = home.file("hand.html");
    testenv::WriteFile(path, "<ul>\n   <LI>http://blank/   \n<li>http://lower/\n<LI>\n\t<LI>  \n<LI>last");
    UrlList read{"kept"};
    ReadListFile(path, read);
    EXPECT_EQ(read, (UrlList{"kept", "http://blank/", "last"}));

    UrlList none;
    ReadListFile(home.file("missing.html"), none);
    ASSERT_EQ(::mkfifo(home.file("fifo.nbl").c_str(), 0600), 0);
    ReadListFile(home.file("fifo.nbl"), none); // refused at once, never waits for a writer
    EXPECT_TRUE(none.empty());
}

TEST(ListFile, ReadsShiftJisLinesOfTheWindowsVersion)
{
    testenv::TempDir home;
    const std::string path = home.file("old.html");
    // 日本 in CP932; then half-width katakana (one byte in CP932, three in
    // UTF-8) and a kanji among the first four cells.
    testenv::WriteFile(path, "\t<LI>\x93\xfa\x96\x7b\r\n<UL\xa1<LI>a\xb8\n\x93\xfa\x96\x7b<LI>b\xb8\n");
    UrlList read;
    ReadListFile(path, read);
    EXPECT_EQ(read, (UrlList{"日本", "<LI>aｸ", "<LI>bｸ"}));
}

TEST(ListFile, TellsAnUnreadableFileFromAMissingOneAndWritesEntriesOnOneLine)
{
    testenv::ScopedHome home;
    UrlList read;
    EXPECT_TRUE(ReadListFile(home.file("missing.nbl"), read));
    EXPECT_FALSE(ReadListFile(home.path().toStdString(), read)); // a folder
    EXPECT_TRUE(read.empty());

    const std::string path = home.file("dropped.nbl");
    ASSERT_TRUE(WriteListFile(kHeadingUrlList, path, {"/tmp/a\nb", "two\r\nlines", "c"}));
    ASSERT_TRUE(ReadListFile(path, read));
    EXPECT_EQ(read, (UrlList{"/tmp/a b", "two  lines", "c"}));
}

TEST(ListFile, AFailedWriteKeepsTheOldFile)
{
    testenv::TempDir home;
    testenv::WriteFile(home.file("plain"), "x");
    EXPECT_FALSE(WriteListFile(kHeadingUrlList, home.file("plain") + "/sub.nbl", {"a"}));
    EXPECT_EQ(testenv::ReadFile(home.file("plain")), "x");
}

TEST(OpenTabsLog, RepeatsAndStartupEntries)
{
    testenv::TempDir home;
    const std::string log = home.file("eaou.log");
    const std::string startup = home.file("startup.html");
    WriteListFile(kHeadingOpenTabsLog, log, {"A", "B", "A", "a", "S"});
    WriteListFile(kHeadingStartup, startup, {"S"});

    const auto urls = [](const std::vector<SRestoreEntry>& entries) {
        UrlList list;
        for (const SRestoreEntry& entry : entries)
            list.push_back(entry.url);
        return list;
    };
    EXPECT_EQ(urls(LogEntriesToRestore(log, true, {})), (UrlList{"A", "B", "a", "S"}));
    EXPECT_EQ(urls(LogEntriesToRestore(log, false, {})), (UrlList{"A", "B", "A", "a", "S"}));
    EXPECT_EQ(urls(LogEntriesToRestore(log, true, startup)), (UrlList{"A", "B", "a"}));
}

TEST(BlockedLists, UrlPatterns)
{
    testenv::TempDir home;
    WriteListFile(kHeadingCloseUrl, home.file("close.html"), {"*/ads/*", "http://exact/"});
    CBlockedLists lists;
    lists.Load(home.file("close.html"), home.file("closetitle.html"));

    // Switched off: nothing is blocked.
    EXPECT_EQ(lists.IsUrlAllowed("http://x/ads/1.gif", 0), "http://x/ads/1.gif");

    CBlockedLists::Switches on;
    on.CloseUrl = 1;
    lists.SetSwitches(on);
    EXPECT_TRUE(lists.IsUrlAllowed("http://x/ads/1.gif", 0).empty());
    EXPECT_FALSE(lists.IsUrlAllowed("http://x/ADS/1.gif", 0).empty());
    EXPECT_TRUE(lists.IsUrlAllowed("http://exact/", 0).empty());
    EXPECT_FALSE(lists.IsUrlAllowed("http://exact", 0).empty());
}

TEST(BlockedLists, HomeAndBlankTexts)
{
    testenv::TempDir home;
    WriteListFile(kHeadingCloseUrl, home.file("close.html"), {"Home", "about:blank"});
    CBlockedLists lists;
    lists.Load(home.file("close.html"), home.file("closetitle.html"));
    CBlockedLists::Switches s;
    s.CloseUrl = 1;
    lists.SetSwitches(s);
    EXPECT_TRUE(lists.IsUrlAllowed("http://any/", 1).empty()); // the word "Home"
    EXPECT_TRUE(lists.IsUrlAllowed("", 0).empty());            // empty = about:blank
    s.MyHome = 1;
    s.MyHomeUrl = "http://home/";
    lists.SetSwitches(s);
    EXPECT_FALSE(lists.IsUrlAllowed("", 1).empty());
    s.NewBlank = 1;
    lists.SetSwitches(s);
    EXPECT_FALSE(lists.IsUrlAllowed("", 0).empty());
}

TEST(BlockedLists, TitlesOnlyWhenSwitchedOn)
{
    testenv::TempDir home;
    WriteListFile(kHeadingCloseTitle, home.file("closetitle.html"), {"*"});
    CBlockedLists lists;
    lists.Load(home.file("close.html"), home.file("closetitle.html"));
    EXPECT_FALSE(lists.IsTitleBlocked("Loading.."));
    CBlockedLists::Switches s;
    s.CloseTitle = 1;
    lists.SetSwitches(s);
    EXPECT_TRUE(lists.IsTitleBlocked("Loading.."));
    EXPECT_TRUE(lists.IsTitleBlocked(""));
}
