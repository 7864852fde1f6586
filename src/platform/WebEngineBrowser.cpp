#include "platform/WebEngineBrowser.h"

#include "platform/DialogLoops.h"
#include "platform/EngineHistoryStream.h"
#include "platform/HistoryDb.h"
#include "platform/InputFile.h"
#include "platform/MessageBox.h"
#include "platform/PageDialogs.h"
#include "platform/Text.h"
#include "platform/UrlText.h"

#include <QAuthenticator>
#include <QDataStream>
#include <QIODevice>
#include <QFileInfo>
#include <QWebEngineCertificateError>
#include <QWebEngineContextMenuRequest>
#include <set>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <QWebEngineDownloadRequest>
#include <QWebEngineFindTextResult>
#include <QWebEngineHistory>
#include <QWebEngineHistoryItem>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

namespace nimbra {

namespace {

constexpr double kZoomFactors[] = {0.7, 0.85, 1.0, 1.25, 1.5};

constexpr char kSpecialFileText[] = "通常のファイルではないため開けません (FIFO やデバイスなど)。";
constexpr char kDebugUrlText[] = "ブラウザ エンジンのデバッグ用のアドレスのため開けません (chrome://hang など)。";



// Reads the document and its frames (same-origin frames only; for others
// just their address) in one pass.
const char kReadDocumentScript[] = R"JS(
(function () {
  function bodySize(d) {
    try {
      var n = d.defaultView.performance.getEntriesByType('navigation')[0];
      return n && n.decodedBodySize > 0 ? n.decodedBodySize : -1;
    } catch (x) { return -1; }
  }
  function read(d, depth) {
    var r = { url: d.URL, title: d.title, body: d.body ? d.body.innerHTML : '', type: d.contentType || '',
              size: bodySize(d), elements: [], frames: [] };
    var all = d.getElementsByTagName('*');
    for (var i = 0; i < all.length; i++) {
      var e = all[i], o = { tag: e.tagName };
      if (e.tagName === 'A' && e.href) { o.href = e.href; o.text = e.textContent; }
      if (e.tagName === 'IMG' && e.src) o.src = e.src;
      r.elements.push(o);
    }
    if (depth < 16) {
      var frames = d.querySelectorAll('frame,iframe');
      for (var j = 0; j < frames.length; j++) {
        var inner = null;
        try { inner = frames[j].contentDocument; } catch (x) { inner = null; }
        r.frames.push(inner ? read(inner, depth + 1)
                            : { url: frames[j].src || '', title: '', body: '', readable: false, elements: [], frames: [] });
      }
    }
    return r;
  }
  return JSON.stringify(read(document, 0));
})()
)JS";

// The anchors and images of the document and its frames, in document order
// and depth first, each as "a" or "i" followed by the absolute URL. Stops
// keeping URLs at the bounds (%1 URLs, %2 characters each, %4 characters in
// all, frames %3 deep) and counts what it left out.
const char kReadLinksScript[] = R"JS(
(function (maxUrls, maxLength, maxDepth, maxChars) {
  var kept = 0, chars = 0, left = 0;
  var xhtml = 'http://www.w3.org/1999/xhtml';
  function read(d, depth) {
    var r = { url: d.URL, title: d.title, links: [], frames: [] };
    var all = d.querySelectorAll('a,img');
    for (var i = 0; i < all.length; i++) {
      var e = all[i];
      if (e.namespaceURI !== xhtml) continue;
      var image = e.localName === 'img';
      var u = image ? e.src : e.href;
      if (!u) continue;
      if (kept >= maxUrls || u.length > maxLength || chars + u.length > maxChars) { left++; continue; }
      kept++;
      chars += u.length;
      r.links.push((image ? 'i' : 'a') + u);
    }
    if (depth < maxDepth) {
      var frames = d.querySelectorAll('frame,iframe');
      for (var j = 0; j < frames.length; j++) {
        var inner = null;
        try { inner = frames[j].contentDocument; } catch (x) { inner = null; }
        r.frames.push(inner ? read(inner, depth + 1)
                            : { url: frames[j].src || '', title: '', readable: false, links: [], frames: [] });
      }
    }
    return r;
  }
  var top = read(document, 0);
  return JSON.stringify({ document: top, leftOut: left });
})(%1, %2, %3, %4)
)JS";

// Characters of URLs a links read keeps in all.
constexpr size_t kMaxLinkChars = 16u << 20;

// Replaces the body of the document reached through the frame indices.
const char kWriteBodyScript[] = R"JS(
(function (path, html) {
  var d = document;
  for (var i = 0; i < path.length && d; i++) {
    var f = d.querySelectorAll('frame,iframe')[path[i]];
    try { d = f ? f.contentDocument : null; } catch (x) { d = null; }
  }
  if (d && d.body) d.body.innerHTML = html;
})(%1, %2)
)JS";

