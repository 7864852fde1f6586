// The address bar on the frame: its host and its commands.
#include "ui/CommandIds.h"
#include "widgets/bars/AddressBar.h"
#include "widgets/bars/AddressCombo.h"
#include "ui/CommandRouter.h"
#include "frames/browser/MainFrame.h"
#include "platform/Text.h"

#include <QLineEdit>

namespace nimbra {

namespace {

// The frame and the application as the address bar sees them. The
// application outlives the frame, which goes before its address bar does.
class CFrameAddressHost : public IAddressHost {
public:
    explicit CFrameAddressHost(CMainFrame& frame) : m_frame(frame), m_app(frame.Host()) {}

    CSettings& Settings() const override { return m_app.Settings(); }
    const std::string& AddressLogPath() const override { return m_app.AddressLogPath(); }
    CNimbraView* ActiveView() const override { return m_frame.ActiveView(); }
    void OpenNewTab(const std::string& text) override { m_app.OpenUrl(text); }
    std::string ResolveShortcut(const std::string& text) const override { return m_app.ResolveShortcut(text); }
    bool OpenSpecialUrl(const std::string& url) override { return m_app.OpenSpecialUrl(url); }
    bool IsBlockedInTab(const std::string& url) const override
    {
        return m_frame.FrameSettings().NewWindowClose == 0 && m_frame.BlockedLists().IsUrlAllowed(url, 0).empty();
    }
    void PostFocusView() override { m_frame.PostFocusView(); }
    std::shared_ptr<CHistoryDb> SharedHistory() const override { return m_frame.SharedHistory(); }

private:
    CMainFrame& m_frame;
    IBrowserHost& m_app;
};

} // namespace

CAddressBar* CreateFrameAddressBar(CMainFrame& frame)
{
    auto* bar = new CAddressBar(std::make_unique<CFrameAddressHost>(frame), &frame);
    QObject::connect(&frame, &CMainFrame::HistoryCleared, bar->Combo(), &CAddressCombo::OnHistoryCleared);
    return bar;
}

CAddressBar* CAddressBar::Of(const CMainFrame& frame)
{
    CAddressCombo* combo = frame.AddressCombo();
    return combo ? qobject_cast<CAddressBar*>(combo->parentWidget()) : nullptr;
}

void RegisterAddressCommands(CMainFrame& frame, CCommandTable& table)
{
    CMainFrame* pFrame = &frame;
    table.SetHandler(ID_VIEW_GO_BUTTON, [pFrame] {
        if (CAddressBar* bar = CAddressBar::Of(*pFrame))
            bar->SetGoButtonVisible(!bar->IsGoButtonVisible());
    });
    table.SetUpdateHandler(ID_VIEW_GO_BUTTON, [pFrame](SCmdUI& ui) {
        CAddressBar* bar = CAddressBar::Of(*pFrame);
        ui.Enable(bar != nullptr);
        ui.SetCheck(bar && bar->IsGoButtonVisible());
    });
    table.SetHandler(ID_ADDRESS_FOCUS, [pFrame] {
        CAddressCombo* combo = pFrame->AddressCombo();
        if (!combo || !combo->isVisible())
            return;
        combo->setFocus(Qt::ShortcutFocusReason);
        combo->lineEdit()->selectAll();
    });
    // Enter outside a field that takes it; the page receives its own keys.
    table.SetHandler(ID_ENTER, [pFrame] {
        CAddressCombo* combo = pFrame->AddressCombo();
        if (combo && combo->lineEdit()->hasFocus())
            combo->Go(Trim(FromQ(combo->lineEdit()->text())), 1, 0, 1, 1);
    });
}

} // namespace nimbra
