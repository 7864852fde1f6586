#pragma once

#include "platform/WebBrowser.h"

#include <QWidget>
#include <deque>
#include <functional>
#include <string>

class QLabel;

namespace nimbra {

// The question of a page's permission request, "%1 が…を求めています。".
QString PermissionQuestion(const std::string& origin, EPermission what);

// The bar over a page that asks for its permission requests, one at a
// time, "許可" or "ブロック". Answers are kept per site and permission for
// the run; a request already answered is answered again without asking.
// Requests wait in the bar and go with it when the tab closes.
class CPermissionBar : public QWidget {
    Q_OBJECT
public:
    explicit CPermissionBar(QWidget* parent);

    void Ask(const std::string& origin, EPermission what, std::function<void(bool grant)> answer);
    // Requests waiting behind the one shown.
    size_t Waiting() const { return m_queue.empty() ? 0 : m_queue.size() - 1; }
    // Answers the shown request (the buttons).
    void Answer(bool grant);
    // Forgets the answers of the run (tests).
    static void ForgetAnswers();

private:
    struct SRequest {
        std::string origin;
        EPermission what;
        std::function<void(bool)> answer;
    };
    void ShowNext();

    QLabel* m_pText;
    std::deque<SRequest> m_queue;
};

// Shown in place of a page whose renderer ended: the reason and a reload
// button.
class CCrashPanel : public QWidget {
    Q_OBJECT
public:
    explicit CCrashPanel(QWidget* parent);
    void SetReason(ERendererEnd how, int exitCode);
    QString Text() const;

Q_SIGNALS:
    void ReloadClicked();

private:
    QLabel* m_pText;
};

// Warns of an invalid certificate of `url`'s host: "戻る" (the default)
// answers false, "このサイトへ移動する" true, and lets the host through for
// the rest of the run without asking again.
void AskCertificate(QWidget* parent, const std::string& url, const std::string& description,
                    std::function<void(bool proceed)> answer);

} // namespace nimbra
