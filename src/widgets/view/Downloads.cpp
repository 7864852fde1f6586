#include "widgets/view/Downloads.h"

#include "data/settings/Settings.h"
#include "widgets/bars/StatusBar.h"
#include "platform/DialogLoops.h"
#include "platform/FileDialog.h"
#include "platform/Shell.h"
#include "platform/Text.h"
#include "widgets/view/NimbraView.h"
#include "widgets/view/ViewHost.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace nimbra {

namespace {

constexpr int kNameWidth = 100;
// The folder the last download was saved in; empty: the user's download folder.
constexpr std::string_view kFolderSection = "Options";
constexpr std::string_view kFolderKey = "DownloadFolder";
constexpr size_t kMaxExtension = 16;
constexpr char kRefuseText[] = "このページからの以降のダウンロードを拒否する(&R)";

QString Bytes(long long bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 バイト").arg(bytes);
    if (bytes < 1024 * 1024)
        return QStringLiteral("%1 KB").arg(double(bytes) / 1024.0, 0, 'f', 1);
    if (bytes < 1024LL * 1024 * 1024)
        return QStringLiteral("%1 MB").arg(double(bytes) / (1024.0 * 1024.0), 0, 'f', 1);
    return QStringLiteral("%1 GB").arg(double(bytes) / (1024.0 * 1024.0 * 1024.0), 0, 'f', 2);
}

QString Duration(long long seconds)
{
    if (seconds < 60)
        return QStringLiteral("%1 秒").arg(seconds);
    if (seconds < 3600)
        return QStringLiteral("%1 分 %2 秒").arg(seconds / 60).arg(seconds % 60);
    return QStringLiteral("%1 時間 %2 分").arg(seconds / 3600).arg(seconds % 3600 / 60);
}

} // namespace

std::string DownloadFileName(const std::string& suggested)
{
    std::string name = suggested;
    for (char& c : name)
        if (c == '/' || c == '\\' || (unsigned char)c < 0x20 || c == 0x7f)
            c = '_';
    name = Trim(name);
    const size_t first = name.find_first_not_of('.');
    name = first == std::string::npos ? std::string() : name.substr(first);
    std::string extension;
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0 && name.size() - dot <= kMaxExtension) {
        extension = name.substr(dot);
        name.resize(dot);
    }
    name = Trim(CutText(name, kNameWidth));
    if (name.empty())
        name = "download";
    return name + extension;
}

std::string PartialPath(const std::string& path)
{
    std::string part = path + ".part";
    for (int n = 2; QFileInfo::exists(ToQ(part)); ++n)
        part = path + "." + std::to_string(n) + ".part";
    return part;
}

QString DownloadProgressText(long long received, long long total, double bytesPerSecond)
{
    QString text = total > 0 ? QStringLiteral("%1 / %2").arg(Bytes(received), Bytes(total)) : Bytes(received);
    if (bytesPerSecond > 0) {
        text += QStringLiteral("  %1/秒").arg(Bytes((long long)bytesPerSecond));
        if (total > 0 && total >= received)
            text += QStringLiteral("  残り %1").arg(Duration((long long)((total - received) / bytesPerSecond)));
    }
    return text;
}

CDownloadsWindow::CDownloadsWindow(IViewHost& host, QWidget* parent) : QWidget(parent, Qt::Window), m_host(host)
{
    setWindowTitle(QStringLiteral("ダウンロード"));
    setObjectName(QStringLiteral("downloadsWindow"));
    // It comes up beside the page without taking the keyboard from it.
    setAttribute(Qt::WA_ShowWithoutActivating);
    resize(520, 260);
    auto* outer = new QVBoxLayout(this);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    auto* inner = new QWidget(scroll);
    m_pRows = new QVBoxLayout(inner);
    m_pRows->addStretch(1);
    scroll->setWidget(inner);
    outer->addWidget(scroll);
    auto* clear = new QPushButton(QStringLiteral("完了した項目を削除(&R)"), this);
    clear->setObjectName(QStringLiteral("removeFinished"));
    connect(clear, &QPushButton::clicked, this, &CDownloadsWindow::RemoveFinished);
    outer->addWidget(clear, 0, Qt::AlignRight);
}

CDownloadsWindow::~CDownloadsWindow()
{
    for (const auto& row : m_rows) {
        row->download->SetObserver({});
        if (row->finished)
            continue;
        row->download->Cancel();
        QFile::remove(ToQ(row->partPath));
    }
}

