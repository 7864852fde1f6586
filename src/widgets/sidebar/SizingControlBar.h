#pragma once

#include <QDockWidget>
#include <QList>
#include <QRect>
#include <string_view>

class QMainWindow;
class QToolButton;

namespace nimbra {

class CSettings;

// A floating bar's rectangle brought onto a screen (available areas):
// one that lies on no screen moves to the middle of the primary one, and
// none is larger than its screen or sticks out of it.
QRect FitFloatingRect(const QRect& rect, const QList<QRect>& screens, const QRect& primary);

// A docking bar that keeps three sizes: one used while it lies along the
// top or bottom edge, one along the left or right edge, one while floating.
// The size of its place is applied whenever it changes place or is shown,
// and follows what the user makes of it by dragging the separators.
class CSizingControlBar : public QDockWidget {
    Q_OBJECT
public:
    enum class EPlace { Horz, Vert, Float };

    static constexpr QSize kDefaultSize{200, 200};
    static constexpr QSize kMinHorz{33, 32};
    static constexpr QSize kMinVert{33, 32};
    static constexpr QSize kMinFloat{37, 32};
    // A docked bar leaves the window's pages at least this much room.
    static constexpr int kKeepPages = 200;

    // `id` names the bar's section in the layout file.
    CSizingControlBar(const QString& title, QMainWindow* window, int id);

    int BarId() const { return m_nId; }
    EPlace Place() const;
    QSize Size(EPlace place) const;
    static QSize MinSize(EPlace place);
    void SetSize(EPlace place, QSize size);

    // Whether the bar is shown, or will be once its window is.
    bool IsBarVisible() const;
    // Hides the bar; when it held the keyboard focus, FocusLeft follows.
    void HideBar();

    // Sizes and place from the bar's section ("<profile>-NimbraBar<id>") of
    // a layout file: a stored size below its minimum reads as the minimum,
    // a missing one keeps the current size.
    void LoadState(const CSettings& state, std::string_view profile);
    void SaveState(CSettings& state, std::string_view profile) const;

    QSize sizeHint() const override;

Q_SIGNALS:
    // The bar was hidden while the focus was inside it.
    void FocusLeft();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // A new place: subclasses rearrange their frame.
    virtual void OnPlaceChanged(EPlace place);

private:
    Qt::DockWidgetArea Area() const;
    // The floating size at the bar's position, fitted to the screens.
    QRect FloatingRect() const;
    // The place's size within the room the window has now.
    QSize SizeToApply(EPlace place) const;
    void OnMoved();
    void ApplySize();
    int Room(Qt::Orientation orientation) const;

    QMainWindow* m_pWindow;
    int m_nId;
    QSize m_szHorz = kDefaultSize;
    QSize m_szVert = kDefaultSize;
    QSize m_szFloat = kDefaultSize;
    EPlace m_applied = EPlace::Vert;
    // Set from a change of place until the new place's size is applied.
    bool m_bSettling = false;
};

// A sizing bar with a 12-pixel gripper band and an 11 x 11 hide button:
// a band across the top, or down the left side while docked at the top or
// bottom.
class CSizingControlBarG : public CSizingControlBar {
    Q_OBJECT
public:
    static constexpr int kGripperWidth = 12;
    static constexpr int kHideButtonSize = 11;

    CSizingControlBarG(const QString& title, QMainWindow* window, int id);

    QToolButton* HideButton() const;

protected:
    void OnPlaceChanged(EPlace place) override;

private:
    class CGripper;
    CGripper* m_pGripper;
};

} // namespace nimbra
