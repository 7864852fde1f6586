#include "ui/CommandIds.h"
#include "frames/browser/FrameDDEHost.h"
#include "frames/browser/TaskTray.h"
#include "frames/browser/WindowCommands.h"
#include "platform/Ipc.h"

#include "TestBrowser.h"
#include "widgets/bars/StatusBar.h"

#include <QCursor>
#include <QImage>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTest>
#include <QToolBar>

using namespace nimbra;

namespace {

// Puts a tray host in place, or takes it away, for one test.
class TrayHost : testenv::HandlerGuard<std::function<bool()>> {
public:
    explicit TrayHost(bool present) : HandlerGuard(CTaskTray::SetAvailability, [present] { return present; }) {}
};

class WindowTest : public testenv::BrowserTest {
protected:
    // Start-up as the program runs it: the stored placement, then the show.
    void StartPlaced()
    {
        m_app->SetBrowserFactory(testenv::FakeBrowserFactory());
        ASSERT_TRUE(m_app->CreateMainFrame());
        m_frame = m_app->MainFrame();
        Window()->ShowAtStartup(Window()->RestorePlacement(SW_SHOWNORMAL));
        m_frame->EndStartup();
        QCoreApplication::processEvents();
    }
    // Exit, then a new start on the same data directory.
    void Restart()
    {
        m_frame->close();
        m_app.reset();
        SetUp();
        StartPlaced();
    }
    CWindowCommands* Window() const { return m_frame->Window(); }
    std::string WindowPos() const { return m_app->Settings().GetString(EKey::WindowPos); }
    QRect Screen() const { return m_frame->screen()->geometry(); }
    // How many of the menu bar, the address bar and the status bar show.
    int ShownBars() const
    {
        const QWidget* bars[] = {m_frame->MainMenu(), m_frame->findChild<QWidget*>("AddressBarPane"), m_frame->StatusBar()};
        return int(std::count_if(std::begin(bars), std::end(bars), [](const QWidget* bar) { return bar->isVisible(); }));
    }

    const std::string kPlacement = "0,1,-1,-1,-1,-1,40,50,840,650";
};

} // namespace

TEST_F(WindowTest, RestartsKeepThePlacement)
{
    m_app->Settings().WriteString(EKey::WindowPos, kPlacement);
    StartPlaced();
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(m_frame->geometry(), QRect(40, 50, 800, 600)) << "start " << i;
        Restart();
        ASSERT_EQ(WindowPos(), kPlacement) << "exit " << i;
    }

    // Maximised: flags 2 and show command 3, the normal rectangle kept.
    m_frame->showMaximized();
    Restart();
    EXPECT_EQ(WindowPos(), "2,3,-1,-1,-1,-1,40,50,840,650");
    EXPECT_TRUE(m_frame->isMaximized());
    EXPECT_EQ(m_frame->normalGeometry(), QRect(40, 50, 800, 600));

    // Minimised, from maximised and from normal: the next start shows it.
    m_frame->showMinimized();
    Restart();
    EXPECT_EQ(WindowPos(), "2,3,-1,-1,-1,-1,40,50,840,650");
    EXPECT_TRUE(m_frame->isVisible() && m_frame->isMaximized() && !m_frame->isMinimized());
    m_frame->showNormal();
    m_frame->setGeometry(40, 50, 800, 600); // what a window manager does
    m_frame->showMinimized();
    Restart();
    EXPECT_EQ(WindowPos(), kPlacement);
    EXPECT_TRUE(m_frame->isVisible() && !m_frame->isMinimized());
}

TEST_F(WindowTest, FullScreenHidesTheBarsAndComesBackAcrossARestart)
{
    for (const bool maximised : {false, true}) {
        m_app->Settings().WriteString(EKey::WindowPos, kPlacement);
        m_app->Settings().WriteInt(EKey::FullScreenMode, 0);
        StartPlaced();
        if (maximised)
            m_frame->showMaximized();
        ASSERT_EQ(ShownBars(), 3);
        m_frame->ExecuteCommand(ID_FULL_SCREEN);
        EXPECT_TRUE(m_frame->isFullScreen());
        EXPECT_TRUE(testenv::SpinUntil([this] { return m_frame->geometry() == Screen(); }, 2000));
        EXPECT_EQ(ShownBars(), 0);

        // The pointer at the top edge shows the top bars until it leaves them.
        QCursor::setPos(Screen().center().x(), Screen().top());
        EXPECT_TRUE(testenv::SpinUntil([this] { return m_frame->MainMenu()->isVisible(); }, 2000));
        QCursor::setPos(Screen().center());
        EXPECT_TRUE(testenv::SpinUntil([this] { return !m_frame->MainMenu()->isVisible(); }, 2000));

        Restart();
        EXPECT_EQ(m_app->Settings().GetInt(EKey::FullScreenMode), 1);
        EXPECT_EQ(WindowPos(), maximised ? "2,3,-1,-1,-1,-1,40,50,840,650" : kPlacement);
        EXPECT_TRUE(m_frame->isFullScreen());
        EXPECT_EQ(ShownBars(), 0);

        ASSERT_TRUE(QTest::qWaitForWindowActive(m_frame));
        QTest::keyClick(m_frame, Qt::Key_F11);
        EXPECT_FALSE(m_frame->isFullScreen());
        EXPECT_EQ(m_frame->isMaximized(), maximised);
        EXPECT_EQ(m_frame->normalGeometry(), QRect(40, 50, 800, 600));
        EXPECT_EQ(ShownBars(), 3);
        m_frame->close();
        m_app.reset();
        SetUp();
    }
}

