#pragma once

#include "platform/WebBrowser.h"

#include <QObject>
#include <QPointer>
#include <atomic>
#include <memory>
#include <string_view>

class QAuthenticator;
class QWebEngineProfile;
class QWebEngineView;
class QWebEnginePage;
class QWebEngineDownloadRequest;
class QWebEngineNewWindowRequest;

namespace nimbra {

// True for an address of the engine's debug pages (IsEngineDebugUrl) given
// by the person (typed, from another program, a home page, a bookmark),
// which is then refused with a message over `window` that does not wait.
bool RefuseEngineDebugUrl(std::string_view url, QWidget* window);

// One tab's engine on Qt WebEngine. Qt reports a load as loadStarted, the
// navigation decision, loadProgress, urlChanged, titleChanged and
// loadFinished; this adapter turns them into the tab's events in their
// fixed order, and reports nothing more for a navigation it was told to
// cancel.
class CWebEngineBrowser : public QObject, public IWebBrowser {
    Q_OBJECT
public:
    CWebEngineBrowser(QWebEngineProfile* profile, QWidget* parent, std::string homePage);
    ~CWebEngineBrowser() override;

    QWebEnginePage* Page() const;
    QWebEngineView* View() const { return m_pView; }

    // Refuses downloads that pages of tabs without ActiveX download start.
    static void OnDownloadRequested(QWebEngineDownloadRequest* download);
    // The rules every tab's requests and pages go through; nullptr: none.
    static void SetRequestFilter(std::shared_ptr<const IRequestFilter> filter);
    // While offline every tab refuses requests to the network.
    static void SetWorkOffline(bool offline);
    // While refused, page dialogs return at once as if cancelled (the
    // browser is closing).
    static void RefusePageDialogs(bool refuse);
    // Answers a proxy that asks a tab for a user name and password (fills
    // the authenticator, or leaves it empty to refuse); empty: refuse.
    using ProxyAuthHandler = std::function<void(const QString& proxyHost, QAuthenticator* authenticator)>;
    static void SetProxyAuthHandler(ProxyAuthHandler handler);

    QWidget* Widget() override;
    void SetEvents(IWebBrowserEvents* events) override { m_pEvents = events; }

    void Navigate(const std::string& url, int flags, const std::string& targetFrame) override;
    void GoBack() override;
    void GoForward() override;
    void GoHome() override;
    void Refresh(int level) override;
    void Stop() override;

    std::string LocationURL() const override;
    std::string LocationName() const override;
    bool Busy() const override { return m_bLoading; }
    bool HasPage() const override;
    bool LoadFailed() const override { return m_bLoadFailed; }

    void SetRegisterAsBrowser(bool on) override { m_bRegisterAsBrowser = on; }
    void SetSilent(bool on) override { m_bSilent = on; }
    int GetZoom() const override;
    void SetZoom(int size) override;
    void SetDownloadControl(unsigned flags) override;
    unsigned DownloadControl() const override { return m_dwDLControl; }
    void SetHostUI(unsigned flags, unsigned doubleClick) override;

    void ReadDocument(std::function<void(const SPageDocument&)> done) override;
    void ReadLinks(std::function<void(const SPageDocument&, size_t leftOut)> done) override;
    void WriteBodyHtml(const std::string& html) override;
    void WriteFrameBodyHtml(const std::vector<int>& framePath, const std::string& html) override;
    void ReadSelectionText(std::function<void(const std::string&)> done) override;
    void ReadHtml(std::function<void(const std::string&)> done) override;

    std::vector<std::string> BackList() const override;
    std::vector<std::string> ForwardList() const override;
    void GoToHistory(int offset) override;
    STabHistory History() const override;
    bool RestoreHistory(const STabHistory& history) override;
    void FindText(const std::string& text, bool backward, bool matchCase,
                  std::function<void(int active, int count)> done) override;
    void SavePage(const std::string& path, bool complete, std::function<void(bool ok)> done) override;
    void Print(QPrinter* printer, std::function<void(bool ok)> done) override;
    void TriggerPageAction(EPageAction action) override;
    void DownloadUrl(const std::string& url) override;
    void RefuseDialogs() override { m_bDialogsRefused = true; }

private:

    class CPage;
    class CInterceptor;
    enum class ENav { Idle, Started, Committed };

    // The page answers its pending script and HTML reads while it is being
    // destroyed: callers hear nothing once this browser is going.
    static bool Answers(const QPointer<CWebEngineBrowser>& self) { return self && !self->m_bClosing; }
    bool DialogsRefused() const;

    bool OnAcceptNavigation(const QUrl& url, int type, bool mainFrame);
    // The request filter's style sheet for the page at `url`, put in as its
    // document is made.
    void ApplyHiding(const QUrl& url);
    void OnNewWindowRequested(QWebEngineNewWindowRequest& request);
    void OnLoadStarted();
    void OnLoadProgress(int progress);
    void OnUrlChanged(const QUrl& url);
    void OnTitleChanged(const QString& title);
    void OnLoadFinished(bool ok);
    // Delivers BeforeNavigate2 and DownloadBegin for a load that never asked
    // for a decision (about:blank, history moves inside the engine).
    bool EnsureStarted();
    void EnsureCommitted();
    // CommandStateChange for forward and back.
    void ReportHistoryState();
    void OnContextMenu(const QPoint& pos);
    void OnAuthentication(const QUrl& url, QAuthenticator* authenticator);

    IWebBrowserEvents* m_pEvents = nullptr;
    QWebEngineView* m_pView = nullptr;
    CPage* m_pPage = nullptr;
    CInterceptor* m_pInterceptor = nullptr;
    std::string m_strHomePage;
    ENav m_nav = ENav::Idle;
    bool m_bLoading = false;
    bool m_bLoadFailed = false;
    bool m_bClosing = false;
    bool m_bRefused = false;
    // A document has been loaded, so address changes without a load are
    // moves inside it.
    bool m_bHasDocument = false;
    // The tab's own reload or history move, until its load asks about the
    // navigation (a reload of about:blank asks nothing).
    bool m_bHistoryMove = false;
    bool m_bRegisterAsBrowser = false;
    bool m_bSilent = false;
    unsigned m_dwDLControl = DLCTL_DLIMAGES | DLCTL_VIDEOS | DLCTL_BGSOUNDS;
    int m_nZoom = 2;
    // A login dialog of this page is open.
    bool m_bAskingLogin = false;
    // The tab is going: its page's dialogs are answered as cancelled.
    bool m_bDialogsRefused = false;

    // Waits for the download of the last SavePage.
    QMetaObject::Connection m_saveRequest;
    QMetaObject::Connection m_printFinished;
};

} // namespace nimbra
