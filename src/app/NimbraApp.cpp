#include "app/NimbraApp.h"

#include "app/AboutDlg.h"
#include "widgets/bars/AddressCombo.h"
#include "frames/browser/ChildFrame.h"
#include "frames/browser/MainFrame.h"
#include "frames/browser/WindowCommands.h"
#include "platform/Language.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/Shortcut.h"
#include "platform/SystemSettings.h"
#include "platform/Text.h"
#include "platform/UrlText.h"
#include "platform/WebEngineBrowser.h"
#include "platform/Wildcard.h"
#include "data/session/ListFile.h"
#include "data/session/OpenTabsLog.h"
#include "data/session/SessionCommands.h"
#include "widgets/view/NimbraView.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

#include <cstdio>

namespace nimbra {

namespace {

CNimbraApp* g_app = nullptr;

// List files being opened, so that lists naming each other open once.
std::vector<std::string> g_openingLists;

// A list-file reference as a path: "file://" dropped and the URL decoded,
// or blanks for "%20" in a plain path.
std::string ListFilePath(const std::string& text)
{
    if (StartsWithNoCase(text, "file://"))
        return FromQ(QUrl::fromPercentEncoding(QByteArray::fromStdString(text.substr(7))));
    std::string path = text;
    for (size_t at = path.find("%20"); at != std::string::npos; at = path.find("%20", at + 1))
        path.replace(at, 3, " ");
    return path;
}

std::string CanonicalPath(const std::string& path)
{
    const QFileInfo info(ToQ(path));
    const QString canonical = info.canonicalFilePath();
    return FromQ(canonical.isEmpty() ? info.absoluteFilePath() : canonical);
}

} // namespace

SMailerCommand BuildMailerCommand(const std::string& mailerPath, const std::string& url)
{
    if (mailerPath.size() < 2)
        return {};
    if (mailerPath.find('"') == std::string::npos)
        return {mailerPath, {url}};

    const size_t split = mailerPath.find(" \"");
    if (split == std::string::npos)
        return {};
    std::string program = Trim(mailerPath.substr(0, split));
    if (program.size() >= 2 && program.front() == '"' && program.back() == '"')
        program = program.substr(1, program.size() - 2);
    std::string parameters = mailerPath.substr(split + 2);
    if (!parameters.empty())
        parameters.pop_back();
    parameters = Trim(parameters);

    // The template is split into words first, so that the URL, which a page
    // controls, stays within the one word it stands in.
    const size_t colon = url.find(':');
    const std::string address = Trim(colon == std::string::npos ? std::string() : url.substr(colon + 1));
    std::vector<std::string> arguments;
    for (const QString& word : QProcess::splitCommand(ToQ(parameters))) {
        const std::string text = FromQ(word);
        std::string expanded;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '%' && i + 1 < text.size() && (text[i + 1] == 'M' || text[i + 1] == 'm')) {
                expanded += text[i + 1] == 'M' ? url : address;
                ++i;
            } else {
                expanded += text[i];
            }
        }
        arguments.push_back(std::move(expanded));
    }
    if (program.empty() || arguments.empty())
        return {};
    return {program, arguments};
}

std::string AbsoluteIfRelativePath(const std::string& argument, const std::string& workingDir)
{
    const QString text = ToQ(argument);
    if (text.isEmpty() || !QDir::isRelativePath(text))
        return argument;
    const QFileInfo file(QDir(ToQ(workingDir)), text);
    return file.exists() ? FromQ(file.absoluteFilePath()) : argument;
}

CNimbraApp::CNimbraApp() : m_shell(std::make_unique<CShell>())
{
    g_app = this;
    // Without a desktop (Xvfb, offscreen) the platform names no icon theme.
    const QString none = QStringLiteral("hicolor");
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == none)
        QIcon::setThemeName(QStringLiteral("Adwaita"));
    if (QIcon::fallbackThemeName().isEmpty() || QIcon::fallbackThemeName() == none)
        QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
}

CNimbraApp::~CNimbraApp()
{
    delete m_pMainFrame;
    m_pMainFrame = nullptr;
    if (g_app == this)
        g_app = nullptr;
}

CNimbraApp* CNimbraApp::Instance()
{
    return g_app;
}

void CNimbraApp::SetShell(std::unique_ptr<CShell> shell)
{
    m_shell = std::move(shell);
}

void CNimbraApp::InitPaths()
{
    m_strProgramDir = DataDirectory();
    m_strIniPath = m_strProgramDir + "/nimbrab.ini";
    m_strStartupPath = m_strProgramDir + "/startup.html";
    m_strCloseUrlPath = m_strProgramDir + "/close.html";
    m_strAddressLogPath = m_strProgramDir + "/log.html";
    m_strCloseTitlePath = m_strProgramDir + "/closetitle.html";
    m_strRecentClosedPath = m_strProgramDir + "/rcul.ini";
    m_settings = std::make_unique<CSettings>(m_strIniPath);
    m_strBookmarkPath = m_settings->GetString(EKey::BookmarkPath);
    if (m_strBookmarkPath.empty()) {
        m_strBookmarkPath = m_strProgramDir + "/bookmark.html";
        m_settings->WriteString(EKey::BookmarkPath, m_strBookmarkPath);
    }
}

