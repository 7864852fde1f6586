#include "ui/CommandRouter.h"
#include "ui/MenuResource.h"
#include "platform/Text.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <memory>
#include <set>

using namespace nimbra;

namespace {

// A built menu as lines: "id text" for a command, "-" for a separator,
// "[text" ... "]" around a submenu.
void Flatten(const QList<QAction*>& actions, std::vector<std::string>& out)
{
    for (QAction* action : actions) {
        if (action->isSeparator()) {
            out.push_back("-");
        } else if (QMenu* sub = action->menu()) {
            out.push_back("[" + FromQ(sub->title()));
            Flatten(sub->actions(), out);
            out.push_back("]");
        } else {
            out.push_back(std::to_string(CCommandRouter::IdOf(action)) + " " + FromQ(action->text()));
        }
    }
}

std::vector<std::string> Flatten(const QList<QAction*>& actions)
{
    std::vector<std::string> out;
    Flatten(actions, out);
    return out;
}

void CollectIds(const QList<QAction*>& actions, std::vector<int>& ids)
{
    for (QAction* action : actions) {
        if (QMenu* sub = action->menu())
            CollectIds(sub->actions(), ids);
        else if (!action->isSeparator())
            ids.push_back(CCommandRouter::IdOf(action));
    }
}

const std::vector<std::string> kMainMenu = {
    "[ファイル(&F)",
    "61226 新規タブ(&N)", "32846 クリップボードから新規タブ(&B)\tAlt+N", "61229 開く(&O)...\tCtrl+O", "-",
    "32912 閉じる(&C)\tCtrl+W", "32879 アクティブなタブ以外は閉じる(&K)\tCtrl+Shift+Q",
    "[最近閉じたURL(&E)", "-", "61246 終了時に保存する(&E)", "32964 すべて開く(&O)", "]",
    "32865 最後に閉じたURLを開く(&L)\tCtrl+L", "-",
    "[URLリスト(&U)", "32876 現在の状態をリストに保存(&S)", "32877 リストから読み込み(&R)", "]",
    "[ログ(&G)", "32869 現在の状態をログに保存(&S)", "32866 ログから読み込み(&R)", "]", "-",
    "57604 名前をつけて保存(&A)...", "61232 ページ設定(&U)...", "57607 印刷(&P)...", "-",
    "61231 ショートカット作成(S)", "61224 プロパティ(&R)", "-",
    "57665 アプリケーションの終了(&X)\tAlt+F4",
    "]",
    "[編集(&E)",
    "61222 このページの検索(&F)...", "32880 選択文字列を開く(&J)", "-", "32878 アクティブなタブをコピー(&C)", "-",
    "32875 制止URLリストに登録(&C)\tCtrl+2", "32960 制止タイトルに登録(&T)\tCtrl+T",
    "]",
    "[表示(&V)",
    "[ツール バー(&T)", "59392 ツール バー(&T)", "32844 アドレス バー(&A)", "32927 リンク バー(&L)",
    "32771 タブ バー(&B)", "32928 移動ボタン(&G)", "-", "32891 ニンブラ バー(&M)\tF1",
    "32962 ブックマーク(&F)\tCtrl+I", "32961 履歴(&H)\tCtrl+H", "32965 履歴検索(&E)\tCtrl+E",
    "32971 Web検索(&W)\tCtrl+4", "-", "32867 ツール バーのカスタマイズ(&C)", "]",
    "59393 ステータス バー(&S)", "-",
    "32799 前に戻る(&B)", "32800 次に進む(&F)", "32803 ホーム ページ(&H)", "32801 中止(&P)",
    "32802 最新の情報に更新(&R)", "-",
    "[文字のサイズ(&X)", "32825 最大(&G)", "32826 大(&L)", "32827 中(&M)", "32828 小(&S)", "32829 最小(&A)", "]",
    "61223 ソース(&C)", "32921 コメントの表示(&L)", "-",
    "32845 すべてのタブを更新(&A)\tShift+F5", "61242 すべてのタブを中止(&A) \tShift+ESC",
    "[自動更新(&A)", "32979 自動更新開始(&S)\tAlt+A", "32978 自動更新なし(&S)", "]",
    "61240 ナビゲートロック(&L)", "-", "32772 全画面表示(&F)\tF11", "32881 タスク トレイ(&T)\tCtrl+Alt+F9",
    "]",
    "[ブックマーク(&B)",
    "32821 追加(&A)...\tCtrl+D", "32889 すべて追加(&C)", "61241 編集(&E)...\tCtrl+B", "-",
    "]",
    "[ツール(&T)",
    "[マルチメディア(&M)", "32894 画像のダウンロード(&I)", "32895 サウンドのダウンロード(&S)",
    "32896 ビデオのダウンロード(&V)", "-", "32916 設定をすべて反転(&R)", "]",
    "[セキュリティ(&S)", "32897 Javaの実行(&J)", "32898 Scriptの実行(&S)", "32899 ActiveXの実行(&A)",
    "32901 ActiveXのダウンロード(&D)", "-", "32917 設定をすべて反転(&R)", "]",
    "[クッキー(&C)", "32922 クッキー(&C)", "32923 セッションごとのクッキー(&S)",
    "32977 サードパーティのクッキー(&T)", "-", "32955 設定をすべて反転(&R)", "-",
    "32847 クッキーをすべて削除(&D)", "]",
    "32900 オフライン作業(&W)\tAlt+O", "32973 警告ダイアログは閉じる(&K)\tAlt+K", "-",
    "[プロキシ サーバー(&X)", "32919 プロキシ サーバーの設定(&O)", "-", "32918 ダイレクトに接続(&D)", "-",
    "32926 インターネットオプションで接続(&I)", "-", "]",
    "32851 URLの抽出(&E)\tCtrl+U", "32957 リストの編集(&E)", "33201 ダウンロード(&D)\tCtrl+J", "32777 タブ マネージャー(&M)...\tCtrl+M", "-",
    "32843 メーラーを起動(&E)", "-", "32806 インターネット オプション(&O)...", "61227 オプション(&P)\tF12",
    "]",
    "[タブ(&W)",
    "32774 前のタブ(&P)\tF2", "32773 次のタブ(&N)\tF3", "-", "32775 すべてのタブを閉じる(&C)\tCtrl+Shift+W",
    "32945 既読タブをすべて閉じる(&D)\tCtrl+Shift+X", "32941 すべて閉じるを復元(&E)", "-",
    "]",
    "[ヘルプ(&H)", "57664 バージョン情報(&A)", "]",
};

const std::vector<std::string> kTabMenu = {
    "[TABMENU",
    "32830 閉じる(&C)", "61236 このタブ以外はすべて閉じる(&K)", "-",
    "32840 前に戻る(&B)", "32841 次に進む(&F)", "61235 ホーム ページ(&H)", "61228 中止(&P)", "61218 更新(&R)", "-",
    "61239 ナビゲートロック(&L)", "61221 タブを左に移動(&L)", "61220 タブを右に移動(&R)", "-",
    "61219 名前を付けて保存(&A)", "61238 ブックマークに追加(&A)...", "61237 スタートアップURLに登録(&S)", "-",
    "32842 制止URLリストに登録(&C)", "32959 制止タイトルに登録(&T)", "-",
    "32910 タイトルをコピー(&T)", "32911 URLをコピー(&U)",
    "]",
};

const std::vector<std::string> kViewMenu = {
    "[VIEWM",
    "61226 新規タブ(&N)", "32846 クリップボードから新規タブ(&B)\tAlt+N", "61229 開く(&O)...\tCtrl+O", "-",
    "32865 最後に閉じたURLを開く(&L)\tCtrl+L", "32941 すべて閉じるを復元(&E)", "-",
    "32845 すべてのタブを更新(&A)\tShift+F5", "61242 すべてのタブを中止(&A) \tShift+ESC",
    "32775 すべてのタブを閉じる(&C)\tCtrl+Shift+W",
    "]",
};

const std::vector<std::string> kTrayMenu = {"[TRAY", "32881 元に戻す(&R)", "-", "57665 終了(&X)", "]"};

// Keys of the main window, as Qt writes them; 57665 and 32881 show their
// text only.
const std::vector<std::pair<int, const char*>> kKeys = {
    {32846, "Alt+N"}, {61229, "Ctrl+O"}, {32912, "Ctrl+W"}, {32879, "Ctrl+Shift+Q"}, {32865, "Ctrl+L"},
    {57665, ""}, {32875, "Ctrl+2"}, {32960, "Ctrl+T"}, {32891, "F1"},
    {32962, "Ctrl+I"}, {32961, "Ctrl+H"}, {32965, "Ctrl+E"}, {32971, "Ctrl+4"}, {32845, "Shift+F5"},
    {61242, "Shift+Esc"}, {32979, "Alt+A"}, {32772, "F11"}, {32881, ""}, {32821, "Ctrl+D"},
    {61241, "Ctrl+B"}, {32900, "Alt+O"}, {32973, "Alt+K"}, {32851, "Ctrl+U"}, {32777, "Ctrl+M"},
    {61227, "F12"}, {32774, "F2"}, {32773, "F3"}, {32775, "Ctrl+Shift+W"}, {32945, "Ctrl+Shift+X"},
    {61226, ""}, {32915, "Alt+M"}, {61225, "F5"},
};

class BuiltMenus : public ::testing::Test {
protected:
    void SetUp() override
    {
        const CMenuResource& res = CMenuResource::Builtin();
        ASSERT_EQ(res.Error(), "");
        bar.reset(BuildMenuBar(*res.FindMenu(128), router));
        tabMenu.reset(BuildPopupMenu(res.FindMenu("TABMENU")->items.at(0), router));
        viewMenu.reset(BuildPopupMenu(res.FindMenu(177)->items.at(0), router));
        trayMenu.reset(BuildPopupMenu(res.FindMenu(189)->items.at(0), router));
        ApplyCommandInfo(res.Commands(), router);
    }

