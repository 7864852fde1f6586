// The editor's commands: menus, keys, and what each one does.
#include "widgets/editor/BkDialogs.h"
#include "frames/editor/BkMainFrame.h"
#include "data/settings/BkRegistry.h"
#include "widgets/editor/BkView.h"
#include "ui/EditorIds.h"
#include "widgets/editor/LeftView.h"
#include "ui/CommandRouter.h"
#include "ui/MenuResource.h"
#include "platform/Paths.h"
#include "platform/Text.h"

#include <QAction>
#include <QApplication>
#include <QDrag>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>

namespace nimbra::editor {

namespace {

constexpr char kHtmlFilter[] = "HTMLファイル (*.html);;すべてのファイル (*)";

std::string FolderOfFile(const QString& path)
{
    return FromQ(QFileInfo(path).absolutePath());
}

} // namespace

void CBkMainFrame::CreateMenus()
{
    const CMenuResource& resource = CMenuResource::Builtin();
    if (const SMenu* menu = resource.FindMenu("BKEDITOR"))
        setMenuBar(BuildMenuBar(*menu, *m_router, this));
    if (const SMenu* menu = resource.FindMenu("BKLIST"); menu && !menu->items.empty())
        m_listMenu = BuildPopupMenu(menu->items.front(), *m_router, this);
    // The second keys of the in-place edits.
    m_router->Action(ID_BK_EDIT_TITLE)->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_T), QKeySequence(Qt::Key_F2)});
    m_router->Action(ID_BK_EDIT_URL)->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_U), QKeySequence(Qt::Key_F3)});
    m_router->AttachShortcuts(this);
}

void CBkMainFrame::RegisterToggle(int id, bool CBkSettings::*flag)
{
    m_router->SetHandler(CCommandRouter::ELevel::Frame, id, [this, flag] { m_settings.*flag = !(m_settings.*flag); });
    m_router->SetUpdateHandler(CCommandRouter::ELevel::Frame, id,
                               [this, flag](SCmdUI& ui) { ui.SetCheck(m_settings.*flag); });
}

