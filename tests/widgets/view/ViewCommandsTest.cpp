#include "widgets/bars/AddressCombo.h"
#include "ui/CommandRouter.h"
#include "widgets/view/AutoRefreshDlg.h"
#include "widgets/view/FindBar.h"
#include "widgets/view/PagePropertiesDlg.h"
#include "platform/Shortcut.h"
#include "widgets/view/ViewCommands.h"

#include "TestBrowser.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSpinBox>
#include <QTest>
#include <QTimerEvent>

using namespace nimbra;
using testenv::FakeWebBrowser;

namespace {

class ViewCommandsTest : public testenv::BrowserTest {
protected:
    // A started frame with one active tab on `url`.
    CNimbraView* StartWith(const std::string& url)
    {
        Start();
        CNimbraView* view = m_app->OpenUrl(url);
        EXPECT_EQ(m_frame->ActiveView(), view);
        return view;
    }
    SCmdUI Query(int id) { return m_frame->Router().Query(id); }
    template <typename T>
    T* Dialog()
    {
        QApplication::processEvents();
        const QList<T*> all = m_frame->findChildren<T*>();
        return all.isEmpty() ? nullptr : all.back();
    }
    // Types a path into a file dialog's name field, as a user would.
    static void ChooseFile(QFileDialog* dialog, const std::string& path)
    {
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        name->setText(QString::fromStdString(path));
    }
    // Plays one tick of the view's auto-refresh timer.
    static void Tick(CNimbraView* view)
    {
        QTimerEvent tick(view->m_nRefreshTimer);
        QCoreApplication::sendEvent(view, &tick);
    }
    // Runs "自動更新開始" and answers the interval dialog.
    void SetAutoRefresh(int seconds, bool ok)
    {
        ASSERT_TRUE(m_frame->ExecuteCommand(32979));
        auto* dialog = Dialog<CAutoRefreshDlg>();
        ASSERT_NE(dialog, nullptr);
        dialog->SpinBox()->setValue(seconds);
        if (ok)
            dialog->accept();
        else
            dialog->reject();
    }
};

} // namespace

TEST_F(ViewCommandsTest, AutoRefreshStartsFromFiveSeconds)
{
    CNimbraView* view = StartWith("http://a/");
    EXPECT_TRUE(Query(32978).checked.value_or(false));

    SetAutoRefresh(4, true);
    EXPECT_EQ(view->m_nRefreshInterval, 4000u);
    EXPECT_EQ(view->m_nRefreshTimer, 0);
    EXPECT_FALSE(Query(32979).checked.value_or(true));

    SetAutoRefresh(5, true);
    EXPECT_EQ(view->m_nRefreshInterval, 5000u);
    ASSERT_NE(view->m_nRefreshTimer, 0);
    EXPECT_TRUE(Query(32979).checked.value_or(false));
    EXPECT_FALSE(Query(32978).checked.value_or(true));

    // Each tick reloads completely; a locked tab stays as it is.
    Tick(view);
    EXPECT_EQ(Fake(view)->refreshes, std::vector<int>{3});
    m_frame->ExecuteCommand(61240);
    Tick(view);
    EXPECT_EQ(Fake(view)->refreshes.size(), 1u);
}

TEST_F(ViewCommandsTest, CancelInTheIntervalDialogLeavesNoAutoRefresh)
{
    CNimbraView* view = StartWith("http://a/");
    SetAutoRefresh(10, true);
    ASSERT_NE(view->m_nRefreshTimer, 0);

    ASSERT_TRUE(m_frame->ExecuteCommand(32979));
    auto* dialog = Dialog<CAutoRefreshDlg>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->Seconds(), 10);
    dialog->reject();
    EXPECT_EQ(view->m_nRefreshTimer, 0);
    EXPECT_EQ(view->m_nRefreshInterval, 0u);
    EXPECT_TRUE(Query(32978).checked.value_or(false));

    SetAutoRefresh(6, true);
    ASSERT_TRUE(m_frame->ExecuteCommand(32978));
    EXPECT_EQ(view->m_nRefreshTimer, 0);
    EXPECT_EQ(view->m_nRefreshInterval, 0u);
}

TEST_F(ViewCommandsTest, AutoRefreshWithoutTabIsDisabledAndShowsNone)
{
    Start();
    EXPECT_FALSE(Query(32979).enabled);
    EXPECT_TRUE(Query(32978).checked.value_or(false));
}

