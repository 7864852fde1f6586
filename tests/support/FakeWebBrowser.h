#pragma once

#include "platform/WebBrowser.h"

#include <QWidget>
#include <cctype>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace testenv {

// A scripted engine for fast tests. Navigate plays one whole navigation at
// once (BeforeNavigate2 first, as the system control does synchronously),
// unless holding is on; then the test finishes it with Finish(). Reloads
// and history moves navigate with NAVFLAG_HISTORY.
class FakeWebBrowser : public nimbra::IWebBrowser {
public:
    explicit FakeWebBrowser(QWidget* parent);
    ~FakeWebBrowser() override;

    // Titles the fake pages get; other URLs get their URL as title.
    static std::map<std::string, std::string>& Titles();
    // Every fake engine alive, in creation order.
    static std::vector<FakeWebBrowser*>& All();
    // The fake engine of a view's browser.
    static FakeWebBrowser* Of(nimbra::IWebBrowser* browser) { return dynamic_cast<FakeWebBrowser*>(browser); }

    QWidget* Widget() override { return m_pWidget; }
    void SetEvents(nimbra::IWebBrowserEvents* events) override { m_pEvents = events; }

    void Navigate(const std::string& url, int flags, const std::string& targetFrame) override;
    void GoBack() override;
    void GoForward() override;
    void GoHome() override { Navigate("about:home", 0, {}); }
    // Reloads the page, as the engine does, as a move in its own history.
    void Refresh(int level) override
    {
        refreshes.push_back(level);
        if (!m_location.empty())
            Navigate(m_location, nimbra::NAVFLAG_HISTORY, {});
    }
    void Stop() override { ++stops; }

    std::string LocationURL() const override { return m_location; }
    std::string LocationName() const override { return m_title; }
    bool Busy() const override { return m_bHolding; }

    void SetRegisterAsBrowser(bool on) override { registeredAsBrowser = on; }
    void SetSilent(bool on) override { silent = on; }
    int GetZoom() const override { return zoom; }
    void SetZoom(int size) override { zoom = size; }
    void SetDownloadControl(unsigned flags) override { downloadControl = flags; }
    unsigned DownloadControl() const override { return downloadControl; }
    void SetHostUI(unsigned flags, unsigned doubleClick) override
    {
        hostUIFlags = flags;
        hostUIDoubleClick = doubleClick;
    }

    void ReadDocument(std::function<void(const nimbra::SPageDocument&)> done) override { done(document); }
    void WriteBodyHtml(const std::string& html) override { document.bodyHtml = html; }
    void ReadSelectionText(std::function<void(const std::string&)> done) override { done(selection); }
    void ReadHtml(std::function<void(const std::string&)> done) override { done(html); }
    void WriteFrameBodyHtml(const std::vector<int>& framePath, const std::string& html) override
    {
        nimbra::SPageDocument* d = &document;
        for (int index : framePath) {
            if (index < 0 || size_t(index) >= d->frames.size())
                return;
            d = &d->frames[size_t(index)];
        }
        d->bodyHtml = html;
    }
    std::vector<std::string> BackList() const override
    {
        std::vector<std::string> titles;
        for (size_t i = m_historyPos; i-- > 0;)
            titles.push_back(TitleOf(m_history[i]));
        return titles;
    }
    std::vector<std::string> ForwardList() const override
    {
        std::vector<std::string> titles;
        for (size_t i = m_historyPos + 1; i < m_history.size(); ++i)
            titles.push_back(TitleOf(m_history[i]));
        return titles;
    }
    void GoToHistory(int offset) override
    {
        const long long pos = (long long)m_historyPos + offset;
        if (offset == 0 || pos < 0 || pos >= (long long)m_history.size())
            return;
        m_historyPos = size_t(pos);
        Navigate(m_history[m_historyPos], nimbra::NAVFLAG_HISTORY, {});
    }
    // Counts the matches in the body's HTML; the active match is the first.
    void FindText(const std::string& text, bool backward, bool matchCase,
                  std::function<void(int active, int count)> done) override
    {
        finds.push_back({text, backward, matchCase});
        auto fold = [matchCase](std::string s) {
            if (!matchCase)
                for (char& c : s)
                    c = char(std::tolower((unsigned char)c));
            return s;
        };
        const std::string body = fold(document.bodyHtml), needle = fold(text);
        int count = 0;
        for (size_t at = needle.empty() ? std::string::npos : body.find(needle); at != std::string::npos;
             at = body.find(needle, at + needle.size()))
            ++count;
        if (done)
            done(count ? 1 : 0, count);
    }
    // Writes the body as the saved file.
    void SavePage(const std::string& path, bool complete, std::function<void(bool ok)> done) override
    {
        saves.push_back({path, complete});
        FILE* f = std::fopen(path.c_str(), "wb");
        if (f) {
            std::fputs(document.bodyHtml.c_str(), f);
            std::fclose(f);
        }
        if (done)
            done(f != nullptr);
    }
    void Print(QPrinter*, std::function<void(bool ok)> done) override
    {
        ++prints;
        if (done)
            done(true);
    }
    void TriggerPageAction(nimbra::EPageAction action) override { pageActions.push_back(action); }
    void DownloadUrl(const std::string& url) override { downloadUrls.push_back(url); }
    // The view, to play the engine's other events (context menu, login,
    // certificate, renderer end, permissions, downloads).
    nimbra::IWebBrowserEvents* Events() const { return m_pEvents; }
    std::vector<nimbra::EPageAction> pageActions;
    std::vector<std::string> downloadUrls;

