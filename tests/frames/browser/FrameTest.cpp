#include "ui/CommandIds.h"
#include "widgets/bars/AddressCombo.h"
#include "frames/browser/ChildFrame.h"
#include "platform/MessageBox.h"

#include "TestBrowser.h"

#include <QApplication>
#include <QClipboard>
#include <QPointer>
#include <QTest>

#include <algorithm>

using namespace nimbra;
using testenv::FakeWebBrowser;

namespace {


class FrameTest : public testenv::BrowserTest {
protected:
    void OpenTabs(int count)
    {
        for (int i = 0; i < count; ++i)
            m_app->OpenUrl("http://t" + std::to_string(i) + "/");
    }
    std::vector<std::string> TabUrls() const
    {
        std::vector<std::string> urls;
        for (CNimbraView* view : Tabs()->Views())
            urls.push_back(view->GetLocationURL());
        return urls;
    }
    int ActiveIndex() const { return m_frame->ActiveView() ? m_frame->ActiveView()->m_nTab : -1; }
    void CloseActive() { ASSERT_TRUE(m_frame->ExecuteCommand(ID_FILE_CLOSE)); }
};

} // namespace

TEST(NextActiveTab, Rules)
{
    // rule, closing index, count -> index to select
    EXPECT_EQ(CMainFrame::NextActiveTab(0, 2, 5), -1);
    EXPECT_EQ(CMainFrame::NextActiveTab(1, 0, 5), 1);
    EXPECT_EQ(CMainFrame::NextActiveTab(1, 3, 5), 0);
    EXPECT_EQ(CMainFrame::NextActiveTab(2, 4, 5), 3);
    EXPECT_EQ(CMainFrame::NextActiveTab(2, 1, 5), 4);
    EXPECT_EQ(CMainFrame::NextActiveTab(3, 0, 5), 1);
    EXPECT_EQ(CMainFrame::NextActiveTab(3, 1, 5), 0);
    EXPECT_EQ(CMainFrame::NextActiveTab(4, 4, 5), 3);
    EXPECT_EQ(CMainFrame::NextActiveTab(4, 1, 5), 2);
}

TEST_F(FrameTest, LockedTabSurvivesCloseAndCloseAll)
{
    Start();
    OpenTabs(3);
    Tabs()->SelectTab(1);
    m_frame->ExecuteCommand(ID_LOCK_ACTIVE);
    CloseActive();
    EXPECT_EQ(Tabs()->GetItemCount(), 3);

    m_frame->ExecuteCommand(ID_CLOSE_ALL);
    ASSERT_EQ(Tabs()->GetItemCount(), 1);
    EXPECT_EQ(TabUrls(), (std::vector<std::string>{"http://t1/"}));
    EXPECT_EQ(m_frame->m_closeAllRestore, (UrlList{"http://t0/", "http://t2/"}));
}

// Closed tabs' frames go in later turns of the event loop, and the heap is
// trimmed after them.
TEST_F(FrameTest, ClosedTabsAreDeletedAndTheHeapTrimmed)
{
    Start();
    OpenTabs(3);
    std::vector<QPointer<CChildFrame>> frames;
    for (CNimbraView* view : Tabs()->Views())
        frames.emplace_back(CChildFrame::Of(view));
    EXPECT_FALSE(m_frame->HeapTrim().IsPending());
    m_frame->ExecuteCommand(ID_CLOSE_ALL);
    EXPECT_EQ(Tabs()->GetItemCount(), 0);
    EXPECT_TRUE(m_frame->HeapTrim().IsPending());
    QTRY_VERIFY_WITH_TIMEOUT(
        std::all_of(frames.begin(), frames.end(), [](const QPointer<CChildFrame>& f) { return f.isNull(); }), 60000);
}

TEST_F(FrameTest, ClosingTheActiveTabFollowsTabPosToCls)
{
    struct Case {
        int rule;
        int closing;
        std::string selected;
    };
    const Case cases[] = {
        {2, 4, "http://t3/"}, {2, 1, "http://t4/"}, {3, 0, "http://t1/"}, {3, 1, "http://t0/"},
        {1, 0, "http://t1/"}, {1, 2, "http://t0/"}, {4, 1, "http://t2/"}, {4, 4, "http://t3/"},
    };
    Start();
    for (const Case& c : cases) {
        m_frame->ExecuteCommand(ID_CLOSE_ALL);
        Option("TabPosToCls", c.rule);
        m_frame->ReloadSettings();
        OpenTabs(5);
        Tabs()->SelectTab(c.closing);
        CloseActive();
        ASSERT_NE(m_frame->ActiveView(), nullptr);
        EXPECT_EQ(m_frame->ActiveView()->GetLocationURL(), c.selected)
            << "TabPosToCls " << c.rule << " closing " << c.closing;
    }
}

