#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

class QAction;
class QKeyEvent;
class QMenuBar;

namespace nimbra {

// The menu bar's keys, under every widget style: Alt alone and F10 enter
// and leave the keyboard state (a button highlighted, no popup); there Esc
// leaves, Space, Up and Down open the popup with its first item selected,
// Left and Right move, and a mnemonic opens its popup (also with Alt held
// from idle); an unmatched letter is swallowed, any other key leaves. Alt
// or F10 while a popup is open closes it. Left and Right in a popup are
// the bar's own.
class CMenuBarKeys : public QObject {
    Q_OBJECT
public:
    enum class EState { Idle, Keyboard, Popup, Hot };

    explicit CMenuBarKeys(QMenuBar* bar);
    ~CMenuBarKeys() override;

    EState State() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool OnKeyPress(QKeyEvent* key);
    void Highlight(QAction* action);
    void PaintHighlight();
    void EnterKeyboard(int index);
    void Move(int step);
    void Open(QAction* action);
    void Leave();
    QAction* MnemonicAction(const QString& text) const;

    QMenuBar* m_pBar;
    bool m_bKeyboard = false;
    // The widget that had the focus last, other than the bar.
    QPointer<QWidget> m_pFocus;
    // Alt went down with nothing else since.
    bool m_bAltAlone = false;
};

} // namespace nimbra
