#pragma once

#include "widgets/bars/BandChild.h"
#include "widgets/bars/ToolBarImages.h"

#include <QToolButton>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QMenu;
class QTimer;

namespace nimbra {

class CCommandRouter;
class CMainFrame;
class CSettings;

// One entry of the toolbar's button table; id kSeparator is a separator.
struct SToolButtonInfo {
    int id;
    int image;
    const char* text;
};

inline constexpr int kToolSeparator = -1;
inline constexpr int kToolSeparatorWidth = 8;
// Saved layouts longer than this are cut.
inline constexpr int kMaxToolPositions = 1000;

// The 52 entries (43 buttons, 9 separators) in their built-in order.
const std::vector<SToolButtonInfo>& ToolBarTable();
// The table entry of a command id, nullptr when it has none.
const SToolButtonInfo* FindToolButton(int id);
// The table order as a layout (command ids, kToolSeparator).
std::vector<int> DefaultToolLayout();

// The [ToolBar] section: Button.Count, then Tool.Button0.. with the command
// id or -1 for a separator. A negative or missing count gives the table
// order, a count above kMaxToolPositions is cut; missing entries and ids not
// in the table are dropped. The section is read once.
std::vector<int> ReadToolLayout(const CSettings& settings);
void WriteToolLayout(CSettings& settings, const std::vector<int>& layout);

// A toolbar button: the command's action, with the toolbar's picture and
// tooltip; a drop-down button reports a press on its arrow.
class CToolBarButton : public QToolButton {
    Q_OBJECT
public:
    CToolBarButton(const SToolButtonInfo& info, QAction* action, const QIcon& icon, const QString& tip,
                   QWidget* parent);

    int Id() const { return m_nId; }
    bool HasDropDown() const { return popupMode() == QToolButton::MenuButtonPopup; }
    void SetDropDown(std::function<void()> handler);
    QString TipText() const { return m_strTip; }

protected:
    bool event(QEvent* event) override;
    void actionEvent(QActionEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    int m_nId;
    QIcon m_icon;
    QString m_strTip;
    std::function<void()> m_dropDown;
};

// The main toolbar: flat buttons from the table laid out in one row by the
// widget itself, 8-pixel separators, drop-down arrows on back, forward, new
// tab and security level, and an overflow button (20009) at the right end
// while some button's centre lies outside the window.
class CFlatToolBar : public QWidget, public IBandChild {
    Q_OBJECT
public:
    static constexpr int kOverflowButtonId = 20009;
    static constexpr int kOverflowWidth = 13;
    // Drop-down buttons: back, forward, new tab, security level.
    static bool IsDropDownId(int id);

    // Small or big pictures; the positions as SetLayout() takes them. The
    // layout is saved in `settings`.
    CFlatToolBar(CCommandRouter& router, CSettings& settings, bool big, const std::vector<int>& layout,
                 QWidget* parent);
    ~CFlatToolBar() override;

    const CToolBarImages& Images() const { return *m_pImages; }

    // The layout saved in the settings file, and writing it back. The
    // toolbar saves itself when it goes.
    void LoadLayout();
    void SaveLayout() const;
    // Shows these positions (command ids, kToolSeparator); ids not in the
    // table are dropped.
    void SetLayout(const std::vector<int>& layout);
    const std::vector<int>& Layout() const { return m_layout; }

    // The press on a drop-down arrow: the command id and the button's
    // rectangle on the screen.
    using DropDownHandler = std::function<void(int id, const QRect& rect)>;
    void SetDropDownHandler(DropDownHandler handler) { m_dropDown = std::move(handler); }

    // The button at a position, nullptr for a separator.
    CToolBarButton* ButtonAt(int position) const;
    CToolBarButton* FindButton(int id) const;
    QToolButton* OverflowButton() const { return m_pOverflow; }
    // The positions whose button centre lies outside the window, in order.
    std::vector<int> HiddenPositions() const;
    // The list of those buttons, as the overflow button and the chevron
    // show it; the caller owns it.
    QMenu* CreateOverflowMenu(QWidget* parent) const;

    void ShowHiddenItems(const QRect& chevron) override;

    // The dialog that edits the layout; it saves it when it closes.
    void Customize();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void Rebuild();
    void PlaceButtons();
    void UpdateOverflow();
    void ShowOverflowMenu(const QPoint& at, bool pressOverflow);
    void RefreshStates();
    QString TipOf(const SToolButtonInfo& info) const;

    CCommandRouter& m_router;
    CSettings& m_settings;
    std::unique_ptr<CToolBarImages> m_pImages;
    std::vector<int> m_layout;
    // One per position; nullptr for a separator.
    std::vector<CToolBarButton*> m_buttons;
    std::vector<int> m_x; // left edge of each position
    QToolButton* m_pOverflow;
    QTimer* m_pRefresh;
    DropDownHandler m_dropDown;
    QSize m_buttonSize;
};

// Creates the frame's toolbar with its commands (customising, the drop-down
// menus), its pictures and its saved layout.
CFlatToolBar* CreateFlatToolBar(CMainFrame& frame, QWidget* parent);
// The frame's toolbar, nullptr before it exists.
CFlatToolBar* FlatToolBarOf(const CMainFrame& frame);
// The frame's menu of a drop-down button (the back or forward history, the
// new tab's home or blank page, the security levels), shown below
// `button`; nullptr when there is nothing to list.
QMenu* ShowToolBarDropDown(CMainFrame& frame, int id, const QRect& button);
// Pops `menu` up below the toolbar's button `id`, or at the pointer when the
// button is not shown (the command came from elsewhere).
void PopUpBelowButton(const CMainFrame& frame, int id, QMenu* menu);

} // namespace nimbra
