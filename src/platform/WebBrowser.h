#pragma once

#include "platform/TabHistory.h"

#include <QPoint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QPrinter;
class QWidget;

namespace nimbra {

class IWebBrowser;

// What the page's context menu was asked on.
struct SContextMenu {
    std::string linkUrl;
    std::string linkText;
    std::string imageUrl; // an image under the pointer
    std::string selectedText;
    bool editable = false;
    unsigned editFlags = 0; // EDITFLAG_ values
};

enum : unsigned {
    EDITFLAG_UNDO = 0x1,
    EDITFLAG_REDO = 0x2,
    EDITFLAG_CUT = 0x4,
    EDITFLAG_COPY = 0x8,
    EDITFLAG_PASTE = 0x10,
    EDITFLAG_SELECT_ALL = 0x40,
};

// The engine's own operations on the page under a context menu.
enum class EPageAction { Undo, Redo, Cut, Copy, Paste, SelectAll, CopyImage, SaveLink, SaveImage };

// How a page's renderer ended.
enum class ERendererEnd { Crashed, Killed, Abnormal };

// What a page asks to use.
enum class EPermission { Notifications, Location, Camera, Microphone, CameraAndMicrophone, ScreenSharing, PointerLock };

// A file the engine offers to download. Nothing is written before Start.
class IDownload {
public:
    enum class EState { Requested, Running, Completed, Cancelled, Failed };
    virtual ~IDownload() = default;
    virtual std::string Url() const = 0;
    virtual std::string SuggestedName() const = 0;
    virtual long long ReceivedBytes() const = 0;
    virtual long long TotalBytes() const = 0; // -1 when unknown
    virtual EState State() const = 0;
    // Writes the file to `path`.
    virtual void Start(const std::string& path) = 0;
    virtual void Cancel() = 0;
    // `changed` runs on every change of progress or state.
    virtual void SetObserver(std::function<void()> changed) = 0;
};

// What a request of a page is for.
enum class ERequestType { Subdocument, Script, Image, Stylesheet, Xhr, Other };

// A request that a page makes, as a request filter sees it.
struct SRequest {
    std::string_view url;      // as the engine encodes it
    std::string_view host;     // of the URL, lower case
    std::string_view pageHost; // of the page that makes it, lower case; empty when none
    ERequestType type = ERequestType::Other;
};

// Refuses requests of pages and hides elements of pages, in every tab.
// Asked on the user-interface thread for each request, so it answers from
// an index, never by going through all its rules.
class IRequestFilter {
public:
    virtual ~IRequestFilter() = default;
    virtual bool Blocks(const SRequest& request) const = 0;
    // A style sheet that hides elements of the pages of `host`; empty when
    // nothing is hidden there.
    virtual std::string HidingStyleSheet(std::string_view host) const = 0;
};

// Events of one tab's engine. For one navigation they arrive in this order:
// BeforeNavigate2, DownloadBegin, ProgressChange (repeated),
// NavigateComplete2, TitleChange, DownloadComplete, DocumentComplete.
class IWebBrowserEvents {
public:
    virtual ~IWebBrowserEvents() = default;

    // False cancels the navigation. `flags` holds NAVFLAG_ values.
    virtual bool BeforeNavigate2(const std::string& url, int flags, const std::string& targetFrame) = 0;
    // A frame inside the page wants to load `url`; false refuses it.
    virtual bool SubFrameNavigate(const std::string& url) = 0;
    virtual void DownloadBegin() = 0;
    virtual void ProgressChange(int progress, int progressMax) = 0;
    virtual void NavigateComplete2(const std::string& url) = 0;
    virtual void TitleChange(const std::string& text) = 0;
    virtual void DownloadComplete() = 0;
    virtual void DocumentComplete(const std::string& url) = 0;
    // The engine of the new window, or nullptr to cancel it.
    // `userInitiated` when a click or key of the person caused it.
    virtual IWebBrowser* NewWindow2(bool userInitiated) = 0;
    virtual void StatusTextChange(const std::string& text) = 0;
    // command 1 = forward, 2 = back.
    virtual void CommandStateChange(int command, bool enabled) = 0;
    virtual void SetSecureLockIcon(int state) = 0;
    virtual void WindowClosing() = 0;

