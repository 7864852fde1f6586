#include "widgets/bars/AddressBar.h"
#include "widgets/bars/AddressCombo.h"
#include "platform/Shortcut.h"
#include "platform/Text.h"

#include "TestBrowser.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QDir>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <functional>

using namespace nimbra;
using testenv::FakeWebBrowser;
using testenv::SpinUntil;

namespace {

class AddressTest : public testenv::BrowserTest {
protected:
    CAddressCombo* Combo() const { return m_frame->AddressCombo(); }
    QLineEdit* Edit() const { return Combo()->lineEdit(); }
    // A frame with one tab showing `url`.
    CNimbraView* StartWithTab(const std::string& url = "http://start/")
    {
        Start();
        CNimbraView* view = m_app->OpenUrl(url);
        EXPECT_NE(view, nullptr);
        return view;
    }
    std::string LastNavigation(CNimbraView* view) { return Fake(view)->navigations.back(); }
    void Type(const std::string& text, Qt::KeyboardModifiers modifiers)
    {
        Edit()->setText(QString::fromStdString(text));
        QTest::keyClick(Edit(), Qt::Key_Return, modifiers);
    }
    void Drop(QMimeData* data, Qt::KeyboardModifiers modifiers)
    {
        // The drop goes to the widget that accepted the drag's entry.
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, modifiers);
        QApplication::sendEvent(Edit(), &enter);
        EXPECT_TRUE(enter.isAccepted());
        EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
        QDropEvent event(QPointF(5, 5), Qt::CopyAction, data, Qt::LeftButton, modifiers);
        QApplication::sendEvent(Edit(), &event);
        delete data;
    }
    // A second lifetime of the program on the same data folder.
    void Restart()
    {
        m_app.reset();
        m_app = std::make_unique<CNimbraApp>();
        m_app->SetShell(std::make_unique<testenv::RecordingShell>(&m_shell));
        m_app->InitPaths();
        Start();
    }
};

} // namespace

