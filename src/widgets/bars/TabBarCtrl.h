#pragma once

#include <QBasicTimer>
#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

class QToolButton;

namespace nimbra {

class CNimbraView;

// The owner-drawn tab control: one item per tab (text, icon, view), drawn
// as flat buttons or as tabs, in one scrolling row or in several rows. It
// reports clicks, drags and drops; the tab bar decides what they do.
class CTabBarCtrl : public QWidget {
    Q_OBJECT
public:
    enum class EMouse { LeftPress, MiddlePress, MiddleDouble, LeftDouble, RightClick, BackgroundRight };

    static constexpr int kItemHeight = 21;
    static constexpr int kMinTabWidth = 20;
    static constexpr int kDragThreshold = 7;
    static constexpr int kDragTimerMs = 200;

    // The title of a view's document, which a tab's tip shows above its URL.
    using DocumentTitle = std::function<std::string(const CNimbraView& view)>;

    CTabBarCtrl(DocumentTitle documentTitle, QWidget* parent);

    int InsertItem(int index, const QString& text, CNimbraView* view);
    void RemoveItem(int index);
    int Count() const { return int(m_items.size()); }
    void SetItemText(int index, const QString& text);
    QString ItemText(int index) const;
    void SetItemImage(int index, int image);
    int GetImage(int index) const;
    CNimbraView* GetView(int index) const;
    // Exchanges two items (texts, icons, views); the selection follows the
    // moved item.
    void MoveTab(int from, int to);

    int CurrentIndex() const { return m_nCurrent; }
    // Selects an item without telling anyone.
    void SetCurrentIndex(int index);

    int TabAt(const QPoint& pos) const;
    QRect TabRect(int index) const;
    int RowCount() const;

    void SetColors(const QColor& selText, const QColor& unselText, const QColor& selBack, const QColor& unselBack);
    void SetFonts(int selWeight, bool selItalic, bool selUnderline, int unselWeight, bool unselItalic,
                  bool unselUnderline);
    void SetTabMode(bool buttons, bool multiLine);
    void SetFixedWidth(bool on, int width);
    // Tabs drawn against the bottom edge (tab style docked at the bottom).
    void SetBottom(bool bottom);
    bool IsButtonMode() const { return m_bButtons; }
    bool IsMultiLine() const { return m_bMultiLine; }
    // The icon images by index; a null pixmap is no icon.
    void SetImages(std::vector<QPixmap> images);
    // Icons from the resource file ti.bmp, else the built-in set.
    static std::vector<QPixmap> LoadTabImages();

    bool IsDragging() const { return m_bDragging; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    void MouseAction(nimbra::CTabBarCtrl::EMouse gesture, int index, const QPoint& globalPos);
    // A tab dragged onto another.
    void DragDropped(int from, int to);
    void FilesDropped(int index, const QStringList& paths);
    void RowsChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    struct SItem {
        QString text;
        int image = -1;
        QPointer<CNimbraView> view;
        int width = 0;
        QRect rect;
    };

    int MeasureWidth(const SItem& item) const;
    // Measures the item again after its text or icon changed.
    void Remeasure(SItem& item);
    void MeasureAll();
    void Changed(bool sizes);
    void Layout() const;
    void DrawItem(QPainter& p, const SItem& item, bool selected) const;
    void EndDrag();
    void UpdateDragCursor(const QPoint& pos);
    void Scroll(int step);
    int RowHeight() const;
    QPixmap Image(int index) const;

    DocumentTitle m_documentTitle;
    std::vector<SItem> m_items;
    int m_nCurrent = -1;
    QColor m_selText, m_unselText, m_selBack, m_unselBack;
    QFont m_selFont, m_unselFont;
    bool m_bButtons = true;
    bool m_bMultiLine = false;
    bool m_bFixedWidth = false;
    int m_nFixedWidth = kMinTabWidth;
    bool m_bBottom = false;
    std::vector<QPixmap> m_images;

    // Layout, computed when needed.
    mutable bool m_bLayoutDirty = true;
    mutable int m_nRows = 1;
    mutable bool m_bOverflow = false;
    int m_nFirstVisible = 0;
    QToolButton* m_pScrollLeft;
    QToolButton* m_pScrollRight;

    // Drag state.
    int m_nDragSource = -1;
    bool m_bDragging = false;
    QPoint m_pressPoint;
    QPoint m_cursorPos;
    Qt::MouseButtons m_buttons;
    QBasicTimer m_pressTimer;
};

} // namespace nimbra
