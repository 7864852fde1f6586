#include "widgets/bars/LinkBar.h"
#include "widgets/bookmarks/BookmarkCommands.h"
#include "data/bookmarks/BookmarkFile.h"

#include "HttpServer.h"
#include "TestBrowser.h"

#include <QTest>

using namespace nimbra;
using testenv::SpinUntil;

namespace {

constexpr int kLoadMs = 20000;

class LinkBarE2E : public testenv::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        m_server.AddHtml("/linked", "Linked Page", "<p>linked</p>");
    }

    testenv::HttpServer m_server;
};

} // namespace

TEST_F(LinkBarE2E, ALinkBarButtonOpensItsPage)
{
    const std::string url = m_server.Url("/linked").toStdString();
    BookmarkItem links = BookmarkItem::Folder("リンク");
    links.items.push_back(BookmarkItem::Link("Linked", url));
    BookmarkItem root = BookmarkItem::Folder({});
    root.items.push_back(links);
    WriteBookmarkFile(m_app->BookmarkPath(), root);
    Start();

    CLinkBar* bar = BookmarkCommandsOf(*m_frame)->LinkBar();
    ASSERT_TRUE(SpinUntil([&] { return !bar->VisibleButtons().empty(); }, kLoadMs));
    QTest::mouseClick(bar->VisibleButtons()[0], Qt::LeftButton);

    ASSERT_TRUE(SpinUntil([&] { return m_frame->TabCount() == 1; }, kLoadMs));
    CNimbraView* view = m_frame->Views()[0];
    EXPECT_TRUE(SpinUntil([&] { return view->m_strTitle == "Linked Page" && !view->Browser()->Busy(); }, kLoadMs));
    EXPECT_EQ(view->GetLocationURL(), url);
}
