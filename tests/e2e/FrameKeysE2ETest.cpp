// The frame's keys on the real program, pressed on an X server of the test's
// own: the keys a person uses to reach the address bar, and the frame's keys
// while a text field has the focus.
#include "frames/browser/MainFrame.h"
#include "platform/Ini.h"
#include "widgets/bars/AddressCombo.h"
#include "widgets/view/NimbraView.h"

#include "BrowserProcess.h"
#include "HttpServer.h"
#include "TestBrowser.h"
#include "XServer.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cstdlib>

using namespace nimbra;
using testenv::SpinUntil;

namespace {

using namespace testenv::xk;

constexpr int kWaitMs = 60000;
constexpr unsigned kReturn = 0xff0d;
constexpr unsigned kF6 = 0xffc3;

class FrameKeysE2E : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_x.Display().isEmpty());
        for (const char* path : {"/page", "/b", "/c"})
            m_server.AddHtml(path, QStringLiteral("Keys %1").arg(QString::fromLatin1(path + 1)));
        // Ctrl+Enter on a word opens that page of the test's server.
        CIniFile ini(Ini());
        ini.WriteString("Options", "AddressAddF", m_server.Url("/").toStdString());
        ini.WriteString("Options", "AddressAddB", "");
        m_browser.SetEnv("QT_QPA_PLATFORM", "xcb");
        m_browser.SetEnv("DISPLAY", m_x.Display());
        m_browser.Start({m_server.Url("/page")});
        unsigned window = 0;
        ASSERT_TRUE(SpinUntil([&] { return (window = m_x.FindWindow("Keys page")) && m_x.IsViewable(window); }, kWaitMs));
        // The keyboard focus, which a window manager gives a new window.
        xcb_connection_t* client = m_x.OpenClient();
        xcb_set_input_focus(client, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
        std::free(xcb_get_input_focus_reply(client, xcb_get_input_focus(client), nullptr));
    }

    std::string Ini() const { return m_home.path().toStdString() + "/nimbrab.ini"; }
    // Types a word into the field with the focus and opens it with Ctrl+Enter.
    void OpenWord(unsigned letter) const
    {
        m_x.PressKeys({letter});
        m_x.PressKeys({kControlL, kReturn});
    }

    mutable testenv::XServer m_x;
    testenv::HttpServer m_server;
    QTemporaryDir m_home;
    testenv::Browser m_browser{m_home.path()};
};

} // namespace

TEST_F(FrameKeysE2E, F6FromThePageAndAltDSelectTheAddress)
{
    // The page has the focus once it has loaded; F6 there selects the
    // address, so a typed word replaces it.
    m_x.PressKeys({kF6});
    OpenWord('b');
    ASSERT_TRUE(m_server.WaitForRequest("/b", kWaitMs));
    ASSERT_TRUE(SpinUntil([this] { return m_x.FindWindow("Keys b") != 0; }, kWaitMs));

    m_x.PressKeys({kAltL, 'd'});
    OpenWord('c');
    EXPECT_TRUE(m_server.WaitForRequest("/c", kWaitMs));
    EXPECT_TRUE(m_browser.Terminate());
}

TEST_F(FrameKeysE2E, FrameKeysWinOverTheAddressField)
{
    // Ctrl+E, the field's "end of line", shows the history search (the
    // side bar's page kept at the exit).
    m_x.PressKeys({kAltL, 'd'});
    m_x.PressKeys({kControlL, 'e'});
    // Ctrl+U, the field's "delete the line", opens the URL extraction.
    m_x.PressKeys({kAltL, 'd'});
    m_x.PressKeys({kControlL, 'u'});
    // Its title "URL抽出" is stored in compound text: its Latin part is found.
    EXPECT_TRUE(SpinUntil([this] { return m_x.FindWindow("URL") != 0; }, kWaitMs));
    EXPECT_TRUE(m_browser.Terminate());
    EXPECT_EQ(CIniFile(Ini()).GetInt("Options", "NimbraBarSelTab", -1), 2);
}

namespace {

// The same keys inside the test's own process, where the moment the engine
// hands back a key the page left unused can be chosen.
class FrameKeysInProcessE2E : public testenv::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        m_server.AddHtml("/page", "Keys page");
    }
    testenv::HttpServer m_server;
};

// Notes the engine handing back an Alt press: not from the keyboard.
struct SAltWatch : QObject {
    bool handedBack = false;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress && !event->spontaneous()
            && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Alt)
            handedBack = true;
        return false;
    }
};

} // namespace

TEST_F(FrameKeysInProcessE2E, AltGoingUpAfterAltDIsNoMenuKeyWhenThePageHandsBackTheAltLate)
{
    Start();
    CNimbraView* view = OpenAndWait(m_server.Url("/page").toStdString());
    ASSERT_NE(view, nullptr);
    QWidget* surface = view->Browser()->Widget()->focusProxy();
    ASSERT_NE(surface, nullptr);
    surface->setFocus();
    ASSERT_TRUE(SpinUntil([&] { return surface->hasFocus(); }, 5000));

    // Alt goes down in the page, D (Alt+D) takes the focus to the address,
    // and only then does the engine hand back the Alt it did not use.
    SAltWatch watch;
    qApp->installEventFilter(&watch);
    QTest::keyPress(surface, Qt::Key_Alt, Qt::AltModifier);
    QTest::keyPress(surface, Qt::Key_D, Qt::AltModifier);
    QLineEdit* field = m_frame->AddressCombo()->lineEdit();
    ASSERT_TRUE(field->hasFocus());
    ASSERT_TRUE(SpinUntil([&] { return watch.handedBack; }, 5000));
    QTest::keyRelease(field, Qt::Key_D, Qt::AltModifier);
    QTest::keyRelease(field, Qt::Key_Alt, Qt::NoModifier);

    // Alt went up after D: the menu bar stays idle and the typed word goes
    // into the address.
    QTest::keyClicks(field, "c");
    EXPECT_EQ(field->text(), QStringLiteral("c"));
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_EQ(m_frame->MainMenu()->activeAction(), nullptr);
}