void CBkMainFrame::RegisterCommands()
{
    const auto level = CCommandRouter::ELevel::Frame;
    auto on = [this, level](int id, std::function<void()> handler) { m_router->SetHandler(level, id, std::move(handler)); };
    auto when = [this, level](int id, std::function<bool()> enabled) {
        m_router->SetUpdateHandler(level, id, [enabled = std::move(enabled)](SCmdUI& ui) { ui.Enable(enabled()); });
    };

    on(ID_BK_OPEN, [this] { OnOpen(); });
    on(ID_BK_SAVE, [this] { SaveStandard(); });
    on(ID_BK_SAVE_AS, [this] { OnSaveAs(); });
    on(ID_BK_EXIT, [this] { close(); });
    on(ID_BK_EXIT_WITHOUT_SAVE, [this] {
        m_bCloseSave = false;
        if (!close())
            m_bCloseSave = true;
    });
    on(ID_BK_ABOUT, [this] { OnAbout(); });

    for (int id : {ID_BK_NEW_BOOKMARK, ID_BK_NEW_SEPARATOR, ID_BK_NEW_FOLDER}) {
        on(id, [this, id] { NewEntry(id); });
        when(id, [this] { return SelectedFolder() != nullptr; });
    }
    on(ID_BK_EDIT_TITLE, [this] { EditText(false); });
    on(ID_BK_EDIT_URL, [this] { EditText(true); });
    on(ID_BK_COPY, [this] { CopySelection(false); });
    on(ID_BK_CUT, [this] { CopySelection(true); });
    on(ID_BK_PASTE, [this] { Paste(); });
    when(ID_BK_PASTE, [this] { return m_doc.CanPaste() && SelectedFolder(); });
    on(ID_BK_UNDO, [this] { Undo(); });
    when(ID_BK_UNDO, [this] { return m_doc.CanUndo(); });
    on(ID_BK_DELETE, [this] { DeleteSelection(); });
    on(ID_BK_SELECT_ALL, [this] { m_list->selectAll(); });
    on(ID_BK_NAVIGATE, [this] { NavigateSelection(); });
    on(ID_BK_FIND, [this] { OnFind(true); });
    on(ID_BK_FIND_NEXT, [this] { OnFind(false); });

    on(ID_BK_STATUS_BAR, [this] { statusBar()->setHidden(!statusBar()->isHidden()); });
    m_router->SetUpdateHandler(level, ID_BK_STATUS_BAR, [this](SCmdUI& ui) { ui.SetCheck(!statusBar()->isHidden()); });
    on(ID_BK_EXPAND_ALL, [this] { m_tree->expandAll(); });
    on(ID_BK_COLLAPSE_ALL, [this] {
        m_tree->collapseAll();
        if (QTreeWidgetItem* root = m_tree->topLevelItem(0))
            root->setExpanded(true);
    });
    on(ID_BK_NEXT_FOLDER, [this] { MoveFolderSelection(true); });
    on(ID_BK_PREVIOUS_FOLDER, [this] { MoveFolderSelection(false); });
    on(ID_BK_PARENT_FOLDER, [this] {
        if (CBkItem* folder = SelectedFolder(); folder && folder->Parent())
            m_tree->SelectFolder(folder->Parent());
    });
    on(ID_BK_CHILD_FOLDER, [this] {
        if (CBkItem* item = m_list->Model()->ItemAt(m_list->FocusedRow()); item && item->IsFolder())
            m_tree->SelectFolder(item);
    });
    on(ID_BK_SHOW_BROWSER, [this] { m_navigator.ShowBrowser(); });

    RegisterToggle(ID_BK_DBLCLK_NAVI, &CBkSettings::DblClkNavi);
    RegisterToggle(ID_BK_START_OPEN_TREE, &CBkSettings::StartOpenTree);
    RegisterToggle(ID_BK_DELETE_CHECK, &CBkSettings::DeleteCheck);
    RegisterToggle(ID_BK_FAVORITES_AUTO_SEARCH, &CBkSettings::FavoritesAutoSearch);
    RegisterToggle(ID_BK_NAVI_SHELL, &CBkSettings::NaviShell);
    RegisterToggle(ID_BK_SORT_PRIORITY_FOLDER, &CBkSettings::SortPriorityFolder);
    RegisterToggle(ID_BK_SORT_LIST, &CBkSettings::SortList);
    on(ID_BK_SORT_LIST, [this] {
        m_settings.SortList = !m_settings.SortList;
        m_settings.StoreSortList();
        Tell(this, QStringLiteral("再起動後に有効になります。"), QMessageBox::Warning);
    });
    RegisterToggle(ID_BK_DROP_SEL_FOLDER, &CBkSettings::DropSelFolder);
    on(ID_BK_DROP_SEL_FOLDER, [this] {
        m_settings.DropSelFolder = !m_settings.DropSelFolder;
        m_settings.StoreDropSelFolder();
    });
    on(ID_BK_REGISTRY_CLEANUP, [this] { OnRegistryCleanup(); });
}

CBkItem* CBkMainFrame::SelectedFolder() const
{
    return m_tree->SelectedFolder();
}

CBkMainFrame::EPane CBkMainFrame::ActivePane() const
{
    if (m_tree->hasFocus())
        return EPane::Tree;
    if (m_list->hasFocus())
        return EPane::List;
    return m_activePane;
}

void CBkMainFrame::NewEntry(int id)
{
    CBkItem* folder = SelectedFolder();
    CBkItem* item = id == ID_BK_NEW_BOOKMARK  ? m_doc.NewLink(folder, "新しいブックマーク", "")
                    : id == ID_BK_NEW_FOLDER ? m_doc.NewFolder(folder, "新しいフォルダ")
                                             : m_doc.NewSeparator(folder);
    if (!item)
        return;
    const int row = item->Row();
    m_list->SelectRows({row});
    if (item->IsLink())
        m_list->EditCell(row, 1);
    else if (item->IsFolder())
        m_list->EditCell(row, 0);
}

