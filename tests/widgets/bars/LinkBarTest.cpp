#include "widgets/bars/LinkBar.h"
#include "widgets/bookmarks/BookmarkCommands.h"
#include "data/bookmarks/BookmarkFile.h"
#include "platform/Text.h"

#include "TestBrowser.h"

#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QToolButton>

using namespace nimbra;
using testenv::SpinUntil;

namespace {

struct SRan {
    std::vector<int> commands;
    std::vector<int> newTabs;
};

// A bar on its own, shown offscreen, recording the commands it runs.
struct SBar {
    explicit SBar(int width, bool images = true, int fixed = -1)
        : bar([this](int id) { ran.commands.push_back(id); }, [this](int id) { ran.newTabs.push_back(id); })
    {
        bar.SetLook(images, fixed);
        bar.resize(width, 22);
        bar.show();
    }
    void Fill(const std::vector<std::string>& titles)
    {
        bar.ClearButtons();
        for (size_t i = 0; i < titles.size(); ++i)
            bar.AddButton(titles[i], "http://l" + std::to_string(i) + "/", ID_BOOKMARK_FIRST + int(i), nullptr);
    }
    std::vector<std::string> Shown() const
    {
        std::vector<std::string> texts;
        for (CLinkButton* button : bar.VisibleButtons())
            texts.push_back(FromQ(button->Entry().title));
        return texts;
    }
    std::vector<std::string> MoreList()
    {
        bar.MoreButton()->click();
        std::vector<std::string> texts;
        if (QMenu* menu = bar.MoreMenu()) {
            for (QAction* item : menu->actions())
                texts.push_back(FromQ(item->text()) + (item->menu() ? ">" : ""));
            menu->close();
        }
        return texts;
    }

    SRan ran;
    CLinkBar bar;
};

int TextWidth(const char* text)
{
    return QFontMetrics(QApplication::font("QMenu")).horizontalAdvance(QString::fromUtf8(text));
}

} // namespace

TEST(LinkBar, ButtonWidthsAndPlacement)
{
    struct SCase {
        bool images;
        int fixed;
        const char* title;
        int width;
    };
    const SCase cases[] = {
        {true, 30, "abc", 60},
        {false, 30, "abc", 40},
        {true, 0, "abc", 30},
        {true, -5, "abc", TextWidth("abc") + 30}, // any negative width: from the text
        // "&" is no mnemonic: measured and shown as it stands.
        {true, -1, "A&B", TextWidth("A&B") + 30},
        {false, -1, "A&B", TextWidth("A&B") + 10},
    };
    for (const SCase& c : cases) {
        SBar s(1000, c.images, c.fixed);
        s.Fill({c.title, c.title, c.title});
        ASSERT_EQ(s.Shown(), std::vector<std::string>(3, c.title)) << c.title;
        int x = 0;
        for (CLinkButton* button : s.bar.VisibleButtons()) {
            EXPECT_EQ(button->geometry(), QRect(x, 1, c.width, 20)) << c.title << " " << c.fixed;
            x += c.width;
        }
        EXPECT_FALSE(s.bar.MoreButton()->isVisible());
    }
}

