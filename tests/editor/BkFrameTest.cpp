#include "bookmarks/BookmarkMessages.h"
#include "editor/BkDialogs.h"
#include "editor/BkMainFrame.h"
#include "editor/BkView.h"
#include "editor/EditorIds.h"
#include "editor/LeftView.h"
#include "frame/CommandRouter.h"
#include "platform/Ini.h"
#include "platform/Paths.h"
#include "platform/Shell.h"
#include "platform/Text.h"

#include "TestBrowser.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QProcess>
#include <QSplitter>
#include <QTest>
#include <gtest/gtest.h>

#include <deque>
#include <sys/stat.h>

using namespace nimbra;
using namespace nimbra::editor;
using testenv::SpinUntil;

namespace {

const std::string kFile =
    "<HTML>\r\n<TITLE>Nimbra Browser BookMark</TITLE>\r\n<UL>\r\n"
    "\t<LI><A HREF=\"http://a/ b\">A</A>\r\n"
    "\t<LI>F<UL>\r\n\t\t<LI><A HREF=\"http://f/\">in F</A>\r\n\t</UL>\r\n"
    "\t<LI><A HREF=\"-x\">dash</A>\r\n"
    "</UL>\r\n</HTML>\r\n";

constexpr int kWaitMs = 5000;

// The messages a stand-in window of the other program receives.
class CFakeWindow {
public:
    explicit CFakeWindow(const char* windowClass)
        : m_class(windowClass), m_endpoint(windowClass, ToQ(DataDirectory()), [this](const ipc::Message& m) {
            received.push_back(m.id);
            return 0;
        })
    {
        EXPECT_TRUE(m_endpoint.Listen());
    }
    // Waits until everything posted to this window before now has come.
    void Settle()
    {
        constexpr quint32 kMarker = 0x7777;
        ipc::PostWindowMessage(m_class, ToQ(DataDirectory()), {kMarker, 0, {}});
        EXPECT_TRUE(SpinUntil([&] { return !received.empty() && received.back() == kMarker; }, kWaitMs));
        received.pop_back();
    }
    std::vector<quint32> received;

private:
    const char* m_class;
    ipc::CWindowEndpoint m_endpoint;
};

// Answers the editor's message boxes for one test, then puts back what was there.
class CPromptGuard {
public:
    explicit CPromptGuard(PromptHandler handler) : m_former(SetPromptHandler(std::move(handler))) {}
    ~CPromptGuard() { SetPromptHandler(std::move(m_former)); }

private:
    PromptHandler m_former;
};

class BkFrameTest : public ::testing::Test {
protected:
    void SetUp() override { testenv::WriteFile(Standard(), kFile); }

    std::string Standard() const { return m_home.file("bookmark.html"); }

    std::unique_ptr<CBkMainFrame> Open()
    {
        auto frame = std::make_unique<CBkMainFrame>();
        EXPECT_TRUE(frame->Create());
        frame->show();
        frame->RunDeferred();
        return frame;
    }

    static CBkItem* Child(CBkItem* folder, int row) { return folder->Items()[size_t(row)].get(); }

    testenv::ScopedHome m_home;
    std::vector<QString> m_prompts;
    std::deque<bool> m_answers; // for questions, in order; OK when none is left
    CPromptGuard m_guard{[this](const QString& text, bool question) {
        m_prompts.push_back(text);
        if (!question || m_answers.empty())
            return true;
        const bool answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }};
};

} // namespace

