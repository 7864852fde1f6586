#include "data/filters/FilterEngine.h"
#include "data/filters/FilterLists.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

using namespace nimbra;

namespace {

// One request: the page it comes from, its URL and what it is for.
struct SCase {
    const char* rule;
    const char* url;
    const char* page; // the page's host
    ERequestType type;
    bool blocked;
};

std::string HostOf(std::string_view url)
{
    size_t begin = url.find("://") + 3;
    size_t end = url.find_first_of(":/?#", begin);
    return std::string(url.substr(begin, end == std::string_view::npos ? url.npos : end - begin));
}

bool Blocks(const CFilterEngine& engine, std::string_view url, std::string_view page, ERequestType type)
{
    const std::string host = HostOf(url);
    return engine.Blocks({url, host, page, type});
}

constexpr auto Img = ERequestType::Image;
constexpr auto Js = ERequestType::Script;
constexpr auto Css = ERequestType::Stylesheet;
constexpr auto Xhr = ERequestType::Xhr;
constexpr auto Frame = ERequestType::Subdocument;
constexpr auto Other = ERequestType::Other;

} // namespace

// Each rule alone against requests it should and should not take.
TEST(FilterEngine, MatchesEachRuleFormAndOption)
{
    const SCase cases[] = {
        // plain substrings ignore case
        {"/banner/1.", "http://a.com/x/BANNER/1.png", "a.com", Img, true},
        {"/banner/1.", "http://a.com/x/banners/1.png", "a.com", Img, false},
        // host anchor: the host or a label of it, not a longer name
        {"||ads.example.com^", "http://ads.example.com/x.js", "a.com", Js, true},
        {"||ads.example.com^", "https://cdn.ads.example.com/x.js", "a.com", Js, true},
        {"||ads.example.com^", "http://badads.example.com/x.js", "a.com", Js, false},
        {"||ads.example.com^", "http://ads.example.com.evil.org/x", "a.com", Js, false},
        {"||ads.example.com^", "http://ads.example.com:8080/x", "a.com", Js, true},
        {"||ads.example.com/x", "http://ads.example.com:8080/x", "a.com", Js, true},
        {"||ads.example.com:8080/x", "http://ads.example.com:8080/x", "a.com", Js, true},
        {"||ads.example.com:8080/x", "http://ads.example.com:9090/x", "a.com", Js, false},
        {"||example.com/path", "http://example.com/path/x", "a.com", Other, true},
        {"||example.com/path", "http://a.com/?u=example.com/path", "a.com", Other, false},
        // start and end anchors
        {"|http://a.com/x", "http://a.com/xyz", "a.com", Other, true},
        {"|http://a.com/x", "https://b.com/?http://a.com/x", "a.com", Other, false},
        {"swf|", "http://a.com/movie.swf", "a.com", Other, true},
        {"swf|", "http://a.com/movie.swf?x", "a.com", Other, false},
        // star and separator
        {"/ads/*.gif", "http://a.com/ads/x/y.gif", "a.com", Img, true},
        {"/ads/*.gif", "http://a.com/ads/x/y.png", "a.com", Img, false},
        {"ad^", "http://a.com/ad?x=1", "a.com", Other, true},
        {"ad^", "http://a.com/ad", "a.com", Other, true},
        {"ad^", "http://a.com/ad.png", "a.com", Other, false},
        {"||a.com^*/track", "http://a.com/x/y/track", "b.com", Other, true},
        // regular expressions
        {"/\\/ad[0-9]+\\./", "http://a.com/ad42.png", "a.com", Img, true},
        {"/\\/ad[0-9]+\\./", "http://a.com/adx.png", "a.com", Img, false},
        {"/foo$/", "http://a.com/x/foo", "a.com", Other, true},
        // types
        {"||t.com^$script", "http://t.com/a.js", "a.com", Js, true},
        {"||t.com^$script", "http://t.com/a.png", "a.com", Img, false},
        {"||t.com^$image", "http://t.com/a.png", "a.com", Img, true},
        {"||t.com^$stylesheet", "http://t.com/a.css", "a.com", Css, true},
        {"||t.com^$stylesheet", "http://t.com/a.css", "a.com", Js, false},
        {"||t.com^$xmlhttprequest", "http://t.com/api", "a.com", Xhr, true},
        {"||t.com^$subdocument", "http://t.com/f.html", "a.com", Frame, true},
        {"||t.com^$subdocument", "http://t.com/f.html", "a.com", Xhr, false},
        {"||t.com^$~image", "http://t.com/a.png", "a.com", Img, false},
        {"||t.com^$~image", "http://t.com/a.js", "a.com", Js, true},
        {"||t.com^$script,image", "http://t.com/a.png", "a.com", Img, true},
        // parties
        {"||t.com^$third-party", "http://t.com/a.js", "a.com", Js, true},
        {"||t.com^$third-party", "http://t.com/a.js", "www.t.com", Js, false},
        {"||t.com^$third-party", "http://cdn.t.co.uk/a.js", "www.t.co.uk", Js, false},
        {"||127.0.0.2^$third-party", "http://127.0.0.2:80/a.js", "127.0.0.1", Js, true},
        {"||t.com^$~third-party", "http://t.com/a.js", "t.com", Js, true},
        {"||t.com^$~third-party", "http://t.com/a.js", "a.com", Js, false},
        // domains
        {"/ad.js$domain=a.com|~b.a.com", "http://x.com/ad.js", "www.a.com", Js, true},
        {"/ad.js$domain=a.com|~b.a.com", "http://x.com/ad.js", "b.a.com", Js, false},
        {"/ad.js$domain=a.com|~b.a.com", "http://x.com/ad.js", "c.com", Js, false},
        {"/ad.js$domain=~a.com", "http://x.com/ad.js", "c.com", Js, true},
        {"/ad.js$domain=~a.com", "http://x.com/ad.js", "a.com", Js, false},
        // case
        {"/Ads/$match-case", "http://a.com/Ads/1", "a.com", Other, true},
        {"/Ads/$match-case", "http://a.com/ads/1", "a.com", Other, false},
        {"/ADS/", "http://a.com/ads/1", "a.com", Other, true},
    };
    for (const SCase& c : cases) {
        CFilterEngine engine;
        ASSERT_EQ(engine.AddLine(c.rule), EFilterLine::Network) << c.rule;
        EXPECT_EQ(Blocks(engine, c.url, c.page, c.type), c.blocked) << c.rule << " on " << c.url << " from " << c.page;
    }
}

