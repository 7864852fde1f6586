#include "platform/Paths.h"
#include "ui/CommandIds.h"
#include "ui/CommandRouter.h"
#include "ui/MenuResource.h"
#include "frames/browser/Option.h"
#include "frames/browser/OptionPages.h"
#include "platform/WindowPlacement.h"
#include "data/session/SessionCommands.h"
#include "ui/EditableList.h"
#include "widgets/tools/ListEditorDialog.h"
#include "widgets/tools/ToolsCommands.h"

#include "TestBrowser.h"
#include "ToolsTestSupport.h"

#include <QAction>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QUrl>
#include <QWindow>

using namespace nimbra;

namespace {

using Rows = std::vector<std::string>;

class ListEditorTest : public testenv::BrowserTest {
protected:
    void SetUp() override
    {
        BrowserTest::SetUp();
        Start();
    }
    void TearDown() override
    {
        CloseListEditor();
        BrowserTest::TearDown();
    }
    CListEditorDialog* OpenEditor()
    {
        EXPECT_TRUE(m_frame->ExecuteCommand(ID_LIST_EDITOR));
        return CListEditorDialog::Instance();
    }
    // Runs an editor command and waits for the file it reads or writes.
    static void Run(CListEditorDialog* editor, int id)
    {
        ASSERT_TRUE(editor->ExecuteCommand(id));
        ASSERT_TRUE(testenv::SpinUntil([editor] { return !editor->IsBusy(); }, 10000));
    }
    std::string List(const char* name, const Rows& rows)
    {
        const std::string path = File(name);
        EXPECT_TRUE(WriteListFile(kHeadingUrlList, path, rows));
        return path;
    }
    static Rows Read(const std::string& path)
    {
        Rows rows;
        EXPECT_TRUE(ReadListFile(path, rows));
        return rows;
    }
    static const Rows& Shown(CListEditorDialog* editor) { return editor->List()->Model().Rows(); }
};

} // namespace

TEST_F(ListEditorTest, OpensOneEditorBesideTheFrameThatClosesItAtExit)
{
    CListEditorDialog* editor = OpenEditor();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->windowTitle(), QStringLiteral("Nimbra Browser [ List Editor ]"));
    EXPECT_EQ(editor->parentWidget(), nullptr);
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(OpenEditor(), editor);
    int editors = 0;
    for (QWidget* window : QApplication::topLevelWidgets())
        editors += qobject_cast<CListEditorDialog*>(window) != nullptr;
    EXPECT_EQ(editors, 1);

    m_frame->close();
    EXPECT_EQ(CListEditorDialog::Instance(), nullptr);
    EXPECT_NE(m_app->Settings().GetString("Settings", "ListDlgPos", ""), "");
}

TEST_F(ListEditorTest, OpenThenAddFromListThenSaveWritesBothFilesToTheFirst)
{
    const std::string first = List("first.nbl", {"http://a/1", "http://a/2"});
    const std::string second = List("second.nbl", {"http://b/1"});
    testenv::FileAnswers files({first, second});
    CListEditorDialog* editor = OpenEditor();
    ASSERT_NE(editor, nullptr);

    Run(editor, ID_LE_OPEN);
    EXPECT_EQ(Shown(editor), (Rows{"http://a/1", "http://a/2"}));
    EXPECT_FALSE(files.requests[0].save);
    Run(editor, ID_LE_ADD_FROM_LIST);
    EXPECT_EQ(editor->CurrentFile(), first);
    EXPECT_EQ(m_app->Settings().GetString("Options", "LastOpenPath", ""), FolderOf(second));
    Run(editor, ID_LE_SAVE);
    EXPECT_EQ(files.requests.size(), 2u);
    EXPECT_EQ(Read(first), (Rows{"http://a/1", "http://a/2", "http://b/1"}));
    EXPECT_EQ(Read(second), (Rows{"http://b/1"}));

    // OK closes without saving the edits.
    editor->List()->Model().Remove(0);
    QTest::mouseClick(editor->OkButton(), Qt::LeftButton);
    EXPECT_EQ(CListEditorDialog::Instance(), nullptr);
    EXPECT_EQ(Read(first).size(), 3u);
}

