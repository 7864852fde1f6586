#pragma once

// Stand-ins for the dialogs the tools' tests answer.
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "support/TestEnv.h"

#include <QString>
#include <deque>
#include <string>
#include <vector>

namespace testenv {

// Answers the file dialogs with the given paths in turn ("" = cancel) and
// keeps the requests.
class FileAnswers {
public:
    explicit FileAnswers(std::deque<std::string> answers) : m_answers(std::move(answers)) {}

    std::vector<nimbra::SFileRequest> requests;

private:
    std::string Answer(const nimbra::SFileRequest& request)
    {
        requests.push_back(request);
        if (m_answers.empty())
            return {};
        std::string answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }

    std::deque<std::string> m_answers;
    HandlerGuard<nimbra::FileNameAsker> m_guard{
        nimbra::SetFileNameAsker, [this](QWidget*, const nimbra::SFileRequest& request) { return Answer(request); }};
};

// Records the message boxes (questions are answered yes).
class Messages {
public:
    std::vector<QString> texts;

private:
    HandlerGuard<std::function<void(const QString&)>> m_guard{
        nimbra::SetMessageHandler, [this](const QString& text) { texts.push_back(text); }};
};

} // namespace testenv
