// The installed programs: `cmake --install` of the build into a private
// DESTDIR (nothing is built here), then the installed tree and where the
// installed and the build-tree programs keep their data.
#include "app/CommandLine.h"
#include "platform/Ini.h"

#include "HttpServer.h"
#include "TestEnv.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <gtest/gtest.h>

#include <csignal>
#include <memory>

namespace {

struct SRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// A folder's files and folders, relative to it.
QStringList Tree(const QString& root)
{
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        entries << it.next().mid(root.size());
    entries.sort();
    return entries;
}

class Install : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dest = std::make_unique<testenv::TempDir>();
        QProcess cmake;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DESTDIR", s_dest->path());
        cmake.setProcessEnvironment(env);
        cmake.setProcessChannelMode(QProcess::MergedChannels);
        cmake.start("cmake", {"--install", qEnvironmentVariable("NIMBRA_BIN_DIR"), "--prefix", "/usr"});
        s_installed = cmake.waitForFinished(60000) && cmake.exitCode() == 0;
        if (!s_installed)
            std::fprintf(stderr, "%s\n", cmake.readAll().constData());
    }
    static void TearDownTestSuite() { s_dest.reset(); }

    void SetUp() override { ASSERT_TRUE(s_installed) << "cmake --install failed"; }

    static QString Prefix() { return s_dest->path() + "/usr"; }
    static QString Installed(const QString& program) { return Prefix() + "/bin/" + program; }

    // The environment of a user who set no NIMBRA_HOME.
    QProcessEnvironment UserEnvironment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("NIMBRA_HOME");
        env.insert("HOME", m_user.path() + "/home");
        env.insert("XDG_DATA_HOME", m_user.path() + "/data");
        return env;
    }

    static SRun Run(const QString& program, const QStringList& arguments, const QProcessEnvironment& env)
    {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(program, arguments);
        SRun run;
        if (process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit)
            run.exitCode = process.exitCode();
        run.out = QString::fromUtf8(process.readAllStandardOutput());
        run.err = QString::fromUtf8(process.readAllStandardError());
        return run;
    }

    static std::unique_ptr<testenv::TempDir> s_dest;
    static bool s_installed;
    testenv::TempDir m_user;
};

std::unique_ptr<testenv::TempDir> Install::s_dest;
bool Install::s_installed = false;

TEST_F(Install, PutsProgramsEntriesIconsAndResourcesInPlace)
{
    for (const QString program : {"nimbrab", "nbbe", "nbdde"})
        EXPECT_TRUE(QFileInfo(Installed(program)).isExecutable()) << program.toStdString();
    EXPECT_TRUE(QFileInfo(Prefix() + "/share/nimbra-browser/res/start.html").isFile());
    EXPECT_TRUE(QFileInfo(Prefix() + "/share/nimbra-browser/res/ti.bmp").isFile());
    for (const QString icon : {"nimbrab", "nbbe"}) {
        const QString hicolor = Prefix() + "/share/icons/hicolor/";
        EXPECT_TRUE(QFileInfo(hicolor + "scalable/apps/" + icon + ".svg").isFile());
        for (int size : {16, 32, 48, 256}) {
            const QImage png(hicolor + QStringLiteral("%1x%1/apps/").arg(size) + icon + ".png");
            EXPECT_EQ(png.size(), QSize(size, size)) << icon.toStdString() << " " << size;
        }
    }

    const QString applications = Prefix() + "/share/applications/";
    const SRun validate = Run("desktop-file-validate", {applications + "nimbrab.desktop", applications + "nbbe.desktop"},
                              QProcessEnvironment::systemEnvironment());
    EXPECT_EQ(validate.exitCode, 0);
    EXPECT_EQ(validate.out + validate.err, "");
    const std::string desktop = testenv::ReadFile(applications.toStdString() + "nimbrab.desktop");
    EXPECT_NE(desktop.find("\nExec=nimbrab %U\n"), std::string::npos);
    EXPECT_NE(desktop.find("\nMimeType=text/html;x-scheme-handler/http;x-scheme-handler/https;\n"), std::string::npos);

    const SRun version = Run(Installed("nimbrab"), {"--version"}, UserEnvironment());
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.toStdString(), nimbra::VersionText());
    EXPECT_FALSE(QFileInfo::exists(m_user.path() + "/data")) << "--version wrote the data directory";
}

