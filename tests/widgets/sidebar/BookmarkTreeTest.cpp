#include "widgets/bars/AddressCombo.h"
#include "widgets/bars/StatusBar.h"
#include "ui/CommandIds.h"
#include "platform/Text.h"

#include "SidebarFixture.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QTest>

using namespace nimbra;
using testenv::FakeWebBrowser;
using testenv::SpinUntil;
using B = nimbra::BookmarkItem;

namespace {

class BookmarkTreeTest : public testenv::SidebarTest {
protected:
    void SetUp() override
    {
        SidebarTest::SetUp();
        StartWithTab();
        Bookmarks({B::Link("a", "http://a/"),
                   B::Folder("F", {B::Link("f1", "http://f1/"), B::Link("f2", "http://f2/"),
                                   B::Folder("Sub", {B::Link("s1", "http://s1/"), B::Link("s2", "http://s2/"),
                                                     B::Link("s3", "http://s3/")}),
                                   B::Separator()}),
                   B::Link("no url", "")});
        // A folder's items come when it first opens: open "F" and "Sub" by
        // clicks as a person does, and close them again.
        for (const char* folder : {"F", "Sub", "Sub", "F"})
            Click(folder, kLabel);
    }

    enum EWhere { kLabel, kIcon, kBlank };
    QPoint At(QTreeWidgetItem* item, EWhere where) const
    {
        const QRect hit = Tree()->HitRect(item);
        const int y = hit.center().y();
        switch (where) {
        case kLabel:
            return {hit.right() - 2, y};
        case kIcon:
            return {hit.left() + 4, y};
        case kBlank:
            break;
        }
        return {hit.right() + 12, y};
    }
    void Click(const std::string& text, EWhere where, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::mouseClick(Tree()->viewport(), Qt::LeftButton, modifiers, At(Item(text), where));
    }
    // Puts the active tab back on its first page, and forgets new tabs.
    void Reset()
    {
        m_frame->AddressCombo()->Go("http://start/", 0, 0, 0, 0);
        m_engines = FakeWebBrowser::All().size();
    }
    // URLs of the tabs opened since Reset().
    std::vector<std::string> NewTabs() const
    {
        std::vector<std::string> urls;
        for (size_t i = m_engines; i < FakeWebBrowser::All().size(); ++i)
            urls.push_back(FakeWebBrowser::All()[i]->LocationURL());
        return urls;
    }
    void SetClickOpenNew(int value)
    {
        Option("NBLClickOpenNew", value);
        m_frame->ReloadSettings();
    }

    size_t m_engines = 0;
};

// The menu as ids, 0 for a separator, and the id of its default item.
std::pair<std::vector<int>, int> MenuIds(QMenu* menu)
{
    std::vector<int> ids;
    for (QAction* action : menu->actions())
        ids.push_back(action->isSeparator() ? 0 : action->data().toInt());
    const int def = menu->defaultAction() ? menu->defaultAction()->data().toInt() : -1;
    delete menu;
    return {ids, def};
}

} // namespace

TEST_F(BookmarkTreeTest, TreeMirrorsTheFileWithLinkNumbers)
{
    QTreeWidgetItem* root = Tree()->Root();
    ASSERT_EQ(Tree()->topLevelItemCount(), 1);
    EXPECT_EQ(FromQ(root->text(0)), kBookmarkTreeRootText);
    EXPECT_TRUE(root->isExpanded());
    const std::pair<std::string, int> expected[] = {{"a", 0}, {"F", -1}, {"f1", 1}, {"f2", 2}, {"Sub", -1},
                                                     {"s1", 3}, {"s3", 5}, {"no url", 6}};
    for (const auto& [text, number] : expected)
        EXPECT_EQ(CBookmarkTree::LinkNumber(Item(text)), number) << text;
    EXPECT_EQ(Item("F")->childCount(), 3); // the separator is not an item
    // A folder joins the root in file order, before the link after it.
    ASSERT_EQ(root->childCount(), 3);
    EXPECT_EQ(root->child(1), Item("F"));
    EXPECT_EQ(root->child(2), Item("no url"));
    EXPECT_EQ(Tree()->UrlOf(Item("s2")), "http://s2/");
}

