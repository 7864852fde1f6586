#include "widgets/bookmarks/BookmarkMenu.h"

#include "ui/CommandRouter.h"
#include "platform/Text.h"

#include <QMenu>
#include <QMenuBar>
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

// One pass over the tree: the entries of every menu, the tree items, and
// the popup of each folder for the link bar's drop-downs.
struct CBookmarkMenu::Pass {
    CBookmarkMenu& self;
    QMenu* top;
    const Options& options;
    std::unordered_map<const BookmarkItem*, QMenu*> popups;
    std::unordered_map<QMenu*, std::vector<Entry>> entries;
    std::vector<QMenu*> menus; // in the order they were made, the top first

    void Folder(const BookmarkItem& folder, QMenu* menu, IBookmarkTree::Item treeParent, int menuDepth)
    {
        IBookmarkTree* tree = self.m_pTree;
        std::vector<Entry>* list = &entries[menu];
        for (const BookmarkItem& item : folder.items) {
            switch (item.kind) {
            case BookmarkKind::Separator:
                list->push_back({});
                break;
            case BookmarkKind::Link: {
                const int number = self.LinkCount();
                list->push_back({MenuItemText(item.title, options), ID_BOOKMARK_FIRST + number});
                self.m_urls.push_back(item.url);
                if (tree)
                    tree->AddLink(treeParent, item.title, number);
                break;
            }
            case BookmarkKind::Folder: {
                QMenu* sub = menu;
                if (menuDepth < kMaxBookmarkMenuDepth) {
                    sub = new QMenu(MenuItemText(item.title, options), menu);
                    self.Own(menu, sub);
                    list->push_back({{}, 0, sub});
                    popups.emplace(&item, sub);
                    menus.push_back(sub);
                }
                IBookmarkTree::Item treeItem = tree ? tree->AddFolder(treeParent, item.title) : nullptr;
                // (Elements of the map stay where they are as it grows.)
                Folder(item, sub, treeItem, sub == menu ? menuDepth : menuDepth + 1);
                break;
            }
            }
        }
    }

    // Small menus get their entries now, large ones when they first show.
    void Fill()
    {
        for (QMenu* menu : menus) {
            std::vector<Entry>& list = entries[menu];
            if (list.size() <= size_t(kMenuEntriesBuiltAtOnce)) {
                self.AddEntries(menu, list);
                continue;
            }
            self.m_pending.emplace(menu, std::move(list));
            self.m_fills.push_back(
                QObject::connect(menu, &QMenu::aboutToShow, menu, [this_ = &self, menu] { this_->FillPending(menu); }));
        }
    }
};

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

void CBookmarkMenu::FillPending(QMenu* menu)
{
    const auto pending = m_pending.find(menu);
    if (pending == m_pending.end())
        return;
    const std::vector<Entry> entries = std::move(pending->second);
    m_pending.erase(pending);
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
}

void CBookmarkMenu::Rebuild(QMenu* menu, const BookmarkItem& root, const Options& options)
{
    Clear(menu);
    m_pTop = menu;
    if (!menu)
        return;
    Pass pass{*this, menu, options, {}, {}, {menu}};
    pass.Folder(root, menu, m_treeRoot, 0);
    pass.Fill();
    if (m_pLinkBar) {
        for (const LinkBarEntry& entry : LinkBarEntries(root)) {
            if (entry.item->IsLink()) {
                m_pLinkBar->AddButton(entry.item->title, entry.item->url, ID_BOOKMARK_FIRST + entry.linkNumber,
                                      nullptr);
            } else {
                const auto popup = pass.popups.find(entry.item);
                m_pLinkBar->AddButton(entry.item->title, {}, -1,
                                      popup == pass.popups.end() ? nullptr : popup->second);
            }
        }
    }
    if (m_pTree)
        m_pTree->ExpandAndSelectRoot();
}

void CBookmarkMenu::AppendRootLink(QMenu* menu, const std::string& title, const std::string& url,
                                   const Options& options)
{
    const int number = LinkCount();
    Entry entry{MenuItemText(title, options), ID_BOOKMARK_FIRST + number};
    // A menu not filled yet takes it after the others.
    if (const auto pending = m_pending.find(menu); pending != m_pending.end())
        pending->second.push_back(std::move(entry));
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