void CDownloadsWindow::Add(std::shared_ptr<IDownload> download, const std::string& path, const std::string& partPath)
{
    auto row = std::make_unique<SRow>();
    row->download = std::move(download);
    row->path = path;
    row->partPath = partPath;
    row->started.start();
    auto* box = new QWidget(m_pRows->parentWidget());
    row->box = box;
    auto* grid = new QVBoxLayout(box);
    row->name = new QLabel(QFileInfo(ToQ(path)).fileName(), box);
    row->name->setTextFormat(Qt::PlainText);
    row->progress = new QProgressBar(box);
    row->progress->setRange(0, 100);
    row->status = new QLabel(box);
    row->status->setTextFormat(Qt::PlainText);
    auto* buttons = new QHBoxLayout;
    row->cancel = new QPushButton(QStringLiteral("キャンセル"), box);
    row->open = new QPushButton(QStringLiteral("開く"), box);
    row->folder = new QPushButton(QStringLiteral("フォルダを開く"), box);
    row->open->hide();
    row->folder->hide();
    buttons->addWidget(row->status, 1);
    buttons->addWidget(row->cancel);
    buttons->addWidget(row->open);
    buttons->addWidget(row->folder);
    grid->addWidget(row->name);
    grid->addWidget(row->progress);
    grid->addLayout(buttons);
    m_pRows->insertWidget(m_pRows->count() - 1, box);

    SRow* r = row.get();
    connect(r->cancel, &QPushButton::clicked, this, [r] { r->download->Cancel(); });
    connect(r->open, &QPushButton::clicked, this, [this, r] { m_host.Shell().OpenDefault(r->path); });
    connect(r->folder, &QPushButton::clicked, this,
            [this, r] { m_host.Shell().OpenDefault(FromQ(QFileInfo(ToQ(r->path)).absolutePath())); });
    QPointer<CDownloadsWindow> self(this);
    r->download->SetObserver([self, r] {
        if (self)
            self->Update(*r);
    });
    m_rows.push_back(std::move(row));
    Update(*r);
}

void CDownloadsWindow::Update(SRow& row)
{
    if (row.finished)
        return;
    const IDownload& d = *row.download;
    const bool running = d.State() == IDownload::EState::Requested || d.State() == IDownload::EState::Running;
    if (running && row.shown.isValid() && row.shown.elapsed() < kUpdateMs) {
        // The engine reports several times a second; the window follows
        // at its own pace.
        if (!row.updatePending) {
            row.updatePending = true;
            SRow* r = &row;
            QTimer::singleShot(int(kUpdateMs - row.shown.elapsed()), this, [this, r] {
                if (std::none_of(m_rows.begin(), m_rows.end(), [r](const auto& kept) { return kept.get() == r; }))
                    return; // removed meanwhile
                r->updatePending = false;
                Update(*r);
            });
        }
        return;
    }
    row.shown.start();
    const long long received = d.ReceivedBytes(), total = d.TotalBytes();
    if (total > 0) {
        row.progress->setRange(0, 100);
        row.progress->setValue(int(received * 100 / total));
    } else {
        row.progress->setRange(0, 0);
    }
    const double seconds = row.started.elapsed() / 1000.0;
    row.status->setText(DownloadProgressText(received, total, seconds > 0.5 ? received / seconds : 0));
    if (d.State() != IDownload::EState::Requested && d.State() != IDownload::EState::Running)
        Finish(row);
    Q_EMIT ActivityChanged();
}

void CDownloadsWindow::Finish(SRow& row)
{
    row.finished = true;
    row.cancel->hide();
    row.progress->setRange(0, 100);
    const QString part = ToQ(row.partPath), path = ToQ(row.path);
    if (row.download->State() == IDownload::EState::Completed) {
        // The user agreed to replace a file of this name when choosing it.
        QFile::remove(path);
        if (QFile::rename(part, path)) {
            row.progress->setValue(100);
            row.status->setText(QStringLiteral("完了 (%1)").arg(Bytes(QFileInfo(path).size())));
            row.open->show();
            row.folder->show();
            return;
        }
        row.status->setText(QStringLiteral("%1 に保存できませんでした。").arg(path));
    } else {
        row.status->setText(row.download->State() == IDownload::EState::Cancelled
                                ? QStringLiteral("キャンセルしました")
                                : QStringLiteral("失敗しました"));
    }
    QFile::remove(part);
}

void CDownloadsWindow::RemoveFinished()
{
    for (auto it = m_rows.begin(); it != m_rows.end();) {
        if (!(*it)->finished) {
            ++it;
            continue;
        }
        (*it)->download->SetObserver({});
        delete (*it)->box;
        it = m_rows.erase(it);
    }
}

