#include "platform/Ini.h"
#include "platform/Text.h"

#include "support/TestEnv.h"

#include <QFile>
#include <gtest/gtest.h>

#include <functional>
#include <csignal>
#include <random>
#include <sys/resource.h>
#include <unistd.h>

using namespace nimbra;
using testenv::ReadFile;
using testenv::TempDir;
using testenv::WriteFile;

namespace {

long long MillisecondsOf(const std::function<void()>& fn)
{
    const testenv::CpuTimer cpu;
    fn();
    return cpu.elapsed();
}

} // namespace

TEST(Ini, UnusableFilesReadAsDefaults)
{
    TempDir home;
    CIniFile missing(home.file("missing.ini"));
    EXPECT_EQ(missing.GetString("S", "K", "def"), "def");
    EXPECT_EQ(missing.GetInt("S", "K", 7), 7);
    EXPECT_TRUE(missing.SectionNames().empty());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(missing.path()))) << "reads must not create the file";

    WriteFile(home.file("empty.ini"), "");
    EXPECT_EQ(CIniFile(home.file("empty.ini")).GetInt("S", "K", 3), 3);

    std::mt19937 rng(42);
    std::string binary(64 * 1024, '\0');
    for (char& c : binary)
        c = char(rng());
    WriteFile(home.file("binary.ini"), binary);
    CIniFile bin(home.file("binary.ini"));
    EXPECT_EQ(bin.GetString("Options", "Key", "d"), "d");
    // A bracketed line in the noise is listed like any other, as text.
    const std::vector<std::string> names = bin.SectionNames();
    EXPECT_FALSE(names.empty());
    for (const std::string& name : names) {
        EXPECT_TRUE(IsValidUtf8(name));
        EXPECT_EQ(bin.GetString(name, "Key", "d"), "d");
    }

    // 10 MB: one line without any line end, and many short lines.
    WriteFile(home.file("long.ini"), std::string(10 * 1024 * 1024, 'x'));
    std::string lines;
    while (lines.size() < 10 * 1024 * 1024)
        lines += "[Sec]\nkey=value\n";
    WriteFile(home.file("lines.ini"), lines);
    for (const char* name : {"long.ini", "lines.ini"}) {
        CIniFile big(home.file(name));
        std::string value;
        const long long ms = MillisecondsOf([&] { value = big.GetString("Other", "key", "d"); });
        EXPECT_EQ(value, "d") << name;
        EXPECT_LT(ms, 10000) << name; // linear reading; a quadratic one takes hours
    }
}

TEST(Ini, ReadsLikeThePrivateProfileFunctions)
{
    TempDir home;
    const std::string path = home.file("a.ini");
    WriteFile(path,
              "\xEF\xBB\xBF"
              "orphan=1\n"
              "[Options]\n"
              "just a comment line\n"
              "  Name  =  \"  quoted value \"  \n"
              "name=second\n"
              "Empty=\n"
              "Plain = a \"b\" c\n"
              "[options]\n"
              "Late=x\n"
              "[ Spaced ]\r\n"
              "k=v\r\n");
    CIniFile ini(path);
    EXPECT_EQ(ini.GetString("OPTIONS", "NAME", "d"), "  quoted value ");
    EXPECT_EQ(ini.GetString("Options", "Empty", "d"), "");
    EXPECT_EQ(ini.GetString("Options", "Plain", "d"), "a \"b\" c");
    EXPECT_EQ(ini.GetString("Options", "Late", "d"), "d") << "only the first section counts";
    EXPECT_EQ(ini.GetString("Options", "just a comment line", "d"), "d");
    EXPECT_EQ(ini.GetString("", "orphan", "d"), "d");
    EXPECT_EQ(ini.GetString("Spaced", "k", "d"), "v");
    EXPECT_FALSE(ini.Find("Options", "Missing").has_value());
    EXPECT_EQ(ini.SectionNames(), (std::vector<std::string>{"Options", "Spaced"}));
    EXPECT_EQ(ini.KeyNames("options"), (std::vector<std::string>{"Name", "Empty", "Plain"}));
}

TEST(Ini, GetIntReadsLeadingDigits)
{
    TempDir home;
    const std::string path = home.file("n.ini");
    WriteFile(path, "[N]\na=12abc\nb=-3\nc=abc\nd=\ne=  +41\nf=4294967298\ng=\"5\"\nh=-\n");
    CIniFile ini(path);
    EXPECT_EQ(ini.GetInt("N", "a", 0), 12);
    EXPECT_EQ(ini.GetInt("N", "b", 0), -3);
    EXPECT_EQ(ini.GetInt("N", "c", 9), 9);
    EXPECT_EQ(ini.GetInt("N", "d", 9), 9);
    EXPECT_EQ(ini.GetInt("N", "e", 0), 41);
    EXPECT_EQ(ini.GetInt("N", "f", 0), 2);
    EXPECT_EQ(ini.GetInt("N", "g", 0), 5);
    EXPECT_EQ(ini.GetInt("N", "h", 9), 9);
    EXPECT_EQ(ini.GetInt("N", "zz", -1), -1);
}

