#include "platform/Paths.h"
#include "widgets/bars/AddressCombo.h"
#include "frames/browser/ChildFrame.h"
#include "ui/MenuResource.h"
#include "platform/Ini.h"
#include "platform/Text.h"
#include "data/session/OpenTabsAutoSave.h"
#include "data/session/SessionCommands.h"

#include "TestBrowser.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QFile>
#include <QRegularExpression>

using namespace nimbra;
using testenv::FakeWebBrowser;
using testenv::SpinUntil;

namespace {

class SessionTest : public testenv::BrowserTest {
protected:
    CNimbraView* Open(const std::string& url)
    {
        CNimbraView* view = m_app->OpenUrl(url);
        EXPECT_NE(view, nullptr);
        return view;
    }
    std::vector<std::string> Urls() const
    {
        std::vector<std::string> urls;
        for (CNimbraView* view : m_frame->Views())
            urls.push_back(view->m_strUrl);
        return urls;
    }
    UrlList ReadList(const std::string& path) const
    {
        UrlList list;
        ReadListFile(path, list);
        return list;
    }
    void Run(int id) { EXPECT_TRUE(m_frame->ExecuteCommand(id)) << id; }
    void RunOnTab(int id, int tab)
    {
        m_frame->m_nContextTab = tab;
        Run(id);
        EXPECT_EQ(m_frame->m_nContextTab, -1);
    }
    // Closes the browser as the user does and starts it again on the same files.
    void Restart()
    {
        m_frame->close();
        m_app.reset();
        FakeWebBrowser::Titles().clear();
        m_app = std::make_unique<CNimbraApp>();
        m_app->SetShell(std::make_unique<testenv::RecordingShell>(&m_shell));
        m_app->InitPaths();
        Start();
    }
    QStringList RecentMenuTexts() const
    {
        QStringList texts;
        QMenu* menu = FindPopup(m_frame->MainMenu(), {0, 6});
        EXPECT_NE(menu, nullptr);
        if (menu)
            for (QAction* action : menu->actions())
                texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
        return texts;
    }
};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

} // namespace

// ---- list files and the open-tabs log

TEST_F(SessionTest, SaveLogWritesTheTabsInTabOrder)
{
    Start();
    Open("http://a/");
    Open("http://b/?x=<1>&y=2");
    Open("http://c/");
    Run(32869);
    const std::vector<std::string> lines = Lines(testenv::ReadFile(File("eaou.log")));
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[1], "<H1>ExitAppOpenedUrls</H1>");
    EXPECT_EQ(lines[4], "\t<LI>http://a/");
    EXPECT_EQ(lines[5], "\t<LI>http://b/?x=<1>&y=2");
    EXPECT_EQ(lines[6], "\t<LI>http://c/");
    EXPECT_EQ(ReadList(File("eaou.log")), (UrlList{"http://a/", "http://b/?x=<1>&y=2", "http://c/"}));
}

TEST_F(SessionTest, ATabThatNeverLoadedIsSavedWithItsOwnUrl)
{
    Start();
    Open("http://a/");
    CNimbraView* slow = m_frame->CreateNewView();
    Fake(slow)->holding = true;
    slow->Navigate("http://slow/");
    ASSERT_TRUE(slow->GetLocationURL().empty());
    Run(32869);
    EXPECT_EQ(ReadList(File("eaou.log")), (UrlList{"http://a/", "http://slow/"}));
}

TEST_F(SessionTest, RestoreFromLogHonoursRepeatCheckButNotTheStartupList)
{
    Option("StartOpenUrl", 1);
    WriteListFile(kHeadingStartup, File("startup.html"), {"http://s/"});
    WriteListFile(kHeadingOpenTabsLog, File("eaou.log"), {"http://a/", "http://b/", "", "http://a/", "http://s/"});
    Start();
    Run(32866);
    EXPECT_EQ(Urls(), (std::vector<std::string>{"http://a/", "http://b/", "http://s/"}));

    Option("LogRepeatCheck", 0);
    m_frame->ReloadSettings();
    Run(32866);
    EXPECT_EQ(Urls().size(), 3u + 4u);
    EXPECT_EQ(Urls()[5], "http://a/");
}

