#include "frames/browser/ChildFrame.h"
#include "ui/MenuResource.h"
#include "platform/Ini.h"
#include "data/session/ListFile.h"

#include "BrowserProcess.h"
#include "HttpServer.h"
#include "TestBrowser.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <gtest/gtest.h>

using namespace nimbra;
using testenv::SpinUntil;

namespace {

constexpr int kLoadMs = 60000;

UrlList ReadList(const std::string& path)
{
    UrlList list;
    ReadListFile(path, list);
    return list;
}

} // namespace

TEST(SessionProcessE2E, AKilledBrowserGetsItsTabsBackAndTheLogKeepsThePreviousSession)
{
    testenv::HttpServer server;
    // A tab restored with its history may show the engine's cached copy;
    // these pages may not be kept, so each restore asks the server again.
    for (const char* path : {"/a", "/b", "/c", "/old"}) {
        server.AddHtml(path, path + 1);
        server.AddHeaders(path, "Cache-Control: no-store\r\n");
    }
    testenv::TempDir home;
    const std::string log = home.file("eaou.log");
    const std::string recovery = home.file("eaou-recovery.log");
    const UrlList previous{server.Url("/old").toStdString()};
    WriteListFile(kHeadingOpenTabsLog, log, previous);
    const UrlList urls{server.Url("/a").toStdString(), server.Url("/b").toStdString(),
                       server.Url("/c").toStdString()};
    {
        testenv::Browser browser(home.path());
        browser.Start({server.Url("/a"), server.Url("/b"), server.Url("/c")});
        ASSERT_TRUE(server.WaitForRequest("/c", kLoadMs));
        // The recovery file follows the open tabs within a few seconds.
        ASSERT_TRUE(SpinUntil([&] { return ReadList(recovery) == urls; }, 10000)) << testenv::ReadFile(recovery);
        EXPECT_EQ(ReadList(log), previous);
        browser.Kill();
    }

    CIniFile(home.file("nimbrab.ini")).WriteInt("Options", "StartupLogRestor", 1);
    testenv::Browser next(home.path());
    next.Start({});
    const auto requestedTwice = [&] {
        const QStringList requests = server.Requests();
        return requests.count("/a") >= 2 && requests.count("/b") >= 2 && requests.count("/c") >= 2;
    };
    EXPECT_TRUE(SpinUntil(requestedTwice, kLoadMs)) << server.Requests().join(' ').toStdString();
    ASSERT_TRUE(next.Terminate());
    // Restored once each, in their order, and saved again at the exit.
    EXPECT_EQ(ReadList(log), urls);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(recovery)));
    EXPECT_EQ(server.Requests().count("/old"), 0);
}

namespace {

class SessionE2E : public testenv::BrowserTest {
protected:
    testenv::HttpServer m_server;
};

} // namespace

TEST_F(SessionE2E, RecentlyClosedPagesComeBackAfterANormalExit)
{
    m_server.AddHtml("/first", "First page");
    m_server.AddHtml("/second", "Second page");
    m_server.AddHtml("/stays", "Stays");
    m_bRealEngine = true;
    Start();
    CNimbraView* first = OpenAndWait(m_server.Url("/first").toStdString());
    CNimbraView* second = OpenAndWait(m_server.Url("/second").toStdString());
    OpenAndWait(m_server.Url("/stays").toStdString());
    Tabs()->SelectTab(first->m_nTab);
    ASSERT_TRUE(m_frame->ExecuteCommand(32912));
    Tabs()->SelectTab(second->m_nTab);
    ASSERT_TRUE(m_frame->ExecuteCommand(32912));
    m_frame->close();

    CIniFile rcul(File("rcul.ini"));
    EXPECT_EQ(rcul.GetString("RecentClosedUrl0", "Url", ""), m_server.Url("/second").toStdString());
    EXPECT_EQ(rcul.GetString("RecentClosedUrl1", "Title", ""), "First page");
    EXPECT_EQ(ReadList(File("eaou.log")), (UrlList{m_server.Url("/stays").toStdString()}));

    // The next start, on the same files.
    m_app.reset();
    m_app = std::make_unique<CNimbraApp>();
    m_app->InitPaths();
    m_bRealEngine = false;
    Start();
    QMenu* recent = FindPopup(m_frame->MainMenu(), {0, 6});
    ASSERT_NE(recent, nullptr);
    QStringList texts;
    for (QAction* action : recent->actions())
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    EXPECT_EQ(texts, (QStringList{"&1 Second page", "&2 First page", "-", "終了時に保存する(&E)", "すべて開く(&O)"}));
    ASSERT_TRUE(m_frame->ExecuteCommand(44258));
    ASSERT_EQ(m_frame->TabCount(), 1);
    EXPECT_EQ(m_frame->Views()[0]->m_strUrl, m_server.Url("/first").toStdString());
}
