#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <string>
#include <vector>

class QTabBar;
class QWidget;

namespace nimbra {

class CMainFrame;
class CNimbraView;

// The tab bar: one item per shown tab, in tab order (a view's m_nTab is
// its index), the tab icons, and the pending-close list that its 200 ms
// timer empties.
class CViewManager : public QObject {
    Q_OBJECT
public:
    CViewManager(CMainFrame* mainFrame, QWidget* parent);

    QTabBar* TabCtrl() const { return m_pTabCtrl; }

    // Appends an item for `view`; its index.
    int AddTab(CNimbraView* view, const std::string& text);
    // Removes the item of a closing view; the following views move up.
    void RemoveTab(CNimbraView* view);
    void SetItemText(int nTab, const std::string& title);
    void SetItemImage(int nTab, int image);
    int GetItemImage(int nTab) const;
    std::string GetItemText(int nTab) const;
    int GetItemCount() const;
    int GetCurSel() const;
    CNimbraView* ViewAt(int nTab) const;
    // Views with a tab item, in tab order.
    std::vector<CNimbraView*> Views() const;

    // Selects the item without activating anything (the frame did).
    void SelectItem(int nTab);
    // Activates the tab's frame.
    void SelectTab(int nTab);
    void SelectNextTab(bool previous);

    // Moves a tab to another place; the views' indices follow.
    void MoveTab(int from, int to);
    // Closes every tab that is neither locked nor closing by a blocking
    // rule, keeping their URLs in the frame's restore list.
    void CloseAll();
    // The same for the tabs that have been seen (no unread icon).
    void CloseReadTabs();
    // Brings the items up to date after closes.
    void Refresh();

    // The pending-close list.
    void QueueClose(CNimbraView* view);
    bool IsPendingClose(const CNimbraView* view) const;
    // Closes the listed tabs now (the timer calls it every 200 ms).
    void ProcessPendingClose();

private:
    void OnCurrentChanged(int index);

    CMainFrame* m_pMainFrame;
    QTabBar* m_pTabCtrl;
    std::vector<QPointer<CNimbraView>> m_views;
    std::vector<int> m_images;
    std::vector<QPointer<CNimbraView>> m_pendingClose;
    QTimer m_closeTimer;
    bool m_bSelecting = false;
};

} // namespace nimbra