TEST_F(SessionTest, StartupListOpensOnlyWithOneButEveryNonZeroValueSkipsItsEntries)
{
    WriteListFile(kHeadingStartup, File("startup.html"), {"http://s/", "http://t/"});
    WriteListFile(kHeadingOpenTabsLog, File("eaou.log"), {"http://s/", "http://a/"});
    Option("StartupLogRestor", 1);
    Option("StartOpenUrl", 2);
    Start();
    m_app->OpenStartupPages();
    EXPECT_EQ(Urls(), (std::vector<std::string>{"http://a/"}));
}

TEST_F(SessionTest, SaveListFileProposesADatedNameAndRemembersTheFolder)
{
    Option("LastSavePath", std::string("/old/folder"));
    Start();
    Open("http://a/");
    Open("http://b/");
    struct {
        int calls = 0;
        bool save = false;
        std::string folder, name;
    } seen;
    std::string answer;
    testenv::HandlerGuard dialog(SetListFileDialog, [&](QWidget*, bool save, const std::string& folder, const std::string& name) {
        ++seen.calls;
        seen.save = save;
        seen.folder = folder;
        seen.name = name;
        return answer;
    });

    Run(32876); // cancelled
    EXPECT_EQ(seen.calls, 1);
    EXPECT_TRUE(seen.save);
    EXPECT_EQ(seen.folder, "/old/folder");
    EXPECT_EQ(m_app->Settings().GetString(EKey::LastSavePath), "/old/folder");

    answer = File("sub") + "/tabs.nbl";
    QDir().mkpath(QString::fromStdString(File("sub")));
    Run(32876);
    EXPECT_EQ(testenv::ReadFile(answer).substr(0, 24), "<HTML>\r\n<H1>UrlList</H1>");
    EXPECT_EQ(ReadList(answer), (UrlList{"http://a/", "http://b/"}));
    EXPECT_EQ(m_app->Settings().GetString(EKey::LastSavePath), File("sub"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d\\([日月火水木金土]\\)\\d\\d-\\d\\d-\\d\\d-\\d{1,3}$"))
                    .match(ToQ(seen.name))
                    .hasMatch())
        << seen.name;
}

TEST(ListFileNames, DateWeekdayAndMilliseconds)
{
    EXPECT_EQ(DefaultListFileName(QDateTime(QDate(2001, 5, 7), QTime(13, 4, 5, 6))), "2001-05-07(月)13-04-05-6");
    EXPECT_EQ(DefaultListFileName(QDateTime(QDate(2024, 5, 1), QTime(13, 4, 5, 7))), "2024-05-01(水)13-04-05-7");
    EXPECT_EQ(DefaultListFileName(QDateTime(QDate(2023, 12, 31), QTime(0, 0, 0, 999))), "2023-12-31(日)00-00-00-999");
    EXPECT_EQ(DefaultListFileName(QDateTime(QDate(2024, 1, 6), QTime(23, 59, 59, 0))), "2024-01-06(土)23-59-59-0");
    EXPECT_EQ(FolderOf("/home/u/lists/a.nbl"), "/home/u/lists");
    EXPECT_EQ(FolderOf("a.nbl"), "");
    EXPECT_EQ(FolderOf("/a.nbl"), "");
}

TEST_F(SessionTest, OpenListFileOpensEveryEntryAndRemembersTheFolder)
{
    Start();
    testenv::WriteFile(File("hand.nbl"), "<ul>\n<LI>http://x/\n<li>http://lower/\n  <LI>http://y/  \n<LI>\n");
    std::string folder;
    std::string answer;
    testenv::HandlerGuard dialog(SetListFileDialog, [&](QWidget*, bool save, const std::string& f, const std::string&) {
        EXPECT_FALSE(save);
        folder = f;
        return answer;
    });
    Run(32877);
    EXPECT_EQ(m_frame->TabCount(), 0);
    EXPECT_EQ(m_app->Settings().GetString(EKey::LastOpenPath), "");

    answer = File("hand.nbl");
    Run(32877);
    EXPECT_EQ(Urls(), (std::vector<std::string>{"http://x/", "http://y/"}));
    EXPECT_EQ(m_app->Settings().GetString(EKey::LastOpenPath), QFile::encodeName(m_home.path()).toStdString());
    Run(32877);
    EXPECT_EQ(folder, QFile::encodeName(m_home.path()).toStdString());
}

TEST_F(SessionTest, RestoreCloseAllReopensTheClosedTabsAndCanBeRepeated)
{
    Start();
    Open("http://a/");
    CNimbraView* locked = Open("http://locked/");
    Open("http://c/");
    locked->m_bNaviLock = true;
    Run(32775);
    ASSERT_EQ(Urls(), (std::vector<std::string>{"http://locked/"}));
    Run(32941);
    EXPECT_EQ(Urls(), (std::vector<std::string>{"http://locked/", "http://a/", "http://c/"}));
    Run(32941);
    EXPECT_EQ(m_frame->TabCount(), 5);
}

TEST_F(SessionTest, RegisterStartupUrlAppendsTheContextTabWithoutCheckingRepeats)
{
    Start();
    Open("http://a/");
    Open("ab");
    RunOnTab(61237, 0);
    RunOnTab(61237, 0);
    RunOnTab(61237, 1); // too short
    const std::vector<std::string> lines = Lines(testenv::ReadFile(File("startup.html")));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], "<H1>Startup URL List</H1>");
    EXPECT_EQ(ReadList(File("startup.html")), (UrlList{"http://a/", "http://a/"}));
}

