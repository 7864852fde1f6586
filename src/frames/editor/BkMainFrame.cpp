#include "frames/editor/BkMainFrame.h"

#include "data/bookmarks/BookmarkMessages.h"
#include "widgets/editor/BkDialogs.h"
#include "widgets/editor/BkView.h"
#include "ui/EditorIds.h"
#include "widgets/editor/LeftView.h"
#include "ui/CommandRouter.h"
#include "platform/InputFile.h"
#include "platform/ModalLoops.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "platform/WindowPlacement.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDrag>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QSplitter>
#include <QStatusBar>

namespace nimbra::editor {

namespace {

constexpr int kRetryMs = 100;

// Why a file that is there could not be read, in the user's words.
QString ReadFailure(const std::string& path)
{
    const QFileInfo info(ToQ(path));
    if (info.isDir())
        return QStringLiteral("フォルダです");
    if (!IsRegularFile(path))
        return QStringLiteral("通常のファイルではありません");
    if (!info.isReadable())
        return QStringLiteral("読み取りが許可されていません");
    return QStringLiteral("読み込みに失敗しました");
}

// Why a file could not be written.
QString WriteFailure(const std::string& path, const std::string& error)
{
    const QFileInfo info(ToQ(path));
    const QFileInfo folder(info.absolutePath());
    if (info.isDir())
        return QStringLiteral("同じ名前のフォルダがあります");
    if (info.exists() && !IsRegularFile(path))
        return QStringLiteral("通常のファイルではありません");
    if (!folder.isDir())
        return QStringLiteral("保存先のフォルダがありません");
    if (!folder.isWritable())
        return QStringLiteral("保存先のフォルダに書き込めません");
    return error.empty() ? QStringLiteral("書き込みに失敗しました")
                         : QStringLiteral("書き込みに失敗しました: %1").arg(ToQ(error));
}

// `folded` tells whether folders deeper than the tree holds were folded in.
std::optional<BookmarkItem> ReadTree(const std::string& path, bool* folded)
{
    *folded = false;
    if (!IsRegularFile(path))
        return std::nullopt;
    return ReadBookmarkFile(path, BookmarkReader::Editor, nullptr, folded);
}

} // namespace

CBkMainFrame::CBkMainFrame() : m_router(new CCommandRouter(this))
{
    m_idle.setSingleShot(true);
    connect(&m_idle, &QTimer::timeout, this, &CBkMainFrame::RunDeferred);
    connect(&m_terminate, &QTimer::timeout, this, &CBkMainFrame::EndForTermination);
    connect(&m_watch, &CBkFileWatch::Changed, this, &CBkMainFrame::OnDiskChanged);
}

CBkMainFrame::~CBkMainFrame()
{
    if (m_job) {
        m_job->progress->cancel = true;
        m_job->future.waitForFinished();
    }
    m_doc.SetObserver(nullptr);
    // The panes still read the document while the window hides them on its
    // way out: they go first, before the document does.
    delete takeCentralWidget();
    m_splitter = nullptr;
    m_tree = nullptr;
    m_list = nullptr;
}

bool CBkMainFrame::Create()
{
    m_endpoint = std::make_unique<ipc::CWindowEndpoint>(
        ipc::kEditorClass, ToQ(DataDirectory()),
        [this](const ipc::Message& message) { return OnWindowMessage(message); });
    if (!m_endpoint->Listen())
        return false;

    m_settings.Load();
    m_standardPath = StandardBookmarkPath();
    m_currentPath = m_standardPath;
    setWindowIcon(QIcon(QStringLiteral(":/nimbrab.svg")));
    CreatePanes();
    CreateMenus();
    RegisterCommands();
    RegisterConvertCommands();
    m_doc.SetObserver(this);
    LoadStandardAtStart();

    resize(800, 600);
    if (const std::optional<SWindowPlacement> placement = ParseWindowPlacement(m_settings.WindowPos)) {
        // Maximised before the first show, as the window is shown normally.
        if (SetWindowPlacement(*this, *placement, SW_SHOWNORMAL) == SW_SHOWMAXIMIZED)
            setWindowState(windowState() | Qt::WindowMaximized);
    }
    // A stored width from a larger screen leaves the list room.
    const int treeWidth = std::min(m_settings.SplitterSize, width() * 2 / 3);
    m_splitter->setSizes({treeWidth, width() - treeWidth});
    statusBar()->setVisible(m_settings.StatusBarVisible);
    UpdateTitle();
    return true;
}

void CBkMainFrame::CreatePanes()
{
    m_splitter = new QSplitter(Qt::Horizontal, this);
    CLeftView::SHandlers tree;
    tree.selected = [this](CBkItem* folder) { ShowFolder(folder); };
    tree.rename = [this](CBkItem* folder, const QString& text) { m_doc.SetTitle(folder, FromQ(text)); };
    tree.deleteKey = [this] {
        m_activePane = EPane::Tree;
        DeleteSelection();
    };
    tree.paste = [this] { Paste(); };
    tree.undo = [this] { Undo(); };
    tree.startDrag = [this](const std::vector<CBkItem*>& items) { StartDrag(items); };
    tree.canDrop = [this](const CBkItem* target) { return CanDrop(target); };
    tree.drop = [this](CBkItem* target) { Drop(target); };
    m_tree = new CLeftView(std::move(tree), m_splitter);
    m_tree->SetExpandDelay(m_settings.ExpandTimer);

    CBkView::SHandlers list;
    list.activate = [this](int row) { Activate(row); };
    list.commit = [this](CBkItem* item, int column, const QString& text) { CommitText(item, column, text); };
    list.sort = [this](int column) { SortColumn(column); };
    list.startDrag = [this](const std::vector<CBkItem*>& items) { StartDrag(items); };
    list.canDrop = [this](const CBkItem* target) { return CanDrop(target); };
    list.drop = [this](CBkItem* target) { Drop(target); };
    list.contextMenu = [this](const QPoint& global) { ShowListMenu(global); };
    list.dropFromOutside = [this](const QMimeData* mime) { DropFromOutside(mime); };
    m_list = new CBkView(m_settings.SortList, std::move(list), m_splitter);
    m_list->header()->resizeSection(0, m_settings.ColumnTitle);
    m_list->header()->resizeSection(1, m_settings.ColumnUrl);

    m_splitter->addWidget(m_tree);
    m_splitter->addWidget(m_list);
    m_splitter->setStretchFactor(1, 1);
    setCentralWidget(m_splitter);
    m_tree->installEventFilter(this);
    m_list->installEventFilter(this);

    m_status = new QLabel(this);
    m_status->setTextFormat(Qt::PlainText);
    statusBar()->addWidget(m_status, 1);
}

bool CBkMainFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (m_bDragging && event->type() == QEvent::KeyPress) {
        QDrag::cancel();
        return true;
    }
    if (event->type() == QEvent::FocusIn && (watched == m_tree || watched == m_list))
        m_activePane = watched == m_tree ? EPane::Tree : EPane::List;
    return QMainWindow::eventFilter(watched, event);
}

