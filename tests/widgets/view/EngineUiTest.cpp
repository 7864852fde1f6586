#include "widgets/bars/StatusBar.h"
#include "widgets/bookmarks/AddBookmarkDlg.h"
#include "frames/browser/ChildFrame.h"
#include "ui/CommandIds.h"
#include "ui/CommandRouter.h"
#include "platform/FileDialog.h"
#include "platform/Text.h"
#include "widgets/view/Downloads.h"
#include "widgets/view/FindBar.h"
#include "widgets/view/PageContextMenu.h"
#include "widgets/view/PageNotices.h"

#include "TestBrowser.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

using namespace nimbra;
using testenv::FakeDownload;
using testenv::FakeWebBrowser;
using testenv::SpinUntil;

namespace {

class EngineUiTest : public testenv::BrowserTest {
protected:
    void TearDown() override
    {
        SetFileNameAsker({});
        CPermissionBar::ForgetAnswers();
        BrowserTest::TearDown();
    }
    CNimbraView* Open(const std::string& url)
    {
        CNimbraView* view = m_app->OpenUrl(url);
        EXPECT_NE(view, nullptr);
        return view;
    }
    static QStringList Texts(const QMenu& menu)
    {
        QStringList texts;
        for (const QAction* action : menu.actions())
            if (!action->isSeparator())
                texts << action->text();
        return texts;
    }
    static QAction* Entry(const QMenu& menu, const QString& text)
    {
        for (QAction* action : menu.actions())
            if (action->text() == text)
                return action;
        return nullptr;
    }
    std::string Saved(const std::string& name) const { return m_home.file(name); }
};

} // namespace

TEST(DownloadNameTest, SuggestedNamesStayPlainNamesInsideTheFolder)
{
    const std::string longName(500, 'a');
    const struct {
        std::string suggested;
        std::string expected;
    } cases[] = {
        {"report.pdf", "report.pdf"},
        {"../../etc/passwd", "_.._etc_passwd"},
        {"dir/sub\\\\name.txt", "dir_sub__name.txt"},
        {"a\x01\x1f\x7f.txt", "a___.txt"},
        {"..", "download"},
        {"", "download"},
        {".hidden", "hidden"},
        {"  spaced.zip  ", "spaced.zip"},
        {longName + ".zip", std::string(100, 'a') + ".zip"},
        {"日本語の資料.xlsx", "日本語の資料.xlsx"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DownloadFileName(c.suggested), c.expected) << c.suggested;
    // 500 wide characters: cut by width, never inside a character.
    std::string wide, fifty;
    for (int i = 0; i < 500; ++i)
        wide += "あ";
    for (int i = 0; i < 50; ++i)
        fifty += "あ";
    EXPECT_EQ(DownloadFileName(wide), fifty);
}

TEST(DownloadNameTest, ProgressTextShowsSpeedAndRemainingTime)
{
    EXPECT_EQ(DownloadProgressText(512, -1, 0), QStringLiteral("512 バイト"));
    EXPECT_EQ(DownloadProgressText(1024 * 1024, 4 * 1024 * 1024, 1024 * 1024),
              QStringLiteral("1.0 MB / 4.0 MB  1.0 MB/秒  残り 3 秒"));
    EXPECT_EQ(DownloadProgressText(0, 200LL * 1024 * 1024, 1024 * 1024),
              QStringLiteral("0 バイト / 200.0 MB  1.0 MB/秒  残り 3 分 20 秒"));
}

TEST_F(EngineUiTest, DownloadIsAskedForWrittenToAPartialNameAndRenamed)
{
    Start();
    CNimbraView* view = Open("http://a/");
    std::vector<SFileRequest> asked;
    const std::string target = Saved("file.bin");
    SetFileNameAsker([&](QWidget*, const SFileRequest& request) {
        asked.push_back(request);
        return target;
    });
    auto download = std::make_shared<FakeDownload>("http://a/file.bin", "../file.bin", 8);
    Fake(view)->Events()->DownloadRequested(download);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].save);
    EXPECT_EQ(asked[0].name, "_file.bin");
    EXPECT_EQ(download->startedPath, target + ".part");
    download->Receive("1234");
    // Progress follows at most every kUpdateMs.
    EXPECT_TRUE(SpinUntil([&] { return m_frame->StatusBar()->DownloadText().contains(QStringLiteral("50%")); }, 3000));
    EXPECT_FALSE(QFile::exists(ToQ(target)));
    download->Receive("5678");
    download->Complete();
    QFile file(ToQ(target));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "12345678");
    EXPECT_FALSE(QFile::exists(ToQ(target + ".part")));
    EXPECT_TRUE(m_frame->StatusBar()->DownloadText().isEmpty());
    auto* window = m_frame->ViewHost().Downloads().Window();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("ダウンロード"));
    window->close();

    // The next question starts in the folder of the last one; a cancelled
    // download leaves no file under either name.
    auto second = std::make_shared<FakeDownload>("http://a/two.bin", "two.bin");
    const std::string secondTarget = Saved("two.bin");
    SetFileNameAsker([&](QWidget*, const SFileRequest& request) {
        asked.push_back(request);
        return secondTarget;
    });
    Fake(view)->Events()->DownloadRequested(second);
    EXPECT_EQ(asked.back().folder, FromQ(m_home.path()));
    second->Receive("12");
    second->Cancel();
    EXPECT_FALSE(QFile::exists(ToQ(secondTarget)));
    EXPECT_FALSE(QFile::exists(ToQ(secondTarget + ".part")));

    // Cancelling the question writes nothing and cancels the download.
    SetFileNameAsker([](QWidget*, const SFileRequest&) { return std::string(); });
    auto refused = std::make_shared<FakeDownload>("http://a/three.bin", "three.bin");
    Fake(view)->Events()->DownloadRequested(refused);
    EXPECT_EQ(refused->State(), IDownload::EState::Cancelled);
    EXPECT_TRUE(refused->startedPath.empty());
}

