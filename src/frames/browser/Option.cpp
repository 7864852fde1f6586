#include "frames/browser/Option.h"

#include "widgets/bookmarks/BookmarkCommands.h"
#include "data/bookmarks/BookmarkMessages.h"
#include "ui/CommandIds.h"
#include "ui/CommandRouter.h"
#include "frames/browser/MainFrame.h"
#include "frames/browser/FilterListPage.h"
#include "frames/browser/OptionPages.h"
#include "frames/browser/WindowCommands.h"
#include "platform/DefaultBrowser.h"
#include "platform/Ini.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QKeyEvent>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>
#include <utility>

namespace nimbra {

namespace {

constexpr int kQueryTimeoutMs = 10000;

std::function<int(COption&)>& Driver()
{
    static std::function<int(COption&)> driver;
    return driver;
}

} // namespace

COption::COption(CMainFrame* frame)
    : QDialog(frame), m_pFrame(frame), m_host(frame->Host()), m_pList(new QListWidget(this)),
      m_pStack(new QStackedWidget(this)), m_pButtons(new QDialogButtonBox(this)), m_pStatus(new QLabel(this))
{
    setWindowTitle(QStringLiteral("オプション"));
    m_pages = {
        new CPropPageGeneral(frame),  new CPropPageStartup(frame),    new CPropPageTab1(frame),
        new CPropPageTab2(frame),     new CPropPageCloseUrl(frame),   new CPropPageCloseTitle(frame),
        new CPropPageStartupUrl(frame), new CPropPageMail(frame),     new CPropPageTaskTray(frame),
        new CPropPageAddressBar(frame), new CPropPageBookmark(frame), new CPropPageLinkBar(frame),
        new CPropPageNimbraBar(frame), new CPropPageSecure(frame),   new CPropPageFilterLists(frame),
    };
    for (COptionPage* page : m_pages) {
        m_pList->addItem(page->Title());
        m_pStack->addWidget(page);
    }
    m_pList->setFixedWidth(m_pList->sizeHintForColumn(0) + 2 * m_pList->frameWidth() + 16);

    m_pButtons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    m_pButtons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    connect(m_pButtons, &QDialogButtonBox::accepted, this, &COption::accept);
    connect(m_pButtons, &QDialogButtonBox::rejected, this, &COption::reject);

    auto* body = new QHBoxLayout;
    body->addWidget(m_pList);
    body->addWidget(m_pStack, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_pStatus, 1);
    bottom->addWidget(m_pButtons);
    layout->addLayout(bottom);

    connect(m_pList, &QListWidget::currentRowChanged, this, &COption::OnPageChanged);
    m_pList->installEventFilter(this);
    const int first = m_host.Settings().GetInt(EKey::OpDlgState);
    SetCurrentPage(first >= 1 && first < PageCount ? first : 0);
    resize(sizeHint().expandedTo(QSize(640, 560)));
}

COption::~COption() = default;

int COption::CurrentPage() const
{
    return m_pStack->currentIndex();
}

void COption::SetCurrentPage(int index)
{
    if (m_pList->currentRow() == index)
        OnPageChanged(index);
    else
        m_pList->setCurrentRow(index);
}

void COption::keyPressEvent(QKeyEvent* event)
{
    const bool ctrl = event->modifiers().testFlag(Qt::ControlModifier);
    int step = 0;
    if (ctrl && (event->key() == Qt::Key_Backtab || (event->key() == Qt::Key_Tab && event->modifiers().testFlag(Qt::ShiftModifier))
                 || event->key() == Qt::Key_PageUp))
        step = -1;
    else if (ctrl && (event->key() == Qt::Key_Tab || event->key() == Qt::Key_PageDown))
        step = 1;
    if (!step) {
        QDialog::keyPressEvent(event);
        return;
    }
    SetCurrentPage((CurrentPage() + step + PageCount) % PageCount);
    event->accept();
}

bool COption::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_pList && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers().testFlag(Qt::ControlModifier) && (key->key() == Qt::Key_PageUp || key->key() == Qt::Key_PageDown)) {
            keyPressEvent(key);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void COption::OnPageChanged(int index)
{
    if (index < 0 || index >= PageCount)
        return;
    m_pStack->setCurrentIndex(index);
    COptionPage* page = Page(index);
    if (page->IsShown())
        return;
    page->Show(m_host.Settings());
    if (index == General)
        QueryDefaultBrowser();
}

void COption::QueryDefaultBrowser()
{
    QCheckBox* box = PageOf<CPropPageGeneral>(General)->DefaultBrowserBox();
    box->setToolTip(QStringLiteral("確認しています..."));
    auto* watcher = new QFutureWatcher<SDefaultBrowserQuery>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, box] {
        const SDefaultBrowserQuery answer = watcher->result();
        watcher->deleteLater();
        m_bDefaultBrowserShown = answer.isDefault.value_or(false);
        box->setChecked(m_bDefaultBrowserShown);
        box->setToolTip(ToQ(answer.error));
        box->setEnabled(true);
        m_bDefaultBrowserKnown = true;
    });
    watcher->setFuture(QtConcurrent::run([] { return nimbra::QueryDefaultBrowser(kQueryTimeoutMs); }));
}

