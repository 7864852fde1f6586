#include "widgets/sidebar/HistorySearchPane.h"

#include "data/settings/Settings.h"
#include "platform/AtomicFile.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"
#include "widgets/sidebar/PaneTree.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <mutex>

namespace nimbra {

namespace {

constexpr int kDefaultWidths[3] = {200, 300, 140};
constexpr int kMinWidth = 20;
constexpr int kMaxWidth = 2000;

struct SCommandText {
    int id;
    const char* text;
};
constexpr SCommandText kCommands[] = {
    {CHistorySearchPane::ID_FLC_OPEN, "開く(&O)\tEnter"},
    {CHistorySearchPane::ID_FLC_OPEN_NEW, "新しいタブで開く(&N)\tShift+Enter"},
    {CHistorySearchPane::ID_FLC_COPY_TITLE, "タイトルのコピー(&T)\tCtrl+A"},
    {CHistorySearchPane::ID_FLC_COPY_URL, "URLのコピー(&U)\tCtrl+Z"},
    {CHistorySearchPane::ID_FLC_TODAY, "今日の履歴のみ(&T)"},
    {CHistorySearchPane::ID_FLC_FILTER, "%sフィルタを使う(&F)"},
    {CHistorySearchPane::ID_FLC_CHANGE_FILTER, "フィルタを変更(&E)"},
    {CHistorySearchPane::ID_FLC_FIND_CACHE, "キャッシュの中も検索(&C)"},
    {CHistorySearchPane::ID_FLC_SAVE_HTML, "htmlで保存(&S)"},
    {CHistorySearchPane::ID_FLC_STANDARD_ACTION, "標準動作の切り替え(&S)"},
    {CHistorySearchPane::ID_FLC_RELOAD, "再読み込み(&R)"},
};

bool IsEnter(const QKeyEvent* key)
{
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

Qt::KeyboardModifiers KeyMods(const QKeyEvent* key)
{
    return key->modifiers() & ~Qt::KeypadModifier;
}

} // namespace

// ---------------------------------------------------------------- model

int CHistoryResultModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int CHistoryResultModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 3;
}

QVariant CHistoryResultModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || size_t(index.row()) >= m_rows.size())
        return {};
    const SHistoryRow& row = m_rows[size_t(index.row())];
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        const std::string& text = index.column() == 0 ? row.title : index.column() == 1 ? row.url : row.date;
        QString shown = ToQ(OneLine(text));
        return role == Qt::ToolTipRole ? QVariant(PlainToolTip(shown)) : QVariant(shown);
    }
    return {};
}

QVariant CHistoryResultModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char* const headers[] = {"タイトル", "URL", "最終更新日時"};
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 3)
        return QString::fromUtf8(headers[section]);
    return {};
}

void CHistoryResultModel::Clear()
{
    // Removed rows, not a reset: the header keeps its widths.
    if (m_rows.empty())
        return;
    beginRemoveRows({}, 0, int(m_rows.size()) - 1);
    m_rows.clear();
    m_rows.shrink_to_fit();
    endRemoveRows();
}

