#include "platform/Shortcut.h"

#include "support/ShellLinkBuilder.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

using namespace nimbra;
using namespace testenv::shelllink;
using testenv::ReadFile;
using testenv::TempDir;
using testenv::WriteFile;

namespace {

std::optional<std::string> ReadLink(const TempDir& home, const std::string& bytes)
{
    const std::string path = home.file("t.lnk");
    WriteFile(path, bytes);
    return ReadShellLinkTarget(path);
}

} // namespace

TEST(Shortcut, InternetShortcutRoundTrip)
{
    TempDir home;
    const std::string path = home.file("page.url");
    ASSERT_TRUE(WriteInternetShortcut(path, "http://example.com/a?b=c"));
    EXPECT_EQ(ReadFile(path), "[InternetShortcut]\r\nURL=http://example.com/a?b=c\r\n");
    EXPECT_EQ(InternetShortcutText("http://example.com/a?b=c"), ReadFile(path));
    EXPECT_EQ(ReadInternetShortcut(path), "http://example.com/a?b=c");

    WriteFile(path, "[DEFAULT]\nBASEURL=x\n[internetshortcut]\nurl=http://ie.example/\nIconIndex=0\n");
    EXPECT_EQ(ReadInternetShortcut(path), "http://ie.example/");
    WriteFile(path, "[InternetShortcut]\nIconIndex=0\n");
    EXPECT_FALSE(ReadInternetShortcut(path).has_value());
    EXPECT_FALSE(ReadInternetShortcut(home.file("none.url")).has_value());
    EXPECT_FALSE(WriteInternetShortcut(home.file("no/such/dir.url"), "http://x/"));
}

TEST(Shortcut, ReadsLocalBasePathOfShellLinks)
{
    TempDir home;
    LinkLayout link;
    link.base = "C:\\Users\\taro\\doc.txt";
    EXPECT_EQ(ReadLink(home, BuildLink(link)), "C:/Users/taro/doc.txt");

    link.flags = kHasLinkInfo; // without an ID list
    link.base = "D:\\dir\\";
    link.suffix = "file.txt";
    EXPECT_EQ(ReadLink(home, BuildLink(link)), "D:/dir/file.txt");

    // ANSI strings are CP932: the 0x5C trail byte of 表 is not a separator.
    link.base = "C:\\\x95\x5C\\\x93\xFA\x96\x7B.txt";
    link.suffix.clear();
    EXPECT_EQ(ReadLink(home, BuildLink(link)), "C:/表/日本.txt");

    link.base = "C:\\??.txt";
    link.unicodeBase = u"C:\\データ\\メモ.txt";
    EXPECT_EQ(ReadLink(home, BuildLink(link)), "C:/データ/メモ.txt");
}

TEST(Shortcut, RejectsLinksWithoutLocalTarget)
{
    TempDir home;
    LinkLayout link;
    link.base = "C:\\a.txt";
    const std::string good = BuildLink(link);
    ASSERT_TRUE(ReadLink(home, good).has_value());

    EXPECT_FALSE(ReadShellLinkTarget(home.file("missing.lnk")).has_value());
    EXPECT_FALSE(ReadLink(home, "").has_value());

    LinkLayout noInfo = link;
    noInfo.flags = kHasIdList;
    EXPECT_FALSE(ReadLink(home, BuildLink(noInfo)).has_value());
    noInfo.flags = kHasIdList | kHasLinkInfo | kForceNoLinkInfo;
    EXPECT_FALSE(ReadLink(home, BuildLink(noInfo)).has_value());
    LinkLayout network = link;
    network.infoFlags = 2;
    EXPECT_FALSE(ReadLink(home, BuildLink(network)).has_value());
    LinkLayout empty = link;
    empty.base.clear();
    EXPECT_FALSE(ReadLink(home, BuildLink(empty)).has_value());

    std::string badClsid = good;
    badClsid[5] ^= 1;
    EXPECT_FALSE(ReadLink(home, badClsid).has_value());
    std::string bigIdList = good;
    bigIdList[0x4C] = char(0xFF);
    bigIdList[0x4D] = char(0xFF);
    EXPECT_FALSE(ReadLink(home, bigIdList).has_value());

    for (size_t length = 0; length < good.size(); ++length)
        EXPECT_FALSE(ReadLink(home, good.substr(0, length)).has_value()) << "cut at " << length;
}

TEST(Shortcut, MutatedLinksNeverCrash)
{
    TempDir home;
    const LinkLayout link{.base = "C:\\x\\y.txt", .suffix = "z", .unicodeBase = u"C:\\x\\y.txt"};
    const std::string good = BuildLink(link);
    std::mt19937 rng(1234);
    for (int round = 0; round < 3000; ++round) {
        std::string bytes = good;
        const int edits = 1 + int(rng() % 4);
        for (int i = 0; i < edits; ++i)
            bytes[rng() % bytes.size()] = char(rng());
        if (rng() % 4 == 0)
            bytes.resize(rng() % bytes.size());
        const auto target = ReadLink(home, bytes);
        EXPECT_TRUE(!target || !target->empty());
    }
}