TEST_F(BookmarkTreeTest, ClicksOpenOnlyOnTheLabelOrIcon)
{
    struct Case {
        EWhere where;
        Qt::KeyboardModifiers modifiers;
        int clickOpenNew;
        std::string active;               // the active tab's page afterwards
        std::vector<std::string> newTabs; // pages opened in new tabs
    };
    const std::string start = "http://start/";
    const Case cases[] = {
        {kLabel, {}, 0, "http://a/", {}},
        {kIcon, {}, 0, "http://a/", {}},
        {kBlank, {}, 0, start, {}},
        {kLabel, Qt::ShiftModifier, 0, start, {"http://a/"}},
        {kBlank, Qt::ShiftModifier, 0, start, {}},
        {kLabel, Qt::AltModifier, 0, "view-source:http://a/", {}},
        {kIcon, Qt::AltModifier, 1, start, {"view-source:http://a/"}},
        {kLabel, {}, 1, start, {"http://a/"}},
        {kBlank, Qt::AltModifier, 1, start, {}},
    };
    int n = 0;
    for (const Case& c : cases) {
        ++n;
        SetClickOpenNew(c.clickOpenNew);
        Reset();
        m_frame->ExecuteCommand(ID_NB_FOCUS);
        Click("a", c.where, c.modifiers);
        EXPECT_EQ(ActiveUrl(), c.active) << "case " << n;
        EXPECT_EQ(NewTabs(), c.newTabs) << "case " << n;
        // After opening, the keyboard focus goes to the page.
        const bool opened = c.active != start || !c.newTabs.empty();
        if (opened)
            SpinUntil([&] { return m_frame->focusWidget() != Tree(); }, 2000);
        else
            QCoreApplication::processEvents();
        EXPECT_EQ(m_frame->focusWidget() != Tree(), opened) << "case " << n;
    }

    // A folder opens and closes; a link without URL, or with a number
    // outside the table, opens nothing.
    SetClickOpenNew(0);
    Reset();
    Click("F", kLabel);
    EXPECT_TRUE(Item("F")->isExpanded());
    Click("F", kIcon);
    EXPECT_FALSE(Item("F")->isExpanded());
    Tree()->AddLink(Tree()->Root(), "stray", 99);
    Click("no url", kLabel);
    Click("stray", kLabel);
    EXPECT_EQ(ActiveUrl(), start);
    EXPECT_TRUE(NewTabs().empty());
}

TEST_F(BookmarkTreeTest, EnterFollowsTheStandardActionAndFoldersOnlyToggle)
{
    auto enter = [&](const std::string& text, Qt::KeyboardModifiers modifiers = {}) {
        Tree()->setCurrentItem(Item(text));
        QTest::keyClick(Tree(), Qt::Key_Return, modifiers);
    };
    SetClickOpenNew(0);
    Reset();
    enter("F");
    EXPECT_TRUE(Item("F")->isExpanded());
    enter("f1");
    EXPECT_EQ(ActiveUrl(), "http://f1/");
    enter("f2", Qt::ShiftModifier);
    EXPECT_EQ(NewTabs(), std::vector<std::string>{"http://f2/"});

    SetClickOpenNew(1);
    Reset();
    enter("F");
    EXPECT_TRUE(Item("F")->isExpanded());
    enter("f1");
    EXPECT_EQ(NewTabs(), std::vector<std::string>{"http://f1/"});
    EXPECT_EQ(ActiveUrl(), "http://start/");

    // No selection, nothing.
    Tree()->clearSelection();
    QTest::keyClick(Tree(), Qt::Key_Return);
    EXPECT_EQ(NewTabs().size(), 1u);
}

TEST_F(BookmarkTreeTest, MenuCommandsOpenCopyExpandAndToggle)
{
    Reset();
    Tree()->setCurrentItem(Item("F"));
    Tree()->RunCommand(CBookmarkTree::ID_TREE_OPEN_FOLDER);
    EXPECT_EQ(NewTabs(), (std::vector<std::string>{"http://f1/", "http://f2/"}));

    Reset();
    Tree()->setCurrentItem(Item("f1"));
    Tree()->RunCommand(CBookmarkTree::ID_TREE_OPEN);
    Tree()->RunCommand(CBookmarkTree::ID_TREE_OPEN_NEW);
    EXPECT_EQ(ActiveUrl(), "http://f1/");
    EXPECT_EQ(NewTabs(), std::vector<std::string>{"http://f1/"});

    Tree()->RunCommand(CBookmarkTree::ID_TREE_COPY_URL);
    EXPECT_EQ(QApplication::clipboard()->text(), "http://f1/");
    Tree()->setCurrentItem(Item("Sub"));
    Tree()->RunCommand(CBookmarkTree::ID_TREE_COPY_TITLE);
    EXPECT_EQ(QApplication::clipboard()->text(), "Sub");

    Tree()->RunCommand(CBookmarkTree::ID_TREE_EXPAND_ALL);
    EXPECT_TRUE(Item("F")->isExpanded() && Item("Sub")->isExpanded() && Tree()->Root()->isExpanded());
    Tree()->RunCommand(CBookmarkTree::ID_TREE_COLLAPSE_ALL);
    EXPECT_FALSE(Item("Sub")->isExpanded());
    // The selection stays in sight.
    EXPECT_TRUE(Item("F")->isExpanded() && Tree()->Root()->isExpanded());
    Tree()->setCurrentItem(Tree()->Root());
    Tree()->RunCommand(CBookmarkTree::ID_TREE_COLLAPSE_ALL);
    EXPECT_FALSE(Item("F")->isExpanded());

    // The standard action, twice: back to where it was, in the file and the frame.
    SetClickOpenNew(0);
    Tree()->RunCommand(CBookmarkTree::ID_TREE_STANDARD_ACTION);
    EXPECT_EQ(m_app->Settings().GetInt(EKey::NBLClickOpenNew), 1);
    EXPECT_EQ(m_frame->FrameSettings().NBLClickOpenNew, 1);
    Tree()->RunCommand(CBookmarkTree::ID_TREE_STANDARD_ACTION);
    EXPECT_EQ(m_app->Settings().GetInt(EKey::NBLClickOpenNew), 0);
    EXPECT_EQ(m_frame->FrameSettings().NBLClickOpenNew, 0);
}

