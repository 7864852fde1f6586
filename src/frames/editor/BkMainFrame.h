#pragma once

#include "data/bookmarks/BkConvert.h"
#include "data/bookmarks/BkDoc.h"
#include "data/bookmarks/BkFileWatch.h"
#include "widgets/editor/BkNavigator.h"
#include "data/settings/BkSettings.h"
#include "platform/Ipc.h"

#include <QFuture>
#include <QMainWindow>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>

class QLabel;
class QMimeData;
class QMenu;
class QSplitter;

namespace nimbra {
class CCommandRouter;
} // namespace nimbra

namespace nimbra::editor {

class CBkView;
class CLeftView;

// The editor's main window: the folder tree beside the item list, the
// menus, the messages of the browser, saving and closing.
class CBkMainFrame : public QMainWindow, private CBkDoc::IObserver {
    Q_OBJECT
public:
    static constexpr char kTitle[] = "Nimbra Browser [Bookmark Editor]";

    CBkMainFrame();
    ~CBkMainFrame() override;

    // Reads the settings, listens for the other program, loads the standard
    // file and places the window. False when the endpoint cannot listen.
    bool Create();

    CBkDoc& Doc() { return m_doc; }
    CLeftView* Tree() const { return m_tree; }
    CBkView* List() const { return m_list; }
    CCommandRouter& Router() { return *m_router; }
    CBkSettings& Settings() { return m_settings; }
    CBkNavigator& Navigator() { return m_navigator; }
    const std::string& StandardPath() const { return m_standardPath; }
    const std::string& CurrentPath() const { return m_currentPath; }
    QString StatusText() const;

    // A message from the other program; the reply of a sent one.
    qint64 OnWindowMessage(const ipc::Message& message);
    // Closes as WM_CLOSE does: once no dialog or drag is running.
    void RequestClose();
    // Closes for the end of the session (SIGTERM): dialogs, a drag and an
    // import or export end as a cancel would, questions of the close
    // included, and the window closes even when its save fails.
    void Terminate();
    // A command as a menu click runs it (WM_COMMAND).
    void RunCommand(int id);

    // Loads a file as a new tree and makes it the current file. False (and
    // nothing changed) when it exists but cannot be read.
    bool OpenFile(const std::string& path);
    // Saves to the standard file, which becomes the current file.
    bool SaveStandard();
    bool SaveAs(const std::string& path);
    // Runs a search from the selection on.
    bool Find(const std::string& text, bool matchCase);

    // The pane the commands that act on "the focused pane" go to.
    enum class EPane { Tree, List };
    void SetActivePane(EPane pane) { m_activePane = pane; }

    // Runs queued work now if nothing holds it back (tests).
    void RunDeferred();

    // True while an import or export runs off the UI thread.
    bool JobRunning() const { return m_job != nullptr; }
    // Files and links dropped on the list from other programs.
    void DropFromOutside(const QMimeData* mime);

Q_SIGNALS:
    // The window closed for good: the program ends with it, also when it
    // was hidden (no last visible window closes then).
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // CBkDoc::IObserver
    void OnTreeReset() override;
    void OnFolderChanged(CBkItem* folder, bool subFolders) override;
    void OnItemChanged(CBkItem* item) override;

    void CreatePanes();
    void CreateMenus();
    void RegisterCommands();
    void RegisterToggle(int id, bool CBkSettings::*flag);
    void UpdateTitle();
    void ShowFolder(CBkItem* folder);

    // Files
    void LoadStandardAtStart();
    // Reports a failure at once, or after the current message when `inMessage`.
    bool WriteTree(const std::string& path, std::string* text = nullptr, bool inMessage = false);
    void NotifyBrowser();
    bool MayOverwrite(const std::string& path);
    bool MayFold(const std::string& path);
    bool CloseSave();
    void StoreSettings();

    // The browser's messages
    void OnWillChange();
    void OnChanged();
    void OnDiskChanged();
    // Between WILL_CHANGE and CHANGED of a browser that still runs.
    bool Announced() const;
    enum class EReload { None, Browser, Disk };
    void Reload();

