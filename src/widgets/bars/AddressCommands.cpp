// The address bar's commands.
#include "ui/CommandIds.h"
#include "widgets/bars/AddressBar.h"
#include "widgets/bars/AddressCombo.h"
#include "ui/CommandRouter.h"
#include "frames/browser/MainFrame.h"
#include "platform/Text.h"

#include <QLineEdit>

namespace nimbra {

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
