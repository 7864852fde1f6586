#include "platform/Wildcard.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using namespace nimbra;

namespace {

// Plain recursive definition, for comparison on short inputs.
bool Reference(std::string_view p, std::string_view t)
{
    if (p.empty())
        return t.empty();
    if (p[0] == '*')
        return Reference(p.substr(1), t) || (!t.empty() && Reference(p, t.substr(1)));
    return !t.empty() && p[0] == t[0] && Reference(p.substr(1), t.substr(1));
}

} // namespace

TEST(Wildcard, MatchesWholeTextCaseSensitively)
{
    EXPECT_TRUE(MatchWildcard("*ads*", "http://example.com/ads/banner.gif"));
    EXPECT_FALSE(MatchWildcard("*ads*", "http://example.com/ADS/banner.gif"));
    EXPECT_TRUE(MatchWildcard("http://a/", "http://a/"));
    EXPECT_FALSE(MatchWildcard("http://a/", "http://a"));
    EXPECT_FALSE(MatchWildcard("http://a", "http://a/"));
    EXPECT_TRUE(MatchWildcard("*", ""));
    EXPECT_TRUE(MatchWildcard("*", "anything at all"));
    EXPECT_TRUE(MatchWildcard("", ""));
    EXPECT_FALSE(MatchWildcard("", "x"));
    EXPECT_TRUE(MatchWildcard("about:blank*", "about:blank"));
    EXPECT_TRUE(MatchWildcard("about:blank*", "about:blank#top"));
    EXPECT_FALSE(MatchWildcard("about:blank*", "xabout:blank"));
    EXPECT_TRUE(MatchWildcard("\\\\*", "\\\\server\\share"));
    EXPECT_TRUE(MatchWildcard("*広告*", "これは広告です"));
    EXPECT_TRUE(MatchWildcard("a*b*c", "aXbYbZc"));
    EXPECT_FALSE(MatchWildcard("a*b*c", "aXbYbZ"));
    EXPECT_TRUE(MatchWildcard("?", "?"));
    EXPECT_FALSE(MatchWildcard("?", "x")) << "no single-character wildcard";
}

TEST(Wildcard, AgreesWithTheDefinition)
{
    std::mt19937 rng(11);
    auto randomText = [&](const char* alphabet, int max) {
        std::string s(rng() % (max + 1), ' ');
        for (char& c : s)
            c = alphabet[rng() % std::char_traits<char>::length(alphabet)];
        return s;
    };
    for (int round = 0; round < 20000; ++round) {
        const std::string pattern = randomText("ab*", 7);
        const std::string text = randomText("ab", 9);
        ASSERT_EQ(MatchWildcard(pattern, text), Reference(pattern, text)) << pattern << " / " << text;
    }
}

TEST(Wildcard, ManyStarsStayFast)
{
    const std::string text(20000, 'a');
    std::string pattern;
    for (int i = 0; i < 200; ++i)
        pattern += "*a";
    const testenv::CpuTimer cpu;
    EXPECT_FALSE(MatchWildcard(pattern + "b", text));
    EXPECT_TRUE(MatchWildcard(pattern, text));
    EXPECT_LT(cpu.elapsed(), 2000);
}