QString CDownloadsWindow::ActiveText() const
{
    for (auto it = m_rows.rbegin(); it != m_rows.rend(); ++it) {
        if ((*it)->finished)
            continue;
        const SRow& row = **it;
        const long long total = row.download->TotalBytes();
        const QString percent = total > 0 ? QStringLiteral(" %1%").arg(row.download->ReceivedBytes() * 100 / total)
                                          : QString();
        return QStringLiteral("ダウンロード中: %1%2  %3").arg(row.name->text(), percent, row.status->text());
    }
    return {};
}

CDownloadManager* CDownloadManager::Of(QWidget* frame)
{
    return frame->findChild<CDownloadManager*>(QString(), Qt::FindDirectChildrenOnly);
}

CDownloadManager::CDownloadManager(IViewHost& host)
    : QObject(host.Window()), m_host(host), m_pWindow(new CDownloadsWindow(host, host.Window()))
{
    connect(m_pWindow, &CDownloadsWindow::ActivityChanged, this, &CDownloadManager::ShowActivity);
}

std::string CDownloadManager::AskPath(CNimbraView* view, const std::string& suggested)
{
    CSettings& settings = m_host.Settings();
    SFileRequest request;
    request.save = true;
    request.folder = settings.GetString(kFolderSection, kFolderKey, {});
    if (request.folder.empty() || !QFileInfo(ToQ(request.folder)).isDir())
        request.folder = FromQ(QStandardPaths::writableLocation(QStandardPaths::DownloadLocation));
    if (!QFileInfo(ToQ(request.folder)).isDir())
        request.folder = FromQ(QDir::homePath());
    request.name = DownloadFileName(suggested);
    // A page that starts download after download would keep the person in
    // this question; it can be refused here.
    bool refuse = false;
    request.checkText = QString::fromUtf8(kRefuseText);
    request.checked = &refuse;
    m_bAsking = true;
    std::string path;
    {
        // The question is the tab's: its tab waits for it before going.
        CDialogLoopScope scope(view);
        path = AskFileName(view, request);
    }
    m_bAsking = false;
    if (refuse && view)
        view->RefuseDownloads();
    if (!path.empty())
        settings.WriteString(kFolderSection, kFolderKey, FromQ(QFileInfo(ToQ(path)).absolutePath()));
    return path;
}

bool CDownloadManager::Request(CNimbraView* view, std::shared_ptr<IDownload> download)
{
    const std::string url = download->Url();
    if (const auto it = m_chosen.find(url); it != m_chosen.end()) {
        const std::string path = it->second;
        m_chosen.erase(it);
        Start(std::move(download), path);
        return true;
    }
    if (m_bAsking) {
        // The engine cannot keep it waiting: it is asked for again once its
        // turn comes, once however often the page repeats it meanwhile.
        download->Cancel();
        const bool waiting = std::any_of(m_queue.begin(), m_queue.end(),
                                         [&](const SWaiting& w) { return w.view == view && w.url == url; });
        if (!waiting)
            m_queue.push_back({view, url, download->SuggestedName()});
        return false;
    }
    const std::string path = AskPath(view, download->SuggestedName());
    if (path.empty())
        download->Cancel();
    else
        Start(std::move(download), path);
    if (!m_queue.empty())
        QTimer::singleShot(0, this, &CDownloadManager::AskNext);
    return true;
}

void CDownloadManager::AskNext()
{
    while (!m_bAsking && !m_queue.empty()) {
        const SWaiting next = m_queue.front();
        m_queue.pop_front();
        if (!next.view || next.view->m_bTabRemoved || next.view->DownloadsRefused())
            continue; // its tab was closed, or its page refused
        const std::string path = AskPath(next.view, next.name);
        if (!path.empty() && next.view && !next.view->m_bTabRemoved) {
            m_chosen[next.url] = path;
            next.view->Browser()->DownloadUrl(next.url);
        }
    }
}

void CDownloadManager::Start(std::shared_ptr<IDownload> download, const std::string& path)
{
    const std::string part = PartialPath(path);
    download->Start(part);
    m_pWindow->Add(download, path, part);
    m_pWindow->show();
    m_pWindow->raise();
}

void CDownloadManager::ShowActivity()
{
    if (CNimbraStatusBar* status = m_host.StatusBar())
        status->SetDownloadText(m_pWindow->ActiveText());
}

} // namespace nimbra
