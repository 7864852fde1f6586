// The page commands of a tab's view and the frame commands built on them.
#include "ui/CommandIds.h"
#include "widgets/view/ViewCommands.h"

#include "widgets/bars/AddressCombo.h"
#include "frames/browser/ViewManager.h"
#include "widgets/bookmarks/UrlEntryDialog.h"
#include "ui/CommandRouter.h"
#include "frames/browser/MainFrame.h"
#include "ui/MenuResource.h"
#include "platform/MessageBox.h"
#include "platform/Shortcut.h"
#include "platform/Text.h"
#include "widgets/view/AutoRefreshDlg.h"
#include "widgets/view/Downloads.h"
#include "widgets/view/FindBar.h"
#include "widgets/view/NimbraView.h"
#include "widgets/view/PagePropertiesDlg.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPageSetupDialog>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QStandardPaths>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>

namespace nimbra {

namespace {


constexpr int kMinAutoRefreshMs = 5000;
constexpr int kRefreshCompletely = 3;
constexpr int kFileNameWidth = 100;
constexpr int kMenuAboveBottom = 13;
constexpr int kCommentPasses = 20;
constexpr int kCommentPassDelayMs = 250;

// The page setup the session's print jobs share.
QPrinter& SharedPrinter()
{
    static QPrinter printer(QPrinter::HighResolution);
    return printer;
}

void ReplaceAll(std::string& text, std::string_view from, std::string_view to, bool ignoreCase)
{
    std::string folded = ignoreCase ? ToLowerAscii(text) : text;
    const std::string needle = ignoreCase ? ToLowerAscii(std::string(from)) : std::string(from);
    for (size_t at = folded.find(needle); at != std::string::npos; at = folded.find(needle, at + to.size())) {
        text.replace(at, from.size(), to);
        folded.replace(at, from.size(), to);
    }
}

// What one comment pass met: a rewritten body holding frames reloads them,
// and frames still loading have not been seen yet.
struct SCommentPass {
    bool framesReloaded = false;
    bool framesLoading = false;
};

// Writes the comments of a document and of its frames, depth first.
void ShowDocumentComments(IWebBrowser& browser, const SPageDocument& document, std::vector<int>& path,
                          SCommentPass& pass)
{
    const std::string shown = ShowComments(document.bodyHtml);
    if (shown != document.bodyHtml) {
        browser.WriteFrameBodyHtml(path, shown);
        pass.framesReloaded = pass.framesReloaded || !document.frames.empty();
    }
    for (size_t i = 0; i < document.frames.size(); ++i) {
        const SPageDocument& frame = document.frames[i];
        if (frame.url.empty() || EqualsNoCase(frame.url, "about:blank"))
            pass.framesLoading = true;
        path.push_back(int(i));
        ShowDocumentComments(browser, frame, path, pass);
        path.pop_back();
    }
}

// Shows the comments of the page and its frames. Frames that a rewritten
// body reloaded are done again once they are back; a pass that changes
// nothing leaves a page as it is.
void RunCommentPasses(QPointer<CNimbraView> view, int passesLeft)
{
    view->Browser()->ReadDocument([view, passesLeft](const SPageDocument& document) {
        if (!view)
            return;
        SCommentPass pass;
        std::vector<int> path;
        ShowDocumentComments(*view->Browser(), document, path, pass);
        if ((pass.framesReloaded || pass.framesLoading) && passesLeft > 1)
            QTimer::singleShot(kCommentPassDelayMs, view, [view, passesLeft] {
                if (view)
                    RunCommentPasses(view, passesLeft - 1);
            });
    });
}

void OpenFindBar(CNimbraView& view)
{
    auto* bar = view.findChild<CFindBar*>();
    if (!bar) {
        bar = new CFindBar(view.Browser(), &view);
        view.layout()->addWidget(bar);
    }
    bar->Open();
}

void CreateDesktopShortcut(CNimbraView& view, QWidget* window)
{
    const std::string url = view.GetLocationURL();
    if (url.empty())
        return;
    const std::string title = view.GetLocationName();
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    QDir().mkpath(desktop);
    const QString base = desktop + '/' + ToQ(PageFileName(title.empty() ? url : title));
    QString path = base + QStringLiteral(".url");
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = base + QStringLiteral(" (%1).url").arg(n);
    if (!WriteInternetShortcut(FromQ(path), url))
        ShowMessage(window, QStringLiteral("ショートカットを作成できませんでした。"), QMessageBox::Warning);
}

void ShowProperties(CNimbraView& view, QWidget* window)
{
    QPointer<CNimbraView> guard(&view);
    view.Browser()->ReadDocument([guard, window](const SPageDocument& document) {
        if (!guard)
            return;
        const SPageProperties properties = CPagePropertiesDlg::Describe(
            guard->GetLocationURL(), guard->GetLocationName(), document, guard->m_nSecureLock);
        auto* dialog = new CPagePropertiesDlg(properties, window);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->show();
    });
}

void PageSetup(QWidget* window)
{
    auto* dialog = new QPageSetupDialog(&SharedPrinter(), window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void PrintPage(CNimbraView& view, QWidget* window)
{
    QPointer<CNimbraView> guard(&view);
    auto* dialog = new QPrintDialog(&SharedPrinter(), window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &QDialog::accepted, &view, [guard, window = QPointer<QWidget>(window)] {
        if (!guard)
            return;
        guard->Browser()->Print(&SharedPrinter(), [window](bool ok) {
            if (!ok)
                ShowMessage(window, QStringLiteral("印刷できませんでした。"), QMessageBox::Warning);
        });
    });
    dialog->open();
}

void ShowTextSizeMenu(CMainFrame& frame)
{
    QMenu* menu = frame.MainMenu() ? FindPopup(frame.MainMenu(), {2, 9}) : nullptr;
    if (!menu)
        return;
    QToolButton* button = nullptr;
    if (QAction* action = frame.Router().FindAction(ID_TEXT_SIZE_BUTTON))
        for (QObject* object : action->associatedObjects())
            if (auto* b = qobject_cast<QToolButton*>(object); b && b->isVisible())
                button = b;
    if (!button) {
        menu->popup(QCursor::pos());
        return;
    }
    const QRect rect(button->mapToGlobal(QPoint(0, 0)), button->size());
    const QRect frameRect(frame.mapToGlobal(QPoint(0, 0)), frame.size());
    auto* toolBar = qobject_cast<QToolBar*>(button->parentWidget());
    menu->popup(TextSizeMenuPosition(rect, frameRect, toolBar && toolBar->isFloating()));
}

} // namespace

std::string ShowComments(std::string html)
{
    ReplaceAll(html, "<!--", "<SPAN>&lt;!--</SPAN>", false);
    ReplaceAll(html, "-->", "<SPAN>--&gt;</SPAN>", false);
    // The engine writes tag names in lower case.
    ReplaceAll(html, "<COMMENT>", "<SPAN>&lt;!--</SPAN>", true);
    ReplaceAll(html, "</COMMENT>", "<SPAN>--&gt;</SPAN>", true);
    return html;
}

std::string PageFileName(const std::string& title)
{
    std::string name = title;
    for (char& c : name)
        if (c == '/' || c == '\\' || (unsigned char)c < 0x20)
            c = '_';
    name = Trim(CutText(name, kFileNameWidth));
    return name.empty() || name == "." || name == ".." ? std::string("page") : name;
}

QPoint TextSizeMenuPosition(const QRect& button, const QRect& frame, bool toolbarFloating)
{
    QPoint pos(button.left(), button.bottom() + 1);
    if (toolbarFloating && !frame.contains(button.center()))
        pos.setY(frame.bottom() - kMenuAboveBottom);
    pos.setX(std::max(0, pos.x()));
    return pos;
}

QMenu* CreateHistoryMenu(CMainFrame& frame, CNimbraView& view, bool forward, QWidget* parent)
{
    auto* menu = new QMenu(parent);
    const std::vector<std::string> titles = forward ? view.Browser()->ForwardList() : view.Browser()->BackList();
    const int first = forward ? ID_FORWARD_LIST_FIRST : ID_BACK_LIST_FIRST;
    const int last = forward ? ID_FORWARD_LIST_LAST : ID_BACK_LIST_LAST;
    const int base = forward ? ID_FORWARD_LIST_FIRST - 2 : ID_BACK_LIST_FIRST - 2;
    for (int id = first; id <= last && size_t(id - base) <= titles.size(); ++id) {
        const int n = id - base;
        QAction* action = menu->addAction(forward ? QStringLiteral("%1つ進む").arg(n) : QStringLiteral("%1つ戻る").arg(n));
        action->setToolTip(PlainToolTip(ToQ(titles[size_t(n - 1)])));
        action->setStatusTip(ToQ(titles[size_t(n - 1)]));
        QPointer<CMainFrame> target(&frame);
        QObject::connect(action, &QAction::triggered, menu, [target, id] {
            if (target)
                target->ExecuteCommand(id);
        });
    }
    return menu;
}

void SavePageAs(CNimbraView& view, QWidget* parent)
{
    const QString complete = QStringLiteral("Web ページ、完全 (*.htm *.html)");
    const QString htmlOnly = QStringLiteral("Web ページ、HTML のみ (*.htm *.html)");
    const std::string title = view.GetLocationName();
    const QString start = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation) + '/' +
                          ToQ(PageFileName(title.empty() ? view.GetLocationURL() : title)) + QStringLiteral(".html");
    auto* dialog = new QFileDialog(parent, QStringLiteral("名前を付けて保存"), start);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setNameFilters({complete, htmlOnly});
    dialog->setDefaultSuffix(QStringLiteral("html"));
    QPointer<CNimbraView> guard(&view);
    QObject::connect(dialog, &QFileDialog::fileSelected, &view,
                     [guard, dialog, complete, window = QPointer<QWidget>(parent)](const QString& path) {
        if (!guard || path.isEmpty())
            return;
        guard->Browser()->SavePage(FromQ(path), dialog->selectedNameFilter() == complete, [window](bool ok) {
            if (!ok)
                ShowMessage(window, QStringLiteral("ページを保存できませんでした。"), QMessageBox::Warning);
        });
    });
    dialog->open();
}

void EditAutoRefresh(CNimbraView& view, QWidget* parent)
{
    const int seconds = int(view.m_nRefreshInterval / 1000);
    if (view.m_nRefreshTimer) {
        view.StartAutoRefresh(false);
        view.m_nRefreshInterval = 0;
    }
    auto* dialog = new CAutoRefreshDlg(seconds, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<CNimbraView> guard(&view);
    QObject::connect(dialog, &QDialog::accepted, &view, [guard, dialog] {
        if (!guard)
            return;
        guard->m_nRefreshInterval = unsigned(dialog->Seconds()) * 1000u;
        if (guard->m_nRefreshInterval >= unsigned(kMinAutoRefreshMs))
            guard->StartAutoRefresh(true);
    });
    dialog->open();
}

void RegisterViewCommands(CNimbraView& view, CMainFrame& frame)
{
    CCommandTable& t = view.Commands();
    CNimbraView* v = &view;
    CMainFrame* f = &frame;
    // Navigation does nothing on a locked tab.
    auto navigation = [v](std::function<void()> action) {
        return [v, action] {
            if (!v->m_bNaviLock)
                action();
        };
    };

    t.SetHandler(ID_BACK, navigation([v] { v->GoBack(); }));
    t.SetUpdateHandler(ID_BACK, [v](SCmdUI& ui) { ui.Enable(v->m_bCanGoBack); });
    t.SetHandler(ID_FORWARD, navigation([v] { v->GoForward(); }));
    t.SetUpdateHandler(ID_FORWARD, [v](SCmdUI& ui) { ui.Enable(v->m_bCanGoForward); });
    t.SetRangeHandler(ID_BACK_LIST_FIRST, ID_BACK_LIST_LAST, [v](int id) {
        if (!v->m_bNaviLock)
            v->Browser()->GoToHistory(-(id - (ID_BACK_LIST_FIRST - 2)));
    });
    t.SetRangeHandler(ID_FORWARD_LIST_FIRST, ID_FORWARD_LIST_LAST, [v](int id) {
        if (!v->m_bNaviLock)
            v->Browser()->GoToHistory(id - (ID_FORWARD_LIST_FIRST - 2));
    });
    t.SetHandler(ID_HOME, navigation([v, f] {
        const CFrameSettings& s = f->FrameSettings();
        if (s.MyHome == 1)
            v->Navigate(s.MyHomeUrl);
        else
            v->GoHome();
    }));
    t.SetHandler(ID_REFRESH, navigation([v] { v->Refresh(); }));
    // The engine has no F5 key of its own: F5 is the plain refresh.
    t.SetHandler(ID_F5, navigation([v] { v->Refresh(); }));
    t.SetHandler(ID_STOP, navigation([v] {
        v->Stop();
        v->m_nProgress = 0;
    }));

    t.SetRangeHandler(ID_TEXT_LARGEST, ID_TEXT_SMALLEST,
                      [v](int id) { v->Browser()->SetZoom(ID_TEXT_SMALLEST - id); });
    t.SetRangeUpdateHandler(ID_TEXT_LARGEST, ID_TEXT_SMALLEST,
                            [v](SCmdUI& ui) { ui.SetCheck(v->Browser()->GetZoom() == ID_TEXT_SMALLEST - ui.id); });
    t.SetHandler(ID_TEXT_SIZE_BUTTON, [f] { ShowTextSizeMenu(*f); });

    t.SetHandler(ID_FIND, [v] { OpenFindBar(*v); });
    t.SetHandler(ID_SOURCE, [v, f] {
        const std::string url = v->GetLocationURL();
        if (!url.empty())
            f->Host().OpenUrl("view-source:" + url);
    });
    t.SetHandler(ID_CREATE_SHORTCUT, [v, f] { CreateDesktopShortcut(*v, f); });
    t.SetHandler(ID_PAGE_SETUP, [f] { PageSetup(f); });
    t.SetHandler(ID_PRINT, [v, f] { PrintPage(*v, f); });
    t.SetHandler(ID_SAVE_AS, [v, f] { SavePageAs(*v, f); });
    t.SetHandler(ID_PROPERTIES, [v, f] { ShowProperties(*v, f); });

    t.SetHandler(ID_SHOW_COMMENTS, [v] { RunCommentPasses(v, kCommentPasses); });
    t.SetHandler(ID_OPEN_SELECTION, [v, f] {
        v->Browser()->ReadSelectionText([frame = QPointer<CMainFrame>(f)](const std::string& text) {
            const std::string url = Trim(text);
            if (!url.empty() && frame)
                frame->Host().OpenUrl(url);
        });
    });
    t.SetHandler(ID_DUPLICATE_TAB, [v, f] {
        const std::string url = v->GetLocationURL();
        if (!url.empty())
            f->Host().OpenUrl(url);
    });
    t.SetHandler(ID_BLOCK_URL, [v, f] {
        // A tab without an address still closes; only the list needs one.
        f->BlockedLists().AddBlockedUrl(v->GetLocationURL());
        if (f->FrameSettings().RLCCloseTab != 0 && !v->m_bMarkedForClose) {
            // Closed by the user's own choice: not counted as a blocked window.
            v->m_bMarkedForClose = true;
            v->m_bTabPending = false;
            f->ViewManager()->QueueClose(v);
        }
    });
    t.SetHandler(ID_BLOCK_TITLE, [v, f] { f->BlockedLists().AddBlockedTitle(v->GetLocationName()); });
}

void RegisterPageFrameCommands(CMainFrame& frame)
{
    CCommandTable& t = frame.Router().Table(CCommandRouter::ELevel::Frame);
    CMainFrame* f = &frame;

    t.SetHandler(ID_OPEN, [f] {
        auto* dialog = new CUrlEntryDialog(f->Host().Settings(),
                                           f->AddressCombo() ? f->AddressCombo()->History() : std::vector<std::string>{}, f);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->SetTitle("ファイルを開く");
        dialog->SetLabel("URLまたはファイルのパス");
        QObject::connect(dialog, &QDialog::accepted, f, [f, dialog] {
            if (!dialog->Text().empty() && f->AddressCombo())
                f->AddressCombo()->Go(dialog->Text(), 1, dialog->OpenInNewTab() ? 1 : 0, 0, 1);
        });
        dialog->open();
    });
    t.SetHandler(ID_CONTEXT_SAVE_AS, [f] {
        if (CNimbraView* view = f->ContextView())
            SavePageAs(*view, f);
        f->m_nContextTab = -1;
    });

    t.SetHandler(ID_DOWNLOADS, [f] {
        QWidget* window = f->ViewHost().Downloads().Window();
        window->show();
        window->raise();
        window->activateWindow();
    });

    t.SetHandler(ID_AUTO_REFRESH_START, [f] {
        if (CNimbraView* view = f->ActiveView())
            EditAutoRefresh(*view, f);
    });
    t.SetUpdateHandler(ID_AUTO_REFRESH_START, [f](SCmdUI& ui) {
        CNimbraView* view = f->ActiveView();
        ui.Enable(view != nullptr);
        ui.SetCheck(view && view->m_nRefreshTimer != 0);
    });
    t.SetHandler(ID_AUTO_REFRESH_NONE, [f] {
        CNimbraView* view = f->ActiveView();
        if (view && view->m_nRefreshTimer) {
            view->StartAutoRefresh(false);
            view->m_nRefreshInterval = 0;
        }
    });
    t.SetUpdateHandler(ID_AUTO_REFRESH_NONE, [f](SCmdUI& ui) {
        CNimbraView* view = f->ActiveView();
        ui.SetCheck(!view || view->m_nRefreshTimer == 0);
    });
}

} // namespace nimbra
