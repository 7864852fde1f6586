#pragma once

#include <QDialog>

class QMenuBar;
class QStatusBar;
class QVBoxLayout;

namespace nimbra {

class CCommandRouter;

// A dialog that lives on its own: a top-level window without parent that
// deletes itself when it closes. OK checks the controls (Validate) and
// closes; Cancel closes.
class CModelessDialog : public QDialog {
    Q_OBJECT
public:
    CModelessDialog();

    void done(int result) override;

protected:
    // False keeps the window open after OK.
    virtual bool Validate() { return true; }
    // The window is about to go.
    virtual void OnClose() {}

private:
    bool m_bClosing = false;
};

// A modeless dialog that behaves like a main window: a menu bar from the
// resource table with its keys (tried before the controls see them) and
// update handlers, and a status bar (59393, toggled from the view menu)
// showing the prompts of highlighted menu items.
class CModelessMain : public CModelessDialog {
    Q_OBJECT
public:
    enum : int { ID_VIEW_STATUS_BAR = 59393 };

    CModelessMain(int menuId, const QString& title);

    CCommandRouter& Router() { return *m_pRouter; }
    QMenuBar* MenuBar() const { return m_pMenuBar; }
    QStatusBar* StatusBar() const { return m_pStatusBar; }
    bool ExecuteCommand(int id);

protected:
    // Where the dialog's own controls go, between menu and status bar.
    QVBoxLayout* Body() const { return m_pBody; }
    // The status bar's text when no prompt is shown.
    void ShowIdlePrompt();
    // Call once the commands are registered: gives the window their keys.
    void AttachCommandKeys();
    bool event(QEvent* event) override;

private:
    CCommandRouter* m_pRouter;
    QMenuBar* m_pMenuBar;
    QStatusBar* m_pStatusBar;
    QVBoxLayout* m_pBody;
};

} // namespace nimbra
