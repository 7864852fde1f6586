#include "frames/browser/ChildFrame.h"
#include "widgets/bars/LinkBar.h"
#include "widgets/bookmarks/AddBookmarkDlg.h"
#include "widgets/bookmarks/BookmarkCommands.h"
#include "data/bookmarks/BookmarkMessages.h"
#include "widgets/bookmarks/FolderNameDlg.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/Text.h"

#include "TestBrowser.h"

#include <QFileInfo>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QThread>
#include <QThreadPool>
#include <QTreeWidget>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <random>
#include <thread>

using namespace nimbra;
using testenv::ReadFile;
using testenv::Shown;
using testenv::SpinUntil;
using testenv::WriteFile;

namespace {

std::string Link(const std::string& url, const std::string& title)
{
    return "\t<LI><A HREF=\"" + url + "\">" + title + "</A>\r\n";
}

std::string Folder(const std::string& name, const std::string& items)
{
    return "\t<LI>" + name + "<UL>\r\n" + items + "\t</UL>\r\n";
}

std::string FileText(const std::string& items)
{
    return "<HTML>\r\n<TITLE>Nimbra Browser BookMark</TITLE>\r\n<UL>\r\n" + items + "</UL>\r\n</HTML>\r\n";
}

// The texts of a menu's items as it shows them: "-" for a separator,
// "name>" for a submenu.
std::vector<std::string> Texts(QMenu* menu, int from = 0)
{
    std::vector<std::string> texts;
    const QList<QAction*> actions = Shown(menu)->actions();
    for (int i = from; i < actions.size(); ++i) {
        QAction* a = actions[i];
        texts.push_back(a->isSeparator() ? "-" : FromQ(a->text()) + (a->menu() ? ">" : ""));
    }
    return texts;
}

QMenu* Sub(QMenu* menu, const std::string& name)
{
    for (QAction* a : Shown(menu)->actions())
        if (a->menu() && FromQ(a->text()) == name)
            return a->menu();
    return nullptr;
}

std::string Links(const std::string& prefix, int count)
{
    std::string links;
    for (int i = 0; i < count; ++i)
        links += Link("http://" + prefix + "/" + std::to_string(i), prefix + std::to_string(i));
    return links;
}

QAction* ItemWithCommand(QMenu* menu, int id)
{
    for (QAction* a : Shown(menu)->actions()) {
        if (a->data().toInt() == id)
            return a;
        if (a->menu())
            if (QAction* found = ItemWithCommand(a->menu(), id))
                return found;
    }
    return nullptr;
}

// The editor's window on a thread of its own (a send blocks the sender):
// records each message with the bookmark file as it was then.
class FakeEditor {
public:
    explicit FakeEditor(std::string path) : m_path(std::move(path))
    {
        m_thread.start();
        m_context.moveToThread(&m_thread);
        const QString dir = ToQ(DataDirectory());
        Run([this, dir] {
            m_endpoint = new ipc::CWindowEndpoint(ipc::kEditorClass, dir, [this](const ipc::Message& m) {
                std::lock_guard lock(m_mutex);
                m_log.emplace_back(m.id, ReadFile(m_path));
                return qint64(0);
            });
            m_endpoint->Listen();
        });
    }
    ~FakeEditor()
    {
        Run([this] { delete m_endpoint; });
        m_thread.quit();
        m_thread.wait();
    }
    std::vector<std::pair<quint32, std::string>> Log()
    {
        std::lock_guard lock(m_mutex);
        return m_log;
    }
    std::vector<quint32> Ids()
    {
        std::vector<quint32> ids;
        for (const auto& entry : Log())
            ids.push_back(entry.first);
        return ids;
    }

private:
    template <class F>
    void Run(F f) { QMetaObject::invokeMethod(&m_context, f, Qt::BlockingQueuedConnection); }

    std::string m_path;
    QThread m_thread;
    QObject m_context;
    ipc::CWindowEndpoint* m_endpoint = nullptr;
    std::mutex m_mutex;
    std::vector<std::pair<quint32, std::string>> m_log;
};

class BookmarkMenuTest : public testenv::BrowserTest {
protected:
    std::string Path() const { return m_app->BookmarkPath(); }
    void Write(const std::string& items) { WriteFile(Path(), FileText(items)); }

