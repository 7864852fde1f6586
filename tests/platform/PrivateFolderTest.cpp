#include "platform/PrivateFolder.h"

#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace nimbra;

namespace {

// Sets an environment variable for one test and restores it afterwards.
class CEnvGuard {
public:
    CEnvGuard(const char* name, const std::string& value) : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name))
    {
        qputenv(name, QByteArray::fromStdString(value));
    }
    ~CEnvGuard()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

mode_t Mode(const std::string& path)
{
    struct stat info = {};
    return ::lstat(path.c_str(), &info) == 0 ? info.st_mode : 0;
}

bool Exists(const std::string& path)
{
    struct stat info = {};
    return ::lstat(path.c_str(), &info) == 0;
}

} // namespace

TEST(PrivateFolder, IsThisUsersAloneAndCleanedWithoutFollowingLinks)
{
    testenv::ScopedHome home;
    const std::string victim = home.file("victim");
    QDir().mkpath(QString::fromStdString(victim));
    testenv::WriteFile(victim + "/v.url", "x");

    // A private runtime folder holds it.
    const std::string run = home.file("run");
    ::mkdir(run.c_str(), 0700);
    {
        CEnvGuard runtime("XDG_RUNTIME_DIR", run);
        const std::string folder = PrivateFolder("drag", true);
        ASSERT_EQ(folder, run + "/drag");
        EXPECT_EQ(Mode(folder) & 0777, 0700u);
        QDir().mkpath(QString::fromStdString(folder + "/sub"));
        testenv::WriteFile(folder + "/a.url", "x");
        testenv::WriteFile(folder + "/sub/b.url", "x");
        ASSERT_EQ(::symlink(victim.c_str(), (folder + "/link").c_str()), 0);
        RemovePrivateFolder(folder, ".url");
        EXPECT_FALSE(Exists(folder + "/a.url"));
        EXPECT_FALSE(Exists(folder + "/sub"));
        EXPECT_TRUE(Exists(victim + "/v.url"));
        ::unlink((folder + "/link").c_str());
        RemovePrivateFolder(folder, ".url");
        EXPECT_FALSE(Exists(folder));
        EXPECT_EQ(PrivateFolder("drag", false), "");
    }

    // A shared runtime folder is not used; a name planted in the temporary
    // folder is neither used nor cleaned.
    const std::string shared = home.file("shared");
    ::mkdir(shared.c_str(), 0755);
    const std::string tmp = home.file("tmp");
    ::mkdir(tmp.c_str(), 0700);
    ASSERT_EQ(::symlink(victim.c_str(), (tmp + "/drag").c_str()), 0);
    CEnvGuard runtime("XDG_RUNTIME_DIR", shared);
    CEnvGuard temp("TMPDIR", tmp);
    const std::string folder = PrivateFolder("drag", true);
    EXPECT_EQ(folder.rfind(tmp + "/drag-", 0), 0u) << folder;
    EXPECT_EQ(Mode(folder) & 0777, 0700u);
    EXPECT_EQ(PrivateFolder("drag", true), folder);
    RemovePrivateFolder(tmp + "/drag", ".url");
    RemovePrivateFolder(victim, ".url"); // 0755: not private
    EXPECT_TRUE(Exists(victim + "/v.url"));
    RemovePrivateFolder(folder, ".url");
    EXPECT_FALSE(Exists(folder));
}
