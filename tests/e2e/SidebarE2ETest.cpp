#include "data/bookmarks/BookmarkFile.h"
#include "data/bookmarks/BookmarkMessages.h"
#include "platform/Ini.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "widgets/sidebar/NimbraBar.h"
#include "widgets/sidebar/SidebarCommands.h"

#include "BrowserProcess.h"
#include "HttpServer.h"
#include "TestBrowser.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidgetItem>
#include <atomic>
#include <thread>

using namespace nimbra;
using testenv::SpinUntil;
using B = nimbra::BookmarkItem;

namespace {

constexpr int kLoadMs = 60000;

class SidebarE2E : public testenv::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        for (const char* path : {"/start", "/a", "/f1", "/f2", "/s1", "/s2", "/s3", "/new"})
            m_server.AddHtml(path, QString::fromLatin1(path + 1));
    }

    std::string Url(const char* path) const { return m_server.Url(path).toStdString(); }
    CBookmarkTree* Tree() const { return SidebarCommandsOf(*m_frame)->Tree(); }
    QTreeWidgetItem* Item(const char* text) const
    {
        return Tree()->findItems(QString::fromUtf8(text), Qt::MatchExactly | Qt::MatchRecursive).value(0);
    }
    void Click(const char* text, bool onLabel, Qt::KeyboardModifiers modifiers = {})
    {
        const QRect hit = Tree()->HitRect(Item(text));
        const QPoint at = onLabel ? hit.center() : QPoint(hit.right() + 12, hit.center().y());
        QTest::mouseClick(Tree()->viewport(), Qt::LeftButton, modifiers, at);
    }
    int Requests(const char* path) const { return int(m_server.Requests().count(QString::fromLatin1(path))); }

    testenv::HttpServer m_server;
};

} // namespace

TEST_F(SidebarE2E, TreeOpensPagesAndKeysSwitchTheBar)
{
    WriteBookmarkFile(m_app->BookmarkPath(),
                      B::Folder({}, {B::Link("A", Url("/a")),
                                     B::Folder("F", {B::Link("f1", Url("/f1")), B::Link("f2", Url("/f2")),
                                                     B::Folder("Sub", {B::Link("s1", Url("/s1")),
                                                                       B::Link("s2", Url("/s2")),
                                                                       B::Link("s3", Url("/s3"))})})}));
    Start();
    OpenAndWait(Url("/start"));
    ASSERT_TRUE(SpinUntil([&] { return Item("A") && Tree()->viewport()->width() > 100; }, 5000));

    // A click on the label loads the page in the active tab.
    Click("A", true);
    // (The engine loads on this thread: wait by spinning, never by blocking.)
    ASSERT_TRUE(SpinUntil([&] { return Requests("/a") == 1; }, kLoadMs));
    EXPECT_TRUE(SpinUntil([&] { return m_frame->ActiveView()->GetLocationURL() == Url("/a"); }, kLoadMs));
    EXPECT_EQ(m_frame->TabCount(), 1);

    // Beside the label: nothing. With Shift: a new tab.
    Click("A", false);
    Click("A", true, Qt::ShiftModifier);
    EXPECT_TRUE(SpinUntil([&] { return Requests("/a") == 2; }, kLoadMs));
    EXPECT_EQ(m_frame->TabCount(), 2);

    // The folder's own two pages, not those of its sub-folder.
    Tree()->setCurrentItem(Item("F"));
    Tree()->RunCommand(CBookmarkTree::ID_TREE_OPEN_FOLDER);
    EXPECT_TRUE(SpinUntil([&] { return Requests("/f1") == 1 && Requests("/f2") == 1; }, kLoadMs));
    EXPECT_EQ(m_frame->TabCount(), 4);
    // Once every tab is idle, nothing more is on its way.
    EXPECT_TRUE(SpinUntil([&] {
        for (CNimbraView* view : m_frame->Views())
            if (view->Browser()->Busy())
                return false;
        return true;
    }, kLoadMs));
    EXPECT_EQ(Requests("/s1") + Requests("/s2") + Requests("/s3"), 0);
    EXPECT_EQ(Requests("/a"), 2);

    // F1 hides the bar, Ctrl+E shows the history search pane.
    m_frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_frame));
    CNimbraBar* bar = SidebarCommandsOf(*m_frame)->Bar();
    QTest::keyClick(m_frame, Qt::Key_F1);
    EXPECT_FALSE(bar->IsBarVisible());
    QTest::keyClick(m_frame, Qt::Key_E, Qt::ControlModifier);
    EXPECT_TRUE(bar->IsBarVisible());
    EXPECT_EQ(bar->SelectedPane(), 2);

    // The editor's reload message after the file changed shows the new link.
    WriteBookmarkFile(m_app->BookmarkPath(), B::Folder({}, {B::Link("New", Url("/new"))}));
    const QString dir = ToQ(DataDirectory());
    std::atomic<bool> answered = false;
    std::thread sender([dir, &answered] {
        ipc::SendWindowMessage(ipc::kBrowserClass, dir, {ipc::WM_USER_BOOKMARK_MENU_RELOAD, 0, {}});
        answered = true;
    });
    EXPECT_TRUE(SpinUntil([&] { return Item("New") != nullptr && answered; }, 10000));
    sender.join();
    EXPECT_EQ(Item("A"), nullptr);
}

TEST(SidebarProcessE2E, PaneWidthSideAndVisibilityComeBackAfterARestart)
{
    testenv::HttpServer server;
    server.AddHtml("/p", "P");
    QTemporaryDir home;
    const std::string dir = QFile::encodeName(home.path()).toStdString();
    CIniFile state(dir + "/barstate.ini");
    CIniFile settings(dir + "/nimbrab.ini");
    const char* section = "Nimbra-NimbraBar134";
    state.WriteString(section, "DockArea", "2");
    state.WriteString(section, "szVertCX", "260");
    settings.WriteInt("Options", "NimbraBarSelTab", 2);

    // Shown on the right, 260 wide, on pane 2; then the same hidden.
    for (const char* visible : {"1", "0"}) {
        state.WriteString(section, "Visible", visible);
        testenv::Browser browser(home.path());
        browser.Start({server.Url("/p")});
        ASSERT_TRUE(server.WaitForRequest("/p", kLoadMs));
        // Closed as the editor closes it, once the window answers.
        ASSERT_TRUE(SpinUntil([&] { return ipc::FindWindow(ipc::kBrowserClass, home.path()); }, kLoadMs));
        ipc::SendWindowMessage(ipc::kBrowserClass, home.path(), {ipc::WM_CLOSE, 0, {}});
        ASSERT_TRUE(browser.WaitForExit(kLoadMs));
        EXPECT_EQ(state.GetString(section, "Visible", ""), visible);
        EXPECT_EQ(state.GetString(section, "DockArea", ""), "2");
        EXPECT_EQ(state.GetString(section, "Floating", ""), "0");
        EXPECT_EQ(state.GetString(section, "szVertCX", ""), "260");
        EXPECT_EQ(settings.GetInt("Options", "NimbraBarSelTab", -1), 2);
    }
}
