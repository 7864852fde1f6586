#pragma once

#include <memory>
#include <string>

class QWebEngineProfile;
class QWidget;

namespace nimbra {

class CNimbraView;
class CSettings;
class CShell;
class IWebBrowser;

// What the browser frame, its dialogs and the commands of its subsystems
// need of the application: the settings store, the paths of the data
// model, opening URLs in new tabs, the desktop's programs, the engine's
// profile and each tab's engine. The application
// hands itself to the frame when it makes it.
class IBrowserHost {
public:
    virtual ~IBrowserHost() = default;

    virtual CSettings& Settings() = 0;
    // Opens files and folders with the desktop's programs.
    virtual CShell& Shell() = 0;

    // Paths of the data model.
    virtual const std::string& ProgramDir() const = 0;
    virtual const std::string& IniPath() const = 0;
    virtual const std::string& StartupPath() const = 0;
    virtual const std::string& CloseUrlPath() const = 0;
    virtual const std::string& AddressLogPath() const = 0;
    virtual const std::string& CloseTitlePath() const = 0;
    virtual const std::string& RecentClosedPath() const = 0;
    virtual std::string OpenTabsLogPath() const = 0;
    // The running save of the open tabs, beside the log; removed at exit.
    virtual std::string OpenTabsRecoveryPath() const = 0;
    // The options dialog moved the bookmark file.
    virtual void SetBookmarkPath(std::string path) = 0;

    // The URL or path a .url or .lnk file points to; other text unchanged.
    virtual std::string ResolveShortcut(const std::string& text) const = 0;
    // Mail links and URL list files; true when the URL was handled.
    virtual bool OpenSpecialUrl(const std::string& url) = 0;
    // Opens `url` in a new tab; the new tab's view, or nullptr.
    virtual CNimbraView* OpenUrl(const std::string& url, int navigateFlags = 0, const std::string& targetFrame = {},
                                 int goHome = 0, int focusAfter = 0) = 0;
    virtual bool LaunchMailer(const std::string& url) = 0;
    virtual void ShowAboutDialog(QWidget* parent) = 0;

    // The engine's profile, made on first use.
    virtual QWebEngineProfile* Profile() = 0;
    // The profile if it was made; nullptr before.
    virtual QWebEngineProfile* ExistingProfile() const = 0;
    // The engine of a new tab.
    virtual std::unique_ptr<IWebBrowser> CreateBrowser(QWidget* parent) = 0;
};

} // namespace nimbra
