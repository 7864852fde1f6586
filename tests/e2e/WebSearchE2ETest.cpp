#include "BrowserProcess.h"
#include "HttpServer.h"
#include "TestBrowser.h"
#include "XServer.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using testenv::SpinUntil;

namespace {

constexpr int kLoadMs = 60000;

// The real browser on an X server of the test's own, driven by key presses.
class WebSearchE2E : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_x.Display().isEmpty());
        m_server.AddHtml("/page", "Search start");
        m_browser.SetEnv("QT_QPA_PLATFORM", "xcb");
        m_browser.SetEnv("DISPLAY", m_x.Display());
    }

    std::string File() const { return m_home.path().toStdString() + "/search.ini"; }

    std::string Engine(int index, const std::string& title, int enable, const std::string& path) const
    {
        return "[SearchItem" + std::to_string(index) + "]\r\nEnable=" + std::to_string(enable) + "\r\nTitle=" + title +
               "\r\nUrlF=" + m_server.Url(QString::fromStdString(path)).toStdString() + "?q=\r\nUrlB=&e=1\r\n";
    }

    // xdotool on the test's X server.
    void Xdo(const QStringList& args) { ASSERT_EQ(m_x.Xdo(args), 0) << args.join(' ').toStdString(); }
    void Keys(const QString& keys) { Xdo({"key", "--delay", "80", keys}); }

    bool Requested(const QString& path) const { return m_server.Requests().contains(path); }

    testenv::XServer m_x;
    testenv::HttpServer m_server;
    QTemporaryDir m_home;
    testenv::Browser m_browser{m_home.path()};
};

} // namespace

TEST_F(WebSearchE2E, FormAndQuickSearchOpenTheCheckedEnginesAndTheListIsSavedAtExit)
{
    testenv::WriteFile(File(), "[Options]\r\nItemCount=3\r\n" + Engine(0, "エー", 1, "/a") +
                                   Engine(1, "ビー", 0, "/b") + Engine(2, "シー", 1, "/c"));
    m_browser.Start({m_server.Url("/page")});
    ASSERT_TRUE(m_server.WaitForRequest("/page", kLoadMs));
    unsigned window = 0;
    ASSERT_TRUE(
        SpinUntil([&] { return (window = m_x.FindWindow("Search start")) != 0 && m_x.IsViewable(window); }, kLoadMs));
    Xdo({"windowfocus", "--sync", QString::number(window)});

    // The pane with the focus in its text, a typed text and Enter: two new tabs.
    Keys("ctrl+4");
    Xdo({"type", "--delay", "80", "AT&T x"});
    Keys("Return");
    EXPECT_TRUE(
        SpinUntil([&] { return Requested("/a?q=AT%26T%20x&e=1") && Requested("/c?q=AT%26T%20x&e=1"); }, kLoadMs))
        << m_server.Requests().join(' ').toStdString();

    // A text copied from the form, then the quick search.
    Keys("alt+m");
    Keys("shift+Tab");
    Keys("ctrl+a");
    Xdo({"type", "--delay", "80", "C++ 100%"});
    Keys("ctrl+a");
    Keys("ctrl+c");
    Keys("ctrl+shift+f");
    EXPECT_TRUE(SpinUntil(
        [&] { return Requested("/a?q=C%2B%2B%20100%25&e=1") && Requested("/c?q=C%2B%2B%20100%25&e=1"); }, kLoadMs))
        << m_server.Requests().join(' ').toStdString();
    for (const QString& request : m_server.Requests())
        EXPECT_FALSE(request.startsWith("/b")) << request.toStdString();

    // Inverted checks, kept by the exit.
    Keys("alt+m");
    Keys("ctrl+x");
    ASSERT_TRUE(m_browser.Terminate());
    EXPECT_EQ(testenv::ReadFile(File()), "[Options]\r\nItemCount=3\r\nEnable=1\r\nColumnSize=300\r\n" +
                                             Engine(0, "エー", 0, "/a") + Engine(1, "ビー", 1, "/b") +
                                             Engine(2, "シー", 0, "/c"));
}
