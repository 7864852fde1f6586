// Commands of the tab menu that the tab bar carries.
#include "ui/CommandIds.h"
#include "frames/browser/ViewManager.h"
#include "ui/CommandRouter.h"
#include "frames/browser/MainFrame.h"

namespace nimbra {

void RegisterTabBarCommands(CMainFrame& frame)
{
    CCommandTable& t = frame.Router().Table(CCommandRouter::ELevel::Frame);
    CViewManager* tabs = frame.ViewManager();
    auto twoTabs = [tabs](SCmdUI& ui) { ui.Enable(tabs->GetItemCount() >= 2); };

    t.SetHandler(ID_NEXT_TAB, [tabs] { tabs->SelectNextTab(false); });
    t.SetUpdateHandler(ID_NEXT_TAB, twoTabs);
    t.SetHandler(ID_PREVIOUS_TAB, [tabs] { tabs->SelectNextTab(true); });
    t.SetUpdateHandler(ID_PREVIOUS_TAB, twoTabs);
    t.SetHandler(ID_TAB_MANAGER, [tabs] { tabs->ShowTabManager(); });
    t.SetUpdateHandler(ID_TAB_MANAGER, [tabs](SCmdUI& ui) { ui.Enable(tabs->GetItemCount() >= 1); });
    t.SetHandler(ID_TAB_BAR, [tabs] { tabs->ShowBar(!tabs->IsBarVisible()); });
    t.SetUpdateHandler(ID_TAB_BAR, [tabs](SCmdUI& ui) { ui.SetCheck(tabs->IsBarVisible()); });
}

} // namespace nimbra
