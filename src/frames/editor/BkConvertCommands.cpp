// The editor's imports and exports: dialogs, confirmations, the work off
// the UI thread, and what lands in the tree.
#include "widgets/editor/BkDialogs.h"
#include "frames/editor/BkMainFrame.h"
#include "widgets/editor/BkView.h"
#include "ui/EditorIds.h"
#include "widgets/editor/LeftView.h"
#include "ui/CommandRouter.h"
#include "platform/AtomicFile.h"
#include "platform/BrowseDialog.h"
#include "platform/FileDialog.h"
#include "platform/SystemSettings.h"
#include "platform/Text.h"
#include "data/session/ListFile.h"

#include <QDateTime>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QMimeData>
#include <QProgressDialog>
#include <QTimer>
#include <QUrl>
#include <QtConcurrent>

namespace nimbra::editor {

namespace {

constexpr int kProgressDelayMs = 400;
constexpr int kProgressPollMs = 100;

QStringList NetscapeFilters()
{
    return {QStringLiteral("HTML ファイル (*.htm *.html)"), QStringLiteral("すべてのファイル (*)")};
}

SBrowseOptions FavoritesBrowse(const std::string& start)
{
    SBrowseOptions options;
    options.title = QStringLiteral("お気に入りフォルダの参照");
    options.prompt = QStringLiteral("お気に入りフォルダを選択してください");
    options.okText = QStringLiteral("選択");
    options.cancelText = QStringLiteral("キャンセル");
    options.statusFormat = QStringLiteral("お気に入りフォルダ : %s");
    options.startFolder = ToQ(start);
    return options;
}

QString InputFailure(EInputFileError error)
{
    switch (error) {
    case EInputFileError::Missing:
        return QStringLiteral("見つかりません");
    case EInputFileError::NotRegular:
        return QStringLiteral("通常のファイルではありません");
    case EInputFileError::TooLarge:
        return QStringLiteral("大きすぎます");
    case EInputFileError::Unreadable:
    case EInputFileError::None:
        break;
    }
    return QStringLiteral("読み込めません");
}

// The link a web page's drag carries, titled when the drag tells the title.
BkItemPtr LinkFromPage(const QUrl& url, const QMimeData& mime)
{
    QString title;
    const QByteArray moz = mime.data(QStringLiteral("text/x-moz-url"));
    if (!moz.isEmpty()) {
        const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(moz.constData()), moz.size() / 2);
        title = text.section(QLatin1Char('\n'), 1, 1);
    }
    if (title.trimmed().isEmpty())
        title = url.toString();
    return CBkItem::MakeLink(EntryTitle(OneLine(FromQ(title.trimmed()))), EntryUrl(OneLine(FromQ(url.toString()))));
}

} // namespace

void CBkMainFrame::RegisterConvertCommands()
{
    const auto level = CCommandRouter::ELevel::Frame;
    auto on = [this, level](int id, std::function<void()> handler) { m_router->SetHandler(level, id, std::move(handler)); };
    on(ID_BK_CONVERT_FAVORITES, [this] { ImportFavorites(true); });
    on(ID_BK_ADD_FAVORITES, [this] { ImportFavorites(false); });
    on(ID_BK_CONVERT_NETSCAPE, [this] { ImportNetscape(true); });
    on(ID_BK_ADD_NETSCAPE, [this] { ImportNetscape(false); });
    on(ID_BK_ADD_FILE, [this] { AddBookmarkFile(); });
    on(ID_BK_EXPORT_NETSCAPE, [this] { ExportNetscape(); });
    on(ID_BK_EXPORT_FAVORITES, [this] { ExportFavorites(); });
    on(ID_BK_ADD_LIST_FILE, [this] { AddListFile(); });
    on(ID_BK_SAVE_LIST_FILE, [this] { SaveListFile(); });
    for (int id : {ID_BK_CONVERT_FAVORITES, ID_BK_ADD_FAVORITES, ID_BK_CONVERT_NETSCAPE, ID_BK_ADD_NETSCAPE,
                   ID_BK_ADD_FILE, ID_BK_EXPORT_NETSCAPE, ID_BK_EXPORT_FAVORITES, ID_BK_ADD_LIST_FILE,
                   ID_BK_SAVE_LIST_FILE})
        m_router->SetUpdateHandler(level, id, [this](SCmdUI& ui) { ui.Enable(!m_job); });
}