void CBkMainFrame::UpdateTitle()
{
    setWindowTitle(QStringLiteral("%1 %2").arg(QString::fromLatin1(kTitle), ToQ(m_currentPath)));
}

QString CBkMainFrame::StatusText() const
{
    return m_status->text();
}

void CBkMainFrame::ShowFolder(CBkItem* folder)
{
    m_list->Model()->SetFolder(folder);
    m_status->setText(folder ? ToQ(CBkDoc::StatusText(*folder)) : QString());
}

// --- The document's changes --------------------------------------------------

void CBkMainFrame::OnTreeReset()
{
    m_tree->Rebuild(m_doc.Root());
    if (m_settings.StartOpenTree)
        m_tree->expandAll();
}

void CBkMainFrame::OnFolderChanged(CBkItem* folder, bool subFolders)
{
    CBkItem* shown = m_list->Model()->Folder();
    if (subFolders)
        m_tree->SyncChildren(folder);
    if (shown && !m_tree->Shows(shown)) {
        // A folder that moved gets its item with the change of its new
        // folder; one that was removed hands the list to the tree's choice.
        if (!shown->IsWithin(m_doc.Root())) {
            ShowFolder(m_tree->SelectedFolder());
            return;
        }
    } else if (shown && m_tree->SelectedFolder() != shown) {
        m_tree->SelectFolder(shown, false);
    }
    if (shown == folder)
        ShowFolder(folder);
}

void CBkMainFrame::OnItemChanged(CBkItem* item)
{
    if (item->IsFolder())
        m_tree->UpdateLabel(item);
    m_list->Model()->RefreshItem(item);
    if (item == m_list->Model()->Folder())
        m_status->setText(ToQ(CBkDoc::StatusText(*item)));
}

// --- Files -------------------------------------------------------------------

