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

TEST(Text, Utf8SequencesAtTheirBounds)
{
    const struct {
        std::string_view bytes;
        bool valid; // else every byte is a stray one: width and U+FFFD per byte
        int width;
    } cases[] = {
        {"\x7F", true, 1},
        {"\xC1\xBF", false, 2}, // overlong two-byte
        {"\xC2\x80", true, 2},  // the first two-byte
        {"\xDF\xBF", true, 2},
        {"\xE0\x9F\xBF", false, 3}, // overlong three-byte
        {"\xE0\xA0\x80", true, 2},
        {"\xED\x9F\xBF", true, 2}, // below the surrogates
        {"\xED\xBF\xBF", false, 3},
        {"\xEE\x80\x80", true, 2},
        {"\xEF\xBD\xA0", true, 2}, // U+FF60, before the half-width katakana
        {"\xEF\xBD\xA1", true, 1},
        {"\xEF\xBE\x9F", true, 1},
        {"\xEF\xBE\xA0", true, 2}, // U+FFA0, after them
        {"\xF0\x8F\xBF\xBF", false, 4}, // overlong four-byte
        {"\xF0\x90\x80\x80", true, 2},
        {"\xF4\x8F\xBF\xBF", true, 2}, // U+10FFFF
        {"\xF5\x80\x80\x80", false, 4},
        {"\xE6\x97", false, 2},     // cut short
        {"\xE6\x97\xC0", false, 3}, // not continued
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.bytes)));
        EXPECT_EQ(IsValidUtf8(c.bytes), c.valid);
        EXPECT_EQ(TextWidth(c.bytes), c.width);
        std::string replaced;
        for (int i = 0; i < c.width; ++i)
            replaced += "\xEF\xBF\xBD";
        EXPECT_EQ(DecodeUtf8(c.bytes), c.valid ? std::string(c.bytes) : replaced);
    }
    EXPECT_EQ(CutUtf8("a日", 4), "a日");
    EXPECT_EQ(CutUtf8("a日", 3), "a");
    EXPECT_EQ(CutUtf8("a日", 1), "a");
    EXPECT_EQ(CutUtf8("日", 0), "");
    EXPECT_EQ(CutUtf8("日本", 2), "");
    EXPECT_EQ(CutChars("a日b", 2), "a日");
    EXPECT_EQ(CutChars("a日b", 9), "a日b");
}

TEST(Text, DecoderJoinsPiecesAndReplacesWhatIsInvalid)
{
    const struct {
        const char* charset;
        std::string bytes;
        std::string text;
    } cases[] = {
        {"CP932", "\x93\xFA\x96\x7B", "日本"},
        {"EUC-JP", "\xC6\xFC\xCB\xDC", "日本"},
        {"ISO-2022-JP", "a\x1B$BF|K\\\x1B(Bb", "a日本b"},
        {"UTF-16LE", std::string("\xE5\x65\x3D\xD8\x00\xDE", 6), "日😀"},
        {"CP932", "a\xFF" "b\x93", "a\xEF\xBF\xBD" "b\xEF\xBF\xBD"}, // invalid, and cut at the end
        {"UTF-16LE", "\x41", "\xEF\xBF\xBD"},
    };
    // Decode, then Finish (the operands of + are not evaluated in order).
    auto decode = [](CTextDecoder& decoder, std::string_view bytes) {
        std::string text = decoder.Decode(bytes);
        return text + decoder.Finish();
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.charset + (" " + c.text));
        CTextDecoder whole(c.charset);
        ASSERT_TRUE(whole.Ok());
        EXPECT_EQ(decode(whole, c.bytes), c.text);
        CTextDecoder pieces(c.charset);
        std::string text;
        for (char b : c.bytes)
            text += pieces.Decode(std::string_view(&b, 1));
        EXPECT_EQ(text + pieces.Finish(), c.text);
        // Finished, it starts afresh.
        EXPECT_EQ(decode(pieces, c.bytes), c.text);
    }
    // Longer than one round of the converter.
    std::string sjis;
    std::string utf8;
    for (int i = 0; i < 5000; ++i) {
        sjis += "\x93\xFA";
        utf8 += "日";
    }
    EXPECT_TRUE(DecodeCp932(sjis + "\x93") == utf8 + "\xEF\xBF\xBD");

    CTextDecoder unknown("X-NO-SUCH-CHARSET");
    EXPECT_FALSE(unknown.Ok());
    EXPECT_EQ(decode(unknown, "abc"), "");
}
