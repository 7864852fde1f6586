#pragma once

#include <QDialog>
#include <QMessageBox>
#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;

namespace nimbra::editor {

// The editor's message boxes. A prompt handler, when set, answers instead
// of a window (tests); it gets the text and whether it is a question.
using PromptHandler = std::function<bool(const QString& text, bool question)>;

// A question with OK and Cancel and an exclamation icon; true for OK.
bool AskOkCancel(QWidget* parent, const QString& text);
void Tell(QWidget* parent, const QString& text, QMessageBox::Icon icon);

// Puts a prompt handler in place (an empty one brings the boxes back);
// returns the one it replaced.
PromptHandler SetPromptHandler(PromptHandler handler);

// "ブックマークの検索": earlier texts in a combo box, a case option.
class CBkFindDlg : public QDialog {
    Q_OBJECT
public:
    CBkFindDlg(const std::vector<std::string>& history, const std::string& last, bool matchCase,
               QWidget* parent = nullptr);

    std::string Text() const;
    bool MatchCase() const;

private:
    QComboBox* m_text;
    QCheckBox* m_case;
};

// "About Nimbra Browser [Bookmark Editor]"; its link line navigates.
class CBkAboutDlg : public QDialog {
    Q_OBJECT
public:
    CBkAboutDlg(std::function<void(const std::string& url)> navigate, QWidget* parent = nullptr);

    static constexpr char kLink[] = "https://nimbra.example.org/";
};

} // namespace nimbra::editor