TEST_F(SessionTest, ExitSavesTheLogOnlyWhenConfigured)
{
    Option("ExitSaveLog", 0);
    Start();
    Open("http://a/");
    m_frame->close();
    EXPECT_FALSE(QFile::exists(QString::fromStdString(File("eaou.log"))));
}

// ---- keeping the log current while running

TEST_F(SessionTest, TheRecoveryFileFollowsTheTabsWhileTheLogKeepsThePreviousSession)
{
    WriteListFile(kHeadingOpenTabsLog, File("eaou.log"), {"http://old/"});
    Start();
    COpenTabsAutoSave* saver = OpenTabsAutoSaveOf(*m_frame);
    ASSERT_NE(saver, nullptr);
    // Started before the first write, so the spacing after it is measured
    // in full however late the test sees that write.
    QElapsedTimer since;
    since.start();
    Open("http://a/");
    Open("http://b/");
    ASSERT_TRUE(SpinUntil([&] { return saver->WriteCount() == 1; }, 10000));
    EXPECT_EQ(ReadList(File("eaou-recovery.log")), (UrlList{"http://a/", "http://b/"}));
    EXPECT_EQ(ReadList(File("eaou.log")), (UrlList{"http://old/"}));

    // Changes right after a write wait for the two-second spacing, and
    // several of them make one write.
    Fake(Tabs()->ViewAt(0))->ClickLink("http://a2/");
    CChildFrame::Of(Tabs()->ViewAt(1))->close();
    Open("http://c/");
    ASSERT_TRUE(SpinUntil([&] { return saver->WriteCount() == 2; }, 10000));
    EXPECT_GE(since.elapsed(), COpenTabsAutoSave::kMinIntervalMs);
    EXPECT_EQ(ReadList(File("eaou-recovery.log")), (UrlList{"http://a2/", "http://c/"}));
    EXPECT_TRUE(SpinUntil([&] { return !saver->IsPending(); }, 10000));
    EXPECT_EQ(saver->WriteCount(), 2);

    // The log still brings back the previous session.
    Run(32866);
    EXPECT_EQ(Urls(), (std::vector<std::string>{"http://a2/", "http://c/", "http://old/"}));
}

