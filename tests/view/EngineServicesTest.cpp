#include "view/EngineServices.h"

#include <gtest/gtest.h>

using namespace nimbra;

TEST(EngineServices, ZonesAreComputedFromTheAddress)
{
    EXPECT_EQ(UrlZone("file:///home/u/a.html"), URLZONE_LOCAL_MACHINE);
    EXPECT_EQ(UrlZone("/home/u/a.html"), URLZONE_LOCAL_MACHINE);
    EXPECT_EQ(UrlZone("http://127.0.0.1:8080/x"), URLZONE_INTRANET);
    EXPECT_EQ(UrlZone("http://localhost/"), URLZONE_INTRANET);
    EXPECT_EQ(UrlZone("http://intranet/"), URLZONE_INTRANET);
    EXPECT_EQ(UrlZone("http://192.168.1.20/"), URLZONE_INTRANET);
    EXPECT_EQ(UrlZone("http://172.20.0.1/"), URLZONE_INTRANET);
    EXPECT_EQ(UrlZone("http://172.32.0.1/"), URLZONE_INTERNET);
    EXPECT_EQ(UrlZone("https://www.example.org/"), URLZONE_INTERNET);
    EXPECT_EQ(UrlZone("about:blank"), URLZONE_INTERNET);
}

TEST(EngineServices, HistoryCountsVisitsAndKeepsCachedCopies)
{
    CMemoryUrlHistory history;
    history.AddVisit("http://a/1", "One", 100);
    history.AddVisit("http://a/2", "Two", 200);
    history.AddVisit("http://a/1", "", 300);
    history.AddVisit("http://b/", "B", 50);
    const auto entries = history.Enumerate("http://a/");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].url, "http://a/1");
    EXPECT_EQ(entries[0].title, "One"); // an empty title keeps the old one
    EXPECT_EQ(entries[0].visitCount, 2);
    EXPECT_EQ(history.Enumerate("").size(), 3u);

    EXPECT_FALSE(history.CachedCopy("http://a/1").has_value());
    history.SetCachedCopy("http://a/1", "<p>x</p>");
    EXPECT_EQ(history.CachedCopy("http://a/1"), "<p>x</p>");
    history.Clear();
    EXPECT_TRUE(history.Enumerate("").empty());
}