TEST_F(FrameTest, ActivationOrderPicksThePreviouslyActiveTab)
{
    Start();
    OpenTabs(4);
    Tabs()->SelectTab(3);
    Tabs()->SelectTab(1);
    CloseActive();
    EXPECT_EQ(m_frame->ActiveView()->GetLocationURL(), "http://t3/");
}

TEST_F(FrameTest, BulkClosesSpareTheRightTab)
{
    Start();
    OpenTabs(4);
    Tabs()->SelectTab(2);
    m_frame->ExecuteCommand(ID_CLOSE_OTHERS_ACTIVE);
    EXPECT_EQ(TabUrls(), (std::vector<std::string>{"http://t2/"}));
    EXPECT_EQ(m_frame->m_closeAllRestore, (UrlList{"http://t0/", "http://t1/", "http://t3/"}));

    OpenTabs(2);
    m_frame->m_nContextTab = 1;
    m_frame->ExecuteCommand(ID_CLOSE_OTHERS_CONTEXT);
    EXPECT_EQ(TabUrls(), (std::vector<std::string>{"http://t0/"}));
    EXPECT_EQ(m_frame->m_nContextTab, -1);
    EXPECT_EQ(m_frame->m_closeAllRestore, (UrlList{"http://t2/", "http://t1/"}));
}

TEST_F(FrameTest, ClipboardOpensOnlyItsFirstLine)
{
    Start();
    OpenTabs(1);
    QApplication::clipboard()->setText("  http://first/ \nhttp://second/\n");
    m_frame->ExecuteCommand(ID_NEW_FROM_CLIPBOARD);
    EXPECT_EQ(TabUrls(), (std::vector<std::string>{"http://t0/", "http://first/"}));
    EXPECT_TRUE(m_frame->AddressCombo()->History().empty());
}

TEST_F(FrameTest, DroppedFilesOpenInTheActiveTabAndNewTabs)
{
    Start();
    OpenTabs(1);
    const QStringList files{"/tmp/one.html", "/tmp/two.html", "/tmp/three.html"};
    m_frame->OpenDroppedFiles(files, false);
    EXPECT_EQ(TabUrls(), (std::vector<std::string>{"/tmp/one.html", "/tmp/two.html", "/tmp/three.html"}));

    m_frame->OpenDroppedFiles(files, true);
    EXPECT_EQ(Tabs()->GetItemCount(), 6);
}

TEST_F(FrameTest, ListFileHomePageOpensEveryEntry)
{
    const std::string home = File("home.nbl");
    WriteListFile("UrlList", home, {"http://h1/", "http://h2/"});
    Option("MyHome", 1);
    Option("NewBlank", 1);
    Option("MyHomeUrl", home);
    Start();
    m_frame->ExecuteCommand(ID_FILE_NEW);
    EXPECT_EQ(TabUrls(), (std::vector<std::string>{"http://h1/", "http://h2/"}));
}

TEST_F(FrameTest, NewTabOpensBlankOrHome)
{
    Start();
    m_frame->ExecuteCommand(ID_FILE_NEW);
    EXPECT_EQ(TabUrls(), (std::vector<std::string>{"about:blank"}));
    Option("NewBlank", 1);
    m_frame->ReloadSettings();
    m_frame->ExecuteCommand(ID_FILE_NEW);
    EXPECT_EQ(TabUrls().back(), "about:home"); // the engine's own home page
}

TEST_F(FrameTest, ContextTabCommandsAndCopyFailures)
{
    std::vector<QString> messages;
    testenv::HandlerGuard guard(SetMessageHandler, [&messages](const QString& text) { messages.push_back(text); });
    Start();
    OpenTabs(3);
    m_frame->m_nContextTab = 0;
    m_frame->ExecuteCommand(ID_CONTEXT_RIGHT);
    EXPECT_EQ(TabUrls(), (std::vector<std::string>{"http://t1/", "http://t0/", "http://t2/"}));
    EXPECT_EQ(m_frame->m_nContextTab, -1);

    m_frame->m_nContextTab = 2;
    m_frame->ExecuteCommand(ID_COPY_URL);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "http://t2/");
    m_frame->ExecuteCommand(ID_COPY_TITLE); // no context tab any more
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], QStringLiteral("タイトルの取得に失敗しました。"));
}

TEST_F(FrameTest, CaptionShowsTheActivePage)
{
    FakeWebBrowser::Titles()["http://t0/"] = "First page";
    Start();
    EXPECT_EQ(m_frame->windowTitle(), QStringLiteral("Nimbra Browser"));
    OpenTabs(1);
    EXPECT_EQ(m_frame->windowTitle(), QStringLiteral("First page - Nimbra Browser"));
    // Shift+Enter: a tab loading in the background leaves the caption alone.
    m_frame->AddressCombo()->Go("http://t1/", 1, 1, 1, 1);
    EXPECT_EQ(m_frame->windowTitle(), QStringLiteral("First page - Nimbra Browser"));
}
