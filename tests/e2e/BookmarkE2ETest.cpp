#include "frames/browser/ChildFrame.h"
#include "widgets/bookmarks/AddBookmarkDlg.h"
#include "widgets/bookmarks/BookmarkCommands.h"
#include "platform/Text.h"

#include "HttpServer.h"
#include "TestBrowser.h"

#include <QMenu>
#include <QMenuBar>
#include <QTreeWidget>

using namespace nimbra;
using testenv::SpinUntil;

namespace {

constexpr int kLoadMs = 20000;

class BookmarkE2E : public testenv::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        m_server.AddHtml("/page", "Bookmarked Page", "<p>page</p>");
    }

    testenv::HttpServer m_server;
};

} // namespace

TEST_F(BookmarkE2E, PageAddedFromTheMenuIsInTheFileAndTheMenuAndOpensInANewTab)
{
    Start();
    const std::string url = m_server.Url("/page").toStdString();
    CNimbraView* view = m_app->OpenUrl(url);
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(SpinUntil([&] { return view->m_strTitle == "Bookmarked Page" && !view->Browser()->Busy(); }, kLoadMs));
    m_frame->ActivateTab(CChildFrame::Of(view));

    QMenu* menu = FindBookmarkMenu(m_frame->MainMenu());
    ASSERT_NE(menu, nullptr);
    // The dialog as a user would work it: the root folder, OK.
    testenv::HandlerGuard driver(SetBookmarkDialogDriver, [](QDialog& dialog) {
        auto& dlg = dynamic_cast<CAddBookmarkDlg&>(dialog);
        dlg.FolderTree()->setCurrentItem(dlg.FolderTree()->topLevelItem(0));
        dlg.OnOK();
        return dlg.result();
    });
    m_frame->Router().UpdateMenu(menu);
    QAction* add = menu->actions().first();
    ASSERT_TRUE(add->isEnabled());
    add->trigger();

    const std::string file = testenv::ReadFile(m_app->BookmarkPath());
    EXPECT_NE(file.find("\t<LI><A HREF=\"" + url + "\">Bookmarked Page</A>\r\n</UL>\r\n</HTML>"), std::string::npos)
        << file;
    const QList<QAction*> items = testenv::Shown(menu)->actions();
    ASSERT_EQ(items.size(), kBookmarkFixedItems + 1);
    QAction* item = items.last();
    EXPECT_EQ(FromQ(item->text()), "Bookmarked Page");

    item->trigger();
    ASSERT_EQ(m_frame->TabCount(), 2);
    CNimbraView* opened = m_frame->Views()[1];
    EXPECT_TRUE(SpinUntil([&] { return opened->m_strTitle == "Bookmarked Page" && !opened->Browser()->Busy(); },
                          kLoadMs));
    EXPECT_EQ(opened->GetLocationURL(), url);
}
