#pragma once

// Guards for the handlers the tools' tests replace.
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"

#include <QString>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

namespace testenv {

// Answers the file dialogs with the given paths in turn ("" = cancel) and
// keeps the requests.
class FileAnswers {
public:
    explicit FileAnswers(std::deque<std::string> answers) : m_answers(std::move(answers))
    {
        nimbra::SetFileNameAsker([this](QWidget*, const nimbra::SFileRequest& request) {
            requests.push_back(request);
            if (m_answers.empty())
                return std::string();
            std::string answer = m_answers.front();
            m_answers.pop_front();
            return answer;
        });
    }
    ~FileAnswers() { nimbra::SetFileNameAsker(nullptr); }
    FileAnswers(const FileAnswers&) = delete;
    FileAnswers& operator=(const FileAnswers&) = delete;

    std::vector<nimbra::SFileRequest> requests;

private:
    std::deque<std::string> m_answers;
};

// Records the message boxes (questions are answered yes).
class Messages {
public:
    Messages()
    {
        nimbra::SetMessageHandler([this](const QString& text) { texts.push_back(text); });
    }
    ~Messages()
    {
        nimbra::SetMessageHandler([](const QString& text) { std::fprintf(stderr, "message: %s\n", qPrintable(text)); });
    }
    Messages(const Messages&) = delete;
    Messages& operator=(const Messages&) = delete;

    std::vector<QString> texts;
};

} // namespace testenv