TEST_F(BookmarkTreeTest, ContextMenuFitsItsTargetWithTheStandardActionAsDefault)
{
    using T = CBookmarkTree;
    const std::vector<int> tail{T::ID_TREE_EXPAND_ALL, T::ID_TREE_COLLAPSE_ALL, 0, T::ID_TREE_STANDARD_ACTION};
    auto with = [&](std::vector<int> head) {
        head.insert(head.end(), tail.begin(), tail.end());
        return head;
    };
    const std::vector<int> link = with({T::ID_TREE_OPEN, T::ID_TREE_OPEN_NEW, 0, T::ID_TREE_COPY_TITLE,
                                        T::ID_TREE_COPY_URL, 0});
    const std::vector<int> folder = with({T::ID_TREE_OPEN_FOLDER, T::ID_TREE_COPY_TITLE, 0});
    struct Case {
        std::string target;
        bool onLabel;
        int clickOpenNew;
        std::vector<int> ids;
        int def;
    };
    const Case cases[] = {
        {"a", true, 0, link, T::ID_TREE_OPEN},      {"a", true, 1, link, T::ID_TREE_OPEN_NEW},
        {"F", true, 0, folder, T::ID_TREE_OPEN_FOLDER}, {"F", true, 1, folder, T::ID_TREE_COPY_TITLE},
        {"a", false, 0, tail, -1},
    };
    for (const Case& c : cases) {
        SetClickOpenNew(c.clickOpenNew);
        Tree()->setCurrentItem(Tree()->Root());
        const auto [ids, def] = MenuIds(Tree()->CreateContextMenu(Item(c.target), c.onLabel));
        EXPECT_EQ(ids, c.ids) << c.target << c.onLabel << c.clickOpenNew;
        EXPECT_EQ(def, c.def) << c.target << c.onLabel << c.clickOpenNew;
        EXPECT_EQ(Tree()->Selected(), c.onLabel ? Item(c.target) : Tree()->Root());
    }

    // A right click beside a label: only the general part; below the last
    // row: no menu.
    auto rightClick = [&](QPoint pos) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, Tree()->viewport()->mapToGlobal(pos));
        QApplication::sendEvent(Tree()->viewport(), &event);
        QMenu* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        const size_t count = menu ? size_t(menu->actions().size()) : 0;
        if (menu)
            menu->close();
        return count;
    };
    EXPECT_EQ(rightClick(At(Item("a"), kBlank)), tail.size());
    EXPECT_EQ(rightClick(QPoint(5, Tree()->viewport()->height() - 3)), 0u);
}