    CCommandRouter router;
    std::unique_ptr<QMenuBar> bar;
    std::unique_ptr<QMenu> tabMenu, viewMenu, trayMenu;
};

} // namespace

TEST_F(BuiltMenus, EveryItemMatchesTheTable)
{
    EXPECT_EQ(Flatten(bar->actions()), kMainMenu);
    EXPECT_EQ(Flatten({tabMenu->menuAction()}), kTabMenu);
    EXPECT_EQ(Flatten({viewMenu->menuAction()}), kViewMenu);
    EXPECT_EQ(Flatten({trayMenu->menuAction()}), kTrayMenu);
}

TEST_F(BuiltMenus, AcceleratorsComeFromTheShortcutTexts)
{
    for (const auto& [id, keys] : kKeys) {
        SCOPED_TRACE(id);
        ASSERT_NE(router.FindAction(id), nullptr);
        EXPECT_EQ(router.FindAction(id)->shortcut().toString(QKeySequence::PortableText), QString(keys));
    }
    EXPECT_EQ(FromQ(router.FindAction(32851)->statusTip()), "現在のアクティブなページのURLを抽出します。");
    EXPECT_EQ(FromQ(router.FindAction(32851)->toolTip()), "URLの抽出");
    EXPECT_EQ(FromQ(router.FindAction(32920)->toolTip()), "プロキシの設定");
}

