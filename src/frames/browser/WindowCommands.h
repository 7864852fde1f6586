#pragma once

#include "widgets/bars/BarLayout.h"
#include "frames/browser/TrayHotKey.h"
#include "platform/WindowPlacement.h"

#include <QObject>

namespace nimbra {

class CFullScreen;
class CMainFrame;
class CNimbraCoolBar;
class CTaskTray;

// The main frame's window handling: the placement kept in the settings,
// full-screen mode, the bar layout file, the task tray and its hot key,
// with their commands (full screen, tray, the bars of the rebar).
class CWindowCommands : public QObject {
    Q_OBJECT
public:
    // Puts the frame's bars into the rebar and registers the commands.
    explicit CWindowCommands(CMainFrame& frame);
    ~CWindowCommands() override;

    // Start-up: gives the hidden frame the stored placement; the show
    // command to use for the requested one.
    unsigned RestorePlacement(unsigned requested);
    // Shows the frame with that command, then enters full-screen mode when
    // the last run ended in it.
    void ShowAtStartup(unsigned showCmd);

    void LoadBarState();
    // A docking mode changed (options dialog): the layout file goes and is
    // not written at this exit.
    void ResetBarState();

    bool IsFullScreen() const;
    void ToggleFullScreen();
    bool IsInTray() const;
    void ToggleTray();
    // Registers (or releases) the HotKey setting's key; on success the
    // View menu's tray item shows it.
    void RegisterTrayHotKey(bool on);
    // After each settings reload: the key released and registered again.
    void OnSettingsReloaded();

    // Exit steps, in this order: FullScreenMode and WindowPos (the frame is
    // hidden), the bar layout, then the tray and the hot key released.
    void SavePlacement();
    // False when the layout file was reset: then no bar writes its state.
    bool SaveBarState();
    void OnExit();

    CNimbraCoolBar& CoolBar() { return *m_pCoolBar; }
    CTaskTray& Tray() { return *m_pTray; }
    CTrayHotKey& HotKey() { return m_hotKey; }

protected:
    // Minimising goes to the tray with TaskMinimizeIn.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateBands();
    void InsertBand(int id, QWidget* bar, int minWidth, bool chevron);
    // The toolbar: a band, or the frame's dockable toolbar.
    bool IsToolBarVisible() const;
    void ShowToolBar(bool show);
    void RegisterCommands();
    void HideInTray();
    void SetTrayMenuText(const QString& text);

    CMainFrame& m_frame;
    CNimbraCoolBar* m_pCoolBar;
    CBarState m_barState;
    CFullScreen* m_pFullScreen;
    CTaskTray* m_pTray;
    CTrayHotKey m_hotKey;
    // The positions read at start-up, written back as they were.
    SWindowPlacement m_kept;
    // Taken when full screen or the tray was entered; written at exit then.
    SWindowPlacement m_saved;
};

} // namespace nimbra
