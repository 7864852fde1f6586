#include "ui/CommandRouter.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QTest>
#include <QWidget>
#include <memory>
#include <string>

using namespace nimbra;

namespace {

using ELevel = CCommandRouter::ELevel;

struct RouterFixture : ::testing::Test {
    RouterFixture()
    {
        router.SetViewTableProvider([this] { return activeView; });
    }

    CCommandRouter router;
    CCommandTable view;
    CCommandTable* activeView = &view;
    std::string log;
};

} // namespace

TEST_F(RouterFixture, CommandsGoToTheViewThenTheFrameThenTheApp)
{
    view.SetHandler(100, [&] { log += "view "; });
    router.SetHandler(ELevel::Frame, 100, [&] { log += "frame "; });
    router.SetHandler(ELevel::App, 100, [&] { log += "app "; });

    EXPECT_TRUE(router.Execute(100));
    activeView = nullptr; // no tab
    EXPECT_TRUE(router.Execute(100));
    router.Table(ELevel::Frame).Remove(100);
    EXPECT_TRUE(router.Execute(100));
    router.Table(ELevel::App).Clear();
    EXPECT_FALSE(router.Execute(100));
    EXPECT_EQ(log, "view frame app ");
}

TEST_F(RouterFixture, TriggeringAnActionRunsItsCommand)
{
    router.SetHandler(ELevel::Frame, 200, [&] { log += "200 "; });
    QAction* action = router.Action(200);
    EXPECT_EQ(router.Action(200), action);
    EXPECT_EQ(CCommandRouter::IdOf(action), 200);
    action->trigger();
    EXPECT_EQ(log, "200 ");
}

TEST_F(RouterFixture, UpdateHandlersEnableAndCheck)
{
    bool enabled = false;
    router.SetHandler(ELevel::Frame, 300, [] {});
    router.SetUpdateHandler(ELevel::Frame, 300, [&](SCmdUI& ui) {
        ui.Enable(enabled);
        ui.SetCheck(enabled);
    });
    QAction* action = router.Action(300);
    EXPECT_FALSE(action->isEnabled());
    EXPECT_FALSE(action->isChecked());

    enabled = true;
    router.UpdateAll();
    EXPECT_TRUE(action->isEnabled());
    EXPECT_TRUE(action->isCheckable());
    EXPECT_TRUE(action->isChecked());

    // The view's update handler comes first.
    view.SetUpdateHandler(300, [](SCmdUI& ui) { ui.Enable(false); });
    router.Update(300);
    EXPECT_FALSE(action->isEnabled());
    EXPECT_FALSE(action->isChecked());

    // A disabled command is not run when its action is triggered anyway.
    int runs = 0;
    router.SetHandler(ELevel::Frame, 300, [&] { ++runs; });
    action->setEnabled(true);
    action->trigger();
    EXPECT_EQ(runs, 0);
    EXPECT_FALSE(action->isEnabled());
}

TEST_F(RouterFixture, CommandsWithoutHandlersAreDisabledNotHidden)
{
    QAction* action = router.Action(400);
    EXPECT_FALSE(action->isEnabled());
    EXPECT_TRUE(action->isVisible());
    EXPECT_FALSE(router.Query(400).enabled);

    view.SetHandler(400, [] {});
    EXPECT_TRUE(router.Query(400).enabled);
    activeView = nullptr;
    EXPECT_FALSE(router.Query(400).enabled); // the view's command left with the view
}

TEST_F(RouterFixture, RangesServeRunTimeIds)
{
    int opened = -1;
    router.Table(ELevel::Frame).SetRangeHandler(34000, 44000, [&](int id) { opened = id - 34000; });
    router.Table(ELevel::Frame).SetRangeUpdateHandler(44001, 44256, [](SCmdUI& ui) { ui.SetCheck(ui.id == 44002); });
    router.Table(ELevel::Frame).SetRangeHandler(44001, 44256, [](int) {});

    EXPECT_TRUE(router.Execute(34005));
    EXPECT_EQ(opened, 5);
    EXPECT_FALSE(router.Execute(44257));
    EXPECT_TRUE(router.Query(44000).enabled);
    EXPECT_EQ(router.Query(44002).checked, std::optional<bool>(true));
    EXPECT_EQ(router.Query(44003).checked, std::optional<bool>(false));
}

