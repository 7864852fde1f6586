// The browser (real engine) and the bookmark editor as a program of its own,
// in one data directory, driven by posted WM_COMMAND as another program would.
#include "frames/browser/ChildFrame.h"
#include "widgets/bookmarks/AddBookmarkDlg.h"
#include "widgets/bookmarks/BookmarkMenu.h"
#include "ui/EditorIds.h"
#include "platform/Ipc.h"
#include "platform/Text.h"

#include "HttpServer.h"
#include "TestBrowser.h"

#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QTreeWidget>

using namespace nimbra;
using namespace nimbra::editor;
using testenv::SpinUntil;

namespace {

constexpr int kLoadMs = 20000;
// Far below the 10 s that a message to an editor that does not answer waits.
constexpr qint64 kAddMs = 5000;

class EditorE2E : public testenv::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        m_server.AddHtml("/page", "Bookmarked Page", "<p>page</p>");
    }
    void TearDown() override
    {
        if (m_editor.state() != QProcess::NotRunning) {
            m_editor.kill();
            m_editor.waitForFinished(10000);
        }
        BrowserTest::TearDown();
    }

    QString Dir() const { return m_home.path(); }

    void StartEditor()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("NIMBRA_HOME", Dir());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        m_editor.setProcessEnvironment(env);
        m_editor.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_editor.setStandardOutputFile(QProcess::nullDevice());
        m_editor.start(qEnvironmentVariable("NIMBRA_BIN_DIR") + "/nbbe", {});
        ASSERT_TRUE(m_editor.waitForStarted(10000));
        ASSERT_TRUE(SpinUntil([&] { return ipc::FindWindow(ipc::kEditorClass, Dir()); }, 15000));
    }

    // Posts a menu command to the editor and waits until it has been handled
    // (a sent message after it is answered once the command ran).
    void Command(int id)
    {
        ASSERT_TRUE(ipc::PostWindowMessage(ipc::kEditorClass, Dir(), {WM_COMMAND, quint64(id), {}}));
        ASSERT_TRUE(ipc::SendWindowMessage(ipc::kEditorClass, Dir(), {0, 0, {}}));
    }

    void CloseEditor()
    {
        ASSERT_TRUE(ipc::SendWindowMessage(ipc::kEditorClass, Dir(), {ipc::WM_CLOSE, 0, {}}));
        ASSERT_TRUE(SpinUntil([&] { return m_editor.state() == QProcess::NotRunning; }, 15000));
        EXPECT_EQ(m_editor.exitCode(), 0);
    }

    QMenu* BookmarkMenu() const { return FindBookmarkMenu(m_frame->MainMenu()); }

    int MenuCount(const QString& text) const
    {
        int count = 0;
        for (QAction* action : testenv::Shown(BookmarkMenu())->actions())
            count += action->text() == text;
        return count;
    }

    // Adds the active page through the add dialog into the root; `held` runs
    // while the dialog is open. Returns the time the add took without it.
    qint64 AddPage(const std::function<void()>& held)
    {
        QElapsedTimer timer;
        qint64 heldMs = 0;
        testenv::HandlerGuard driver(SetBookmarkDialogDriver, [&](QDialog& dialog) {
            QElapsedTimer hold;
            hold.start();
            if (held)
                held();
            heldMs = hold.elapsed();
            auto& dlg = dynamic_cast<CAddBookmarkDlg&>(dialog);
            dlg.FolderTree()->setCurrentItem(dlg.FolderTree()->topLevelItem(0));
            dlg.OnOK();
            return dlg.result();
        });
        QMenu* menu = BookmarkMenu();
        m_frame->Router().UpdateMenu(menu);
        timer.start();
        menu->actions().first()->trigger();
        return timer.elapsed() - heldMs;
    }

    testenv::HttpServer m_server;
    QProcess m_editor;
};

} // namespace

TEST_F(EditorE2E, AFolderSavedInTheEditorShowsInTheBrowsersMenu)
{
    Start();
    StartEditor();
    Command(ID_BK_NEW_FOLDER);
    Command(ID_BK_SAVE);
    EXPECT_TRUE(SpinUntil([&] { return MenuCount("新しいフォルダ") == 1; }, 10000));
    EXPECT_NE(testenv::ReadFile(m_app->BookmarkPath()).find("\t<LI>新しいフォルダ<UL>\r\n\t</UL>\r\n"),
              std::string::npos);
    CloseEditor();
}

TEST_F(EditorE2E, EditsOfBothProgramsSurviveTheEditorsClose)
{
    Start();
    CNimbraView* view = OpenAndWait(m_server.Url("/page").toStdString(), kLoadMs);
    ASSERT_NE(view, nullptr);
    m_frame->ActivateTab(CChildFrame::Of(view));
    StartEditor();

    // An unsaved edit in the editor, then an add in the browser.
    Command(ID_BK_NEW_SEPARATOR);
    EXPECT_LT(AddPage(nullptr), kAddMs);

    // An add whose dialog stays open while the editor edits again.
    EXPECT_LT(AddPage([&] {
                  Command(ID_BK_NEW_FOLDER);
                  Command(ID_BK_NEW_BOOKMARK);
              }),
              kAddMs);

    CloseEditor();
    const std::string file = testenv::ReadFile(m_app->BookmarkPath());
    const std::string link = "\t<LI><A HREF=\"" + m_server.Url("/page").toStdString() + "\">Bookmarked Page</A>\r\n";
    const size_t first = file.find(link);
    ASSERT_NE(first, std::string::npos) << file;
    EXPECT_NE(file.find(link, first + 1), std::string::npos) << file;
    EXPECT_NE(file.find("\t<HR>\r\n"), std::string::npos) << file;
    EXPECT_NE(file.find("\t<LI>新しいフォルダ<UL>\r\n"), std::string::npos) << file;
    EXPECT_NE(file.find(">新しいブックマーク</A>"), std::string::npos) << file;
    // The editor's close told the browser to rebuild its menu.
    EXPECT_TRUE(SpinUntil([&] { return MenuCount("新しいフォルダ") == 1 && MenuCount("Bookmarked Page") == 2; },
                          10000));
}