bool CBkMainFrame::ConfirmReplace(const QString& source)
{
    return AskOkCancel(this, QStringLiteral("%1からNimbra Browser形式に変換します。\n"
                                            "OKを押すと現在の編集中のブックマークデータはすべて失われます。\n\n"
                                            "変換を実行してもよろしいですか？")
                                 .arg(source));
}

std::string CBkMainFrame::FavoritesFolder(bool import)
{
    std::string path;
    if (import && m_settings.FavoritesAutoSearch) {
        const std::optional<std::string> folder = CSystemSettings().FavoritesFolder();
        if (!folder) {
            Tell(this,
                 QStringLiteral("お気に入りフォルダの取得に失敗しました。\n"
                                "設定->お気に入りフォルダを自動で取得をOFFにして直接フォルダを指定して下さい"),
                 QMessageBox::Warning);
            return {};
        }
        path = *folder;
    } else {
        path = AskFolder(this, FavoritesBrowse(m_settings.LastPath));
        if (path.empty())
            return {};
        m_settings.LastPath = path;
        m_settings.StoreLastPath();
    }
    if (!QFileInfo(ToQ(path)).isDir()) {
        Tell(this, QStringLiteral("お気に入りフォルダを取得できませんでした"), QMessageBox::Warning);
        return {};
    }
    return path;
}

void CBkMainFrame::RunJob(const QString& text, std::function<void(SBkProgress&)> work,
                          std::function<void(bool cancelled)> done)
{
    CommitEdits();
    auto job = std::make_shared<SJob>();
    job->progress = std::make_shared<SBkProgress>();
    m_job = job;

    auto* dialog = new QProgressDialog(text, QStringLiteral("キャンセル"), 0, 0, this);
    dialog->setWindowTitle(QString::fromLatin1(kTitle));
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    dialog->setMinimumDuration(kProgressDelayMs);
    auto* timer = new QTimer(dialog);
    const std::shared_ptr<SBkProgress> progress = job->progress;
    connect(timer, &QTimer::timeout, dialog, [dialog, progress] {
        const qint64 total = progress->total;
        const qint64 now = progress->done;
        if (total > 0) {
            dialog->setMaximum(1000);
            dialog->setValue(int(std::min<qint64>(1000, now * 1000 / total)));
        } else {
            dialog->setMaximum(0);
            dialog->setValue(0);
        }
    });
    connect(dialog, &QProgressDialog::canceled, dialog, [progress] { progress->cancel = true; });
    timer->start(kProgressPollMs);

    auto* watcher = new QFutureWatcher<void>(this);
    connect(watcher, &QFutureWatcher<void>::finished, this, [this, watcher, dialog, timer, progress, done] {
        watcher->deleteLater();
        // Gone before `done` may tell a failure: a progress window left
        // open (or shown by its own delay now) blocks the message box it
        // sits over. Its own loop may still run (setValue), so it is
        // deleted later.
        timer->stop();
        dialog->reset();
        dialog->hide();
        dialog->deleteLater();
        m_job.reset();
        done(progress->Cancelled());
        m_idle.start(0);
    });
    job->future = QtConcurrent::run([progress, work] { work(*progress); });
    watcher->setFuture(job->future);
}

void CBkMainFrame::TakeImport(BkItemList items, bool replace, uint64_t folderId)
{
    if (replace) {
        m_doc.Reset(std::move(items));
        m_tree->SelectFolder(m_doc.Root());
        return;
    }
    CBkItem* folder = m_doc.FindFolder(folderId);
    if (!folder)
        folder = m_doc.Root();
    m_doc.Append(folder, std::move(items));
    m_tree->SelectFolder(folder);
}

void CBkMainFrame::ImportFavorites(bool replace)
{
    if (m_job)
        return;
    if (replace && !ConfirmReplace(QStringLiteral("IEのお気に入り")))
        return;
    const std::string folder = FavoritesFolder(true);
    if (folder.empty())
        return;
    RunImport(QStringLiteral("お気に入りを読み込んでいます..."), replace,
              [folder](SBkProgress& progress, int room) { return ReadFavorites(folder, progress, room); },
              [folder](const SBkImport& result) {
                  return result.error == EInputFileError::None
                             ? QString()
                             : QStringLiteral("お気に入りフォルダ\n%1\nを読み込めませんでした。").arg(ToQ(folder));
              });
}