void CBkMainFrame::LoadStandardAtStart()
{
    // A file that is not there yet is an empty tree; one that is there but
    // cannot be read is said, and not overwritten unasked.
    const bool there = FileExists(m_standardPath) || IsDirectory(m_standardPath);
    bool folded = false;
    std::optional<BookmarkItem> tree = there ? ReadTree(m_standardPath, &folded) : std::nullopt;
    const bool read = tree.has_value();
    m_doc.Reset(read ? std::move(*tree) : BookmarkItem::Folder({}));
    if (there && !read) {
        m_bStandardUnreadable = true;
        const QString text = QStringLiteral("ブックマークファイル\n%1\nを読み込めませんでした（%2）。\n\n"
                                            "空のブックマークで始めます。このファイルは「保存」を選んだときだけ書き込みます。")
                                 .arg(ToQ(m_standardPath), ReadFailure(m_standardPath));
        Defer([this, text] { Tell(this, text, QMessageBox::Warning); });
    }
    m_bFolded = folded;
    m_cleanRevision = m_doc.Revision();
    m_watch.Watch(m_currentPath);
}

bool CBkMainFrame::OpenFile(const std::string& path)
{
    CommitEdits();
    const std::vector<int> place = m_tree->SelectedPath();
    bool folded = false;
    std::optional<BookmarkItem> tree = ReadTree(path, &folded);
    if (!tree) {
        Tell(this,
             QStringLiteral("ファイル\n%1\nを読み込めませんでした（%2）。")
                 .arg(ToQ(path), FileExists(path) || IsDirectory(path) ? ReadFailure(path)
                                                                          : QStringLiteral("見つかりません")),
             QMessageBox::Warning);
        return false;
    }
    m_reload = EReload::None;
    m_bSavedForBrowser = false;
    m_bDiskChanged = false;
    m_doc.Reset(std::move(*tree));
    m_currentPath = path;
    m_bFolded = folded;
    m_cleanRevision = m_doc.Revision();
    m_watch.Watch(m_currentPath);
    m_tree->SelectPath(place);
    UpdateTitle();
    return true;
}

bool CBkMainFrame::WriteTree(const std::string& path, std::string* text, bool inMessage)
{
    const BookmarkItem tree = m_doc.ToFileTree();
    std::string error;
    // A FIFO or device would be written in place, and a FIFO waits for a reader.
    const bool special = (FileExists(path) || IsDirectory(path)) && !IsRegularFile(path);
    if (special || !WriteBookmarkFile(path, tree, &error)) {
        const QString message = QStringLiteral("ブックマークファイル\n%1\nに保存できませんでした（%2）。")
                                    .arg(ToQ(path), WriteFailure(path, error));
        // Inside a message of the browser, which waits, the box comes later.
        if (inMessage)
            Defer([this, message] { Tell(this, message, QMessageBox::Critical); });
        else
            Tell(this, message, QMessageBox::Critical);
        return false;
    }
    if (text)
        *text = FormatBookmarkFile(tree);
    if (path == m_watch.Path())
        m_watch.Remember();
    return true;
}

void CBkMainFrame::NotifyBrowser()
{
    // Posted: the browser may be waiting on a message of its own to us.
    if (m_bNotifyBrowser)
        ipc::PostWindowMessage(ipc::kBrowserClass, ToQ(DataDirectory()), {ipc::WM_USER_BOOKMARK_MENU_RELOAD, 0, {}});
}

// Another program changed the file since this one read or wrote it: ask.
bool CBkMainFrame::MayOverwrite(const std::string& path)
{
    if (path != m_watch.Path() || Announced() || !(m_bDiskChanged || m_watch.DiffersFromRemembered()))
        return true;
    return AskOkCancel(this, QStringLiteral("ブックマークファイル\n%1\nは他のプログラムによって変更されています。\n\n"
                                            "上書き保存してもよろしいですか？")
                                 .arg(ToQ(path)));
}

// The tree of a file read with its deepest folders folded in would write
// them folded: ask before it replaces that file.
bool CBkMainFrame::MayFold(const std::string& path)
{
    if (!m_bFolded || path != m_currentPath)
        return true;
    return AskOkCancel(this, QStringLiteral("ブックマークファイル\n%1\nはフォルダが %2 階層より深いため、"
                                            "それより深いフォルダの中身をその上のフォルダに入れて読み込みました。\n\n"
                                            "上書き保存するとファイルもそのようになります。上書き保存してもよろしいですか？")
                                 .arg(ToQ(path))
                                 .arg(kMaxFolderDepth));
}