    struct Find {
        std::string text;
        bool backward;
        bool matchCase;
    };
    std::vector<Find> finds;
    std::vector<std::pair<std::string, bool>> saves;
    int prints = 0;

    // A page's window.open(url) after a click (`userInitiated`) or by
    // itself: the pop-up's engine plays its first navigation (held with
    // `holdFirst`). nullptr when the view cancelled the new window.
    FakeWebBrowser* OpenWindow(const std::string& url, bool holdFirst = false, bool userInitiated = true);
    // A link clicked in the page.
    void ClickLink(const std::string& url) { Navigate(url, 0, {}); }
    // Finishes a held navigation.
    void Finish();
    void ChangeTitle(const std::string& title);

    bool holding = false;
    std::vector<std::string> navigations; // every URL asked for
    std::vector<std::string> refused;     // URLs whose BeforeNavigate2 said no
    std::vector<int> refreshes;
    int stops = 0;
    bool registeredAsBrowser = false;
    bool silent = false;
    int zoom = 2;
    unsigned downloadControl = 0;
    unsigned hostUIFlags = 0;
    unsigned hostUIDoubleClick = 0;
    nimbra::SPageDocument document;
    std::string selection;
    std::string html;

private:
    static std::string TitleOf(const std::string& url)
    {
        const auto it = Titles().find(url);
        return it != Titles().end() ? it->second : url;
    }

    nimbra::IWebBrowserEvents* m_pEvents = nullptr;
    QWidget* m_pWidget;
    std::string m_location;
    std::string m_title;
    std::string m_pending;
    bool m_bHolding = false;
    std::vector<std::string> m_history;
    size_t m_historyPos = 0;
};

// A scripted download: Start writes nothing until Receive, which appends
// to the file it was started with.
class FakeDownload : public nimbra::IDownload {
public:
    FakeDownload(std::string url, std::string name, long long total = -1)
        : m_url(std::move(url)), m_name(std::move(name)), m_total(total)
    {
    }
    std::string Url() const override { return m_url; }
    std::string SuggestedName() const override { return m_name; }
    long long ReceivedBytes() const override { return m_received; }
    long long TotalBytes() const override { return m_total; }
    EState State() const override { return m_state; }
    void Start(const std::string& path) override
    {
        startedPath = path;
        Set(EState::Running);
    }
    void Cancel() override
    {
        if (m_state == EState::Requested || m_state == EState::Running)
            Set(EState::Cancelled);
    }
    void SetObserver(std::function<void()> changed) override { m_changed = std::move(changed); }
    void Receive(const std::string& bytes)
    {
        if (FILE* f = std::fopen(startedPath.c_str(), "ab")) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        m_received += (long long)bytes.size();
        Set(m_state);
    }
    void Complete() { Set(EState::Completed); }

    std::string startedPath;

private:
    void Set(EState state)
    {
        m_state = state;
        if (m_changed)
            m_changed();
    }
    std::string m_url, m_name;
    long long m_total, m_received = 0;
    EState m_state = EState::Requested;
    std::function<void()> m_changed;
};

// Makes the application create fake engines.
nimbra::WebBrowserFactory FakeBrowserFactory();

} // namespace testenv
