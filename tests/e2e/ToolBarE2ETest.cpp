#include "widgets/bars/FlatToolBar.h"
#include "widgets/bars/ToolBarCustomizeDlg.h"
#include "ui/CommandIds.h"

#include "HttpServer.h"
#include "TestBrowser.h"

#include <QListWidget>
#include <QMenu>
#include <QTest>

using namespace nimbra;
using testenv::SpinUntil;

namespace {

constexpr int kLoadMs = 20000;

class ToolBarE2E : public testenv::BrowserTest {
protected:
    std::string Url(const QString& path) const { return m_server.Url(path).toStdString(); }
    void NavigateAndWait(CNimbraView* view, const std::string& url)
    {
        bool done = false;
        QObject::connect(view, &CNimbraView::DocumentCompleted, view, [&done] { done = true; });
        view->Navigate(url);
        ASSERT_TRUE(SpinUntil([&] { return done; }, kLoadMs)) << url;
        QObject::disconnect(view, &CNimbraView::DocumentCompleted, view, nullptr);
    }

    testenv::HttpServer m_server;
};

} // namespace

TEST_F(ToolBarE2E, TheBackDropDownListsTheHistoryAndGoesBack)
{
    m_bRealEngine = true;
    for (const char* name : {"a", "b", "c"})
        m_server.AddHtml(QStringLiteral("/%1").arg(name), QStringLiteral("Page %1").arg(name));
    Start();
    CNimbraView* view = OpenAndWait(Url("/a"));
    ASSERT_NE(view, nullptr);
    NavigateAndWait(view, Url("/b"));
    NavigateAndWait(view, Url("/c"));

    // A press on the back button's arrow (its right end) drops the list,
    // once the button took the new state.
    CToolBarButton* back = FlatToolBarOf(*m_frame)->FindButton(ID_BACK);
    ASSERT_TRUE(back && back->isVisible() && back->HasDropDown());
    ASSERT_TRUE(SpinUntil([&] { return back->isEnabled(); }, kLoadMs));
    QTest::mousePress(back, Qt::LeftButton, {}, QPoint(back->width() - 3, back->height() / 2));
    QMenu* menu = nullptr;
    ASSERT_TRUE(SpinUntil([&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())); }, kLoadMs));
    // One step back is the button itself: the list starts at two.
    ASSERT_EQ(menu->actions().size(), 1);
    QAction* two = menu->actions()[0];
    EXPECT_EQ(two->text(), QStringLiteral("2つ戻る"));
    // The menu sits below the button.
    EXPECT_EQ(menu->pos(), back->mapToGlobal(QPoint(0, back->height())));
    two->trigger();
    EXPECT_TRUE(SpinUntil([&] { return view->GetLocationURL() == Url("/a"); }, kLoadMs)) << view->GetLocationURL();
    menu->close();
}

TEST_F(ToolBarE2E, ARestartKeepsTheCustomisedToolBar)
{
    Start();
    CFlatToolBar* bar = FlatToolBarOf(*m_frame);
    ASSERT_TRUE(m_frame->ExecuteCommand(ID_TOOLBAR_CUSTOMIZE));
    auto* dialog = bar->findChild<CToolBarCustomizeDlg*>();
    ASSERT_NE(dialog, nullptr);
    // The first button out, a separator in at the end.
    dialog->Current()->setCurrentRow(0);
    dialog->Remove();
    dialog->Current()->setCurrentRow(dialog->Current()->count() - 1);
    dialog->Available()->setCurrentRow(0);
    dialog->Add();
    dialog->accept();
    const std::vector<int> customised = bar->Layout();
    ASSERT_EQ(customised.front(), ID_FORWARD);
    ASSERT_EQ(customised.back(), kToolSeparator);

    Restart();
    EXPECT_EQ(FlatToolBarOf(*m_frame)->Layout(), customised);
    EXPECT_EQ(FlatToolBarOf(*m_frame)->FindButton(ID_BACK), nullptr);
}