TEST_F(AddressTest, EnterNavigatesTheActiveTabAndRecordsTheText)
{
    CNimbraView* view = StartWithTab();
    const int fieldLeft = Edit()->x();
    Type("  http://a/  ", Qt::NoModifier);
    EXPECT_EQ(LastNavigation(view), "http://a/");
    EXPECT_EQ(Combo()->History(), std::vector<std::string>{"http://a/"});
    EXPECT_EQ(m_frame->TabCount(), 1);
    // The field's text matches a history item when the focus leaves it;
    // that item's icon is not drawn beside the field's own.
    QFocusEvent focusOut(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(Edit(), &focusOut);
    EXPECT_EQ(Edit()->x(), fieldLeft);
}

TEST_F(AddressTest, CtrlAndAltWrapTheTextAndShiftOpensANewTab)
{
    CNimbraView* view = StartWithTab();
    // Ctrl on an empty field changes nothing.
    Type("", Qt::ControlModifier);
    EXPECT_EQ(Fake(view)->navigations.size(), 1u);
    EXPECT_TRUE(Combo()->History().empty());
    EXPECT_EQ(Edit()->text(), QString());

    Type("word", Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(LastNavigation(view), "view-source:http://www.word.co.jp");
    EXPECT_EQ(Edit()->text().toStdString(), "view-source:http://www.word.co.jp");

    Option("AddressAddF", "https://");
    Option("AddressAddB", ".org/");
    Type("x", Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(m_frame->TabCount(), 2);
    EXPECT_EQ(m_frame->ActiveView(), view);
    EXPECT_EQ(Combo()->History().front(), "https://x.org/");
}

TEST_F(AddressTest, HistoryEqualityIgnoresCaseAndOneTrailingSlash)
{
    CNimbraView* view = StartWithTab();
    Combo()->Go("http://Example.com", 1, 0, 1, 1);
    Combo()->Go("http://other/", 1, 0, 1, 1);
    Combo()->Go("http://example.COM/", 1, 0, 1, 1);
    EXPECT_EQ(Combo()->History(), (std::vector<std::string>{"http://Example.com", "http://other/"}));
    EXPECT_EQ(LastNavigation(view), "http://example.COM/");
    Combo()->Go("http://OTHER/\\", 1, 0, 1, 1);
    EXPECT_EQ(Combo()->History(), (std::vector<std::string>{"http://other/", "http://Example.com"}));
    // Only the typed text loses its slash: a bare text does not match an entry with one.
    Combo()->Go("http://other", 1, 0, 1, 1);
    EXPECT_EQ(Combo()->History().size(), 3u);

    // Touching moves an equal entry but adds nothing new.
    Combo()->Go("http://EXAMPLE.com", 0, 0, 1, 1);
    EXPECT_EQ(Combo()->History().front(), "http://Example.com");
    Combo()->Go("http://new/", 0, 0, 1, 1);
    Combo()->Go("http://other/", 0, 0, 0, 1);
    EXPECT_EQ(Combo()->History().size(), 3u);
    EXPECT_EQ(Combo()->History().front(), "http://Example.com");
}

TEST_F(AddressTest, LockedTabIgnoresEnterAndKeepsTheHistory)
{
    CNimbraView* view = StartWithTab();
    view->ToggleNaviLock();
    Type("http://a/", Qt::NoModifier);
    EXPECT_EQ(Fake(view)->navigations.size(), 1u);
    EXPECT_TRUE(Combo()->History().empty());
    // A new tab is not the locked one.
    Type("http://b/", Qt::ShiftModifier);
    EXPECT_EQ(m_frame->TabCount(), 2);
}

TEST_F(AddressTest, BlockedUrlIsRefusedOnlyWithNewWindowCloseOff)
{
    Option("CloseUrl", 1);
    BlockUrls({"*ads*"});
    CNimbraView* view = StartWithTab();
    Type("http://x/ads/", Qt::NoModifier);
    EXPECT_EQ(Fake(view)->navigations.size(), 1u);
    EXPECT_TRUE(Combo()->History().empty());

    Option("NewWindowClose", 1);
    m_frame->ReloadSettings();
    Type("http://x/ads/", Qt::NoModifier);
    EXPECT_EQ(LastNavigation(view), "http://x/ads/");
    EXPECT_EQ(view->GetLocationURL(), "http://x/ads/");
    EXPECT_EQ(Combo()->History(), std::vector<std::string>{"http://x/ads/"});
}

TEST_F(AddressTest, NoTabOpensANewOne)
{
    Start();
    Type("http://a/", Qt::NoModifier);
    ASSERT_EQ(m_frame->TabCount(), 1);
    EXPECT_EQ(m_frame->Views()[0]->GetLocationURL(), "http://a/");
    EXPECT_EQ(Combo()->History(), std::vector<std::string>{"http://a/"});
}

TEST_F(AddressTest, HistoryFileKeepsAddressLogMaxEntriesAcrossARestart)
{
    Option("AddressLogMax", 1);
    StartWithTab();
    Type("http://a/", Qt::NoModifier);
    Type("http://b/", Qt::NoModifier);
    EXPECT_EQ(Combo()->History().size(), 2u);
    Restart();
    EXPECT_EQ(Combo()->History(), std::vector<std::string>{"http://b/"});
    EXPECT_EQ(testenv::ReadFile(m_app->AddressLogPath()),
              "<HTML>\r\n<H1>Address Log</H1>\r\n<H2>URL</H2>\r\n<UL>\r\n\t<LI>http://b/\r\n</UL>\r\n</HTML>\r\n");

    // Reading stops at the limit in file order.
    m_app->Settings().WriteInt("Options", "AddressLogMax", 3);
    m_app.reset();
    WriteListFile("Address Log", File("log.html"), {"1", "2", "3", "4", "5"});
    Restart();
    EXPECT_EQ(Combo()->History(), (std::vector<std::string>{"1", "2", "3"}));
}

TEST_F(AddressTest, DroppedShortcutsOpenTheFirstHereAndTheOthersInNewTabs)
{
    CNimbraView* view = StartWithTab();
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const char* name : {"one", "two", "three"}) {
        const std::string path = File(std::string(name) + ".url");
        ASSERT_TRUE(WriteInternetShortcut(path, std::string("http://") + name + "/"));
        urls << QUrl::fromLocalFile(QString::fromStdString(path));
    }
    data->setUrls(urls);
    Drop(data, Qt::NoModifier);
    EXPECT_EQ(view->GetLocationURL(), "http://one/");
    ASSERT_EQ(m_frame->TabCount(), 3);
    std::vector<std::string> opened;
    for (CNimbraView* v : m_frame->Views())
        opened.push_back(v->GetLocationURL());
    EXPECT_EQ(opened, (std::vector<std::string>{"http://one/", "http://two/", "http://three/"}));
    EXPECT_TRUE(Combo()->History().empty());
}

TEST_F(AddressTest, DroppedTextIsTrimmedAndFollowsShiftAndAlt)
{
    CNimbraView* view = StartWithTab();
    auto* link = new QMimeData;
    link->setText(QStringLiteral("  http://link/ \n"));
    Drop(link, Qt::ShiftModifier);
    EXPECT_EQ(m_frame->TabCount(), 2);
    EXPECT_EQ(m_frame->Views()[1]->GetLocationURL(), "http://link/");
    EXPECT_EQ(m_frame->ActiveView(), view);
    EXPECT_TRUE(Combo()->History().empty());

    auto* source = new QMimeData;
    source->setText(QStringLiteral("http://src/"));
    Drop(source, Qt::AltModifier);
    EXPECT_EQ(LastNavigation(view), "view-source:http://src/");
}

TEST_F(AddressTest, DragOutWritesAShortcutNamedAfterTheTitle)
{
    FakeWebBrowser::Titles()["http://page/"] = "a/b:c";
    StartWithTab("http://page/");
    const std::string path = Combo()->WriteDragShortcut();
    EXPECT_EQ(path, CAddressCombo::DragFolder() + "/a-bc.url");
    EXPECT_EQ(ReadInternetShortcut(path), std::optional<std::string>("http://page/"));
    // The folder goes with the combo.
    m_app.reset();
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(path)));
    EXPECT_EQ(CAddressCombo::DragFolder(), "");
}