TEST_F(EngineUiTest, DownloadsArrivingDuringAQuestionWaitAndGoWithTheirTab)
{
    Start();
    CNimbraView* keeper = Open("http://a/");
    CNimbraView* closing = Open("http://b/");
    int questions = 0;
    std::vector<std::shared_ptr<FakeDownload>> extra;
    SetFileNameAsker([&](QWidget*, const SFileRequest& request) {
        if (++questions == 1) {
            // A page starts 100 more downloads while the first question is open.
            for (int i = 0; i < 100; ++i) {
                CNimbraView* from = i == 0 ? keeper : closing;
                extra.push_back(std::make_shared<FakeDownload>("http://x/" + std::to_string(i), "f"));
                Fake(from)->Events()->DownloadRequested(extra.back());
            }
            // The tab that started 99 of them is closed meanwhile.
            CChildFrame::Of(closing)->close();
        }
        return Saved(request.name + std::to_string(questions));
    });
    Fake(keeper)->Events()->DownloadRequested(std::make_shared<FakeDownload>("http://x/first", "first"));
    EXPECT_EQ(questions, 1);
    EXPECT_EQ(m_frame->ViewHost().Downloads().Waiting(), 100u);
    for (const auto& d : extra)
        EXPECT_EQ(d->State(), IDownload::EState::Cancelled);
    ASSERT_TRUE(SpinUntil([&] { return m_frame->ViewHost().Downloads().Waiting() == 0; }, 2000));
    // Only the keeper's download was asked again, and its engine asked to
    // download it anew; that request starts without another question.
    EXPECT_EQ(questions, 2);
    ASSERT_EQ(Fake(keeper)->downloadUrls, std::vector<std::string>{"http://x/0"});
    auto again = std::make_shared<FakeDownload>("http://x/0", "f");
    Fake(keeper)->Events()->DownloadRequested(again);
    EXPECT_EQ(questions, 2);
    EXPECT_EQ(again->startedPath, Saved("f2") + ".part");
    again->Cancel();
}

