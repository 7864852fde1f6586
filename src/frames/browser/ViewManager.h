#pragma once

#include "widgets/bars/TabBarCtrl.h"
#include "widgets/bars/TabManagerDlg.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

class QMenu;
class QWidget;

namespace nimbra {

class CMainFrame;
class CNimbraView;
struct CFrameSettings;

// The tab bar "Tab Bar": the tab control with one item per shown tab, in
// tab order (a view's m_nTab is its index), the tab entries of the window
// menu, and the pending-close list that its 200 ms timer empties.
class CViewManager : public QObject, public ITabManagerHost {
    Q_OBJECT
public:
    static constexpr int kPendingCloseMs = 200;
    static constexpr int kWindowMenuTabs = 9;
    static constexpr int kWindowMenuFirstId = 1032;
    static constexpr int kWindowMenuFixedItems = 7;

    CViewManager(CMainFrame* mainFrame, QWidget* parent);

    CTabBarCtrl* TabCtrl() const { return m_pTabCtrl; }
    // Puts the bar into the frame: a docking bar, or a band of the top
    // toolbar area in rebar mode.
    void CreateBar(bool rebarMode);
    bool IsRebarMode() const { return m_bRebarMode; }
    // The docking bar or the band.
    QWidget* Bar() const { return m_pBar; }
    bool IsBarVisible() const;
    void ShowBar(bool show);
    // Tab mode, fonts, colours and widths from the frame's settings.
    void ApplySettings(const CFrameSettings& settings);

    // Inserts an item for `view` at the NewTabPosition place; its index.
    int AddTab(CNimbraView* view, const std::string& text);
    // Removes the item of a closing view; the following views move up.
    void RemoveTab(CNimbraView* view);
    void SetItemText(int nTab, const std::string& title);
    void SetItemImage(int nTab, int image);
    int GetItemImage(int nTab) const;
    std::string GetItemText(int nTab) const;
    int GetItemCount() const override;
    int GetCurSel() const override;
    CNimbraView* ViewAt(int nTab) const;
    std::optional<std::string> TabTitle(int nTab) const override;
    // The tab's location URL; empty for a bad index.
    std::string GetTabUrl(int nTab) const;
    // Views with a tab item, in tab order.
    std::vector<CNimbraView*> Views() const;
    // The text an item shows for a title.
    std::string TabText(const std::string& title) const;

    // Selects the item without activating anything (the frame did).
    void SelectItem(int nTab);
    // Activates the tab's frame and selects its item.
    void SelectTab(int nTab) override;
    // The next (or previous) tab, wrapping at both ends.
    void SelectNextTab(bool previous);
    // Closes the tab unless it is locked.
    void CloseTab(int nTab) override;

    // Exchanges two tabs; the views' indices follow.
    void MoveTab(int from, int to);
    // Closes every tab that is neither locked nor closing by a blocking
    // rule, keeping their URLs in the frame's restore list.
    void CloseAll();
    // The same for the tabs that have been seen (no icon).
    void CloseReadTabs();
    // Brings the bar up to date after closes.
    void Refresh() override;

    // The pending-close list.
    void QueueClose(CNimbraView* view);
    bool IsPendingClose(const CNimbraView* view) const;
    // Closes the listed tabs now (the timer calls it every 200 ms).
    void ProcessPendingClose();
    // Runs on every tick while KillDlg is on.
    void SetDialogSweep(std::function<void()> sweep) { m_dialogSweep = std::move(sweep); }

    // The tab context menu for `nTab`, and the background menu, at a screen
    // position; they close by themselves.
    QMenu* ShowTabMenu(int nTab, const QPoint& globalPos);
    QMenu* ShowBackgroundMenu(const QPoint& globalPos);
    // The tab manager dialog.
    void ShowTabManager();
    // The "タブ(&W)" menu of the menu bar, nullptr when there is none.
    QMenu* WindowMenu() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnTick();
    void OnMouseAction(CTabBarCtrl::EMouse gesture, int index, const QPoint& globalPos);
    void ApplyAction(int action, int nTab, const QPoint& globalPos, bool popupOnZero);
    void OnFilesDropped(int index, const QStringList& paths);
    void Renumber(int from);
    void UpdateWindowMenu(int from);
    void UpdateBarHeight();
    void OnDockLocationChanged();

    CMainFrame* m_pMainFrame;
    CTabBarCtrl* m_pTabCtrl;
    QWidget* m_pBar = nullptr;
    QWidget* m_pHolder;
    bool m_bRebarMode = false;
    std::vector<QPointer<CNimbraView>> m_pendingClose;
    QTimer m_timer;
    std::function<void()> m_dialogSweep;
    bool m_bSelecting = false;
};

} // namespace nimbra

namespace nimbra {
// Registers the tab bar's commands with the frame's router.
void RegisterTabBarCommands(CMainFrame& frame);
} // namespace nimbra