    QMenu* Menu() const { return FindBookmarkMenu(m_frame->MainMenu()); }
    CBookmarkCommands* Cmds() const { return BookmarkCommandsOf(*m_frame); }
    std::vector<std::string> Items() const { return Texts(Menu(), kBookmarkFixedItems); }
    std::vector<const SLinkEntry*> Buttons() const
    {
        std::vector<const SLinkEntry*> buttons;
        CLinkBar* bar = Cmds()->LinkBar();
        for (int i = 0; i < bar->EntryCount(); ++i)
            buttons.push_back(&bar->EntryAt(i));
        return buttons;
    }

    CNimbraView* Open(const std::string& url, const std::string& title)
    {
        testenv::FakeWebBrowser::Titles()[url] = title;
        return m_app->OpenUrl(url);
    }

    std::vector<std::string> m_messages;
    testenv::HandlerGuard<std::function<void(const QString&)>> m_messageGuard{
        SetMessageHandler, [this](const QString& text) { m_messages.push_back(FromQ(text)); }};
};

} // namespace

TEST_F(BookmarkMenuTest, MenuMirrorsTheFileAndKeepsItsFixedItems)
{
    Write(Link("http://a/", "A") + "\t<HR>\r\n" +
          Folder("F", Link("http://b/", "B") + Folder("G", Link("http://c/", "C"))) + Link("http://d/", "D"));
    Start();
    // Built by the frame's own queued reload.
    ASSERT_NE(Menu(), nullptr);
    EXPECT_EQ(Texts(Menu(), 0).size(), 8u);
    EXPECT_EQ(Items(), (std::vector<std::string>{"A", "-", "F>", "D"}));
    EXPECT_EQ(Texts(Sub(Menu(), "F")), (std::vector<std::string>{"B", "G>"}));
    EXPECT_EQ(Texts(Sub(Sub(Menu(), "F"), "G")), (std::vector<std::string>{"C"}));
    EXPECT_EQ(Cmds()->Menu().Urls(), (std::vector<std::string>{"http://a/", "http://b/", "http://c/", "http://d/"}));
    EXPECT_EQ(ItemWithCommand(Menu(), 34002)->text(), "C");

    Cmds()->Reload();
    Cmds()->Reload();
    const std::vector<std::string> fixed = Texts(Menu(), 0);
    ASSERT_EQ(fixed.size(), 8u);
    EXPECT_EQ(fixed[0], "追加(&A)...\tCtrl+D");
    EXPECT_EQ(fixed[1], "すべて追加(&C)");
    EXPECT_EQ(fixed[2], "編集(&E)...\tCtrl+B");
    EXPECT_EQ(fixed[3], "-");

    // Choosing an item opens its page in a new tab (BookmarkNewTab 1).
    ItemWithCommand(Menu(), 34002)->trigger();
    ASSERT_EQ(m_frame->TabCount(), 1);
    EXPECT_EQ(m_frame->Views()[0]->GetLocationURL(), "http://c/");
    EXPECT_TRUE(m_frame->ExecuteCommand(34003));
    EXPECT_EQ(m_frame->TabCount(), 2);
}

TEST_F(BookmarkMenuTest, AFolderShowsItsEntriesWhenThePointerOpensIt)
{
    Write(Link("http://a/", "A") + Folder("F", Link("http://b/", "B") + Folder("G", Link("http://c/", "C"))));
    Start();
    // Open the bookmark menu, rest the pointer on "F", then on "G".
    QMenu* menu = Menu();
    for (const char* name : {"F", "G"}) {
        menu->popup(QPoint(100, 100));
        ASSERT_TRUE(SpinUntil([&] { return menu->isVisible(); }, 5000));
        QAction* folder = nullptr;
        for (QAction* a : menu->actions())
            if (a->menu() && FromQ(a->text()) == name)
                folder = a;
        ASSERT_NE(folder, nullptr) << name;
        QTest::mouseMove(menu, menu->actionGeometry(folder).center());
        ASSERT_TRUE(SpinUntil([&] { return folder->menu()->isVisible(); }, 5000)) << name;
        menu = folder->menu();
    }
    const QList<QAction*> items = menu->actions();
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0]->text(), "C");
    items[0]->trigger();
    ASSERT_EQ(m_frame->TabCount(), 1);
    EXPECT_EQ(m_frame->Views()[0]->GetLocationURL(), "http://c/");
    Menu()->hide();
}

