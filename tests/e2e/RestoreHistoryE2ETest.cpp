// Tabs restored at start-up, after a crash and from the recently closed
// list come back with their back and forward history.
#include "data/session/ListFile.h"
#include "data/session/TabHistoryFile.h"
#include "platform/Ini.h"
#include "ui/CommandIds.h"

#include "BrowserProcess.h"
#include "HttpServer.h"
#include "TestBrowser.h"
#include "XServer.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace nimbra;
using testenv::SpinUntil;

namespace {

constexpr int kLoadMs = 60000;

class RestoreHistoryE2E : public testenv::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        for (const char* path : {"/a", "/b", "/c"})
            m_server.AddHtml(path, QString::fromLatin1(path + 1));
    }

    std::string Url(const char* path) const { return m_server.Url(QString::fromLatin1(path)).toStdString(); }

    bool WaitShown(CNimbraView* view, const std::string& url)
    {
        return SpinUntil([&] { return view->GetLocationURL() == url && !view->Browser()->Busy(); }, kLoadMs);
    }

    // One tab that went A -> B -> C and back to B.
    CNimbraView* BrowseBackToB()
    {
        CNimbraView* view = OpenAndWait(Url("/a"));
        view->Navigate(Url("/b"));
        EXPECT_TRUE(WaitShown(view, Url("/b")));
        view->Navigate(Url("/c"));
        EXPECT_TRUE(WaitShown(view, Url("/c")));
        view->GoBack();
        EXPECT_TRUE(WaitShown(view, Url("/b")));
        return view;
    }

    // The only tab, restored on B, goes back to A and forward to C.
    void ExpectRestoredWithHistory()
    {
        ASSERT_TRUE(SpinUntil([&] { return m_frame->TabCount() == 1; }, kLoadMs));
        CNimbraView* view = m_frame->Views()[0];
        ASSERT_TRUE(WaitShown(view, Url("/b"))) << view->GetLocationURL();
        EXPECT_EQ(view->Browser()->BackList(), (std::vector<std::string>{"a"}));
        view->GoBack();
        EXPECT_TRUE(WaitShown(view, Url("/a"))) << view->GetLocationURL();
        view->GoForward();
        EXPECT_TRUE(WaitShown(view, Url("/b"))) << view->GetLocationURL();
        view->GoForward();
        EXPECT_TRUE(WaitShown(view, Url("/c"))) << view->GetLocationURL();
    }

    // The history the side file of `list` holds for its only entry.
    STabHistory SavedHistory(const std::string& list) const
    {
        UrlList urls;
        ReadListFile(list, urls);
        const std::vector<STabHistory> histories = CTabHistoryFile::Read(CTabHistoryFile::PathFor(list), urls);
        return histories.size() == 1 ? histories[0] : STabHistory();
    }

    static size_t Pages(const STabHistory& history) { return history.entries.size(); }

    void NextStart()
    {
        m_app.reset();
        NewApp();
        Option("StartupLogRestor", 1);
        Start();
        m_app->OpenStartupPages();
    }

    testenv::HttpServer m_server;
};

} // namespace

TEST_F(RestoreHistoryE2E, TheExitLogBringsBackAndForward)
{
    Start();
    BrowseBackToB();
    m_frame->close();
    ASSERT_EQ(Pages(SavedHistory(File("eaou.log"))), 3u) << testenv::ReadFile(File("eaou.log.history"));
    NextStart();
    ExpectRestoredWithHistory();
}

