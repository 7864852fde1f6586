#pragma once

#include "platform/WebBrowser.h"

class QMenu;
class QWidget;

namespace nimbra {

class CNimbraView;

// The page's context menu for what was clicked: a link, an image, a
// selection, an editable field, or else the page. Each entry runs the same
// command as its twin in the menus.
QMenu* CreatePageContextMenu(CNimbraView& view, const SContextMenu& info, QWidget* parent);

} // namespace nimbra