SPageDocument DocumentFromJson(const QJsonObject& o)
{
    SPageDocument d;
    d.url = FromQ(o.value("url").toString());
    d.title = FromQ(o.value("title").toString());
    d.bodyHtml = FromQ(o.value("body").toString());
    d.contentType = FromQ(o.value("type").toString());
    d.size = o.value("size").toVariant().toLongLong();
    if (d.size <= 0)
        d.size = -1;
    for (const QJsonValue& v : o.value("elements").toArray()) {
        const QJsonObject e = v.toObject();
        d.elements.push_back({FromQ(e.value("tag").toString()), FromQ(e.value("href").toString()),
                              FromQ(e.value("src").toString()), FromQ(e.value("text").toString())});
    }
    for (const QJsonValue& v : o.value("links").toArray()) {
        const QString link = v.toString();
        const std::string url = FromQ(link.mid(1));
        if (link.startsWith('i'))
            d.elements.push_back({"IMG", {}, url, {}});
        else
            d.elements.push_back({"A", url, {}, {}});
    }
    for (const QJsonValue& v : o.value("frames").toArray())
        d.frames.push_back(DocumentFromJson(v.toObject()));
    d.readable = o.value("readable").toBool(true);
    return d;
}

// Working offline: every tab refuses network requests.
std::atomic<bool> g_workOffline{false};

bool g_refusePageDialogs = false;

// The rules that refuse requests and hide elements, for every tab; set and
// read on the user-interface thread only.
std::shared_ptr<const IRequestFilter>& RequestFilter()
{
    static std::shared_ptr<const IRequestFilter> filter;
    return filter;
}

ERequestType RequestTypeOf(QWebEngineUrlRequestInfo::ResourceType type)
{
    switch (type) {
    case QWebEngineUrlRequestInfo::ResourceTypeSubFrame:
        return ERequestType::Subdocument;
    case QWebEngineUrlRequestInfo::ResourceTypeScript:
        return ERequestType::Script;
    case QWebEngineUrlRequestInfo::ResourceTypeImage:
    case QWebEngineUrlRequestInfo::ResourceTypeFavicon:
        return ERequestType::Image;
    case QWebEngineUrlRequestInfo::ResourceTypeStylesheet:
        return ERequestType::Stylesheet;
    case QWebEngineUrlRequestInfo::ResourceTypeXhr:
        return ERequestType::Xhr;
    default:
        return ERequestType::Other;
    }
}

constexpr char kHidingScriptName[] = "nimbra-hiding";

CWebEngineBrowser::ProxyAuthHandler& ProxyAuth()
{
    static CWebEngineBrowser::ProxyAuthHandler handler;
    return handler;
}

// Hosts whose invalid certificate the user let through in this run; the
// engine remembers the exception as long as it runs.
std::set<QString>& BrokenCertificateHosts()
{
    static std::set<QString> hosts;
    return hosts;
}

// One engine download behind the download interface.
class CEngineDownload : public IDownload {
public:
    explicit CEngineDownload(QWebEngineDownloadRequest* request) : m_pRequest(request) {}
    ~CEngineDownload() override
    {
        for (auto& connection : m_connections)
            QObject::disconnect(connection);
    }

    std::string Url() const override { return m_pRequest ? FromQ(m_pRequest->url().toString()) : std::string(); }
    std::string SuggestedName() const override
    {
        return m_pRequest ? FromQ(m_pRequest->suggestedFileName()) : std::string();
    }
    long long ReceivedBytes() const override { return m_pRequest ? m_pRequest->receivedBytes() : 0; }
    long long TotalBytes() const override
    {
        const qint64 total = m_pRequest ? m_pRequest->totalBytes() : -1;
        return total > 0 ? total : -1;
    }
    EState State() const override
    {
        if (!m_pRequest)
            return EState::Failed;
        switch (m_pRequest->state()) {
        case QWebEngineDownloadRequest::DownloadRequested:
            return EState::Requested;
        case QWebEngineDownloadRequest::DownloadInProgress:
            return EState::Running;
        case QWebEngineDownloadRequest::DownloadCompleted:
            return EState::Completed;
        case QWebEngineDownloadRequest::DownloadCancelled:
            return EState::Cancelled;
        default:
            return EState::Failed;
        }
    }
    void Start(const std::string& path) override
    {
        if (!m_pRequest || m_pRequest->state() != QWebEngineDownloadRequest::DownloadRequested)
            return;
        const QFileInfo file(ToQ(path));
        m_pRequest->setDownloadDirectory(file.absolutePath());
        m_pRequest->setDownloadFileName(file.fileName());
        m_pRequest->accept();
    }
    void Cancel() override
    {
        if (m_pRequest)
            m_pRequest->cancel();
    }
    void SetObserver(std::function<void()> changed) override
    {
        for (auto& connection : m_connections)
            QObject::disconnect(connection);
        if (!m_pRequest || !changed)
            return;
        m_connections[0] = QObject::connect(m_pRequest, &QWebEngineDownloadRequest::receivedBytesChanged, changed);
        m_connections[1] = QObject::connect(m_pRequest, &QWebEngineDownloadRequest::stateChanged, changed);
        m_connections[2] = QObject::connect(m_pRequest, &QWebEngineDownloadRequest::totalBytesChanged, changed);
    }

private:
    QPointer<QWebEngineDownloadRequest> m_pRequest;
    QMetaObject::Connection m_connections[3];
};

bool IsNetworkScheme(const QString& scheme)
{
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("ftp")
           || scheme == QLatin1String("ws") || scheme == QLatin1String("wss");
}

} // namespace


