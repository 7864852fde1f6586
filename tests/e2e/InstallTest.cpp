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
#include <QRegularExpression>
#include <QSet>
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
    for (const QString program : {"nimbrab", "nbbe"}) {
        const QString metainfo = Prefix() + "/share/metainfo/org.nimbra." + program + ".metainfo.xml";
        const SRun appstream = Run("appstreamcli", {"validate", "--no-net", metainfo},
                                   QProcessEnvironment::systemEnvironment());
        EXPECT_EQ(appstream.exitCode, 0) << appstream.out.toStdString();
        EXPECT_NE(testenv::ReadFile(metainfo.toStdString()).find(">" + program.toStdString() + ".desktop</launchable>"),
                  std::string::npos);
    }
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

// The options in a page's OPTIONS section (the heading in either language).
QSet<QString> DocumentedOptions(const QString& page)
{
    QSet<QString> options;
    bool inSection = false;
    for (const QString& line : page.split('\n')) {
        if (!line.isEmpty() && !line.front().isSpace())
            inSection = line == "OPTIONS" || line == QStringLiteral("オプション");
        else if (inSection)
            for (const auto& match : QRegularExpression("--[a-z][a-z-]*").globalMatch(line))
                options << match.captured();
    }
    return options;
}

// Each page renders without a troff warning and documents exactly the
// options of its program's usage; `man` in a Japanese locale shows the
// Japanese page.
TEST_F(Install, ManualPages)
{
    QProcessEnvironment english = QProcessEnvironment::systemEnvironment();
    english.insert("LC_ALL", "C.UTF-8");
    english.insert("MANWIDTH", "80");
    const QString usages[] = {Run(Installed("nimbrab"), {"--help"}, UserEnvironment()).out,
                              Run(Installed("nbdde"), {}, UserEnvironment()).err,
                              Run(Installed("nbbe"), {"--help"}, UserEnvironment()).out};
    const char* programs[] = {"nimbrab", "nbdde", "nbbe"};
    const std::string version = nimbra::VersionText().substr(0, nimbra::VersionText().find('\n'));
    for (int i = 0; i < 3; ++i) {
        QSet<QString> usageOptions;
        for (const auto& match : QRegularExpression("--[a-z][a-z-]*").globalMatch(usages[i]))
            usageOptions << match.captured();
        for (const QString lang : {"", "ja/"}) {
            const QString page = Prefix() + "/share/man/" + lang + "man1/" + programs[i] + ".1.gz";
            const SRun man = Run("man", {"--warnings", "-l", page}, english);
            EXPECT_EQ(man.exitCode, 0) << page.toStdString();
            EXPECT_EQ(man.err, "") << page.toStdString();
            EXPECT_TRUE(man.out.contains(QString::fromStdString(version))) << page.toStdString();
            EXPECT_FALSE(usageOptions.isEmpty());
            EXPECT_EQ(DocumentedOptions(man.out), usageOptions) << page.toStdString();
        }
    }

    // A Japanese locale of its own, as a Japanese desktop has one.
    testenv::TempDir locales;
    QProcess localedef;
    localedef.start("localedef", {"-i", "ja_JP", "-f", "UTF-8", locales.path() + "/ja_JP.UTF-8"});
    ASSERT_TRUE(localedef.waitForFinished(120000) && localedef.exitCode() == 0) << localedef.readAll().toStdString();
    for (const QString lang : {"ja_JP.UTF-8", "C.UTF-8"}) {
        QProcessEnvironment user = QProcessEnvironment::systemEnvironment();
        for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANGUAGE"})
            user.remove(variable);
        user.insert("LANG", lang);
        user.insert("LOCPATH", locales.path());
        user.insert("MANPATH", Prefix() + "/share/man");
        const SRun man = Run("man", {"nimbrab"}, user);
        EXPECT_EQ(man.exitCode, 0);
        EXPECT_EQ(man.out.contains(QStringLiteral("\n名前\n")), lang.startsWith("ja")) << man.out.toStdString();
        EXPECT_EQ(man.out.contains("\nNAME\n"), !lang.startsWith("ja")) << man.out.toStdString();
    }
}

