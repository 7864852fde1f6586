#include "widgets/bars/CoolBar.h"
#include "ui/MenuBarKeys.h"
#include "widgets/bars/AddressCombo.h"
#include "data/bookmarks/BookmarkFile.h"
#include "data/bookmarks/BookmarkMessages.h"
#include "platform/Ipc.h"

#include "TestBrowser.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

using namespace nimbra;
using testenv::SpinUntil;
using EState = CMenuBarKeys::EState;

namespace {

class MenuBarTest : public testenv::BrowserTest {
protected:
    void StartActive()
    {
        Start();
        m_frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_frame));
    }
    QMenuBar* Bar() const { return m_frame->MainMenu(); }
    CMenuBarKeys* Keys() const { return Bar()->findChild<CMenuBarKeys*>(); }
    int Active() const { return int(Bar()->actions().indexOf(Bar()->activeAction())); }
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::keyClick(m_frame->windowHandle(), key, modifiers);
    }
};

} // namespace

TEST_F(MenuBarTest, KeysMoveThroughTheKeyboardStateAndPopups)
{
    StartActive();
    using Sequence = std::vector<std::pair<Qt::Key, Qt::KeyboardModifiers>>;
    const Qt::KeyboardModifiers none;
    struct Case {
        Sequence keys;
        EState state;
        int active;    // highlighted or open menu, -1 none
    };
    const Case cases[] = {
        {{{Qt::Key_Alt, none}}, EState::Keyboard, 0},
        {{{Qt::Key_Alt, none}, {Qt::Key_Alt, none}}, EState::Idle, -1},
        {{{Qt::Key_F10, none}}, EState::Keyboard, 0},
        {{{Qt::Key_F10, none}, {Qt::Key_F10, none}}, EState::Idle, -1},
        {{{Qt::Key_F10, Qt::ShiftModifier}}, EState::Idle, -1},
        {{{Qt::Key_Alt, none}, {Qt::Key_Right, none}, {Qt::Key_Right, none}, {Qt::Key_Left, none}}, EState::Keyboard, 1},
        {{{Qt::Key_Alt, none}, {Qt::Key_Escape, none}}, EState::Idle, -1},
        {{{Qt::Key_Alt, none}, {Qt::Key_Q, none}}, EState::Keyboard, 0},      // no such mnemonic: swallowed
        {{{Qt::Key_Alt, none}, {Qt::Key_F5, none}}, EState::Idle, -1},        // any other key leaves
        {{{Qt::Key_Alt, none}, {Qt::Key_Down, none}}, EState::Popup, 0},
        {{{Qt::Key_Alt, none}, {Qt::Key_Right, none}, {Qt::Key_Space, none}}, EState::Popup, 1},
        {{{Qt::Key_F10, none}, {Qt::Key_Up, none}}, EState::Popup, 0},
        {{{Qt::Key_Alt, none}, {Qt::Key_V, none}}, EState::Popup, 2},
        {{{Qt::Key_V, Qt::AltModifier}}, EState::Popup, 2},
        {{{Qt::Key_Alt, none}, {Qt::Key_Down, none}, {Qt::Key_Right, none}}, EState::Popup, 1},
        {{{Qt::Key_Alt, none}, {Qt::Key_Down, none}, {Qt::Key_Escape, none}}, EState::Keyboard, 0},
        {{{Qt::Key_Alt, none}, {Qt::Key_Down, none}, {Qt::Key_Alt, none}}, EState::Idle, -1},
        {{{Qt::Key_V, Qt::AltModifier}, {Qt::Key_F10, none}}, EState::Idle, -1},
    };
    QLineEdit* field = m_frame->AddressCombo()->lineEdit();
    for (size_t n = 0; n < std::size(cases); ++n) {
        const Case& c = cases[n];
        field->setFocus();
        ASSERT_TRUE(SpinUntil([&] { return field->hasFocus(); }, 2000));
        for (const auto& [key, modifiers] : c.keys)
            Key(key, modifiers);
        EXPECT_TRUE(SpinUntil([&] { return Keys()->State() == c.state; }, 2000)) << "case " << n;
        EXPECT_EQ(c.active < 0 ? -1 : Active(), c.active) << "case " << n;
        if (c.state == EState::Popup) {
            // The popup opens with its first item selected.
            QMenu* menu = Bar()->activeAction()->menu();
            ASSERT_NE(menu, nullptr);
            const QList<QAction*> items = menu->actions();
            const auto first = std::find_if(items.begin(), items.end(), [](const QAction* item) {
                return item->isVisible() && !item->isSeparator() && item->isEnabled();
            });
            if (!c.keys.front().second && first != items.end()) {
                EXPECT_EQ(menu->activeAction(), *first) << "case " << n;
            }
        }
        if (c.state == EState::Idle) {
            EXPECT_TRUE(field->hasFocus()) << "case " << n;
        }
        while (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
        if (Keys()->State() == EState::Keyboard)
            Key(Qt::Key_Escape);
        ASSERT_TRUE(SpinUntil([&] { return Keys()->State() == EState::Idle; }, 2000)) << "case " << n;
    }
}

TEST_F(MenuBarTest, BookmarkReloadKeepsTheRebar)
{
    WriteBookmarkFile(m_app->BookmarkPath(), BookmarkItem::Folder({}, {BookmarkItem::Link("A", "http://a/")}));
    StartActive();
    auto* rebar = qobject_cast<CNimbraCoolBar*>(m_frame->menuWidget());
    ASSERT_NE(rebar, nullptr);
    const int bands = rebar->BandCount();
    for (int i = 0; i < 3; ++i)
        m_frame->OnWindowMessage({ipc::WM_USER_BOOKMARK_MENU_RELOAD, 0, {}});
    QApplication::processEvents();
    EXPECT_EQ(m_frame->menuWidget(), rebar);
    EXPECT_EQ(rebar->BandCount(), bands);
    EXPECT_EQ(rebar->BandChild(kBandMenuBar), Bar());
    EXPECT_EQ(m_frame->findChildren<QMenuBar*>().size(), 1);
    EXPECT_TRUE(Bar()->isVisible());
    // The keys still reach the one bar.
    Key(Qt::Key_Alt);
    EXPECT_TRUE(SpinUntil([&] { return Keys()->State() == EState::Keyboard; }, 2000));
    Key(Qt::Key_Escape);
}
