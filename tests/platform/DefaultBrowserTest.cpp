#include "platform/DefaultBrowser.h"
#include "platform/Ini.h"

#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

using namespace nimbra;
using testenv::ReadFile;
using testenv::TempDir;
using testenv::WriteFile;

namespace {

class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value) : m_name(name), m_previous(qgetenv(name))
    {
        qputenv(name, value);
    }
    ~ScopedEnv() { qputenv(m_name, m_previous); }

private:
    const char* m_name;
    QByteArray m_previous;
};

// The Exec value split into arguments by the desktop-entry rules.
QStringList SplitExec(const std::string& value)
{
    QString unescaped; // the string-value escape first
    const QString text = QString::fromStdString(value);
    for (int i = 0; i < text.size(); ++i)
        unescaped += text[i] == '\\' && i + 1 < text.size() ? text[++i] : text[i];
    QStringList args;
    QString arg;
    bool quoted = false;
    bool any = false;
    for (int i = 0; i < unescaped.size(); ++i) {
        const QChar c = unescaped[i];
        if (quoted && c == '\\' && i + 1 < unescaped.size())
            arg += unescaped[++i];
        else if (c == '"')
            quoted = !quoted, any = true;
        else if (c == ' ' && !quoted) {
            if (any || !arg.isEmpty())
                args << arg;
            arg.clear();
            any = false;
        } else if (c == '%' && i + 1 < unescaped.size() && unescaped[i + 1] == '%')
            arg += unescaped[++i];
        else
            arg += c;
    }
    if (any || !arg.isEmpty())
        args << arg;
    return args;
}

std::string ExecOf(const std::string& entry)
{
    const size_t at = entry.find("\nExec=");
    return entry.substr(at + 6, entry.find('\r', at + 1) - at - 6);
}

std::string Query(const char* type)
{
    QProcess p;
    p.start("xdg-mime", {"query", "default", type});
    p.waitForFinished(20000);
    return p.readAllStandardOutput().trimmed().toStdString();
}

// XDG folders of one test.
struct XdgHomes {
    TempDir dir;
    ScopedEnv config{"XDG_CONFIG_HOME", (dir.path() + "/config").toUtf8()};
    ScopedEnv data{"XDG_DATA_HOME", (dir.path() + "/data").toUtf8()};
    // Browsers installed on the machine stay out of the queries.
    ScopedEnv dataDirs{"XDG_DATA_DIRS", (dir.path() + "/system").toUtf8()};
    ScopedEnv configDirs{"XDG_CONFIG_DIRS", (dir.path() + "/system").toUtf8()};
};

} // namespace

TEST(DefaultBrowser, ExecLineStartsThisProgramWithALink)
{
    TempDir dir;
    const QString folder = dir.path() + "/a b \"q\" 100% $x `y` \\z";
    ASSERT_TRUE(QDir().mkpath(folder));
    const std::string program = QString(folder + "/nim brab").toStdString();
    const std::string record = dir.file("args.txt");
    WriteFile(program, "#!/bin/sh\n{ echo \"$NIMBRA_HOME\"; for a in \"$@\"; do echo \"$a\"; done; } > '" + record + "'\n");
    QFile::setPermissions(QString::fromStdString(program), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    for (const std::string home : {"", "/data dir/%u"}) {
        const std::string exec = ExecOf(DesktopEntryText({program, home}));
        QStringList args = SplitExec(exec);
        ASSERT_EQ(args.last(), "%U") << exec;
        args.last() = "http://127.0.0.1/?q=%20";
        const QString run = args.takeFirst();
        if (home.empty()) {
            EXPECT_EQ(run.toStdString(), program);
        }
        EXPECT_EQ(QProcess::execute(run, args), 0) << exec;
        const std::string env = home.empty() ? qgetenv("NIMBRA_HOME").toStdString() : home;
        EXPECT_EQ(ReadFile(record), env + "\nhttp://127.0.0.1/?q=%20\n") << exec;
    }
}

TEST(DefaultBrowser, TakesTheRoleAndGivesTheOldDefaultsBack)
{
    XdgHomes homes;
    QDir().mkpath(homes.dir.path() + "/data/applications");
    // xdg-mime passes over an entry whose program is not on PATH.
    WriteFile(homes.dir.file("data/applications/other.desktop"),
              "[Desktop Entry]\nType=Application\nName=Other\nExec=true %U\nMimeType=x-scheme-handler/https;\n");
    QProcess::execute("xdg-mime", {"default", "other.desktop", "x-scheme-handler/https"});
    ASSERT_EQ(Query("x-scheme-handler/https"), "other.desktop");
    // xdg-settings wants the program to exist.
    const std::string program = homes.dir.file("nimbrab");
    WriteFile(program, "#!/bin/sh\n");
    QFile::setPermissions(QString::fromStdString(program), QFile::ReadOwner | QFile::ExeOwner);
    const SDefaultBrowserSetup setup{program, "", 20000};

    ASSERT_EQ(SetDefaultBrowser(setup, true), "");
    EXPECT_EQ(Query("x-scheme-handler/https"), kDesktopFileName);
    EXPECT_EQ(Query("text/html"), kDesktopFileName);
    EXPECT_EQ(QueryDefaultBrowser(20000).isDefault, std::optional(true));
    EXPECT_EQ(SplitExec(ExecOf(ReadFile(DesktopEntryPath()))), (QStringList{QString::fromStdString(program), "%U"}));

    ASSERT_EQ(SetDefaultBrowser(setup, false), "");
    EXPECT_EQ(Query("x-scheme-handler/https"), "other.desktop");
    EXPECT_NE(Query("x-scheme-handler/http"), kDesktopFileName);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(DesktopEntryPath())));
    CIniFile mimeApps(QString(homes.dir.path() + "/config/mimeapps.list").toStdString());
    EXPECT_EQ(mimeApps.GetString("Default Applications", "text/html", "none"), "none");
}

TEST(DefaultBrowser, MissingOrHangingToolsAreReported)
{
    XdgHomes homes;
    const std::string bin = homes.dir.file("bin");
    QDir().mkpath(QString::fromStdString(bin));
    ScopedEnv path("PATH", QByteArray::fromStdString(bin));
    EXPECT_FALSE(QueryDefaultBrowser(2000).isDefault.has_value());
    EXPECT_NE(SetDefaultBrowser({"/x/nimbrab", "", 2000}, true).find("xdg-utils"), std::string::npos);

    WriteFile(bin + "/xdg-mime", "#!/bin/sh\nexec /bin/sleep 30\n");
    QFile::setPermissions(QString::fromStdString(bin + "/xdg-mime"), QFile::ReadOwner | QFile::ExeOwner);
    // Given up when its time is over (the message says so), not waited for.
    const SDefaultBrowserQuery hung = QueryDefaultBrowser(300);
    EXPECT_FALSE(hung.isDefault.has_value());
    EXPECT_NE(hung.error.find("1 秒以内に終わりませんでした"), std::string::npos) << hung.error;
}
