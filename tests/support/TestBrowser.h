#pragma once

// A browser in the test process: the application object with its own data
// directory, the main frame created offscreen, and scripted engines unless
// a test asks for the real one.
#include "app/NimbraApp.h"
#include "frames/browser/ViewManager.h"
#include "frames/browser/MainFrame.h"
#include "widgets/bookmarks/BookmarkCommands.h"
#include "platform/Shell.h"
#include "data/session/ListFile.h"
#include "widgets/view/NimbraView.h"

#include "FakeWebBrowser.h"
#include "TestEnv.h"

#include <QMenu>
#include <QWebEngineProfile>
#include <gtest/gtest.h>

namespace testenv {

// A menu after a person opened it and closed it again: menus that are
// filled when they first show hold their items from then on.
inline QMenu* Shown(QMenu* menu)
{
    menu->popup(QPoint(0, 0));
    menu->hide();
    return menu;
}

// Records what the browser asks the shell to start.
class RecordingShell : public nimbra::CShell {
public:
    struct Log {
        std::vector<std::string> opened;
        std::vector<std::pair<std::string, std::vector<std::string>>> executed;
    };
    explicit RecordingShell(Log* log) : m_log(log) {}
    bool OpenDefault(const std::string& target) override
    {
        m_log->opened.push_back(target);
        return true;
    }
    bool Execute(const std::string& program, const std::vector<std::string>& arguments) override
    {
        m_log->executed.emplace_back(program, arguments);
        return true;
    }

private:
    Log* m_log;
};

class BrowserTest : public ::testing::Test {
protected:
    // Fake engines unless a test says otherwise before Start().
    bool m_bRealEngine = false;

    void SetUp() override { NewApp(); }
    void NewApp()
    {
        m_app = std::make_unique<nimbra::CNimbraApp>();
        m_app->SetShell(std::make_unique<RecordingShell>(&m_shell));
        m_app->InitPaths();
    }
    void TearDown() override
    {
        // Logic tests run without the engine: nothing may start its profile.
        if (m_app && !m_bRealEngine) {
            EXPECT_EQ(m_app->findChild<QWebEngineProfile*>(), nullptr) << "a test of the scripted engine started the web engine";
        }
        m_app.reset();
        FakeWebBrowser::Titles().clear();
    }

    void Option(const char* key, int value) { m_app->Settings().WriteInt("Options", key, value); }
    void Option(const char* key, const std::string& value) { m_app->Settings().WriteString("Options", key, value); }
    void BlockUrls(const nimbra::UrlList& patterns)
    {
        nimbra::WriteListFile("Close URL List", m_app->CloseUrlPath(), patterns);
    }
    void BlockTitles(const nimbra::UrlList& patterns)
    {
        nimbra::WriteListFile("Close Title List", m_app->CloseTitlePath(), patterns);
    }

    nimbra::CMainFrame* Start()
    {
        if (!m_bRealEngine)
            m_app->SetBrowserFactory(FakeBrowserFactory());
        EXPECT_TRUE(m_app->CreateMainFrame());
        m_frame = m_app->MainFrame();
        m_frame->show();
        m_frame->EndStartup();
        // The bookmark file is read off the UI thread at start.
        EXPECT_TRUE(SpinUntil(
            [this] {
                const nimbra::CBookmarkCommands* bookmarks = nimbra::BookmarkCommandsOf(*m_frame);
                return !bookmarks || !bookmarks->Loading();
            },
            20000));
        return m_frame;
    }

    // The next start of the program, on the same files.
    nimbra::CMainFrame* Restart()
    {
        m_frame->close();
        m_app.reset();
        NewApp();
        return Start();
    }

    nimbra::CViewManager* Tabs() const { return m_frame->ViewManager(); }

    // Opens `url` in a new tab and waits for its document to complete.
    nimbra::CNimbraView* OpenAndWait(const std::string& url, int ms = 20000)
    {
        nimbra::CNimbraView* view = m_app->OpenUrl(url);
        EXPECT_NE(view, nullptr);
        if (!view)
            return nullptr;
        bool done = false;
        QObject::connect(view, &nimbra::CNimbraView::DocumentCompleted, view, [&done] { done = true; });
        EXPECT_TRUE(SpinUntil([&] { return done; }, ms)) << url;
        QObject::disconnect(view, &nimbra::CNimbraView::DocumentCompleted, view, nullptr);
        return view;
    }
    static FakeWebBrowser* Fake(nimbra::CNimbraView* view) { return FakeWebBrowser::Of(view->Browser()); }
    std::string File(const std::string& name) const { return m_home.file(name); }

    ScopedHome m_home;
    RecordingShell::Log m_shell;
    std::unique_ptr<nimbra::CNimbraApp> m_app;
    nimbra::CMainFrame* m_frame = nullptr;
};

// A browser test on the real engine.
class EngineTest : public BrowserTest {
protected:
    EngineTest() { m_bRealEngine = true; }
};

} // namespace testenv