TEST_F(BkFrameTest, SecondStartBringsTheFirstWindowForwardAndEnds)
{
    ipc::CInstanceLock lock(QStringLiteral("NBBookmarkEditor"), ToQ(DataDirectory()));
    ASSERT_TRUE(lock.TryLock());
    CFakeWindow first(ipc::kEditorClass);
    QProcess second;
    second.setProcessChannelMode(QProcess::ForwardedChannels);
    second.start(qEnvironmentVariable("NIMBRA_BIN_DIR") + "/nbbe", {});
    ASSERT_TRUE(second.waitForFinished(15000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(SpinUntil([&] { return first.received.size() == 2; }, kWaitMs));
    EXPECT_EQ(first.received, (std::vector<quint32>{ipc::kMsgActivateWindow, ipc::kMsgFlashWindow}));
}

TEST_F(BkFrameTest, NavigationObeysDblClkNaviAndHandsTheUrlOverWhole)
{
    CIniFile(CBkSettings::Path()).WriteInt("Settings", "DblClkNavi", 0);
    auto frame = Open();
    std::vector<std::pair<QString, QStringList>> started;
    testenv::RecordingShell::Log shell;
    frame->Navigator().SetStarter([&](const QString& program, const QStringList& arguments) {
        started.emplace_back(program, arguments);
        return true;
    });
    frame->Navigator().SetShell(std::make_unique<testenv::RecordingShell>(&shell));
    CBkView* list = frame->List();
    auto tryAll = [&] {
        Q_EMIT list->doubleClicked(list->Model()->index(0, 0));
        list->setCurrentIndex(list->Model()->index(0, 0));
        QTest::keyClick(list, Qt::Key_Return);
        list->selectAll();
        frame->RunCommand(ID_BK_NAVIGATE);
    };
    tryAll();
    EXPECT_TRUE(started.empty());

    frame->RunCommand(ID_BK_DBLCLK_NAVI);
    tryAll();
    const std::pair<QString, QStringList> expected{CBkNavigator::BrowserProgram(), QStringList{"http://a/ b"}};
    // Double click, Enter, then the selection: the link "-x" is refused.
    EXPECT_EQ(started, (std::vector<std::pair<QString, QStringList>>(3, expected)));

    frame->RunCommand(ID_BK_NAVI_SHELL);
    frame->RunCommand(ID_BK_NAVIGATE);
    EXPECT_EQ(shell.opened, (std::vector<std::string>{"http://a/ b", "-x"}));
}

TEST_F(BkFrameTest, ClosingAfterLoadingAnotherFileAsksBeforeOverwriting)
{
    const std::string other = m_home.file("other.html");
    for (bool ok : {false, true}) {
        testenv::WriteFile(Standard(), kFile);
        testenv::WriteFile(other, "<UL>\n<LI><A HREF=\"http://o/\">other</A>\n</UL>\n");
        auto frame = Open();
        ASSERT_TRUE(frame->OpenFile(other));
        EXPECT_EQ(frame->windowTitle().toStdString(), "Nimbra Browser [Bookmark Editor] " + other);
        m_prompts.clear();
        m_answers = {ok};
        EXPECT_TRUE(frame->close());
        ASSERT_EQ(m_prompts.size(), 1u);
        EXPECT_TRUE(m_prompts[0].contains(ToQ(Standard())));
        const std::string saved = testenv::ReadFile(Standard());
        EXPECT_EQ(saved.find(">other</A>") != std::string::npos, ok);
        EXPECT_EQ(saved == kFile, !ok);
    }
}

TEST_F(BkFrameTest, ClosingWithTheBrowserSavesWithoutAskingItToReload)
{
    CFakeWindow browser(ipc::kBrowserClass);
    auto frame = Open();
    frame->RunCommand(ID_BK_NEW_SEPARATOR);
    frame->RunCommand(ID_BK_SAVE);
    browser.Settle();
    EXPECT_EQ(browser.received, std::vector<quint32>{ipc::WM_USER_BOOKMARK_MENU_RELOAD});

    browser.received.clear();
    frame->RunCommand(ID_BK_NEW_FOLDER);
    EXPECT_EQ(frame->OnWindowMessage({ipc::WM_USER_BROWSER_CLOSING, 0, {}}), 0);
    EXPECT_EQ(frame->OnWindowMessage({ipc::WM_CLOSE, 0, {}}), 0);
    frame->RunDeferred();
    EXPECT_FALSE(frame->isVisible());
    browser.Settle();
    EXPECT_TRUE(browser.received.empty());
    const std::string saved = testenv::ReadFile(Standard());
    EXPECT_NE(saved.find("<LI>新しいフォルダ<UL>"), std::string::npos) << saved;
    EXPECT_TRUE(m_prompts.empty());
}

TEST_F(BkFrameTest, RegistryCleanupIsRefusedWhileTheBrowserRuns)
{
    const std::string key = FromQ(qEnvironmentVariable("XDG_CONFIG_HOME")) + "/Orvane/Nimbra Browser.conf";
    QDir().mkpath(ToQ(key).section('/', 0, -2));
    testenv::WriteFile(key, "[General]\n");
    auto frame = Open();
    {
        CFakeWindow browser(ipc::kBrowserClass);
        frame->RunCommand(ID_BK_REGISTRY_CLEANUP);
    }
    ASSERT_EQ(m_prompts.size(), 2u);
    EXPECT_TRUE(m_prompts[1].startsWith("Nimbra Browserが起動しているので"));
    EXPECT_TRUE(QFile::exists(ToQ(key)));
    frame->RunCommand(ID_BK_REGISTRY_CLEANUP);
    EXPECT_EQ(m_prompts.back(), "レジストリの削除が完了しました。");
    EXPECT_FALSE(QFile::exists(ToQ(key)));
}

TEST_F(BkFrameTest, PlacementPanesAndColumnsSurviveARestart)
{
    {
        auto frame = Open();
        frame->setGeometry(QRect(120, 80, 700, 500));
        frame->findChild<QSplitter*>()->setSizes({150, 550});
        frame->List()->header()->resizeSection(0, 240);
        EXPECT_TRUE(frame->close());
    }
    const std::string stored = CIniFile(CBkSettings::Path()).GetString("Settings", "WindowPos", "");
    EXPECT_EQ(stored, "0,1,-1,-1,-1,-1,120,80,820,580");
    auto frame = Open();
    EXPECT_EQ(frame->geometry(), QRect(120, 80, 700, 500));
    EXPECT_EQ(frame->findChild<QSplitter*>()->sizes().front(), 150);
    EXPECT_EQ(frame->List()->header()->sectionSize(0), 240);
}

TEST_F(BkFrameTest, BrowserMessagesSaveReloadAndMerge)
{
    CFakeWindow browser(ipc::kBrowserClass);
    auto frame = Open();
    CBkDoc& doc = frame->Doc();
    auto browserAdds = [&](const std::string& title) {
        EXPECT_EQ(AddPagesToRoot(Standard(), {{"http://" + title + "/", title}}), RootAddResult::Added);
    };
    auto titles = [&] {
        std::vector<std::string> result;
        for (const BkItemPtr& item : doc.Root()->Items())
            result.push_back(item->Title());
        return result;
    };

    // Nothing edited after the save: a fresh tree, an empty journal.
    frame->RunCommand(ID_BK_NEW_SEPARATOR);
    frame->OnWindowMessage({ipc::WM_USER_BOOKMARK_WILL_CHANGE, 0, {}});
    EXPECT_NE(testenv::ReadFile(Standard()).find("<HR>"), std::string::npos);
    browserAdds("one");
    frame->OnWindowMessage({ipc::WM_USER_BOOKMARK_CHANGED, 0, {}});
    frame->RunDeferred();
    EXPECT_EQ(titles(), (std::vector<std::string>{"A", "F", "dash", "-", "one"}));
    EXPECT_FALSE(doc.CanUndo());

    // Edited while the browser's dialog was open: both kept, journal too.
    frame->OnWindowMessage({ipc::WM_USER_BOOKMARK_WILL_CHANGE, 0, {}});
    doc.NewLink(doc.Root(), "mine", "http://m/");
    browserAdds("two");
    // An in-place edit holds the reload back until it ends.
    frame->RunCommand(ID_BK_EDIT_TITLE);
    frame->List()->EditCell(0, 0);
    ASSERT_TRUE(frame->List()->IsEditing());
    frame->OnWindowMessage({ipc::WM_USER_BOOKMARK_CHANGED, 0, {}});
    frame->RunDeferred();
    EXPECT_EQ(titles().size(), 6u);
    frame->OnWindowMessage({WM_COMMAND, ID_BK_SELECT_ALL, {}});
    frame->RunDeferred();
    EXPECT_EQ(titles(), (std::vector<std::string>{"A", "F", "dash", "-", "one", "mine", "two"}));
    EXPECT_TRUE(doc.CanUndo());

    // A second announcement while a reload waits does not overwrite the file.
    const std::string before = testenv::ReadFile(Standard());
    frame->List()->EditCell(0, 0);
    frame->OnWindowMessage({ipc::WM_USER_BOOKMARK_WILL_CHANGE, 0, {}});
    browserAdds("three");
    frame->OnWindowMessage({ipc::WM_USER_BOOKMARK_CHANGED, 0, {}});
    frame->OnWindowMessage({ipc::WM_USER_BOOKMARK_WILL_CHANGE, 0, {}});
    EXPECT_NE(testenv::ReadFile(Standard()).find(">three</A>"), std::string::npos);
    frame->List()->CommitOpenEditor();
    frame->RunDeferred();
    EXPECT_EQ(titles().back(), "three");

    // Malformed and unknown messages change nothing; the path can move.
    const auto count = titles().size();
    for (quint64 tag : {quint64(0), quint64(0x10000), quint64(99999), quint64(12345)})
        frame->OnWindowMessage({WM_COMMAND, tag, QByteArray(5, 'x')});
    frame->OnWindowMessage({0x9999, 1, {}});
    frame->OnWindowMessage(ipc::MakeCopyData(777, "http://x/"));
    frame->RunDeferred();
    EXPECT_EQ(titles().size(), count);
    CIniFile(DataFile("nimbrab.ini")).WriteString("Options", "BookmarkPath", m_home.file("moved.html"));
    frame->OnWindowMessage({ipc::WM_USER_BOOKMARK_PATH_CHANGED, 0, {}});
    EXPECT_EQ(frame->StandardPath(), m_home.file("moved.html"));
    // The browser now names another file than the one open: no save for it.
    frame->OnWindowMessage({ipc::WM_USER_BOOKMARK_WILL_CHANGE, 0, {}});
    EXPECT_FALSE(QFile::exists(ToQ(m_home.file("moved.html"))));
}

TEST_F(BkFrameTest, FailedSavesAreReportedAndLoseNothing)
{
    const std::string other = m_home.file("other.html");
    testenv::WriteFile(other, kFile);
    const std::string missing = m_home.file("no-such-folder/bookmark.html");
    CIniFile(DataFile("nimbrab.ini")).WriteString("Options", "BookmarkPath", missing);
    auto frame = Open();
    ASSERT_TRUE(frame->OpenFile(other));
    frame->RunCommand(ID_BK_NEW_SEPARATOR);
    m_prompts.clear();
    EXPECT_FALSE(frame->SaveStandard());
    ASSERT_EQ(m_prompts.size(), 1u);
    EXPECT_TRUE(m_prompts[0].contains(ToQ(missing)) && m_prompts[0].contains("保存先のフォルダがありません"))
        << m_prompts[0].toStdString();
    EXPECT_EQ(frame->CurrentPath(), other);
    // The close asks (another file is open), the save fails: the window stays.
    EXPECT_FALSE(frame->close());
    EXPECT_EQ(m_prompts.size(), 3u);
    frame->RunCommand(ID_BK_EXIT_WITHOUT_SAVE);
    EXPECT_EQ(m_prompts.size(), 3u);
    EXPECT_EQ(testenv::ReadFile(other), kFile);
}

TEST_F(BkFrameTest, AStandardFileThatCannotBeReadIsNotReplacedUnasked)
{
    const std::string fifo = m_home.file("fifo.html");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string folder = m_home.file("folder.html");
    QDir().mkpath(ToQ(folder));
    for (const std::string& path : {fifo, folder, std::string("/dev/zero")}) {
        SCOPED_TRACE(path);
        CIniFile(DataFile("nimbrab.ini")).WriteString("Options", "BookmarkPath", path);
        m_prompts.clear();
        QElapsedTimer timer;
        timer.start();
        auto frame = Open();
        EXPECT_LT(timer.elapsed(), 3000);
        ASSERT_EQ(m_prompts.size(), 1u);
        EXPECT_TRUE(m_prompts[0].contains(ToQ(path)));
        EXPECT_TRUE(frame->Doc().Root()->Items().empty());
        frame->RunCommand(ID_BK_NEW_SEPARATOR);
        frame->OnWindowMessage({ipc::WM_USER_BOOKMARK_WILL_CHANGE, 0, {}});
        EXPECT_TRUE(frame->close());
        EXPECT_EQ(m_prompts.size(), 1u);
    }
    struct stat st {};
    ASSERT_EQ(::stat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    // Saving on purpose is refused too: writing would wait for a reader.
    CIniFile(DataFile("nimbrab.ini")).WriteString("Options", "BookmarkPath", fifo);
    auto frame = Open();
    EXPECT_FALSE(frame->SaveStandard());
    EXPECT_TRUE(m_prompts.back().contains("通常のファイルではありません"));
    ASSERT_EQ(::stat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(BkFrameTest, ChangesOnDiskReloadAnUneditedTreeOrAskBeforeOverwriting)
{
    auto frame = Open();
    const std::string changed = "<UL>\n<LI><A HREF=\"http://c/\">changed</A>\n</UL>\n";
    testenv::WriteFile(Standard(), changed);
    EXPECT_TRUE(SpinUntil([&] {
        const auto& items = frame->Doc().Root()->Items();
        return items.size() == 1 && items[0]->Title() == "changed";
    }, kWaitMs));

    frame->RunCommand(ID_BK_NEW_SEPARATOR);
    testenv::WriteFile(Standard(), kFile);
    m_answers = {false};
    EXPECT_FALSE(frame->SaveStandard());
    ASSERT_EQ(m_prompts.size(), 1u);
    EXPECT_TRUE(m_prompts[0].contains("他のプログラムによって変更されています"));
    EXPECT_EQ(testenv::ReadFile(Standard()), kFile);
    EXPECT_EQ(frame->Doc().Root()->Items().size(), 2u);
}

TEST_F(BkFrameTest, ListAndTreeFollowEveryChange)
{
    auto frame = Open();
    CBkDoc& doc = frame->Doc();
    CLeftView* tree = frame->Tree();
    CBkView* list = frame->List();
    EXPECT_EQ(frame->StatusText(), "[Nimbra Browser BookMark] 3 個のオブジェクト");

    // A new folder: row, tree item and its name being edited.
    frame->RunCommand(ID_BK_NEW_FOLDER);
    EXPECT_EQ(list->Model()->rowCount(), 4);
    EXPECT_TRUE(list->IsEditing());
    EXPECT_EQ(tree->topLevelItem(0)->childCount(), 2);
    frame->RunCommand(ID_BK_SELECT_ALL);
    EXPECT_FALSE(list->IsEditing());

    // Sorting: first click ascending with folders first, then reversed.
    Q_EMIT list->header()->sectionClicked(0);
    EXPECT_EQ(Child(doc.Root(), 0)->Title(), "F");
    EXPECT_EQ(tree->topLevelItem(0)->child(0)->text(0), "F");
    Q_EMIT list->header()->sectionClicked(0);
    EXPECT_EQ(Child(doc.Root(), 0)->Title(), "dash");
    EXPECT_EQ(tree->topLevelItem(0)->child(0)->text(0), "新しいフォルダ");

    // Find moves both panes, across folders.
    EXPECT_TRUE(frame->Find("A/ B", false));
    EXPECT_EQ(list->SelectedRows(), std::vector<int>{1});
    EXPECT_TRUE(frame->Find("HTTP://F", false));
    EXPECT_EQ(list->Model()->Folder()->Title(), "F");
    EXPECT_EQ(list->SelectedRows(), std::vector<int>{0});
    EXPECT_FALSE(frame->Find("HTTP://F", false));

    // Deleting the shown folder hands the list to its parent; undo brings it back.
    tree->setFocus();
    frame->SetActivePane(CBkMainFrame::EPane::Tree);
    frame->RunCommand(ID_BK_DELETE);
    EXPECT_EQ(list->Model()->Folder(), doc.Root());
    EXPECT_EQ(tree->topLevelItem(0)->childCount(), 1);
    frame->RunCommand(ID_BK_UNDO);
    EXPECT_EQ(tree->topLevelItem(0)->childCount(), 2);
    EXPECT_EQ(frame->StatusText(), "[Nimbra Browser BookMark] 4 個のオブジェクト");
}