    // The engine leaves these to the host; without one they are refused.
    virtual void ContextMenu(const SContextMenu&, const QPoint& /*globalPos*/) {}
    // `site` (a proxy with `proxy`) asks for a user name and password:
    // true with them filled answers, false cancels. Runs its own dialog.
    virtual bool AuthenticationRequired(const std::string& /*site*/, const std::string& /*realm*/, bool /*proxy*/,
                                        std::string& /*user*/, std::string& /*password*/)
    {
        return false;
    }
    // The certificate of the page at `url` is not valid; the load waits
    // for `answer`: true goes on to the site.
    virtual void CertificateError(const std::string& /*url*/, const std::string& /*description*/,
                                  std::function<void(bool proceed)> answer)
    {
        answer(false);
    }
    virtual void RendererGone(ERendererEnd, int /*exitCode*/) {}
    virtual void PermissionRequested(const std::string& /*origin*/, EPermission,
                                     std::function<void(bool grant)> answer)
    {
        answer(false);
    }
    virtual void DownloadRequested(std::shared_ptr<IDownload> download) { download->Cancel(); }
    // The request filter refused a request of the page for `url`.
    virtual void RequestBlocked(const std::string& /*url*/) {}
};

// Flags of BeforeNavigate2.
enum : int {
    // A reload, or a move back or forward in the tab's own history: the tab
    // stays on its page, so it is no new navigation.
    NAVFLAG_HISTORY = 0x10000,
};

// Download-control flags of a tab.
enum : unsigned {
    DLCTL_DLIMAGES = 0x10,
    DLCTL_VIDEOS = 0x20,
    DLCTL_BGSOUNDS = 0x40,
    DLCTL_NO_SCRIPTS = 0x80,
    DLCTL_NO_JAVA = 0x100,
    DLCTL_NO_RUNACTIVEXCTLS = 0x200,
    DLCTL_NO_DLACTIVEXCTLS = 0x400,
};

// Secure-lock states reported with SetSecureLockIcon.
enum : int {
    SECURELOCK_SET_UNSECURE = 0,
    SECURELOCK_SET_SECURE128BIT = 6,
    // https whose certificate the user let through.
    SECURELOCK_SET_BROKEN = 9,
};

// An element of a page document, in document order.
struct SPageElement {
    std::string tag;      // upper case, as the DOM names it
    std::string linkUrl;  // absolute href of an anchor
    std::string imageUrl; // absolute src of an image
    std::string text;     // the anchor's text
};

// One document of a page: the top document or a frame's.
struct SPageDocument {
    std::string url;
    std::string title;
    std::string bodyHtml;
    std::string contentType; // MIME type, empty when unknown
    long long size = -1;     // bytes of the document, -1 when unknown
    std::vector<SPageElement> elements;
    std::vector<SPageDocument> frames; // in order
    bool readable = true; // false for a frame of another site: url only
};

// Bounds of a links read: URLs kept in all, the length of one URL, and how
// deep frames are followed.
inline constexpr size_t kMaxPageLinks = 100000;
inline constexpr size_t kMaxLinkLength = 8192;
inline constexpr int kMaxFrameDepth = 16;

// The web engine of one tab. Navigation and the document reads are
// asynchronous: their results come back through events and callbacks on
// the user-interface thread.
class IWebBrowser {
public:
    virtual ~IWebBrowser() = default;

    virtual QWidget* Widget() = 0;
    virtual void SetEvents(IWebBrowserEvents* events) = 0;

    virtual void Navigate(const std::string& url, int flags, const std::string& targetFrame) = 0;
    virtual void GoBack() = 0;
    virtual void GoForward() = 0;
    virtual void GoHome() = 0;
    // level 3 = completely, bypassing caches.
    virtual void Refresh(int level) = 0;
    virtual void Stop() = 0;

