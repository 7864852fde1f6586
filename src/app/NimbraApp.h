#pragma once

#include "data/settings/Settings.h"
#include "frames/browser/BrowserHost.h"
#include "platform/Ipc.h"
#include "platform/Shell.h"
#include "platform/WebBrowser.h"

#include <QObject>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

class QWebEngineProfile;

namespace nimbra {

class CMainFrame;
class CNimbraView;

// The application object: paths of the data model, single-instance start-up
// and hand-over, opening URLs in new tabs, shortcut and special-URL handling.
class CNimbraApp : public QObject, public IBrowserHost {
    Q_OBJECT
public:
    CNimbraApp();
    ~CNimbraApp() override;

    static CNimbraApp* Instance();

    // Start-up. False when another instance runs (the arguments were handed
    // over to it) or the main frame could not be created.
    bool InitInstance(const QStringList& arguments);

    // Opens `url` in a new tab; the new tab's view, or nullptr.
    CNimbraView* OpenUrl(const std::string& url, int navigateFlags = 0, const std::string& targetFrame = {},
                         int goHome = 0, int focusAfter = 0) override;

    // The URL or path a .url or .lnk file points to; other text unchanged.
    std::string ResolveShortcut(const std::string& text) const override;

    // Mail links and URL list files; true when the URL was handled.
    bool OpenSpecialUrl(const std::string& url) override;

    bool LaunchMailer(const std::string& url) override;

    void ShowAboutDialog(QWidget* parent) override;

    // Replaces the shell (tests record what would be started).
    void SetShell(std::unique_ptr<CShell> shell);
    CShell& Shell() override { return *m_shell; }

    CSettings& Settings() override { return *m_settings; }
    CMainFrame* MainFrame() const { return m_pMainFrame; }
    // The engine's profile, made and set up on first use, that is by the
    // first tab of the real engine; tests with scripted engines never make it.
    QWebEngineProfile* Profile() override;
    // The profile if it was made; nullptr before.
    QWebEngineProfile* ExistingProfile() const override { return m_pProfile; }
    // The page the engine's own go-home operation loads.
    std::string EngineHomePage() const;

    // The engine of a new tab; tests put a scripted engine in its place.
    std::unique_ptr<IWebBrowser> CreateBrowser(QWidget* parent) override;
    void SetBrowserFactory(WebBrowserFactory factory);

    // Paths of the data model.
    const std::string& ProgramDir() const override { return m_strProgramDir; }
    const std::string& IniPath() const override { return m_strIniPath; }
    const std::string& StartupPath() const override { return m_strStartupPath; }
    const std::string& CloseUrlPath() const override { return m_strCloseUrlPath; }
    const std::string& AddressLogPath() const override { return m_strAddressLogPath; }
    const std::string& CloseTitlePath() const override { return m_strCloseTitlePath; }
    const std::string& RecentClosedPath() const override { return m_strRecentClosedPath; }
    const std::string& BookmarkPath() const { return m_strBookmarkPath; }
    // The options dialog moved the bookmark file.
    void SetBookmarkPath(std::string path) override { m_strBookmarkPath = std::move(path); }
    std::string OpenTabsLogPath() const override { return m_strProgramDir + "/eaou.log"; }
    // The running save of the open tabs, beside the log; removed at exit.
    std::string OpenTabsRecoveryPath() const override { return m_strProgramDir + "/eaou-recovery.log"; }

    // Computes every path from the data directory and writes BookmarkPath on
    // the first start. Called by InitInstance; tests call it directly.
    void InitPaths();

    // Creates the main frame without the single-instance check (tests).
    bool CreateMainFrame();

    // Start-up pages: the start-up list, then the open-tabs log.
    void OpenStartupPages();

private:
    void HandOver(const QStringList& arguments);

    std::string m_strProgramDir;
    std::string m_strIniPath;
    std::string m_strStartupPath;
    std::string m_strCloseUrlPath;
    std::string m_strAddressLogPath;
    std::string m_strCloseTitlePath;
    std::string m_strRecentClosedPath;
    std::string m_strBookmarkPath;

    std::unique_ptr<ipc::CInstanceLock> m_pMutex;
    std::unique_ptr<CSettings> m_settings;
    std::unique_ptr<CShell> m_shell;
    CMainFrame* m_pMainFrame = nullptr;
    QWebEngineProfile* m_pProfile = nullptr;
    WebBrowserFactory m_browserFactory;
};

// Builds the command of the mail program from `MailerPath` and a mail URL:
// the program and its arguments, or an empty program when nothing is to
// run. The URL is always within one argument.
struct SMailerCommand {
    std::string program;
    std::vector<std::string> arguments;
};
SMailerCommand BuildMailerCommand(const std::string& mailerPath, const std::string& url);

// A command-line argument that names an existing file or folder by a
// relative path, made absolute against `workingDir`; anything else as it is.
std::string AbsoluteIfRelativePath(const std::string& argument, const std::string& workingDir);

} // namespace nimbra