TEST_F(WindowTest, TrayHidesAndRestoresTheWindow)
{
    TrayHost tray(true);
    m_app->Settings().WriteString(EKey::WindowPos, kPlacement);
    Option("TaskMinimizeIn", 1);
    StartPlaced();
    CFrameDDEHost dde(*m_frame);

    // Minimising a maximised window sends it to the tray, still maximised.
    m_frame->showMaximized();
    m_frame->showMinimized();
    ASSERT_TRUE(testenv::SpinUntil([this] { return Window()->IsInTray(); }, 2000));
    EXPECT_FALSE(m_frame->isVisible());
    EXPECT_TRUE(Window()->Tray().Icon()->isVisible());
    EXPECT_TRUE(dde.IsHiddenInTray());

    // The icon's left click brings it back.
    Q_EMIT Window()->Tray().Icon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(Window()->IsInTray());
    EXPECT_TRUE(m_frame->isVisible() && m_frame->isMaximized() && !m_frame->isMinimized());
    EXPECT_FALSE(Window()->Tray().Icon()->isVisible());

    // The DDE activation and the activation message restore it too.
    m_frame->ExecuteCommand(ID_TASK_TRAY);
    dde.PostRestoreFromTray();
    EXPECT_TRUE(testenv::SpinUntil([this] { return m_frame->isVisible(); }, 2000));
    m_frame->ExecuteCommand(ID_TASK_TRAY);
    m_frame->OnWindowMessage({ipc::kMsgActivateWindow, 0, {}});
    EXPECT_TRUE(m_frame->isVisible());

    // An exit from the tray writes the placement taken when it was entered.
    m_frame->ExecuteCommand(ID_TASK_TRAY);
    m_frame->close();
    EXPECT_EQ(WindowPos(), "2,3,-1,-1,-1,-1,40,50,840,650");
    EXPECT_FALSE(Window()->IsInTray());
    EXPECT_FALSE(Window()->Tray().Icon()->isVisible());
}

TEST_F(WindowTest, WithoutATrayNothingHides)
{
    TrayHost tray(false);
    Option("TaskMinimizeIn", 1);
    StartPlaced();
    m_frame->ExecuteCommand(ID_TASK_TRAY);
    EXPECT_TRUE(m_frame->isVisible());
    m_frame->showMinimized();
    EXPECT_TRUE(testenv::SpinUntil([&] { return m_frame->isMinimized(); }, 2000));
    QCoreApplication::processEvents();
    EXPECT_TRUE(m_frame->isMinimized());
    EXPECT_FALSE(Window()->IsInTray());
}

TEST_F(WindowTest, TrayIconAndTip)
{
    const std::string png = File("icon.png");
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(QString::fromStdString(png)));
    const std::string big = File("big.png");
    testenv::WriteFile(big, testenv::ReadFile(png) + std::string(4 * 1024 * 1024, '\0'));
    testenv::WriteFile(File("binary.ico"), std::string("\x00\x01\x02\xff\xfe", 5));

    struct Case {
        int taskIcon;
        std::string path;
        int index;
        std::string icon;
        std::string tip;
    };
    const Case cases[] = {
        {0, png, 0, "", "good bye :)"},
        {1, "", 0, "", "mine"},
        {1, png, 0, png, "mine"},
        {1, png, 1, "", "mine"},
        {1, big, 0, "", "mine"},
        {1, File("binary.ico"), 0, "", "mine"},
        {1, m_home.path().toStdString(), 0, "", "mine"},
        {1, File("missing.ico"), 0, "", "mine"},
    };
    for (const Case& c : cases) {
        CFrameSettings settings;
        settings.TaskIcon = c.taskIcon;
        settings.TaskIconPath = c.path;
        settings.TaskIconIndex = c.index;
        settings.TaskToolTip = "mine";
        const STrayLook look = TrayLook(settings);
        EXPECT_EQ(look.iconPath, c.icon) << c.path;
        EXPECT_EQ(look.tip, c.tip) << c.path;
    }
}

TEST_F(WindowTest, BarLayoutSurvivesARestart)
{
    StartPlaced();
    auto bar = [this](const char* name) { return m_frame->findChild<QWidget*>(name); };
    auto place = [&](const char* name) { return QRect(bar(name)->mapTo(m_frame, QPoint()), bar(name)->size()); };
    auto goButton = [this] { return m_frame->findChild<QWidget*>("GoButton"); };
    // Built in: the address bar, the link bar and the tab bar a row each.
    ASSERT_TRUE(testenv::SpinUntil([&] { return place("TabBarBand").top() > 0; }, 2000));
    EXPECT_LT(place("AddressBarPane").bottom(), place("LinkBar").top());
    EXPECT_LT(place("LinkBar").bottom(), place("TabBarBand").top());

    // Hidden bars and the hidden move button stay hidden.
    m_frame->ExecuteCommand(ID_VIEW_LINK_BAR);
    m_frame->ExecuteCommand(ID_TAB_BAR);
    m_frame->ExecuteCommand(ID_VIEW_GO_BUTTON);
    Restart();
    EXPECT_FALSE(bar("LinkBar")->isVisible());
    EXPECT_FALSE(bar("TabBarBand")->isVisible());
    EXPECT_FALSE(goButton()->isVisible());
    EXPECT_TRUE(bar("AddressBarPane")->isVisible());

    // After a docking mode changed, the exit leaves no layout file.
    Window()->ResetBarState();
    Restart();
    EXPECT_FALSE(QFile::exists(QString::fromStdString(File("barstate.ini"))));
    EXPECT_TRUE(bar("LinkBar")->isVisible());
    EXPECT_TRUE(goButton()->isVisible());
}
