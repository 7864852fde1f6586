#include "tools/ToolsCommands.h"

#include "app/NimbraApp.h"
#include "frame/CommandIds.h"
#include "frame/CommandRouter.h"
#include "frame/MainFrame.h"
#include "tools/ListEditorDialog.h"
#include "tools/UrlExtractDialog.h"
#include "tools/UrlFilter.h"
#include "view/NimbraView.h"

namespace nimbra {

namespace {

// The dialog opens at once and gets the page when the engine has read it.
void OpenUrlExtract(CMainFrame& frame)
{
    CNimbraView* view = frame.ActiveView();
    if (!view)
        return;
    CNimbraApp* app = CNimbraApp::Instance();
    auto* dialog = new CUrlExtractDialog(
        app->Settings(), app->ProgramDir() + "/" + kFilterFileName,
        [](const std::string& url) { CNimbraApp::Instance()->OpenUrl(url); }, &frame);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
    QPointer<CUrlExtractDialog> guard(dialog);
    QObject::connect(view, &QObject::destroyed, dialog, [guard] {
        if (guard)
            guard->PageUnavailable();
    });
    view->Browser()->ReadLinks([guard](const SPageDocument& page, size_t leftOut) {
        if (guard)
            guard->SetPage(page, leftOut);
    });
}

std::string ActiveTabUrl()
{
    CMainFrame* frame = CNimbraApp::Instance() ? CNimbraApp::Instance()->MainFrame() : nullptr;
    CNimbraView* view = frame ? frame->ActiveView() : nullptr;
    return view ? view->GetLocationURL() : std::string();
}

} // namespace

void RegisterToolsCommands(CMainFrame& frame)
{
    CCommandTable& t = frame.Router().Table(CCommandRouter::ELevel::Frame);
    t.SetHandler(ID_URL_EXTRACT, [&frame] { OpenUrlExtract(frame); });
    t.SetUpdateHandler(ID_URL_EXTRACT, [&frame](SCmdUI& ui) { ui.Enable(frame.ActiveView() != nullptr); });
    t.SetHandler(ID_LIST_EDITOR, [] { CListEditorDialog::Open(CNimbraApp::Instance()->Settings(), ActiveTabUrl); });
    QObject::connect(&frame, &QObject::destroyed, [] { CloseListEditor(); });
}

void CloseListEditor()
{
    if (CListEditorDialog* editor = CListEditorDialog::Instance()) {
        editor->close();
        delete editor;
    }
}

} // namespace nimbra
