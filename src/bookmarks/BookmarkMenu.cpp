#include "bookmarks/BookmarkMenu.h"

#include "frame/CommandRouter.h"
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

// One pass over the tree: the menu items and tree items of every folder,
// and the popup of each folder for the link bar's drop-downs.
struct CBookmarkMenu::Pass {
    CBookmarkMenu& self;
    QMenu* top;
    const Options& options;
    std::unordered_map<const BookmarkItem*, QMenu*> popups;

    void Own(QMenu* menu, QObject* object)
    {
        if (menu == top)
            self.m_owned.emplace_back(object);
    }

    void Folder(const BookmarkItem& folder, QMenu* menu, IBookmarkTree::Item treeParent, int menuDepth)
    {
        IBookmarkTree* tree = self.m_pTree;
        for (const BookmarkItem& item : folder.items) {
            switch (item.kind) {
            case BookmarkKind::Separator:
                Own(menu, menu->addSeparator());
                break;
            case BookmarkKind::Link: {
                const int number = self.LinkCount();
                Own(menu, self.AddLinkItem(menu, item.title, options));
                self.m_urls.push_back(item.url);
                if (tree)
                    tree->AddLink(treeParent, item.title, number);
                break;
            }
            case BookmarkKind::Folder: {
                QMenu* sub = menu;
                if (menuDepth < kMaxBookmarkMenuDepth) {
                    sub = new QMenu(MenuItemText(item.title, options), menu);
                    menu->addMenu(sub);
                    Own(menu, sub);
                    popups.emplace(&item, sub);
                }
                IBookmarkTree::Item treeItem = tree ? tree->AddFolder(treeParent, item.title) : nullptr;
                Folder(item, sub, treeItem, sub == menu ? menuDepth : menuDepth + 1);
                break;
            }
            }
        }
    }
};

CBookmarkMenu::CBookmarkMenu(std::function<void(int id)> run)
    : m_run(std::move(run))
{
}

QAction* CBookmarkMenu::AddLinkItem(QMenu* menu, const std::string& title, const Options& options)
{
    const int id = ID_BOOKMARK_FIRST + LinkCount();
    QAction* action = menu->addAction(MenuItemText(title, options));
    action->setData(id);
    // Items past the range stay enabled and do nothing (the next ids are
    // the proxy commands').
    if (id <= ID_BOOKMARK_LAST)
        QObject::connect(action, &QAction::triggered, action, [this, id] { m_run(id); });
    return action;
}

void CBookmarkMenu::Clear(QMenu* menu)
{
    if (m_pLinkBar)
        m_pLinkBar->ClearButtons();
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
    if (!menu)
        return;
    Pass pass{*this, menu, options, {}};
    pass.Folder(root, menu, m_treeRoot, 0);
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
    m_owned.emplace_back(AddLinkItem(menu, title, options));
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
