#include "widgets/sidebar/WebSearchPane.h"

#include "ui/MenuResource.h"
#include "platform/Text.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

namespace nimbra {

namespace {

constexpr char kEngineMenu[] = "WEBSEARCH";

std::function<int(QDialog&)>& Driver()
{
    static std::function<int(QDialog&)> driver;
    return driver;
}

int RunDialog(QDialog& dialog)
{
    return Driver() ? Driver()(dialog) : dialog.exec();
}

Qt::KeyboardModifiers Mods(const QKeyEvent* key)
{
    return key->modifiers() & ~Qt::KeypadModifier;
}

bool IsEnter(const QKeyEvent* key)
{
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

// The list's own command for a key with Ctrl (or none), 0 for other keys.
int KeyCommand(const QKeyEvent* key)
{
    const Qt::KeyboardModifiers mods = Mods(key);
    if (mods == Qt::NoModifier) {
        switch (key->key()) {
        case Qt::Key_Insert:
            return CWebSearchPane::ID_ENGINE_ADD;
        case Qt::Key_Delete:
            return CWebSearchPane::ID_ENGINE_DELETE;
        default:
            return 0;
        }
    }
    if (mods != Qt::ControlModifier)
        return 0;
    switch (key->key()) {
    case Qt::Key_Up:
        return CWebSearchPane::ID_ENGINE_UP;
    case Qt::Key_Down:
        return CWebSearchPane::ID_ENGINE_DOWN;
    case Qt::Key_A:
        return CWebSearchPane::ID_ENGINE_CHECK_ALL;
    case Qt::Key_Z:
        return CWebSearchPane::ID_ENGINE_CHECK_ONLY;
    case Qt::Key_X:
        return CWebSearchPane::ID_ENGINE_INVERT;
    case Qt::Key_D:
        return CWebSearchPane::ID_ENGINE_EDIT;
    default:
        return 0;
    }
}

QDialogButtonBox* OkCancel(QDialog* dialog)
{
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

QLineEdit* AddEdit(QFormLayout* form, QDialog* dialog, const char* label, const char* id, const std::string& text)
{
    auto* edit = new QLineEdit(ToQ(text), dialog);
    edit->setObjectName(QString::fromLatin1(id));
    edit->setMinimumWidth(360);
    auto* caption = new QLabel(QString::fromUtf8(label), dialog);
    caption->setBuddy(edit);
    form->addRow(caption, edit);
    return edit;
}

} // namespace

std::function<int(QDialog&)> SetWebSearchDialogDriver(std::function<int(QDialog&)> driver)
{
    return std::exchange(Driver(), std::move(driver));
}

CSearchEngineDlg::CSearchEngineDlg(const SSearchEngine& engine, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("サーチエンジンの設定"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    m_pTitle = AddEdit(form, this, "タイトル(&T)", "1162", engine.title);
    m_pFront = AddEdit(form, this, "前につけるURL(&F)", "1163", engine.front);
    m_pBack = AddEdit(form, this, "後ろにつけるURL(&B)", "1164", engine.back);
    layout->addLayout(form);
    layout->addWidget(OkCancel(this));
    m_pTitle->setFocus();
}

CFindWebDlg::CFindWebDlg(const QStringList& texts, const QString& text, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Web検索ワード"));
    auto* layout = new QVBoxLayout(this);
    m_pText = new QComboBox(this);
    m_pText->setObjectName(QStringLiteral("1165"));
    m_pText->setEditable(true);
    m_pText->setCompleter(nullptr);
    m_pText->setInsertPolicy(QComboBox::NoInsert);
    m_pText->setMinimumWidth(320);
    m_pText->addItems(texts);
    m_pText->setEditText(text);
    layout->addWidget(m_pText);
    layout->addWidget(OkCancel(this));
    m_pText->setFocus();
    m_pText->lineEdit()->selectAll();
}

std::string CFindWebDlg::Text() const
{
    return FromQ(m_pText->currentText());
}

CWebSearchForm::CWebSearchForm(CWebSearchPane& pane, QWidget* parent) : QWidget(parent), m_pane(pane)
{
    setObjectName(QStringLiteral("229"));
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    auto* label = new QLabel(QStringLiteral("検索する文字列:"), this);
    layout->addWidget(label);
    m_pText = new QComboBox(this);
    m_pText->setObjectName(QStringLiteral("1161"));
    m_pText->setEditable(true);
    // What is typed is what is searched: no earlier text is filled in.
    m_pText->setCompleter(nullptr);
    m_pText->setInsertPolicy(QComboBox::NoInsert);
    m_pText->setMaxCount(kMaxTexts);
    m_pText->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_pText->setMinimumContentsLength(8);
    label->setBuddy(m_pText);
    layout->addWidget(m_pText);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_pSettings = new QPushButton(QStringLiteral("設定"), this);
    m_pSettings->setObjectName(QStringLiteral("1160"));
    m_pSearch = new QPushButton(QStringLiteral("検索"), this);
    m_pSearch->setObjectName(QStringLiteral("1159"));
    m_pSearch->setDefault(true);
    m_pSearch->setEnabled(false);
    buttons->addWidget(m_pSettings);
    buttons->addWidget(m_pSearch);
    layout->addLayout(buttons);

    connect(m_pText, &QComboBox::editTextChanged, this,
            [this](const QString& text) { m_pSearch->setEnabled(!text.isEmpty()); });
    connect(m_pSearch, &QPushButton::clicked, this, &CWebSearchForm::Search);
    connect(m_pSettings, &QPushButton::clicked, this, [this] {
        m_pane.ShowMenu(m_pane.CreateMenu(false), m_pSettings->mapToGlobal(QPoint(0, m_pSettings->height())));
    });
    m_pText->installEventFilter(this);
    m_pText->lineEdit()->installEventFilter(this);
    m_pSettings->installEventFilter(this);
    m_pSearch->installEventFilter(this);
}

QStringList CWebSearchForm::Texts() const
{
    QStringList texts;
    for (int i = 0; i < m_pText->count(); ++i)
        texts << m_pText->itemText(i);
    return texts;
}

void CWebSearchForm::Search()
{
    const QString text = m_pText->currentText();
    if (text.isEmpty())
        return;
    if (m_pText->count() == 0 || m_pText->itemText(0) != text) {
        if (m_pText->count() == kMaxTexts)
            m_pText->removeItem(kMaxTexts - 1);
        m_pText->insertItem(0, text);
    }
    m_pText->setCurrentIndex(0);
    m_pane.Search(FromQ(text));
}

bool CWebSearchForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
        return QWidget::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    // The combo hands its keys to the field without passing filters.
    const bool inText = watched == m_pText || watched == m_pText->lineEdit();
    const bool ctrlA = key->key() == Qt::Key_A && Mods(key) == Qt::ControlModifier;
    if (event->type() == QEvent::ShortcutOverride) {
        // Ctrl+A and Enter belong to the form, not to the frame's keys.
        if ((inText && ctrlA) || IsEnter(key)) {
            event->accept();
            return true;
        }
        return false;
    }
    if (key->key() == Qt::Key_Backtab && inText) {
        m_pane.m_pList->setFocus(Qt::BacktabFocusReason);
        return true;
    }
    if (key->key() == Qt::Key_Tab && Mods(key) == Qt::NoModifier) {
        QPushButton* last = m_pSearch->isEnabled() ? m_pSearch : m_pSettings;
        if (watched == last) {
            m_pane.m_pList->setFocus(Qt::TabFocusReason);
            return true;
        }
        return false;
    }
    if (inText && ctrlA) {
        m_pText->lineEdit()->selectAll();
        return true;
    }
    if (IsEnter(key)) {
        if (watched == m_pSettings)
            m_pSettings->click();
        else if (m_pSearch->isEnabled())
            Search();
        return true;
    }
    return false;
}

CSearchEngineListCtrl::CSearchEngineListCtrl(CWebSearchPane& pane, QWidget* parent)
    : QTreeWidget(parent), m_pane(pane)
{
    setObjectName(QStringLiteral("59406"));
    setColumnCount(1);
    setHeaderLabels({QStringLiteral("サーチエンジン")});
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    setTextElideMode(Qt::ElideRight);
    setFrameShape(QFrame::StyledPanel);
    header()->setStretchLastSection(false);
    header()->setSectionsClickable(true);
    header()->setSectionsMovable(false);
    header()->setMinimumSectionSize(CSearchEngineList::kMinColumnSize);
    header()->setMaximumSectionSize(CSearchEngineList::kMaxColumnSize);
    header()->setSectionResizeMode(0, QHeaderView::Interactive);
}

bool CSearchEngineListCtrl::event(QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        // The list's keys win over the frame's (Ctrl+D edits here).
        const auto* key = static_cast<QKeyEvent*>(event);
        if (KeyCommand(key) != 0 || IsEnter(key)) {
            event->accept();
            return true;
        }
    }
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab && Mods(key) == Qt::NoModifier) {
            m_pane.m_host.FocusView();
            return true;
        }
        if (key->key() == Qt::Key_Backtab) {
            m_pane.m_pForm->TextCombo()->setFocus(Qt::BacktabFocusReason);
            return true;
        }
    }
    return QTreeWidget::event(event);
}

