#include "platform/PrivateFolder.h"

#include "support/TestEnv.h"

#include <QDir>
#include <QScopeGuard>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace nimbra;

namespace {

// Sets an environment variable until the returned guard goes.
auto SetEnv(const char* name, const std::string& value)
{
    const bool had = qEnvironmentVariableIsSet(name);
    const QByteArray old = qgetenv(name);
    qputenv(name, QByteArray::fromStdString(value));
    return qScopeGuard([=] { had ? qputenv(name, old) : qunsetenv(name); });
}

// The mode bits of a path, not following links; 0 when it does not exist.
mode_t Mode(const std::string& path)
{
    struct stat info = {};
    return ::lstat(path.c_str(), &info) == 0 ? info.st_mode : 0;
}

} // namespace

TEST(PrivateFolder, IsThisUsersAloneAndCleanedWithoutFollowingLinks)
{
    testenv::ScopedHome home;
    const std::string victim = home.file("victim");
    ::mkdir(victim.c_str(), 0755);
    testenv::WriteFile(victim + "/v.url", "x");

    // A private runtime folder holds it.
    const std::string run = home.file("run");
    ::mkdir(run.c_str(), 0700);
    {
        auto runtime = SetEnv("XDG_RUNTIME_DIR", run);
        const std::string folder = PrivateFolder("drag", true);
        ASSERT_EQ(folder, run + "/drag");
        EXPECT_EQ(Mode(folder) & 0777, 0700u);
        QDir().mkpath(QString::fromStdString(folder + "/sub"));
        testenv::WriteFile(folder + "/a.url", "x");
        testenv::WriteFile(folder + "/sub/b.url", "x");
        ASSERT_EQ(::symlink(victim.c_str(), (folder + "/link").c_str()), 0);
        RemovePrivateFolder(folder, ".url");
        EXPECT_EQ(Mode(folder + "/a.url"), 0u);
        EXPECT_EQ(Mode(folder + "/sub"), 0u);
        EXPECT_NE(Mode(victim + "/v.url"), 0u);
        ::unlink((folder + "/link").c_str());
        RemovePrivateFolder(folder, ".url");
        EXPECT_EQ(Mode(folder), 0u);
        EXPECT_EQ(PrivateFolder("drag", false), "");
    }

    // A shared runtime folder is not used; a name planted in the temporary
    // folder is neither used nor cleaned, nor is a folder others may enter.
    const std::string shared = home.file("shared");
    ::mkdir(shared.c_str(), 0755);
    const std::string tmp = home.file("tmp");
    ::mkdir(tmp.c_str(), 0700);
    ASSERT_EQ(::symlink(victim.c_str(), (tmp + "/drag").c_str()), 0);
    auto runtime = SetEnv("XDG_RUNTIME_DIR", shared);
    auto temp = SetEnv("TMPDIR", tmp);
    const std::string folder = PrivateFolder("drag", true);
    EXPECT_EQ(folder.rfind(tmp + "/drag-", 0), 0u) << folder;
    EXPECT_EQ(Mode(folder) & 0777, 0700u);
    EXPECT_EQ(PrivateFolder("drag", true), folder);
    RemovePrivateFolder(tmp + "/drag", ".url");
    RemovePrivateFolder(victim, ".url");
    EXPECT_NE(Mode(victim + "/v.url"), 0u);
    RemovePrivateFolder(folder, ".url");
    EXPECT_EQ(Mode(folder), 0u);
}
