#pragma once

#include "sidebar/NimbraBarPane.h"
#include "sidebar/SizingControlBar.h"

#include <QTabWidget>
#include <array>
#include <vector>

class QWheelEvent;

namespace nimbra {

inline constexpr int kNimbraBarId = 134;
inline constexpr char kNimbraBarTitle[] = "Nimbra Bar";
inline constexpr char kNimbraBarProfile[] = "Nimbra";
inline constexpr int kNimbraBarPaneCount = 4;

using NimbraBarPanes = std::array<INimbraBarPane*, kNimbraBarPaneCount>;

// The side bar's tab control: one tab per pane with its icon and, while
// tab text is on, its label; tabs along the bottom or the top. The tab row
// never takes the focus; focusing the control focuses the selected pane.
class CNimbraBarTab : public QTabWidget {
    Q_OBJECT
public:
    // The panes' widgets become the pages. `icons` holds one image a pane.
    CNimbraBarTab(const NimbraBarPanes& panes, const std::vector<QPixmap>& icons, QWidget* parent);

    // A stored pane index, with anything outside 0..3 read as 0.
    static int ValidPane(int index);
    static QString Label(int index);

    INimbraBarPane* Pane(int index) const;
    int SelectedPane() const { return m_nSelected; }
    void SelectPane(int index);
    QWidget* CurrentFocusTarget() const;

    void SetTabPosition(bool top);
    void SetTabText(bool on);
    bool IsTabTextShown() const { return m_bTabText; }

private:
    void OnPaneSwitch(int index);

    NimbraBarPanes m_panes;
    int m_nSelected = 0;
    bool m_bTabText = false;
};

// "Nimbra Bar": the side bar with its four panes (bookmarks, history,
// history search, web search).
class CNimbraBar : public CSizingControlBarG {
    Q_OBJECT
public:
    CNimbraBar(QMainWindow* window, const NimbraBarPanes& panes, int selected);

    CNimbraBarTab* Tab() const { return m_pTab; }
    void SelectPane(int index) { m_pTab->SelectPane(index); }
    int SelectedPane() const { return m_pTab->SelectedPane(); }
    QWidget* CurrentFocusTarget() const { return m_pTab->CurrentFocusTarget(); }
    void SetTabPosition(bool top) { m_pTab->SetTabPosition(top); }
    void SetTabText(bool on) { m_pTab->SetTabText(on); }

    // A wheel turn over the bar while it is shown: on the tab row it cycles
    // the panes, over the selected pane's focus target it scrolls three
    // lines a notch (120 units; parts of a notch add up). Whether the event
    // was used; horizontal turns never are.
    bool OnWheel(QObject* receiver, QWheelEvent* event);

private:
    CNimbraBarTab* m_pTab;
    int m_nTabWheel = 0;
    int m_nPaneWheel = 0;
};

} // namespace nimbra