bool RefuseEngineDebugUrl(std::string_view url, QWidget* window)
{
    if (!IsEngineDebugUrl(url))
        return false;
    ShowNotice(window, QString::fromUtf8(kDebugUrlText), QMessageBox::Warning);
    return true;
}

void CWebEngineBrowser::SetRequestFilter(std::shared_ptr<const IRequestFilter> filter)
{
    RequestFilter() = std::move(filter);
}

void CWebEngineBrowser::SetWorkOffline(bool offline)
{
    g_workOffline.store(offline);
}

void CWebEngineBrowser::RefusePageDialogs(bool refuse)
{
    g_refusePageDialogs = refuse;
}

bool CWebEngineBrowser::DialogsRefused() const
{
    return g_refusePageDialogs || m_bDialogsRefused;
}

void CWebEngineBrowser::SetProxyAuthHandler(ProxyAuthHandler handler)
{
    ProxyAuth() = std::move(handler);
}

// Blocks network requests while offline, images, media and scripts as the
// tab's download-control flags say, and what the request filter refuses.
// The engine calls it on the UI thread for every request, which waits
// meanwhile: it reads a few flags and asks the filter's index.
class CWebEngineBrowser::CInterceptor : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    std::atomic<unsigned> flags{DLCTL_DLIMAGES | DLCTL_VIDEOS | DLCTL_BGSOUNDS};

    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        if (g_workOffline.load(std::memory_order_relaxed) && IsNetworkScheme(info.requestUrl().scheme())) {
            info.block(true);
            return;
        }
        if (FlagsRefuse(info))
            info.block(true);
        else
            FilterRefuses(info);
    }

private:
    // The tab's download-control flags refuse the request.
    bool FlagsRefuse(const QWebEngineUrlRequestInfo& info) const
    {
        const unsigned f = flags.load(std::memory_order_relaxed);
        switch (info.resourceType()) {
        case QWebEngineUrlRequestInfo::ResourceTypeImage:
        case QWebEngineUrlRequestInfo::ResourceTypeFavicon:
            return !(f & DLCTL_DLIMAGES);
        case QWebEngineUrlRequestInfo::ResourceTypeMedia:
            return !MediaAllowed(f, info.requestUrl());
        case QWebEngineUrlRequestInfo::ResourceTypeScript:
            return f & DLCTL_NO_SCRIPTS;
        default:
            return false;
        }
    }

    // The request filter refuses the request: it is blocked and its tab
    // told, once the engine's call has returned. The page itself is the
    // person's choice and never refused here.
    bool FilterRefuses(QWebEngineUrlRequestInfo& info)
    {
        const std::shared_ptr<const IRequestFilter>& filter = RequestFilter();
        const QUrl& url = info.requestUrl();
        if (!filter || info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeMainFrame
            || !IsNetworkScheme(url.scheme()))
            return false;
        const QByteArray text = url.toEncoded();
        const QByteArray host = url.host(QUrl::EncodeUnicode).toUtf8();
        const QByteArray page = info.firstPartyUrl().host(QUrl::EncodeUnicode).toUtf8();
        const SRequest request{std::string_view(text.constData(), size_t(text.size())),
                               std::string_view(host.constData(), size_t(host.size())),
                               std::string_view(page.constData(), size_t(page.size())),
                               RequestTypeOf(info.resourceType())};
        if (!filter->Blocks(request))
            return false;
        info.block(true);
        auto* owner = static_cast<CWebEngineBrowser*>(parent());
        QMetaObject::invokeMethod(
            owner,
            [owner, blocked = text.toStdString()] {
                if (owner->m_pEvents && !owner->m_bClosing)
                    owner->m_pEvents->RequestBlocked(blocked);
            },
            Qt::QueuedConnection);
        return true;
    }

    // Media requests do not say whether they are sound or video: the file
    // extension tells, and an unknown one needs both allowed.
    static bool MediaAllowed(unsigned f, const QUrl& url)
    {
        switch (MediaKindOfUrl(FromQ(url.toString()))) {
        case EMediaKind::Sound:
            return f & DLCTL_BGSOUNDS;
        case EMediaKind::Video:
            return f & DLCTL_VIDEOS;
        default:
            return (f & DLCTL_BGSOUNDS) && (f & DLCTL_VIDEOS);
        }
    }
};

class CWebEngineBrowser::CPage : public QWebEnginePage {
public:
    CPage(QWebEngineProfile* profile, CWebEngineBrowser* owner) : QWebEnginePage(profile, owner), m_pOwner(owner) {}
    CWebEngineBrowser* Owner() const { return m_pOwner; }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override
    {
        return m_pOwner->OnAcceptNavigation(url, type, isMainFrame);
    }
    // Each dialog is a child of the tab's view and runs its loop for it.
    void javaScriptAlert(const QUrl& origin, const QString& msg) override
    {
        if (m_pOwner->m_bSilent || m_pOwner->DialogsRefused())
            return;
        CDialogLoopScope scope(m_pOwner->m_pView);
        ShowPageAlert(m_pOwner->m_pView, origin, msg);
    }
    bool javaScriptConfirm(const QUrl& origin, const QString& msg) override
    {
        if (m_pOwner->DialogsRefused())
            return false;
        CDialogLoopScope scope(m_pOwner->m_pView);
        return AskPageConfirm(m_pOwner->m_pView, origin, msg);
    }
    bool javaScriptPrompt(const QUrl& origin, const QString& msg, const QString& value, QString* result) override
    {
        if (m_pOwner->DialogsRefused())
            return false;
        CDialogLoopScope scope(m_pOwner->m_pView);
        return AskPagePrompt(m_pOwner->m_pView, origin, msg, value, result);
    }
    QStringList chooseFiles(FileSelectionMode mode, const QStringList& oldFiles, const QStringList& types) override
    {
        if (m_pOwner->DialogsRefused())
            return {};
        CDialogLoopScope scope(m_pOwner->m_pView);
        return QWebEnginePage::chooseFiles(mode, oldFiles, types);
    }

private:
    CWebEngineBrowser* m_pOwner;
};