QWebEngineProfile* CNimbraApp::Profile()
{
    if (!m_pProfile) {
        m_pProfile = new QWebEngineProfile(QStringLiteral("nimbra"), this);
        const QString engineDir = ToQ(m_strProgramDir.empty() ? DataDirectory() : m_strProgramDir) + "/engine";
        m_pProfile->setPersistentStoragePath(engineDir);
        m_pProfile->setCachePath(engineDir + "/cache");
        m_pProfile->settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, true);
        connect(m_pProfile, &QWebEngineProfile::downloadRequested, this, &CWebEngineBrowser::OnDownloadRequested);
        // The user agent for the whole process, the cookie policy.
        const std::string userAgent = m_settings ? m_settings->GetString(EKey::UserAgent) : std::string();
        if (!userAgent.empty())
            m_pProfile->setHttpUserAgent(ToQ(CutText(userAgent, 255)));
        CSystemSettings().ApplyCookiePolicy(m_pProfile);
        ApplyLanguage(m_pProfile);
    }
    return m_pProfile;
}

std::unique_ptr<IWebBrowser> CNimbraApp::CreateBrowser(QWidget* parent)
{
    if (m_browserFactory)
        return m_browserFactory(parent);
    return std::make_unique<CWebEngineBrowser>(Profile(), parent, EngineHomePage());
}

void CNimbraApp::SetBrowserFactory(WebBrowserFactory factory)
{
    m_browserFactory = std::move(factory);
}

std::string CNimbraApp::EngineHomePage() const
{
    return CSystemSettings().StartPage();
}

bool CNimbraApp::CreateMainFrame()
{
    if (!m_settings)
        InitPaths();
    m_pMainFrame = new CMainFrame(*this);
    if (!m_pMainFrame->Create()) {
        delete m_pMainFrame;
        m_pMainFrame = nullptr;
        return false;
    }
    return true;
}

bool CNimbraApp::InitInstance(const QStringList& arguments)
{
    m_pMutex = std::make_unique<ipc::CInstanceLock>(QStringLiteral("NimbraBrowseApp"), ToQ(DataDirectory()));
    if (!m_pMutex->TryLock()) {
        HandOver(arguments);
        return false;
    }
    InitPaths();
    // Without a data folder that takes writes, nothing of this run is kept;
    // that is said once, when the window is up.
    QString unwritable;
    if (!CanWriteIn(m_strProgramDir)) {
        unwritable = QStringLiteral("データ フォルダ %1 に書き込めません。設定、開いているタブ、履歴などは保存されません。")
                         .arg(ToQ(m_strProgramDir));
        std::fprintf(stderr, "nimbrab: %s\n", unwritable.toLocal8Bit().constData());
    }
    // When a page opens at start, the engine comes up first: its helper
    // processes then start while the frame is built, not after it.
    if (!m_browserFactory
        && (arguments.size() > 1 || m_settings->GetInt(EKey::StartOpenUrl) == 1
            || m_settings->GetInt(EKey::StartupLogRestor) != 0))
        Profile();
    if (!CreateMainFrame())
        return false;
    const unsigned showCmd = m_pMainFrame->Window()->RestorePlacement(SW_SHOWNORMAL);

    bool opened = false;
    const std::string workingDir = FromQ(QDir::currentPath());
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const std::string target = ResolveShortcut(AbsoluteIfRelativePath(FromQ(arguments[i]), workingDir));
        if (!target.empty()) {
            OpenUrl(target, 0, {}, 0, 1);
            opened = true;
        }
    }
    if (!opened || m_settings->GetInt(EKey::StartupParamCheck) == 0)
        OpenStartupPages();

    m_pMainFrame->Window()->ShowAtStartup(showCmd);
    m_pMainFrame->EndStartup();
    if (!unwritable.isEmpty())
        QTimer::singleShot(0, m_pMainFrame, [frame = m_pMainFrame, unwritable] {
            ShowMessage(frame, unwritable, QMessageBox::Warning);
        });
    return true;
}

void CNimbraApp::HandOver(const QStringList& arguments)
{
    const QString dir = ToQ(DataDirectory());
    if (!ipc::FindWindow(ipc::kBrowserClass, dir))
        return;
    // The running browser has a working directory of its own.
    const std::string workingDir = FromQ(QDir::currentPath());
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const std::string argument = AbsoluteIfRelativePath(TrimLeft(FromQ(arguments[i])), workingDir);
        ipc::SendWindowMessage(ipc::kBrowserClass, dir, ipc::MakeCopyData(0, argument));
    }
    ipc::PostWindowMessage(ipc::kBrowserClass, dir, {ipc::kMsgFlashWindow, 0, {}});
}

void CNimbraApp::OpenStartupPages()
{
    OpenStartupList(*this);
    if (m_settings->GetInt(EKey::StartupLogRestor) != 0)
        RestoreLog(*this, true);
}