TEST_F(AddressTest, DragOutNeedsAPage)
{
    Start();
    EXPECT_EQ(Combo()->WriteDragShortcut(), "");
}

TEST(AddressNames, ShortcutFileNameRemovesForbiddenCharactersAndCuts)
{
    EXPECT_EQ(ShortcutFileName("\"\\:,;*?<>|"), "新しいアイテム");
    EXPECT_EQ(ShortcutFileName("x/y/z"), "x-y-z");
    const std::string longTitle = "a" + [] {
        std::string s;
        for (int i = 0; i < 60; ++i)
            s += "あ";
        return s;
    }();
    const std::string name = ShortcutFileName(longTitle);
    EXPECT_EQ(TextWidth(name), 99); // the 2-wide character at the limit is left out
}

TEST(AddressNames, GoButtonTipQuotesTheCutText)
{
    EXPECT_EQ(GoButtonTip(""), "");
    EXPECT_EQ(GoButtonTip("http://a/"), "\"http://a/\" へ移動");
    const std::string tip = GoButtonTip(std::string(100, 'x'));
    EXPECT_EQ(tip, "\"" + std::string(64, 'x') + "\" へ移動");
    std::string wide;
    for (int i = 0; i < 40; ++i)
        wide += "あ";
    // 1 + 31 * 2 = 63 cells: the next character would straddle the limit.
    EXPECT_EQ(GoButtonTip("x" + wide), "\"x" + wide.substr(0, 31 * 3) + "\" へ移動");
}

TEST_F(AddressTest, GoButtonOpensWithoutRecordingAndCommandHidesIt)
{
    CNimbraView* view = StartWithTab();
    CAddressBar* bar = CAddressBar::Of(*m_frame);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->GoButton()->width(), 17);
    Edit()->setText(QStringLiteral("http://go/"));
    QTest::mouseClick(bar->GoButton(), Qt::LeftButton);
    EXPECT_EQ(LastNavigation(view), "http://go/");
    EXPECT_TRUE(Combo()->History().empty());
    QTest::mouseClick(bar->GoButton(), Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_EQ(m_frame->TabCount(), 2);
    EXPECT_EQ(Combo()->History(), std::vector<std::string>{"http://go/"});

    EXPECT_EQ(m_frame->Router().Query(32928).checked, std::optional<bool>(true));
    EXPECT_TRUE(m_frame->ExecuteCommand(32928));
    EXPECT_FALSE(bar->GoButton()->isVisible());
    EXPECT_EQ(m_frame->Router().Query(32928).checked, std::optional<bool>(false));
    m_frame->ExecuteCommand(32928);
    EXPECT_TRUE(bar->GoButton()->isVisible());
}

