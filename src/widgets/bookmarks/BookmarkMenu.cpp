#include "widgets/bookmarks/BookmarkMenu.h"

#include "ui/CommandRouter.h"
#include "platform/Text.h"

#include <QMenu>
#include <QMenuBar>
#include <algorithm>
#include <iterator>
#include <unordered_map>

namespace nimbra {

std::string BookmarkMenuText(std::string_view title, bool shorten, int width)
{
    return TruncateTitle(title, shorten ? width : kMaxBookmarkTextWidth);
}

QMenu* FindBookmarkMenu(const QMenuBar* bar)
{
    if (!bar)
        return nullptr;
    const QList<QAction*> menus = bar->actions();
    if (menus.size() <= kBookmarkMenuIndex)
        return nullptr;
    QMenu* menu = menus[kBookmarkMenuIndex]->menu();
    if (!menu || menu->actions().isEmpty())
        return nullptr;
    return CCommandRouter::IdOf(menu->actions().first()) == ID_BOOKMARK_ADD ? menu : nullptr;
}

namespace {

// A title as a menu item shows it: a menu takes "&" for a mnemonic mark,
// so a title's own "&" is doubled.
QString MenuItemText(std::string_view title, const CBookmarkMenu::Options& options)
{
    QString text = ToQ(BookmarkMenuText(title, options.shortenTitles, options.titleWidth));
    text.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return text;
}

} // namespace

CBookmarkMenu::CBookmarkMenu(std::function<void(int id)> run)
    : m_run(std::move(run))
{
}

CBookmarkMenu::~CBookmarkMenu()
{
    for (const QMetaObject::Connection& fill : m_fills)
        QObject::disconnect(fill);
}

void CBookmarkMenu::Own(QMenu* menu, QObject* object)
{
    if (menu == m_pTop)
        m_owned.emplace_back(object);
}

QAction* CBookmarkMenu::AddLinkItem(QMenu* menu, QAction* before, const QString& text, int id)
{
    auto* action = new QAction(text, menu);
    action->setData(id);
    menu->insertAction(before, action);
    // Items past the range stay enabled and do nothing (the next ids are
    // the proxy commands').
    if (id <= ID_BOOKMARK_LAST)
        QObject::connect(action, &QAction::triggered, action, [this, id] { m_run(id); });
    return action;
}

void CBookmarkMenu::AddEntries(QMenu* menu, const std::vector<Entry>& entries)
{
    // Qt looks through all items of a menu at each insertion, and through
    // them again for the item to insert before unless that one comes first.
    // So the entries go in from the last, each before the one after it,
    // with the items already there (the fixed ones) taken out meanwhile:
    // that halves the time a folder of 200,000 links takes.
    const QList<QAction*> kept = menu->actions();
    for (QAction* action : kept)
        menu->removeAction(action);
    QAction* before = nullptr;
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        if (entry->sub) {
            before = menu->insertMenu(before, entry->sub);
            continue;
        }
        before = entry->id ? AddLinkItem(menu, before, entry->text, entry->id) : menu->insertSeparator(before);
        Own(menu, before);
    }
    for (auto action = kept.rbegin(); action != kept.rend(); ++action) {
        menu->insertAction(before, *action);
        before = *action;
    }
}

int CBookmarkMenu::Data::FirstLink(const BookmarkItem& folder) const
{
    return &folder == root.get() ? 0 : folders.at(&folder).firstLink;
}

void CBookmarkMenu::Number(const BookmarkItem& folder, int depth)
{
    for (const BookmarkItem& item : folder.items) {
        if (item.IsLink()) {
            m_urls.push_back(item.url);
        } else if (item.IsFolder()) {
            const int first = LinkCount();
            Number(item, depth + 1);
            m_data->folders[&item] = {first, LinkCount() - first, depth + 1};
        }
    }
}

QMenu* CBookmarkMenu::SubMenu(const BookmarkItem& folder)
{
    QMenu*& sub = m_subMenus[&folder];
    if (sub)
        return sub;
    sub = new QMenu(MenuItemText(folder.title, m_options), m_pTop);
    m_owned.emplace_back(sub);
    m_pending.emplace(sub, Pending{&folder, m_data->folders.at(&folder).depth});
    m_fills.push_back(QObject::connect(sub, &QMenu::aboutToShow, sub, [this, sub] { FillPending(sub); }));
    return sub;
}

void CBookmarkMenu::Entries(const BookmarkItem& folder, int depth, std::vector<Entry>& out)
{
    int number = m_data->FirstLink(folder);
    for (const BookmarkItem& item : folder.items) {
        switch (item.kind) {
        case BookmarkKind::Separator:
            out.push_back({});
            break;
        case BookmarkKind::Link:
            out.push_back({MenuItemText(item.title, m_options), ID_BOOKMARK_FIRST + number++});
            break;
        case BookmarkKind::Folder:
            // Below the depth limit a folder's entries join this menu.
            if (depth < kMaxBookmarkMenuDepth)
                out.push_back({{}, 0, SubMenu(item)});
            else
                Entries(item, depth, out);
            number += m_data->folders.at(&item).linkCount;
            break;
        }
    }
}

