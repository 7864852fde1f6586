#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QTimer>
#include <vector>

class QMainWindow;
class QWidget;

namespace nimbra {

// Full-screen mode of a main window: the window covers its screen without
// decorations, the top bars (the menu bar and the toolbars above the
// pages) and the status bar are hidden and come back as they were; leaving
// gives back the rectangle and the maximised state. While the mode lasts,
// the pointer at the top edge shows the top bars until it leaves them.
class CFullScreen : public QObject {
    Q_OBJECT
public:
    explicit CFullScreen(QMainWindow& window);

    bool IsOn() const { return m_bOn; }
    void Enter();
    void Leave();
    // Shows the bars hidden for the mode while it stays on (the exit saves
    // the bar layout with them).
    void RestoreBars();

private:
    std::vector<QWidget*> TopBars() const;
    void ShowTopBars(bool show);
    void OnPoll();

    QMainWindow& m_window;
    bool m_bOn = false;
    QRect m_normal;
    bool m_bWasMaximized = false;
    std::vector<QPointer<QWidget>> m_topBars; // the top bars the mode hid
    QPointer<QWidget> m_statusBar;            // the status bar when the mode hid it
    bool m_bRevealed = false;
    QTimer m_poll;
};

} // namespace nimbra