void CBkMainFrame::EditText(bool url)
{
    if (ActivePane() == EPane::Tree && !url) {
        m_tree->EditLabel(SelectedFolder());
        return;
    }
    int row = m_list->FocusedRow();
    if (row < 0 && !m_list->SelectedRows().empty())
        row = m_list->SelectedRows().front();
    if (row >= 0)
        m_list->EditCell(row, url ? 1 : 0);
}

void CBkMainFrame::CommitText(CBkItem* item, int column, const QString& text)
{
    if (column == 0)
        m_doc.SetTitle(item, FromQ(text));
    else
        m_doc.SetUrl(item, FromQ(text));
}

void CBkMainFrame::DeleteSelection()
{
    if (ActivePane() == EPane::Tree) {
        CBkItem* folder = SelectedFolder();
        if (!folder || !folder->Parent())
            return;
        if (m_settings.DeleteCheck
            && !AskOkCancel(this, QStringLiteral("選択されているフォルダを削除します。\n\nよろしいですか？")))
            return;
        m_doc.DeleteFolder(folder);
        return;
    }
    const std::vector<int> rows = m_list->SelectedRows();
    if (rows.empty())
        return;
    if (m_settings.DeleteCheck
        && !AskOkCancel(this, QStringLiteral("選択されているアイテムをすべて削除します。\n\nよろしいですか？")))
        return;
    m_doc.Delete(m_list->Model()->Folder(), rows);
}

void CBkMainFrame::CopySelection(bool cut)
{
    CBkItem* folder = m_list->Model()->Folder();
    std::vector<int> rows = m_list->SelectedRows();
    if (ActivePane() == EPane::Tree) {
        // The selected folder itself, from its parent's list.
        CBkItem* selected = SelectedFolder();
        if (!selected || !selected->Parent())
            return;
        folder = selected->Parent();
        rows = {selected->Row()};
    }
    if (rows.empty())
        return;
    if (cut)
        m_doc.Cut(folder, rows);
    else
        m_doc.Copy(folder, rows);
}

void CBkMainFrame::Paste()
{
    CBkItem* folder = SelectedFolder();
    const std::vector<int> rows = m_list->SelectedRows();
    const int position = rows.empty() ? 0 : rows.front() + 1;
    const std::vector<CBkItem*> pasted = m_doc.Paste(folder, position);
    if (pasted.empty() || m_list->Model()->Folder() != folder)
        return;
    std::vector<int> selection;
    for (size_t i = 0; i < pasted.size(); ++i)
        selection.push_back(position + int(i));
    m_list->SelectRows(selection);
}

void CBkMainFrame::Undo()
{
    m_doc.Undo();
}

void CBkMainFrame::Activate(int row)
{
    CBkItem* item = m_list->Model()->ItemAt(row);
    if (!item)
        return;
    if (item->IsFolder())
        m_tree->SelectFolder(item);
    else if (item->IsLink())
        Navigate(item->Url());
}

void CBkMainFrame::NavigateSelection()
{
    for (int row : m_list->SelectedRows()) {
        if (CBkItem* item = m_list->Model()->ItemAt(row); item && item->IsLink())
            Navigate(item->Url());
    }
}

void CBkMainFrame::Navigate(const std::string& url)
{
    m_navigator.Navigate(url, m_settings.DblClkNavi, m_settings.NaviShell);
}

void CBkMainFrame::MoveFolderSelection(bool next)
{
    const CBkItem* folder = SelectedFolder();
    if (CBkItem* target = next ? m_doc.NextFolder(folder) : m_doc.PreviousFolder(folder))
        m_tree->SelectFolder(target);
}

void CBkMainFrame::SortColumn(int column)
{
    CBkItem* folder = m_list->Model()->Folder();
    if (!folder)
        return;
    m_sortAscending = column == m_sortColumn ? !m_sortAscending : true;
    m_sortColumn = column;
    m_doc.Sort(folder, column == 0 ? ESortColumn::Title : ESortColumn::Url, m_sortAscending,
               m_settings.SortPriorityFolder);
    m_list->ShowSortIndicator(column, m_sortAscending);
}