void COption::SetBusy(bool busy)
{
    m_bBusy = busy;
    m_pButtons->setEnabled(!busy);
    m_pStack->setEnabled(!busy);
    m_pList->setEnabled(!busy);
    m_pStatus->setText(busy ? QStringLiteral("標準ブラウザを設定しています...") : QString());
}

void COption::ChangeDefaultBrowser(bool on)
{
    SDefaultBrowserSetup setup;
    setup.programPath = FromQ(QCoreApplication::applicationFilePath());
    setup.nimbraHome = FromQ(qEnvironmentVariable("NIMBRA_HOME"));
    SetBusy(true);
    auto* watcher = new QFutureWatcher<std::string>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, on] {
        const std::string error = watcher->result();
        watcher->deleteLater();
        SetBusy(false);
        if (!error.empty()) {
            // The box shows the state the desktop still has.
            PageOf<CPropPageGeneral>(General)->DefaultBrowserBox()->setChecked(!on);
            ShowMessage(this, ToQ(error), QMessageBox::Warning);
            return;
        }
        m_bDefaultBrowserShown = on;
        accept();
    });
    watcher->setFuture(QtConcurrent::run([setup, on] { return SetDefaultBrowser(setup, on); }));
}

void COption::accept()
{
    if (m_bBusy)
        return;
    for (int i = 0; i < PageCount; ++i) {
        const QString refusal = Page(i)->Refusal();
        if (!refusal.isEmpty()) {
            SetCurrentPage(i);
            ShowMessage(this, refusal, QMessageBox::Warning);
            return;
        }
    }
    QCheckBox* box = PageOf<CPropPageGeneral>(General)->DefaultBrowserBox();
    if (m_bDefaultBrowserKnown && box->isChecked() != m_bDefaultBrowserShown) {
        ChangeDefaultBrowser(box->isChecked());
        return;
    }
    if (Commit())
        QDialog::accept();
}

void COption::done(int result)
{
    if (m_bBusy)
        return;
    // OK stores the page with the other keys.
    if (result != QDialog::Accepted)
        m_host.Settings().WriteInt(EKey::OpDlgState, CurrentPage());
    QDialog::done(result);
}

bool COption::Commit()
{
    CSettings& settings = m_host.Settings();
    std::vector<SIniEdit> edits;
    for (const COptionPage* page : m_pages)
        page->Save(edits);
    const SKeyRef state = KeyRef(EKey::OpDlgState);
    edits.push_back({state.section, state.key, std::to_string(CurrentPage())});
    const std::string oldBookmarkPath = settings.GetString(EKey::BookmarkPath);
    if (!WriteIniValues(settings.path(), edits)) {
        ShowMessage(this, QStringLiteral("設定を %1 に保存できませんでした。").arg(ToQ(settings.path())), QMessageBox::Warning);
        return false;
    }
    for (COptionPage* page : m_pages) {
        const QString failed = page->WriteFiles();
        if (!failed.isEmpty())
            ShowMessage(this, failed, QMessageBox::Warning);
    }
    if (!m_pFrame)
        return true;

    // The frame takes the new values.
    if (PageOf<CPropPageTab2>(Tab2)->DockingChanged() && m_pFrame->Window())
        m_pFrame->Window()->ResetBarState();
    m_pFrame->ReloadSettings();
    const COptionPage* bookmarks = Page(Bookmark);
    const bool pathChanged = settings.GetString(EKey::BookmarkPath) != oldBookmarkPath;
    if (pathChanged) {
        m_host.SetBookmarkPath(settings.GetString(EKey::BookmarkPath));
        ipc::SendToEditor(ipc::WM_USER_BOOKMARK_PATH_CHANGED);
    }
    if (pathChanged || (bookmarks->IsShown() && (bookmarks->Binding(EKey::MenuTitle)->Changed()
                                                 || bookmarks->Binding(EKey::MenuTitleLength)->Changed())))
        ReloadBookmarkMenu(*m_pFrame);
    return true;
}

void RegisterOptionCommands(CMainFrame& frame)
{
    frame.Router().Table(CCommandRouter::ELevel::Frame).SetHandler(ID_VIEW_OPTION, [&frame] {
        COption dialog(&frame);
        if (Driver())
            Driver()(dialog);
        else
            dialog.exec();
    });
}

std::function<int(COption&)> SetOptionDialogDriver(std::function<int(COption&)> driver)
{
    return std::exchange(Driver(), std::move(driver));
}

} // namespace nimbra
