#include "platform/Paths.h"
#include "platform/SoftwareRendering.h"

#include "TestEnv.h"

#include <QDir>
#include <gtest/gtest.h>

using namespace nimbra;

TEST(Paths, ChooseDataDirectory)
{
    const testenv::TempDir root;
    const std::string top = root.file("");
    QDir(root.path()).mkpath("portable");
    QDir(root.path()).mkpath("prefix/bin");
    QDir(root.path()).mkpath("prefix/share/nimbra-browser");
    testenv::WriteFile(top + "prefix/bin/nimbrab.ini", "");
    const std::string user = top + "data/nimbra-browser";
    const std::string fallback = top + "home/.local/share/nimbra-browser";
    struct Case {
        std::string programDir, xdgDataHome;
        std::string path;
        EDataDirSource source;
    } cases[] = {
        {top + "portable", top + "data", top + "portable", EDataDirSource::Program},
        // An installation is never written, not even with a nimbrab.ini.
        {top + "prefix/bin", top + "data", user, EDataDirSource::User},
        {"/usr/local/bin", top + "data", user, EDataDirSource::User},
        {"/usr/local/bin", "relative", fallback, EDataDirSource::User},
    };
    for (const Case& c : cases) {
        const SDataDirectory dir = ChooseDataDirectory(c.programDir, "", c.xdgDataHome, top + "home");
        EXPECT_EQ(dir.path, c.path) << c.programDir << " " << c.xdgDataHome;
        EXPECT_EQ(dir.source, c.source) << c.programDir << " " << c.xdgDataHome;
    }
}

TEST(Paths, ResourceFileInTheDataDirectoryOverrides)
{
    const testenv::ScopedHome home;
    EXPECT_EQ(ResourceFile("ti.bmp"), "");
    QDir(home.path()).mkpath("res");
    testenv::WriteFile(home.file("res/ti.bmp"), "BM");
    EXPECT_EQ(ResourceFile("ti.bmp"), home.file("res/ti.bmp"));
}

TEST(Paths, EngineFlagsKeepAProcessModelGivenByTheUser)
{
    const struct {
        std::string flags, expected;
    } cases[] = {
        {"", "--process-per-site --site-per-process"},
        {"--host-resolver-rules=MAP a 127.0.0.1",
         "--host-resolver-rules=MAP a 127.0.0.1 --process-per-site --site-per-process"},
        {"--process-per-tab", "--process-per-tab"},
        {"--process-per-site", "--process-per-site"},
        {"--single-process --no-sandbox", "--single-process --no-sandbox"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WithProcessPerSite(c.flags), c.expected) << c.flags;
}

TEST(Paths, SoftwareRenderingOnlyWhereGlWouldBeEmulated)
{
    const struct {
        QStringList extensions;
        bool gpu;
    } servers[] = {
        // Xvfb and VNC servers: GLX without direct rendering.
        {{"BIG-REQUESTS", "GLX", "MIT-SHM", "Present", "RANDR"}, false},
        {{}, false},
        {{"GLX", "DRI2", "DRI3", "Present"}, true},
        {{"GLX", "DRI2"}, true},
        {{"GLX", "NV-GLX", "NV-CONTROL"}, true},
    };
    for (const auto& server : servers)
        EXPECT_EQ(XServerRendersGlOnGpu(server.extensions), server.gpu) << server.extensions.join(' ').toStdString();

    // Off X (these tests run offscreen), and where the user chose a renderer,
    // nothing changes.
    EXPECT_FALSE(UseSoftwareRenderingWithoutGpu());
    qputenv("QT_QUICK_BACKEND", "rhi");
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    qputenv("QT_QPA_PLATFORM", "xcb");
    EXPECT_FALSE(UseSoftwareRenderingWithoutGpu());
    EXPECT_FALSE(qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"));
    qputenv("QT_QPA_PLATFORM", platform);
    qunsetenv("QT_QUICK_BACKEND");
}
