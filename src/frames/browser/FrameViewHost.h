#pragma once

#include "widgets/view/ViewHost.h"

namespace nimbra {

class CMainFrame;

// The main frame as its tabs' views see it.
class CFrameViewHost : public IViewHost {
public:
    explicit CFrameViewHost(CMainFrame& frame) : m_frame(frame) {}

    QMainWindow* Window() override;
    const CFrameSettings& FrameSettings() const override;
    CSettings& Settings() override;
    CShell& Shell() override;
    CNimbraStatusBar* StatusBar() override;
    CBlockedLists& BlockedLists() override;
    CHistoryDb& History() override;
    bool IsOffline() const override;
    void RefreshOfflineState() override;

    std::unique_ptr<IWebBrowser> CreateBrowser(QWidget* parent) override;
    CNimbraView* CreateNewView() override;
    CDownloadManager& Downloads() override;

    int AddTab(CNimbraView& view, const std::string& text) override;
    void SetTabText(int tab, const std::string& text) override;
    void SetTabImage(int tab, int image) override;
    void SelectTab(int tab) override;
    int TabCount() const override;
    void ActivateTab(CNimbraView& view) override;
    void SetDocumentTitle(CNimbraView& view, const std::string& title) override;
    void CloseTab(CNimbraView& view) override;
    void QueueClose(CNimbraView& view) override;
    void QueueBlockedClose(CNimbraView& view) override;
    void RecordClosedTab(const std::string& url, const std::string& title, const STabHistory& history) override;
    void OpenTabsChanged() override;
    void SetAddressText(const std::string& url) override;

    bool OpenSpecialUrl(const std::string& url) override;
    void OpenUrl(const std::string& url) override;
    void AddBookmark(const std::string& title, const std::string& url) override;
    bool CommandEnabled(int id) override;
    void RunCommand(int id) override;

private:
    CMainFrame& m_frame;
};

} // namespace nimbra