TEST_F(SessionTest, AStartAfterACrashMakesTheRecoveryFileTheLog)
{
    WriteListFile(kHeadingOpenTabsLog, File("eaou.log"), {"http://old/"});
    WriteListFile(kHeadingOpenTabsLog, File("eaou-recovery.log"), {"http://open/", "http://at-crash/"});
    Option("StartupLogRestor", 1);
    Start();
    m_app->OpenStartupPages();
    EXPECT_EQ(Urls(), (std::vector<std::string>{"http://open/", "http://at-crash/"}));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(File("eaou-recovery.log"))));
}

TEST_F(SessionTest, ClosingTheTabsAtExitDoesNotOverwriteTheExitLog)
{
    Start();
    Open("http://a/");
    Open("http://b/");
    COpenTabsAutoSave* saver = OpenTabsAutoSaveOf(*m_frame);
    ASSERT_TRUE(saver->IsPending());
    m_frame->close();
    EXPECT_TRUE(SpinUntil([&] { return !saver->IsPending(); }, 10000));
    EXPECT_EQ(ReadList(File("eaou.log")), (UrlList{"http://a/", "http://b/"}));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(File("eaou-recovery.log"))));
}

TEST_F(SessionTest, NothingIsWrittenWhileRunningWhenTheExitDoesNotSave)
{
    Option("ExitSaveLog", 0);
    WriteListFile(kHeadingOpenTabsLog, File("eaou.log"), {"http://kept/"});
    Start();
    Open("http://a/");
    EXPECT_FALSE(OpenTabsAutoSaveOf(*m_frame)->IsPending());
    EXPECT_EQ(ReadList(File("eaou.log")), (UrlList{"http://kept/"}));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(File("eaou-recovery.log"))));
}

// ---- recently closed pages

TEST_F(SessionTest, RecentlyClosedMenuLabelsAndCommands)
{
    Start();
    EXPECT_EQ(RecentMenuTexts(), (QStringList{"-", "終了時に保存する(&E)", "すべて開く(&O)"}));
    EXPECT_FALSE(m_frame->Router().Query(32865).enabled);

    for (int i = 0; i < 21; ++i) {
        const std::string url = "http://p" + std::to_string(i) + "/";
        FakeWebBrowser::Titles()[url] = "Page " + std::to_string(i);
        CChildFrame::Of(Open(url))->close();
    }
    const QStringList texts = RecentMenuTexts();
    ASSERT_EQ(texts.size(), 19 + 3);
    EXPECT_EQ(texts[0], "&1 Page 20");
    EXPECT_EQ(texts[8], "&9 Page 12");
    EXPECT_EQ(texts[9], "&A Page 11");
    EXPECT_EQ(texts[18], "&J Page 2");

    // The same page closed again moves to the top, once.
    CChildFrame::Of(Open("http://p5/"))->close();
    EXPECT_EQ(RecentMenuTexts()[0], "&1 Page 5");
    EXPECT_EQ(RecentMenuTexts().filter(QRegularExpression(QStringLiteral(" Page 5$"))).size(), 1);

    // An entry opens in a new tab and stays.
    Open("http://keep/");
    Run(44257 + 1);
    EXPECT_EQ(Urls(), (std::vector<std::string>{"http://keep/", "http://p20/"}));
    EXPECT_EQ(m_frame->RecentClosed().Entries().size(), 19u);

    Run(32964);
    EXPECT_EQ(m_frame->TabCount(), 2 + 19);
}

