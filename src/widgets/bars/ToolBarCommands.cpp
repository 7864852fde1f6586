// The main toolbar on the frame: its creation, its drop-down menus and the
// commands that customise it.
#include "widgets/bars/FlatToolBar.h"
#include "ui/CommandIds.h"
#include "ui/CommandRouter.h"
#include "frames/browser/MainFrame.h"
#include "ui/MenuResource.h"
#include "widgets/view/NimbraView.h"
#include "widgets/view/ViewCommands.h"

#include <QCursor>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QToolBar>

namespace nimbra {

namespace {

constexpr int kBookmarkMenu = 3;

// Pops `menu` up below a button; a menu made for this one drop goes when
// it closes.
void PopUpBelow(QMenu* menu, const QRect& button, bool owned)
{
    if (owned)
        QObject::connect(menu, &QMenu::aboutToHide, menu, &QObject::deleteLater);
    menu->popup(button.bottomLeft() + QPoint(0, 1));
}

} // namespace

void PopUpBelowButton(const CMainFrame& frame, int id, QMenu* menu)
{
    const CFlatToolBar* bar = FlatToolBarOf(frame);
    const QToolButton* button = bar ? bar->FindButton(id) : nullptr;
    if (!button || !button->isVisible()) {
        menu->popup(QCursor::pos());
        return;
    }
    PopUpBelow(menu, QRect(button->mapToGlobal(QPoint(0, 0)), button->size()), false);
}

QMenu* ShowToolBarDropDown(CMainFrame& frame, int id, const QRect& button)
{
    QMenu* menu = nullptr;
    switch (id) {
    case ID_BACK:
    case ID_FORWARD: {
        CNimbraView* view = frame.ActiveView();
        if (!view)
            return nullptr;
        menu = CreateHistoryMenu(frame, *view, id == ID_FORWARD, &frame);
        break;
    }
    case ID_FILE_NEW:
        menu = new QMenu(&frame);
        menu->addAction(frame.Router().AddAlias(ID_NEW_HOME, QStringLiteral("ホーム ページ(&H)"), menu));
        menu->addAction(frame.Router().AddAlias(ID_NEW_BLANK, QStringLiteral("空白ページ(&B)"), menu));
        break;
    case ID_SECURITY_LEVEL:
        if (QMenu* levels = frame.SecurityLevelMenu())
            PopUpBelow(levels, button, false);
        return frame.SecurityLevelMenu();
    default:
        return nullptr;
    }
    if (menu->isEmpty()) {
        delete menu;
        return nullptr;
    }
    PopUpBelow(menu, button, true);
    return menu;
}

CFlatToolBar* FlatToolBarOf(const CMainFrame& frame)
{
    return frame.findChild<CFlatToolBar*>();
}

CFlatToolBar* CreateFlatToolBar(CMainFrame& frame, QWidget* parent)
{
    CSettings& settings = frame.Host().Settings();
    auto* bar = new CFlatToolBar(frame.Router(), settings, frame.FrameSettings().ToolBarBigButton != 0,
                                 ReadToolLayout(settings), parent);
    bar->SetDropDownHandler([&frame](int id, const QRect& rect) { ShowToolBarDropDown(frame, id, rect); });

    CCommandTable& t = frame.Router().Table(CCommandRouter::ELevel::Frame);
    QPointer<CFlatToolBar> guard(bar);
    for (int id : {ID_TOOLBAR_CUSTOMIZE, ID_VIEW_CUSTOMIZE}) {
        t.SetHandler(id, [guard] {
            if (guard)
                guard->Customize();
        });
    }
    t.SetHandler(ID_BOOKMARK_BUTTON, [&frame] {
        if (QMenu* bookmarks = frame.MainMenu() ? FindPopup(frame.MainMenu(), {kBookmarkMenu}) : nullptr)
            PopUpBelowButton(frame, ID_BOOKMARK_BUTTON, bookmarks);
    });
    return bar;
}

} // namespace nimbra
