#pragma once

#include "widgets/bookmarks/BookmarkMenu.h"

#include <QObject>

#include <string>

namespace nimbra {

struct CFrameSettings;
class CLinkBar;
class CMainFrame;
class CNimbraView;

// The main frame's bookmark commands: the bookmark menu with its URL table,
// the link bar, opening bookmarks and adding pages to the file.
class CBookmarkCommands : public QObject {
    Q_OBJECT
public:
    // Registers the handlers on the frame's command table.
    explicit CBookmarkCommands(CMainFrame& frame);

    // Rebuilds the bookmark menu, the link bar and the side-bar tree from
    // the file; an unreadable file is created empty.
    void Reload();
    // The same, with the file read on a worker thread: the window goes on
    // (the first page loads) meanwhile. A Reload() before it is done wins.
    void ReloadInBackground();
    // A ReloadInBackground() not applied yet (or the frame's first one
    // not even started).
    bool Loading() const { return m_bLoading; }
    // A bookmark command: opens its URL through the address bar, in a new
    // tab when asked or when bookmarks always open in one.
    void OpenBookmark(int id, bool newTab = false);
    // "追加(&A)...": the page of `view` to the root list or through the dialog.
    void AddPage(CNimbraView* view);
    // The add dialog for a link of a page.
    void AddLink(const std::string& title, const std::string& url);
    // Appends one link to the root list and to the menu, without a rebuild.
    void AddToRoot(const std::string& title, const std::string& url);
    // "すべて追加(&C)": every titled tab, in tab order, to the root list.
    void AddAllPages();

    CBookmarkMenu& Menu() { return m_menu; }
    CLinkBar* LinkBar() const { return m_pLinkBar; }
    // LinkBarDrawImg and the button width.
    void ApplyLinkBarSettings(const CFrameSettings& settings);

private:
    struct SLoad {
        std::shared_ptr<const BookmarkItem> root; // nullptr when the file could not be read
        EInputFileError error = EInputFileError::None;
    };
    static SLoad Load(const std::string& path);
    // Rebuilds from what Load() found.
    void Apply(QMenu* menu, const std::string& path, SLoad load);
    void Register();
    CBookmarkMenu::Options MenuOptions() const;
    std::string Path() const;

    CMainFrame& m_frame;
    CBookmarkMenu m_menu;
    CLinkBar* m_pLinkBar;
    // From the start until the frame's first read is applied.
    bool m_bLoading = true;
    // Counts the reloads; a background read applies only if none came after it.
    unsigned m_nReloads = 0;
};

// Creates the frame's bookmark commands and registers their handlers.
void RegisterBookmarkCommands(CMainFrame& frame);
// The frame's bookmark commands, nullptr before they were registered.
CBookmarkCommands* BookmarkCommandsOf(const CMainFrame& frame);
// WM_USER_BOOKMARK_MENU_RELOAD.
void ReloadBookmarkMenu(CMainFrame& frame);

} // namespace nimbra
