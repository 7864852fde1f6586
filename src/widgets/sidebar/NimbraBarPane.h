#pragma once

class QWidget;

namespace nimbra {

// One pane of the side bar: the page shown under its tab.
class INimbraBarPane {
public:
    virtual ~INimbraBarPane() = default;
    // The page; the bar's tab control owns it.
    virtual QWidget* Widget() = 0;
    // What takes the keyboard focus when the pane is activated.
    virtual QWidget* FocusTarget() = 0;
    // What a pane command (Ctrl+I, Ctrl+H, Ctrl+E, Ctrl+4) focuses: where
    // the user types first in the pane.
    virtual QWidget* CommandTarget() { return FocusTarget(); }
    // The pane was selected (the history tree reloads when it is stale).
    virtual void OnActivate() {}
};

} // namespace nimbra