TEST_F(BuiltMenus, FixedPositionsHold)
{
    ASSERT_EQ(bar->actions().size(), 7);
    QMenu* bookmarks = FindPopup(bar.get(), {3});
    ASSERT_NE(bookmarks, nullptr);
    EXPECT_EQ(CCommandRouter::IdOf(bookmarks->actions().at(0)), 32821);

    QMenu* closed = FindPopup(bar.get(), {0, 6});
    ASSERT_NE(closed, nullptr);
    EXPECT_EQ(FromQ(closed->title()), "最近閉じたURL(&E)");

    QMenu* tabs = FindPopup(bar.get(), {5});
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(CCommandRouter::IdOf(tabs->actions().at(1)), 32773);
    EXPECT_EQ(tabs->actions().size(), 7); // the tab entries start at position 7

    QMenu* textSize = FindPopup(bar.get(), {2, 9});
    ASSERT_NE(textSize, nullptr);
    EXPECT_EQ(FromQ(textSize->title()), "文字のサイズ(&X)");
    EXPECT_NE(FindCommand(FindPopup(bar.get(), {2}), 32881), nullptr);

    QMenu* proxy = FindPopup(bar.get(), {4, 6});
    ASSERT_NE(proxy, nullptr);
    ASSERT_EQ(proxy->actions().size(), 6); // proxies are appended from position 6
    EXPECT_EQ(CCommandRouter::IdOf(proxy->actions().at(4)), 32926);
    EXPECT_TRUE(proxy->actions().at(5)->isSeparator());

    EXPECT_EQ(FindPopup(bar.get(), {0, 0}), nullptr); // a command, not a submenu
    EXPECT_EQ(FindPopup(bar.get(), {9}), nullptr);
}