TEST_F(BookmarkTreeTest, KeysOfTheTreeWinOverTheFramesShortcuts)
{
    m_frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_frame));
    int frameShortcut = 0;
    QAction grab(m_frame);
    grab.setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    QObject::connect(&grab, &QAction::triggered, [&] { ++frameShortcut; });
    m_frame->addAction(&grab);

    m_frame->ExecuteCommand(ID_NB_FOCUS);
    ASSERT_TRUE(Tree()->hasFocus());
    Tree()->setCurrentItem(Item("a"));
    QTest::keyClick(Tree(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "a");
    QTest::keyClick(Tree(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "http://a/");
    QTest::keyClick(Tree(), Qt::Key_X, Qt::ControlModifier);
    EXPECT_TRUE(Item("Sub")->isExpanded());
    QTest::keyClick(Tree(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_FALSE(Item("Sub")->isExpanded());
    EXPECT_EQ(frameShortcut, 0);

    // Space: the menu at the selection; Tab: the page.
    QTest::keyClick(Tree(), Qt::Key_Space);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->actions().size(), 10);
    menu->close();
    QTest::keyClick(Tree(), Qt::Key_Tab);
    EXPECT_TRUE(SpinUntil([&] { return m_frame->focusWidget() == ViewWidget(); }, 2000));
    m_frame->removeAction(&grab);
}

TEST_F(BookmarkTreeTest, HoverAndInfoTipShowTheUrl)
{
    CNimbraStatusBar* status = m_frame->StatusBar();
    QTest::mouseMove(Tree()->viewport(), At(Item("a"), kLabel));
    EXPECT_EQ(FromQ(status->currentMessage()), "http://a/");
    QTest::mouseMove(Tree()->viewport(), At(Item("a"), kBlank));
    EXPECT_TRUE(status->currentMessage().isEmpty());
    QTest::mouseMove(Tree()->viewport(), At(Item("a"), kIcon));
    EXPECT_EQ(FromQ(status->currentMessage()), "http://a/");
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(Tree()->viewport(), &leave);
    EXPECT_TRUE(status->currentMessage().isEmpty());

    EXPECT_EQ(FromQ(Tree()->InfoTip(Item("a"))), "a\nhttp://a/");
    EXPECT_TRUE(Tree()->InfoTip(Item("F")).isEmpty());
    Option("InfoTip", 0);
    m_frame->ReloadSettings();
    EXPECT_TRUE(Tree()->InfoTip(Item("a")).isEmpty());
}

TEST_F(BookmarkTreeTest, ReloadKeepsOpenFoldersAndAddedRootLinksOpen)
{
    Item("F")->setExpanded(true);
    Item("Sub")->setExpanded(true);
    Bookmarks({B::Folder("F", {B::Folder("Sub", {B::Link("new", "http://new/")}), B::Folder("Other")}),
               B::Folder("Sub")});
    EXPECT_TRUE(Item("F")->isExpanded());
    EXPECT_TRUE(Item("new")->parent()->isExpanded());
    EXPECT_FALSE(Tree()->Root()->child(1)->isExpanded()); // the other "Sub"
    EXPECT_EQ(Tree()->Selected(), Tree()->Root());

    // "追加" puts a link at the end of the root list; it opens its page.
    BookmarkCommandsOf(*m_frame)->AddToRoot("Added", "http://added/");
    ASSERT_NE(Item("Added"), nullptr);
    EXPECT_EQ(Item("Added")->parent(), Tree()->Root());
    Reset();
    Click("Added", kLabel);
    EXPECT_EQ(ActiveUrl(), "http://added/");
}

TEST_F(BookmarkTreeTest, HostileFilesBuildABoundedTreeQuickly)
{
    const std::string longUrl = "http://long/" + std::string(50 << 20, 'u');
    B deep = B::Link("deep", "http://deep/");
    for (int i = 0; i < 30; ++i)
        deep = B::Folder("D" + std::to_string(i), {std::move(deep)});
    testenv::CpuTimer timer;
    timer.start();
    Bookmarks({B::Link(std::string(1 << 20, 't'), longUrl), B::Link("\u202Eevil", "http://bidi/"), std::move(deep)});
    EXPECT_LT(timer.elapsed(), 10000);
    Tree()->RunCommand(CBookmarkTree::ID_TREE_EXPAND_ALL);
    ASSERT_NE(Item("deep"), nullptr);

    QTreeWidgetItem* big = Tree()->Root()->child(0);
    EXPECT_EQ(TextWidth(FromQ(big->text(0))), kMaxBookmarkTextWidth + 3);
    const QStringList tip = Tree()->InfoTip(big).split('\n');
    ASSERT_EQ(tip.size(), 2);
    EXPECT_LE(TextWidth(FromQ(tip[1])), CBookmarkTree::kMaxTipWidth + 3);
    QTest::mouseMove(Tree()->viewport(), At(big, kLabel));
    EXPECT_LE(TextWidth(FromQ(m_frame->StatusBar()->currentMessage())), CBookmarkTree::kMaxTipWidth + 3);

    // A title with a line break stays on one row.
    Tree()->AddLink(Tree()->Root(), "two\nlines", 0);
    EXPECT_EQ(Tree()->Root()->child(Tree()->Root()->childCount() - 1)->text(0), "two lines");

    // 100,000 links as the loader adds them, then every folder opened and closed.
    timer.restart();
    IBookmarkTree& loader = *Tree();
    IBookmarkTree::Item folder = loader.AddFolder(loader.ResetRoot(), "many");
    for (int i = 0; i < 100000; ++i) {
        if (i % 100 == 0)
            folder = loader.AddFolder(Tree()->Root(), "F" + std::to_string(i));
        loader.AddLink(folder, "L" + std::to_string(i), i);
    }
    loader.ExpandAndSelectRoot();
    Tree()->RunCommand(CBookmarkTree::ID_TREE_EXPAND_ALL);
    Tree()->RunCommand(CBookmarkTree::ID_TREE_COLLAPSE_ALL);
    EXPECT_LT(timer.elapsed(), 10000);
    EXPECT_EQ(Tree()->Root()->childCount(), 1001);
}
