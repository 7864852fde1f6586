#include "platform/Shortcut.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

using namespace nimbra;
using testenv::ReadFile;
using testenv::ScopedHome;
using testenv::WriteFile;

namespace {

constexpr uint32_t kHasIdList = 0x1;
constexpr uint32_t kHasLinkInfo = 0x2;
constexpr uint32_t kForceNoLinkInfo = 0x100;

void Put16(std::string& out, uint32_t v)
{
    out += char(v & 0xFF);
    out += char((v >> 8) & 0xFF);
}

void Put32(std::string& out, uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void PutUtf16(std::string& out, const std::u16string& text)
{
    for (char16_t c : text)
        Put16(out, c);
    Put16(out, 0);
}

struct LinkSpec {
    uint32_t flags = kHasIdList | kHasLinkInfo;
    uint32_t infoFlags = 1; // VolumeIDAndLocalBasePath
    std::string base;
    std::string suffix;
    std::u16string unicodeBase; // non-empty: a LinkInfo header of 0x24 bytes
};

// A shell link: header, an ID list of one item, and the link info.
std::string BuildLink(const LinkSpec& spec)
{
    std::string out;
    Put32(out, 0x4C);
    out += std::string("\x01\x14\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16);
    Put32(out, spec.flags);
    out.resize(0x4C, '\0');
    if (spec.flags & kHasIdList) {
        Put16(out, 6);
        out += std::string("\x04\x00\xAB\xCD\x00\x00", 6);
    }

    const bool unicode = !spec.unicodeBase.empty();
    const uint32_t headerSize = unicode ? 0x24 : 0x1C;
    std::string volume;
    Put32(volume, 0x11);
    Put32(volume, 3);
    Put32(volume, 0x1234);
    Put32(volume, 0x10);
    volume += '\0';
    const uint32_t volumeAt = headerSize;
    const uint32_t baseAt = volumeAt + uint32_t(volume.size());
    const uint32_t suffixAt = baseAt + uint32_t(spec.base.size()) + 1;
    const uint32_t unicodeAt = suffixAt + uint32_t(spec.suffix.size()) + 1;

    std::string body = volume + spec.base + '\0' + spec.suffix + '\0';
    if (unicode)
        PutUtf16(body, spec.unicodeBase);

    std::string info;
    Put32(info, headerSize + uint32_t(body.size()));
    Put32(info, headerSize);
    Put32(info, spec.infoFlags);
    Put32(info, volumeAt);
    Put32(info, baseAt);
    Put32(info, 0);
    Put32(info, suffixAt);
    if (unicode) {
        Put32(info, unicodeAt);
        Put32(info, 0);
    }
    return out + info + body;
}

std::optional<std::string> ReadLink(const ScopedHome& home, const std::string& bytes)
{
    const std::string path = home.file("t.lnk");
    WriteFile(path, bytes);
    return ReadShellLinkTarget(path);
}

} // namespace

TEST(Shortcut, InternetShortcutRoundTrip)
{
    ScopedHome home;
    const std::string path = home.file("page.url");
    ASSERT_TRUE(WriteInternetShortcut(path, "http://example.com/a?b=c"));
    EXPECT_EQ(ReadFile(path), "[InternetShortcut]\r\nURL=http://example.com/a?b=c\r\n");
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
    ScopedHome home;
    LinkSpec spec;
    spec.base = "C:\\Users\\taro\\doc.txt";
    EXPECT_EQ(ReadLink(home, BuildLink(spec)), "C:/Users/taro/doc.txt");

    spec.flags = kHasLinkInfo; // without an ID list
    spec.base = "D:\\dir\\";
    spec.suffix = "file.txt";
    EXPECT_EQ(ReadLink(home, BuildLink(spec)), "D:/dir/file.txt");

    // ANSI strings are CP932: the 0x5C trail byte of 表 is not a separator.
    spec.base = "C:\\\x95\x5C\\\x93\xFA\x96\x7B.txt";
    spec.suffix.clear();
    EXPECT_EQ(ReadLink(home, BuildLink(spec)), "C:/表/日本.txt");

    spec.base = "C:\\??.txt";
    spec.unicodeBase = u"C:\\データ\\メモ.txt";
    EXPECT_EQ(ReadLink(home, BuildLink(spec)), "C:/データ/メモ.txt");
}

TEST(Shortcut, RejectsLinksWithoutLocalTarget)
{
    ScopedHome home;
    LinkSpec spec;
    spec.base = "C:\\a.txt";
    const std::string good = BuildLink(spec);
    ASSERT_TRUE(ReadLink(home, good).has_value());

    EXPECT_FALSE(ReadShellLinkTarget(home.file("missing.lnk")).has_value());
    EXPECT_FALSE(ReadLink(home, "").has_value());

    LinkSpec noInfo = spec;
    noInfo.flags = kHasIdList;
    EXPECT_FALSE(ReadLink(home, BuildLink(noInfo)).has_value());
    noInfo.flags = kHasIdList | kHasLinkInfo | kForceNoLinkInfo;
    EXPECT_FALSE(ReadLink(home, BuildLink(noInfo)).has_value());
    LinkSpec network = spec;
    network.infoFlags = 2;
    EXPECT_FALSE(ReadLink(home, BuildLink(network)).has_value());
    LinkSpec empty = spec;
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
    ScopedHome home;
    const LinkSpec spec{.base = "C:\\x\\y.txt", .suffix = "z", .unicodeBase = u"C:\\x\\y.txt"};
    const std::string good = BuildLink(spec);
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