TEST(FilterEngine, ExceptionsLetThroughWhatTheyMatch)
{
    CFilterEngine engine;
    for (const char* line : {"||127.0.0.2^$third-party", "@@||127.0.0.2/ok.js", "/ads/*$image", "@@/ads/keep$image"})
        ASSERT_EQ(engine.AddLine(line), EFilterLine::Network) << line;
    EXPECT_TRUE(Blocks(engine, "http://127.0.0.2:9/bad.js", "127.0.0.1", Js));
    EXPECT_FALSE(Blocks(engine, "http://127.0.0.2:9/ok.js", "127.0.0.1", Js));
    EXPECT_FALSE(Blocks(engine, "http://127.0.0.2:9/bad.js", "127.0.0.2", Js));
    EXPECT_TRUE(Blocks(engine, "http://127.0.0.1:9/ads/a.png", "127.0.0.1", Img));
    EXPECT_FALSE(Blocks(engine, "http://127.0.0.1:9/ads/keep.png", "127.0.0.1", Img));
    EXPECT_FALSE(Blocks(engine, "http://127.0.0.1:9/ads/a.js", "127.0.0.1", Js));
    // An exception alone blocks nothing.
    CFilterEngine onlyException;
    onlyException.AddLine("@@||a.com^");
    EXPECT_FALSE(Blocks(onlyException, "http://a.com/", "b.com", Other));
}

TEST(FilterEngine, ParsesLinesOrSkipsThem)
{
    const struct {
        const char* line;
        EFilterLine kind;
    } cases[] = {
        {"", EFilterLine::Blank},
        {"   \t", EFilterLine::Blank},
        {"! a comment", EFilterLine::Comment},
        {"[Adblock Plus 2.0]", EFilterLine::Comment},
        {"||a.com^", EFilterLine::Network},
        {"@@||a.com^$script", EFilterLine::Network},
        {"$script,third-party", EFilterLine::Network},
        {"##.banner", EFilterLine::Hiding},
        {"a.com,~b.a.com##div#ad > p", EFilterLine::Hiding},
        {"||a.com^$popup", EFilterLine::Skipped},         // unknown option
        {"||a.com^$domain=", EFilterLine::Skipped},       // empty domain
        {"||a.com^$script,~script", EFilterLine::Skipped}, // no type left
        {"/a[/", EFilterLine::Skipped},                   // bad regular expression
        {"a.com#@#.banner", EFilterLine::Skipped},
        {"a.com#?#div:has(.x)", EFilterLine::Skipped},
        {"a.com##+js(noop)", EFilterLine::Skipped},
        {"##.a { color: red }", EFilterLine::Skipped},
        {"##", EFilterLine::Skipped},
        {"a b", EFilterLine::Skipped},
        {"@@", EFilterLine::Skipped},
        {"||", EFilterLine::Skipped},
    };
    for (const auto& c : cases) {
        CFilterEngine engine;
        EXPECT_EQ(engine.AddLine(c.line), c.kind) << '"' << c.line << '"';
    }
}

