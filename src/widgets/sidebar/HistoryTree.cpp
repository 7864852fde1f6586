#include "widgets/sidebar/HistoryTree.h"

#include "data/settings/Settings.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <algorithm>

namespace nimbra {

namespace {

enum ERole : int {
    RoleKind = Qt::UserRole,
    RoleFrom,
    RoleTo,
    RoleHost,
    RoleUrl,
    RoleTitle,
    RoleFilled,
};
enum EKind : int { KindGroup, KindHost, KindPage };

struct SCommandText {
    int id;
    const char* text;
};
constexpr SCommandText kCommands[] = {
    {CHistoryTree::ID_HIST_OPEN, "開く(&O)\tEnter"},
    {CHistoryTree::ID_HIST_OPEN_NEW, "新しいタブで開く(&N)\tShift+Enter"},
    {CHistoryTree::ID_HIST_COPY_TITLE, "タイトルのコピー(&T)\tCtrl+A"},
    {CHistoryTree::ID_HIST_COPY_URL, "URLのコピー(&U)\tCtrl+Z"},
    {CHistoryTree::ID_HIST_PROPERTIES, "プロパティ(&P)"},
    {CHistoryTree::ID_HIST_STANDARD_ACTION, "標準動作の切り替え(&S)"},
    {CHistoryTree::ID_HIST_RELOAD, "再読み込み(&R)"},
};

constexpr const char* kInvalidEntry = "この履歴データは無効です。再読み込みをしてください";

QTreeWidgetItem* NewFolder(const QString& text, int kind, long long from, long long to, const QString& host = {})
{
    auto* item = new QTreeWidgetItem(QStringList{text});
    item->setData(0, RoleKind, kind);
    item->setData(0, RoleFrom, from);
    item->setData(0, RoleTo, to);
    item->setData(0, RoleHost, host);
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    return item;
}

} // namespace

CHistoryTree::CHistoryTree(IHistoryHost& host, QWidget* parent) : CPaneTree(parent), m_host(host)
{
    setObjectName(QStringLiteral("HistoryTree"));
    connect(this, &QTreeWidget::itemExpanded, this, &CHistoryTree::Fill);
}

void CHistoryTree::OnActivate()
{
    if (m_bStale)
        Reload();
}

void CHistoryTree::ClearAll()
{
    ++m_nGeneration;
    ForgetPress();
    clear();
    m_bStale = true;
}

void CHistoryTree::Reload()
{
    ClearAll();
    m_bStale = false;
    Fill(nullptr);
}

int CHistoryTree::ClickOpenNew() const
{
    return m_host.Settings().GetInt(EKey::NBLClickHistOpenNew);
}

void CHistoryTree::Fill(QTreeWidgetItem* folder)
{
    if (folder && folder->data(0, RoleFilled).toBool())
        return;
    if (folder)
        folder->setData(0, RoleFilled, true);
    const int kind = folder ? folder->data(0, RoleKind).toInt() : -1;
    const long long from = folder ? folder->data(0, RoleFrom).toLongLong() : 0;
    const long long to = folder ? folder->data(0, RoleTo).toLongLong() : 0;
    const std::string host = folder ? FromQ(folder->data(0, RoleHost).toString()) : std::string();
    const unsigned generation = m_nGeneration;
    ++m_nReads;
    using Items = std::vector<QTreeWidgetItem*>;
    ReadHistory<std::shared_ptr<Items>>(
        this, m_host.History(),
        [kind, from, to, host](const CHistoryReader& reader) {
            // Items are made here and only join the tree on the UI thread;
            // those that never join (a newer read, a tree gone) go with the list.
            auto items = std::shared_ptr<Items>(new Items, [](Items* list) {
                qDeleteAll(*list);
                delete list;
            });
            if (kind < 0) {
                for (const SHistoryGroup& g : HistoryGroups(reader.VisitDates(), QDate::currentDate()))
                    items->push_back(NewFolder(ToQ(g.name), KindGroup, g.from, g.to));
            } else if (kind == KindGroup) {
                for (const std::string& h : reader.Hosts(from, to))
                    items->push_back(NewFolder(h.empty() ? QStringLiteral("マイ コンピュータ") : ToQ(h), KindHost,
                                               from, to, ToQ(h)));
            } else {
                for (const SHistoryEntry& e : reader.Pages(host, from, to)) {
                    std::string text = HistoryDisplayTitle(e.title, e.url);
                    auto* item = new QTreeWidgetItem(QStringList{ToQ(OneLine(text.empty() ? e.url : text))});
                    item->setData(0, RoleKind, KindPage);
                    item->setData(0, RoleUrl, ToQ(e.url));
                    item->setData(0, RoleTitle, ToQ(e.title));
                    items->push_back(item);
                }
            }
            return items;
        },
        [this, folder, generation](std::shared_ptr<Items> items) {
            --m_nReads;
            if (generation != m_nGeneration)
                return;
            QList<QTreeWidgetItem*> list(items->begin(), items->end());
            items->clear(); // the tree owns them now
            if (folder) {
                folder->addChildren(list);
                if (list.isEmpty())
                    folder->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
            } else {
                addTopLevelItems(list);
            }
            Q_EMIT LevelFilled();
        });
}

bool CHistoryTree::IsPage(const QTreeWidgetItem* item)
{
    return item && item->data(0, RoleKind).toInt() == KindPage;
}

std::string CHistoryTree::UrlOf(const QTreeWidgetItem* item)
{
    return IsPage(item) ? FromQ(item->data(0, RoleUrl).toString()) : std::string();
}

bool CHistoryTree::IsOnLabel(const QTreeWidgetItem* item, const QPoint& viewportPos) const
{
    if (!item)
        return false;
    const QRect cell = visualItemRect(item);
    const int label = fontMetrics().horizontalAdvance(item->text(0)) + 8;
    return QRect(cell.left() - kIconHitWidth, cell.top(), label + kIconHitWidth, cell.height()).contains(viewportPos);
}

void CHistoryTree::Click(QTreeWidgetItem* item, Qt::KeyboardModifiers modifiers)
{
    if (!item)
        return;
    if (!IsPage(item)) {
        item->setExpanded(!item->isExpanded());
        return;
    }
    Open(item, (modifiers & Qt::ShiftModifier) || ClickOpenNew() != 0, modifiers & Qt::AltModifier);
}

void CHistoryTree::Open(const QTreeWidgetItem* item, bool newTab, bool viewSource)
{
    if (!IsPage(item))
        return;
    const std::string url = UrlOf(item);
    ReadHistory<bool>(
        this, m_host.History(), [url](const CHistoryReader& reader) { return reader.Entry(url).has_value(); },
        [this, url, newTab, viewSource](bool present) {
            if (!present) {
                ShowMessage(this, QString::fromUtf8(kInvalidEntry), QMessageBox::Warning);
                return;
            }
            const std::string target = viewSource ? "view-source:" + url : url;
            if (newTab)
                m_host.OpenNewTab(target);
            else
                m_host.Navigate(target);
            if (m_host.Settings().GetInt(EKey::NBSetFocusView) != 0)
                m_host.FocusView();
        });
}

void CHistoryTree::ShowProperties(const QTreeWidgetItem* item)
{
    if (!IsPage(item))
        return;
    const std::string url = UrlOf(item);
    ReadHistory<std::optional<SHistoryEntry>>(
        this, m_host.History(), [url](const CHistoryReader& reader) { return reader.Entry(url); },
        [this](std::optional<SHistoryEntry> entry) {
            if (!entry) {
                ShowMessage(this, QString::fromUtf8(kInvalidEntry), QMessageBox::Warning);
                return;
            }
            auto* dialog = new QDialog(this);
            dialog->setAttribute(Qt::WA_DeleteOnClose);
            dialog->setWindowTitle(QStringLiteral("プロパティ"));
            auto* form = new QFormLayout(dialog);
            auto row = [&](const char* name, const std::string& value) {
                auto* label = new QLabel(ToQ(value), dialog);
                label->setTextFormat(Qt::PlainText);
                label->setTextInteractionFlags(Qt::TextSelectableByMouse);
                label->setWordWrap(true);
                form->addRow(QString::fromUtf8(name), label);
            };
            row("タイトル:", HistoryDisplayTitle(entry->title, entry->url));
            row("URL:", entry->url);
            row("最終訪問日時:", HistoryDateText(entry->lastVisit));
            row("最終更新日時:", HistoryDateText(entry->lastUpdate));
            row("訪問回数:", std::to_string(entry->visitCount));
            auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, dialog);
            connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
            form->addRow(buttons);
            dialog->open();
        });
}