TEST_F(BookmarkMenuTest, AnAmpersandInATitleIsShownAndIsNoMnemonic)
{
    Write(Link("http://a/", "Alpha & Co") + Folder("R&D", Link("http://b/", "&&B&")));
    Start();
    // As the menu draws them: the text without mnemonic marks, and no key.
    const QList<QAction*> items = Shown(Menu())->actions().mid(kBookmarkFixedItems);
    ASSERT_EQ(items.size(), 2);
    const QList<QAction*> sub = Shown(items[1]->menu())->actions();
    ASSERT_EQ(sub.size(), 1);
    const std::pair<QAction*, std::string> cases[] = {{items[0], "Alpha & Co"}, {items[1], "R&D"}, {sub[0], "&&B&"}};
    for (const auto& [item, title] : cases) {
        EXPECT_EQ(FromQ(item->iconText()), title);
        EXPECT_TRUE(QKeySequence::mnemonic(item->text()).isEmpty()) << title;
    }
}

TEST_F(BookmarkMenuTest, BookmarkOpensInTheCurrentTabUnlessBookmarkNewTabIsOne)
{
    Option("BookmarkNewTab", 0);
    Write(Link("http://a/", "A"));
    Start();
    CNimbraView* view = Open("http://start/", "Start");
    m_frame->ActivateTab(CChildFrame::Of(view));
    m_frame->ExecuteCommand(34000);
    EXPECT_EQ(m_frame->TabCount(), 1);
    EXPECT_EQ(view->GetLocationURL(), "http://a/");
}

TEST_F(BookmarkMenuTest, LinksPastTheCommandRangeDoNothing)
{
    std::string items;
    for (int i = 0; i < 10002; ++i)
        items += Link("http://h/" + std::to_string(i), "L" + std::to_string(i));
    Write(items);
    Start();
    EXPECT_EQ(Cmds()->Menu().LinkCount(), 10002);
    QAction* last = ItemWithCommand(Shown(Menu()), 44001);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->text(), "L10001");
    EXPECT_TRUE(last->isEnabled());
    EXPECT_TRUE(ItemWithCommand(Menu(), 44000)->isEnabled());

    // 44001 is also the first proxy's command: the item runs nothing.
    const int proxyMode = m_frame->m_nProxyMode;
    last->trigger();
    EXPECT_EQ(m_frame->TabCount(), 0);
    EXPECT_EQ(m_frame->m_nProxyMode, proxyMode);
    m_frame->ExecuteCommand(44000);
    ASSERT_EQ(m_frame->TabCount(), 1);
    EXPECT_EQ(m_frame->Views()[0]->GetLocationURL(), "http://h/10000");
}

TEST_F(BookmarkMenuTest, LargeMenusShowTheSameEntriesWhenOpened)
{
    const int n = 1001;
    Write(Link("http://a/", "A") + Folder("Big", "\t<HR>\r\n" + Links("f", n) + Folder("Small", Link("http://s/", "S"))) +
          "\t<HR>\r\n" + Links("r", n));
    Start();
    std::vector<std::string> root{"A", "Big>", "-"};
    std::vector<std::string> big{"-"};
    for (int i = 0; i < n; ++i) {
        root.push_back("r" + std::to_string(i));
        big.push_back("f" + std::to_string(i));
    }
    big.push_back("Small>");
    EXPECT_EQ(Texts(Shown(Menu()), kBookmarkFixedItems), root);
    EXPECT_EQ(Texts(Shown(Sub(Menu(), "Big"))), big);
    // Commands in file order across the menus.
    EXPECT_EQ(ItemWithCommand(Menu(), 34001)->text(), "f0");
    EXPECT_EQ(ItemWithCommand(Shown(Sub(Sub(Menu(), "Big"), "Small")), 34001 + n)->text(), "S");
    EXPECT_EQ(ItemWithCommand(Menu(), 34002 + n)->text(), "r0");

    // A page added to the root before the menu was opened comes last.
    Cmds()->Reload();
    Cmds()->AddToRoot("Added", "http://added/");
    root.push_back("Added");
    EXPECT_EQ(Texts(Shown(Menu()), kBookmarkFixedItems), root);
    QAction* added = ItemWithCommand(Menu(), 34002 + 2 * n);
    ASSERT_NE(added, nullptr);
    added->trigger();
    ASSERT_EQ(m_frame->TabCount(), 1);
    EXPECT_EQ(m_frame->Views()[0]->GetLocationURL(), "http://added/");
}