void CHistoryResultModel::Merge(std::vector<SHistoryRow>&& batch)
{
    if (batch.empty())
        return;
    // Rows that all go after the last one are a plain insertion.
    if (m_rows.empty() || !m_sort(batch.front(), m_rows.back())) {
        const int first = int(m_rows.size());
        beginInsertRows({}, first, first + int(batch.size()) - 1);
        std::move(batch.begin(), batch.end(), std::back_inserter(m_rows));
        endInsertRows();
        return;
    }
    // Merged in place from the back: the rows before the batch's first
    // place stay, the others move once, and the storage is reused.
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const size_t old = m_rows.size();
    const size_t first = size_t(std::upper_bound(m_rows.begin(), m_rows.end(), batch.front(), m_sort) - m_rows.begin());
    if (m_rows.capacity() < old + batch.size())
        m_rows.reserve(std::max(old + batch.size(), 2 * m_rows.capacity()));
    m_rows.resize(old + batch.size());
    std::vector<int> moved(old - first); // new places of the rows from `first` on
    size_t i = old;
    size_t j = batch.size();
    size_t w = m_rows.size();
    while (j > 0) {
        // On a tie the row listed earlier stays in front.
        if (i > first && m_sort(batch[j - 1], m_rows[i - 1])) {
            m_rows[--w] = std::move(m_rows[--i]);
            moved[i - first] = int(w);
        } else {
            m_rows[--w] = std::move(batch[--j]);
        }
    }
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    for (const QModelIndex& index : before)
        after << (size_t(index.row()) < first ? index : createIndex(moved[size_t(index.row()) - first], index.column()));
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void CHistoryResultModel::SetSort(const SHistorySort& sort)
{
    m_sort = sort;
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> order(m_rows.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = int(i);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return m_sort(m_rows[size_t(a)], m_rows[size_t(b)]); });
    std::vector<int> moved(m_rows.size());
    std::vector<SHistoryRow> sorted;
    sorted.reserve(m_rows.size());
    for (size_t i = 0; i < order.size(); ++i) {
        moved[size_t(order[i])] = int(i);
        sorted.push_back(std::move(m_rows[size_t(order[i])]));
    }
    m_rows = std::move(sorted);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    for (const QModelIndex& index : before)
        after << createIndex(moved[size_t(index.row())], index.column());
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

// ---------------------------------------------------------------- list

CHistoryResultList::CHistoryResultList(CHistorySearchPane& pane) : QTreeView(&pane), m_pane(pane)
{
    setObjectName(QStringLiteral("HistoryResultList"));
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setItemsExpandable(false);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setMouseTracking(true);
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setItemDelegate(new CHotTrackDelegate(this));
    viewport()->setAttribute(Qt::WA_Hover);
    header()->setSectionsClickable(true);
    header()->setSortIndicatorShown(true);
    header()->setStretchLastSection(false);
    connect(header(), &QHeaderView::sectionClicked, &pane, &CHistorySearchPane::OnHeaderClicked);
}

bool CHistoryResultList::event(QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (IsEnter(key) || key->key() == Qt::Key_Escape
            || (KeyMods(key) == Qt::ControlModifier && (key->key() == Qt::Key_A || key->key() == Qt::Key_Z))) {
            event->accept();
            return true;
        }
    }
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Backtab || (key->key() == Qt::Key_Tab && KeyMods(key) == Qt::ShiftModifier)) {
            m_pane.FocusForm();
            return true;
        }
        if (key->key() == Qt::Key_Tab && KeyMods(key) == Qt::NoModifier) {
            m_pane.FocusViewNow();
            return true;
        }
    }
    return QTreeView::event(event);
}

void CHistoryResultList::keyPressEvent(QKeyEvent* event)
{
    const int row = currentIndex().isValid() ? currentIndex().row() : -1;
    if (IsEnter(event)) {
        m_pane.OpenRow(row, event->modifiers() & Qt::ShiftModifier, event->modifiers() & Qt::AltModifier);
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        if (m_pane.IsSearching())
            m_pane.PostStop();
        return;
    }
    if (event->key() == Qt::Key_Space && KeyMods(event) == Qt::NoModifier) {
        if (row < 0)
            return;
        QMenu* menu = m_pane.CreateMenu(true);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(viewport()->mapToGlobal(visualRect(currentIndex()).bottomLeft()));
        return;
    }
    if (KeyMods(event) == Qt::ControlModifier && (event->key() == Qt::Key_A || event->key() == Qt::Key_Z)) {
        m_pane.RunCommand(event->key() == Qt::Key_A ? CHistorySearchPane::ID_FLC_COPY_TITLE
                                                    : CHistorySearchPane::ID_FLC_COPY_URL);
        return;
    }
    QTreeView::keyPressEvent(event);
}

void CHistoryResultList::mousePressEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    m_nPressedRow = event->button() == Qt::LeftButton && index.isValid() ? index.row() : -1;
    QTreeView::mousePressEvent(event);
}

void CHistoryResultList::mouseReleaseEvent(QMouseEvent* event)
{
    QTreeView::mouseReleaseEvent(event);
    const QModelIndex index = indexAt(event->position().toPoint());
    const int pressed = m_nPressedRow;
    m_nPressedRow = -1;
    if (event->button() == Qt::LeftButton && index.isValid() && index.row() == pressed)
        m_pane.ClickRow(index.row(), event->modifiers());
}