TEST_F(AddressTest, PickFromTheListNavigatesAndMovesTheEntry)
{
    CNimbraView* view = StartWithTab();
    Combo()->Go("http://one/", 1, 0, 1, 0);
    Combo()->Go("http://two/", 1, 0, 1, 0);
    Combo()->showPopup();
    ASSERT_TRUE(Combo()->IsDropped());
    QAbstractItemView* list = Combo()->view();
    list->setCurrentIndex(list->model()->index(0, 0));
    // Moving through the open list does not navigate.
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(LastNavigation(view), "http://two/");
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_FALSE(Combo()->IsDropped());
    EXPECT_EQ(LastNavigation(view), "http://one/");
    EXPECT_EQ(Combo()->History(), (std::vector<std::string>{"http://one/", "http://two/"}));
    // A list closed without a pick leaves nothing pending.
    Combo()->showPopup();
    QTest::keyClick(Combo()->view(), Qt::Key_Escape);
    bool settled = false; // queued after the list's own clean-up
    QTimer::singleShot(0, Combo(), [&settled] { settled = true; });
    ASSERT_TRUE(SpinUntil([&] { return settled; }, 2000));
    Combo()->setCurrentIndex(1);
    Q_EMIT Combo()->activated(1);
    EXPECT_EQ(LastNavigation(view), "http://one/");
}

TEST_F(AddressTest, KeysOfTheField)
{
    CNimbraView* view = StartWithTab();
    Combo()->Go("http://one/", 1, 0, 1, 0);
    Combo()->Go("http://two/", 1, 0, 1, 0);
    Edit()->setText(QStringLiteral("http://typed/"));

    QTest::keyClick(Edit(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(Edit()->selectedText(), Edit()->text());
    Edit()->deselect();
    QTest::keyClick(Edit(), Qt::Key_Down);
    EXPECT_TRUE(Combo()->IsDropped());
    // Up on the first entry closes the list and selects the text.
    Combo()->view()->setCurrentIndex(Combo()->view()->model()->index(0, 0));
    QTest::keyClick(Combo()->view(), Qt::Key_Up);
    EXPECT_FALSE(Combo()->IsDropped());
    EXPECT_EQ(Edit()->selectedText(), Edit()->text());

    QTest::keyClick(Edit(), Qt::Key_F4);
    EXPECT_TRUE(Combo()->IsDropped());
    QTest::keyClick(Combo()->view(), Qt::Key_F4);
    EXPECT_FALSE(Combo()->IsDropped());
    QTest::keyClick(Edit(), Qt::Key_F4);
    QTest::keyClick(Combo()->view(), Qt::Key_Escape);
    EXPECT_FALSE(Combo()->IsDropped());
    EXPECT_EQ(LastNavigation(view), "http://two/");

    // Tab hands the key to the page.
    int pageKeys = 0;
    QWidget* page = view->Browser()->Widget();
    struct Counter : QObject {
        int* n;
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Tab)
                ++*n;
            return false;
        }
    } counter;
    counter.n = &pageKeys;
    (page->focusProxy() ? page->focusProxy() : page)->installEventFilter(&counter);
    QTest::keyClick(Edit(), Qt::Key_Tab);
    EXPECT_TRUE(SpinUntil([&] { return pageKeys > 0; }, 2000));
    EXPECT_EQ(pageKeys, 1);
}

TEST_F(AddressTest, EnterCommandGoesWhenTheFieldHasTheFocus)
{
    CNimbraView* view = StartWithTab();
    m_frame->activateWindow();
    Edit()->setFocus();
    ASSERT_TRUE(SpinUntil([&] { return Edit()->hasFocus(); }, 1000));
    Edit()->setText(QStringLiteral(" http://cmd/ "));
    EXPECT_TRUE(m_frame->ExecuteCommand(1));
    EXPECT_EQ(LastNavigation(view), "http://cmd/");
    EXPECT_EQ(Combo()->History(), std::vector<std::string>{"http://cmd/"});
}