TEST_F(BuiltMenus, IdsAreUniqueAndOutsideTheRunTimeRanges)
{
    for (const QList<QAction*>& actions : {bar->actions(), tabMenu->actions()}) {
        std::vector<int> ids;
        CollectIds(actions, ids);
        std::set<int> seen;
        for (int id : ids) {
            SCOPED_TRACE(id);
            EXPECT_TRUE(seen.insert(id).second);
            EXPECT_FALSE(id >= 34000 && id <= 44294);
            EXPECT_FALSE(id >= 1025 && id <= 1040);
        }
    }
}

TEST_F(BuiltMenus, MenusShareOneActionPerCommand)
{
    EXPECT_EQ(FindCommand(bar.get(), 61226), FindCommand(viewMenu.get(), 61226));
    EXPECT_EQ(FindCommand(bar.get(), 61226), router.FindAction(61226));
    // The tray names 32881 and 57665 differently: its own actions, same command.
    QAction* restore = FindCommand(trayMenu.get(), 32881);
    ASSERT_NE(restore, nullptr);
    EXPECT_NE(restore, router.FindAction(32881));
    EXPECT_EQ(FromQ(router.FindAction(32881)->text()), "タスク トレイ(&T)\tCtrl+Alt+F9");

    int runs = 0;
    router.SetHandler(CCommandRouter::ELevel::Frame, 32881, [&] { ++runs; });
    router.SetUpdateHandler(CCommandRouter::ELevel::Frame, 32881, [](SCmdUI& ui) { ui.SetCheck(true); });
    Q_EMIT trayMenu->aboutToShow();
    EXPECT_TRUE(restore->isEnabled());
    EXPECT_TRUE(restore->isChecked());
    restore->trigger();
    EXPECT_EQ(runs, 1);
}

TEST_F(BuiltMenus, ShowingAMenuRunsTheUpdateHandlers)
{
    QMenu* file = FindPopup(bar.get(), {0});
    QAction* close = FindCommand(file, 32912);
    EXPECT_FALSE(close->isEnabled()); // nobody handles it yet

    bool tabs = false;
    router.SetHandler(CCommandRouter::ELevel::Frame, 32912, [] {});
    router.SetUpdateHandler(CCommandRouter::ELevel::Frame, 32912, [&](SCmdUI& ui) { ui.Enable(tabs); });
    Q_EMIT file->aboutToShow();
    EXPECT_FALSE(close->isEnabled());
    tabs = true;
    Q_EMIT file->aboutToShow();
    EXPECT_TRUE(close->isEnabled());
    EXPECT_FALSE(FindCommand(file, 61226)->isEnabled());
}

