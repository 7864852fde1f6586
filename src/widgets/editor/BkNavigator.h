#pragma once

#include <QStringList>
#include <functional>
#include <memory>
#include <string>

namespace nimbra {
class CShell;
}

namespace nimbra::editor {

// What navigating a URL did.
enum class ENavigation {
    Off,      // DblClkNavi is off, or the URL is empty
    Shell,    // handed to the desktop's handler
    Sent,     // handed to the running browser
    Started,  // the browser was started with it
    Refused,  // it would read as an option of the browser
    Failed,   // the handler or the program could not be started
};

// Opens URLs in the browser of this data directory, or through the shell.
class CBkNavigator {
public:
    using Starter = std::function<bool(const QString& program, const QStringList& arguments)>;

    CBkNavigator();
    ~CBkNavigator();

    // Replace the shell and how programs are started (tests record instead).
    void SetShell(std::unique_ptr<CShell> shell);
    void SetStarter(Starter starter) { m_start = std::move(starter); }

    ENavigation Navigate(const std::string& url, bool dblClkNavi, bool naviShell);
    // Brings the browser forward, or starts it.
    ENavigation ShowBrowser();

    static QString BrowserProgram();

private:
    std::unique_ptr<CShell> m_shell;
    Starter m_start;
};

} // namespace nimbra::editor
