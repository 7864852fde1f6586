#include "bookmarks/BookmarkLinkBar.h"

#include "platform/Text.h"

#include <QMainWindow>
#include <QMenu>
#include <QToolButton>

namespace nimbra {

CBookmarkLinkBar::CBookmarkLinkBar(std::function<void(int id)> run, QWidget* parent)
    : QToolBar(QStringLiteral("リンク"), parent), m_run(std::move(run))
{
    setObjectName(QStringLiteral("LinkBar"));
    setToolButtonStyle(Qt::ToolButtonTextOnly);
}

void CBookmarkLinkBar::Place(QMainWindow* window)
{
    window->addToolBarBreak(Qt::TopToolBarArea);
    window->addToolBar(Qt::TopToolBarArea, this);
}

void CBookmarkLinkBar::ClearButtons()
{
    const QList<QAction*> buttons = actions();
    for (QAction* action : buttons)
        removeAction(action);
    qDeleteAll(buttons);
}

void CBookmarkLinkBar::AddButton(const std::string& title, const std::string& url, int id, QMenu* dropDown)
{
    auto* button = new QToolButton(this);
    button->setText(ToQ(BookmarkMenuText(title, false, 0)));
    button->setAutoRaise(true);
    if (dropDown) {
        button->setMenu(dropDown);
        button->setPopupMode(QToolButton::InstantPopup);
    } else {
        button->setToolTip(PlainToolTip(ToQ(url)));
        connect(button, &QToolButton::clicked, this, [this, id] { m_run(id); });
    }
    addWidget(button);
}

} // namespace nimbra
