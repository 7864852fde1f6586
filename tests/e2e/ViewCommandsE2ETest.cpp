#include "platform/WebEngineBrowser.h"
#include "widgets/view/FindBar.h"

#include "HttpServer.h"
#include "TestBrowser.h"

#include <QApplication>
#include <QFile>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QWebEnginePage>

using namespace nimbra;
using testenv::SpinUntil;

namespace {

constexpr int kLoadMs = 20000;

class ViewCommandsE2E : public testenv::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        m_server.AddHtml("/comments", "Comments",
                         "<p>visible</p><!-- top note --><iframe id=f src='/inner'></iframe>");
        m_server.AddHtml("/inner", "Inner", "<p>inner</p><!-- inner note -->");
        m_server.AddHtml("/target", "Target", "<p>target</p>");
        m_server.AddHtml("/save", "Saved page", "<h1>Heading</h1><p>Body text \xe6\x97\xa5\xe6\x9c\xac</p>");
    }

    std::string Url(const char* path) const { return m_server.Url(path).toStdString(); }


    static QWebEnginePage* Page(CNimbraView* view)
    {
        return dynamic_cast<CWebEngineBrowser*>(view->Browser())->Page();
    }

    // The result of an expression, waited for; empty when it throws.
    static QString Eval(CNimbraView* view, const QString& expression)
    {
        QString result;
        bool done = false;
        const QString script = QStringLiteral("(function () { try { return String(%1); } catch (e) { return ''; } })()")
                                   .arg(expression);
        Page(view)->runJavaScript(script, [&](const QVariant& value) {
            result = value.toString();
            done = true;
        });
        EXPECT_TRUE(SpinUntil([&] { return done; }, kLoadMs));
        return result;
    }

    testenv::HttpServer m_server;
};

} // namespace

TEST_F(ViewCommandsE2E, CommentDisplayShowsCommentsOfThePageAndItsFrames)
{
    Start();
    CNimbraView* view = OpenAndWait(Url("/comments"));
    ASSERT_EQ(m_frame->ActiveView(), view);
    const QString innerText = QStringLiteral("document.getElementById('f').contentDocument.body.innerText");
    ASSERT_TRUE(SpinUntil([&] { return Eval(view, innerText).contains(QLatin1String("inner")); }, kLoadMs));
    EXPECT_FALSE(Eval(view, QStringLiteral("document.body.innerText")).contains(QLatin1String("top note")));

    ASSERT_TRUE(m_frame->ExecuteCommand(32921));
    EXPECT_TRUE(SpinUntil(
        [&] { return Eval(view, QStringLiteral("document.body.innerText")).contains(QLatin1String("<!-- top note -->")); },
        kLoadMs));
    EXPECT_TRUE(SpinUntil([&] { return Eval(view, innerText).contains(QLatin1String("<!-- inner note -->")); }, kLoadMs));
}

TEST_F(ViewCommandsE2E, SelectedUrlTextOpensInANewTab)
{
    Start();
    m_server.AddHtml("/select", "Select", QStringLiteral("<p>see <span id=u>%1</span> here</p>").arg(m_server.Url("/target")));
    CNimbraView* view = OpenAndWait(Url("/select"));
    Eval(view, QStringLiteral("window.getSelection().selectAllChildren(document.getElementById('u'))"));
    ASSERT_TRUE(SpinUntil([&] { return Page(view)->hasSelection(); }, kLoadMs));

    ASSERT_TRUE(m_frame->ExecuteCommand(32880));
    ASSERT_TRUE(SpinUntil([&] { return m_frame->TabCount() == 2; }, kLoadMs));
    CNimbraView* opened = m_frame->Views()[1];
    EXPECT_TRUE(SpinUntil([&] { return opened->GetLocationName() == "Target"; }, kLoadMs));
    EXPECT_EQ(opened->GetLocationURL(), Url("/target"));
}

TEST_F(ViewCommandsE2E, SaveAsWritesAFileThatReopensWithTheSameContent)
{
    Start();
    CNimbraView* view = OpenAndWait(Url("/save"));
    const QString original = Eval(view, QStringLiteral("document.body.innerText"));
    ASSERT_TRUE(original.contains(QStringLiteral("Body text 日本")));

    ASSERT_TRUE(m_frame->ExecuteCommand(57604));
    QApplication::processEvents();
    auto* dialog = m_frame->findChild<QFileDialog*>();
    ASSERT_NE(dialog, nullptr);
    const std::string path = File("saved.html");
    dialog->selectNameFilter(dialog->nameFilters()[1]); // HTML only
    dialog->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(path));
    static_cast<QDialog*>(dialog)->accept();
    ASSERT_TRUE(SpinUntil(
        [&] { return QFile(QString::fromStdString(path)).size() > 0 && testenv::ReadFile(path).find("</html>") != std::string::npos; },
        kLoadMs));
    EXPECT_NE(testenv::ReadFile(path).find("Heading"), std::string::npos);

    CNimbraView* reopened = OpenAndWait("file://" + path);
    EXPECT_EQ(reopened->GetLocationName(), "Saved page");
    EXPECT_EQ(Eval(reopened, QStringLiteral("document.body.innerText")), original);
}

TEST_F(ViewCommandsE2E, FindBarCountsMatchesAndHistoryListsMoveOnTheEngine)
{
    Start();
    m_server.AddHtml("/find", "Find", "<p>apple Apple banana apple</p>");
    CNimbraView* view = OpenAndWait(Url("/find"));
    ASSERT_TRUE(m_frame->ExecuteCommand(61222));
    auto* bar = view->findChild<CFindBar*>();
    ASSERT_NE(bar, nullptr);
    bar->Field()->setText(QStringLiteral("apple"));
    EXPECT_TRUE(SpinUntil([&] { return bar->Result()->text() == QStringLiteral("1 / 3 件"); }, kLoadMs))
        << bar->Result()->text().toStdString();
    bar->MatchCase()->setChecked(true);
    // The engine goes on from the match it selected: only the count is fixed.
    EXPECT_TRUE(SpinUntil([&] { return bar->Result()->text().endsWith(QStringLiteral("/ 2 件")); }, kLoadMs))
        << bar->Result()->text().toStdString();

    // Two more pages, then two steps back through the back list.
    for (const char* path : {"/target", "/save"}) {
        bool done = false;
        QObject::connect(view, &CNimbraView::DocumentCompleted, view, [&done] { done = true; });
        view->Navigate(Url(path));
        ASSERT_TRUE(SpinUntil([&] { return done; }, kLoadMs));
        QObject::disconnect(view, &CNimbraView::DocumentCompleted, view, nullptr);
    }
    EXPECT_EQ(view->Browser()->BackList(), (std::vector<std::string>{"Target", "Find"}));
    ASSERT_TRUE(m_frame->ExecuteCommand(44278));
    EXPECT_TRUE(SpinUntil([&] { return view->GetLocationURL() == Url("/find"); }, kLoadMs));
    EXPECT_EQ(view->Browser()->ForwardList(), (std::vector<std::string>{"Target", "Saved page"}));
}
