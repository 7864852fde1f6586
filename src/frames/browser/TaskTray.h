#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <string>

class QMenu;
class QSystemTrayIcon;
class QWidget;

namespace nimbra {

class CCommandRouter;
struct CFrameSettings;

// What the tray icon shows: an image file, or the program icon when the
// path is empty, and the tool tip.
struct STrayLook {
    std::string iconPath;
    std::string tip;
};

// With `TaskIcon` on: `TaskIconPath` when it is an image file Qt reads (ICO,
// PNG, SVG; at most 4 MB) and `TaskIconIndex` is 0, else the program icon;
// the tip `TaskToolTip`. With `TaskIcon` off: the program icon and the tip
// "good bye :)".
STrayLook TrayLook(const CFrameSettings& settings);

// The browser hidden in the task tray: the window hidden (not minimised),
// the bookmark editor hidden with it, and an icon whose left click and
// menu 189 bring them back. When the tray host goes away while the window
// is hidden, HostLost() is emitted within seconds.
class CTaskTray : public QObject {
    Q_OBJECT
public:
    CTaskTray(QWidget& window, CCommandRouter& router);
    ~CTaskTray() override;

    // Whether a tray host is there to show the icon.
    static bool IsAvailable();
    // Puts another answer in place (tests); the previous check.
    static std::function<bool()> SetAvailability(std::function<bool()> check);

    bool IsInTray() const { return m_bInTray; }
    // Hides the window and the editor and shows the icon.
    void Hide(const STrayLook& look);
    // Removes the icon and shows the editor and the window again.
    void Show();
    // At exit: the editor shown again, the icon removed, the state cleared.
    void Leave();

    QSystemTrayIcon* Icon() const { return m_pIcon; }

Q_SIGNALS:
    // The icon was clicked with the left button.
    void Activated();
    void HostLost();

private:
    void RemoveIcon();

    QWidget& m_window;
    QSystemTrayIcon* m_pIcon;
    QMenu* m_pMenu;
    QTimer m_hostWatch;
    bool m_bInTray = false;
};

} // namespace nimbra
