#pragma once

#include "bookmarks/BookmarkMenu.h"

#include <QToolBar>
#include <functional>

class QMainWindow;

namespace nimbra {

// The link bar: one button per entry of the links folders. A link button
// runs its command; a folder button drops down the folder's menu.
class CBookmarkLinkBar : public QToolBar, public IBookmarkLinkBar {
    Q_OBJECT
public:
    CBookmarkLinkBar(std::function<void(int id)> run, QWidget* parent = nullptr);

    // Puts the bar on a row of its own under the window's other bars.
    void Place(QMainWindow* window);

    void ClearButtons() override;
    void AddButton(const std::string& title, const std::string& url, int id, QMenu* dropDown) override;

private:
    std::function<void(int)> m_run;
};

} // namespace nimbra
