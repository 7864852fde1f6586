#include "widgets/view/PageContextMenu.h"

#include "ui/CommandIds.h"
#include "ui/CommandRouter.h"
#include "platform/Text.h"
#include "widgets/view/NimbraView.h"
#include "widgets/view/ViewHost.h"

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QPointer>

namespace nimbra {

namespace {

void CopyText(const std::string& text)
{
    QApplication::clipboard()->setText(ToQ(text));
}

} // namespace

QMenu* CreatePageContextMenu(CNimbraView& view, const SContextMenu& info, QWidget* parent)
{
    auto* menu = new QMenu(parent);
    QPointer<CNimbraView> v(&view);
    auto add = [menu, v](const char* text, std::function<void(CNimbraView&)> run, bool enabled = true) {
        QAction* action = menu->addAction(QString::fromUtf8(text));
        action->setEnabled(enabled);
        QObject::connect(action, &QAction::triggered, menu, [v, run] {
            if (v)
                run(*v);
        });
    };
    auto command = [](int id) {
        return [id](CNimbraView& view) { view.Commands().Run(id); };
    };
    auto page = [](EPageAction action) {
        return [action](CNimbraView& view) { view.Browser()->TriggerPageAction(action); };
    };

    if (!info.linkUrl.empty()) {
        const std::string url = info.linkUrl, text = info.linkText;
        add("開く(&O)", [url](CNimbraView& view) { view.Navigate(url); });
        add("新しいタブで開く(&W)", [url](CNimbraView& view) { view.Host().OpenUrl(url); });
        add("リンクのアドレスをコピー(&C)", [url](CNimbraView&) { CopyText(url); });
        add("名前を付けてリンク先を保存(&A)...", page(EPageAction::SaveLink));
        add("リンクをブックマークに追加(&B)...", [url, text](CNimbraView& view) {
            view.Host().AddBookmark(Trim(text).empty() ? url : Trim(text), url);
        });
    }
    if (!info.imageUrl.empty()) {
        if (!menu->isEmpty())
            menu->addSeparator();
        const std::string url = info.imageUrl;
        add("画像を新しいタブで開く(&I)", [url](CNimbraView& view) { view.Host().OpenUrl(url); });
        add("名前を付けて画像を保存(&S)...", page(EPageAction::SaveImage));
        add("画像をコピー(&Y)", page(EPageAction::CopyImage));
        add("画像のアドレスをコピー(&O)", [url](CNimbraView&) { CopyText(url); });
    }
    if (info.editable) {
        if (!menu->isEmpty())
            menu->addSeparator();
        add("元に戻す(&U)", page(EPageAction::Undo), info.editFlags & EDITFLAG_UNDO);
        menu->addSeparator();
        add("切り取り(&T)", page(EPageAction::Cut), info.editFlags & EDITFLAG_CUT);
        add("コピー(&C)", page(EPageAction::Copy), info.editFlags & EDITFLAG_COPY);
        add("貼り付け(&P)", page(EPageAction::Paste), info.editFlags & EDITFLAG_PASTE);
        menu->addSeparator();
        add("すべて選択(&A)", page(EPageAction::SelectAll), info.editFlags & EDITFLAG_SELECT_ALL);
    } else if (!info.selectedText.empty()) {
        if (!menu->isEmpty())
            menu->addSeparator();
        add("コピー(&C)", page(EPageAction::Copy));
        add("選択文字列を開く(&J)", command(ID_OPEN_SELECTION));
        if (view.Host().CommandEnabled(ID_SEARCH_SELECTION))
            add("選択文字列で検索(&S)", [](CNimbraView& view) { view.Host().RunCommand(ID_SEARCH_SELECTION); });
    }
    if (menu->isEmpty()) {
        add("戻る(&B)", command(ID_BACK), view.m_bCanGoBack && !view.m_bNaviLock);
        add("進む(&F)", command(ID_FORWARD), view.m_bCanGoForward && !view.m_bNaviLock);
        add("最新の情報に更新(&R)", command(ID_REFRESH), !view.m_bNaviLock);
        menu->addSeparator();
        add("ソースの表示(&V)", command(ID_SOURCE));
        add("名前を付けて保存(&A)...", command(ID_SAVE_AS));
        add("印刷(&P)...", command(ID_PRINT));
        menu->addSeparator();
        add("プロパティ(&R)", command(ID_PROPERTIES));
    }
    return menu;
}

} // namespace nimbra