TEST_F(RouterFixture, AHandlerMayDropItsOwnTable)
{
    auto owned = std::make_unique<CCommandTable>();
    activeView = owned.get();
    std::string captured = "still here";
    owned->SetHandler(500, [&, captured] {
        activeView = nullptr;
        owned.reset();
        log = captured;
    });
    EXPECT_TRUE(router.Execute(500));
    EXPECT_EQ(log, "still here");
}

TEST_F(RouterFixture, KeysSeeTheCurrentStateBeforeMatching)
{
    QWidget window;
    window.resize(200, 100);
    QAction* action = router.Action(600);
    action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    router.AttachShortcuts(&window);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_FALSE(action->isEnabled());

    // The handler arrives without any menu being shown or update run.
    int runs = 0;
    router.SetHandler(ELevel::Frame, 600, [&] { ++runs; });
    QTest::keyClick(&window, Qt::Key_W, Qt::ControlModifier);
    EXPECT_EQ(runs, 1);

    router.SetUpdateHandler(ELevel::Frame, 600, [](SCmdUI& ui) { ui.Enable(false); });
    QTest::keyClick(&window, Qt::Key_W, Qt::ControlModifier);
    EXPECT_EQ(runs, 1);
}

TEST_F(RouterFixture, CommandKeysWinInTextFieldsButEditingKeysStayThere)
{
    QWidget window;
    auto* edit = new QLineEdit(QStringLiteral("abc"), &window);
    // The field's redo (Ctrl+Y or Ctrl+Shift+Z) is a key that it binds but
    // a person does not expect to edit with.
    const QKeyCombination redo = QKeySequence::keyBindings(QKeySequence::Redo).value(0)[0];
    const QKeyCombination copy = QKeySequence::keyBindings(QKeySequence::Copy).value(0)[0];
    const struct {
        int id;
        QKeyCombination key;
        bool commandRuns;
    } cases[] = {{801, redo, true}, {802, copy, false}, {803, Qt::Key_End, false}, {804, Qt::Key_Left, false}};
    for (const auto& c : cases) {
        router.SetHandler(ELevel::Frame, c.id, [&, id = c.id] { log += std::to_string(id) + " "; });
        router.Action(c.id)->setShortcut(QKeySequence(c.key));
    }
    router.AttachShortcuts(&window);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    edit->setFocus();
    edit->selectAll();
    for (const auto& c : cases) {
        log.clear();
        QTest::keyClick(window.windowHandle(), c.key.key(), c.key.keyboardModifiers());
        EXPECT_EQ(log, c.commandRuns ? std::to_string(c.id) + " " : std::string()) << c.id;
    }
    // The field did its own: copied, then moved to the end and one back.
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("abc"));
    EXPECT_EQ(edit->cursorPosition(), 2);
    EXPECT_EQ(edit->text(), QStringLiteral("abc"));
}

TEST_F(RouterFixture, AliasesFollowTheCommand)
{
    QObject owner;
    router.SetHandler(ELevel::App, 700, [&] { log += "700 "; });
    QAction* alias = router.AddAlias(700, "other", &owner);
    EXPECT_EQ(CCommandRouter::IdOf(alias), 700);
    EXPECT_TRUE(alias->isEnabled());
    router.Table(ELevel::App).Clear();
    router.UpdateAll();
    EXPECT_FALSE(alias->isEnabled());
    router.SetHandler(ELevel::App, 700, [&] { log += "700 "; });
    router.Update(700);
    alias->trigger();
    EXPECT_EQ(log, "700 ");
}