TEST(MenuResource, ParsesNestingKeysAndPrompts)
{
    CMenuResource res;
    ASSERT_TRUE(res.Parse("# comment\r\n"
                          "MENU M 5 ACCEL\r\n"
                          "    POPUP \"a\"\r\n"
                          "        ITEM 1 \"x\\tCtrl+X\"\r\n"
                          "        POPUP \"sub\"\r\n"
                          "            ITEM 2 \"y\\tShown\" NOKEY\r\n"
                          "        SEPARATOR\r\n"
                          "\r\n"
                          "        ITEM 3 \"z\" KEY \"Alt+Z\" PROMPT \"say \\\"z\\\"\\nz\"\r\n"
                          "    ITEM 4 \"top\"\r\n"
                          "MENU P 6\r\n"
                          "    ITEM 5 \"shown\\tCtrl+Q\"\r\n"
                          "COMMAND 7 KEY \"F5\""))
        << res.Error();
    ASSERT_EQ(res.Menus().size(), 2u);
    const SMenu& m = *res.FindMenu("M");
    ASSERT_EQ(m.items.size(), 2u);
    const SMenuItem& a = m.items[0];
    EXPECT_TRUE(a.IsPopup());
    ASSERT_EQ(a.children.size(), 4u);
    EXPECT_EQ(a.children[0].text, "x\tCtrl+X");
    EXPECT_EQ(a.children[0].accel, "Ctrl+X");
    EXPECT_EQ(a.children[1].children.at(0).accel, "");
    EXPECT_TRUE(a.children[2].separator);
    EXPECT_EQ(a.children[3].accel, "Alt+Z");
    EXPECT_EQ(a.children[3].prompt, "say \"z\"\nz");
    EXPECT_EQ(m.items[1].id, 4);
    EXPECT_EQ(res.FindMenu(6)->items.at(0).accel, ""); // not an ACCEL menu
    ASSERT_EQ(res.Commands().size(), 1u);
    EXPECT_EQ(res.Commands()[0].accel, "F5");
}

TEST(MenuResource, MalformedLinesAreReportedWithTheirNumber)
{
    const std::pair<const char*, int> cases[] = {
        {"MENU M 1\n    ITEM 1 \"a\"\n    ITEN 2 \"b\"", 3},
        {"MENU M 1\n    ITEM 0 \"a\"", 2},
        {"MENU M 1\n    ITEM x1 \"a\"", 2},
        {"MENU M 1\n    ITEM 1 \"a", 2},
        {"MENU M 1\n    ITEM 1 \"a\\q\"", 2},
        {"MENU M 1\n        ITEM 1 \"a\"", 2},
        {"MENU M 1\n    ITEM 1 \"a\"\n        ITEM 2 \"b\"", 3},
        {"\n\n  ITEM 1 \"a\"", 3},
        {"    ITEM 1 \"a\"", 1},
        {"MENU M 1\n\tITEM 1 \"a\"", 2},
        {"MENU M 1 ACCEL\n    ITEM 1 \"a\\tCtrl+Frob\"", 2},
        {"MENU M 1\n    ITEM 1 \"a\" KEY \"F25\"", 2},
        {"MENU M 1\n    ITEM 1 \"a\" PROMPT", 2},
        {"MENU M 1\n    ITEM 1 \"\"", 2},
        {"MENU M 1\n    SEPARATOR x", 2},
        {"MENU M 1\nMENU N 1", 2},
        {"MENU M 1\nCOMMAND 5\n    ITEM 1 \"a\"", 3},
        {"COMMAND 5 NOKEY", 1},
        {"MENU M 1 EXTRA", 1},
    };
    for (const auto& [text, line] : cases) {
        SCOPED_TRACE(text);
        CMenuResource res;
        EXPECT_FALSE(res.Parse(text));
        EXPECT_EQ(res.ErrorLine(), line);
        EXPECT_FALSE(res.Error().empty());
        EXPECT_TRUE(res.Menus().empty());
    }
    CMenuResource missing;
    EXPECT_FALSE(missing.Load("/nonexistent/menus.txt"));
    EXPECT_FALSE(missing.Error().empty());
}

TEST(MenuResource, ShortcutTextsBecomeKeySequences)
{
    const std::pair<const char*, const char*> cases[] = {
        {"Ctrl+W", "Ctrl+W"},
        {"Shift+F5", "Shift+F5"},
        {"Alt+N", "Alt+N"},
        {"F12", "F12"},
        {"Ctrl+Shift+W", "Ctrl+Shift+W"},
        {"Shift+ESC", "Shift+Esc"},
        {"Ctrl+Alt+F9", "Ctrl+Alt+F9"},
        {" ctrl + 2 ", "Ctrl+2"},
        {"Ctrl+↑", "Ctrl+Up"},
        {"Shift+Enter", "Shift+Return"},
        {"Delete", "Del"},
        {"", ""},
        {"Ctrl+", ""},
        {"Ctrl+W+X", ""},
        {"Hyper+A", ""},
        {"F0", ""},
        {"F25", ""},
        {"F05", ""},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(ParseShortcut(text).toString(QKeySequence::PortableText), QString(expected));
    }
}