// The real program: the log loaded through the menu while the side bar has
// the focus leaves the focus in the restored page, whose keys then work.
TEST_F(RestoreHistoryE2E, TheLogLoadedFromTheMenuTakesTheFocusSoAltLeftGoesBack)
{
    Start();
    BrowseBackToB();
    m_frame->close();
    m_app.reset();
    testenv::XServer x;
    ASSERT_FALSE(x.Display().isEmpty());
    testenv::Browser program(m_home.path());
    program.SetEnv("QT_QPA_PLATFORM", "xcb");
    program.SetEnv("DISPLAY", x.Display());
    program.Start({});
    unsigned window = 0;
    ASSERT_TRUE(SpinUntil([&] { return (window = x.FindWindow("Nimbra Browser")) != 0 && x.IsViewable(window); },
                          kLoadMs));
    x.Xdo({"windowfocus", "--sync", QString::number(window)});
    for (const char* keys : {"alt+m", "alt+f", "g", "r"})
        EXPECT_EQ(x.Xdo({"key", "--delay", "80", keys}), 0) << keys;
    ASSERT_TRUE(SpinUntil([&] { return x.FindWindow("b - Nimbra Browser") != 0; }, kLoadMs));
    EXPECT_EQ(x.Xdo({"key", "alt+Left"}), 0);
    EXPECT_TRUE(SpinUntil([&] { return x.FindWindow("a - Nimbra Browser") != 0; }, 10000));
    EXPECT_TRUE(program.Terminate());
}

TEST_F(RestoreHistoryE2E, ADamagedSideFileRestoresTheUrlAlone)
{
    Start();
    BrowseBackToB();
    m_frame->close();
    const std::string side = CTabHistoryFile::PathFor(File("eaou.log"));
    std::string bytes = testenv::ReadFile(side);
    const size_t at = bytes.find(Url("/c"));
    ASSERT_NE(at, std::string::npos);
    bytes[at + bytes.size() % 7] ^= 0x01;
    testenv::WriteFile(side, bytes);

    NextStart();
    ASSERT_TRUE(SpinUntil([&] { return m_frame->TabCount() == 1; }, kLoadMs));
    CNimbraView* view = m_frame->Views()[0];
    ASSERT_TRUE(WaitShown(view, Url("/b")));
    EXPECT_TRUE(view->Browser()->BackList().empty());
    EXPECT_TRUE(view->Browser()->ForwardList().empty());
}

// The recovery file of a run killed with SIGKILL: the tab's history is made
// here, handed to the real program through its recovery file, kept by that
// program's running save and killed with it, then restored again here.
TEST_F(RestoreHistoryE2E, TheRecoveryFileOfAKilledProgramBringsBackAndForward)
{
    const std::string recovery = File("eaou-recovery.log");
    Start();
    BrowseBackToB();
    ASSERT_TRUE(SpinUntil([&] { return Pages(SavedHistory(recovery)) == 3; }, kLoadMs));
    const std::string list = testenv::ReadFile(recovery);
    const std::string side = testenv::ReadFile(CTabHistoryFile::PathFor(recovery));
    m_frame->close();
    m_app.reset();
    for (const char* name : {"eaou.log", "eaou.log.history"})
        QFile::remove(QString::fromStdString(File(name)));
    testenv::WriteFile(recovery, list);
    testenv::WriteFile(CTabHistoryFile::PathFor(recovery), side);
    CIniFile(File("nimbrab.ini")).WriteInt("Options", "StartupLogRestor", 1);

    {
        testenv::Browser program(m_home.path());
        program.Start({});
        // Restored from the recovery file, which became the log, then saved
        // again by the program's own running save, history and all.
        // The log first: once it is there, the recovery file read is the
        // program's own, not the one written here before it moved it.
        ASSERT_TRUE(SpinUntil(
            [&] {
                if (!QFile::exists(QString::fromStdString(File("eaou.log"))))
                    return false;
                const STabHistory history = SavedHistory(recovery);
                return Pages(history) == 3 && history.current == 1;
            },
            kLoadMs))
            << testenv::ReadFile(CTabHistoryFile::PathFor(recovery));
        program.Kill();
    }
    ASSERT_TRUE(QFile::exists(QString::fromStdString(recovery)));
    NextStart();
    ExpectRestoredWithHistory();
}

TEST_F(RestoreHistoryE2E, AReopenedClosedTabBringsItsHistoryAcrossARestart)
{
    Start();
    OpenAndWait(Url("/a"));
    CNimbraView* view = BrowseBackToB();
    Tabs()->SelectTab(view->m_nTab);
    ASSERT_TRUE(m_frame->ExecuteCommand(32912));
    ASSERT_EQ(m_frame->TabCount(), 1);
    m_frame->close();
    m_app.reset();
    NewApp();
    Start();
    ASSERT_TRUE(m_frame->ExecuteCommand(44257));
    ExpectRestoredWithHistory();
}