TEST_F(BookmarkMenuTest, ReloadTimeGrowsWithTheFolderNotWithItsSquare)
{
    Start();
    const auto reloadMs = [&](int links) {
        Write(Folder("Archive", Links("a", links)));
        testenv::CpuTimer timer;
        Cmds()->Reload();
        return timer.elapsed();
    };
    // Five times the links: about five times the time, not 25.
    const long long fifth = reloadMs(20000);
    const long long whole = reloadMs(100000);
    EXPECT_LT(whole, 10 * std::max(fifth, 100LL)) << fifth << " ms for a fifth of the links";
}

TEST(BookmarkMenuText, CutsAtTheLimitWithoutSplittingACharacter)
{
    const std::string ascii21 = "abcdefghijklmnopqrstu";
    EXPECT_EQ(BookmarkMenuText(ascii21, true, 20), "abcdefghijklmnopqrst...");
    EXPECT_EQ(BookmarkMenuText(ascii21.substr(0, 20), true, 20), ascii21.substr(0, 20));
    // The 21st byte would be the second half of "あ".
    const std::string straddling = std::string(19, 'x') + "あいう";
    EXPECT_EQ(BookmarkMenuText(straddling, true, 20), std::string(19, 'x') + "....");
    EXPECT_EQ(BookmarkMenuText(straddling, false, 20), straddling);
    EXPECT_EQ(BookmarkMenuText("", true, 20), "");
    // Without shortening only a runaway title is cut.
    EXPECT_EQ(TextWidth(BookmarkMenuText(std::string(5000, 'a'), false, 20)), kMaxBookmarkTextWidth + 3);
}

TEST_F(BookmarkMenuTest, MenuTitleLengthIsKeptBetweenFiveAnd255)
{
    Option("MenuTitle", 1);
    Option("MenuTitleLength", 3);
    Write(Link("http://a/", std::string(300, 'a')) + Folder(std::string(300, 'f'), ""));
    Start();
    EXPECT_EQ(Items(), (std::vector<std::string>{"aaaaa...", "fffff...>"}));

    Option("MenuTitleLength", 1000);
    m_frame->ReloadSettings();
    Cmds()->Reload();
    EXPECT_EQ(Items(), (std::vector<std::string>{std::string(255, 'a') + "...", std::string(255, 'f') + "...>"}));

    Option("MenuTitle", 0);
    m_frame->ReloadSettings();
    Cmds()->Reload();
    EXPECT_EQ(Items()[0], std::string(300, 'a'));
}

TEST_F(BookmarkMenuTest, NestedLinksFolderFillsTheLinkBar)
{
    Write(Link("http://w/", "w") +
          Folder("Outer", Folder("リンク", Link("http://x/", "x") + Folder("Sub", Link("http://y/", "y")) +
                                               Link("http://z/", "z"))) +
          Folder("Other", Link("http://o/", "o")));
    Start();
    const std::vector<const SLinkEntry*> buttons = Buttons();
    std::vector<std::string> texts;
    for (const SLinkEntry* b : buttons)
        texts.push_back(FromQ(b->title));
    ASSERT_EQ(texts, (std::vector<std::string>{"x", "Sub", "z"}));
    ASSERT_NE(buttons[1]->menu, nullptr);
    EXPECT_EQ(Texts(buttons[1]->menu), std::vector<std::string>{"y"});
    EXPECT_EQ(buttons[1]->menu, Sub(Sub(Sub(Menu(), "Outer"), "リンク"), "Sub"));
    // Still in the menu like any folder.
    EXPECT_EQ(Texts(Sub(Sub(Menu(), "Outer"), "リンク")), (std::vector<std::string>{"x", "Sub>", "z"}));

    Cmds()->LinkBar()->Run(buttons[2]->command, false);
    ASSERT_TRUE(SpinUntil([&] { return m_frame->TabCount() == 1; }, 2000));
    EXPECT_EQ(m_frame->Views()[0]->GetLocationURL(), "http://z/");

    // A rebuild replaces the buttons.
    Write(Folder("リンク", Link("http://q/", "q")));
    Cmds()->Reload();
    EXPECT_EQ(Buttons().size(), 1u);
}

TEST_F(BookmarkMenuTest, MissingFileIsCreatedEmptyAndAnEmptyPathReadsNothing)
{
    Start();
    EXPECT_EQ(ReadFile(Path()), FileText(""));
    EXPECT_TRUE(Items().empty());
    EXPECT_EQ(Cmds()->Menu().LinkCount(), 0);
}

