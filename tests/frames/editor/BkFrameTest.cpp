#include "data/bookmarks/BookmarkMessages.h"
#include "data/bookmarks/BkConvert.h"
#include "widgets/editor/BkDialogs.h"
#include "frames/editor/BkMainFrame.h"
#include "widgets/editor/BkView.h"
#include "ui/EditorIds.h"
#include "widgets/editor/LeftView.h"
#include "ui/CommandRouter.h"
#include "platform/BrowseDialog.h"
#include "platform/FileDialog.h"
#include "platform/Ini.h"
#include "platform/Paths.h"
#include "platform/Shell.h"
#include "platform/Shortcut.h"
#include "platform/SystemSettings.h"
#include "platform/Text.h"

#include "TestBrowser.h"

#include <QFile>
#include <QHeaderView>
#include <QMimeData>
#include <QProcess>
#include <QProgressDialog>
#include <QSettings>
#include <QSplitter>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
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
        const testenv::CpuTimer timer;
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

TEST_F(BkFrameTest, AFileDeeperThanTheTreeIsRewrittenOnlyForConfirmedEdits)
{
    std::string deep = "<HTML>\r\n<UL>\r\n";
    for (int i = 0; i <= kMaxFolderDepth; ++i)
        deep += "<LI>d<UL>\r\n";
    deep += "<LI><A HREF=\"http://deep/\">deep</A>\r\n";
    for (int i = 0; i <= kMaxFolderDepth; ++i)
        deep += "</UL>\r\n";
    deep += "</UL>\r\n</HTML>\r\n";
    testenv::WriteFile(Standard(), deep);
    {
        // Neither the browser's announcement nor the close writes it.
        auto frame = Open();
        frame->OnWindowMessage({ipc::WM_USER_BOOKMARK_WILL_CHANGE, 0, {}});
        frame->OnWindowMessage({ipc::WM_USER_BOOKMARK_CHANGED, 0, {}});
        EXPECT_TRUE(frame->close());
    }
    EXPECT_TRUE(m_prompts.empty());
    EXPECT_EQ(testenv::ReadFile(Standard()), deep);
    for (bool confirm : {false, true}) {
        auto frame = Open();
        frame->RunCommand(ID_BK_NEW_SEPARATOR);
        m_prompts.clear();
        m_answers = {confirm};
        EXPECT_TRUE(frame->close());
        ASSERT_EQ(m_prompts.size(), 1u);
        EXPECT_TRUE(m_prompts[0].contains(QString::number(kMaxFolderDepth))) << m_prompts[0].toStdString();
        EXPECT_EQ(testenv::ReadFile(Standard()) == deep, !confirm);
    }
    // What was written is the tree: read whole now, closed without a question.
    auto frame = Open();
    m_prompts.clear();
    EXPECT_TRUE(frame->close());
    EXPECT_TRUE(m_prompts.empty());
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

namespace {

// Answers the file and folder dialogs for one test; every request is kept.
class CDialogAnswers {
public:
    CDialogAnswers()
    {
        SetFileNameAsker([this](QWidget*, const SFileRequest& request) {
            requests.push_back(request);
            return file;
        });
    }
    ~CDialogAnswers() { SetFileNameAsker(nullptr); }

    std::string file;
    std::string folder;
    std::vector<SFileRequest> requests;
    testenv::HandlerGuard<FolderAsker> folders{SetFolderAsker,
                                               [this](QWidget*, const SBrowseOptions& options) {
                                                   EXPECT_EQ(options.title, "お気に入りフォルダの参照");
                                                   return folder;
                                               }};
};

std::string Titles(const CBkItem* folder)
{
    std::string out;
    for (const BkItemPtr& item : folder->Items())
        out += (item->IsFolder() ? item->Title() + "{" + Titles(item.get()) + "}" : item->Title()) + ";";
    return out;
}

} // namespace

TEST_F(BkFrameTest, NetscapeImportsReplaceOrAddOffTheUiThread)
{
    auto frame = Open();
    CBkDoc& doc = frame->Doc();
    CDialogAnswers dialogs;
    dialogs.file = m_home.file("chrome.html");
    testenv::WriteFile(dialogs.file, "<META CONTENT=\"text/html; charset=Shift_JIS\"><DL><DT><H3>F</H3><DL>"
                                     "<DT><A HREF=\"http://n/\">\x95\x5C\x8E\xA6</A></DL><HR></DL>");
    auto run = [&](int id) {
        frame->RunCommand(id);
        EXPECT_TRUE(SpinUntil([&] { return !frame->JobRunning(); }, kWaitMs));
    };

    m_answers = {false};
    run(ID_BK_CONVERT_NETSCAPE);
    ASSERT_EQ(m_prompts.size(), 1u);
    EXPECT_EQ(m_prompts[0], "ネットスケープのブックマークからNimbra Browser形式に変換します。\nOKを押すと現在の編集中の"
                            "ブックマークデータはすべて失われます。\n\n変換を実行してもよろしいですか？");
    EXPECT_TRUE(dialogs.requests.empty());

    frame->Tree()->SelectFolder(doc.Root());
    frame->RunCommand(ID_BK_NEW_SEPARATOR);
    ASSERT_TRUE(doc.CanUndo());
    run(ID_BK_CONVERT_NETSCAPE);
    EXPECT_EQ(Titles(doc.Root()), "F{表示;};-;");
    EXPECT_FALSE(doc.CanUndo());
    EXPECT_EQ(frame->Settings().IniDir, FromQ(m_home.path()));
    EXPECT_EQ(CIniFile(CBkSettings::Path()).GetString("Options", "IniDir", ""), FromQ(m_home.path()));

    frame->Tree()->SelectFolder(Child(doc.Root(), 0));
    run(ID_BK_ADD_NETSCAPE);
    EXPECT_EQ(Titles(doc.Root()), "F{表示;F{表示;};-;};-;");
    EXPECT_EQ(frame->List()->Model()->rowCount(), 3);
    EXPECT_EQ(doc.JournalSize(), 1u);
    frame->RunCommand(ID_BK_UNDO);
    EXPECT_EQ(Titles(doc.Root()), "F{表示;};-;");

    // Refused at once: a FIFO; said: a file without a list.
    const std::string fifo = m_home.file("fifo.html");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    testenv::WriteFile(m_home.file("plain.html"), "<p>no list</p>");
    m_prompts.clear();
    for (const std::string& path : {fifo, m_home.file("plain.html")}) {
        dialogs.file = path;
        run(ID_BK_ADD_NETSCAPE);
    }
    ASSERT_EQ(m_prompts.size(), 2u);
    EXPECT_TRUE(m_prompts[0].endsWith("を読み込めませんでした（通常のファイルではありません）。"));
    EXPECT_TRUE(m_prompts[1].endsWith("にはブックマークの一覧がありません。"));
    EXPECT_EQ(Titles(doc.Root()), "F{表示;};-;");

    // The export reads back as the tree.
    dialogs.file = m_home.file("out.htm");
    run(ID_BK_EXPORT_NETSCAPE);
    EXPECT_EQ(dialogs.requests.back().name, "bookmark.htm");
    SBkImport back = ParseNetscape(testenv::ReadFile(dialogs.file));
    EXPECT_EQ(back.items.size(), 2u);
    dialogs.file = m_home.file("gone/out.htm");
    m_prompts.clear();
    run(ID_BK_EXPORT_NETSCAPE);
    ASSERT_EQ(m_prompts.size(), 1u);
    EXPECT_TRUE(m_prompts[0].contains(ToQ(dialogs.file)));
}

TEST_F(BkFrameTest, AFailedJobIsToldWithItsProgressWindowGoneForGood)
{
    auto frame = Open();
    CDialogAnswers dialogs;
    int told = 0;
    // Where the message box would run its loop: no progress window is
    // there, nor can one show up under it.
    CPromptGuard check([&](const QString&, bool) {
        ++told;
        for (QProgressDialog* progress : frame->findChildren<QProgressDialog*>()) {
            EXPECT_FALSE(progress->isVisible());
            for (QTimer* timer : progress->findChildren<QTimer*>())
                EXPECT_FALSE(timer->isActive());
        }
        return true;
    });
    testenv::WriteFile(m_home.file("plain.html"), "<p>" + std::string(4 << 20, 'x') + "</p>");
    for (const std::string& file : {m_home.file("plain.html"), m_home.file("gone/out.htm")}) {
        dialogs.file = file;
        frame->RunCommand(file.ends_with(".htm") ? ID_BK_EXPORT_NETSCAPE : ID_BK_ADD_NETSCAPE);
        EXPECT_TRUE(SpinUntil([&] { return !frame->JobRunning(); }, kWaitMs));
    }
    EXPECT_EQ(told, 2);
}

TEST_F(BkFrameTest, FavoritesFolderComesFromTheSettingOrTheDialog)
{
    auto frame = Open();
    CBkDoc& doc = frame->Doc();
    CDialogAnswers dialogs;
    const std::string fav = m_home.file("Fav");
    QDir().mkpath(ToQ(fav + "/Sub"));
    ASSERT_TRUE(WriteInternetShortcut(fav + "/Sub/s.url", "http://s/"));
    QSettings system(ToQ(CSystemSettings::Path()), QSettings::IniFormat);
    qputenv("NB_TEST_HOME", m_home.path().toUtf8());
    struct Case {
        QString stored;
        const char* message; // nullptr: imported
    } cases[] = {
        {"%NB_TEST_HOME%/Fav", nullptr},
        {"", "お気に入りフォルダの取得に失敗しました。\n設定->お気に入りフォルダを自動で取得をOFFにして直接フォルダを指定して下さい"},
        {"$NB_TEST_HOME/none", "お気に入りフォルダを取得できませんでした"},
    };
    for (const Case& c : cases) {
        system.setValue("User Shell Folders/Favorites", c.stored);
        system.sync();
        m_prompts.clear();
        frame->RunCommand(ID_BK_ADD_FAVORITES);
        EXPECT_TRUE(SpinUntil([&] { return !frame->JobRunning(); }, kWaitMs));
        if (c.message) {
            ASSERT_EQ(m_prompts.size(), 1u);
            EXPECT_EQ(m_prompts[0], c.message);
        }
    }
    EXPECT_EQ(Titles(doc.Root()), "A;F{in F;};dash;Sub{s;};");
    system.remove("User Shell Folders");
    system.sync();
    qunsetenv("NB_TEST_HOME");

    // By hand: the dialog, remembered in LastPath; the export writes there.
    frame->Settings().FavoritesAutoSearch = false;
    const std::string out = m_home.file("Out");
    QDir().mkpath(ToQ(out));
    dialogs.folder = out;
    frame->RunCommand(ID_BK_EXPORT_FAVORITES);
    EXPECT_TRUE(SpinUntil([&] { return !frame->JobRunning(); }, kWaitMs));
    EXPECT_EQ(CIniFile(CBkSettings::Path()).GetString("Options", "LastPath", ""), out);
    EXPECT_EQ(ReadInternetShortcut(out + "/Sub/s.url"), "http://s/");
    EXPECT_EQ(ReadInternetShortcut(out + "/F/in F.url"), "http://f/");
    m_answers = {true};
    dialogs.folder = fav;
    frame->RunCommand(ID_BK_CONVERT_FAVORITES);
    EXPECT_TRUE(SpinUntil([&] { return !frame->JobRunning(); }, kWaitMs));
    EXPECT_EQ(Titles(doc.Root()), "Sub{s;};");
}

TEST_F(BkFrameTest, ListFilesAndDropsAddLinksEachRecorded)
{
    auto frame = Open();
    CBkDoc& doc = frame->Doc();
    CDialogAnswers dialogs;
    dialogs.file = m_home.file("in.nbl");
    testenv::WriteFile(dialogs.file, "<HTML>\r\n<UL>\r\n\t<LI>http://1/\r\n\t<LI>http://2/\r\n</UL>\r\n");
    frame->Tree()->SelectFolder(doc.Root());
    frame->RunCommand(ID_BK_ADD_LIST_FILE);
    EXPECT_EQ(Titles(doc.Root()), "A;F{in F;};dash;無題;無題;");
    EXPECT_EQ(doc.JournalSize(), 1u);

    frame->List()->SelectRows({0, 3, 4});
    dialogs.file = m_home.file("out.nbl");
    frame->RunCommand(ID_BK_SAVE_LIST_FILE);
    EXPECT_EQ(dialogs.requests.back().defaultSuffix, "nbl");
    EXPECT_EQ(testenv::ReadFile(dialogs.file), "<HTML>\r\n<H1>UrlList</H1>\r\n<H2>URL</H2>\r\n<UL>\r\n\t<LI>http://a/ b\r\n"
                                               "\t<LI>http://1/\r\n\t<LI>http://2/\r\n</UL>\r\n</HTML>\r\n");

    testenv::WriteFile(m_home.file("Site.url"), "[InternetShortcut]\r\nURL=http://site/\r\n");
    QMimeData mime;
    const QString title = QStringLiteral("http://page/\nページ");
    mime.setData(QStringLiteral("text/x-moz-url"),
                 QByteArray(reinterpret_cast<const char*>(title.utf16()), title.size() * 2));
    mime.setUrls({QUrl::fromLocalFile(ToQ(m_home.file("Site.url"))), QUrl::fromLocalFile(ToQ(m_home.file("x.txt"))),
                  QUrl(QStringLiteral("http://page/"))});
    frame->DropFromOutside(&mime);
    EXPECT_EQ(Titles(doc.Root()), "A;F{in F;};dash;無題;無題;Site;ページ;");
    EXPECT_EQ(doc.JournalSize(), 3u);
}

namespace {

struct SRow {
    std::string title;
    std::string url;
    bool folder;
};

std::vector<SRow> ListRows(const CBkView* list)
{
    std::vector<SRow> rows;
    const CBkListModel* model = list->Model();
    for (int r = 0; r < model->rowCount(); ++r)
        rows.push_back({FromQ(model->index(r, 0).data().toString()), FromQ(model->index(r, 1).data().toString()),
                        model->ItemAt(r)->IsFolder()});
    return rows;
}

// Rows as "title<TAB>url", readable when they differ.
std::vector<std::string> Lines(const std::vector<SRow>& rows)
{
    std::vector<std::string> lines;
    for (const SRow& row : rows)
        lines.push_back(row.title + "\t" + row.url);
    return lines;
}

// The labels of a tree item's children.
std::vector<std::string> Labels(const QTreeWidgetItem* item)
{
    std::vector<std::string> labels;
    for (int i = 0; i < item->childCount(); ++i)
        labels.push_back(FromQ(item->child(i)->text(0)));
    return labels;
}

std::vector<std::string> FolderTitles(const std::vector<SRow>& rows)
{
    std::vector<std::string> titles;
    for (const SRow& row : rows) {
        if (row.folder)
            titles.push_back(row.title);
    }
    return titles;
}

// The list's order as a header click gives it: titles compared a byte at a
// time after case folding, ties in their former order, folders first.
std::vector<SRow> SortedByTitle(std::vector<SRow> rows)
{
    std::stable_sort(rows.begin(), rows.end(), [](const SRow& a, const SRow& b) {
        return std::lexicographical_compare(a.title.begin(), a.title.end(), b.title.begin(), b.title.end(),
                                            [](char x, char y) {
                                                return std::tolower(static_cast<unsigned char>(x))
                                                       < std::tolower(static_cast<unsigned char>(y));
                                            });
    });
    std::stable_partition(rows.begin(), rows.end(), [](const SRow& row) { return row.folder; });
    return rows;
}

} // namespace

TEST_F(BkFrameTest, ALargeFolderSortsThenDeletesAndUndoesWhole)
{
    // 3,000 links: titles that differ only in case, prefixes of each other,
    // multibyte ones, ties; three folders with links of their own.
    std::string file = "<HTML>\r\n<UL>\r\n<LI>Big<UL>\r\n";
    const char* stems[] = {"page ", "PAGE ", "Page", "ページ ", "[page] "};
    for (int i = 0; i < 3000; ++i) {
        const int key = (i * 7919) % 700;
        if (i % 1000 == 999)
            file += "<LI>Sub " + std::to_string(key) + "<UL>\r\n<LI><A HREF=\"http://in/\">in</A>\r\n</UL>\r\n";
        file += "<LI><A HREF=\"http://x/" + std::to_string(i) + "\">" + stems[i % 5] + std::to_string(key) + "</A>\r\n";
    }
    file += "</UL>\r\n</UL>\r\n</HTML>\r\n";
    testenv::WriteFile(Standard(), file);
    auto frame = Open();
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    CLeftView* tree = frame->Tree();
    CBkView* list = frame->List();

    // The folder clicked in the tree, then the title column's header twice.
    QTreeWidgetItem* big = tree->topLevelItem(0)->child(0);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(big).center());
    ASSERT_EQ(list->Model()->rowCount(), 3003);
    const std::vector<SRow> ascending = SortedByTitle(ListRows(list));
    QHeaderView* header = list->header();
    const QPoint title(header->sectionPosition(0) + 5, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, title);
    ASSERT_EQ(Lines(ListRows(list)), Lines(ascending));
    EXPECT_EQ(Labels(big), FolderTitles(ascending));
    // The second click reverses it, folders last.
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, title);
    const std::vector<SRow> shown = ListRows(list);
    ASSERT_EQ(Lines(shown), Lines(std::vector<SRow>(ascending.rbegin(), ascending.rend())));
    EXPECT_EQ(Labels(big), FolderTitles(shown));

    // Select all, Delete, undo: every row back in its place, the tree too.
    list->setFocus();
    QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(list->SelectedRows().size(), 3003u);
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(list->Model()->rowCount(), 0);
    EXPECT_EQ(big->childCount(), 0);
    EXPECT_EQ(frame->StatusText(), "[Big] 0 個のオブジェクト");
    QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Lines(ListRows(list)), Lines(shown));
    EXPECT_EQ(Labels(big), FolderTitles(shown));
    EXPECT_EQ(frame->StatusText(), "[Big] 3003 個のオブジェクト");
    EXPECT_FALSE(frame->Doc().CanUndo());
}