void CBkMainFrame::RunImport(const QString& title, bool replace, std::function<SBkImport(SBkProgress&, int)> read,
                             std::function<QString(const SBkImport&)> failure)
{
    CBkItem* target = replace ? m_doc.Root() : (SelectedFolder() ? SelectedFolder() : m_doc.Root());
    const uint64_t targetId = target->Id();
    const int room = kMaxFolderDepth - (replace ? 0 : target->Depth());
    auto result = std::make_shared<SBkImport>();
    RunJob(
        title, [result, read = std::move(read), room](SBkProgress& progress) { *result = read(progress, room); },
        [this, result, replace, targetId, failure = std::move(failure)](bool cancelled) {
            if (cancelled)
                return;
            const QString failed = failure(*result);
            if (!failed.isEmpty()) {
                Tell(this, failed, QMessageBox::Warning);
                return;
            }
            TakeImport(std::move(result->items), replace, targetId);
        });
}

void CBkMainFrame::ImportNetscape(bool replace)
{
    if (m_job)
        return;
    if (replace && !ConfirmReplace(QStringLiteral("ネットスケープのブックマーク")))
        return;
    SFileRequest request;
    request.filters = NetscapeFilters();
    request.folder = m_settings.IniDir;
    const std::string path = AskFileName(this, request);
    if (path.empty())
        return;
    m_settings.IniDir = FromQ(QFileInfo(ToQ(path)).absolutePath());
    m_settings.StoreIniDir();
    // A FIFO or device is refused at once, before any work starts.
    if (!IsRegularFile(path)) {
        CInputFile probe;
        Tell(this, QStringLiteral("ファイル\n%1\nを読み込めませんでした（%2）。").arg(ToQ(path), InputFailure(probe.Open(path))),
             QMessageBox::Warning);
        return;
    }
    RunImport(QStringLiteral("ブックマークを読み込んでいます..."), replace,
              [path](SBkProgress& progress, int room) { return ReadNetscapeFile(path, progress, room); },
              [path](const SBkImport& result) {
                  if (result.error != EInputFileError::None)
                      return QStringLiteral("ファイル\n%1\nを読み込めませんでした（%2）。").arg(ToQ(path), InputFailure(result.error));
                  if (!result.foundList)
                      return QStringLiteral("ファイル\n%1\nにはブックマークの一覧がありません。").arg(ToQ(path));
                  return QString();
              });
}

void CBkMainFrame::AddBookmarkFile()
{
    if (m_job)
        return;
    SFileRequest request;
    request.filters = {QStringLiteral("HTMLファイル (*.html)"), QStringLiteral("すべてのファイル (*)")};
    request.folder = m_settings.IniDir;
    const std::string path = AskFileName(this, request);
    if (path.empty())
        return;
    m_settings.IniDir = FromQ(QFileInfo(ToQ(path)).absolutePath());
    m_settings.StoreIniDir();
    CBkItem* target = SelectedFolder() ? SelectedFolder() : m_doc.Root();
    const uint64_t targetId = target->Id();
    auto tree = std::make_shared<std::optional<BookmarkItem>>();
    auto error = std::make_shared<EInputFileError>(EInputFileError::None);
    RunJob(
        QStringLiteral("ブックマークを読み込んでいます..."),
        [tree, error, path](SBkProgress&) { *tree = ReadBookmarkFile(path, BookmarkReader::Editor, error.get()); },
        [this, tree, error, targetId, path](bool cancelled) {
            if (cancelled)
                return;
            if (!*tree) {
                Tell(this, QStringLiteral("ファイル\n%1\nを読み込めませんでした（%2）。").arg(ToQ(path), InputFailure(*error)),
                     QMessageBox::Warning);
                return;
            }
            BkItemPtr root = FromBookmark(std::move(**tree));
            TakeImport(root->TakeItems(), false, targetId);
        });
}

