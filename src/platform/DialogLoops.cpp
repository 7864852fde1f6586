#include "platform/DialogLoops.h"

#include "platform/ModalLoops.h"
#include "platform/WebEngineBrowser.h"

namespace nimbra {

bool DialogLoopRunning()
{
    return ModalLoopRunning() || CWebEngineBrowser::OpenPageDialogs() > 0;
}

void EndDialogLoops()
{
    CWebEngineBrowser::RefusePageDialogs(true);
    EndModalLoops();
}

void AllowPageDialogs()
{
    CWebEngineBrowser::RefusePageDialogs(false);
}

} // namespace nimbra