    virtual std::string LocationURL() const = 0;
    virtual std::string LocationName() const = 0;
    virtual bool Busy() const = 0;
    // False while nothing was ever shown (a new tab whose first address
    // turned out to be a download).
    virtual bool HasPage() const { return true; }
    // The last load ended without its document: it failed (the engine shows
    // its own error page instead) or was stopped.
    virtual bool LoadFailed() const { return false; }

    virtual void SetRegisterAsBrowser(bool on) = 0;
    virtual void SetSilent(bool on) = 0;
    // Text size 0 (smallest) .. 4 (largest).
    virtual int GetZoom() const = 0;
    virtual void SetZoom(int size) = 0;
    // The ambient download-control flags, applied to later loads.
    virtual void SetDownloadControl(unsigned flags) = 0;
    virtual unsigned DownloadControl() const = 0;
    // Host UI flags and double-click mode; only "accept drops" acts.
    virtual void SetHostUI(unsigned flags, unsigned doubleClick) = 0;

    // The page's documents, read together: title, body HTML, elements with
    // absolute link and image URLs, and every frame's document in order.
    virtual void ReadDocument(std::function<void(const SPageDocument&)> done) = 0;
    // The lighter read for link lists: every document's url, title and
    // anchor and image elements (link and image URL only), frames depth
    // first, within the bounds above. `leftOut` counts the URLs beyond
    // them. By default the whole document read, nothing left out.
    virtual void ReadLinks(std::function<void(const SPageDocument&, size_t leftOut)> done)
    {
        ReadDocument([done = std::move(done)](const SPageDocument& document) { done(document, 0); });
    }
    virtual void WriteBodyHtml(const std::string& html) = 0;
    // The same for the frame reached by `framePath`: indices into
    // SPageDocument::frames, one per level.
    virtual void WriteFrameBodyHtml(const std::vector<int>& framePath, const std::string& html) = 0;
    virtual void ReadSelectionText(std::function<void(const std::string&)> done) = 0;
    // The page's HTML as the engine holds it now, cut to kMaxCopyBytes at
    // a character boundary.
    virtual void ReadHtml(std::function<void(const std::string&)> done) = 0;

    // Titles of the session history around the page, nearest first.
    virtual std::vector<std::string> BackList() const = 0;
    virtual std::vector<std::string> ForwardList() const = 0;
    // Moves through the history: `offset` < 0 back, > 0 forward.
    virtual void GoToHistory(int offset) = 0;
    // The whole session history with its current page; empty while the
    // tab has shown nothing.
    virtual STabHistory History() const { return {}; }
    // Replaces the session history by `history` and loads its current page,
    // as a move through the history. False when the engine cannot take it;
    // the tab is then left as it was.
    virtual bool RestoreHistory(const STabHistory& /*history*/) { return false; }

    // Highlights the next (or previous) match of `text` in the page; an
    // empty text clears the highlight. `done` gets the active match (from
    // 1, 0 = none) and the number of matches.
    virtual void FindText(const std::string& text, bool backward, bool matchCase,
                          std::function<void(int active, int count)> done) = 0;
    // Saves the page as `path`: the complete page (its resources in a folder
    // beside it) or the HTML alone. `done` tells whether the file was written.
    virtual void SavePage(const std::string& path, bool complete, std::function<void(bool ok)> done) = 0;
    // Prints the page; `done` tells whether it was printed.
    virtual void Print(QPrinter* printer, std::function<void(bool ok)> done) = 0;

    // An operation of the page's context menu.
    virtual void TriggerPageAction(EPageAction action) = 0;
    // Downloads `url` as a link of the page would; DownloadRequested follows.
    virtual void DownloadUrl(const std::string& url) = 0;
    // The tab is going: dialogs its page asks for from now on (alert,
    // confirm, prompt, file chooser, login) are answered as cancelled.
    virtual void RefuseDialogs() {}
};

// Creates the engine of a new tab inside `parent`.
using WebBrowserFactory = std::function<std::unique_ptr<IWebBrowser>(QWidget* parent)>;

} // namespace nimbra
