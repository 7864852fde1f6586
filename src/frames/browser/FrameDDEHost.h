#pragma once

#include "data/dde/DDEBrowserHost.h"

namespace nimbra {

class CMainFrame;

// The main frame as the DDE topics see it.
class CFrameDDEHost : public IDDEBrowserHost {
public:
    explicit CFrameDDEHost(CMainFrame& frame) : m_frame(frame) {}

    int TabCount() const override;
    std::optional<SDDEPage> TabPage(int index) const override;
    std::optional<SDDEPage> ActivePage() const override;
    void Go(const std::string& text, int addToHistory, int newTab, int touchHistory, int notifyFrame) override;
    bool IsHiddenInTray() const override;
    void PostRestoreFromTray() override;
    void RestoreMainWindow() override;
    void PostClose() override;

private:
    CMainFrame& m_frame;
};

} // namespace nimbra
