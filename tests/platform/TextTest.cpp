#include "platform/Text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

using namespace nimbra;

TEST(Text, WidthsFollowShiftJis)
{
    EXPECT_EQ(TextWidth(""), 0);
    EXPECT_EQ(TextWidth("abc~\x7F"), 5);
    EXPECT_EQ(TextWidth("ｱｲｳ"), 3);           // half-width katakana U+FF71..
    EXPECT_EQ(TextWidth("｡ﾟ"), 2);             // U+FF61 and U+FF9F, the range ends
    EXPECT_EQ(TextWidth("日本語"), 6);
    EXPECT_EQ(TextWidth("é€😀"), 6);            // everything else is 2, whatever its length in bytes
    EXPECT_EQ(TextWidth("\xFF\x80\xE3\x81"), 4); // stray bytes count 1 each
}

TEST(Text, CutNeverSplitsACharacter)
{
    bool straddled = true;
    EXPECT_EQ(CutText("ab日", 3, &straddled), "ab");
    EXPECT_TRUE(straddled);
    EXPECT_EQ(CutText("ab日", 4, &straddled), "ab日");
    EXPECT_FALSE(straddled);
    EXPECT_EQ(CutText("日本", 3, &straddled), "日");
    EXPECT_TRUE(straddled);
    EXPECT_EQ(CutText("日本", 0, &straddled), "");
    EXPECT_FALSE(straddled);
    EXPECT_EQ(CutText("abc", -5, &straddled), "");
    EXPECT_FALSE(straddled);
    EXPECT_EQ(CutText("a\xE3\x81", 2), "a\xE3");
}

TEST(Text, TruncateTitleAppendsThreeOrFourDots)
{
    EXPECT_EQ(TruncateTitle("ab日", 3), "ab....");
    EXPECT_EQ(TruncateTitle("abcd", 3), "abc...");
    EXPECT_EQ(TruncateTitle("abc", 3), "abc");
    EXPECT_EQ(TruncateTitle("", 0), "");
    EXPECT_EQ(TruncateTitle("a", 0), "...");
    EXPECT_EQ(TruncateTitle("a", -1), "...");

    std::string kanji;
    for (int i = 0; i < 30; ++i)
        kanji += "漢";
    EXPECT_EQ(TruncateTitle(kanji, 50), kanji.substr(0, 25 * 3) + "...");
    std::string odd = "a"; // 60 wide, a kanji across cells 49 and 50
    odd += kanji.substr(0, 29 * 3);
    odd += 'b';
    EXPECT_EQ(TruncateTitle(odd, 50), odd.substr(0, 1 + 24 * 3) + "....");

    // Whatever the mix, a shortened title is exactly width + 3 cells.
    const std::vector<std::string> pieces = {"a", "ｱ", "日", "😀", "\xFF", " "};
    std::mt19937 rng(7);
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        const int count = int(rng() % 40);
        for (int i = 0; i < count; ++i)
            text += pieces[rng() % pieces.size()];
        const int width = int(rng() % 30);
        const std::string out = TruncateTitle(text, width);
        if (TextWidth(text) <= width)
            EXPECT_EQ(out, text);
        else
            EXPECT_EQ(TextWidth(out), width + 3) << text << " / " << width;
    }
}

TEST(Text, Utf8ValidityAndCp932Decoding)
{
    EXPECT_TRUE(IsValidUtf8("plain 日本 😀"));
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));         // overlong
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));     // surrogate
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80")); // above U+10FFFF
    EXPECT_FALSE(IsValidUtf8("\xE6\x97"));         // truncated

    EXPECT_EQ(DecodeLine("already 日本"), "already 日本");
    EXPECT_EQ(DecodeLine("\x93\xFA\x96\x7B"), "日本");
    EXPECT_EQ(DecodeLine("\xB1\xB2"), "ｱｲ");   // half-width katakana
    EXPECT_EQ(DecodeLine("\x87\x40"), "①");    // only in CP932
    EXPECT_EQ(DecodeLine("\x95\x5C"), "表");   // a trail byte 0x5C is not a backslash
    EXPECT_EQ(DecodeLine("a\xFF" "b\x93"), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");

    std::mt19937 rng(3);
    for (int round = 0; round < 500; ++round) {
        std::string bytes(rng() % 64, '\0');
        for (char& c : bytes)
            c = char(rng());
        EXPECT_TRUE(IsValidUtf8(DecodeLine(bytes)));
    }
}

TEST(Text, SmallHelpers)
{
    EXPECT_EQ(FromQ(ToQ("日本 abc")), "日本 abc");
    EXPECT_EQ(Trim(" \t\r\nx y\v\f "), "x y");
    EXPECT_EQ(TrimLeft("  x "), "x ");
    EXPECT_EQ(ToLowerAscii("AbÉC"), "abÉc");
    EXPECT_TRUE(EqualsNoCase("InternetShortcut", "INTERNETshortcut"));
    EXPECT_FALSE(EqualsNoCase("a", "ab"));
    EXPECT_TRUE(StartsWithNoCase("About:Blank#x", "about:blank"));
    EXPECT_TRUE(EndsWithNoCase("C:/a/Link.LNK", ".lnk"));
    EXPECT_FALSE(EndsWithNoCase("k", ".lnk"));

    EXPECT_EQ(ParseLeadingInt("  -12x"), -12);
    EXPECT_EQ(ParseLeadingInt("2147483648"), INT32_MIN);
    EXPECT_EQ(ParseLeadingInt("99999999999999999999"), 1661992959); // wraps modulo 2^32
    EXPECT_FALSE(ParseLeadingInt("").has_value());
    EXPECT_FALSE(ParseLeadingInt("+").has_value());
    EXPECT_FALSE(ParseLeadingInt("x1").has_value());
}