    // Work that must wait for dialogs, drags and in-place edits.
    bool IsModal() const;
    bool IsEditing() const;
    void CommitEdits();
    void Defer(std::function<void()> work);
    // One round of Terminate(), repeated until the window is closed.
    void EndForTermination();

    // Commands
    CBkItem* SelectedFolder() const;
    EPane ActivePane() const;
    void NewEntry(int id);
    void EditText(bool url);
    void DeleteSelection();
    void CopySelection(bool cut);
    void Paste();
    void Undo();
    void Activate(int row);
    void NavigateSelection();
    void Navigate(const std::string& url);
    void MoveFolderSelection(bool next);
    void CommitText(CBkItem* item, int column, const QString& text);
    void SortColumn(int column);
    void StartDrag(const std::vector<CBkItem*>& items);
    bool CanDrop(const CBkItem* target) const;
    void Drop(CBkItem* target);
    void OnOpen();
    void OnSaveAs();
    void OnFind(bool ask);
    void OnRegistryCleanup();
    void OnAbout();
    void ShowListMenu(const QPoint& global);

    // Imports and exports (BkConvertCommands.cpp)
    struct SJob {
        std::shared_ptr<SBkProgress> progress;
        QFuture<void> future;
    };
    void RegisterConvertCommands();
    void ImportFavorites(bool replace);
    void ImportNetscape(bool replace);
    // Reads on a worker into the selected folder (or in place of the
    // tree); `failure` gives the message for a result not to take, empty
    // when it is taken.
    void RunImport(const QString& title, bool replace, std::function<SBkImport(SBkProgress&, int room)> read,
                   std::function<QString(const SBkImport&)> failure);
    void AddBookmarkFile();
    void ExportNetscape();
    void ExportFavorites();
    void AddListFile();
    void SaveListFile();
    // The Favorites folder by the setting or the browse dialog; empty when
    // there is none (said) or the user cancelled.
    std::string FavoritesFolder(bool import);
    bool ConfirmReplace(const QString& source);
    // Runs `work` off the UI thread under a progress dialog with Cancel;
    // `done` runs on the UI thread after it.
    void RunJob(const QString& text, std::function<void(SBkProgress&)> work, std::function<void(bool cancelled)> done);
    // Imported entries as a new tree, or appended to a folder (one record).
    void TakeImport(BkItemList items, bool replace, uint64_t folderId);

    CBkSettings m_settings;
    CBkDoc m_doc;
    CBkNavigator m_navigator;
    CCommandRouter* m_router;
    CLeftView* m_tree = nullptr;
    CBkView* m_list = nullptr;
    QSplitter* m_splitter = nullptr;
    QLabel* m_status = nullptr;
    std::unique_ptr<ipc::CWindowEndpoint> m_endpoint;
    CBkFileWatch m_watch;

    std::string m_standardPath;
    std::string m_currentPath;
    EPane m_activePane = EPane::List;

    bool m_bCloseSave = true;        // off after "保存しないで終了"
    bool m_bNotifyBrowser = true;    // off after WM_USER_BROWSER_CLOSING
    bool m_bSavedForBrowser = false; // saved on WM_USER_BOOKMARK_WILL_CHANGE
    bool m_bAnnounced = false;       // between WILL_CHANGE and CHANGED
    bool m_bStandardUnreadable = false;
    bool m_bFolded = false;          // the current file's deepest folders were folded in
    bool m_bDiskChanged = false;     // the file changed under an edited tree
    bool m_bClosing = false;
    bool m_bInClose = false;         // the close event is running (it may ask)
    bool m_bTerminating = false;
    bool m_bDragging = false;
    bool m_bHiddenByBrowser = false; // hidden with the browser in the task tray
    EReload m_reload = EReload::None;
    SBkSnapshot m_saved;             // the tree as the WILL_CHANGE save wrote it
    uint64_t m_cleanRevision = 0;    // the revision that matches the file
    std::vector<CBkItem*> m_dragItems;
    std::deque<std::function<void()>> m_deferred;
    QTimer m_idle;
    QTimer m_terminate;
    QMenu* m_listMenu = nullptr;
    std::shared_ptr<SJob> m_job;
    int m_sortColumn = -1;
    bool m_sortAscending = true;
};

} // namespace nimbra::editor
