#include "widgets/bookmarks/BookmarkCommands.h"

#include "widgets/bars/AddressCombo.h"
#include "widgets/bars/LinkBar.h"
#include "frames/browser/ViewManager.h"
#include "widgets/bookmarks/AddBookmarkDlg.h"
#include "data/bookmarks/BookmarkMessages.h"
#include "ui/CommandRouter.h"
#include "frames/browser/MainFrame.h"
#include "platform/LowPriority.h"
#include "platform/MessageBox.h"
#include "widgets/view/NimbraView.h"

#include <QFutureWatcher>
#include <QMenuBar>

namespace nimbra {

namespace {
constexpr char kUntitled[] = "タイトル不明";
constexpr char kBookmarkFileRefusedText[] =
    "ブックマークファイルが通常のファイルでないか、64 MB を超えています。\n\nブックマークを読み込めませんでした。";
} // namespace

CBookmarkCommands::CBookmarkCommands(CMainFrame& frame)
    : QObject(&frame),
      m_frame(frame),
      m_menu([&frame](int id) { frame.ExecuteCommand(id); }),
      m_pLinkBar(new CLinkBar([&frame](int id) { frame.ExecuteCommand(id); },
                              [this](int id) { OpenBookmark(id, true); }, &frame))
{
    setObjectName(QStringLiteral("BookmarkCommands"));
    m_menu.SetLinkBar(m_pLinkBar);
    Register();
}

void CBookmarkCommands::ApplyLinkBarSettings(const CFrameSettings& settings)
{
    m_pLinkBar->SetLook(settings.LinkBarDrawImg != 0, settings.LinkBarBtnWidth);
}

void CBookmarkCommands::Register()
{
    CCommandTable& t = m_frame.Router().Table(CCommandRouter::ELevel::Frame);
    t.SetHandler(ID_BOOKMARK_ADD, [this] { AddPage(m_frame.ActiveView()); });
    t.SetUpdateHandler(ID_BOOKMARK_ADD, [this](SCmdUI& ui) { ui.Enable(m_frame.ActiveView() != nullptr); });
    t.SetHandler(ID_BOOKMARK_ADD_TAB, [this] {
        CNimbraView* view = m_frame.ContextView();
        m_frame.m_nContextTab = -1;
        AddPage(view);
    });
    t.SetHandler(ID_BOOKMARK_ADD_ALL, [this] { AddAllPages(); });
    t.SetRangeHandler(ID_BOOKMARK_FIRST, ID_BOOKMARK_LAST, [this](int id) { OpenBookmark(id); });
}

std::string CBookmarkCommands::Path() const
{
    return m_frame.Host().Settings().GetString(EKey::BookmarkPath);
}

CBookmarkMenu::Options CBookmarkCommands::MenuOptions() const
{
    const CFrameSettings& settings = m_frame.FrameSettings();
    return {settings.MenuTitle != 0, settings.MenuTitleLength};
}

CBookmarkCommands::SLoad CBookmarkCommands::Load(const std::string& path)
{
    SLoad load;
    std::optional<BookmarkItem> root = ReadBookmarkFile(path, BookmarkReader::Browser, &load.error);
    if (root)
        load.root = std::make_shared<const BookmarkItem>(std::move(*root));
    return load;
}

void CBookmarkCommands::Apply(QMenu* menu, const std::string& path, SLoad load)
{
    if (!load.root) {
        m_menu.Clear(menu);
        // A FIFO or an oversized file is refused, never replaced.
        if (load.error == EInputFileError::NotRegular || load.error == EInputFileError::TooLarge)
            ShowMessage(&m_frame, QString::fromUtf8(kBookmarkFileRefusedText), QMessageBox::Warning);
        else
            WriteEmptyBookmarkFile(path);
        return;
    }
    m_menu.Rebuild(menu, std::move(load.root), MenuOptions());
}

void CBookmarkCommands::Reload()
{
    ++m_nReloads;
    m_bLoading = false;
    QMenu* menu = FindBookmarkMenu(m_frame.MainMenu());
    if (!menu)
        return;
    const std::string path = Path();
    if (path.empty()) {
        m_menu.Clear(menu);
        return;
    }
    Apply(menu, path, Load(path));
}

void CBookmarkCommands::ReloadInBackground()
{
    const std::string path = Path();
    if (path.empty() || !FindBookmarkMenu(m_frame.MainMenu())) {
        Reload();
        return;
    }
    const unsigned reload = ++m_nReloads;
    m_bLoading = true;
    auto* watcher = new QFutureWatcher<SLoad>(this);
    connect(watcher, &QFutureWatcher<SLoad>::finished, this, [this, watcher, reload, path] {
        watcher->deleteLater();
        if (reload != m_nReloads)
            return;
        m_bLoading = false;
        if (QMenu* menu = FindBookmarkMenu(m_frame.MainMenu()))
            Apply(menu, path, watcher->result());
    });
    // At the lowest priority: the first page, which the start races, comes
    // first; the menus and the link bar follow a moment later.
    watcher->setFuture(LowPriorityRun([path] { return Load(path); }));
}

void CBookmarkCommands::OpenBookmark(int id, bool newTab)
{
    const std::string url = m_menu.UrlOf(id);
    if (url.empty())
        return;
    const CFrameSettings& settings = m_frame.FrameSettings();
    m_frame.AddressCombo()->Go(url, 0, newTab || settings.BookmarkNewTab == 1 ? 1 : 0, 0, 0);
    if (settings.BKSetFocusView != 0)
        m_frame.PostFocusView();
}

void CBookmarkCommands::AddPage(CNimbraView* view)
{
    if (!view)
        return;
    const std::string url = view->GetLocationURL();
    if (url.empty())
        return;
    if (m_frame.FrameSettings().BookmarkAddRoot != 0) {
        AddToRoot(view->GetLocationName(), url);
        return;
    }
    AddLink(view->m_strTitle.empty() ? view->GetLocationName() : view->m_strTitle, url);
}

void CBookmarkCommands::AddLink(const std::string& title, const std::string& url)
{
    ipc::SendToEditor(ipc::WM_USER_BOOKMARK_WILL_CHANGE);
    CAddBookmarkDlg dialog(&m_frame, Path(), title, url, [this] { Reload(); });
    if (RunBookmarkDialog(dialog) == QDialog::Accepted)
        ipc::SendToEditor(ipc::WM_USER_BOOKMARK_CHANGED);
}

void CBookmarkCommands::AddToRoot(const std::string& title, const std::string& url)
{
    ipc::SendToEditor(ipc::WM_USER_BOOKMARK_WILL_CHANGE);
    if (url.empty())
        return;
    const std::string text = title.empty() ? std::string(kUntitled) : title;
    QMenu* menu = FindBookmarkMenu(m_frame.MainMenu());
    if (!menu)
        return;
    switch (AddPagesToRoot(Path(), {{url, text}})) {
    case RootAddResult::Added:
        // A read still running may have missed the new line.
        if (m_bLoading)
            Reload();
        else
            m_menu.AppendRootLink(menu, text, url, MenuOptions());
        ipc::SendToEditor(ipc::WM_USER_BOOKMARK_CHANGED);
        break;
    case RootAddResult::WriteFailed:
        ipc::SendToEditor(ipc::WM_USER_BOOKMARK_CHANGED);
        break;
    case RootAddResult::Unreadable:
    case RootAddResult::Unsuitable:
        break;
    }
}

void CBookmarkCommands::AddAllPages()
{
    const std::vector<CNimbraView*> views = m_frame.ViewManager()->Views();
    if (views.empty())
        return;
    ipc::SendToEditor(ipc::WM_USER_BOOKMARK_WILL_CHANGE);
    std::vector<BookmarkPage> pages;
    for (CNimbraView* view : views) {
        std::string title = view->GetLocationName();
        if (!title.empty())
            pages.push_back({view->GetLocationURL(), std::move(title)});
    }
    if (AddPagesToRoot(Path(), pages) != RootAddResult::Added)
        return;
    ipc::SendToEditor(ipc::WM_USER_BOOKMARK_CHANGED);
    Reload();
}

void RegisterBookmarkCommands(CMainFrame& frame)
{
    new CBookmarkCommands(frame);
}

CBookmarkCommands* BookmarkCommandsOf(const CMainFrame& frame)
{
    return frame.findChild<CBookmarkCommands*>(QString(), Qt::FindDirectChildrenOnly);
}

void ReloadBookmarkMenu(CMainFrame& frame)
{
    if (CBookmarkCommands* commands = BookmarkCommandsOf(frame))
        commands->Reload();
}

} // namespace nimbra
