#include "ui/CommandIds.h"
#include "ui/EditableList.h"
#include "widgets/tools/ListEditorDialog.h"
#include "widgets/tools/ToolsCommands.h"
#include "widgets/tools/UrlExtractDialog.h"

#include "../widgets/tools/ToolsTestSupport.h"
#include "HttpServer.h"
#include "TestBrowser.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace nimbra;
using testenv::SpinUntil;

namespace {

constexpr int kLoadMs = 20000;

class ToolsE2E : public testenv::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        m_server.AddHtml("/tools", "Tools",
                         "<a href='/files/a.zip'>a</a> <a href='/files/B.ZIP'>B</a> <a href='/p1.html'>1</a>"
                         "<a href='/p2.html'>2</a> <a href='/run.cgi?x=1'>cgi</a> <a name='n'>no link</a>"
                         "<img src='/img/x.gif'><iframe src='/inner'></iframe>");
        m_server.AddHtml("/inner", "Inner", "<a href='/files/inner.zip'>in</a> <a href='/p3.html'>3</a>");
        for (const char* page : {"/p1.html", "/p2.html", "/p3.html"})
            m_server.AddHtml(page, page);
        Start();
    }
    void TearDown() override
    {
        CloseListEditor();
        BrowserTest::TearDown();
    }
    std::string Url(const char* path) const { return m_server.Url(path).toStdString(); }

    CUrlExtractDialog* Extract()
    {
        OpenAndWait(Url("/tools"));
        EXPECT_TRUE(m_frame->ExecuteCommand(ID_URL_EXTRACT));
        auto* dialog = m_frame->findChild<CUrlExtractDialog*>();
        EXPECT_NE(dialog, nullptr);
        if (dialog) {
            EXPECT_TRUE(SpinUntil([dialog] { return dialog->Model().Count() > 0; }, kLoadMs));
        }
        return dialog;
    }
    void Filter(CUrlExtractDialog* dialog, const char* text)
    {
        dialog->FilterCombo()->setEditText(QString::fromUtf8(text));
        QTest::mouseClick(dialog->FilterButton(), Qt::LeftButton);
    }

    testenv::HttpServer m_server;
};

} // namespace

TEST_F(ToolsE2E, ExtractsTheLinksOfThePageAndItsFrameSavesReGetAndOpensTheTickedUrls)
{
    CUrlExtractDialog* dialog = Extract();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->FrameCombo()->count(), 2);
    EXPECT_EQ(dialog->FrameCombo()->itemText(1), QStringLiteral("Inner"));
    EXPECT_EQ(dialog->Model().Count(), 5);

    const std::string path = File("urllist.wrg");
    testenv::FileAnswers files({path});
    Filter(dialog, "*.zip");
    ASSERT_TRUE(dialog->ExecuteCommand(ID_DL_SAVE_REGET));
    std::string expected;
    for (const char* file : {"/files/a.zip", "/files/B.ZIP"})
        expected += ";\r\nInfo=\r\nRefererStr=" + Url("/tools") +
                    "\r\nStoreIn=\\\r\nSaveAs=\r\nAdvanced=0\r\nLogin=0\r\nPassword=\r\nUserName=\r\n"
                    "_RemoteFileSize=-1\r\n_State=2\r\nUrl=" + Url(file) + "\r\n";
    EXPECT_EQ(testenv::ReadFile(path), expected);

    // The frame's list comes from the same read.
    dialog->FrameCombo()->setCurrentIndex(1);
    EXPECT_EQ(dialog->Model().Url(1), Url("/p3.html"));
    dialog->FrameCombo()->setCurrentIndex(0);

    Filter(dialog, "*/P*.HTML");
    const int before = m_server.Requests().size();
    ASSERT_TRUE(dialog->ExecuteCommand(ID_DL_NAVI_TICKED));
    ASSERT_TRUE(SpinUntil(
        [&] {
            const QStringList requests = m_server.Requests();
            return requests.contains("/p1.html") && requests.contains("/p2.html")
                   && m_frame->ViewManager()->GetItemCount() == 3;
        },
        kLoadMs));
    QStringList opened = m_server.Requests().mid(before);
    opened.removeAll(QStringLiteral("/favicon.ico"));
    opened.sort();
    EXPECT_EQ(opened, (QStringList{"/p1.html", "/p2.html"}));
    dialog->reject();
}

TEST_F(ToolsE2E, ListEditorEditsARowInPlaceSavesItAndAddsTheActiveTab)
{
    OpenAndWait(Url("/p1.html"));
    const std::string path = File("edit.nbl");
    ASSERT_TRUE(WriteListFile(kHeadingUrlList, path, {"http://one/", "http://two/"}));
    testenv::FileAnswers files({path});
    ASSERT_TRUE(m_frame->ExecuteCommand(ID_LIST_EDITOR));
    CListEditorDialog* editor = CListEditorDialog::Instance();
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(editor->ExecuteCommand(ID_LE_OPEN));
    ASSERT_TRUE(SpinUntil([&] { return editor->List()->Model().rowCount() == 2; }, kLoadMs));

    CEditableList* list = editor->List();
    list->SelectRow(1);
    list->View()->setFocus();
    QTest::keyClick(list->View(), Qt::Key_F2);
    auto* edit = qobject_cast<QLineEdit*>(list->View()->indexWidget(list->Model().index(1)));
    ASSERT_NE(edit, nullptr);
    edit->selectAll();
    QTest::keyClicks(edit, "http://edited/");
    QTest::keyClick(edit, Qt::Key_Return);
    ASSERT_TRUE(SpinUntil([list] { return !list->IsEditing(); }, kLoadMs));
    QTest::keyClick(list->View(), Qt::Key_Home);

    ASSERT_TRUE(editor->ExecuteCommand(ID_LE_SAVE));
    ASSERT_TRUE(SpinUntil([&] { return !editor->IsBusy(); }, kLoadMs));
    UrlList saved;
    ASSERT_TRUE(ReadListFile(path, saved));
    EXPECT_EQ(saved, (UrlList{"http://one/", "http://edited/", Url("/p1.html")}));
}