void CBookmarkMenu::FillPending(QMenu* menu)
{
    const auto pending = m_pending.find(menu);
    if (pending == m_pending.end())
        return;
    const Pending folder = pending->second;
    m_pending.erase(pending);
    std::vector<Entry> entries;
    Entries(*folder.folder, folder.depth, entries);
    if (menu == m_pTop) {
        std::move(m_appended.begin(), m_appended.end(), std::back_inserter(entries));
        m_appended.clear();
    }
    AddEntries(menu, entries);
}

void CBookmarkMenu::Clear(QMenu* menu)
{
    if (m_pLinkBar)
        m_pLinkBar->ClearButtons();
    for (const QMetaObject::Connection& fill : m_fills)
        QObject::disconnect(fill);
    m_fills.clear();
    m_pending.clear();
    m_appended.clear();
    m_subMenus.clear();
    if (menu) {
        // Taken out from the front, which is cheap for any number of items;
        // the fixed items go back in.
        const QList<QAction*> actions = menu->actions();
        for (QAction* action : actions)
            menu->removeAction(action);
        for (int i = 0; i < kBookmarkFixedItems && i < actions.size(); ++i)
            menu->addAction(actions[i]);
    }
    for (const QPointer<QObject>& object : m_owned)
        delete object.data();
    m_owned.clear();
    m_urls.clear();
    m_treeRoot = m_pTree ? m_pTree->ResetRoot() : nullptr;
    m_data.reset();
}

void CBookmarkMenu::Rebuild(QMenu* menu, const BookmarkItem& root, const Options& options)
{
    Rebuild(menu, std::make_shared<const BookmarkItem>(root), options);
}

void CBookmarkMenu::Rebuild(QMenu* menu, std::shared_ptr<const BookmarkItem> root, const Options& options)
{
    Clear(menu);
    m_pTop = menu;
    if (!menu || !root)
        return;
    m_data = std::make_shared<Data>();
    m_data->root = std::move(root);
    m_options = options;
    Number(*m_data->root, 0);
    m_pending.emplace(menu, Pending{m_data->root.get(), 0});
    m_fills.push_back(QObject::connect(menu, &QMenu::aboutToShow, menu, [this, menu] { FillPending(menu); }));
    if (m_pTree)
        FillTree(*m_pTree, m_data, *m_data->root, m_treeRoot);
    if (m_pLinkBar) {
        for (const LinkBarEntry& entry : LinkBarEntries(*m_data->root)) {
            if (entry.item->IsLink()) {
                m_pLinkBar->AddButton(entry.item->title, entry.item->url, ID_BOOKMARK_FIRST + entry.linkNumber,
                                      nullptr);
            } else {
                const bool hasMenu = m_data->folders.at(entry.item).depth <= kMaxBookmarkMenuDepth;
                m_pLinkBar->AddButton(entry.item->title, {}, -1, hasMenu ? SubMenu(*entry.item) : nullptr);
            }
        }
    }
    if (m_pTree)
        m_pTree->ExpandAndSelectRoot();
}

void CBookmarkMenu::FillTree(IBookmarkTree& tree, const std::shared_ptr<const Data>& data,
                             const BookmarkItem& folder, IBookmarkTree::Item parent)
{
    int number = data->FirstLink(folder);
    for (const BookmarkItem& item : folder.items) {
        if (item.IsLink()) {
            tree.AddLink(parent, item.title, number++);
        } else if (item.IsFolder()) {
            const bool hasItems = std::any_of(item.items.begin(), item.items.end(),
                                              [](const BookmarkItem& child) { return !child.IsSeparator(); });
            IBookmarkTree::Filler fill;
            if (hasItems)
                fill = [data, &item](IBookmarkTree& owner, IBookmarkTree::Item self) {
                    FillTree(owner, data, item, self);
                };
            tree.AddFolder(parent, item.title, std::move(fill));
            number += data->folders.at(&item).linkCount;
        }
    }
}

void CBookmarkMenu::AppendRootLink(QMenu* menu, const std::string& title, const std::string& url,
                                   const Options& options)
{
    const int number = LinkCount();
    Entry entry{MenuItemText(title, options), ID_BOOKMARK_FIRST + number};
    // A top menu not filled yet takes it after the others.
    if (m_pending.count(menu))
        m_appended.push_back(std::move(entry));
    else
        m_owned.emplace_back(AddLinkItem(menu, nullptr, entry.text, entry.id));
    m_urls.push_back(url);
    if (m_pTree && m_treeRoot)
        m_pTree->AddLink(m_treeRoot, title, number);
}

std::string CBookmarkMenu::UrlOf(int id) const
{
    const int n = id - ID_BOOKMARK_FIRST;
    if (n < 0 || n >= LinkCount())
        return {};
    return m_urls[size_t(n)];
}

} // namespace nimbra