TEST_F(EngineUiTest, ContextMenuEntriesFollowWhatWasClicked)
{
    Start();
    CNimbraView* view = Open("http://a/");
    SContextMenu link;
    link.linkUrl = "http://a/next";
    link.linkText = "次";
    SContextMenu image;
    image.imageUrl = "http://a/i.png";
    SContextMenu selection;
    selection.selectedText = "http://sel/";
    SContextMenu field;
    field.editable = true;
    field.editFlags = EDITFLAG_PASTE | EDITFLAG_SELECT_ALL;
    const struct {
        SContextMenu info;
        QStringList texts;
    } cases[] = {
        {link,
         {"開く(&O)", "新しいタブで開く(&W)", "リンクのアドレスをコピー(&C)", "名前を付けてリンク先を保存(&A)...",
          "リンクをブックマークに追加(&B)..."}},
        {image,
         {"画像を新しいタブで開く(&I)", "名前を付けて画像を保存(&S)...", "画像をコピー(&Y)",
          "画像のアドレスをコピー(&O)"}},
        {selection, {"コピー(&C)", "選択文字列を開く(&J)", "選択文字列で検索(&S)"}},
        {field, {"元に戻す(&U)", "切り取り(&T)", "コピー(&C)", "貼り付け(&P)", "すべて選択(&A)"}},
        {SContextMenu{},
         {"戻る(&B)", "進む(&F)", "最新の情報に更新(&R)", "ソースの表示(&V)", "名前を付けて保存(&A)...", "印刷(&P)...",
          "プロパティ(&R)"}},
    };
    for (const auto& c : cases) {
        std::unique_ptr<QMenu> menu(CreatePageContextMenu(*view, c.info, nullptr));
        EXPECT_EQ(Texts(*menu), c.texts);
    }

    std::unique_ptr<QMenu> fieldMenu(CreatePageContextMenu(*view, field, nullptr));
    EXPECT_FALSE(Entry(*fieldMenu, "切り取り(&T)")->isEnabled());
    Entry(*fieldMenu, "貼り付け(&P)")->trigger();
    std::unique_ptr<QMenu> imageMenu(CreatePageContextMenu(*view, image, nullptr));
    Entry(*imageMenu, "名前を付けて画像を保存(&S)...")->trigger();
    EXPECT_EQ(Fake(view)->pageActions, (std::vector<EPageAction>{EPageAction::Paste, EPageAction::SaveImage}));

    std::unique_ptr<QMenu> linkMenu(CreatePageContextMenu(*view, link, nullptr));
    Entry(*linkMenu, "新しいタブで開く(&W)")->trigger();
    ASSERT_EQ(Tabs()->GetItemCount(), 2);
    EXPECT_EQ(Tabs()->ViewAt(1)->m_strUrl, "http://a/next");
    EXPECT_EQ(m_frame->ActiveView(), view);
    Entry(*linkMenu, "リンクのアドレスをコピー(&C)")->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("http://a/next"));

    // The selection goes to the web search pane's checked engines, on one line.
    m_frame->ActivateTab(CChildFrame::Of(view));
    Fake(view)->selection = "  ab\ncd ";
    std::unique_ptr<QMenu> selectionMenu(CreatePageContextMenu(*view, selection, nullptr));
    Entry(*selectionMenu, "選択文字列で検索(&S)")->trigger();
    const std::vector<CNimbraView*> views = m_frame->Views();
    EXPECT_TRUE(std::any_of(views.begin(), views.end(), [](CNimbraView* v) {
        return v->m_strUrl.find("google.co.jp/search?lr=lang_ja&q=ab%20cd&num=100") != std::string::npos;
    })) << "no tab searched for the selection";
}