TEST_F(AddressTest, SetUrlShowsTheTextOrClearsTheSelection)
{
    Start();
    Combo()->Go("http://one/", 1, 1, 1, 0);
    Combo()->SetUrl("http://x/");
    EXPECT_EQ(Edit()->text().toStdString(), "http://x/");
    Combo()->setCurrentIndex(0);
    Combo()->SetUrl("");
    EXPECT_EQ(Combo()->currentIndex(), -1);
    EXPECT_TRUE(Edit()->text().isEmpty());
}

TEST_F(AddressTest, AutoCompleteOffMeansNoCompleter)
{
    Start();
    EXPECT_FALSE(Combo()->IsAutoComplete());
    EXPECT_EQ(Combo()->completer(), nullptr);
}

TEST_F(AddressTest, AutoCompleteOffersHistoryAndVisitedUrls)
{
    Option("AutoComplete", 1);
    StartWithTab();
    Combo()->Go("http://www.example.org/typed", 1, 0, 1, 0);
    m_frame->History().AddVisit("http://www.example.com/page", "p", 1);
    m_frame->History().AddVisit("https://EXAMPLE.net/", "n", 2);
    m_frame->History().AddVisit("http://other/", "o", 3);
    m_frame->History().Flush();
    // The visited pages are read again each time the field takes the focus,
    // by a click or from the keyboard.
    m_frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_frame));
    const std::vector<std::pair<const char*, std::function<void()>>> focusWays = {
        {"click", [&] { QTest::mouseClick(Edit(), Qt::LeftButton, {}, Edit()->rect().center()); }},
        {"setFocus", [&] { Combo()->setFocus(Qt::ShortcutFocusReason); }},
    };
    for (const auto& [way, focus] : focusWays) {
        const std::string page = "http://visited/" + std::string(way);
        m_frame->History().AddVisit(page, "v", 4);
        m_frame->History().Flush();
        m_frame->ActiveView()->Browser()->Widget()->setFocus();
        ASSERT_FALSE(Combo()->hasFocus());
        focus();
        EXPECT_TRUE(SpinUntil([&] { return !Combo()->Completions(QString::fromStdString(page)).isEmpty(); }, 5000))
            << way;
    }

    const QStringList found = Combo()->Completions(QStringLiteral("Exa"));
    EXPECT_EQ(found.size(), 3); // the typed entry first, then the other visited ones, once each
    EXPECT_EQ(found.value(0), QStringLiteral("http://www.example.org/typed"));
    EXPECT_TRUE(found.contains(QStringLiteral("https://EXAMPLE.net/")));
    EXPECT_EQ(Combo()->Completions(QStringLiteral("http://oth")), QStringList{QStringLiteral("http://other/")});

    Edit()->clear();
    QTest::keyClicks(Edit(), QStringLiteral("www.exam"));
    EXPECT_EQ(Combo()->Completer()->completionModel()->rowCount(), 2);
    EXPECT_TRUE(Combo()->Completer()->popup()->isVisible());

    // Clearing the history takes the visited URLs out at once.
    m_frame->ClearHistory();
    EXPECT_EQ(Combo()->Completer()->completionModel()->rowCount(), 0);
    EXPECT_TRUE(Combo()->Completions(QStringLiteral("http://oth")).isEmpty());
}

TEST(AddressCompletion, IndexMatchesPrefixesOfEachKeyOnce)
{
    CUrlCompletionIndex index({"http://www.abc.com/", "https://abd.org/", "ftp://x/"});
    EXPECT_EQ(index.Match("ab", 10), (std::vector<std::string>{"http://www.abc.com/", "https://abd.org/"}));
    EXPECT_EQ(index.Match("WWW.A", 10), std::vector<std::string>{"http://www.abc.com/"});
    EXPECT_EQ(index.Match("ab", 1).size(), 1u);
    EXPECT_TRUE(index.Match("zz", 10).empty());
    EXPECT_EQ(index.Match("h", 10).size(), 2u);
}