TEST_F(SessionTest, LastClosedUrlReopensEvenABlankPage)
{
    Option("BookmarkNewTab", 0);
    Start();
    Open("http://a/");
    CNimbraView* blank = Open("about:blank");
    Tabs()->SelectTab(0);
    CChildFrame::Of(blank)->close();
    EXPECT_TRUE(m_frame->RecentClosed().Entries().empty());
    EXPECT_TRUE(m_frame->Router().Query(32865).enabled);
    Run(32865);
    // BookmarkNewTab 0: in the active tab.
    EXPECT_EQ(m_frame->TabCount(), 1);
    EXPECT_EQ(m_frame->ActiveView()->GetLocationURL(), "about:blank");
}

TEST_F(SessionTest, LongTitlesAreShortenedInTheMenu)
{
    Start();
    const std::string ascii(60, 'x');
    const std::string wide = std::string(49, 'a') + "日本"; // 日 straddles the 50th cell
    FakeWebBrowser::Titles()["http://ascii/"] = ascii;
    FakeWebBrowser::Titles()["http://wide/"] = wide;
    CChildFrame::Of(Open("http://ascii/"))->close();
    CChildFrame::Of(Open("http://wide/"))->close();
    const QStringList texts = RecentMenuTexts();
    EXPECT_EQ(texts[0].toStdString(), "&1 " + std::string(49, 'a') + "....");
    EXPECT_EQ(texts[1].toStdString(), "&2 " + std::string(50, 'x') + "...");
}

TEST_F(SessionTest, RecentlyClosedListSurvivesARestartUnlessSwitchedOff)
{
    Start();
    FakeWebBrowser::Titles()["http://a/"] = "A";
    CChildFrame::Of(Open("http://a/"))->close();
    CChildFrame::Of(Open("http://b/"))->close();
    Open("http://open-at-exit/");
    Restart();
    EXPECT_EQ(RecentMenuTexts(), (QStringList{"&1 http://b/", "&2 A", "-", "終了時に保存する(&E)", "すべて開く(&O)"}));
    EXPECT_TRUE(m_frame->Router().Query(61246).checked.value_or(false));

    Run(61246);
    EXPECT_FALSE(m_frame->Router().Query(61246).checked.value_or(true));
    Restart();
    EXPECT_FALSE(QFile::exists(QString::fromStdString(File("rcul.ini"))));
    EXPECT_EQ(CIniFile(File("nimbrab.ini")).GetInt("Options", "RectUrlEnable", -1), 0);
    EXPECT_EQ(RecentMenuTexts(), (QStringList{"-", "終了時に保存する(&E)", "すべて開く(&O)"}));
}

TEST(RecentClosedFile, LoadsUpToTheFirstMissingUrlAndRemovesStaleSections)
{
    testenv::TempDir home;
    const std::string path = home.file("rcul.ini");
    testenv::WriteFile(path, "[RecentClosedUrl0]\r\nTitle=T0\r\nUrl=http://0/\r\n"
                             "[RecentClosedUrl1]\r\nUrl=http://1/\r\n"
                             "[RecentClosedUrl2]\r\nTitle=T2\r\nUrl=http://2/\r\n"
                             "[RecentClosedUrl3]\r\nTitle=T3\r\n"
                             "[RecentClosedUrl4]\r\nTitle=T4\r\nUrl=http://4/\r\n"
                             "[Other]\r\nKey=1\r\n");
    CRecentClosed recent;
    int changes = 0;
    recent.SetChangedHandler([&] { ++changes; });
    recent.Load(path);
    EXPECT_EQ(changes, 1);
    ASSERT_EQ(recent.Entries().size(), 3u);
    // An entry without a title keeps its place.
    EXPECT_EQ(recent.Entries()[1].url, "http://1/");
    EXPECT_EQ(recent.Entries()[1].title, "");
    EXPECT_EQ(recent.Entries()[2].title, "T2");

    recent.AddRecentClosed("http://2/", "T2 again");
    ASSERT_TRUE(recent.Save(path));
    CIniFile ini(path);
    EXPECT_EQ(ini.SectionNames(),
              (std::vector<std::string>{"RecentClosedUrl0", "RecentClosedUrl1", "RecentClosedUrl2", "Other"}));
    EXPECT_EQ(ini.GetString("RecentClosedUrl0", "Title", ""), "T2 again");
    CRecentClosed again;
    again.Load(path);
    ASSERT_EQ(again.Entries().size(), 3u);
    EXPECT_EQ(again.Entries()[2].url, "http://1/");

    CRecentClosed missing;
    missing.Load(home.file("none.ini"));
    EXPECT_TRUE(missing.Entries().empty());
}