TEST_F(EngineUiTest, LinkMenuAddsTheLinkThroughTheBookmarkDialog)
{
    Start();
    CNimbraView* view = Open("http://a/");
    std::vector<std::string> shown;
    testenv::HandlerGuard driver(SetBookmarkDialogDriver, [&](QDialog& dialog) {
        shown.push_back(FromQ(dynamic_cast<CAddBookmarkDlg&>(dialog).TitleEdit()->text()));
        return int(QDialog::Rejected);
    });
    // A link without text is named by its address.
    for (const char* text : {"  次  ", " "}) {
        SContextMenu link;
        link.linkUrl = "http://a/next";
        link.linkText = text;
        std::unique_ptr<QMenu> menu(CreatePageContextMenu(*view, link, nullptr));
        Entry(*menu, "リンクをブックマークに追加(&B)...")->trigger();
    }
    EXPECT_EQ(shown, (std::vector<std::string>{"次", "http://a/next"}));
}

TEST_F(EngineUiTest, PermissionBarAsksOneAtATimeAndRemembersTheSite)
{
    Start();
    CNimbraView* view = Open("http://a/");
    std::vector<bool> answers;
    auto record = [&answers](bool grant) { answers.push_back(grant); };
    for (int i = 0; i < 100; ++i)
        Fake(view)->Events()->PermissionRequested("http://a", EPermission::Location, record);
    Fake(view)->Events()->PermissionRequested("http://b", EPermission::Camera, record);
    CPermissionBar* bar = view->PermissionBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_FALSE(bar->isHidden());
    EXPECT_EQ(bar->Waiting(), 100u);
    EXPECT_TRUE(answers.empty());
    bar->Answer(false);
    EXPECT_EQ(answers, std::vector<bool>(100, false));
    EXPECT_EQ(bar->Waiting(), 0u);
    bar->Answer(true);
    EXPECT_TRUE(bar->isHidden());
    // Answered for the run: asked again, answered at once.
    Fake(view)->Events()->PermissionRequested("http://b", EPermission::Camera, record);
    EXPECT_EQ(answers.back(), true);
    EXPECT_EQ(answers.size(), 102u);
    EXPECT_TRUE(bar->isHidden());
}

TEST_F(EngineUiTest, EndedRendererShowsTheReasonAndReloadsTheSameAddress)
{
    Start();
    CNimbraView* view = Open("http://a/");
    Fake(view)->Events()->RendererGone(ERendererEnd::Killed, 9);
    ASSERT_NE(view->CrashPanel(), nullptr);
    EXPECT_FALSE(view->CrashPanel()->isHidden());
    EXPECT_TRUE(view->Browser()->Widget()->isHidden());
    EXPECT_TRUE(view->CrashPanel()->Text().contains(QStringLiteral("強制終了")));
    EXPECT_EQ(view->GetLocationURL(), "http://a/");
    view->CrashPanel()->findChild<QPushButton*>()->click();
    EXPECT_EQ(Fake(view)->navigations.back(), "http://a/");
    EXPECT_TRUE(view->CrashPanel()->isHidden());
    EXPECT_FALSE(view->Browser()->Widget()->isHidden());
}

TEST_F(EngineUiTest, PageKeysRunTheirCommandsUnlessTheMenusOwnThem)
{
    Start();
    CNimbraView* view = Open("http://a/");
    Fake(view)->ClickLink("http://b/");
    EXPECT_TRUE(view->HandlePageKey(Qt::ControlModifier | Qt::Key_Plus));
    EXPECT_EQ(view->Browser()->GetZoom(), 3);
    EXPECT_TRUE(view->HandlePageKey(Qt::ControlModifier | Qt::Key_0));
    EXPECT_EQ(view->Browser()->GetZoom(), 2);
    EXPECT_TRUE(view->HandlePageKey(Qt::ControlModifier | Qt::Key_Minus));
    EXPECT_EQ(view->Browser()->GetZoom(), 1);
    EXPECT_TRUE(view->HandlePageKey(Qt::ControlModifier | Qt::Key_F));
    EXPECT_NE(view->findChild<CFindBar*>(), nullptr);
    EXPECT_TRUE(view->HandlePageKey(Qt::AltModifier | Qt::Key_Left));
    EXPECT_EQ(view->GetLocationURL(), "http://a/");
    EXPECT_TRUE(view->HandlePageKey(Qt::AltModifier | Qt::Key_Right));
    EXPECT_EQ(view->GetLocationURL(), "http://b/");
    // Ctrl+L is the menu's "最後に閉じたURLを開く"; other keys go on.
    EXPECT_FALSE(view->HandlePageKey(Qt::ControlModifier | Qt::Key_L));
    EXPECT_FALSE(view->HandlePageKey(QKeyCombination(Qt::Key_A)));
}