TEST_F(ListEditorTest, SaveInAFreshEditorAsksForANameThatBecomesCurrent)
{
    testenv::Messages messages;
    const std::string saved = File("new.nbl");
    testenv::WriteFile(File("plain"), "x");
    testenv::FileAnswers files({"", File("plain") + "/cannot.nbl", saved});
    CListEditorDialog* editor = OpenEditor();
    ASSERT_NE(editor, nullptr);
    editor->List()->Model().Append({"http://x/"});

    Run(editor, ID_LE_SAVE); // cancelled
    ASSERT_EQ(files.requests.size(), 1u);
    EXPECT_TRUE(files.requests[0].save);
    Run(editor, ID_LE_SAVE); // a folder that cannot hold it
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_TRUE(messages.texts[0].startsWith(QStringLiteral("リストファイルを保存できませんでした。")));
    EXPECT_EQ(editor->CurrentFile(), "");
    Run(editor, ID_LE_SAVE);
    EXPECT_EQ(editor->CurrentFile(), saved);
    EXPECT_EQ(Read(saved), (Rows{"http://x/"}));
    EXPECT_EQ(m_app->Settings().GetString("Options", "LastSavePath", ""), FolderOf(saved));
}

TEST_F(ListEditorTest, AnUnreadableFileLeavesTheListAndTheCurrentFile)
{
    testenv::Messages messages;
    const std::string first = List("first.nbl", {"http://a/1"});
    testenv::FileAnswers files({first, m_home.path().toStdString()});
    CListEditorDialog* editor = OpenEditor();
    ASSERT_NE(editor, nullptr);
    Run(editor, ID_LE_OPEN);
    Run(editor, ID_LE_OPEN); // a folder
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_TRUE(messages.texts[0].startsWith(QStringLiteral("リストファイルを読み込めませんでした。")));
    EXPECT_EQ(Shown(editor), (Rows{"http://a/1"}));
    EXPECT_EQ(editor->CurrentFile(), first);
}

TEST_F(ListEditorTest, OnlyAPlacementOfTenNumbersIsApplied)
{
    struct Case {
        const char* stored;
        QRect expected;
    } const cases[] = {
        {"0,1,-1,-1,-1,-1,100,120,500,420", QRect(100, 120, 400, 300)},
        {"0,1,-1,-1,-1,-1,100,120,500", QRect()},
    };
    for (const Case& c : cases) {
        m_app->Settings().WriteString("Settings", "ListDlgPos", c.stored);
        CListEditorDialog* editor = OpenEditor();
        ASSERT_NE(editor, nullptr);
        if (c.expected.isValid())
            EXPECT_EQ(editor->geometry(), c.expected) << c.stored;
        else
            EXPECT_EQ(editor->size(), QSize(520, 400)) << c.stored;
        CloseListEditor();
        EXPECT_TRUE(ParseWindowPlacement(m_app->Settings().GetString("Settings", "ListDlgPos", "")));
    }
}

TEST_F(ListEditorTest, KeysWhileARowIsEditedGoToTheEditor)
{
    CListEditorDialog* editor = OpenEditor();
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowActive(editor));
    CEditableList* list = editor->List();
    list->Model().Append({"http://a/", "http://b/"});
    list->SelectRow(0);
    list->EditSelected();
    auto* edit = qobject_cast<QLineEdit*>(list->View()->indexWidget(list->Model().index(0)));
    ASSERT_NE(edit, nullptr);
    edit->setFocus();
    edit->setCursorPosition(0);
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClick(edit, Qt::Key_Insert);
    QTest::keyClick(edit, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(list->Model().Rows(), (Rows{"ttp://a/", "http://b/"}));

    // Outside the editor they are the window's keys.
    list->View()->setFocus();
    QTest::keyClick(list->View(), Qt::Key_Delete);
    EXPECT_EQ(list->Model().Rows(), (Rows{"http://b/"}));
}