CWebEngineBrowser::CWebEngineBrowser(QWebEngineProfile* profile, QWidget* parent, std::string homePage)
    : QObject(parent), m_strHomePage(std::move(homePage))
{
    m_pView = new QWebEngineView(parent);
    m_pPage = new CPage(profile, this);
    m_pInterceptor = new CInterceptor(this);
    m_pPage->setUrlRequestInterceptor(m_pInterceptor);
    m_pView->setPage(m_pPage);

    connect(m_pPage, &QWebEnginePage::loadStarted, this, &CWebEngineBrowser::OnLoadStarted);
    connect(m_pPage, &QWebEnginePage::loadProgress, this, &CWebEngineBrowser::OnLoadProgress);
    connect(m_pPage, &QWebEnginePage::urlChanged, this, &CWebEngineBrowser::OnUrlChanged);
    connect(m_pPage, &QWebEnginePage::titleChanged, this, &CWebEngineBrowser::OnTitleChanged);
    connect(m_pPage, &QWebEnginePage::loadFinished, this, &CWebEngineBrowser::OnLoadFinished);
    connect(m_pPage, &QWebEnginePage::linkHovered, this, [this](const QString& url) {
        if (m_pEvents)
            m_pEvents->StatusTextChange(FromQ(url));
    });
    connect(m_pPage, &QWebEnginePage::proxyAuthenticationRequired, this,
            [](const QUrl&, QAuthenticator* authenticator, const QString& proxyHost) {
                if (ProxyAuth())
                    ProxyAuth()(proxyHost, authenticator);
            });
    // A page's new window; unlike createWindow, the request tells whether a
    // click or key of the person caused it.
    connect(m_pPage, &QWebEnginePage::newWindowRequested, this, &CWebEngineBrowser::OnNewWindowRequested);
    connect(m_pPage, &QWebEnginePage::windowCloseRequested, this, [this] {
        if (m_pEvents)
            m_pEvents->WindowClosing();
    });

    m_pView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_pView, &QWidget::customContextMenuRequested, this, &CWebEngineBrowser::OnContextMenu);
    connect(m_pPage, &QWebEnginePage::authenticationRequired, this, &CWebEngineBrowser::OnAuthentication);
    connect(m_pPage, &QWebEnginePage::certificateError, this, [this](const QWebEngineCertificateError& error) {
        const QString host = error.url().host();
        if (!error.isOverridable() || !m_pEvents)
            return; // refused: the engine shows its error page
        QWebEngineCertificateError held = error;
        held.defer();
        QPointer<CWebEngineBrowser> self(this);
        m_pEvents->CertificateError(FromQ(error.url().toString()), FromQ(error.description()),
                                    [self, held, host](bool proceed) mutable {
                                        if (!Answers(self))
                                            return;
                                        if (proceed) {
                                            BrokenCertificateHosts().insert(host);
                                            held.acceptCertificate();
                                        } else {
                                            held.rejectCertificate();
                                        }
                                    });
    });
    connect(m_pPage, &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus status, int exitCode) {
                if (status == QWebEnginePage::NormalTerminationStatus || !m_pEvents)
                    return;
                m_bLoading = false;
                m_nav = ENav::Idle;
                m_pEvents->RendererGone(status == QWebEnginePage::CrashedTerminationStatus ? ERendererEnd::Crashed
                                        : status == QWebEnginePage::KilledTerminationStatus
                                            ? ERendererEnd::Killed
                                            : ERendererEnd::Abnormal,
                                        exitCode);
            });
    connect(m_pPage, &QWebEnginePage::featurePermissionRequested, this,
            [this](const QUrl& origin, QWebEnginePage::Feature feature) {
                EPermission what;
                switch (feature) {
                case QWebEnginePage::Notifications:
                    what = EPermission::Notifications;
                    break;
                case QWebEnginePage::Geolocation:
                    what = EPermission::Location;
                    break;
                case QWebEnginePage::MediaAudioCapture:
                    what = EPermission::Microphone;
                    break;
                case QWebEnginePage::MediaVideoCapture:
                    what = EPermission::Camera;
                    break;
                case QWebEnginePage::MediaAudioVideoCapture:
                    what = EPermission::CameraAndMicrophone;
                    break;
                case QWebEnginePage::MouseLock:
                    what = EPermission::PointerLock;
                    break;
                default:
                    what = EPermission::ScreenSharing;
                    break;
                }
                auto answer = [page = QPointer<QWebEnginePage>(m_pPage), origin, feature](bool grant) {
                    if (page)
                        page->setFeaturePermission(origin, feature,
                                                   grant ? QWebEnginePage::PermissionGrantedByUser
                                                         : QWebEnginePage::PermissionDeniedByUser);
                };
                if (m_pEvents)
                    m_pEvents->PermissionRequested(FromQ(origin.toString()), what, answer);
                else
                    answer(false);
            });
}