TEST_F(EngineUiTest, CertificateWarningHoldsThePageUntilTheUserChooses)
{
    Start();
    CNimbraView* view = Open("http://a/");
    std::vector<bool> answers;
    auto record = [&answers](bool proceed) { answers.push_back(proceed); };
    auto warning = [] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); };
    auto click = [&](const QString& text) {
        for (QAbstractButton* button : warning()->buttons())
            if (button->text() == text)
                button->click();
    };
    Fake(view)->Events()->CertificateError("https://bad.example:8443/x", "自己署名", record);
    ASSERT_TRUE(SpinUntil([&] { return warning() != nullptr; }, 2000));
    EXPECT_TRUE(warning()->text().contains(QStringLiteral("bad.example")));
    EXPECT_EQ(warning()->defaultButton()->text(), QStringLiteral("戻る"));
    EXPECT_TRUE(answers.empty());
    click(QStringLiteral("戻る"));
    EXPECT_EQ(answers, std::vector<bool>{false});

    Fake(view)->Events()->CertificateError("https://bad.example:8443/x", "自己署名", record);
    ASSERT_TRUE(SpinUntil([&] { return warning() != nullptr; }, 2000));
    click(QStringLiteral("このサイトへ移動する"));
    // The host is let through for the rest of the run.
    Fake(view)->Events()->CertificateError("https://bad.example/y", "自己署名", record);
    EXPECT_EQ(answers, (std::vector<bool>{false, true, true}));
}

TEST_F(EngineUiTest, DownloadsWindowComesBackByMenuOrKeyAndDropsFinishedRows)
{
    Start();
    CNimbraView* view = Open("http://a/");
    SetFileNameAsker([&](QWidget*, const SFileRequest& request) { return Saved(request.name); });
    auto finished = std::make_shared<FakeDownload>("http://a/done.bin", "done.bin");
    auto running = std::make_shared<FakeDownload>("http://a/running.bin", "running.bin");
    Fake(view)->Events()->DownloadRequested(finished);
    Fake(view)->Events()->DownloadRequested(running);
    finished->Receive("1");
    finished->Complete();
    CDownloadsWindow* window = m_frame->ViewHost().Downloads().Window();
    ASSERT_TRUE(window->isVisible());

    // Closed, it comes back with the key of the Tools menu's item.
    window->close();
    m_frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_frame));
    QTest::keyClick(m_frame, Qt::Key_J, Qt::ControlModifier);
    EXPECT_TRUE(window->isVisible());

    // Only the ended download leaves the list; its file stays.
    auto* remove = window->findChild<QPushButton*>(QStringLiteral("removeFinished"));
    ASSERT_NE(remove, nullptr);
    EXPECT_EQ(remove->text(), QStringLiteral("完了した項目を削除(&R)"));
    remove->click();
    EXPECT_EQ(window->RowCount(), 1u);
    EXPECT_TRUE(QFile::exists(ToQ(Saved("done.bin"))));
    running->Receive("2");
    running->Complete();
    remove->click();
    EXPECT_EQ(window->RowCount(), 0u);
    window->close();
    m_frame->Router().Execute(ID_DOWNLOADS);
    EXPECT_TRUE(window->isVisible());
}
