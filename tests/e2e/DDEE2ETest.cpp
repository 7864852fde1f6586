#include "data/dde/DDECommandClient.h"
#include "platform/Ini.h"
#include "data/session/ListFile.h"

#include "BrowserProcess.h"
#include "HttpServer.h"
#include "TestEnv.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>
#include <QUrl>
#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace nimbra;
using testenv::Browser;

namespace {

// nbdde against the browser's DDE service on this test's session bus.
struct SReply {
    int exit = -1;
    std::string out;
};

class DDEE2E : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_service = "NBE2E" + std::to_string(QCoreApplication::applicationPid());
        for (const char* path : {"/1", "/2", "/3"})
            m_server.AddHtml(path, QStringLiteral("Page %1").arg(path + 1));
    }

    void StartBrowser(const QStringList& urls)
    {
        CIniFile(Path("nimbrab.ini")).WriteString("Options", "DDEServerName", m_service);
        m_browser.Start(urls);
        for (const QString& url : urls)
            ASSERT_TRUE(m_server.WaitForRequest(QUrl(url).path(), 60000));
        // The service answers once the frame is up.
        for (int i = 0; i < 100 && Nbdde({"request", "WWW_GetWindowInfo", "0xFFFFFFFF"}).exit == 2; ++i)
            QThread::msleep(100);
    }

    SReply Nbdde(QStringList args)
    {
        args.prepend(QString::fromStdString(m_service));
        args.prepend("--service");
        QProcess nbdde;
        nbdde.start(qEnvironmentVariable("NIMBRA_BIN_DIR") + "/nbdde", args);
        nbdde.waitForFinished(20000);
        return {nbdde.exitStatus() == QProcess::NormalExit ? nbdde.exitCode() : -1,
                nbdde.readAllStandardOutput().toStdString()};
    }

    std::string Path(const char* name) const { return m_home.file(name); }
    std::string Url(const char* path) const { return m_server.Url(path).toStdString(); }

    testenv::HttpServer m_server;
    testenv::TempDir m_home;
    Browser m_browser{m_home.path()};
    std::string m_service;
};

} // namespace

TEST_F(DDEE2E, TopicsOfARunningBrowser)
{
    StartBrowser({m_server.Url("/1"), m_server.Url("/2"), m_server.Url("/3")});

    // The window table: identifiers 1, 2, 3, then zeros, 499 bytes.
    CDDECommandClient client(m_service);
    const auto list = client.Request("WWW_ListWindows", "0", 1);
    ASSERT_EQ(list.exit, 0);
    ASSERT_EQ(list.data.size(), 499u);
    const std::string expected("\x01\x00\x00\x00\x02\x00\x00\x00\x03\x00\x00\x00", 12);
    EXPECT_EQ(list.data.substr(0, 12), expected);
    EXPECT_EQ(list.data.find_first_not_of('\0', 12), std::string::npos);

    // Titles arrive with the documents.
    SReply info;
    for (int i = 0; i < 100; ++i) {
        info = Nbdde({"request", "WWW_GetWindowInfo", "1"});
        if (info.out.find("Page 1") != std::string::npos)
            break;
        QThread::msleep(100);
    }
    EXPECT_EQ(info.exit, 0);
    EXPECT_EQ(info.out, "\"" + Url("/1") + "\",\"Page 1\",\"\"\n");

    // Any execute is refused.
    EXPECT_EQ(Nbdde({"execute", "WWW_OpenURL", "x"}).exit, 1);
    EXPECT_EQ(Nbdde({"execute", "WWW_Activate", "x"}).exit, 1);

    // The current tab goes to about:blank.
    EXPECT_EQ(Nbdde({"request", "WWW_OpenURL", "\"about:blank\",,0xFFFFFFFF,0x0"}).exit, 0);
    SReply active;
    for (int i = 0; i < 100; ++i) {
        active = Nbdde({"request", "WWW_GetWindowInfo", "0xFFFFFFFF"});
        if (active.out.rfind("\"about:blank\"", 0) == 0)
            break;
        QThread::msleep(100);
    }
    EXPECT_EQ(active.out.rfind("\"about:blank\"", 0), 0u) << active.out;

    EXPECT_EQ(Nbdde({"request", "WWW_Activate", "0XFFFFFFFF"}).exit, 0);

    // A FIFO named as a list file or a page is refused at once; the browser
    // keeps answering and still ends normally.
    ASSERT_EQ(::mkfifo(Path("x.nbl").c_str(), 0600), 0);
    EXPECT_EQ(Nbdde({"request", "WWW_OpenURL", QString::fromStdString(Path("x.nbl"))}).exit, 0);
    EXPECT_EQ(Nbdde({"request", "WWW_ListWindows", "0", "--format", "2"}).exit, 0);

    // Exit closes the browser the normal way: log and settings written.
    EXPECT_EQ(Nbdde({"request", "WWW_Exit", "0"}).exit, 1); // only a poke exits
    EXPECT_EQ(Nbdde({"poke", "WWW_Exit", "0", "x"}).exit, 0);
    ASSERT_TRUE(m_browser.WaitForExit(20000));
    UrlList log;
    ReadListFile(Path("eaou.log"), log);
    EXPECT_EQ(log.size(), 3u);
    EXPECT_EQ(CIniFile(Path("nimbrab.ini")).GetInt("Options", "CWC", -1), 0);
}

