#include "frames/browser/FilterListPage.h"

#include "data/filters/FilterCommands.h"
#include "frames/browser/MainFrame.h"
#include "platform/FileDialog.h"
#include "platform/Text.h"

#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace nimbra {

namespace {

enum EColumn { ColumnFile, ColumnRules, ColumnSkipped };

QString CountText(const SFilterListCount& count)
{
    switch (count.error) {
    case EInputFileError::None:
        return QString::number(count.rules);
    case EInputFileError::Missing:
        return QStringLiteral("ファイルがありません");
    default:
        return QStringLiteral("読み込めません");
    }
}

} // namespace

CPropPageFilterLists::CPropPageFilterLists(CMainFrame* frame)
    : COptionPage(frame, "フィルタ リスト"), m_path(frame->Host().ProgramDir() + "/filters.ini"),
      m_pLists(new QTreeWidget(this)), m_pAdd(new QPushButton(QStringLiteral("追加(&A)..."), this)),
      m_pRemove(new QPushButton(QStringLiteral("削除(&R)"), this))
{
    m_pLists->setObjectName(QStringLiteral("filterLists"));
    m_pLists->setRootIsDecorated(false);
    m_pLists->setHeaderLabels({QStringLiteral("ファイル"), QStringLiteral("ルール"), QStringLiteral("読み飛ばした行")});
    m_pLists->header()->setStretchLastSection(false);
    m_pLists->header()->setSectionResizeMode(ColumnFile, QHeaderView::Stretch);
    m_pLayout->addWidget(m_pLists, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_pAdd);
    buttons->addWidget(m_pRemove);
    buttons->addStretch(1);
    m_pLayout->addLayout(buttons);
    m_pRemove->setEnabled(false);
    connect(m_pAdd, &QPushButton::clicked, this, &CPropPageFilterLists::OnAdd);
    connect(m_pRemove, &QPushButton::clicked, this, [this] { delete m_pLists->currentItem(); });
    connect(m_pLists, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { m_pRemove->setEnabled(current != nullptr); });
}

void CPropPageFilterLists::OnLoad(const CSettings& settings)
{
    COptionPage::OnLoad(settings);
    m_loaded = ReadFilterListsFile(m_path);
    for (const SFilterList& list : m_loaded)
        AddRow(list);
}

void CPropPageFilterLists::AddRow(const SFilterList& list)
{
    auto* item = new QTreeWidgetItem(m_pLists);
    item->setText(ColumnFile, ToQ(list.path));
    item->setToolTip(ColumnFile, PlainToolTip(ToQ(list.path)));
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(ColumnFile, list.enabled ? Qt::Checked : Qt::Unchecked);
    item->setTextAlignment(ColumnRules, Qt::AlignRight | Qt::AlignVCenter);
    item->setTextAlignment(ColumnSkipped, Qt::AlignRight | Qt::AlignVCenter);
    Count(item);
}

void CPropPageFilterLists::Count(QTreeWidgetItem* item)
{
    item->setText(ColumnRules, QStringLiteral("..."));
    const std::string path = FromQ(item->text(ColumnFile));
    auto* watcher = new QFutureWatcher<SFilterListCount>(this);
    // The item may be removed before its count is ready.
    connect(watcher, &QFutureWatcher<SFilterListCount>::finished, this, [this, watcher, item, path] {
        watcher->deleteLater();
        if (m_pLists->indexOfTopLevelItem(item) < 0 || FromQ(item->text(ColumnFile)) != path)
            return;
        const SFilterListCount count = watcher->result();
        item->setText(ColumnRules, CountText(count));
        item->setText(ColumnSkipped, count.error == EInputFileError::None ? QString::number(count.skipped) : QString());
    });
    watcher->setFuture(QtConcurrent::run([path] { return ReadFilterList(path, nullptr); }));
}

void CPropPageFilterLists::OnAdd()
{
    SFileRequest request;
    request.filters = {QStringLiteral("フィルタ リスト (*.txt)"), QStringLiteral("すべてのファイル (*)")};
    const std::string path = AskFileName(this, request);
    if (path.empty())
        return;
    // A new list is in use at once: adding it is asking for it.
    AddRow({path, true});
    m_pLists->setCurrentItem(m_pLists->topLevelItem(m_pLists->topLevelItemCount() - 1));
}

std::vector<SFilterList> CPropPageFilterLists::Rows() const
{
    std::vector<SFilterList> rows;
    for (int i = 0; i < m_pLists->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = m_pLists->topLevelItem(i);
        rows.push_back({FromQ(item->text(ColumnFile)), item->checkState(ColumnFile) == Qt::Checked});
    }
    return rows;
}

QString CPropPageFilterLists::WriteFiles()
{
    if (!IsShown())
        return {};
    const std::vector<SFilterList> rows = Rows();
    const bool same = rows.size() == m_loaded.size()
                      && std::equal(rows.begin(), rows.end(), m_loaded.begin(), [](const auto& a, const auto& b) {
                             return a.path == b.path && a.enabled == b.enabled;
                         });
    if (same)
        return {};
    if (!WriteFilterListsFile(m_path, rows))
        return QStringLiteral("%1 を保存できませんでした。").arg(ToQ(m_path));
    m_loaded = rows;
    return {};
}

} // namespace nimbra
