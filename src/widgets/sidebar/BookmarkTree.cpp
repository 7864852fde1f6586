#include "widgets/sidebar/BookmarkTree.h"

#include "widgets/bookmarks/BookmarkImages.h"
#include "platform/Text.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QToolTip>
#include <algorithm>

namespace nimbra {

namespace {

struct SCommandText {
    int id;
    const char* text;
    const char* prompt;
};
constexpr SCommandText kCommands[] = {
    {CBookmarkTree::ID_TREE_OPEN, "開く(&O)\tEnter", nullptr},
    {CBookmarkTree::ID_TREE_OPEN_NEW, "新しいタブで開く(&N)\tShift+Enter", nullptr},
    {CBookmarkTree::ID_TREE_OPEN_FOLDER, "以下のフォルダのURLを開く(&A)", "以下のフォルダにあるブックマークを開きます。"},
    {CBookmarkTree::ID_TREE_COPY_TITLE, "タイトルのコピー(&T)\tCtrl+A", nullptr},
    {CBookmarkTree::ID_TREE_COPY_URL, "URLのコピー(&U)\tCtrl+Z", nullptr},
    {CBookmarkTree::ID_TREE_EXPAND_ALL, "すべてのフォルダを開く(&E)\tCtrl+X", nullptr},
    {CBookmarkTree::ID_TREE_COLLAPSE_ALL, "すべてのフォルダを閉じる(&C)\tCtrl+C", nullptr},
    {CBookmarkTree::ID_TREE_STANDARD_ACTION, "標準動作の切り替え(&S)", nullptr},
};

// Titles are shown on one line, cut as the menu cuts them (a text of no
// more bytes than the limit is never wider).
QString ItemText(const std::string& text)
{
    QString shown = ToQ(text.size() > size_t(kMaxBookmarkTextWidth) ? BookmarkMenuText(text, false, 0) : text);
    // A plain scan: find_first_of would search the set once per byte.
    if (std::any_of(text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r' || c == '\t'; })) {
        for (QChar& c : shown) {
            if (c == u'\n' || c == u'\r' || c == u'\t')
                c = u' ';
        }
    }
    return shown;
}

// An item keeps its link number (-1 for a folder) and takes its image from
// the tree, so a large tree holds one text per item and nothing more.
class CBookmarkItem : public QTreeWidgetItem {
public:
    CBookmarkItem(const QString& text, int number) : m_nNumber(number) { setText(0, text); }

    QVariant data(int column, int role) const override
    {
        if (column == 0 && role == Qt::UserRole)
            return m_nNumber;
        if (column == 0 && role == Qt::DecorationRole) {
            if (const auto* tree = static_cast<const CBookmarkTree*>(treeWidget()))
                return tree->Icon(m_nNumber);
        }
        return QTreeWidgetItem::data(column, role);
    }

private:
    int m_nNumber;
};

// Each line of a tip as a paragraph of its own, so that direction marks in
// a title cannot run on into the URL; the text is never read as markup.
QString TipHtml(const QString& plain)
{
    QString html;
    for (const QString& line : plain.split(u'\n'))
        html += QStringLiteral("<p style=\"margin:0; white-space:pre\">") + line.toHtmlEscaped() + QStringLiteral("</p>");
    return html;
}

constexpr char kPathSeparator = '\x1f';

} // namespace

CBookmarkTree::CBookmarkTree(IBookmarkTreeHost& host, QWidget* parent) : CPaneTree(parent), m_host(host)
{
    setObjectName(QStringLiteral("BookmarkTree"));
    const SBookmarkImages images = LoadBookmarkImages();
    m_folderIcon = images.FolderIcon();
    m_bookmarkIcon = images.bookmark;
    connect(this, &QTreeWidget::itemExpanded, this, &CBookmarkTree::Fill);
}

void CBookmarkTree::Fill(QTreeWidgetItem* folder)
{
    const auto filler = m_fillers.find(folder);
    if (filler == m_fillers.end())
        return;
    const Filler fill = std::move(filler->second);
    m_fillers.erase(filler);
    folder->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    // The entries join the folder together: one insertion for the view.
    m_pFilling = folder;
    fill(*this, folder);
    m_pFilling = nullptr;
    folder->addChildren(m_filled);
    m_filled.clear();
    // Folders that were open before the last reset open again when they
    // come back, however late.
    Reopen();
}

void CBookmarkTree::FillAll()
{
    while (!m_fillers.empty())
        Fill(const_cast<QTreeWidgetItem*>(m_fillers.begin()->first));
}

QTreeWidgetItem* CBookmarkTree::NewItem(QTreeWidgetItem* parent, const std::string& text, int number)
{
    // Filled before it joins the tree, so the model reports one insertion.
    auto* item = new CBookmarkItem(ItemText(text), number);
    if (!parent) {
        addTopLevelItem(item);
        return item;
    }
    if (parent == m_pFilling) {
        m_filled.append(item);
        return item;
    }
    if (parent == Root()) {
        AttachDetached();
        if (number < 0) {
            m_pDetached.reset(item);
            return item;
        }
    }
    parent->addChild(item);
    return item;
}

void CBookmarkTree::AttachDetached()
{
    if (m_pDetached)
        Root()->addChild(m_pDetached.release());
}

std::string CBookmarkTree::FolderPath(const QTreeWidgetItem* item) const
{
    std::string path;
    for (; item && item != Root(); item = item->parent())
        path = kPathSeparator + FromQ(item->text(0)) + path;
    return path;
}

IBookmarkTree::Item CBookmarkTree::ResetRoot()
{
    ForgetPress();
    m_fillers.clear();
    m_pDetached.reset();
    m_reopen.clear();
    m_paths.clear();
    m_toExpand.clear();
    if (QTreeWidgetItem* root = Root()) {
        std::vector<const QTreeWidgetItem*> folders{root};
        while (!folders.empty()) {
            const QTreeWidgetItem* folder = folders.back();
            folders.pop_back();
            for (int i = 0; i < folder->childCount(); ++i) {
                const QTreeWidgetItem* child = folder->child(i);
                if (child->childCount() == 0 || !IsFolder(child))
                    continue;
                if (child->isExpanded())
                    m_reopen.insert(FolderPath(child));
                folders.push_back(child);
            }
        }
    }
    clear();
    QTreeWidgetItem* root = NewItem(nullptr, kBookmarkTreeRootText, -1);
    if (!m_reopen.empty())
        m_paths.emplace(root, std::string());
    return root;
}

IBookmarkTree::Item CBookmarkTree::AddFolder(Item parent, const std::string& name, Filler fill)
{
    auto* owner = static_cast<QTreeWidgetItem*>(parent);
    QTreeWidgetItem* item = NewItem(owner, name, -1);
    if (fill) {
        item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        m_fillers.emplace(item, std::move(fill));
    }
    if (!m_reopen.empty()) {
        if (auto it = m_paths.find(owner); it != m_paths.end()) {
            std::string path = it->second + kPathSeparator + FromQ(item->text(0));
            if (m_reopen.count(path))
                m_toExpand.push_back(item);
            m_paths.emplace(item, std::move(path));
        }
    }
    return item;
}

void CBookmarkTree::AddLink(Item parent, const std::string& title, int number)
{
    NewItem(static_cast<QTreeWidgetItem*>(parent), title, number);
}

void CBookmarkTree::ExpandAndSelectRoot()
{
    QTreeWidgetItem* root = Root();
    if (!root)
        return;
    AttachDetached();
    root->setExpanded(true);
    Reopen();
    setCurrentItem(root);
}

void CBookmarkTree::Reopen()
{
    // Filling a folder that was open may find more open folders in it.
    while (!m_toExpand.empty()) {
        QTreeWidgetItem* item = m_toExpand.back();
        m_toExpand.pop_back();
        Fill(item);
        item->setExpanded(true);
    }
}

QTreeWidgetItem* CBookmarkTree::Selected() const
{
    const QList<QTreeWidgetItem*> items = selectedItems();
    return items.isEmpty() ? nullptr : items.first();
}

int CBookmarkTree::LinkNumber(const QTreeWidgetItem* item)
{
    return item ? item->data(0, Qt::UserRole).toInt() : -1;
}

std::string CBookmarkTree::UrlOf(const QTreeWidgetItem* item) const
{
    const int number = LinkNumber(item);
    const std::vector<std::string>& urls = m_host.Urls();
    if (number < 0 || number >= int(urls.size()))
        return {};
    return urls[size_t(number)];
}

QRect CBookmarkTree::HitRect(const QTreeWidgetItem* item) const
{
    const QModelIndex index = indexFromItem(item);
    const QRect cell = visualRect(index);
    if (!index.isValid() || cell.isEmpty())
        return {};
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = cell;
    option.index = index;
    option.text = item->text(0);
    option.icon = item->icon(0);
    option.features |= QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
    const QRect text = style()->subElementRect(QStyle::SE_ItemViewItemText, &option, this);
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    const int label = std::min(text.width(), option.fontMetrics.horizontalAdvance(option.text) + 2 * margin);
    return QRect(text.left() - kIconHitWidth, cell.top(), label + kIconHitWidth, cell.height()).intersected(cell);
}

bool CBookmarkTree::IsOnLabel(const QTreeWidgetItem* item, const QPoint& viewportPos) const
{
    return item && HitRect(item).contains(viewportPos);
}

void CBookmarkTree::Click(QTreeWidgetItem* item, Qt::KeyboardModifiers modifiers)
{
    if (!item)
        return;
    if (IsFolder(item)) {
        item->setExpanded(!item->isExpanded());
        return;
    }
    Open(item, (modifiers & Qt::ShiftModifier) || m_options.clickOpenNew != 0, modifiers & Qt::AltModifier);
}

void CBookmarkTree::Open(const QTreeWidgetItem* item, bool newTab, bool viewSource)
{
    std::string url = UrlOf(item);
    if (url.empty())
        return;
    if (viewSource)
        url = "view-source:" + url;
    if (newTab)
        m_host.OpenNewTab(url);
    else
        m_host.Navigate(url);
    AfterOpen();
}

void CBookmarkTree::AfterOpen()
{
    if (m_options.setFocusView != 0)
        m_host.FocusView();
}

void CBookmarkTree::OnEnter(Qt::KeyboardModifiers modifiers)
{
    QTreeWidgetItem* item = Selected();
    if (!item)
        return;
    if (!(modifiers & Qt::ShiftModifier) && m_options.clickOpenNew == 0)
        Click(item, modifiers);
    else
        Open(item, true, modifiers & Qt::AltModifier);
}

void CBookmarkTree::OpenFolderContents()
{
    QTreeWidgetItem* folder = Selected();
    if (!folder || !IsFolder(folder))
        return;
    Fill(folder);
    for (int i = 0; i < folder->childCount(); ++i) {
        const QTreeWidgetItem* child = folder->child(i);
        const std::string url = IsFolder(child) ? std::string() : UrlOf(child);
        if (!url.empty())
            m_host.OpenNewTab(url);
    }
    AfterOpen();
}

void CBookmarkTree::ExpandAll(bool expand)
{
    QTreeWidgetItem* root = Root();
    if (!root)
        return;
    // The root keeps its state; every item under it follows.
    const bool rootOpen = root->isExpanded();
    if (expand) {
        FillAll();
        expandAll();
    }
    else
        collapseAll();
    root->setExpanded(rootOpen);
    if (QTreeWidgetItem* selected = Selected())
        scrollToItem(selected);
}

void CBookmarkTree::CopyText(const std::string& text)
{
    if (!text.empty())
        QApplication::clipboard()->setText(ToQ(text));
}

void CBookmarkTree::RunCommand(int id)
{
    switch (id) {
    case ID_TREE_OPEN:
        Open(Selected(), false, false);
        break;
    case ID_TREE_OPEN_NEW:
        Open(Selected(), true, QGuiApplication::keyboardModifiers() & Qt::AltModifier);
        break;
    case ID_TREE_OPEN_FOLDER:
        OpenFolderContents();
        break;
    case ID_TREE_COPY_TITLE:
        if (const QTreeWidgetItem* item = Selected())
            CopyText(FromQ(item->text(0)));
        break;
    case ID_TREE_COPY_URL:
        CopyText(UrlOf(Selected()));
        break;
    case ID_TREE_EXPAND_ALL:
        ExpandAll(true);
        break;
    case ID_TREE_COLLAPSE_ALL:
        ExpandAll(false);
        break;
    case ID_TREE_STANDARD_ACTION:
        m_options.clickOpenNew = m_options.clickOpenNew != 0 ? 0 : 1;
        m_host.SaveClickOpenNew(m_options.clickOpenNew);
        break;
    default:
        break;
    }
}

QMenu* CBookmarkTree::CreateContextMenu(QTreeWidgetItem* target, bool onLabel)
{
    auto* menu = new QMenu(this);
    auto add = [this, menu](int id) {
        const auto* command = std::find_if(std::begin(kCommands), std::end(kCommands),
                                           [id](const SCommandText& c) { return c.id == id; });
        QAction* action = menu->addAction(QString::fromUtf8(command->text));
        action->setData(id);
        if (command->prompt)
            action->setStatusTip(QString::fromUtf8(command->prompt));
        connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
    };
    if (target && onLabel) {
        setCurrentItem(target);
        const bool folder = IsFolder(target);
        if (folder) {
            add(ID_TREE_OPEN_FOLDER);
        } else {
            add(ID_TREE_OPEN);
            add(ID_TREE_OPEN_NEW);
            menu->addSeparator();
        }
        add(ID_TREE_COPY_TITLE);
        if (!folder)
            add(ID_TREE_COPY_URL);
        menu->addSeparator();
        menu->setDefaultAction(menu->actions().value(m_options.clickOpenNew != 0 ? 1 : 0));
    }
    add(ID_TREE_EXPAND_ALL);
    add(ID_TREE_COLLAPSE_ALL);
    menu->addSeparator();
    add(ID_TREE_STANDARD_ACTION);
    return menu;
}

void CBookmarkTree::ShowMenuAtSelection()
{
    QTreeWidgetItem* item = Selected();
    if (!item)
        return;
    const QRect hit = HitRect(item);
    QMenu* menu = CreateContextMenu(item, true);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(viewport()->mapToGlobal(QPoint(hit.left() + kIconHitWidth, hit.bottom())));
}

QString CBookmarkTree::InfoTip(const QTreeWidgetItem* item) const
{
    if (m_options.infoTip == 0 || !item || IsFolder(item))
        return {};
    return item->text(0) + u'\n' + ToQ(TruncateTitle(UrlOf(item), kMaxTipWidth));
}

// The tree's own Ctrl keys, taken before the frame's shortcuts see them.
int CBookmarkTree::KeyCommand(const QKeyEvent* key) const
{
    if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::ControlModifier)
        return 0;
    switch (key->key()) {
    case Qt::Key_A:
        return CBookmarkTree::ID_TREE_COPY_TITLE;
    case Qt::Key_Z:
        return CBookmarkTree::ID_TREE_COPY_URL;
    case Qt::Key_X:
        return CBookmarkTree::ID_TREE_EXPAND_ALL;
    case Qt::Key_C:
        return CBookmarkTree::ID_TREE_COLLAPSE_ALL;
    default:
        return 0;
    }
}

std::string CBookmarkTree::HoverText(const QTreeWidgetItem* item) const
{
    return IsFolder(item) ? std::string() : TruncateTitle(UrlOf(item), kMaxTipWidth);
}

bool CBookmarkTree::viewportEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::ToolTip: {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QTreeWidgetItem* item = itemAt(help->pos());
        const QString tip = IsOnLabel(item, help->pos()) ? InfoTip(item) : QString();
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), TipHtml(tip), viewport(), visualItemRect(item));
        return true;
    }
    default:
        break;
    }
    return CPaneTree::viewportEvent(event);
}

void CBookmarkTree::contextMenuEvent(QContextMenuEvent* event)
{
    if (event->reason() != QContextMenuEvent::Mouse) {
        ShowMenuAtSelection();
        return;
    }
    QTreeWidgetItem* target = itemAt(event->pos());
    if (!target)
        return;
    QMenu* menu = CreateContextMenu(target, IsOnLabel(target, event->pos()));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

} // namespace nimbra