// bash-completion loads the completions from where it looks for them; nbdde's
// topics and items come from the running browser's DDE service.
TEST_F(Install, BashCompletion)
{
    const SRun dir = Run("pkg-config", {"--variable=completionsdir", "bash-completion"},
                         QProcessEnvironment::systemEnvironment());
    ASSERT_EQ(dir.exitCode, 0);
    const QString completions = s_dest->path() + dir.out.trimmed();

    // A DDE service name that no other test's browser has.
    const QString service = QStringLiteral("NBCOMPLETION%1").arg(QCoreApplication::applicationPid());
    const QString data = m_user.path() + "/data/nimbra-browser";
    QDir().mkpath(data);
    testenv::WriteFile(data.toStdString() + "/nimbrab.ini", "[Options]\nDDEServerName=" + service.toStdString() + "\n");
    QProcess browser;
    browser.setProcessEnvironment(UserEnvironment());
    browser.setStandardOutputFile(QProcess::nullDevice());
    browser.start(Installed("nimbrab"), {});
    ASSERT_TRUE(browser.waitForStarted(10000));
    const bool serving = testenv::SpinUntil(
        [&] { return Run(Installed("nbdde"), {"--service", service, "topics"}, UserEnvironment()).exitCode == 0; },
        120000);

    QDir(m_user.path()).mkpath("files/pages");
    testenv::WriteFile(m_user.file("files/page.html"), "");
    const QString s = service;
    const struct {
        QString line;
        QString expected;
    } cases[] = {
        {"nimbrab --", "--help\n--version\n"},
        {"nimbrab --help ", ""},
        {"nimbrab pa", "page.html\npages\n"},
        {"nbdde ", "request\npoke\nexecute\ntopics\n"},
        {"nbdde --", "--service\n--format\n"},
        {"nbdde poke --", "--service\n"},
        {"nbdde request WWW_Exit 0 --format ", "1\n"},
        {"nbdde --service " + s + " request ",
         "System\nWWW_OpenURL\nWWW_GetWindowInfo\nWWW_Activate\nWWW_ListWindows\nWWW_Exit\nWWW_ShowFile\n"},
        {"nbdde --service " + s + " request WWW_ShowFile pa", "page.html\npages\n"},
        {"nbdde execute --service " + s + " WWW_L", "WWW_ListWindows\n"},
        {"nbdde --service " + s + " request System T", "TopicItemList\nTopics\n"},
        {"nbdde --service " + s + " request WWW_GetWindowInfo ", "0xFFFFFFFF\n"},
        {"nbdde --service " + s + " topics ", ""},
        {"nbdde --service NBNOSUCHSERVICE request ", ""},
    };
    QProcessEnvironment env = UserEnvironment();
    env.insert("PATH", Prefix() + "/bin:" + env.value("PATH"));
    for (const auto& c : cases) {
        QProcess bash;
        bash.setProcessEnvironment(env);
        bash.setWorkingDirectory(m_user.path() + "/files");
        bash.start("bash", {"-c", R"(source /usr/share/bash-completion/bash_completion
                                      source "$1/nimbrab"; source "$1/nbdde"
                                      COMP_LINE=$2; COMP_POINT=${#COMP_LINE}
                                      read -ra COMP_WORDS <<<"$COMP_LINE"
                                      [[ $COMP_LINE == *' ' ]] && COMP_WORDS+=('')
                                      COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
                                      "_${COMP_WORDS[0]}"
                                      printf '%s\n' "${COMPREPLY[@]}" | grep .)",
                            "bash", completions, c.line});
        ASSERT_TRUE(bash.waitForFinished(60000));
        EXPECT_EQ(bash.readAllStandardOutput().toStdString(), c.expected.toStdString()) << c.line.toStdString();
        EXPECT_EQ(bash.readAllStandardError().toStdString(), "") << c.line.toStdString();
    }
    ::kill(pid_t(browser.processId()), SIGTERM);
    EXPECT_TRUE(browser.waitForFinished(20000));
    EXPECT_TRUE(serving) << "the browser's DDE service did not come up";
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