void CSearchEngineListCtrl::keyPressEvent(QKeyEvent* event)
{
    if (IsEnter(event)) {
        m_pane.ToggleSelected();
        return;
    }
    if (event->key() == Qt::Key_Space && Mods(event) == Qt::NoModifier) {
        QTreeWidgetItem* item = currentItem();
        if (!item)
            return;
        const QRect rect = visualItemRect(item);
        m_pane.ShowMenu(m_pane.CreateMenu(true), viewport()->mapToGlobal(rect.bottomLeft()));
        return;
    }
    if (const int id = KeyCommand(event)) {
        m_pane.RunCommand(id);
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void CSearchEngineListCtrl::mousePressEvent(QMouseEvent* event)
{
    QTreeWidgetItem* item = itemAt(event->position().toPoint());
    if (item && event->button() == Qt::LeftButton && (event->modifiers() & Qt::ShiftModifier)) {
        m_pane.CheckOnly(indexOfTopLevelItem(item));
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

void CSearchEngineListCtrl::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTreeWidgetItem* item = itemAt(event->position().toPoint());
    if (item && event->button() == Qt::LeftButton) {
        setCurrentItem(item);
        m_pane.RunCommand(CWebSearchPane::ID_ENGINE_EDIT);
        return;
    }
    QTreeWidget::mouseDoubleClickEvent(event);
}

void CSearchEngineListCtrl::contextMenuEvent(QContextMenuEvent* event)
{
    if (event->reason() != QContextMenuEvent::Mouse) {
        QTreeWidgetItem* item = currentItem();
        const QPoint at = item ? visualItemRect(item).bottomLeft() : QPoint(0, 0);
        m_pane.ShowMenu(m_pane.CreateMenu(item != nullptr), viewport()->mapToGlobal(at));
        return;
    }
    QTreeWidgetItem* item = itemAt(viewport()->mapFromGlobal(event->globalPos()));
    if (item)
        setCurrentItem(item);
    m_pane.ShowMenu(m_pane.CreateMenu(item != nullptr), event->globalPos());
}

CWebSearchPane::CWebSearchPane(IWebSearchHost& host, std::string path, QWidget* parent)
    : QWidget(parent), m_host(host), m_path(std::move(path))
{
    setObjectName(QStringLiteral("WebSearchPane"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_pForm = new CWebSearchForm(*this, this);
    m_pList = new CSearchEngineListCtrl(*this, this);
    layout->addWidget(m_pForm);
    layout->addWidget(m_pList, 1);

    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(kSaveDelayMs);
    connect(&m_saveTimer, &QTimer::timeout, this, [this] { Save(CSearchEngineList::ESave::Auto); });

    m_engines.Load(m_path);
    m_pList->header()->resizeSection(0, m_engines.ColumnSize());
    Refill();
    if (m_pList->topLevelItemCount() > 0)
        SelectRow(0);

    connect(m_pList, &QTreeWidget::itemChanged, this, &CWebSearchPane::OnItemChanged);
    connect(m_pList->header(), &QHeaderView::sectionClicked, this, [this](int) { SortClicked(); });
    connect(m_pList->header(), &QHeaderView::sectionResized, this, [this](int, int, int size) {
        m_engines.SetColumnSize(size);
        Changed();
    });
}

CWebSearchPane::~CWebSearchPane() = default;

QWidget* CWebSearchPane::FocusTarget()
{
    return m_pList;
}

QWidget* CWebSearchPane::CommandTarget()
{
    return m_pForm->TextCombo();
}

void CWebSearchPane::FillItem(QTreeWidgetItem* item, const SSearchEngine& engine)
{
    item->setText(0, ToQ(TruncateTitle(engine.title, kMaxShownWidth)));
    item->setCheckState(0, engine.checked ? Qt::Checked : Qt::Unchecked);
    const std::string tip = TruncateTitle(engine.title, kMaxShownWidth) + "\n" +
                            TruncateTitle(engine.front, kMaxShownWidth) + "\n" +
                            TruncateTitle(engine.back, kMaxShownWidth);
    item->setToolTip(0, PlainToolTip(ToQ(tip)));
}

void CWebSearchPane::Refill()
{
    const int selected = SelectedRow();
    m_bFilling = true;
    m_pList->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(m_engines.Count());
    for (const SSearchEngine& engine : m_engines.Engines()) {
        auto* item = new QTreeWidgetItem;
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        FillItem(item, engine);
        items << item;
    }
    m_pList->addTopLevelItems(items);
    m_bFilling = false;
    if (m_engines.IsRow(selected))
        SelectRow(selected);
}

void CWebSearchPane::OnItemChanged(QTreeWidgetItem* item)
{
    if (m_bFilling)
        return;
    const int row = m_pList->indexOfTopLevelItem(item);
    if (!m_engines.IsRow(row))
        return;
    const bool checked = item->checkState(0) == Qt::Checked;
    SSearchEngine& engine = m_engines.Engines()[size_t(row)];
    if (engine.checked == checked)
        return;
    engine.checked = checked;
    Changed();
}

void CWebSearchPane::Changed()
{
    m_saveTimer.start();
}

int CWebSearchPane::SelectedRow() const
{
    QTreeWidgetItem* item = m_pList->currentItem();
    if (!item || !item->isSelected())
        return -1;
    return m_pList->indexOfTopLevelItem(item);
}

void CWebSearchPane::SelectRow(int row)
{
    QTreeWidgetItem* item = m_pList->topLevelItem(row);
    if (!item) {
        m_pList->setCurrentItem(nullptr);
        return;
    }
    m_pList->setCurrentItem(item);
    item->setSelected(true);
    m_pList->scrollToItem(item);
}

void CWebSearchPane::Search(const std::string& text)
{
    for (const std::string& url : m_engines.SearchUrls(text))
        m_host.Go(url);
}

void CWebSearchPane::QuickSearch(std::string_view clipboard, int findWebDlg)
{
    const std::string text = ClipboardSearchText(clipboard);
    if (findWebDlg == 0 && !text.empty()) {
        Search(text);
        return;
    }
    CFindWebDlg dialog(m_pForm->Texts(), ToQ(text), window());
    if (RunDialog(dialog) != QDialog::Accepted)
        return;
    Search(dialog.Text());
}

void CWebSearchPane::SearchSelection(std::string_view selection)
{
    const std::string text = OneLine(ClipboardSearchText(selection));
    if (!text.empty())
        Search(text);
}

bool CWebSearchPane::HasCheckedEngine() const
{
    return m_engines.HasCheckedEngine();
}

void CWebSearchPane::RunCommand(int id)
{
    const int row = SelectedRow();
    switch (id) {
    case ID_ENGINE_EDIT:
        Edit(row);
        return;
    case ID_ENGINE_ADD:
        AddEngine();
        return;
    case ID_ENGINE_DELETE:
        if (!m_engines.IsRow(row))
            return;
        delete m_pList->takeTopLevelItem(row);
        SelectRow(m_engines.Remove(row));
        break;
    case ID_ENGINE_SAVE:
        m_saveTimer.stop();
        Save(CSearchEngineList::ESave::Command);
        return;
    case ID_ENGINE_UP:
    case ID_ENGINE_DOWN: {
        const int moved = m_engines.Move(row, id == ID_ENGINE_UP ? -1 : 1);
        if (moved == row)
            return;
        FillItem(m_pList->topLevelItem(row), m_engines.Engines()[size_t(row)]);
        FillItem(m_pList->topLevelItem(moved), m_engines.Engines()[size_t(moved)]);
        SelectRow(moved);
        ClearSortMark();
        break;
    }
    case ID_ENGINE_INVERT:
        m_engines.InvertChecks();
        Refill();
        break;
    case ID_ENGINE_CHECK_ONLY:
        CheckOnly(row);
        return;
    case ID_ENGINE_CHECK_ALL:
        m_engines.CheckAll();
        Refill();
        break;
    default:
        return;
    }
    Changed();
}

void CWebSearchPane::Edit(int row)
{
    if (!m_engines.IsRow(row))
        return;
    CSearchEngineDlg dialog(m_engines.Engines()[size_t(row)], window());
    if (RunDialog(dialog) != QDialog::Accepted || !m_engines.IsRow(row))
        return;
    m_engines.SetTexts(row, FromQ(dialog.TitleEdit()->text()), FromQ(dialog.FrontEdit()->text()),
                       FromQ(dialog.BackEdit()->text()));
    FillItem(m_pList->topLevelItem(row), m_engines.Engines()[size_t(row)]);
    Changed();
}

void CWebSearchPane::AddEngine()
{
    const int row = m_engines.Add(FromQ(QApplication::clipboard()->text()));
    auto* item = new QTreeWidgetItem;
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    m_bFilling = true;
    FillItem(item, m_engines.Engines()[size_t(row)]);
    m_pList->addTopLevelItem(item);
    m_bFilling = false;
    SelectRow(row);
    Changed();
}

void CWebSearchPane::CheckOnly(int row)
{
    m_engines.CheckOnly(row);
    Refill();
    if (m_engines.IsRow(row))
        SelectRow(row);
    Changed();
}

void CWebSearchPane::ToggleSelected()
{
    QTreeWidgetItem* item = m_pList->topLevelItem(SelectedRow());
    if (item)
        item->setCheckState(0, item->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}

void CWebSearchPane::SortClicked()
{
    m_nSortOrder = m_nSortOrder == 1 ? -1 : 1;
    m_engines.SortByTitle(m_nSortOrder == 1);
    Refill();
    m_pList->header()->setSortIndicator(0, m_nSortOrder == 1 ? Qt::AscendingOrder : Qt::DescendingOrder);
    m_pList->header()->setSortIndicatorShown(true);
    Changed();
}

void CWebSearchPane::ClearSortMark()
{
    m_nSortOrder = 0;
    m_pList->header()->setSortIndicatorShown(false);
}

QMenu* CWebSearchPane::CreateMenu(bool onRow)
{
    auto* menu = new QMenu(this);
    const SMenu* resource = CMenuResource::Builtin().FindMenu(kEngineMenu);
    if (!resource || resource->items.empty())
        return menu;
    // The items before 追加 act on a row.
    bool rowPart = true;
    for (const SMenuItem& item : resource->items.front().children) {
        if (item.id == ID_ENGINE_ADD)
            rowPart = false;
        if (rowPart && !onRow)
            continue;
        if (item.separator) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(ToQ(item.text));
        const int id = item.id;
        action->setData(id);
        connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
    }
    return menu;
}

void CWebSearchPane::ShowMenu(QMenu* menu, const QPoint& globalPos)
{
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(globalPos);
}

void CWebSearchPane::Save(CSearchEngineList::ESave how)
{
    // A failed write leaves the old file; there is nothing to tell.
    m_engines.Save(m_path, how);
}

void CWebSearchPane::SaveAtExit()
{
    m_saveTimer.stop();
    Save(CSearchEngineList::ESave::Auto);
}

} // namespace nimbra