void CHistoryResultList::mouseMoveEvent(QMouseEvent* event)
{
    QTreeView::mouseMoveEvent(event);
    const QModelIndex index = indexAt(event->position().toPoint());
    m_pane.SetStatusUrl(index.isValid() ? index.row() : -1);
}

bool CHistoryResultList::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::Leave)
        m_pane.SetStatusUrl(-1);
    return QTreeView::viewportEvent(event);
}

void CHistoryResultList::contextMenuEvent(QContextMenuEvent* event)
{
    const QModelIndex index = event->reason() == QContextMenuEvent::Mouse ? indexAt(event->pos()) : currentIndex();
    if (index.isValid())
        setCurrentIndex(index);
    QMenu* menu = m_pane.CreateMenu(index.isValid());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->reason() == QContextMenuEvent::Mouse ? event->globalPos()
                                                             : viewport()->mapToGlobal(visualRect(index).bottomLeft()));
}

// ---------------------------------------------------------------- pane

CHistorySearchPane::CHistorySearchPane(IHistoryHost& host, QWidget* parent) : QWidget(parent), m_host(host)
{
    setObjectName(QStringLiteral("HistorySearchPane"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);

    auto* form = new QWidget(this);
    auto* formLayout = new QVBoxLayout(form);
    formLayout->setContentsMargins(2, 2, 2, 0);
    formLayout->setSpacing(2);
    formLayout->addWidget(new QLabel(QStringLiteral("検索する文字列:"), form));
    m_pText = new QComboBox(form);
    m_pText->setEditable(true);
    m_pText->setInsertPolicy(QComboBox::NoInsert);
    m_pText->setObjectName(QStringLiteral("1144"));
    // What is typed is what is searched: no earlier text is filled in.
    m_pText->setCompleter(nullptr);
    formLayout->addWidget(m_pText);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(2);
    auto button = [&](const char* text, int id) {
        auto* b = new QPushButton(QString::fromUtf8(text), form);
        b->setObjectName(QString::number(id));
        b->setAutoDefault(false);
        buttons->addWidget(b);
        b->installEventFilter(this);
        return b;
    };
    m_pSettings = button("設定", 1147);
    m_pReload = button("更新", 1148);
    m_pFind = button("検索", 1142);
    m_pStop = button("中止", 1143);
    m_pFind->setDefault(true);
    m_pStop->setEnabled(false);
    formLayout->addLayout(buttons);
    layout->addWidget(form);

    m_pModel = new CHistoryResultModel(this);
    m_pList = new CHistoryResultList(*this);
    m_pList->setModel(m_pModel);
    layout->addWidget(m_pList, 1);

    m_pText->installEventFilter(this);
    m_pText->lineEdit()->installEventFilter(this);
    connect(m_pText->lineEdit(), &QLineEdit::returnPressed, this, &CHistorySearchPane::PostStart);
    connect(m_pFind, &QPushButton::clicked, this, &CHistorySearchPane::PostStart);
    connect(m_pStop, &QPushButton::clicked, this, &CHistorySearchPane::PostStop);
    connect(m_pReload, &QPushButton::clicked, this, &CHistorySearchPane::PostReload);
    connect(m_pSettings, &QPushButton::clicked, this, [this] {
        QMetaObject::invokeMethod(this, &CHistorySearchPane::ShowOptionsMenu, Qt::QueuedConnection);
    });
    ReadSettings();
}

CHistorySearchPane::~CHistorySearchPane()
{
    // The pane goes only with the window: a running search stops without a
    // question, and nothing here waits in an event loop of its own, which
    // would deliver the search's end to the bar going around it. The
    // worker posts to this object: it ends before the object does.
    if (m_pStopFlag)
        m_pStopFlag->store(true);
    if (m_worker.joinable())
        m_worker.join();
    WriteSettings();
}

QWidget* CHistorySearchPane::FocusTarget()
{
    return m_pList;
}

QWidget* CHistorySearchPane::CommandTarget()
{
    return m_pText;
}

void CHistorySearchPane::OnActivate()
{
    // The list fills when the pane is first shown.
    if (!m_bListed)
        Reload();
}

QPushButton* CHistorySearchPane::Button(int id) const
{
    for (QPushButton* b : {m_pSettings, m_pReload, m_pFind, m_pStop})
        if (b->objectName() == QString::number(id))
            return b;
    return nullptr;
}

void CHistorySearchPane::ReadSettings()
{
    CSettings& s = m_host.Settings();
    bool whole = false;
    std::vector<int> widths = ParseIntList(s.GetString(EKey::FLCColumnSize), &whole);
    if (!whole || widths.size() != 3)
        widths.assign(std::begin(kDefaultWidths), std::end(kDefaultWidths));
    for (int i = 0; i < 3; ++i)
        m_pList->header()->resizeSection(i, std::clamp(widths[size_t(i)], kMinWidth, kMaxWidth));
    const int sort = s.GetInt(EKey::FLCSort);
    SHistorySort order;
    if (sort >= 0 && (sort & 0xFFFF) <= 2) {
        order.column = sort & 0xFFFF;
        order.ascending = (sort & 0x10000) != 0;
    }
    m_pModel->SetSort(order);
    m_pList->header()->setSortIndicator(order.column, order.ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    m_nFilterEnable = s.GetInt(EKey::FLCFilterEnable);
    m_nFilterToday = s.GetInt(EKey::FLCFilterToday);
    m_nFindCache = s.GetInt(EKey::FLCFindCache);
    m_strFilter = s.GetString(EKey::FLCFilter);
}

void CHistorySearchPane::WriteSettings() const
{
    CSettings& s = m_host.Settings();
    const QHeaderView* header = m_pList->header();
    s.WriteString(EKey::FLCColumnSize, std::to_string(header->sectionSize(0)) + "," + std::to_string(header->sectionSize(1))
                                           + "," + std::to_string(header->sectionSize(2)));
    const SHistorySort& sort = m_pModel->Sort();
    s.WriteInt(EKey::FLCSort, sort.column | (sort.ascending ? 0x10000 : 0));
    s.WriteInt(EKey::FLCFilterEnable, m_nFilterEnable);
    s.WriteString(EKey::FLCFilter, m_strFilter);
    s.WriteInt(EKey::FLCFilterToday, m_nFilterToday);
    s.WriteInt(EKey::FLCFindCache, m_nFindCache);
}

SHistoryQuery CHistorySearchPane::BaseQuery() const
{
    SHistoryQuery query;
    if (m_nFilterEnable != 0) {
        const QString prefix = ToQ(m_strFilter);
        // At most 100 characters, never half of a pair.
        qsizetype cut = std::min<qsizetype>(prefix.size(), kMaxFilterLength);
        if (cut > 0 && cut < prefix.size() && prefix[cut - 1].isHighSurrogate())
            --cut;
        query.prefix = FromQ(prefix.left(cut));
    }
    if (m_nFilterToday == 1) {
        const QDate today = QDate::currentDate();
        query.todayFrom = HistoryDayStart(today);
        query.todayTo = HistoryDayStart(today.addDays(1));
    }
    query.sort = m_pModel->Sort();
    return query;
}

void CHistorySearchPane::PostStart()
{
    QMetaObject::invokeMethod(this, &CHistorySearchPane::Start, Qt::QueuedConnection);
}

void CHistorySearchPane::PostStop()
{
    // The flag acts at once; the rest follows as a queued call.
    if (m_pStopFlag)
        m_pStopFlag->store(true);
    QMetaObject::invokeMethod(this, &CHistorySearchPane::Stop, Qt::QueuedConnection);
}

void CHistorySearchPane::PostReload()
{
    QMetaObject::invokeMethod(this, &CHistorySearchPane::Reload, Qt::QueuedConnection);
}

void CHistorySearchPane::Start()
{
    const QString text = m_pText->currentText();
    // A full search typed while the list is read takes the listing's place.
    const bool replacesListing = m_bListing && m_nFindCache != 0;
    if (text.isEmpty() || (m_bSearching && !replacesListing))
        return;
    if (replacesListing)
        m_pStopFlag->store(true);
    if (m_pText->count() == 0 || m_pText->itemText(0) != text) {
        const int old = m_pText->findText(text, Qt::MatchExactly);
        if (old >= 0)
            m_pText->removeItem(old);
        m_pText->insertItem(0, text);
        m_pText->setCurrentIndex(0);
    }
    SetSearching(true);
    m_pStop->setFocus(Qt::OtherFocusReason);
    if (m_nFindCache == 0) {
        FindNext(FromQ(text));
        QMetaObject::invokeMethod(this, [this] { OnFinished(m_nGeneration); }, Qt::QueuedConnection);
        return;
    }
    SHistoryQuery query = BaseQuery();
    query.text = FromQ(text);
    query.findCache = true;
    RunWorker(std::move(query));
}

void CHistorySearchPane::Stop()
{
    if (m_pStopFlag)
        m_pStopFlag->store(true);
}

void CHistorySearchPane::Reload()
{
    if (m_bSearching)
        return;
    m_bListed = true;
    SetSearching(true, true);
    RunWorker(BaseQuery());
}

void CHistorySearchPane::ClearAll()
{
    if (m_pStopFlag)
        m_pStopFlag->store(true);
    // Rows still on their way belong to the old history.
    ++m_nGeneration;
    m_pModel->Clear();
    if (m_bSearching) {
        SetSearching(false);
        Q_EMIT Finished();
    }
}

void CHistorySearchPane::FindNext(const std::string& text)
{
    const std::string folded = FoldCase(text);
    const std::vector<SHistoryRow>& rows = m_pModel->Rows();
    const int count = int(rows.size());
    if (count == 0)
        return;
    const int start = m_pList->currentIndex().isValid() ? m_pList->currentIndex().row() + 1 : 0;
    for (int n = 0; n < count; ++n) {
        const int row = (start + n) % count;
        const SHistoryRow& r = rows[size_t(row)];
        if (r.keys[0].find(folded) != std::string::npos || r.keys[1].find(folded) != std::string::npos
            || FoldCase(r.date).find(folded) != std::string::npos) {
            const QModelIndex index = m_pModel->index(row, 0);
            m_pList->setCurrentIndex(index);
            m_pList->scrollTo(index);
            m_pList->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
}

void CHistorySearchPane::RunWorker(SHistoryQuery query)
{
    if (m_worker.joinable())
        m_worker.join();
    m_pModel->Clear();
    const unsigned generation = ++m_nGeneration;
    m_pStopFlag = std::make_shared<std::atomic<bool>>(false);
    // Rows wait here, merged in order, until the list takes them: one call
    // is on its way at a time, so the list merges once per turn of the
    // event loop however fast rows come.
    struct SPending {
        std::mutex mutex;
        std::vector<SHistoryRow> rows;
        bool posted = false;
    };
    auto pending = std::make_shared<SPending>();
    m_worker = std::thread([this, db = m_host.History(), stop = m_pStopFlag, query = std::move(query), generation,
                            pending] {
        {
            const CHistoryReader reader = db->Reader();
            RunHistoryQuery(reader, query, *stop, [&](std::vector<SHistoryRow>&& rows) {
                {
                    std::lock_guard lock(pending->mutex);
                    const auto middle = std::ptrdiff_t(pending->rows.size());
                    std::move(rows.begin(), rows.end(), std::back_inserter(pending->rows));
                    std::inplace_merge(pending->rows.begin(), pending->rows.begin() + middle, pending->rows.end(),
                                       query.sort);
                    if (pending->posted)
                        return;
                    pending->posted = true;
                }
                QMetaObject::invokeMethod(
                    this,
                    [this, generation, pending] {
                        std::vector<SHistoryRow> rows;
                        {
                            std::lock_guard lock(pending->mutex);
                            rows.swap(pending->rows);
                            pending->posted = false;
                        }
                        if (generation == m_nGeneration)
                            m_pModel->Merge(std::move(rows));
                    },
                    Qt::QueuedConnection);
            });
        }
        QMetaObject::invokeMethod(this, [this, generation] { OnFinished(generation); }, Qt::QueuedConnection);
    });
}

void CHistorySearchPane::OnFinished(unsigned generation)
{
    if (generation != m_nGeneration)
        return;
    if (m_worker.joinable())
        m_worker.join();
    const bool listHadFocus = m_pList->hasFocus() || m_pStop->hasFocus();
    SetSearching(false);
    if (m_host.IsBarVisible() && listHadFocus && m_pList->hasFocus())
        m_pText->setFocus(Qt::OtherFocusReason);
    Q_EMIT Finished();
}

void CHistorySearchPane::SetSearching(bool on, bool listing)
{
    m_bSearching = on;
    m_bListing = on && listing;
    // While the list is read the text stays open for typing.
    m_pText->setEnabled(!on || listing);
    m_pFind->setEnabled(!on || listing);
    m_pReload->setEnabled(!on);
    m_pSettings->setEnabled(true);
    const bool stopHadFocus = m_pStop->hasFocus();
    m_pStop->setEnabled(on);
    if (!on && stopHadFocus)
        m_pText->setFocus(Qt::OtherFocusReason);
}

void CHistorySearchPane::OnHeaderClicked(int column)
{
    SHistorySort sort = m_pModel->Sort();
    if (!m_bSearching) {
        if (sort.column == column) {
            sort.ascending = !sort.ascending;
        } else {
            sort.column = column;
            sort.ascending = true;
        }
        m_pModel->SetSort(sort);
    }
    m_pList->header()->setSortIndicator(sort.column, sort.ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void CHistorySearchPane::OpenRow(int row, bool newTab, bool viewSource)
{
    if (row < 0 || size_t(row) >= m_pModel->Rows().size())
        return;
    std::string url = m_pModel->Rows()[size_t(row)].url;
    if (viewSource)
        url = "view-source:" + url;
    if (newTab)
        m_host.OpenNewTab(url);
    else
        m_host.Navigate(url);
    if (m_host.Settings().GetInt(EKey::NBSetFocusView) != 0)
        m_host.FocusView();
}

void CHistorySearchPane::ClickRow(int row, Qt::KeyboardModifiers modifiers)
{
    OpenRow(row, (modifiers & Qt::ShiftModifier) || m_host.Settings().GetInt(EKey::NBLClickFHistOpenNew) != 0,
            modifiers & Qt::AltModifier);
}

void CHistorySearchPane::SetStatusUrl(int row)
{
    const auto& rows = m_pModel->Rows();
    m_host.SetStatusText(row >= 0 && size_t(row) < rows.size() ? rows[size_t(row)].url : std::string());
}

void CHistorySearchPane::FocusForm()
{
    m_pText->setFocus(Qt::BacktabFocusReason);
}

void CHistorySearchPane::FocusViewNow()
{
    m_host.FocusView();
}

QMenu* CHistorySearchPane::CreateMenu(bool forRow)
{
    auto* menu = new QMenu(this);
    auto add = [this, menu](int id, bool checked = false) {
        const auto* command = std::find_if(std::begin(kCommands), std::end(kCommands),
                                           [id](const SCommandText& c) { return c.id == id; });
        QString text = QString::fromUtf8(command->text);
        if (id == ID_FLC_FILTER)
            text.replace(QStringLiteral("%s"), ToQ(m_strFilter).replace(QLatin1Char('&'), QStringLiteral("&&")));
        QAction* action = menu->addAction(text);
        action->setData(id);
        if (checked) {
            action->setCheckable(true);
            action->setChecked(true);
        }
        connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
    };
    const bool clickNew = m_host.Settings().GetInt(EKey::NBLClickFHistOpenNew) != 0;
    if (forRow) {
        add(ID_FLC_OPEN);
        add(ID_FLC_OPEN_NEW);
        menu->addSeparator();
        add(ID_FLC_COPY_TITLE);
        add(ID_FLC_COPY_URL);
        menu->setDefaultAction(menu->actions().value(clickNew ? 1 : 0));
    }
    if (!m_bSearching) {
        if (forRow)
            menu->addSeparator();
        add(ID_FLC_TODAY, m_nFilterToday == 1);
        add(ID_FLC_FILTER, m_nFilterEnable != 0);
        add(ID_FLC_CHANGE_FILTER);
        add(ID_FLC_FIND_CACHE, m_nFindCache != 0);
        if (!m_pModel->Rows().empty())
            add(ID_FLC_SAVE_HTML);
        menu->addSeparator();
        add(ID_FLC_STANDARD_ACTION);
        add(ID_FLC_RELOAD);
    }
    return menu;
}

void CHistorySearchPane::ShowOptionsMenu()
{
    QMenu* menu = CreateMenu(false);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(m_pSettings->mapToGlobal(QPoint(0, m_pSettings->height())));
}

void CHistorySearchPane::RunCommand(int id)
{
    const QModelIndex current = m_pList->currentIndex();
    const int row = current.isValid() ? current.row() : -1;
    const auto& rows = m_pModel->Rows();
    switch (id) {
    case ID_FLC_OPEN:
        OpenRow(row, false, false);
        break;
    case ID_FLC_OPEN_NEW:
        OpenRow(row, true, QGuiApplication::keyboardModifiers() & Qt::AltModifier);
        break;
    case ID_FLC_COPY_TITLE:
    case ID_FLC_COPY_URL:
        if (row >= 0 && size_t(row) < rows.size()) {
            const SHistoryRow& r = rows[size_t(row)];
            QApplication::clipboard()->setText(ToQ(id == ID_FLC_COPY_TITLE ? r.title : r.url));
        }
        break;
    case ID_FLC_TODAY:
        m_nFilterToday = m_nFilterToday == 1 ? 2 : 1;
        break;
    case ID_FLC_FILTER:
        m_nFilterEnable = m_nFilterEnable != 0 ? 0 : 1;
        break;
    case ID_FLC_FIND_CACHE:
        m_nFindCache = m_nFindCache != 0 ? 0 : 1;
        break;
    case ID_FLC_CHANGE_FILTER:
        ChangeFilter();
        break;
    case ID_FLC_SAVE_HTML:
        ExportHtml();
        break;
    case ID_FLC_STANDARD_ACTION:
        m_host.Settings().WriteInt(EKey::NBLClickFHistOpenNew, m_host.Settings().GetInt(EKey::NBLClickFHistOpenNew) != 0 ? 0 : 1);
        break;
    case ID_FLC_RELOAD:
        PostReload();
        break;
    default:
        break;
    }
}

void CHistorySearchPane::ChangeFilter()
{
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("フィルタの設定"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* combo = new QComboBox(&dialog);
    combo->setObjectName(QStringLiteral("1146"));
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->addItems({QStringLiteral("http://"), QStringLiteral("ftp://"), QStringLiteral("file://"),
                     QStringLiteral("https://"), QStringLiteral("mk:@"), QStringLiteral("res://")});
    combo->setEditText(ToQ(m_strFilter));
    layout->addWidget(combo);
    auto* buttons = new QDialogButtonBox(&dialog);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (dialog.exec() == QDialog::Accepted)
        m_strFilter = FromQ(combo->currentText());
}

void CHistorySearchPane::ExportHtml()
{
    CSettings& s = m_host.Settings();
    SFileRequest request;
    request.save = true;
    request.filters = {QStringLiteral("html ファイル (*.html)"), QStringLiteral("すべてのファイル (*.*)")};
    request.defaultSuffix = QStringLiteral("html");
    request.folder = s.GetString(EKey::LastSavePath);
    const std::string path = AskFileName(this, request);
    if (path.empty())
        return;
    s.WriteString(EKey::LastSavePath, FromQ(QFileInfo(ToQ(path)).absolutePath()));
    const std::string html = HistoryExportHtml(m_pModel->Rows(), HistoryDateText(QDateTime::currentSecsSinceEpoch()));
    std::string error;
    if (!WriteFileAtomically(path, html, &error))
        ShowMessage(this, QStringLiteral("ファイルを保存できませんでした。\n") + ToQ(path), QMessageBox::Warning);
}

bool CHistorySearchPane::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    const bool inText = watched == m_pText || watched == m_pText->lineEdit();
    if (inText && (key->key() == Qt::Key_Backtab || (key->key() == Qt::Key_Tab && KeyMods(key) == Qt::ShiftModifier))) {
        m_pList->setFocus(Qt::BacktabFocusReason);
        return true;
    }
    if (key->key() == Qt::Key_Tab && KeyMods(key) == Qt::NoModifier) {
        // Tab on the last enabled control of the form goes to the list.
        QWidget* last = m_pStop->isEnabled() ? m_pStop : m_pFind->isEnabled() ? m_pFind : m_pSettings;
        if (watched == last) {
            m_pList->setFocus(Qt::TabFocusReason);
            return true;
        }
    }
    if (IsEnter(key) && watched == m_pStop) {
        PostStop();
        return true;
    }
    if (IsEnter(key) && watched == m_pSettings) {
        m_pSettings->click();
        return true;
    }
    if (key->key() == Qt::Key_Escape && !inText) {
        PostStop();
        return true;
    }
    if (inText && KeyMods(key) == Qt::ControlModifier && key->key() == Qt::Key_A) {
        m_pText->lineEdit()->selectAll();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace nimbra
