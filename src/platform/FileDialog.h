#pragma once

#include <QStringList>
#include <functional>
#include <string>

class QWidget;

namespace nimbra {

// A request for a file name: to open (an existing file) or to save (with a
// prompt before overwriting). Filters are Qt's ("Iria ファイル (*.iri)").
struct SFileRequest {
    bool save = false;
    QStringList filters;
    QString defaultSuffix;
    std::string folder; // the home folder when empty
    std::string name;   // the proposed file name
    // A check box under the name with this text, when not empty; its state
    // goes to `*checked` whether the dialog is answered or cancelled.
    QString checkText;
    bool* checked = nullptr;
};

// Asks for a file with the system's dialog: the chosen path, or an empty
// string when cancelled.
std::string AskFileName(QWidget* parent, const SFileRequest& request);

// Replaces the dialog (tests); an empty function restores it. Returns the
// one it replaced.
using FileNameAsker = std::function<std::string(QWidget* parent, const SFileRequest& request)>;
FileNameAsker SetFileNameAsker(FileNameAsker asker);

} // namespace nimbra