void CBkMainFrame::ExportNetscape()
{
    if (m_job || !m_doc.Root())
        return;
    SFileRequest request;
    request.save = true;
    request.filters = NetscapeFilters();
    request.defaultSuffix = QStringLiteral("htm");
    request.folder = m_settings.IniDir;
    request.name = "bookmark.htm";
    const std::string path = AskFileName(this, request);
    if (path.empty())
        return;
    m_settings.IniDir = FromQ(QFileInfo(ToQ(path)).absolutePath());
    m_settings.StoreIniDir();
    auto tree = std::make_shared<BookmarkItem>(m_doc.ToFileTree());
    auto error = std::make_shared<std::string>();
    auto written = std::make_shared<bool>(false);
    RunJob(
        QStringLiteral("ブックマークを書き出しています..."),
        [tree, error, written, path](SBkProgress& progress) {
            const std::string text = FormatNetscape(*tree, kRootLabel);
            if (!progress.Cancelled())
                *written = WriteFileAtomically(path, text, error.get());
        },
        [this, error, written, path](bool cancelled) {
            if (cancelled || *written)
                return;
            Tell(this, QStringLiteral("ファイル\n%1\nに書き出せませんでした（%2）。").arg(ToQ(path), ToQ(*error)),
                 QMessageBox::Critical);
        });
}

void CBkMainFrame::ExportFavorites()
{
    if (m_job || !m_doc.Root())
        return;
    const std::string folder = FavoritesFolder(false);
    if (folder.empty())
        return;
    auto tree = std::make_shared<BookmarkItem>(m_doc.ToFileTree());
    auto error = std::make_shared<std::optional<SBkExportError>>();
    RunJob(
        QStringLiteral("お気に入りに書き出しています..."),
        [tree, error, folder](SBkProgress& progress) { *error = WriteFavorites(*tree, folder, progress); },
        [this, error](bool) {
            if (!*error)
                return;
            Tell(this,
                 QStringLiteral("%1\nに書き出せませんでした（%2）。\n書き出しはここで止めました。")
                     .arg(ToQ((*error)->path), ToQ((*error)->reason)),
                 QMessageBox::Critical);
        });
}

void CBkMainFrame::AddListFile()
{
    const std::string path =
        AskFileName(this, ListFileRequest(false, m_settings.IniDir, {}));
    if (path.empty())
        return;
    m_settings.IniDir = FromQ(QFileInfo(ToQ(path)).absolutePath());
    m_settings.StoreIniDir();
    if (!EndsWithNoCase(path, ".nbl") || !IsRegularFile(path))
        return;
    UrlList urls;
    if (!ReadListFile(path, urls)) {
        Tell(this, QStringLiteral("ファイル\n%1\nを読み込めませんでした。").arg(ToQ(path)), QMessageBox::Warning);
        return;
    }
    CBkItem* folder = SelectedFolder() ? SelectedFolder() : m_doc.Root();
    m_doc.Append(folder, LinksFromList(urls));
}

void CBkMainFrame::SaveListFile()
{
    CBkItem* folder = m_list->Model()->Folder();
    UrlList urls;
    for (int row : m_list->SelectedRows()) {
        if (const CBkItem* item = folder ? m_list->Model()->ItemAt(row) : nullptr; item && item->IsLink())
            urls.push_back(item->Url());
    }
    if (urls.empty())
        return;
    const std::string path = AskFileName(
        this, ListFileRequest(true, m_settings.IniDir, DefaultListFileName(QDateTime::currentDateTime())));
    if (path.empty())
        return;
    m_settings.IniDir = FromQ(QFileInfo(ToQ(path)).absolutePath());
    m_settings.StoreIniDir();
    if (!WriteListFile(kHeadingUrlList, path, urls))
        Tell(this, QStringLiteral("リストファイル\n%1\nを保存できませんでした。").arg(ToQ(path)), QMessageBox::Critical);
}

void CBkMainFrame::DropFromOutside(const QMimeData* mime)
{
    CBkItem* folder = SelectedFolder() ? SelectedFolder() : m_doc.Root();
    for (const QUrl& url : mime->urls()) {
        BkItemList items;
        if (url.isLocalFile())
            items = ItemsFromDroppedFile(FromQ(url.toLocalFile()));
        else if (url.isValid() && !url.scheme().isEmpty())
            items.push_back(LinkFromPage(url, *mime));
        if (!items.empty())
            m_doc.Append(folder, std::move(items));
    }
}

} // namespace nimbra::editor
