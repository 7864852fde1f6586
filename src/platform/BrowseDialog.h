#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <string>

class QFileDialog;
class QLabel;

namespace nimbra {

// What the folder browser shows. The status format holds "%s" for the
// selected path; without one the status line shows the path alone.
struct SBrowseOptions {
    QString title;
    QString prompt;
    QString okText;
    QString cancelText;
    QString statusFormat;
    QString startFolder; // the home folder when empty or missing
};

// A folder browser: only folders of the file system can be chosen, and a
// status line follows the selection. Opened with open() or exec(); after
// OK, Path() and DisplayName() tell the choice.
class CBrowseDialog : public QDialog {
    Q_OBJECT
public:
    explicit CBrowseDialog(const SBrowseOptions& options, QWidget* parent = nullptr);

    QString Path() const { return m_path; }
    QString DisplayName() const;

    QFileDialog* Chooser() const { return m_pChooser; }
    QLabel* PromptLabel() const { return m_pPrompt; }
    QLabel* StatusLabel() const { return m_pStatus; }

    // Selects a folder as a click would.
    void SelectFolder(const QString& path);

private:
    void ShowStatus(const QString& path);

    QString m_statusFormat;
    QString m_path;
    QFileDialog* m_pChooser;
    QLabel* m_pPrompt;
    QLabel* m_pStatus;
};

// Asks for a folder with a modal CBrowseDialog: the chosen path, or an
// empty string when cancelled.
std::string AskFolder(QWidget* parent, const SBrowseOptions& options);

// Replaces the dialog (tests); an empty function restores it. Returns the
// one it replaced.
using FolderAsker = std::function<std::string(QWidget* parent, const SBrowseOptions& options)>;
FolderAsker SetFolderAsker(FolderAsker asker);

} // namespace nimbra
