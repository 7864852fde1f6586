#pragma once

#include "widgets/sidebar/NimbraBarPane.h"
#include "widgets/sidebar/SizingControlBar.h"

#include <QTabWidget>
#include <array>
#include <functional>
#include <vector>

class QWheelEvent;

namespace nimbra {

class CTabPaddingStyle;

inline constexpr int kNimbraBarId = 134;
inline constexpr char kNimbraBarTitle[] = "Nimbra Bar";
inline constexpr char kNimbraBarProfile[] = "Nimbra";
inline constexpr int kNimbraBarPaneCount = 4;

// Makes a pane; its widget goes into the pane's page.
using NimbraBarPaneMaker = std::function<INimbraBarPane*()>;
using NimbraBarPaneMakers = std::array<NimbraBarPaneMaker, kNimbraBarPaneCount>;

// The side bar's tab control: one tab per pane with its icon and, while
// tab text is on, its label; tabs along the bottom or the top. The tab row
// never takes the focus; focusing the control focuses the selected pane.
// A pane is made when its page is first shown or when it is first asked
// for, so panes nobody looks at cost nothing at start.
class CNimbraBarTab : public QTabWidget {
    Q_OBJECT
public:
    // `icons` holds one image a pane.
    CNimbraBarTab(NimbraBarPaneMakers makers, const std::vector<QPixmap>& icons, QWidget* parent);

    // A stored pane index, with anything outside 0..3 read as 0.
    static int ValidPane(int index);
    static QString Label(int index);

    // The pane, made now if it was not yet.
    INimbraBarPane* Pane(int index);
    bool IsPaneMade(int index) const { return m_panes[size_t(ValidPane(index))] != nullptr; }
    int SelectedPane() const { return m_nSelected; }
    void SelectPane(int index);
    QWidget* CurrentFocusTarget();
    QWidget* CurrentCommandTarget();

    void SetTabPosition(bool top);
    void SetTabText(bool on);
    bool IsTabTextShown() const { return m_bTabText; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnPaneSwitch(int index);
    void Activate(int index);

    NimbraBarPaneMakers m_makers;
    CTabPaddingStyle* m_pPadding;
    std::array<INimbraBarPane*, kNimbraBarPaneCount> m_panes{};
    int m_nSelected = 0;
    bool m_bTabText = false;
};

// "Nimbra Bar": the side bar with its four panes (bookmarks, history,
// history search, web search).
class CNimbraBar : public CSizingControlBarG {
    Q_OBJECT
public:
    CNimbraBar(QMainWindow* window, NimbraBarPaneMakers makers, int selected);

    CNimbraBarTab* Tab() const { return m_pTab; }
    void SelectPane(int index) { m_pTab->SelectPane(index); }
    int SelectedPane() const { return m_pTab->SelectedPane(); }
    QWidget* CurrentFocusTarget() const { return m_pTab->CurrentFocusTarget(); }
    QWidget* CurrentCommandTarget() const { return m_pTab->CurrentCommandTarget(); }
    INimbraBarPane* Pane(int index) const { return m_pTab->Pane(index); }
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
