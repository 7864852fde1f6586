#pragma once

#include <QWidget>
#include <string>

class QWebEngineView;
class QWebEnginePage;

namespace nimbra {

class CChildFrame;
class CMainFrame;
class CWebPage;

// The browser view of one tab: hosts the web engine and turns its events
// into the tab's text, the frame's caption and the address bar's text.
class CNimbraView : public QWidget {
    Q_OBJECT
public:
    CNimbraView(CMainFrame* mainFrame, CChildFrame* childFrame);
    ~CNimbraView() override;

    CChildFrame* ChildFrame() const { return m_pChildFrame; }
    QWebEnginePage* Page() const;
    QWebEngineView* Browser() const { return m_pBrowser; }

    // Navigates the engine; local paths become file URLs.
    void Navigate(const std::string& url, int flags = 0, const std::string& targetFrame = {});
    void GoHome();
    void Reload();
    void Stop();

    // The engine's current location; empty before the first navigation.
    std::string GetLocationURL() const;
    std::string GetLocationName() const;

    // Sets the tab's title; false when the update was skipped.
    bool SetViewTitle(const std::string& title);

    // Creates the tab item now (before the first navigation).
    void CreateTabItem(const std::string& text);

    // Per-tab state.
    std::string m_strTitle;
    std::string m_strUrl;
    bool m_bTabPending = true;
    bool m_bActivateOnFirstNavigate = false;
    bool m_bActive = false;
    bool m_bNewWindowPending = false;
    bool m_bTabRemoved = false;
    bool m_bNaviLock = false;
    bool m_bNoCloseRecord = false;
    int m_nTab = -1;

    // Engine events.
    bool OnBeforeNavigate2(const std::string& url, bool mainFrame);
    QWebEnginePage* OnNewWindow2();
    void OnNavigateComplete2(const std::string& url);
    void OnTitleChange(const std::string& title);
    void OnDocumentComplete(bool ok);

Q_SIGNALS:
    void DocumentComplete(bool ok);

private:
    void CreateTabItemOnFirstNavigate();

    CMainFrame* m_pMainFrame;
    CChildFrame* m_pChildFrame;
    QWebEngineView* m_pBrowser = nullptr;
    CWebPage* m_pPage = nullptr;
};

} // namespace nimbra