CWebEngineBrowser::~CWebEngineBrowser()
{
    m_pEvents = nullptr;
    m_bClosing = true;
    // The page must go before the view that shows it.
    m_pView->setPage(nullptr);
    delete m_pPage;
    delete m_pView;
}

QWebEnginePage* CWebEngineBrowser::Page() const
{
    return m_pPage;
}

QWidget* CWebEngineBrowser::Widget()
{
    return m_pView;
}

void CWebEngineBrowser::OnDownloadRequested(QWebEngineDownloadRequest* download)
{
    if (download->isSavePageDownload()) {
        download->accept();
        return;
    }
    auto* page = dynamic_cast<CPage*>(download->page());
    if (!page || (page->Owner()->m_dwDLControl & DLCTL_NO_DLACTIVEXCTLS) || !page->Owner()->m_pEvents) {
        download->cancel();
        return;
    }
    // The engine cancels a download that is not accepted before this
    // returns: the tab asks where to save it now.
    page->Owner()->m_pEvents->DownloadRequested(std::make_shared<CEngineDownload>(download));
}

bool CWebEngineBrowser::HasPage() const
{
    return m_pPage->history()->count() > 0;
}

void CWebEngineBrowser::Navigate(const std::string& url, int, const std::string&)
{
    // The engine acts on its debug addresses before any navigation is asked
    // about. (It refuses them to pages: "Not allowed to load local resource".)
    const std::string target = UrlFromText(url);
    if (RefuseEngineDebugUrl(target, m_pView->window()))
        return;
    m_pPage->load(QUrl(ToQ(target)));
}

// The page's Back and Forward actions do nothing here; the history moves.
void CWebEngineBrowser::GoBack()
{
    m_bHistoryMove = m_pPage->history()->canGoBack();
    m_pPage->history()->back();
}

void CWebEngineBrowser::GoForward()
{
    m_bHistoryMove = m_pPage->history()->canGoForward();
    m_pPage->history()->forward();
}

void CWebEngineBrowser::GoHome()
{
    Navigate(m_strHomePage, 0, {});
}

void CWebEngineBrowser::Refresh(int level)
{
    m_bHistoryMove = true;
    m_pPage->triggerAction(level == 3 ? QWebEnginePage::ReloadAndBypassCache : QWebEnginePage::Reload);
}

void CWebEngineBrowser::Stop()
{
    m_pPage->triggerAction(QWebEnginePage::Stop);
}

std::string CWebEngineBrowser::LocationURL() const
{
    const QUrl url = m_pPage->url();
    return url.isEmpty() ? std::string() : FromQ(url.toString());
}

std::string CWebEngineBrowser::LocationName() const
{
    return FromQ(m_pPage->title());
}

int CWebEngineBrowser::GetZoom() const
{
    return m_nZoom;
}

void CWebEngineBrowser::SetZoom(int size)
{
    if (size < 0 || size > 4)
        return;
    m_nZoom = size;
    m_pPage->setZoomFactor(kZoomFactors[size]);
}

void CWebEngineBrowser::SetDownloadControl(unsigned flags)
{
    // Java (DLCTL_NO_JAVA) has no counterpart in the engine: it is kept and
    // shown, and acts on nothing.
    m_dwDLControl = flags;
    m_pInterceptor->flags.store(flags);
    QWebEngineSettings* settings = m_pPage->settings();
    settings->setAttribute(QWebEngineSettings::AutoLoadImages, (flags & DLCTL_DLIMAGES) != 0);
    settings->setAttribute(QWebEngineSettings::JavascriptEnabled, (flags & DLCTL_NO_SCRIPTS) == 0);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, (flags & DLCTL_NO_RUNACTIVEXCTLS) == 0);
    // Script pop-ups reach the browser only with this on; the view decides.
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, true);
}

void CWebEngineBrowser::SetHostUI(unsigned, unsigned)
{
    // Of the host UI flags only "accept drops on the page" has a meaning
    // here, and it follows from having a host UI record at all.
    m_pView->setAcceptDrops(true);
}

void CWebEngineBrowser::ReadDocument(std::function<void(const SPageDocument&)> done)
{
    QPointer<CWebEngineBrowser> self(this);
    m_pPage->runJavaScript(QString::fromLatin1(kReadDocumentScript), QWebEngineScript::ApplicationWorld,
                           [self, done = std::move(done)](const QVariant& result) {
                               if (!Answers(self))
                                   return;
                               const QJsonObject o = QJsonDocument::fromJson(result.toString().toUtf8()).object();
                               done(DocumentFromJson(o));
                           });
}