bool CBkMainFrame::SaveStandard()
{
    CommitEdits();
    if (m_reload != EReload::None)
        Reload();
    if (!MayFold(m_standardPath) || !MayOverwrite(m_standardPath) || !WriteTree(m_standardPath))
        return false;
    m_currentPath = m_standardPath;
    m_bStandardUnreadable = false;
    m_bFolded = false;
    m_bDiskChanged = false;
    m_cleanRevision = m_doc.Revision();
    if (m_watch.Path() != m_currentPath)
        m_watch.Watch(m_currentPath);
    UpdateTitle();
    NotifyBrowser();
    return true;
}

bool CBkMainFrame::SaveAs(const std::string& path)
{
    CommitEdits();
    if (m_reload != EReload::None)
        Reload();
    if (!MayFold(path) || !MayOverwrite(path) || !WriteTree(path))
        return false;
    NotifyBrowser();
    m_currentPath = path;
    m_bFolded = false;
    m_bDiskChanged = false;
    m_cleanRevision = m_doc.Revision();
    m_watch.Watch(m_currentPath);
    UpdateTitle();
    return true;
}

bool CBkMainFrame::CloseSave()
{
    if (!m_bCloseSave)
        return true;
    if (m_currentPath != m_standardPath) {
        const QString question = QStringLiteral("編集中のブックマークを標準ブックマークファイル\n%1\nに上書き保存しようとしています。\n\n"
                                                "上書き保存してもよろしいですか？")
                                     .arg(ToQ(m_standardPath));
        if (!AskOkCancel(this, question))
            return true;
    } else if (m_bStandardUnreadable) {
        // Never read: it is replaced only when the user saves.
        return true;
    } else if (m_bFolded && (m_doc.Revision() == m_cleanRevision || !MayFold(m_standardPath))) {
        // Not read whole: rewritten only for edits the user confirms.
        return true;
    }
    if (!MayOverwrite(m_standardPath))
        return false;
    if (!WriteTree(m_standardPath))
        return false;
    NotifyBrowser();
    return true;
}

void CBkMainFrame::StoreSettings()
{
    const QList<int> sizes = m_splitter->sizes();
    if (!sizes.isEmpty())
        m_settings.SplitterSize = sizes.front();
    m_settings.ColumnTitle = m_list->header()->sectionSize(0);
    m_settings.ColumnUrl = m_list->header()->sectionSize(1);
    m_settings.WindowPos = FormatWindowPlacement(GetWindowPlacement(*this));
    m_settings.StatusBarVisible = !statusBar()->isHidden();
    m_settings.StoreAtClose();
}

void CBkMainFrame::closeEvent(QCloseEvent* event)
{
    if (m_bClosing) {
        event->accept();
        return;
    }
    CommitEdits();
    // What the browser or another program wrote is taken before the save.
    if (m_reload != EReload::None)
        Reload();
    m_bInClose = true;
    const bool saved = CloseSave();
    m_bInClose = false;
    if (!saved && !m_bTerminating) {
        event->ignore();
        return;
    }
    m_bClosing = true;
    StoreSettings();
    m_endpoint->Close();
    event->accept();
    Q_EMIT Closed();
}

void CBkMainFrame::RunCommand(int id)
{
    // As a menu click: an open edit ends first; a dialog or a drag holds it.
    if (IsModal()) {
        Defer([this, id] { RunCommand(id); });
        return;
    }
    CommitEdits();
    if (m_router->Query(id).enabled)
        m_router->Execute(id);
}

void CBkMainFrame::RequestClose()
{
    Defer([this] {
        CommitEdits();
        close();
    });
}

void CBkMainFrame::Terminate()
{
    m_bTerminating = true;
    m_terminate.start(kRetryMs);
    EndForTermination();
}

void CBkMainFrame::EndForTermination()
{
    if (m_bClosing)
        return;
    if (m_job)
        m_job->progress->cancel = true;
    if (m_bDragging)
        QDrag::cancel();
    // The loops return first; the next round closes.
    if (ModalLoopRunning()) {
        EndModalLoops();
        return;
    }
    if (m_job || m_bDragging || m_bInClose)
        return;
    CommitEdits();
    close();
}

// --- Messages ----------------------------------------------------------------