TEST_F(ViewCommandsTest, TextSizeItemsSetTheZoomAndCheckTheCurrentOne)
{
    CNimbraView* view = StartWith("http://a/");
    EXPECT_TRUE(Query(32827).checked.value_or(false)); // 中
    ASSERT_TRUE(m_frame->ExecuteCommand(32825));       // 最大
    EXPECT_EQ(Fake(view)->zoom, 4);
    EXPECT_TRUE(Query(32825).checked.value_or(false));
    EXPECT_FALSE(Query(32827).checked.value_or(true));
    ASSERT_TRUE(m_frame->ExecuteCommand(32829)); // 最小
    EXPECT_EQ(Fake(view)->zoom, 0);
    EXPECT_TRUE(Query(32829).checked.value_or(false));
    EXPECT_FALSE(Query(32825).checked.value_or(true));
    ASSERT_TRUE(m_frame->ExecuteCommand(32826));
    EXPECT_EQ(Fake(view)->zoom, 3);
}

TEST_F(ViewCommandsTest, NavigationOnALockedTabDoesNothingButTheLockStillToggles)
{
    CNimbraView* view = StartWith("http://a/");
    Fake(view)->Navigate("http://b/", 0, {});
    EXPECT_TRUE(Query(32799).enabled);
    EXPECT_FALSE(Query(32800).enabled);

    ASSERT_TRUE(m_frame->ExecuteCommand(61240));
    ASSERT_TRUE(view->m_bNaviLock);
    EXPECT_TRUE(Query(61240).checked.value_or(false));
    for (int id : {32802, 61225, 32799, 32803, 32801, 44278})
        m_frame->ExecuteCommand(id);
    EXPECT_TRUE(Fake(view)->refreshes.empty());
    EXPECT_EQ(Fake(view)->stops, 0);
    EXPECT_EQ(view->GetLocationURL(), "http://b/");

    ASSERT_TRUE(m_frame->ExecuteCommand(61240));
    EXPECT_FALSE(view->m_bNaviLock);
    m_frame->ExecuteCommand(32802);
    m_frame->ExecuteCommand(61225);
    EXPECT_EQ(Fake(view)->refreshes, (std::vector<int>{0, 0}));
    view->m_nProgress = 40;
    m_frame->ExecuteCommand(32801);
    EXPECT_EQ(Fake(view)->stops, 1);
    EXPECT_EQ(view->m_nProgress, 0);
}

TEST_F(ViewCommandsTest, HomeUsesMyHomeUrlWhenSet)
{
    Option("MyHome", 1);
    Option("MyHomeUrl", std::string("http://home/"));
    CNimbraView* view = StartWith("http://a/");
    m_frame->ExecuteCommand(32803);
    EXPECT_EQ(view->GetLocationURL(), "http://home/");
}

TEST_F(ViewCommandsTest, HistoryListsMoveSeveralStepsAtOnce)
{
    CNimbraView* view = StartWith("http://1/");
    for (const char* url : {"http://2/", "http://3/", "http://4/"})
        Fake(view)->Navigate(url, 0, {});

    std::unique_ptr<QMenu> back(CreateHistoryMenu(*m_frame, *view, false, nullptr));
    ASSERT_EQ(back->actions().size(), 2); // two and three steps back
    EXPECT_EQ(back->actions()[0]->text(), QStringLiteral("2つ戻る"));
    EXPECT_EQ(back->actions()[1]->statusTip(), QStringLiteral("http://1/"));
    back->actions()[1]->trigger(); // 44279: three back
    EXPECT_EQ(view->GetLocationURL(), "http://1/");

    std::unique_ptr<QMenu> forward(CreateHistoryMenu(*m_frame, *view, true, nullptr));
    ASSERT_EQ(forward->actions().size(), 2);
    EXPECT_EQ(forward->actions()[0]->text(), QStringLiteral("2つ進む"));
    m_frame->ExecuteCommand(44283); // two forward
    EXPECT_EQ(view->GetLocationURL(), "http://3/");
}

TEST_F(ViewCommandsTest, CommentDisplayReachesEveryFrame)
{
    EXPECT_EQ(ShowComments("a<!-- x -->b"), "a<SPAN>&lt;!--</SPAN> x <SPAN>--&gt;</SPAN>b");
    EXPECT_EQ(ShowComments("<comment>c</comment>"), "<SPAN>&lt;!--</SPAN>c<SPAN>--&gt;</SPAN>");
    EXPECT_EQ(ShowComments("<!---->"), "<SPAN>&lt;!--</SPAN><SPAN>--&gt;</SPAN>");

    CNimbraView* view = StartWith("http://a/");
    SPageDocument& doc = Fake(view)->document;
    doc.bodyHtml = "<p>top</p><!--top note-->";
    doc.frames.resize(2);
    doc.frames[1].bodyHtml = "plain";
    doc.frames[1].frames.resize(1);
    doc.frames[1].frames[0].bodyHtml = "<!--deep-->";
    ASSERT_TRUE(m_frame->ExecuteCommand(32921));
    EXPECT_EQ(doc.bodyHtml, "<p>top</p><SPAN>&lt;!--</SPAN>top note<SPAN>--&gt;</SPAN>");
    EXPECT_EQ(doc.frames[1].bodyHtml, "plain");
    EXPECT_EQ(doc.frames[1].frames[0].bodyHtml, "<SPAN>&lt;!--</SPAN>deep<SPAN>--&gt;</SPAN>");
}

