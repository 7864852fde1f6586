#include "widgets/tools/ListEditorDialog.h"

#include "ui/CommandRouter.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"
#include "platform/WindowPlacement.h"
#include "data/session/ListFile.h"
#include "platform/Paths.h"
#include "ui/EditableList.h"

#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>
#include <QtConcurrent>

namespace nimbra {

namespace {

constexpr int kMenuId = 208;

struct SReadResult {
    bool ok = false;
    UrlList rows;
};

// Runs `work` on a worker thread, then `done` with its result on the
// owner's thread, unless the owner has gone by then.
template <typename Work, typename Done>
void RunOffThread(QObject* owner, Work work, Done done)
{
    using Result = decltype(work());
    auto* watcher = new QFutureWatcher<Result>(owner);
    QObject::connect(watcher, &QFutureWatcher<Result>::finished, owner, [watcher, done = std::move(done)]() mutable {
        watcher->deleteLater();
        done(watcher->result());
    });
    watcher->setFuture(QtConcurrent::run(std::move(work)));
}

} // namespace

QPointer<CListEditorDialog> CListEditorDialog::s_pOpen;

CListEditorDialog* CListEditorDialog::Open(const CSettings& settings, std::function<std::string()> homeText)
{
    CListEditorDialog* editor = Instance();
    if (!editor)
        editor = new CListEditorDialog(settings, std::move(homeText));
    editor->show();
    editor->raise();
    editor->activateWindow();
    return editor;
}

CListEditorDialog* CListEditorDialog::Instance()
{
    return s_pOpen.data();
}

CListEditorDialog::CListEditorDialog(const CSettings& settings, std::function<std::string()> homeText)
    : CModelessMain(kMenuId, QStringLiteral("Nimbra Browser [ List Editor ]")), m_settings(settings)
{
    s_pOpen = this;
    m_pList = new CEditableList(this);
    m_pList->SetHomeText(std::move(homeText));
    m_pOk = new QPushButton(QStringLiteral("OK"), this);
    m_pCancel = new QPushButton(QStringLiteral("キャンセル"), this);
    m_pOk->setAutoDefault(false);
    m_pCancel->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_pOk);
    buttons->addWidget(m_pCancel);
    Body()->addWidget(m_pList, 1);
    Body()->addLayout(buttons);
    connect(m_pOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_pCancel, &QPushButton::clicked, this, &QDialog::reject);

    m_pProgress = new QProgressBar(this);
    m_pProgress->setRange(0, 0);
    m_pProgress->setMaximumWidth(120);
    m_pProgress->hide();
    StatusBar()->addPermanentWidget(m_pProgress);

    RegisterCommands();
    resize(520, 400);
    if (const auto placement = ParseWindowPlacement(m_settings.GetString(EKey::ListDlgPos))) {
        if (SetWindowPlacement(*this, *placement, SW_SHOWNORMAL) == SW_SHOWMAXIMIZED)
            setWindowState(windowState() | Qt::WindowMaximized);
    }
}

void CListEditorDialog::RegisterCommands()
{
    CCommandTable& t = Router().Table(CCommandRouter::ELevel::Frame);
    t.SetHandler(ID_LE_OPEN, [this] { AskAndLoad(true); });
    t.SetHandler(ID_LE_ADD_FROM_LIST, [this] { AskAndLoad(false); });
    t.SetHandler(ID_LE_SAVE, [this] {
        if (m_strCurrentFile.empty())
            SaveAs();
        else
            Save(m_strCurrentFile, false);
    });
    t.SetHandler(ID_LE_SAVE_AS, [this] { SaveAs(); });
    t.SetHandler(ID_LE_INSERT, [this] { m_pList->InsertRow(); });
    t.SetHandler(ID_LE_DELETE, [this] { m_pList->DeleteSelected(); });
    for (int id : {ID_LE_OPEN, ID_LE_ADD_FROM_LIST, ID_LE_SAVE, ID_LE_SAVE_AS, ID_LE_INSERT, ID_LE_DELETE})
        t.SetUpdateHandler(id, [this](SCmdUI& ui) { ui.Enable(!m_bBusy); });
    AttachCommandKeys();
}

void CListEditorDialog::AskAndLoad(bool replace)
{
    const std::string path = AskFileName(this, ListFileRequest(false, m_settings.GetString(EKey::LastOpenPath), {}));
    if (path.empty())
        return;
    m_settings.WriteString(EKey::LastOpenPath, FolderOf(path));
    Load(path, replace);
}

void CListEditorDialog::Load(const std::string& path, bool replace)
{
    if (m_bBusy)
        return;
    // Read first: an unreadable file changes neither the list nor the
    // current file.
    SetBusy(true, QStringLiteral("読み込んでいます..."));
    RunOffThread(
        this,
        [path] {
            SReadResult result;
            result.ok = ReadListFile(path, result.rows);
            return result;
        },
        [this, path, replace](SReadResult result) {
            SetBusy(false);
            if (!result.ok) {
                ShowMessage(this, QStringLiteral("リストファイルを読み込めませんでした。\n%1").arg(ToQ(path)),
                            QMessageBox::Warning);
                return;
            }
            if (replace) {
                m_strCurrentFile = path;
                m_pList->Model().SetRows(std::move(result.rows));
            } else {
                m_pList->Model().Append(std::move(result.rows));
            }
        });
}

void CListEditorDialog::SaveAs()
{
    const std::string path =
        AskFileName(this, ListFileRequest(true, m_settings.GetString(EKey::LastSavePath), {}));
    if (path.empty())
        return;
    m_settings.WriteString(EKey::LastSavePath, FolderOf(path));
    Save(path, true);
}

void CListEditorDialog::Save(const std::string& path, bool makeCurrent)
{
    if (m_bBusy)
        return;
    m_pList->CommitEdit();
    SetBusy(true, QStringLiteral("保存しています..."));
    RunOffThread(
        this, [path, rows = m_pList->Model().Rows()] { return WriteListFile(kHeadingUrlList, path, rows); },
        [this, path, makeCurrent](bool written) {
            SetBusy(false);
            if (!written) {
                ShowMessage(this, QStringLiteral("リストファイルを保存できませんでした。\n%1").arg(ToQ(path)),
                            QMessageBox::Warning);
                return;
            }
            if (makeCurrent)
                m_strCurrentFile = path;
        });
}

void CListEditorDialog::SetBusy(bool busy, const QString& text)
{
    m_bBusy = busy;
    m_pList->setEnabled(!busy);
    m_pProgress->setVisible(busy);
    if (busy)
        StatusBar()->showMessage(text);
    else
        ShowIdlePrompt();
    Router().UpdateAll();
}

void CListEditorDialog::OnClose()
{
    s_pOpen = nullptr;
    m_settings.WriteString(EKey::ListDlgPos, FormatWindowPlacement(GetWindowPlacement(*this)));
}

} // namespace nimbra