void CWebEngineBrowser::ReadLinks(std::function<void(const SPageDocument&, size_t leftOut)> done)
{
    QPointer<CWebEngineBrowser> self(this);
    const QString script = QString::fromLatin1(kReadLinksScript)
                               .arg(kMaxPageLinks)
                               .arg(kMaxLinkLength)
                               .arg(kMaxFrameDepth)
                               .arg(kMaxLinkChars);
    m_pPage->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                           [self, done = std::move(done)](const QVariant& result) {
                               if (!Answers(self))
                                   return;
                               const QJsonObject o = QJsonDocument::fromJson(result.toString().toUtf8()).object();
                               done(DocumentFromJson(o.value("document").toObject()),
                                    size_t(o.value("leftOut").toDouble()));
                           });
}

void CWebEngineBrowser::WriteBodyHtml(const std::string& html)
{
    WriteFrameBodyHtml({}, html);
}

void CWebEngineBrowser::WriteFrameBodyHtml(const std::vector<int>& framePath, const std::string& html)
{
    QJsonArray path;
    for (int index : framePath)
        path.append(index);
    const QByteArray pathJson = QJsonDocument(path).toJson(QJsonDocument::Compact);
    // A JSON string inside an array is a valid script literal.
    const QByteArray htmlJson = QJsonDocument(QJsonArray{ToQ(html)}).toJson(QJsonDocument::Compact);
    const QString script = QString::fromLatin1(kWriteBodyScript)
                               .arg(QString::fromUtf8(pathJson), QString::fromUtf8(htmlJson) + QStringLiteral("[0]"));
    m_pPage->runJavaScript(script, QWebEngineScript::ApplicationWorld);
}

std::vector<std::string> CWebEngineBrowser::BackList() const
{
    std::vector<std::string> titles;
    const QList<QWebEngineHistoryItem> items = m_pPage->history()->backItems(m_pPage->history()->count());
    for (auto it = items.rbegin(); it != items.rend(); ++it)
        titles.push_back(FromQ(it->title().isEmpty() ? it->url().toString() : it->title()));
    return titles;
}

std::vector<std::string> CWebEngineBrowser::ForwardList() const
{
    std::vector<std::string> titles;
    for (const QWebEngineHistoryItem& item : m_pPage->history()->forwardItems(m_pPage->history()->count()))
        titles.push_back(FromQ(item.title().isEmpty() ? item.url().toString() : item.title()));
    return titles;
}

void CWebEngineBrowser::GoToHistory(int offset)
{
    QWebEngineHistory* history = m_pPage->history();
    const QWebEngineHistoryItem item = history->itemAt(history->currentItemIndex() + offset);
    if (offset != 0 && item.isValid()) {
        m_bHistoryMove = true;
        history->goToItem(item);
    }
}

namespace {

QByteArray SaveEngineHistory(const QWebEngineHistory& history)
{
    QByteArray stream;
    QDataStream out(&stream, QIODevice::WriteOnly);
    out << history;
    return stream;
}

} // namespace

STabHistory CWebEngineBrowser::History() const
{
    // A stream this adapter cannot read keeps the tab's URL alone.
    return ReadEngineHistory(SaveEngineHistory(*m_pPage->history())).value_or(STabHistory());
}

bool CWebEngineBrowser::RestoreHistory(const STabHistory& history)
{
    const QByteArray stream = WriteEngineHistory(history);
    if (stream.isEmpty() || EngineHistoryLayout(SaveEngineHistory(*m_pPage->history())) != EngineHistoryLayout(stream))
        return false;
    // The engine replaces the page's history and loads its current page.
    m_bHistoryMove = true;
    QDataStream in(stream);
    in >> *m_pPage->history();
    return true;
}

void CWebEngineBrowser::FindText(const std::string& text, bool backward, bool matchCase,
                                 std::function<void(int active, int count)> done)
{
    QWebEnginePage::FindFlags flags;
    if (backward)
        flags |= QWebEnginePage::FindBackward;
    if (matchCase)
        flags |= QWebEnginePage::FindCaseSensitively;
    QPointer<CWebEngineBrowser> self(this);
    m_pPage->findText(ToQ(text), flags, [self, done = std::move(done)](const QWebEngineFindTextResult& result) {
        if (self && done)
            done(result.activeMatch(), result.numberOfMatches());
    });
}

void CWebEngineBrowser::SavePage(const std::string& path, bool complete, std::function<void(bool ok)> done)
{
    // The save arrives as a download of the profile (accepted there); its
    // end tells whether the file was written.
    disconnect(m_saveRequest);
    m_saveRequest = connect(m_pPage->profile(), &QWebEngineProfile::downloadRequested, this,
                            [this, done](QWebEngineDownloadRequest* download) {
                                if (!download->isSavePageDownload() || download->page() != m_pPage)
                                    return;
                                disconnect(m_saveRequest);
                                auto report = [download, done] {
                                    if (download->isFinished() && done)
                                        done(download->state() == QWebEngineDownloadRequest::DownloadCompleted);
                                };
                                connect(download, &QWebEngineDownloadRequest::isFinishedChanged, this, report);
                                if (download->isFinished())
                                    report();
                            });
    m_pPage->save(ToQ(path), complete ? QWebEngineDownloadRequest::CompleteHtmlSaveFormat
                                      : QWebEngineDownloadRequest::SingleHtmlSaveFormat);
}