// `--help` names the data directory in use and creates nothing.
TEST_F(Install, DataDirectoryRule)
{
    const QString user = m_user.path();
    QDir(user).mkpath("chosen");
    struct Case {
        const char* name;
        QString program;
        QString xdgDataHome; // "-" for unset
        QString nimbraHome;
        QString expected;
    } cases[] = {
        {"installed", Installed("nimbrab"), user + "/data", {}, user + "/data/nimbra-browser"},
        {"installed, no XDG_DATA_HOME", Installed("nimbrab"), "-", {}, user + "/home/.local/share/nimbra-browser"},
        {"installed, NIMBRA_HOME", Installed("nimbrab"), user + "/data", user + "/chosen", user + "/chosen"},
        {"build tree: portable", qEnvironmentVariable("NIMBRA_BIN_DIR") + "/nimbrab", user + "/data", {},
         QFileInfo(qEnvironmentVariable("NIMBRA_BIN_DIR")).canonicalFilePath()},
    };
    for (const Case& c : cases) {
        QProcessEnvironment env = UserEnvironment();
        if (c.xdgDataHome == "-")
            env.remove("XDG_DATA_HOME");
        else
            env.insert("XDG_DATA_HOME", c.xdgDataHome);
        if (!c.nimbraHome.isEmpty())
            env.insert("NIMBRA_HOME", c.nimbraHome);
        const SRun help = Run(c.program, {"--help"}, env);
        EXPECT_EQ(help.exitCode, 0) << c.name;
        EXPECT_TRUE(help.out.contains("使用中のデータ フォルダ: " + c.expected + " (")) << c.name << "\n"
                                                                                  << help.out.toStdString();
    }
    EXPECT_EQ(Tree(user), QStringList{"/chosen"}) << "--help created a folder";
}

TEST_F(Install, InstalledBrowserKeepsItsDataInTheUserFolder)
{
    const QStringList installedTree = Tree(s_dest->path());
    const QString data = m_user.path() + "/data/nimbra-browser";
    QProcess browser;
    browser.setProcessEnvironment(UserEnvironment());
    browser.setStandardOutputFile(QProcess::nullDevice());
    testenv::HttpServer server;
    server.AddHtml("/page", "page");
    browser.start(Installed("nimbrab"), {server.Url("/page")});
    ASSERT_TRUE(browser.waitForStarted(10000));
    const bool loaded = server.WaitForRequest("/page", 60000);
    ::kill(pid_t(browser.processId()), SIGTERM);
    EXPECT_TRUE(browser.waitForFinished(20000));
    EXPECT_EQ(browser.exitStatus(), QProcess::NormalExit);
    ASSERT_TRUE(loaded);

    EXPECT_TRUE(QFileInfo(data + "/engine").isDir());
    EXPECT_EQ(QFileInfo(data).permissions() & 0x7777, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                           | QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
    nimbra::CIniFile ini(QFile::encodeName(data).toStdString() + "/nimbrab.ini");
    EXPECT_EQ(ini.GetString("Options", "BookmarkPath", ""), QFile::encodeName(data).toStdString() + "/bookmark.html");
    EXPECT_EQ(Tree(s_dest->path()), installedTree) << "the installed program wrote into its prefix";
}

// An unusable data directory: one message naming it, status 1, nothing written.
TEST_F(Install, UnusableDataDirectoryEndsTheProgram)
{
    const QString user = m_user.path();
    testenv::WriteFile(m_user.file("file"), "x");
    QDir(user).mkpath("links");
    QFile::link(user + "/nowhere", user + "/links/nimbra-browser");
    QDir(user).mkpath("files");
    testenv::WriteFile(m_user.file("files/nimbra-browser"), "x");
    struct Case {
        const char* program;
        const char* variable;
        QString value;
        QString named;
    } cases[] = {
        {"nimbrab", "NIMBRA_HOME", user + "/missing", user + "/missing"},
        {"nimbrab", "XDG_DATA_HOME", user + "/file/data", user + "/file/data/nimbra-browser"},
        {"nimbrab", "XDG_DATA_HOME", user + "/links", user + "/links/nimbra-browser"},
        {"nimbrab", "XDG_DATA_HOME", user + "/files", user + "/files/nimbra-browser"},
        {"nbbe", "XDG_DATA_HOME", user + "/files", user + "/files/nimbra-browser"},
    };
    const QStringList before = Tree(user);
    const QStringList installedTree = Tree(s_dest->path());
    for (const Case& c : cases) {
        QProcessEnvironment env = UserEnvironment();
        env.insert(c.variable, c.value);
        const SRun run = Run(Installed(c.program), {}, env);
        EXPECT_EQ(run.exitCode, 1) << c.program << " " << c.value.toStdString();
        EXPECT_EQ(run.err.count(c.named), 1) << run.err.toStdString();
    }
    EXPECT_EQ(Tree(user), before);
    EXPECT_EQ(Tree(s_dest->path()), installedTree);
}

} // namespace