void CHistoryTree::RunCommand(int id)
{
    QTreeWidgetItem* item = Selected();
    switch (id) {
    case ID_HIST_OPEN:
    case ID_HIST_OPEN_VERB:
        Open(item, false, false);
        break;
    case ID_HIST_OPEN_NEW:
        Open(item, true, QGuiApplication::keyboardModifiers() & Qt::AltModifier);
        break;
    case ID_HIST_COPY_TITLE:
        if (item)
            QApplication::clipboard()->setText(item->text(0));
        break;
    case ID_HIST_COPY_URL:
        if (IsPage(item))
            QApplication::clipboard()->setText(ToQ(UrlOf(item)));
        break;
    case ID_HIST_PROPERTIES:
        ShowProperties(item);
        break;
    case ID_HIST_STANDARD_ACTION:
        m_host.Settings().WriteInt(EKey::NBLClickHistOpenNew, ClickOpenNew() != 0 ? 0 : 1);
        break;
    case ID_HIST_RELOAD:
        Reload();
        break;
    default:
        break;
    }
}

QMenu* CHistoryTree::CreateContextMenu(QTreeWidgetItem* target)
{
    auto* menu = new QMenu(this);
    auto add = [this, menu](int id) {
        const auto* command = std::find_if(std::begin(kCommands), std::end(kCommands),
                                           [id](const SCommandText& c) { return c.id == id; });
        QAction* action = menu->addAction(QString::fromUtf8(command->text));
        action->setData(id);
        connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
    };
    if (IsPage(target)) {
        setCurrentItem(target);
        add(ID_HIST_OPEN);
        add(ID_HIST_OPEN_NEW);
        menu->addSeparator();
        add(ID_HIST_COPY_TITLE);
        add(ID_HIST_COPY_URL);
        add(ID_HIST_PROPERTIES);
        menu->addSeparator();
        menu->setDefaultAction(menu->actions().value(ClickOpenNew() != 0 ? 1 : 0));
    }
    add(ID_HIST_STANDARD_ACTION);
    add(ID_HIST_RELOAD);
    return menu;
}