// ---- blocked lists

TEST_F(SessionTest, RegisteringTheActiveTabsUrlBlocksItAtOnceAndClosesTheTab)
{
    Option("CloseUrl", 1);
    Option("RLCCloseTab", 1);
    Start();
    CNimbraView* a = Open("http://a/");
    Open("http://b/");
    Run(32875);
    Run(32875);
    EXPECT_TRUE(a->m_bMarkedForClose);
    EXPECT_EQ(m_frame->m_nCWC, 0);
    const std::vector<std::string> lines = Lines(testenv::ReadFile(File("close.html")));
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[1], "<H1>Close URL List</H1>");
    EXPECT_EQ(ReadList(File("close.html")), (UrlList{"http://a/", "http://a/"}));
    EXPECT_EQ(m_app->OpenUrl("http://a/"), nullptr);
    SpinUntil([&] { return Urls().size() == 1; }, 2000);
    EXPECT_EQ(Urls(), (std::vector<std::string>{"http://b/"}));
    EXPECT_TRUE(m_frame->RecentClosed().Entries().empty());
}

TEST_F(SessionTest, RegisteringWithoutClosingAndFromTheTabMenu)
{
    Option("RLCCloseTab", 0);
    Start();
    FakeWebBrowser::Titles()["http://b/"] = "Ad window";
    Open("http://a/");
    Open("http://b/");
    Run(32875);
    Run(32960);
    RunOnTab(32842, 1);
    RunOnTab(32959, 1);
    for (CNimbraView* view : m_frame->Views())
        EXPECT_FALSE(view->m_bMarkedForClose || Tabs()->IsPendingClose(view)) << view->m_strUrl;
    EXPECT_EQ(m_frame->TabCount(), 2);
    EXPECT_EQ(ReadList(File("close.html")), (UrlList{"http://a/", "http://b/"}));
    EXPECT_EQ(ReadList(File("closetitle.html")), (UrlList{"http://a/", "Ad window"}));
    EXPECT_EQ(Lines(testenv::ReadFile(File("closetitle.html")))[1], "<H1>Close Title List</H1>");

    Option("RLCCloseTab", 1);
    m_frame->ReloadSettings();
    EXPECT_EQ(m_frame->BlockedLists().urls().size(), 2u);
    RunOnTab(32842, 1);
    EXPECT_EQ(Urls(), (std::vector<std::string>{"http://a/"}));
    EXPECT_EQ(m_frame->m_nCWC, 0);
}

TEST(BlockedListsAdd, EmptyEntriesAreIgnoredAndAFailedWriteStillBlocks)
{
    testenv::TempDir home;
    testenv::WriteFile(home.file("plain"), "x");
    CBlockedLists lists;
    lists.Load(home.file("plain") + "/close.html", home.file("plain") + "/closetitle.html");
    EXPECT_FALSE(lists.AddBlockedUrl(""));
    EXPECT_FALSE(lists.AddBlockedTitle(""));
    EXPECT_TRUE(lists.urls().empty());
    EXPECT_FALSE(lists.AddBlockedUrl("http://ad/"));
    CBlockedLists::Switches on;
    on.CloseUrl = 1;
    lists.SetSwitches(on);
    EXPECT_TRUE(lists.IsUrlAllowed("http://ad/", 0).empty());
}
