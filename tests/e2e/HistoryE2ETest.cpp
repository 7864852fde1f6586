// The history with the real engine: pages visited, searched in their
// copies, shown in the tree after a restart, and cleared from every pane
// and from the files on disk.
#include "widgets/bars/AddressCombo.h"
#include "ui/CommandIds.h"
#include "ui/CommandRouter.h"
#include "frames/browser/InternetOptionsDlg.h"
#include "platform/HistoryDb.h"
#include "platform/Text.h"
#include "widgets/sidebar/HistorySearchPane.h"
#include "widgets/sidebar/HistoryTree.h"
#include "widgets/sidebar/SidebarCommands.h"

#include "HttpServer.h"
#include "TestBrowser.h"

#include <QApplication>
#include <QComboBox>
#include <QDirIterator>
#include <QFile>
#include <QTest>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidgetItem>
#include <set>

using namespace nimbra;
using testenv::SpinUntil;

namespace {

constexpr int kLoadMs = 60000;
constexpr int kWaitMs = 10000;

class HistoryE2E : public testenv::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        m_server.AddHtml("/utf8", QStringLiteral("検索の履歴"), QStringLiteral("<p>utf-8</p>"));
        // "日本語" in the title, "表示" (its second byte a backslash) in the body.
        testenv::HttpServer::Page sjis;
        sjis.contentType = "text/html; charset=Shift_JIS";
        sjis.body = "<html><head><title>\x93\xFA\x96\x7B\x8C\xEA</title></head><body><p>\x95\x5C\x8E\xA6</p></body></html>";
        m_server.AddPage("/sjis", sjis);
        m_server.AddHtml("/word", QStringLiteral("Plain"), QStringLiteral("<p>a zephyrine here</p>"));
    }

    std::string Url(const char* path) const { return m_server.Url(path).toStdString(); }
    CSidebarCommands* Sidebar() const { return SidebarCommandsOf(*m_frame); }
    CHistorySearchPane* Pane() const { return Sidebar()->HistorySearch(); }
    CHistoryTree* HTree() const { return Sidebar()->HistoryTree(); }

    std::set<std::string> RowUrls() const
    {
        std::set<std::string> urls;
        for (const SHistoryRow& row : Pane()->Model()->Rows())
            urls.insert(row.url);
        return urls;
    }
    // Presses a button of the search form and waits for the list.
    void Press(int button)
    {
        bool finished = false;
        QObject::connect(Pane(), &CHistorySearchPane::Finished, Pane(), [&] { finished = true; });
        Pane()->Button(button)->click();
        EXPECT_TRUE(SpinUntil([&] { return finished; }, kWaitMs));
        QObject::disconnect(Pane(), &CHistorySearchPane::Finished, Pane(), nullptr);
    }
    QTreeWidgetItem* TreeItem(const QString& text) const
    {
        return HTree()->findItems(text, Qt::MatchExactly | Qt::MatchRecursive).value(0);
    }
    // The address bar's candidates once its index is read again, as the
    // field taking the focus does.
    QStringList Completions()
    {
        CAddressCombo* combo = m_frame->AddressCombo();
        m_frame->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(m_frame));
        combo->clearFocus();
        combo->setFocus();
        return combo->Completions(QStringLiteral("127.0.0.1"));
    }
    // Presses "履歴のクリア(&H)" in Internet Options, as a user would.
    void ClearThroughInternetOptions()
    {
        bool pressed = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, m_frame, [&] {
            auto* dialog = m_frame->findChild<CInternetOptionsDlg*>();
            if (!dialog || !dialog->isVisible())
                return;
            for (QPushButton* button : dialog->findChildren<QPushButton*>())
                if (button->text() == QStringLiteral("履歴のクリア(&H)")) {
                    button->click();
                    pressed = true;
                }
            dialog->reject();
        });
        poll.start(20);
        m_frame->Router().Execute(ID_INTERNET_OPTIONS);
        EXPECT_TRUE(pressed);
    }

    testenv::HttpServer m_server;
};

} // namespace