TEST_F(BookmarkMenuTest, AFifoOrOversizedFileIsRefusedNotReplaced)
{
    ASSERT_EQ(::mkfifo(Path().c_str(), 0600), 0);
    Start();
    EXPECT_TRUE(Items().empty());
    struct stat info = {};
    ASSERT_EQ(::lstat(Path().c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].rfind("ブックマークファイルが通常のファイルでないか", 0), 0u) << m_messages[0];

    ::unlink(Path().c_str());
    Write(Link("http://a/", "A"));
    ASSERT_EQ(::truncate(Path().c_str(), off_t(kMaxInputFileSize) + 1), 0);
    Cmds()->Reload();
    EXPECT_TRUE(Items().empty());
    EXPECT_EQ(QFileInfo(ToQ(Path())).size(), kMaxInputFileSize + 1);
    EXPECT_EQ(m_messages.size(), 2u);
}

TEST_F(BookmarkMenuTest, EmptyBookmarkPathCreatesNothing)
{
    const std::string defaultPath = Path();
    Option("BookmarkPath", std::string());
    Start();
    EXPECT_FALSE(FileExists(defaultPath));
    EXPECT_TRUE(Items().empty());
}

TEST_F(BookmarkMenuTest, AddToRootAppendsToFileAndMenuAndTellsTheEditor)
{
    Option("BookmarkAddRoot", 1);
    Write(Folder("F", Link("http://a/", "A")));
    Start();
    FakeEditor editor(Path());
    CNimbraView* view = Open("http://p/", "Page P");
    m_frame->ActivateTab(CChildFrame::Of(view));

    EXPECT_TRUE(m_frame->ExecuteCommand(ID_BOOKMARK_ADD));
    EXPECT_EQ(ReadFile(Path()), FileText(Folder("F", Link("http://a/", "A")) + Link("http://p/", "Page P")));
    EXPECT_EQ(Items(), (std::vector<std::string>{"F>", "Page P"}));
    EXPECT_EQ(Cmds()->Menu().UrlOf(34001), "http://p/");
    // The editor hears before and after the file changed.
    const auto log = editor.Log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].first, ipc::WM_USER_BOOKMARK_WILL_CHANGE);
    EXPECT_EQ(log[0].second.find("http://p/"), std::string::npos);
    EXPECT_EQ(log[1].first, ipc::WM_USER_BOOKMARK_CHANGED);
    EXPECT_NE(log[1].second.find("http://p/"), std::string::npos);

    // An untitled page gets a title.
    Cmds()->AddToRoot("", "http://u/");
    EXPECT_EQ(Items().back(), "タイトル不明");
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(BookmarkMenuTest, AddToRootLeavesAFileEndingWithAnEmptyLineAlone)
{
    Option("BookmarkAddRoot", 1);
    const std::string text = FileText(Link("http://a/", "A")) + "\r\n";
    WriteFile(Path(), text);
    Start();
    m_frame->ActivateTab(CChildFrame::Of(Open("http://p/", "P")));
    m_frame->ExecuteCommand(ID_BOOKMARK_ADD);
    EXPECT_EQ(ReadFile(Path()), text);
    EXPECT_EQ(Items(), std::vector<std::string>{"A"});
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(BookmarkMenuTest, AddAllSkipsUntitledTabsAndKeepsTabOrder)
{
    Write(Link("http://a/", "A"));
    Start();
    FakeEditor editor(Path());
    Open("http://1/", "One");
    CNimbraView* second = Open("http://2/", "Two");
    Open("http://3/", "Three");
    Fake(second)->ChangeTitle("");

    EXPECT_TRUE(m_frame->ExecuteCommand(ID_BOOKMARK_ADD_ALL));
    EXPECT_EQ(ReadFile(Path()), FileText(Link("http://a/", "A") + Link("http://1/", "One") + Link("http://3/", "Three")));
    EXPECT_EQ(Items(), (std::vector<std::string>{"A", "One", "Three"}));
    EXPECT_EQ(editor.Ids(), (std::vector<quint32>{ipc::WM_USER_BOOKMARK_WILL_CHANGE, ipc::WM_USER_BOOKMARK_CHANGED}));
}

TEST_F(BookmarkMenuTest, TabMenuAddsTheTabUnderTheMenu)
{
    Option("BookmarkAddRoot", 1);
    Start();
    Open("http://1/", "One");
    Open("http://2/", "Two");
    m_frame->m_nContextTab = 1;
    m_frame->ExecuteCommand(ID_BOOKMARK_ADD_TAB);
    EXPECT_EQ(ReadFile(Path()), FileText(Link("http://2/", "Two")));
    EXPECT_EQ(m_frame->m_nContextTab, -1);
}

TEST_F(BookmarkMenuTest, DialogAddsAnEmptyTitleAtTheEndOfTheSelectedFolder)
{
    Write(Folder("F", Link("http://b/", "B") + Folder("G", "")) + Link("http://d/", "D"));
    Start();
    FakeEditor editor(Path());
    m_frame->ActivateTab(CChildFrame::Of(Open("http://p/", "Page P")));
    std::string shownTitle;
    testenv::HandlerGuard driver(SetBookmarkDialogDriver, [&](QDialog& dialog) {
        auto& dlg = dynamic_cast<CAddBookmarkDlg&>(dialog);
        shownTitle = FromQ(dlg.TitleEdit()->text());
        QTreeWidgetItem* root = dlg.FolderTree()->topLevelItem(0);
        EXPECT_EQ(root->text(0), "Nimbra Browser Bookmark");
        EXPECT_TRUE(root->isExpanded());
        dlg.FolderTree()->setCurrentItem(root->child(0));
        dlg.TitleEdit()->clear();
        dlg.OnOK();
        return dlg.result();
    });
    m_frame->ExecuteCommand(ID_BOOKMARK_ADD);
    EXPECT_EQ(shownTitle, "Page P");
    EXPECT_EQ(ReadFile(Path()),
              FileText(Folder("F", Link("http://b/", "B") + Folder("G", "") + Link("http://p/", "")) + Link("http://d/", "D")));
    // Rebuilt: the new link is the third in file order.
    EXPECT_EQ(Texts(Sub(Menu(), "F")), (std::vector<std::string>{"B", "G>", ""}));
    EXPECT_EQ(Cmds()->Menu().UrlOf(34001), "http://p/");
    // Announced when the dialog opened, and again before the file is read for the add.
    EXPECT_EQ(editor.Ids(), (std::vector<quint32>{ipc::WM_USER_BOOKMARK_WILL_CHANGE, ipc::WM_USER_BOOKMARK_WILL_CHANGE,
                                                  ipc::WM_USER_BOOKMARK_CHANGED}));
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(BookmarkMenuTest, DialogAddsToTheFileAsItIsAtOk)
{
    Write(Folder("F", "") + Folder("G", Link("http://g/", "g")));
    Start();
    m_frame->ActivateTab(CChildFrame::Of(Open("http://p/", "P")));
    // `saved` stands for what the editor saves while the dialog is open.
    const auto add = [&](const std::string& saved, const std::function<void(CAddBookmarkDlg&)>& work) {
        testenv::HandlerGuard driver(SetBookmarkDialogDriver, [&](QDialog& dialog) {
            auto& dlg = dynamic_cast<CAddBookmarkDlg&>(dialog);
            dlg.FolderTree()->setCurrentItem(dlg.FolderTree()->topLevelItem(0)->child(1));
            Write(saved);
            dlg.OnOK();
            work(dlg);
            return dlg.result();
        });
        m_frame->ExecuteCommand(ID_BOOKMARK_ADD);
    };

    // A folder before the chosen one and a link in it: the page goes after them.
    add(Folder("New", "") + Folder("F", "") + Folder("G", Link("http://g/", "g") + Link("http://e/", "e")),
        [](CAddBookmarkDlg&) {});
    EXPECT_EQ(ReadFile(Path()), FileText(Folder("New", "") + Folder("F", "") +
                                         Folder("G", Link("http://g/", "g") + Link("http://e/", "e") +
                                                         Link("http://p/", "P"))));

    // The chosen folder is gone: said, and the folders of the file are shown to choose from.
    add(Folder("New", ""), [&](CAddBookmarkDlg& dlg) {
        EXPECT_NE(dlg.result(), QDialog::Accepted);
        QTreeWidgetItem* root = dlg.FolderTree()->topLevelItem(0);
        ASSERT_EQ(root->childCount(), 1);
        dlg.FolderTree()->setCurrentItem(root->child(0));
        dlg.OnOK();
    });
    EXPECT_EQ(ReadFile(Path()), FileText(Folder("New", Link("http://p/", "P"))));
    EXPECT_EQ(m_messages, std::vector<std::string>{
                              "選択したフォルダはブックマークファイルにありません。\n\n追加するフォルダを選び直してください。"});
}

TEST_F(BookmarkMenuTest, NewFolderGoesToTheEndOfTheSelectedFolder)
{
    Write(Folder("F", Link("http://b/", "B")) + Link("http://d/", "D"));
    Start();
    FakeEditor editor(Path());
    m_frame->ActivateTab(CChildFrame::Of(Open("http://p/", "P")));
    std::vector<std::string> names{"New", ""};
    testenv::HandlerGuard driver(SetBookmarkDialogDriver, [&](QDialog& dialog) {
        if (auto* nameDlg = dynamic_cast<CFolderNameDlg*>(&dialog)) {
            nameDlg->NameEdit()->setText(ToQ(names.front()));
            names.erase(names.begin());
            return int(QDialog::Accepted);
        }
        auto& dlg = dynamic_cast<CAddBookmarkDlg&>(dialog);
        QTreeWidget* tree = dlg.FolderTree();
        tree->setCurrentItem(tree->topLevelItem(0)->child(0));
        dlg.OnNewFolder();
        // Read again: the selection is back on the root, and F shows the folder.
        QTreeWidgetItem* root = tree->topLevelItem(0);
        EXPECT_EQ(tree->currentItem(), root);
        EXPECT_EQ(root->child(0)->child(0)->text(0), "New");
        // An empty name gets the default, at the end of the root this time.
        dlg.OnNewFolder();
        EXPECT_EQ(tree->topLevelItem(0)->child(1)->text(0), "新しいフォルダ");
        return int(QDialog::Rejected);
    });
    m_frame->ExecuteCommand(ID_BOOKMARK_ADD);
    EXPECT_EQ(ReadFile(Path()),
              FileText(Folder("F", Link("http://b/", "B") + Folder("New", "")) + Link("http://d/", "D") +
                   Folder("新しいフォルダ", "")));
    EXPECT_EQ(Items(), (std::vector<std::string>{"F>", "D", "新しいフォルダ>"}));
    EXPECT_EQ(Texts(Sub(Menu(), "F")), (std::vector<std::string>{"B", "New>"}));
    // Each folder is a change of its own, told at once; the cancel adds nothing.
    const quint32 will = ipc::WM_USER_BOOKMARK_WILL_CHANGE, changed = ipc::WM_USER_BOOKMARK_CHANGED;
    EXPECT_EQ(editor.Ids(), (std::vector<quint32>{will, will, changed, will, changed}));
}

TEST_F(BookmarkMenuTest, DialogReportsABrokenFileAndAMissingUrl)
{
    // The root list never ends: no folder has a closing line.
    WriteFile(Path(), "<HTML>\r\n<UL>\r\n" + Link("http://a/", "A"));
    Start();
    const std::string before = ReadFile(Path());
    {
        CAddBookmarkDlg dlg(m_frame, Path(), "T", "http://p/", [] {});
        dlg.OnOK();
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
    }
    testenv::HandlerGuard driver(SetBookmarkDialogDriver, [](QDialog&) { return int(QDialog::Accepted); });
    {
        CAddBookmarkDlg dlg(m_frame, Path(), "T", "http://p/", [] {});
        dlg.OnNewFolder();
    }
    {
        CAddBookmarkDlg dlg(m_frame, Path(), "T", "", [] {});
        dlg.OnOK();
    }
    EXPECT_EQ(ReadFile(Path()), before);
    EXPECT_EQ(m_messages, (std::vector<std::string>{
                              "ブックマークファイルが不正です。\n\nブックマークに追加できませんでした。",
                              "ブックマークファイルが不正です。\n\nブックマークにフォルダの追加できませんでした。",
                              "URLを取得できませんでした。\n\nブックマークに追加できません。"}));
}

TEST_F(BookmarkMenuTest, EditorsReloadMessageRebuildsTheMenu)
{
    Start();
    Write(Link("http://new/", "New"));
    const QString dir = ToQ(DataDirectory());
    std::optional<qint64> reply;
    std::thread sender([&] {
        reply = ipc::SendWindowMessage(ipc::kBrowserClass, dir, {ipc::WM_USER_BOOKMARK_MENU_RELOAD, 0, {}});
    });
    EXPECT_TRUE(SpinUntil([&] { return Items() == std::vector<std::string>{"New"}; }, 5000));
    SpinUntil([&] { return reply.has_value(); }, 5000);
    sender.join();
    EXPECT_TRUE(reply.has_value());
}

TEST_F(BookmarkMenuTest, AReloadWinsOverAnEarlierReadStillRunning)
{
    Start();
    Write(Link("http://old/", "Old"));
    Cmds()->ReloadInBackground();
    EXPECT_TRUE(Cmds()->Loading());
    Write(Link("http://new/", "New"));
    Cmds()->Reload();
    // The worker's result arrives after the reload: it is dropped.
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_FALSE(Cmds()->Loading());
    EXPECT_EQ(Items(), std::vector<std::string>{"New"});
    EXPECT_EQ(Cmds()->Menu().Urls(), std::vector<std::string>{"http://new/"});
}

TEST_F(BookmarkMenuTest, HostileFilesBuildBoundedMenusQuickly)
{
    Start();
    testenv::CpuTimer timer;

    // One 50 MB line that is a link.
    WriteFile(Path(), "<UL>\r\n<LI><A HREF=\"http://big/\">" + std::string(50 << 20, 'x') + "</A>\r\n</UL>\r\n");
    timer.start();
    Cmds()->Reload();
    EXPECT_LT(timer.elapsed(), 5000);
    ASSERT_EQ(Items().size(), 1u);
    EXPECT_EQ(TextWidth(Items()[0]), kMaxBookmarkTextWidth + 3);

    // Binary noise between two links adds nothing.
    std::mt19937 random(7);
    std::string noise(1 << 20, '\0');
    for (char& c : noise)
        c = char(random());
    Write(Link("http://a/", "a") + noise + "\r\n" + Link("http://b/", "b"));
    timer.restart();
    Cmds()->Reload();
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_EQ(Items(), (std::vector<std::string>{"a", "b"}));

    // Unbalanced folder lines: extra closings end the root, missing ones end at the end.
    Write(Folder("A", Link("http://a/", "a")) + "\t</UL>\r\n\t</UL>\r\n" + Link("http://after/", "after"));
    Cmds()->Reload();
    EXPECT_EQ(Items(), std::vector<std::string>{"A>"});
    WriteFile(Path(), "<UL>\r\n\t<LI>A<UL>\r\n\t<LI>B<UL>\r\n" + Link("http://b/", "b"));
    Cmds()->Reload();
    EXPECT_EQ(Texts(Sub(Sub(Menu(), "A"), "B")), std::vector<std::string>{"b"});

    // CP932 text from the Windows version.
    WriteFile(Path(), "<UL>\r\n<LI><A HREF=\"http://j/\">\x93\xfa\x96\x7b\x8c\xea</A>\r\n</UL>\r\n");
    Cmds()->Reload();
    EXPECT_EQ(Items(), std::vector<std::string>{"日本語"});
}

TEST_F(BookmarkMenuTest, DeepNestingIsFlattenedBelowTheMenuDepthLimit)
{
    auto nested = [](int depth) {
        std::string text = "<UL>\r\n";
        for (int i = 0; i < depth; ++i)
            text += "<LI>D" + std::to_string(i) + "<UL>\r\n";
        text += Link("http://deep/", "deep");
        for (int i = 0; i < depth; ++i)
            text += "</UL>\r\n";
        return text + Link("http://end/", "end") + "</UL>\r\n";
    };
    auto depthOf = [](QMenu* menu, std::string* leaf) {
        int depth = 0;
        for (;;) {
            QMenu* next = nullptr;
            for (QAction* a : Shown(menu)->actions())
                if (a->menu())
                    next = a->menu();
            if (!next)
                break;
            menu = next;
            ++depth;
        }
        *leaf = Texts(menu).back();
        return depth;
    };
    Start();
    std::string leaf;

    WriteFile(Path(), nested(30));
    Cmds()->Reload();
    EXPECT_EQ(depthOf(Menu(), &leaf), 30);
    EXPECT_EQ(leaf, "deep");

    WriteFile(Path(), nested(1500));
    Cmds()->Reload();
    EXPECT_EQ(depthOf(Menu(), &leaf), kMaxBookmarkMenuDepth);
    EXPECT_EQ(leaf, "deep");
    EXPECT_EQ(Items().back(), "end");
    EXPECT_EQ(Cmds()->Menu().Urls(), (std::vector<std::string>{"http://deep/", "http://end/"}));
}
