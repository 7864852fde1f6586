#include "frame/CommandIds.h"
#include "platform/Text.h"
#include "sidebar/SidebarCommands.h"

#include "HttpServer.h"
#include "TestBrowser.h"

#include <QComboBox>
#include <QDir>
#include <QPushButton>

using namespace nimbra;
using testenv::SpinUntil;

namespace {

constexpr int kLoadMs = 60000;

class HistoryE2E : public testenv::BrowserTest {
protected:
    void SetUp() override
    {
        m_bRealEngine = true;
        BrowserTest::SetUp();
        m_server.AddHtml(QStringLiteral("/utf8"), QStringLiteral("日本語のページ"), QStringLiteral("<p>こんにちは</p>"));
        // "シフトジス" and "本文" in Shift-JIS.
        m_server.AddPage(QStringLiteral("/sjis"),
                         "<html><head><title>\x83\x56\x83\x74\x83\x67\x83\x57\x83\x58</title></head>"
                         "<body><p>\x96\x7B\x95\xB6</p></body></html>",
                         0, "text/html; charset=shift_jis");
        m_server.AddHtml(QStringLiteral("/word"), QStringLiteral("Word page"), QStringLiteral("<p>zebracorn</p>"));
    }
    std::string Url(const char* path) const { return m_server.Url(QString::fromLatin1(path)).toStdString(); }
    CSidebarCommands* Sidebar() const { return SidebarCommandsOf(*m_frame); }
    QTreeWidgetItem* TreeItem(const QString& text) const
    {
        return Sidebar()->HistoryTree()->findItems(text, Qt::MatchExactly | Qt::MatchRecursive).value(0);
    }
    // Every byte of the SQLite files of the data directory.
    std::string DatabaseBytes() const
    {
        std::string all;
        for (const QString& name : QDir(m_home.path()).entryList({QStringLiteral("*.db*")}, QDir::Files))
            all += testenv::ReadFile(m_home.file(name.toStdString()));
        return all;
    }

    testenv::HttpServer m_server;
};

} // namespace

TEST_F(HistoryE2E, CopiesAreSearchedTheTreeShowsTodayAndClearingLeavesNothing)
{
    Start();
    for (const char* path : {"/utf8", "/sjis", "/word"})
        OpenAndWait(Url(path), kLoadMs);
    // The copy is read after the load: wait until the word is in it.
    CHistorySearchPane* pane = Sidebar()->HistorySearch();
    m_frame->Router().Execute(ID_NB_HISTORY_SEARCH);
    auto found = [&] {
        std::vector<std::string> urls;
        for (const SHistoryRow& row : pane->Model()->Rows())
            urls.push_back(row.url);
        return urls;
    };
    ASSERT_TRUE(SpinUntil([&] {
        if (pane->IsSearching())
            return false;
        if (found() == std::vector<std::string>{Url("/word")})
            return true;
        m_frame->History().Flush();
        pane->TextBox()->setEditText(QStringLiteral("zebracorn"));
        pane->Button(1142)->click();
        return false;
    }, kLoadMs));

    m_frame->close();
    m_app.reset();
    m_app = std::make_unique<CNimbraApp>();
    m_app->SetShell(std::make_unique<testenv::RecordingShell>(&m_shell));
    m_app->InitPaths();
    Start();
    m_frame->Router().Execute(ID_NB_HISTORY);
    const QString host = QStringLiteral("127.0.0.1");
    ASSERT_TRUE(SpinUntil([&] { return TreeItem(QStringLiteral("今日")); }, 5000));
    TreeItem(QStringLiteral("今日"))->setExpanded(true);
    ASSERT_TRUE(SpinUntil([&] { return TreeItem(host); }, 5000));
    TreeItem(host)->setExpanded(true);
    for (const char* title : {"日本語のページ", "シフトジス", "Word page"})
        EXPECT_TRUE(SpinUntil([&] { return TreeItem(QString::fromUtf8(title)); }, 5000)) << title;

    m_frame->ClearHistory();
    m_frame->History().Flush();
    EXPECT_EQ(Sidebar()->HistoryTree()->topLevelItemCount(), 0);
    EXPECT_TRUE(pane->Model()->Rows().empty());
    const std::string bytes = DatabaseBytes();
    EXPECT_EQ(bytes.find("127.0.0.1:"), std::string::npos);
    EXPECT_EQ(bytes.find("zebracorn"), std::string::npos);
}