TEST_F(ViewCommandsTest, SelectionAndDuplicateOpenNewTabs)
{
    CNimbraView* view = StartWith("http://a/");
    m_frame->ExecuteCommand(32880); // no selection: nothing
    EXPECT_EQ(m_frame->TabCount(), 1);

    Fake(view)->selection = " http://selected/ \n";
    m_frame->ExecuteCommand(32880);
    ASSERT_EQ(m_frame->TabCount(), 2);
    EXPECT_EQ(m_frame->Views()[1]->GetLocationURL(), "http://selected/");

    m_frame->ExecuteCommand(32878);
    ASSERT_EQ(m_frame->TabCount(), 3);
    EXPECT_EQ(m_frame->Views()[2]->GetLocationURL(), "http://a/");

    m_frame->ExecuteCommand(61223);
    ASSERT_EQ(m_frame->TabCount(), 4);
    EXPECT_EQ(m_frame->Views()[3]->GetLocationURL(), "view-source:http://a/");
}

TEST_F(ViewCommandsTest, BlockedListEntriesAreWrittenAndTheTabCloses)
{
    Option("RLCCloseTab", 0);
    CNimbraView* view = StartWith("http://ads/");
    FakeWebBrowser::Titles()["http://ads/"] = "Ad page";
    m_frame->ExecuteCommand(32875);
    m_frame->ExecuteCommand(32875);
    UrlList urls;
    ReadListFile(m_app->CloseUrlPath(), urls);
    EXPECT_EQ(urls, (UrlList{"http://ads/", "http://ads/"}));
    EXPECT_FALSE(view->m_bMarkedForClose);

    view->Navigate("http://ads/"); // gets its title now
    m_frame->ExecuteCommand(32960);
    UrlList titles;
    ReadListFile(m_app->CloseTitlePath(), titles);
    EXPECT_EQ(titles, UrlList{"Ad page"});
}

TEST_F(ViewCommandsTest, BlockingTheUrlClosesTheTabWithoutCounting)
{
    Option("RLCCloseTab", 1);
    CNimbraView* view = StartWith("http://ads/");
    const int cwc = m_frame->m_nCWC;
    m_frame->ExecuteCommand(32875);
    EXPECT_TRUE(view->m_bMarkedForClose);
    EXPECT_EQ(m_frame->m_nCWC, cwc);
    EXPECT_TRUE(testenv::SpinUntil([&] { return m_frame->TabCount() == 0; }, 2000));
    // A tab without an address closes too.
    Option("NewBlank", 1);
    m_frame->ReloadSettings();
    view = m_app->OpenUrl("");
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->GetLocationURL(), "");
    m_frame->ExecuteCommand(32875);
    EXPECT_TRUE(view->m_bMarkedForClose);
}

