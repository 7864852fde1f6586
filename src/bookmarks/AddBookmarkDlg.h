#pragma once

#include "bookmarks/BookmarkFile.h"

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
// The lines of the file are held while the dialog is open; each folder item
// knows the line of its folder's closing "</UL>".
class CAddBookmarkDlg : public QDialog {
    Q_OBJECT
public:
    // `reloadMenu` rebuilds the frame's bookmark menu from the file; it runs
    // after a link was added and after a folder was created.
    CAddBookmarkDlg(QWidget* parent, std::string path, const std::string& title, std::string url,
                    std::function<void()> reloadMenu);

    QLineEdit* TitleEdit() const { return m_pTitle; }
    QTreeWidget* FolderTree() const { return m_pTree; }
    // Whether the file was rewritten while the dialog was open.
    bool FileWritten() const { return m_bWritten; }

    // "新規フォルダ(&W)...": asks for a name and adds the folder at the end
    // of the selected one.
    void OnNewFolder();
    // OK: adds the link at the end of the selected folder and closes.
    void OnOK();

private:
    // Reads the folders of the file into the tree; the root is selected.
    void ReadStructure();
    // The closing line of the selected folder: -1 when it has none, nullopt
    // when nothing is selected.
    std::optional<int> SelectedEndLine() const;
    bool Save();

    std::string m_strPath;
    std::string m_strUrl;
    std::function<void()> m_reloadMenu;
    CBookmarkLines m_lines;
    bool m_bWritten = false;
    QLineEdit* m_pTitle;
    QTreeWidget* m_pTree;
    QPushButton* m_pNewFolder;
    QIcon m_folderIcon;
};

} // namespace nimbra
