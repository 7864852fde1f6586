#include "platform/Ini.h"
#include "platform/InputFile.h"
#include "platform/Shortcut.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace nimbra;
using testenv::ScopedHome;

namespace {

// A file one byte over the limit that takes no disk space.
void MakeSparse(const std::string& path, off_t size)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, size), 0);
    ::close(fd);
}

} // namespace

TEST(InputFile, OnlyRegularFilesOfBoundedSizeAreReadAndNothingBlocks)
{
    ScopedHome home;
    testenv::WriteFile(home.file("plain.ini"), "[InternetShortcut]\r\nURL=http://a/\r\n");
    ASSERT_EQ(::mkfifo(home.file("fifo.url").c_str(), 0600), 0);
    MakeSparse(home.file("big.url"), kMaxInputFileSize + 1);

    const testenv::CpuTimer cpu;
    const struct {
        std::string name;
        EInputFileError error;
    } cases[] = {
        {"plain.ini", EInputFileError::None},
        {"missing", EInputFileError::Missing},
        {"plain.ini/x", EInputFileError::Missing},
        {".", EInputFileError::NotRegular},
        {"fifo.url", EInputFileError::NotRegular},
        {"big.url", EInputFileError::TooLarge},
    };
    for (const auto& c : cases) {
        const SInputFile file = ReadInputFile(home.file(c.name));
        EXPECT_EQ(file.error, c.error) << c.name;
        EXPECT_EQ(file.bytes.empty(), c.error != EInputFileError::None) << c.name;
    }
    EXPECT_EQ(ReadInputFile("/dev/zero").error, EInputFileError::NotRegular);

    // The readers built on it: a refused file reads as missing and is never rewritten.
    for (const char* name : {"fifo.url", "big.url"}) {
        CIniFile ini(home.file(name));
        EXPECT_EQ(ini.GetString("InternetShortcut", "URL", "def"), "def") << name;
        EXPECT_FALSE(ini.WriteString("S", "K", "v")) << name;
        EXPECT_EQ(ReadInternetShortcut(home.file(name)), std::nullopt) << name;
        EXPECT_EQ(ReadShellLinkTarget(home.file(name)), std::nullopt) << name;
    }
    struct stat info = {};
    ASSERT_EQ(::lstat(home.file("fifo.url").c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_LT(cpu.elapsed(), 5000);
}
