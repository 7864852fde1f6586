#pragma once

#include "view/WebBrowser.h"

#include <QWidget>
#include <map>
#include <string>
#include <vector>

namespace testenv {

// A scripted engine for fast tests. Navigate plays one whole navigation at
// once (BeforeNavigate2 first, as the system control does synchronously),
// unless holding is on; then the test finishes it with Finish().
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
    void Refresh(int level) override { refreshes.push_back(level); }
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

    // A page's window.open(url): the pop-up's engine plays its first
    // navigation (held with `holdFirst`). nullptr when the view cancelled
    // the new window.
    FakeWebBrowser* OpenWindow(const std::string& url, bool holdFirst = false);
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

private:
    nimbra::IWebBrowserEvents* m_pEvents = nullptr;
    QWidget* m_pWidget;
    std::string m_location;
    std::string m_title;
    std::string m_pending;
    bool m_bHolding = false;
    std::vector<std::string> m_history;
    size_t m_historyPos = 0;
};

// Makes the application create fake engines.
nimbra::WebBrowserFactory FakeBrowserFactory();

} // namespace testenv