void CWebEngineBrowser::Print(QPrinter* printer, std::function<void(bool ok)> done)
{
    disconnect(m_printFinished);
    m_printFinished = connect(m_pView, &QWebEngineView::printFinished, this, [this, done](bool ok) {
        disconnect(m_printFinished);
        if (done)
            done(ok);
    });
    m_pView->print(printer);
}

void CWebEngineBrowser::TriggerPageAction(EPageAction action)
{
    static constexpr QWebEnginePage::WebAction kActions[] = {
        QWebEnginePage::Undo,      QWebEnginePage::Redo,  QWebEnginePage::Cut,
        QWebEnginePage::Copy,      QWebEnginePage::Paste, QWebEnginePage::SelectAll,
        QWebEnginePage::CopyImageToClipboard, QWebEnginePage::DownloadLinkToDisk, QWebEnginePage::DownloadImageToDisk,
    };
    m_pPage->triggerAction(kActions[int(action)]);
}

void CWebEngineBrowser::DownloadUrl(const std::string& url)
{
    m_pPage->download(QUrl(ToQ(url)));
}

void CWebEngineBrowser::OnContextMenu(const QPoint& pos)
{
    const QWebEngineContextMenuRequest* request = m_pView->lastContextMenuRequest();
    if (!request || !m_pEvents)
        return;
    SContextMenu menu;
    menu.linkUrl = FromQ(request->linkUrl().toString());
    menu.linkText = FromQ(request->linkText());
    if (request->mediaType() == QWebEngineContextMenuRequest::MediaTypeImage)
        menu.imageUrl = FromQ(request->mediaUrl().toString());
    menu.selectedText = FromQ(request->selectedText());
    menu.editable = request->isContentEditable();
    menu.editFlags = unsigned(request->editFlags().toInt());
    m_pEvents->ContextMenu(menu, m_pView->mapToGlobal(pos));
}

void CWebEngineBrowser::OnAuthentication(const QUrl& url, QAuthenticator* authenticator)
{
    // One dialog at a time: a challenge that comes while one is open is
    // refused, so a server repeating its challenge cannot stack dialogs.
    std::string user, password;
    bool answered = false;
    if (m_pEvents && !m_bAskingLogin && !DialogsRefused()) {
        QPointer<CWebEngineBrowser> self(this);
        m_bAskingLogin = true;
        {
            CDialogLoopScope scope(m_pView);
            answered = m_pEvents->AuthenticationRequired(FromQ(url.host().isEmpty() ? url.toString() : url.host()),
                                                         FromQ(authenticator->realm()), false, user, password);
        }
        if (!Answers(self))
            return;
        m_bAskingLogin = false;
    }
    if (!answered) {
        // A null authenticator cancels: the server's own page is shown.
        *authenticator = QAuthenticator();
        return;
    }
    authenticator->setUser(ToQ(user));
    authenticator->setPassword(ToQ(password));
}

void CWebEngineBrowser::ReadSelectionText(std::function<void(const std::string&)> done)
{
    done(FromQ(m_pPage->selectedText()));
}

void CWebEngineBrowser::ReadHtml(std::function<void(const std::string&)> done)
{
    m_pPage->toHtml([self = QPointer<CWebEngineBrowser>(this), done = std::move(done)](const QString& html) {
        if (!Answers(self))
            return;
        // Only the start that can be kept is converted.
        done(std::string(CutUtf8(FromQ(html.left(qsizetype(kMaxCopyBytes))), kMaxCopyBytes)));
    });
}

bool CWebEngineBrowser::OnAcceptNavigation(const QUrl& url, int type, bool mainFrame)
{
    // The engine would wait for a FIFO or read a device without end, and
    // then could not shut down.
    if (url.isLocalFile() && IsSpecialFile(FromQ(url.toLocalFile()))) {
        m_bRefused = mainFrame;
        QTimer::singleShot(0, this, [] { ShowMessage(nullptr, QString::fromUtf8(kSpecialFileText), QMessageBox::Warning); });
        return false;
    }
    if (!m_pEvents) {
        if (mainFrame)
            ApplyHiding(url);
        return true;
    }
    const std::string text = FromQ(url.toString());
    if (!mainFrame)
        return m_pEvents->SubFrameNavigate(text);
    // A page's own location.reload() comes as an ordinary navigation to the
    // address it is on.
    const QUrl current = m_pPage->url().adjusted(QUrl::RemoveFragment);
    const bool history = m_bHistoryMove || type == QWebEnginePage::NavigationTypeReload
                         || type == QWebEnginePage::NavigationTypeBackForward
                         || (!current.isEmpty() && url.adjusted(QUrl::RemoveFragment) == current);
    m_bHistoryMove = false;
    if (!m_pEvents->BeforeNavigate2(text, history ? NAVFLAG_HISTORY : 0, {})) {
        m_bRefused = true;
        return false;
    }
    m_bRefused = false;
    m_nav = ENav::Started;
    ApplyHiding(url);
    m_pEvents->DownloadBegin();
    return true;
}

