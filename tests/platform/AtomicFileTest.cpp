#include "platform/AtomicFile.h"

#include "support/TestEnv.h"

#include <QDir>
#include <gtest/gtest.h>

#include <csignal>
#include <iostream>
#include <optional>
#include <sys/mount.h>
#include <sys/resource.h>

namespace {

// Writes fail with a full disk: a small file system of its own (root only).
class CFullDisk {
public:
    explicit CFullDisk(const std::string& dir)
        : m_dir(dir), m_mounted(::mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=64k") == 0)
    {
    }
    ~CFullDisk()
    {
        if (m_mounted)
            ::umount2(m_dir.c_str(), MNT_DETACH);
    }
    bool Mounted() const { return m_mounted; }

private:
    std::string m_dir;
    bool m_mounted;
};

// Writes fail past 64 KB: a file size limit of the process, with the signal
// that would end it ignored.
class CFileSizeLimit {
public:
    CFileSizeLimit()
    {
        ::getrlimit(RLIMIT_FSIZE, &m_previous);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_previous;
        limit.rlim_cur = 64 * 1024;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~CFileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_handler);
    }

private:
    rlimit m_previous{};
    void (*m_handler)(int) = nullptr;
};

} // namespace

TEST(AtomicFile, AWriteThatDoesNotFitNamesTheReasonAndKeepsTheOldFile)
{
    const std::string big(256 * 1024, 'x');
    const struct {
        const char* name;
        bool fullDisk;
        std::string reason;
    } cases[] = {{"full disk", true, "ディスクの空きが足りません"}, {"size limit", false, "ファイルが大きすぎます"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testenv::TempDir dir;
        const std::string folder = dir.file("data");
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
        std::optional<CFullDisk> disk;
        if (c.fullDisk) {
            disk.emplace(folder);
            if (!disk->Mounted()) {
                std::cout << "[ SKIPPED  ] no tmpfs (not root): the full disk is not tried\n";
                continue;
            }
        }
        const std::string path = folder + "/bookmark.html";
        testenv::WriteFile(path, "old");

        std::string error;
        bool written = true;
        {
            std::optional<CFileSizeLimit> limit;
            if (!disk)
                limit.emplace();
            written = nimbra::WriteFileAtomically(path, big, &error);
        }
        EXPECT_FALSE(written);
        EXPECT_EQ(error, c.reason);
        EXPECT_EQ(testenv::ReadFile(path), "old");
        EXPECT_EQ(QDir(QString::fromStdString(folder)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
                  QStringList{"bookmark.html"});
        // A write that fits still goes through.
        EXPECT_TRUE(nimbra::WriteFileAtomically(path, "new", &error)) << error;
        EXPECT_EQ(testenv::ReadFile(path), "new");
    }
}