TEST_F(HistoryE2E, PagesAreFoundInTheirCopiesShownAfterARestartAndClearedEverywhere)
{
    const std::vector<std::string> urls{Url("/utf8"), Url("/sjis"), Url("/word")};
    Option("AutoComplete", 1);
    Start();
    for (const std::string& url : urls)
        ASSERT_NE(OpenAndWait(url, kLoadMs), nullptr);
    {
        // The copies are taken once each page is read back from the engine.
        const CHistoryReader reader = m_frame->History().Reader();
        ASSERT_TRUE(SpinUntil([&] {
            return std::all_of(urls.begin(), urls.end(), [&](const std::string& url) { return reader.Copy(url); });
        }, kWaitMs));
    }
    m_frame->History().Flush();

    // Words only in the bodies: found in the copies, whatever their encoding.
    m_frame->Router().Execute(ID_NB_HISTORY_SEARCH);
    ASSERT_TRUE(SpinUntil([&] { return Pane()->Model()->Rows().size() == 3 && !Pane()->IsSearching(); }, kWaitMs));
    for (const auto& [word, url] : {std::pair{"zephyrine", urls[2]}, std::pair{"表示", urls[1]}}) {
        Pane()->TextBox()->setEditText(QString::fromUtf8(word));
        Press(1142);
        EXPECT_EQ(RowUrls(), std::set<std::string>{url}) << word;
    }

    // The next start, on the same files.
    Restart();
    m_frame->Router().Execute(ID_NB_HISTORY);
    ASSERT_TRUE(SpinUntil([&] { return TreeItem(QStringLiteral("今日")); }, kWaitMs));
    TreeItem(QStringLiteral("今日"))->setExpanded(true);
    ASSERT_TRUE(SpinUntil([&] { return TreeItem(QStringLiteral("127.0.0.1")); }, kWaitMs));
    QTreeWidgetItem* host = TreeItem(QStringLiteral("127.0.0.1"));
    host->setExpanded(true);
    ASSERT_TRUE(SpinUntil([&] { return host->childCount() == 3; }, kWaitMs));
    std::set<QString> titles;
    for (int i = 0; i < host->childCount(); ++i)
        titles.insert(host->child(i)->text(0));
    EXPECT_EQ(titles, (std::set<QString>{QStringLiteral("検索の履歴"), QStringLiteral("日本語"), QStringLiteral("Plain")}));
    EXPECT_EQ(HTree()->topLevelItemCount(), 1);
    ASSERT_TRUE(SpinUntil([&] { return Completions().size() == 3; }, kWaitMs));

    m_frame->Router().Execute(ID_NB_HISTORY_SEARCH);
    ASSERT_TRUE(SpinUntil([&] { return Pane()->Model()->Rows().size() == 3 && !Pane()->IsSearching(); }, kWaitMs));

    ClearThroughInternetOptions();
    EXPECT_TRUE(Pane()->Model()->Rows().empty());
    EXPECT_EQ(HTree()->topLevelItemCount(), 0);
    EXPECT_TRUE(Completions().isEmpty());
    // Read again, they stay empty.
    Press(1148);
    EXPECT_TRUE(Pane()->Model()->Rows().empty());
    bool filled = false;
    QObject::connect(HTree(), &CHistoryTree::LevelFilled, HTree(), [&] { filled = true; });
    HTree()->RunCommand(CHistoryTree::ID_HIST_RELOAD);
    ASSERT_TRUE(SpinUntil([&] { return filled; }, kWaitMs));
    EXPECT_EQ(HTree()->topLevelItemCount(), 0);
    ASSERT_TRUE(SpinUntil([&] { return m_frame->AddressCombo()->CompletionIndexSize() == 0 && Completions().isEmpty(); },
                          kWaitMs));

    // No SQLite file of the data directory, nor its log, holds an address.
    m_frame->History().Flush();
    const QByteArray address = "127.0.0.1:" + QByteArray::number(m_server.port());
    int databases = 0;
    QDirIterator files(m_home.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray bytes = file.readAll();
        if (!bytes.startsWith(QByteArrayLiteral("SQLite format 3")) && !path.contains(QStringLiteral("history.db")))
            continue;
        ++databases;
        EXPECT_FALSE(bytes.contains(address)) << path.toStdString();
    }
    EXPECT_GT(databases, 0);
}