qint64 CBkMainFrame::OnWindowMessage(const ipc::Message& message)
{
    switch (message.id) {
    case ipc::WM_CLOSE:
        // Replied at once: the browser waits while it closes.
        RequestClose();
        break;
    case ipc::kMsgActivateWindow:
        if (isMinimized())
            showNormal();
        raise();
        activateWindow();
        break;
    case ipc::kMsgFlashWindow:
        QApplication::alert(this);
        break;
    case ipc::kMsgHideWindow:
        // The browser went to the task tray and takes this window with it.
        if (isVisible()) {
            m_bHiddenByBrowser = true;
            hide();
        }
        break;
    case ipc::kMsgShowWindow:
        if (std::exchange(m_bHiddenByBrowser, false))
            show();
        break;
    case WM_COMMAND:
        if (message.tag > 0 && message.tag <= 0xFFFF)
            RunCommand(int(message.tag));
        break;
    case ipc::WM_USER_BOOKMARK_WILL_CHANGE:
        OnWillChange();
        break;
    case ipc::WM_USER_BOOKMARK_CHANGED:
        OnChanged();
        break;
    case ipc::WM_USER_BOOKMARK_PATH_CHANGED:
        m_standardPath = StandardBookmarkPath();
        break;
    case ipc::WM_USER_BROWSER_CLOSING:
        m_bNotifyBrowser = false;
        break;
    default:
        break;
    }
    return 0;
}

void CBkMainFrame::OnWillChange()
{
    m_bAnnounced = true;
    // The file is ahead of the tree already: the pending reload takes it all.
    if (m_reload == EReload::Browser || m_bClosing)
        return;
    if (StandardBookmarkPath() != m_currentPath)
        return;
    // A file never read or not read whole, or one changed by someone else,
    // is not overwritten unasked.
    if (m_bStandardUnreadable || m_bFolded || m_watch.DiffersFromRemembered())
        return;
    std::string text;
    if (!WriteTree(m_standardPath, &text, true))
        return;
    m_saved = m_doc.Snapshot(text);
    m_cleanRevision = m_doc.Revision();
    m_bSavedForBrowser = true;
    NotifyBrowser();
}

void CBkMainFrame::OnChanged()
{
    m_bAnnounced = false;
    if (m_bSavedForBrowser) {
        m_bSavedForBrowser = false;
        m_reload = EReload::Browser;
    }
    if (m_reload != EReload::None) {
        // After the reply, so that the browser goes on at once.
        m_idle.start(0);
        return;
    }
    ShowFolder(m_tree->SelectedFolder());
}

bool CBkMainFrame::Announced() const
{
    // A browser that went away in the middle sends no CHANGED any more.
    return m_bAnnounced && ipc::FindWindow(ipc::kBrowserClass, ToQ(DataDirectory()));
}

void CBkMainFrame::OnDiskChanged()
{
    if (m_bClosing || m_reload == EReload::Browser || Announced())
        return;
    if (m_doc.Revision() == m_cleanRevision) {
        m_reload = EReload::Disk;
        m_idle.start(0);
    } else {
        m_bDiskChanged = true;
    }
}

void CBkMainFrame::Reload()
{
    const EReload kind = m_reload;
    m_reload = EReload::None;
    bool folded = false;
    std::optional<BookmarkItem> disk = ReadTree(m_currentPath, &folded);
    if (!disk)
        return;
    if (m_doc.Revision() != m_cleanRevision) {
        // Edits since the file was written: keep them and the journal.
        if (kind == EReload::Browser)
            m_doc.MergeAppended(m_saved, *disk);
        else
            m_bDiskChanged = true;
    } else {
        const std::vector<int> place = m_tree->SelectedPath();
        m_doc.Reset(std::move(*disk));
        m_tree->SelectPath(place);
        m_bFolded = folded;
        m_cleanRevision = m_doc.Revision();
        m_bDiskChanged = false;
    }
    if (!m_bDiskChanged)
        m_watch.Remember();
}

// --- Deferred work -----------------------------------------------------------

bool CBkMainFrame::IsModal() const
{
    return m_bDragging || m_job || QApplication::activeModalWidget() != nullptr;
}

bool CBkMainFrame::IsEditing() const
{
    return m_tree->IsEditing() || m_list->IsEditing();
}

void CBkMainFrame::CommitEdits()
{
    m_tree->CommitOpenEditor();
    m_list->CommitOpenEditor();
}

void CBkMainFrame::Defer(std::function<void()> work)
{
    m_deferred.push_back(std::move(work));
    m_idle.start(0);
}

void CBkMainFrame::RunDeferred()
{
    while (!m_deferred.empty()) {
        if (IsModal()) {
            m_idle.start(kRetryMs);
            return;
        }
        std::function<void()> work = std::move(m_deferred.front());
        m_deferred.pop_front();
        work();
    }
    // A reload replaces entries that an edit, a drag or a dialog may hold.
    if (m_reload != EReload::None) {
        if (IsModal() || IsEditing())
            m_idle.start(kRetryMs);
        else
            Reload();
    }
}

} // namespace nimbra::editor