TEST(LinkBar, ButtonsPastTheEdgeGoToTheMoreList)
{
    // Three buttons of 60 need 180 + 13 for the more button.
    SBar s(193, true, 30);
    s.Fill({"a", "b", "c", "A&B"});
    s.bar.AddButton("F", {}, -1, new QMenu(&s.bar));
    EXPECT_EQ(s.Shown(), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(s.bar.FirstHidden(), 3);
    EXPECT_TRUE(s.bar.MoreButton()->isVisible());
    EXPECT_EQ(s.bar.MoreButton()->geometry(), QRect(180, 0, 13, 22));
    EXPECT_EQ(s.MoreList(), (std::vector<std::string>{"A&&B", "F>"}));

    // Narrower than the first button: only the more button, listing all.
    s.bar.resize(50, 22);
    EXPECT_TRUE(s.Shown().empty());
    EXPECT_TRUE(s.bar.MoreButton()->isVisible());
    EXPECT_EQ(s.MoreList(), (std::vector<std::string>{"a", "b", "c", "A&&B", "F>"}));

    // Wide enough for all: no more button.
    s.bar.resize(313, 22);
    EXPECT_EQ(s.Shown().size(), 5u);
    EXPECT_FALSE(s.bar.MoreButton()->isVisible());
}

TEST(LinkBar, RefillLeavesNoStaleButton)
{
    SBar s(1000, true, 30);
    s.Fill({"a", "b", "c", "d", "e"});
    s.Fill({"x", "y"});
    EXPECT_EQ(s.Shown(), (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(s.bar.findChildren<CLinkButton*>().size(), 2);
    s.bar.ClearButtons();
    EXPECT_TRUE(s.bar.findChildren<CLinkButton*>().isEmpty());
    EXPECT_FALSE(s.bar.MoreButton()->isVisible());
}

TEST(LinkBar, LongTitlesAndHugeFoldersStayBounded)
{
    SBar s(800);
    s.Fill({"a\tb\nc\x01" + std::string(10000, 'x')});
    const std::string title = FromQ(s.bar.EntryAt(0).title);
    EXPECT_EQ(title.substr(0, 6), "a b c ");
    EXPECT_EQ(title, BookmarkMenuText("a b c " + std::string(10000, 'x'), false, 0));

    std::vector<std::string> titles(20000, "link");
    s.Fill(titles);
    EXPECT_EQ(s.bar.EntryCount(), 20000);
    EXPECT_LT(s.bar.findChildren<CLinkButton*>().size(), 800 / 10);
    EXPECT_EQ(s.bar.FirstHidden(), int(s.Shown().size()));
}

TEST(LinkBar, ClicksRunTheCommandAfterwardsOrDropTheFolder)
{
    SBar s(1000, true, 30);
    auto* folder = new QMenu(&s.bar);
    folder->addAction(QStringLiteral("inside"));
    s.Fill({"a"});
    s.bar.AddButton("F", {}, -1, folder);
    const std::vector<CLinkButton*> buttons = s.bar.VisibleButtons();
    ASSERT_EQ(buttons.size(), 2u);

    QTest::mouseClick(buttons[0], Qt::LeftButton);
    EXPECT_TRUE(s.ran.commands.empty()); // posted, not run inside the click
    ASSERT_TRUE(SpinUntil([&] { return !s.ran.commands.empty(); }, 2000));
    EXPECT_EQ(s.ran.commands, std::vector<int>{ID_BOOKMARK_FIRST});

    // Released away from the button: nothing.
    QTest::mousePress(buttons[0], Qt::LeftButton);
    QTest::mouseRelease(buttons[0], Qt::LeftButton, {}, QPoint(-5, -5));
    QTest::mouseClick(buttons[0], Qt::MiddleButton);
    ASSERT_TRUE(SpinUntil([&] { return !s.ran.newTabs.empty(); }, 2000));
    EXPECT_EQ(s.ran.commands.size(), 1u);
    EXPECT_EQ(s.ran.newTabs, std::vector<int>{ID_BOOKMARK_FIRST});

    QTest::mouseClick(buttons[1], Qt::LeftButton);
    EXPECT_TRUE(folder->isVisible());
    EXPECT_EQ(folder->pos(), buttons[1]->mapToGlobal(QPoint(0, 20)));
    folder->close();
}

namespace {

class LinkBarFrameTest : public testenv::BrowserTest {
protected:
    CLinkBar* Bar() const { return BookmarkCommandsOf(*m_frame)->LinkBar(); }
};

} // namespace

TEST_F(LinkBarFrameTest, SettingsArePushedAndAMiddleClickOpensANewTab)
{
    BookmarkItem root = BookmarkItem::Folder({});
    BookmarkItem links = BookmarkItem::Folder("リンク");
    links.items.push_back(BookmarkItem::Link("one", "http://one/"));
    root.items.push_back(links);
    WriteBookmarkFile(m_app->BookmarkPath(), root);
    Option("BookmarkNewTab", 0);
    Start();
    ASSERT_TRUE(SpinUntil([&] { return Bar()->EntryCount() == 1; }, 2000));
    EXPECT_EQ(Bar()->ButtonWidth(0), TextWidth("one") + 30);

    Option("LinkBarSetBtnWidth", 1);
    Option("LinkBarDrawImg", 0);
    m_frame->ReloadSettings();
    EXPECT_EQ(Bar()->ButtonWidth(0), 30 + 10);

    m_app->OpenUrl("http://first/");
    ASSERT_EQ(m_frame->TabCount(), 1);
    ASSERT_TRUE(SpinUntil([&] { return !Bar()->VisibleButtons().empty(); }, 2000));
    QTest::mouseClick(Bar()->VisibleButtons()[0], Qt::MiddleButton);
    ASSERT_TRUE(SpinUntil([&] { return m_frame->TabCount() == 2; }, 2000));
    const std::vector<CNimbraView*> views = m_frame->Views();
    EXPECT_TRUE(std::any_of(views.begin(), views.end(), [](CNimbraView* v) { return v->GetLocationURL() == "http://one/"; }));
}