TEST_F(DDEE2E, WindowThreeDoesNotExistWithTwoTabs)
{
    StartBrowser({m_server.Url("/1"), m_server.Url("/2")});
    EXPECT_EQ(Nbdde({"request", "WWW_GetWindowInfo", "2"}).exit, 0);
    EXPECT_EQ(Nbdde({"request", "WWW_GetWindowInfo", "3"}).exit, 1);
    EXPECT_TRUE(m_browser.Terminate());
}

TEST_F(DDEE2E, ClosingWhileAPageDialogIsOpenEndsCleanly)
{
    // Exit by DDE or by SIGTERM while the page waits in its dialog: the
    // dialog is answered as cancelled, the browser ends normally and
    // writes its files.
    const struct {
        const char* path;
        const char* call;
        const char* answer;
        bool signal;
    } cases[] = {
        {"/alert", "alert('a')", "/answered?undefined", false},
        {"/confirm", "confirm('c')", "/answered?false", true},
        {"/prompt", "prompt('p', 'x')", "/answered?null", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        m_server.AddHtml(c.path, "page",
                         QStringLiteral("<script>setTimeout(function () { document.title = 'asking';"
                                        " var r = %1; fetch('/answered?' + r); }, 0);</script>")
                             .arg(c.call));
        StartBrowser({m_server.Url(c.path)});
        // The title changes just before the dialog opens.
        SReply info;
        for (int i = 0; i < 200 && info.out.find("asking") == std::string::npos; ++i) {
            info = Nbdde({"request", "WWW_GetWindowInfo", "0xFFFFFFFF"});
            QThread::msleep(50);
        }
        ASSERT_NE(info.out.find("asking"), std::string::npos) << info.out;
        if (c.signal) {
            ASSERT_TRUE(m_browser.Terminate());
        } else {
            EXPECT_EQ(Nbdde({"poke", "WWW_Exit", "0", "x"}).exit, 0);
            ASSERT_TRUE(m_browser.WaitForExit(20000));
        }
        EXPECT_TRUE(m_server.WaitForRequest(c.answer, 5000));
        UrlList log;
        ReadListFile(Path("eaou.log"), log);
        EXPECT_EQ(log, (UrlList{Url(c.path)}));
        EXPECT_EQ(CIniFile(Path("nimbrab.ini")).GetInt("Options", "CWC", -1), 0);
        QFile::remove(QString::fromStdString(Path("nimbrab.ini")));
    }
}