TEST_F(ViewCommandsTest, FindBarSearchesAndClosesWithEscape)
{
    CNimbraView* view = StartWith("http://a/");
    Fake(view)->document.bodyHtml = "Apple apple APPLE";
    ASSERT_TRUE(m_frame->ExecuteCommand(61222));
    auto* bar = view->findChild<CFindBar*>();
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(bar->isVisible());
    // At the bottom of the view; the page keeps the rest.
    view->resize(800, 600);
    QApplication::processEvents();
    EXPECT_EQ(bar->geometry().bottom(), view->height() - 1);
    EXPECT_EQ(view->Browser()->Widget()->height() + bar->height(), view->height());
    bar->Field()->setText("apple");
    EXPECT_EQ(bar->Result()->text(), QStringLiteral("1 / 3 件"));
    bar->MatchCase()->setChecked(true);
    EXPECT_EQ(bar->Result()->text(), QStringLiteral("1 / 1 件"));
    QTest::keyClick(bar->Field(), Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_TRUE(Fake(view)->finds.back().backward);
    bar->Field()->setText("pear");
    EXPECT_EQ(bar->Result()->text(), QStringLiteral("見つかりません"));

    QTest::keyClick(bar->Field(), Qt::Key_Escape);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(Fake(view)->finds.back().text, "");
    m_frame->ExecuteCommand(61222); // the same bar again
    EXPECT_EQ(view->findChildren<CFindBar*>().size(), 1);
}

TEST_F(ViewCommandsTest, SaveAsWritesTheChosenFileInTheChosenFormat)
{
    CNimbraView* view = StartWith("http://a/");
    Fake(view)->document.bodyHtml = "<p>saved</p>";
    ASSERT_TRUE(m_frame->ExecuteCommand(57604));
    auto* dialog = Dialog<QFileDialog>();
    ASSERT_NE(dialog, nullptr);
    const std::string path = File("page.html");
    dialog->selectNameFilter(dialog->nameFilters()[1]); // HTML only
    ChooseFile(dialog, path);
    static_cast<QDialog*>(dialog)->accept();
    ASSERT_EQ(Fake(view)->saves.size(), 1u);
    EXPECT_EQ(Fake(view)->saves[0], std::make_pair(path, false));
    EXPECT_EQ(testenv::ReadFile(path), "<p>saved</p>");

    // The tab menu saves the context tab, complete by default.
    m_frame->m_nContextTab = 0;
    ASSERT_TRUE(m_frame->ExecuteCommand(61219));
    dialog = Dialog<QFileDialog>();
    ASSERT_NE(dialog, nullptr);
    ChooseFile(dialog, File("full.html"));
    static_cast<QDialog*>(dialog)->accept();
    ASSERT_EQ(Fake(view)->saves.size(), 2u);
    EXPECT_TRUE(Fake(view)->saves[1].second);
}

TEST_F(ViewCommandsTest, PropertiesDescribeThePage)
{
    CNimbraView* view = StartWith("http://127.0.0.1/x");
    FakeWebBrowser::Titles()["http://127.0.0.1/x"] = "X";
    view->Navigate("http://127.0.0.1/x");
    Fake(view)->document.contentType = "text/html";
    Fake(view)->document.size = 12345;
    ASSERT_TRUE(m_frame->ExecuteCommand(61224));
    auto* dialog = Dialog<CPagePropertiesDlg>();
    ASSERT_NE(dialog, nullptr);
    const SPageProperties& p = dialog->Properties();
    EXPECT_EQ(p.title, "X");
    EXPECT_EQ(p.address, "http://127.0.0.1/x");
    EXPECT_EQ(p.protocol, "HyperText Transfer Protocol");
    EXPECT_EQ(p.type, "HTML ドキュメント");
    EXPECT_EQ(p.zone, "イントラネット");
    EXPECT_EQ(p.security, "保護されていません");
    EXPECT_EQ(p.size, "12,345 バイト");

    // A local file's size comes from the file; an unknown size stays empty.
    const std::string file = File("local.html");
    testenv::WriteFile(file, "12345");
    EXPECT_EQ(CPagePropertiesDlg::Describe("file://" + file, "", {}, -1).size, "5 バイト");
    EXPECT_EQ(CPagePropertiesDlg::Describe("https://example.com/", "", {}, 6).size, "");
    EXPECT_EQ(CPagePropertiesDlg::Describe("https://example.com/", "", {}, 6).security, "暗号化された接続 (SSL)");
}

TEST_F(ViewCommandsTest, CreateShortcutWritesAnInternetShortcutOnTheDesktop)
{
    const std::string desktop = File("Desktop");
    testenv::WriteFile(std::string(qgetenv("XDG_CONFIG_HOME").constData()) + "/user-dirs.dirs",
                       "XDG_DESKTOP_DIR=\"" + desktop + "\"\n");
    FakeWebBrowser::Titles()["http://a/"] = "A/B page";
    StartWith("http://a/");
    m_frame->ExecuteCommand(61231);
    m_frame->ExecuteCommand(61231);
    EXPECT_EQ(ReadInternetShortcut(desktop + "/A_B page.url"), std::optional<std::string>("http://a/"));
    EXPECT_EQ(ReadInternetShortcut(desktop + "/A_B page (2).url"), std::optional<std::string>("http://a/"));
}

TEST(ViewCommandsPure, TextSizeMenuDropsUnderTheButtonOrAboveTheFrameBottom)
{
    const QRect frame(100, 100, 800, 600);
    EXPECT_EQ(TextSizeMenuPosition(QRect(150, 130, 24, 22), frame, false), QPoint(150, 152));
    // A floating toolbar outside the window: 13 pixels above its bottom.
    EXPECT_EQ(TextSizeMenuPosition(QRect(950, 50, 24, 22), frame, true), QPoint(950, 699 - 13));
    EXPECT_EQ(TextSizeMenuPosition(QRect(150, 130, 24, 22), frame, true), QPoint(150, 152));
    EXPECT_EQ(TextSizeMenuPosition(QRect(-30, 50, 24, 22), frame, true).x(), 0);
}

TEST(ViewCommandsPure, PageFileNamesAreSafe)
{
    EXPECT_EQ(PageFileName("a/b\\c"), "a_b_c");
    EXPECT_EQ(PageFileName(" .. "), "page");
    EXPECT_EQ(PageFileName(std::string(150, 'x')).size(), 100u);
}