void CHistoryTree::ShowMenuAtSelection()
{
    QTreeWidgetItem* item = Selected();
    if (!item)
        return;
    QMenu* menu = CreateContextMenu(item);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(viewport()->mapToGlobal(visualItemRect(item).bottomLeft() + QPoint(kIconHitWidth, 0)));
}

int CHistoryTree::KeyCommand(const QKeyEvent* key) const
{
    if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::ControlModifier)
        return 0;
    if (key->key() == Qt::Key_A)
        return ID_HIST_COPY_TITLE;
    if (key->key() == Qt::Key_Z)
        return ID_HIST_COPY_URL;
    return 0;
}

void CHistoryTree::OnEnter(Qt::KeyboardModifiers modifiers)
{
    QTreeWidgetItem* item = Selected();
    if (!(modifiers & Qt::ShiftModifier) && ClickOpenNew() == 0)
        Click(item, modifiers);
    else if (IsPage(item))
        Open(item, true, modifiers & Qt::AltModifier);
    else
        Click(item, modifiers);
}

void CHistoryTree::contextMenuEvent(QContextMenuEvent* event)
{
    if (event->reason() != QContextMenuEvent::Mouse) {
        ShowMenuAtSelection();
        return;
    }
    QTreeWidgetItem* target = itemAt(event->pos());
    QMenu* menu = CreateContextMenu(IsOnLabel(target, event->pos()) ? target : nullptr);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

} // namespace nimbra