TEST(FilterEngine, HidingStyleSheetHoldsTheRulesOfTheHost)
{
    CFilterEngine engine;
    for (const char* line : {"##.everywhere", "127.0.0.1##.banner", "a.com,~b.a.com##.ad", "~a.com##.notA"})
        ASSERT_EQ(engine.AddLine(line), EFilterLine::Hiding) << line;
    const std::string local = engine.HidingStyleSheet("127.0.0.1");
    EXPECT_NE(local.find(".banner { display: none !important; }"), std::string::npos) << local;
    EXPECT_NE(local.find(".everywhere"), std::string::npos);
    EXPECT_EQ(local.find(".ad "), std::string::npos);
    EXPECT_NE(engine.HidingStyleSheet("x.a.com").find(".ad "), std::string::npos);
    EXPECT_EQ(engine.HidingStyleSheet("b.a.com").find(".ad "), std::string::npos);
    EXPECT_EQ(engine.HidingStyleSheet("a.com").find(".notA"), std::string::npos);
    EXPECT_NE(engine.HidingStyleSheet("c.com").find(".notA"), std::string::npos);
}

TEST(FilterLists, LoadsEnabledListsAndCountsTheirLines)
{
    testenv::TempDir dir;
    const std::string first = dir.file("first.txt");
    testenv::WriteFile(first, "\xEF\xBB\xBF[Adblock Plus 2.0]\r\n! comment\r\n||a.com^\r\n\r\n##.x\r\n||b.com^$popup\r\nx#@#y");
    const std::string off = dir.file("off.txt");
    testenv::WriteFile(off, "||off.com^\n");
    const std::string ini = dir.file("filters.ini");
    const std::vector<SFilterList> lists = {{first, true}, {off, false}, {dir.file("missing.txt"), true}};
    ASSERT_TRUE(WriteFilterListsFile(ini, lists));
    const std::vector<SFilterList> read = ReadFilterListsFile(ini);
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read[1].path, off);
    EXPECT_FALSE(read[1].enabled);

    const SFilterLoad load = LoadFilterLists(read);
    ASSERT_TRUE(load.engine);
    ASSERT_EQ(load.counts.size(), 3u);
    EXPECT_EQ(load.counts[0].rules, 2u);
    EXPECT_EQ(load.counts[0].skipped, 2u);
    EXPECT_EQ(load.counts[2].error, EInputFileError::Missing);
    EXPECT_TRUE(Blocks(*load.engine, "http://a.com/", "c.com", Other));
    EXPECT_FALSE(Blocks(*load.engine, "http://off.com/", "c.com", Other));

    // Fewer lists leave no stale keys behind.
    ASSERT_TRUE(WriteFilterListsFile(ini, {{off, true}}));
    EXPECT_EQ(testenv::ReadFile(ini).find("Path1"), std::string::npos);
    EXPECT_FALSE(LoadFilterLists({{off, false}}).engine);
}

// Regular expressions are tried only for URLs that hold a text each needs;
// the answers stay those of trying every rule.
TEST(FilterEngine, RegularExpressionsAnswerAsWithoutTheIndex)
{
    const struct {
        const char* rule;
        const char* url;
        bool blocked;
    } cases[] = {
        {"/\\/banner[0-9]{2,3}\\.gif/", "http://a.com/x/banner123.gif", true},
        {"/\\/banner[0-9]{2,3}\\.gif/", "http://a.com/x/banner1.gif", false},
        {"/ads?\\/x/", "http://a.com/ad/x", true},
        {"/(tracker)?pixel\\.png/", "http://a.com/pixel.png", true},
        {"/a{2}b/", "http://a.com/aab", true},
        {"/ab|cd/", "http://a.com/cd", true},
        {"/\\x41BC/", "http://a.com/abc", true},
        {"/(?i)XYZ/$match-case", "http://a.com/xyz", true},
        {"/Ab/$match-case", "http://a.com/ab", false},
    };
    for (const auto& c : cases) {
        CFilterEngine engine;
        ASSERT_EQ(engine.AddLine(c.rule), EFilterLine::Network) << c.rule;
        const std::string host = HostOf(c.url);
        const SRequest request{c.url, host, "a.com", Other};
        EXPECT_EQ(engine.Blocks(request), c.blocked) << c.rule << " on " << c.url;
        EXPECT_EQ(engine.BlocksByScan(request), c.blocked) << c.rule << " on " << c.url;
    }
}