void CBkMainFrame::StartDrag(const std::vector<CBkItem*>& items)
{
    if (m_bDragging || items.empty())
        return;
    m_dragItems = items;
    m_bDragging = true;
    auto* drag = new QDrag(this);
    drag->setMimeData(MakeDragMime());
    // Any key ends the drag (see eventFilter): the filter goes in once the
    // drag runs, so that it comes before the drag's own.
    QTimer::singleShot(0, this, [this] {
        if (m_bDragging)
            qApp->installEventFilter(this);
    });
    drag->exec(Qt::MoveAction);
    qApp->removeEventFilter(this);
    drag->deleteLater();
    m_bDragging = false;
    m_dragItems.clear();
    m_idle.start(0);
}

bool CBkMainFrame::CanDrop(const CBkItem* target) const
{
    return m_bDragging && m_doc.CanMove(m_dragItems, target);
}

void CBkMainFrame::Drop(CBkItem* target)
{
    if (!CanDrop(target) || !m_doc.Move(m_dragItems, target))
        return;
    if (m_settings.DropSelFolder)
        m_tree->SelectFolder(target);
}

bool CBkMainFrame::Find(const std::string& text, bool matchCase)
{
    const int row = m_list->FocusedRow() + 1;
    const std::optional<CBkDoc::SHit> hit = m_doc.Find(text, matchCase, SelectedFolder(), row);
    if (!hit)
        return false;
    m_tree->SelectFolder(hit->folder);
    m_list->SelectRows({hit->row});
    return true;
}

void CBkMainFrame::OnFind(bool ask)
{
    if (ask) {
        CBkFindDlg dialog(m_settings.FindHistory, m_settings.FindTextLast, m_settings.FindTextCollate, this);
        if (dialog.exec() != QDialog::Accepted || dialog.Text().empty())
            return;
        m_settings.RememberFind(dialog.Text(), dialog.MatchCase());
    }
    Find(m_settings.FindTextLast, m_settings.FindTextCollate);
}

void CBkMainFrame::OnOpen()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("ファイルから読み込む"),
                                                      ToQ(m_settings.IniDir), QString::fromUtf8(kHtmlFilter));
    if (path.isEmpty())
        return;
    m_settings.IniDir = FolderOfFile(path);
    m_settings.StoreIniDir();
    OpenFile(FromQ(path));
}

void CBkMainFrame::OnSaveAs()
{
    QFileDialog dialog(this, QStringLiteral("バックアップ用に別名で保存"), ToQ(m_settings.IniDir),
                       QString::fromUtf8(kHtmlFilter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("html"));
    dialog.selectFile(QStringLiteral("backup"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().front();
    m_settings.IniDir = FolderOfFile(path);
    m_settings.StoreIniDir();
    SaveAs(FromQ(path));
}

void CBkMainFrame::OnRegistryCleanup()
{
    if (!AskOkCancel(this, QStringLiteral("Nimbra Browserのレジストリ情報を削除します。\nよろしいですか？")))
        return;
    const bool browserRuns = ipc::FindWindow(ipc::kBrowserClass, ToQ(DataDirectory()));
    switch (CleanRegistry(UserConfigDirectory(), browserRuns)) {
    case ERegistryCleanup::BrowserRuns:
        Tell(this,
             QStringLiteral("Nimbra Browserが起動しているのでレジストリの削除ができません。\n\n"
                            "Nimbra Browserを終了させてから再度実行してください。"),
             QMessageBox::Critical);
        break;
    case ERegistryCleanup::NotFound:
        break;
    case ERegistryCleanup::Deleted:
        Tell(this, QStringLiteral("レジストリの削除が完了しました。"), QMessageBox::Information);
        break;
    case ERegistryCleanup::Failed:
        Tell(this, QStringLiteral("レジストリ情報が見つかりません。"), QMessageBox::Critical);
        break;
    }
}

void CBkMainFrame::OnAbout()
{
    CBkAboutDlg dialog([this](const std::string& url) { Navigate(url); }, this);
    dialog.exec();
}

void CBkMainFrame::ShowListMenu(const QPoint& global)
{
    if (m_listMenu) {
        m_router->UpdateMenu(m_listMenu);
        m_listMenu->exec(global);
    }
}

} // namespace nimbra::editor
