#pragma once

#include "data/bookmarks/BookmarkFile.h"

#include <QDialog>
#include <QIcon>
#include <functional>
#include <optional>
#include <string>

class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace nimbra {

// Runs a bookmark dialog modally and returns its result. Tests install a
// driver that works the dialog and returns instead of blocking; the setter
// returns the driver it replaced.
int RunBookmarkDialog(QDialog& dialog);
std::function<int(QDialog&)> SetBookmarkDialogDriver(std::function<int(QDialog&)> driver);

// Adds a page to a chosen folder of the bookmark file, and creates folders.
// The tree shows the folders of the file as it was read; every change reads
// the file again, as the bookmark editor may have saved it meanwhile, finds
// the chosen folder in it and inserts there. Each change is announced to the
// editor (WILL_CHANGE before the file is read); a new folder is reported to
// it at once (CHANGED), the added page by the caller when the dialog ends.
class CAddBookmarkDlg : public QDialog {
    Q_OBJECT
public:
    // `reloadMenu` rebuilds the frame's bookmark menu from the file; it runs
    // after a link was added and after a folder was created.
    CAddBookmarkDlg(QWidget* parent, std::string path, const std::string& title, std::string url,
                    std::function<void()> reloadMenu);

    QLineEdit* TitleEdit() const { return m_pTitle; }
    QTreeWidget* FolderTree() const { return m_pTree; }

    // "新規フォルダ(&W)...": asks for a name and adds the folder at the end
    // of the selected one.
    void OnNewFolder();
    // OK: adds the link at the end of the selected folder and closes.
    void OnOK();

private:
    // Reads the file and shows its folders in the tree; the root is selected.
    void ReadStructure();
    // Shows the folders of m_lines.
    void ShowStructure();
    // Where the selected folder lies; nullopt when nothing is selected.
    std::optional<BookmarkFolderPath> SelectedFolder() const;
    // Reads the file again and finds `folder` in it: the line of its
    // closing "</UL>", -1 when it has none. Nullopt when the folder is not
    // in the file any more; the tree then shows the file as it is, and the
    // person is told to choose again.
    std::optional<int> FindEndLine(const BookmarkFolderPath& folder);

    std::string m_strPath;
    std::string m_strUrl;
    std::function<void()> m_reloadMenu;
    CBookmarkLines m_lines;
    QLineEdit* m_pTitle;
    QTreeWidget* m_pTree;
    QPushButton* m_pNewFolder;
    QIcon m_folderIcon;
};

} // namespace nimbra
