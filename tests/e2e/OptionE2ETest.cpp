#include "widgets/bars/TabBarCtrl.h"
#include "widgets/bookmarks/BookmarkCommands.h"
#include "ui/CommandIds.h"
#include "frames/browser/Option.h"
#include "frames/browser/OptionPage.h"

#include "HttpServer.h"
#include "TestBrowser.h"

#include <QCheckBox>
#include <QMenu>
#include <QMenuBar>
#include <QSpinBox>
#include <QTest>

using namespace nimbra;
using testenv::SpinUntil;

namespace {

constexpr int kLoadMs = 20000;

class OptionE2E : public testenv::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        m_server.AddHtml("/page", "A page with a long title", "<p>page</p>");
    }

    testenv::HttpServer m_server;
};

template <class T>
T* ControlOf(COption& dialog, int page, EKey key)
{
    dialog.SetCurrentPage(page);
    return qobject_cast<T*>(dialog.Page(page)->Control(key));
}

} // namespace

TEST_F(OptionE2E, F12TabWidthAndMenuTitlesActWithoutARestart)
{
    const std::string url = m_server.Url("/page").toStdString();
    testenv::WriteFile(m_app->BookmarkPath(),
                       "<HTML>\r\n<UL>\r\n\t<LI><A HREF=\"" + url + "\">Bookmarked page</A>\r\n</UL>\r\n</HTML>\r\n");
    Start();
    CNimbraView* view = OpenAndWait(url);
    ASSERT_NE(view, nullptr);
    QMenu* menu = FindBookmarkMenu(m_frame->MainMenu());
    ASSERT_NE(menu, nullptr);
    const auto titleShown = [menu](const QString& text) {
        const QList<QAction*> items = testenv::Shown(menu)->actions();
        return std::any_of(items.begin(), items.end(), [&](QAction* a) { return a->text() == text; });
    };
    ASSERT_TRUE(SpinUntil([&] { return titleShown("Bookmarked page"); }, kLoadMs));
    const int before = Tabs()->TabCtrl()->TabRect(0).width();

    bool shown = false;
    testenv::HandlerGuard driver(SetOptionDialogDriver, [&](COption& dialog) {
        shown = true;
        dialog.show();
        ControlOf<QCheckBox>(dialog, COption::Tab2, EKey::SetTabWidth)->setChecked(true);
        ControlOf<QSpinBox>(dialog, COption::Tab2, EKey::TabWidth)->setValue(120);
        ControlOf<QCheckBox>(dialog, COption::Bookmark, EKey::MenuTitle)->setChecked(true);
        ControlOf<QSpinBox>(dialog, COption::Bookmark, EKey::MenuTitleLength)->setValue(5);
        dialog.accept();
        return dialog.result();
    });
    m_frame->activateWindow();
    QTest::keyClick(m_frame, Qt::Key_F12);
    if (!shown) // no active window to take the shortcut (offscreen)
        m_frame->ExecuteCommand(ID_VIEW_OPTION);
    ASSERT_TRUE(shown);

    EXPECT_NE(before, 120);
    EXPECT_TRUE(SpinUntil([&] { return Tabs()->TabCtrl()->TabRect(0).width() == 120; }, kLoadMs));
    EXPECT_TRUE(SpinUntil([&] { return titleShown("Bookm..."); }, kLoadMs));
    EXPECT_EQ(view, m_frame->ActiveView()) << "the same tab, no restart";
}
