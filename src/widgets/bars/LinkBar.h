#pragma once

#include "widgets/bars/BandChild.h"
#include "widgets/bookmarks/BookmarkMenu.h"

#include <QIcon>
#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

class QToolButton;

namespace nimbra {

inline constexpr int kLinkBarMoreButtonId = 20001;
inline constexpr int kLinkBarMoreWidth = 13;
inline constexpr int kLinkButtonTop = 1;
inline constexpr int kLinkButtonHeight = 20;

// One entry of the link bar: a link (its command) or a folder (command -1,
// its menu). The title is the text as shown.
struct SLinkEntry {
    QString title;
    QString url;
    int command = -1;
    QPointer<QMenu> menu;
    bool IsFolder() const { return command < 0; }
};

class CLinkBar;

// A flat button of the link bar. A link runs its command when released over
// it (a middle click opens it in a new tab); a folder drops its menu.
class CLinkButton : public QWidget {
    Q_OBJECT
public:
    CLinkButton(CLinkBar& bar, int index);

    int Index() const { return m_nIndex; }
    void SetIndex(int index);
    const SLinkEntry& Entry() const;
    // The folder menu below the button.
    void DropMenu();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    void ShowToolTip();

    CLinkBar& m_bar;
    int m_nIndex;
    bool m_bPressed = false;  // drawn down
    bool m_bCaptured = false; // a left press not yet released
    bool m_bHot = false;
    QPointer<QMenu> m_pDropped;
    QTimer m_tipTimer;
};

// The links folder as a row of buttons. Entries are kept as data; only the
// buttons that fit are widgets, so a folder of any size costs a bounded
// layout. What does not fit is listed by the more button (and the band's
// chevron).
class CLinkBar : public QWidget, public IBookmarkLinkBar, public IBandChild {
    Q_OBJECT
public:
    // `run` gets the command of a chosen link, `runInNewTab` that of a
    // middle-clicked one. Both are called after the click, never inside it.
    CLinkBar(std::function<void(int id)> run, std::function<void(int id)> runInNewTab, QWidget* parent = nullptr);

    // `fixedWidth` < 0: each button as wide as its title.
    void SetLook(bool drawImages, int fixedWidth);
    bool DrawsImages() const { return m_bDrawImages; }

    void ClearButtons() override { RemoveAllButtons(); }
    void AddButton(const std::string& title, const std::string& url, int id, QMenu* dropDown) override;
    void RemoveAllButtons();
    void Relayout();
    void ShowHiddenItems(const QRect& chevron) override;

    int EntryCount() const { return int(m_entries.size()); }
    const SLinkEntry& EntryAt(int index) const { return m_entries[size_t(index)]; }
    // Index of the first entry that does not fit; EntryCount() when all do.
    int FirstHidden() const { return m_nFirstHidden; }
    // The width of an entry's button.
    int ButtonWidth(int index);
    // The buttons on show, left to right.
    std::vector<CLinkButton*> VisibleButtons() const;
    QToolButton* MoreButton() const { return m_pMore; }
    // The list of hidden entries while it is open.
    QMenu* MoreMenu() const { return m_pMoreMenu; }

    const QIcon& Icon(bool folder) const { return folder ? m_folderIcon : m_linkIcon; }
    void Run(int command, bool newTab);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Places entry `index` at m_nNextX if it fits; false (and the more
    // button shown) when it does not.
    bool Place(int index);
    void ShowMoreList(const QPoint& at);
    CLinkButton* ButtonAt(int slot);

    std::function<void(int)> m_run;
    std::function<void(int)> m_runInNewTab;
    bool m_bDrawImages = true;
    int m_nFixedWidth = -1;
    QIcon m_linkIcon;
    QIcon m_folderIcon;
    std::vector<SLinkEntry> m_entries;
    std::vector<int> m_widths; // measured widths, -1 until needed
    std::vector<CLinkButton*> m_buttons; // slot i shows entry i while i < m_nFirstHidden
    int m_nFirstHidden = 0;
    int m_nNextX = 0;
    QToolButton* m_pMore;
    QPointer<QMenu> m_pMoreMenu;
};

} // namespace nimbra