TEST_F(ListEditorTest, ReturnAndEscapeInTheOptionsDialogEndTheEditOnly)
{
    BlockUrls({"http://kept/"});
    bool accepted = false;
    testenv::HandlerGuard driver(SetOptionDialogDriver, [&](COption& dialog) {
        dialog.SetCurrentPage(COption::CloseUrl);
        dialog.show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
        QWindow* window = dialog.windowHandle();
        CEditableList* list = dialog.PageOf<CListPage>(COption::CloseUrl)->List();
        list->View()->setFocus();
        // Keys as the window system delivers them, to the focused editor.
        const auto type = [window](const char* text, Qt::Key end) {
            for (const char* c = text; *c; ++c)
                QTest::keyClick(window, *c);
            QTest::keyClick(window, end);
        };
        QTest::keyClick(window, Qt::Key_Insert);
        type("http://typed/", Qt::Key_Return);
        EXPECT_TRUE(testenv::SpinUntil([list] { return !list->IsEditing(); }, 5000));
        EXPECT_TRUE(dialog.isVisible()) << "Return ended the whole dialog";
        QTest::keyClick(window, Qt::Key_F2);
        type("x", Qt::Key_Escape);
        EXPECT_TRUE(testenv::SpinUntil([list] { return !list->IsEditing(); }, 5000));
        EXPECT_TRUE(dialog.isVisible()) << "Escape ended the whole dialog";
        EXPECT_EQ(list->Model().Rows(), (Rows{"http://kept/", "http://typed/"}));
        EXPECT_EQ(testenv::ReadFile(m_app->CloseUrlPath()).find("typed"), std::string::npos) << "nothing written yet";
        if (dialog.isVisible()) {
            accepted = true;
            QTest::keyClick(window, Qt::Key_Return); // not editing: the dialog's OK
        }
        return dialog.result();
    });
    m_frame->ExecuteCommand(ID_VIEW_OPTION);
    ASSERT_TRUE(accepted);
    Rows written;
    ASSERT_TRUE(ReadListFile(m_app->CloseUrlPath(), written));
    EXPECT_EQ(written, (Rows{"http://kept/", "http://typed/"}));
}

TEST_F(ListEditorTest, StatusBarShowsMenuPromptsAndToggles)
{
    CListEditorDialog* editor = OpenEditor();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->StatusBar()->objectName(), QStringLiteral("59393"));
    QAction* open = FindCommand(editor->MenuBar(), ID_LE_OPEN);
    ASSERT_NE(open, nullptr);
    open->showStatusText(editor->MenuBar());
    EXPECT_EQ(editor->StatusBar()->currentMessage(), QStringLiteral("リストファイルを開きます。"));
    ASSERT_TRUE(editor->ExecuteCommand(CModelessMain::ID_VIEW_STATUS_BAR));
    EXPECT_TRUE(editor->StatusBar()->isHidden());
    EXPECT_EQ(editor->Router().Query(CModelessMain::ID_VIEW_STATUS_BAR).checked, false);
}

TEST(EditableList, ButtonsKeysAndDropsEditTheEntries)
{
    CEditableList list;
    std::string home;
    list.SetHomeText([&home] { return home; });
    list.show();
    CEditableListModel& model = list.Model();
    QStringList tips;
    for (QAction* action : list.ButtonBar()->actions())
        tips << action->toolTip();
    EXPECT_EQ(tips, (QStringList{"Home (Home)", "Insert (Insert)", "Delete (Delete)", "Up (Ctrl+↑)", "Down (Ctrl+↓)"}));

    list.AppendHome(); // nothing to add
    home = "http://home/";
    QTest::keyClick(list.View(), Qt::Key_Home);
    model.Append({"a", "b", "c"});
    list.SelectRow(1);
    QTest::keyClick(list.View(), Qt::Key_Up, Qt::ControlModifier);
    QTest::keyClick(list.View(), Qt::Key_Up, Qt::ControlModifier); // at the top: nothing
    EXPECT_EQ(model.Rows(), (Rows{"a", "http://home/", "b", "c"}));
    EXPECT_EQ(list.CurrentRow(), 0);
    QTest::keyClick(list.View(), Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(list.CurrentRow(), 1);

    // A new entry left empty goes again; one with text stays.
    list.InsertRow();
    EXPECT_TRUE(list.IsEditing());
    list.CommitEdit();
    EXPECT_EQ(model.Rows().size(), 4u);
    list.InsertRow();
    auto* edit = qobject_cast<QLineEdit*>(list.View()->indexWidget(list.View()->currentIndex()));
    ASSERT_NE(edit, nullptr);
    QTest::keyClicks(edit, "new");
    list.CommitEdit();
    EXPECT_EQ(model.Rows(), (Rows{"http://home/", "a", "new", "b", "c"}));
    list.DeleteSelected();
    EXPECT_EQ(list.CurrentRow(), 2);

    // Line breaks in typed, pasted or dropped text become blanks.
    model.setData(model.index(0), QStringLiteral("x\r\ny"), Qt::EditRole);
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/two\nlines.txt")), QUrl(QStringLiteral("http://link/"))});
    const QPoint below(4, list.View()->viewport()->height() - 2);
    QDragEnterEvent enter(below, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list.View()->viewport(), &enter);
    QDropEvent drop(below, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list.View()->viewport(), &drop);
    EXPECT_EQ(model.Rows(), (Rows{"x  y", "a", "b", "c", "/tmp/two lines.txt", "http://link/"}));
}
