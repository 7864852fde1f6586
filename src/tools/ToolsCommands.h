#pragma once

namespace nimbra {

class CMainFrame;

// Where the tools meet the frame: the URL extraction of the active tab
// (32851) and the list editor (32957).
void RegisterToolsCommands(CMainFrame& frame);

// Closes the list editor, if one is open (at exit).
void CloseListEditor();

} // namespace nimbra