void CWebEngineBrowser::ApplyHiding(const QUrl& url)
{
    QWebEngineScriptCollection& scripts = m_pPage->scripts();
    for (const QWebEngineScript& old : scripts.find(QString::fromLatin1(kHidingScriptName)))
        scripts.remove(old);
    const std::shared_ptr<const IRequestFilter>& filter = RequestFilter();
    if (!filter || !IsNetworkScheme(url.scheme()))
        return;
    const std::string css = filter->HidingStyleSheet(FromQ(url.host(QUrl::EncodeUnicode)));
    if (css.empty())
        return;
    // The style sheet goes in as the document is made, before the page's
    // own scripts run; the text is handed over as a JSON string.
    const QByteArray text = QJsonDocument(QJsonArray{ToQ(css)}).toJson(QJsonDocument::Compact);
    QWebEngineScript script;
    script.setName(QString::fromLatin1(kHidingScriptName));
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::ApplicationWorld);
    script.setRunsOnSubFrames(false);
    script.setSourceCode(QStringLiteral("(function () {"
                                        "  var add = function () {"
                                        "    var root = document.head || document.documentElement;"
                                        "    if (!root) return false;"
                                        "    var style = document.createElement('style');"
                                        "    style.id = 'nimbra-hiding';"
                                        "    style.textContent = %1[0];"
                                        "    root.appendChild(style);"
                                        "    return true;"
                                        "  };"
                                        "  if (!add()) document.addEventListener('DOMContentLoaded', add);"
                                        "})();")
                             .arg(QString::fromUtf8(text)));
    scripts.insert(script);
}

void CWebEngineBrowser::OnNewWindowRequested(QWebEngineNewWindowRequest& request)
{
    // A request not opened anywhere is dropped.
    if (!m_pEvents)
        return;
    if (auto* target = dynamic_cast<CWebEngineBrowser*>(m_pEvents->NewWindow2(request.isUserInitiated())))
        request.openIn(target->m_pPage);
}

bool CWebEngineBrowser::EnsureStarted()
{
    if (m_nav != ENav::Idle || !m_pEvents)
        return m_nav != ENav::Idle;
    if (m_bRefused)
        return false;
    const std::string url = LocationURL().empty() ? FromQ(m_pPage->requestedUrl().toString()) : LocationURL();
    const int flags = m_bHistoryMove ? NAVFLAG_HISTORY : 0;
    m_bHistoryMove = false;
    if (!m_pEvents->BeforeNavigate2(url, flags, {})) {
        m_bRefused = true;
        m_pPage->triggerAction(QWebEnginePage::Stop);
        return false;
    }
    m_nav = ENav::Started;
    m_pEvents->DownloadBegin();
    return true;
}

void CWebEngineBrowser::EnsureCommitted()
{
    if (m_nav != ENav::Started || !m_pEvents)
        return;
    m_nav = ENav::Committed;
    const std::string url = LocationURL();
    m_pEvents->NavigateComplete2(url);
    int lock = SECURELOCK_SET_UNSECURE;
    if (m_pPage->url().scheme() == QLatin1String("https"))
        lock = BrokenCertificateHosts().count(m_pPage->url().host()) ? SECURELOCK_SET_BROKEN
                                                                     : SECURELOCK_SET_SECURE128BIT;
    m_pEvents->SetSecureLockIcon(lock);
}

void CWebEngineBrowser::OnLoadStarted()
{
    m_bLoading = true;
}

void CWebEngineBrowser::OnLoadProgress(int progress)
{
    if (!m_bLoading || !EnsureStarted())
        return;
    m_pEvents->ProgressChange(progress, 100);
}

void CWebEngineBrowser::ReportHistoryState()
{
    if (!m_pEvents)
        return;
    m_pEvents->CommandStateChange(1, m_pPage->history()->canGoForward());
    if (m_pEvents)
        m_pEvents->CommandStateChange(2, m_pPage->history()->canGoBack());
}

void CWebEngineBrowser::OnUrlChanged(const QUrl&)
{
    if (!m_pEvents)
        return;
    if (!m_bLoading) {
        // A move inside the document (a fragment, history.pushState) loads
        // nothing but ends like a completed navigation.
        const std::string url = LocationURL();
        m_pEvents->NavigateComplete2(url);
        if (m_bHasDocument && m_pEvents) {
            m_pEvents->DocumentComplete(url);
            ReportHistoryState();
        }
        return;
    }
    if (EnsureStarted())
        EnsureCommitted();
}

void CWebEngineBrowser::OnTitleChanged(const QString& title)
{
    if (!m_pEvents)
        return;
    if (m_bLoading && EnsureStarted())
        EnsureCommitted();
    m_pEvents->TitleChange(FromQ(title));
}

void CWebEngineBrowser::OnLoadFinished(bool ok)
{
    m_bLoading = false;
    m_bLoadFailed = !ok;
    m_bHistoryMove = false;
    if (!m_pEvents)
        return;
    if (m_bRefused) {
        // The refused navigation ends here; the page stays as it was.
        m_bRefused = false;
        m_nav = ENav::Idle;
        return;
    }
    if (m_nav == ENav::Idle && !EnsureStarted()) {
        m_bRefused = false;
        return;
    }
    EnsureCommitted();
    m_nav = ENav::Idle;
    m_bHasDocument = true;
    m_pEvents->DownloadComplete();
    m_pEvents->DocumentComplete(LocationURL());
    ReportHistoryState();
}

} // namespace nimbra