CNimbraView* CNimbraApp::OpenUrl(const std::string& url, int navigateFlags, const std::string& targetFrame,
                                 int goHome, int focusAfter)
{
    std::string target = ResolveShortcut(url);
    bool blankOpen = false;
    const int newBlank = m_pMainFrame ? m_pMainFrame->FrameSettings().NewBlank : m_settings->GetInt(EKey::NewBlank);
    if (target.empty() && newBlank == 0) {
        target = "about:blank";
        blankOpen = true;
    }

    if (m_pMainFrame && IsScriptUrl(target)) {
        // A script runs in the active tab's page and opens no tab.
        CNimbraView* active = m_pMainFrame->ActiveView();
        if (active && !m_pMainFrame->BlockedLists().IsUrlAllowed(url, goHome).empty())
            active->Navigate(target);
        return nullptr;
    }

    CNimbraView* view = nullptr;
    if (m_pMainFrame) {
        if (m_pMainFrame->AtTabLimit())
            return nullptr;
        if (m_pMainFrame->BlockedLists().IsUrlAllowed(url, goHome).empty())
            return nullptr;
        if (OpenSpecialUrl(url))
            return nullptr;
        if (m_pMainFrame->ActiveView())
            view = m_pMainFrame->CreateNewView();
    }
    if (!view) {
        if (!m_pMainFrame)
            return nullptr;
        view = m_pMainFrame->NewDocument();
        if (!view)
            return nullptr;
        view->m_bActive = true;
    }
    const CFrameSettings& s = m_pMainFrame->FrameSettings();

    if (blankOpen && s.NewBlank == 0 && s.BlankPageActive != 0)
        view->m_bActivateOnFirstNavigate = true;

    if (goHome == 1) {
        view->SetViewTitle("Loading..");
        if (s.MyHome == 1) {
            view->Navigate(s.MyHomeUrl);
        } else {
            view->m_bNewWindowPending = true;
            view->GoHome();
        }
    } else if (!target.empty()) {
        view->SetViewTitle("Loading..");
        if (MatchWildcard("\\\\*", target) || MatchWildcard("file:/*", target) || MatchWildcard("::*", target)
            || MatchWildcard("/*", target)) {
            view->CreateTabItem("Loading..");
            view->SetViewTitle("about:blank");
            view->ResetNavigationState();
            if (s.ActiveNewTab == 1)
                m_pMainFrame->ActivateTab(CChildFrame::Of(view));
        }
        view->Navigate(target, navigateFlags | 1, targetFrame);
    }

    if (focusAfter)
        m_pMainFrame->PostFocusView();
    return view;
}

std::string CNimbraApp::ResolveShortcut(const std::string& text) const
{
    if (StartsWithNoCase(text, "htt") || StartsWithNoCase(text, "ftp"))
        return text;
    if (EndsWithNoCase(text, ".url") && FileExists(text)) {
        if (IsDirectory(text))
            return text;
        return ReadInternetShortcut(text).value_or(text);
    }
    if (EndsWithNoCase(text, ".lnk") && FileExists(text) && !IsDirectory(text))
        return ReadShellLinkTarget(text).value_or(text);
    return text;
}

bool CNimbraApp::OpenSpecialUrl(const std::string& url)
{
    if (RefuseEngineDebugUrl(url, m_pMainFrame))
        return true;
    const std::string text = TrimLeft(url);
    if (text.size() >= 7 && StartsWithNoCase(text, "mailto:")) {
        const int noEmail = m_pMainFrame ? m_pMainFrame->FrameSettings().NoEmail : m_settings->GetInt(EKey::NoEmail);
        if (noEmail != 0)
            return true;
        return LaunchMailer(text);
    }
    if (!EndsWithNoCase(text, ".nbl"))
        return false;

    const std::string path = ListFilePath(text);
    if (!FileExists(path) || IsDirectory(path))
        return false;
    const std::string self = CanonicalPath(path);
    if (std::find(g_openingLists.begin(), g_openingLists.end(), self) != g_openingLists.end())
        return true;
    UrlList entries;
    ReadListFile(path, entries);
    if (entries.empty())
        return false;

    g_openingLists.push_back(self);
    for (const std::string& entry : entries) {
        if (entry.empty())
            continue;
        const std::string entryPath = ListFilePath(entry);
        if (!entryPath.empty() && entryPath.front() == '/' && CanonicalPath(entryPath) == self)
            continue;
        OpenUrl(entry, 0, {}, 0, 0);
    }
    g_openingLists.pop_back();
    if (m_pMainFrame)
        m_pMainFrame->PostFocusView();
    return true;
}

bool CNimbraApp::LaunchMailer(const std::string& url)
{
    if (m_settings->GetInt(EKey::UseMailer) == 0) {
        m_shell->OpenDefault(url);
        return true;
    }
    const SMailerCommand command = BuildMailerCommand(m_settings->GetString(EKey::MailerPath), url);
    if (!command.program.empty())
        m_shell->Execute(command.program, command.arguments);
    return true;
}

void CNimbraApp::ShowAboutDialog(QWidget* parent)
{
    CAboutDlg dialog(m_pMainFrame ? m_pMainFrame->m_nCWC : m_settings->GetInt(EKey::CWC), parent);
    dialog.exec();
}

} // namespace nimbra