TEST(Ini, WritesKeepLayoutAndUseCrLf)
{
    TempDir home;
    const std::string path = home.file("w.ini");
    CIniFile ini(path);
    ASSERT_TRUE(ini.WriteString("Options", "A", "1"));
    EXPECT_EQ(ReadFile(path), "[Options]\r\nA=1\r\n");

    ASSERT_TRUE(ini.WriteInt("Other", "N", -5));
    ASSERT_TRUE(ini.WriteString("options", "B", " two "));
    ASSERT_TRUE(ini.WriteString("OPTIONS", "a", "x"));
    EXPECT_EQ(ReadFile(path), "[Options]\r\na=x\r\nB= two \r\n[Other]\r\nN=-5\r\n");
    EXPECT_EQ(ini.GetInt("Other", "N", 0), -5);

    // LF input, trailing blank lines, a key without a line end, repeated keys.
    WriteFile(path, "; note\n[S]\nk=1\nk=2\n\n\n[T]\nz=0");
    ASSERT_TRUE(ini.WriteString("S", "new", "v"));
    ASSERT_TRUE(ini.WriteString("S", "K", "3"));
    ASSERT_TRUE(ini.WriteString("U", "u", "1"));
    EXPECT_EQ(ReadFile(path), "; note\r\n[S]\r\nK=3\r\nk=2\r\nnew=v\r\n\r\n\r\n[T]\r\nz=0\r\n[U]\r\nu=1\r\n");

    ASSERT_TRUE(ini.DeleteKey("s", "k"));
    ASSERT_TRUE(ini.DeleteSection("t"));
    ASSERT_TRUE(ini.DeleteKey("Nope", "x"));
    EXPECT_EQ(ReadFile(path), "; note\r\n[S]\r\nk=2\r\nnew=v\r\n\r\n\r\n[U]\r\nu=1\r\n");
}

TEST(Ini, BatchWriteEqualsWritesOneByOne)
{
    TempDir home;
    const std::string start = "; note\n[S]\nk=1\nk=2\n\n\n[T]\nz=0\ny=\x93\xFA";
    const std::vector<SIniEdit> edits = {
        {"S", "new", "v"}, {"s", "K", "3"}, {"U", "u", "1"}, {"T", "z", std::nullopt},
        {"S", "new", "w"}, {"Nope", "x", std::nullopt}, {"u", "second", "2"}, {"S", "line", "a\nb"},
    };
    WriteFile(home.file("one.ini"), start);
    CIniFile one(home.file("one.ini"));
    for (const SIniEdit& e : edits)
        ASSERT_TRUE(e.value ? one.WriteString(e.section, e.key, *e.value) : one.DeleteKey(e.section, e.key));
    WriteFile(home.file("batch.ini"), start);
    ASSERT_TRUE(WriteIniValues(home.file("batch.ini"), edits));
    EXPECT_EQ(ReadFile(home.file("batch.ini")), ReadFile(home.file("one.ini")));

    ASSERT_TRUE(WriteIniValues(home.file("fresh.ini"), {{"A", "k", "1"}}));
    EXPECT_EQ(ReadFile(home.file("fresh.ini")), "[A]\r\nk=1\r\n");
}

TEST(Ini, LineBreaksInValuesCannotAddKeys)
{
    TempDir home;
    CIniFile ini(home.file("b.ini"));
    ASSERT_TRUE(ini.WriteString("S", "Title", "a\r\n[Evil]\nK=1"));
    EXPECT_EQ(ini.GetString("S", "Title", ""), "a  [Evil] K=1");
    EXPECT_EQ(ini.SectionNames(), (std::vector<std::string>{"S"}));
}

TEST(Ini, Cp932LinesAreDecodedAndKept)
{
    TempDir home;
    const std::string path = home.file("sjis.ini");
    const std::string sjisLine = "Title=\x93\xFA\x96\x7B\x8C\xEA"; // 日本語
    WriteFile(path, "[\x90\xDD\x92\xE8]\r\n" + sjisLine + "\r\n"); // [設定]
    CIniFile ini(path);
    EXPECT_EQ(ini.GetString("設定", "Title", ""), "日本語");
    ASSERT_TRUE(ini.WriteString("設定", "Other", "値"));
    EXPECT_EQ(ReadFile(path), "[\x90\xDD\x92\xE8]\r\n" + sjisLine + "\r\nOther=値\r\n");
}

TEST(Ini, FailedWriteKeepsOldFile)
{
    TempDir home;
    // A parent that is a regular file stops root too.
    WriteFile(home.file("plain"), "x");
    EXPECT_FALSE(CIniFile(home.file("plain/a.ini")).WriteString("S", "K", "v"));

    const std::string path = home.file("keep.ini");
    const std::string old = "[S]\r\nK=old\r\n";
    WriteFile(path, old);
    CIniFile ini(path);

    // A full disk: a file size limit makes the write fail, for root as well.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = ini.WriteString("S", "K", std::string(64 * 1024, 'v'));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(written);
    EXPECT_EQ(ReadFile(path), old);

    if (geteuid() == 0)
        return;
    const QString dir = home.path();
    const auto mode = QFile::permissions(dir);
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_FALSE(ini.WriteString("S", "K", "new"));
    QFile::setPermissions(dir, mode);
    EXPECT_EQ(ReadFile(path), old);

    // An existing file that cannot be read is not rewritten from nothing.
    QFile::setPermissions(QString::fromStdString(path), QFile::WriteOwner);
    EXPECT_FALSE(ini.WriteString("S", "Other", "1"));
    QFile::setPermissions(QString::fromStdString(path), QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(ReadFile(path), old);
}
