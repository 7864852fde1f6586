#include "widgets/bars/AddressCombo.h"
#include "widgets/bookmarks/UrlEntryDialog.h"

#include "TestBrowser.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace nimbra;

namespace {

class UrlEntryDialogTest : public testenv::BrowserTest {
protected:
    void SetUp() override
    {
        BrowserTest::SetUp();
        Start();
        // Typed addresses, newest first in the address bar.
        m_frame->AddressCombo()->Go("http://first/", 1, 0, 0, 0);
        m_frame->AddressCombo()->Go("http://second/", 1, 0, 0, 0);
    }
    static QStringList Items(QComboBox* combo)
    {
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        return items;
    }
};

} // namespace

TEST_F(UrlEntryDialogTest, OpensWithTheAddressHistoryAndTheCallersTexts)
{
    Option("AddUrlOpenNew", 1);
    CUrlEntryDialog dialog(m_app->Settings(), m_frame->AddressCombo()->History(), m_frame);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("URLを追加"));
    dialog.SetTitle("ファイルを開く");
    dialog.SetLabel("URLまたはファイルのパス");
    dialog.SetInitialText("http://initial/");
    dialog.ShowNewTabCheck(false);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("ファイルを開く"));
    EXPECT_EQ(dialog.Label()->text(), QStringLiteral("URLまたはファイルのパス"));
    EXPECT_EQ(Items(dialog.Combo()),
              (QStringList{"http://initial/", "http://second/", "http://first/"}));
    EXPECT_EQ(dialog.Combo()->currentText(), QStringLiteral("http://initial/"));
    EXPECT_EQ(dialog.Combo()->lineEdit()->selectedText(), QStringLiteral("http://initial/"));
    EXPECT_TRUE(dialog.NewTabCheck()->isChecked());
    EXPECT_FALSE(dialog.NewTabCheck()->isVisible());
    EXPECT_FALSE(dialog.AutoCompleteActive());
}

TEST_F(UrlEntryDialogTest, OkIsEnabledOnlyWithText)
{
    CUrlEntryDialog dialog(m_app->Settings(), m_frame->AddressCombo()->History(), m_frame);
    dialog.show();
    EXPECT_TRUE(dialog.Combo()->currentText().isEmpty());
    EXPECT_FALSE(dialog.OkButton()->isEnabled());
    QTest::keyClick(dialog.Combo()->lineEdit(), Qt::Key_X);
    EXPECT_TRUE(dialog.OkButton()->isEnabled());
    QTest::keyClick(dialog.Combo()->lineEdit(), Qt::Key_Backspace);
    EXPECT_FALSE(dialog.OkButton()->isEnabled());
    // Enter with an empty field does not close the dialog.
    QTest::keyClick(dialog.Combo()->lineEdit(), Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible());
    dialog.Combo()->setCurrentIndex(1);
    EXPECT_TRUE(dialog.OkButton()->isEnabled());
}

TEST_F(UrlEntryDialogTest, EnterWithTheListOpenKeepsTheDialogAndTheTypedText)
{
    CUrlEntryDialog dialog(m_app->Settings(), m_frame->AddressCombo()->History(), m_frame);
    dialog.show();
    QLineEdit* edit = dialog.Combo()->lineEdit();
    QTest::keyClicks(edit, "typed");
    QTest::keyClick(edit, Qt::Key_Down); // opens the list
    QAbstractItemView* list = dialog.Combo()->view();
    ASSERT_TRUE(list->isVisible());
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_FALSE(list->isVisible());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_EQ(dialog.Combo()->currentText(), QStringLiteral("typed"));
    EXPECT_EQ(edit->selectedText(), QStringLiteral("typed"));

    // Escape in the open list does the same; Up on the first entry closes it.
    QTest::keyClick(edit, Qt::Key_Down);
    ASSERT_TRUE(list->isVisible());
    QTest::keyClick(list, Qt::Key_Escape);
    EXPECT_FALSE(list->isVisible());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.Combo()->currentText(), QStringLiteral("typed"));
    QTest::keyClick(edit, Qt::Key_Down);
    list->setCurrentIndex(list->model()->index(0, 0));
    QTest::keyClick(list, Qt::Key_Up);
    EXPECT_FALSE(list->isVisible());

    // Ctrl+A selects the whole text.
    edit->deselect();
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(edit->selectedText(), dialog.Combo()->currentText());
}

TEST_F(UrlEntryDialogTest, OkStoresTheNewTabChoice)
{
    CUrlEntryDialog dialog(m_app->Settings(), m_frame->AddressCombo()->History(), m_frame);
    dialog.show();
    dialog.Combo()->setEditText("http://x/");
    dialog.NewTabCheck()->setChecked(true);
    dialog.OkButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Text(), "http://x/");
    EXPECT_TRUE(dialog.OpenInNewTab());
    EXPECT_EQ(m_app->Settings().GetInt(EKey::AddUrlOpenNew), 1);
}

TEST_F(UrlEntryDialogTest, BrowseFillsThePathAndRemembersItsFolder)
{
    const std::string dir = File("pages");
    QDir().mkpath(QString::fromStdString(dir));
    testenv::WriteFile(dir + "/list.nbl", "x");
    Option("LastOpenPath", dir);
    CUrlEntryDialog dialog(m_app->Settings(), m_frame->AddressCombo()->History(), m_frame);
    dialog.show();
    QFileDialog* chooser = dialog.Browse();
    EXPECT_EQ(chooser->directory().absolutePath().toStdString(), dir);
    chooser->selectFile(QString::fromStdString(dir + "/list.nbl"));
    static_cast<QDialog*>(chooser)->accept();
    EXPECT_EQ(dialog.Combo()->currentText().toStdString(), dir + "/list.nbl");
    EXPECT_TRUE(dialog.OkButton()->isEnabled());

    dialog.OnFileChosen(QString::fromStdString(File("other/a.html")));
    EXPECT_EQ(m_app->Settings().GetString(EKey::LastOpenPath), File("other"));
}

TEST_F(UrlEntryDialogTest, AutoCompletionFollowsTheSettingAndTheCaller)
{
    Option("OpDlgAutoComplete", 1);
    CUrlEntryDialog allowed(m_app->Settings(), m_frame->AddressCombo()->History(), m_frame);
    allowed.show();
    EXPECT_TRUE(allowed.AutoCompleteActive());
    CUrlEntryDialog refused(m_app->Settings(), m_frame->AddressCombo()->History(), m_frame);
    refused.AllowAutoComplete(false);
    refused.show();
    EXPECT_FALSE(refused.AutoCompleteActive());
}

TEST_F(UrlEntryDialogTest, OpenCommandGoesThroughTheAddressBar)
{
    m_app->OpenUrl("http://a/");
    const int tabs = m_frame->TabCount();
    ASSERT_TRUE(m_frame->ExecuteCommand(61229));
    QApplication::processEvents();
    auto* dialog = m_frame->findChild<CUrlEntryDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("ファイルを開く"));
    dialog->Combo()->setEditText("http://typed/");
    dialog->NewTabCheck()->setChecked(true);
    dialog->accept();
    ASSERT_EQ(m_frame->TabCount(), tabs + 1);
    EXPECT_EQ(m_frame->Views().back()->GetLocationURL(), "http://typed/");
    EXPECT_EQ(m_frame->AddressCombo()->History().front(), "http://typed/");
}
