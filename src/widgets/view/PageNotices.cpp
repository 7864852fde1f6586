#include "widgets/view/PageNotices.h"

#include "platform/Text.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <map>
#include <set>

namespace nimbra {

namespace {

std::map<std::pair<std::string, EPermission>, bool>& Answers()
{
    static std::map<std::pair<std::string, EPermission>, bool> answers;
    return answers;
}

std::set<std::string>& PassedHosts()
{
    static std::set<std::string> hosts;
    return hosts;
}

const char* PermissionName(EPermission what)
{
    switch (what) {
    case EPermission::Notifications:
        return "通知の表示";
    case EPermission::Location:
        return "現在地の利用";
    case EPermission::Camera:
        return "カメラの使用";
    case EPermission::Microphone:
        return "マイクの使用";
    case EPermission::CameraAndMicrophone:
        return "カメラとマイクの使用";
    case EPermission::ScreenSharing:
        return "画面の共有";
    case EPermission::PointerLock:
        return "マウス ポインターの固定";
    }
    return "";
}

} // namespace

QString PermissionQuestion(const std::string& origin, EPermission what)
{
    return QStringLiteral("%1 が%2を求めています。").arg(ToQ(origin), QString::fromUtf8(PermissionName(what)));
}

CPermissionBar::CPermissionBar(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("permissionBar"));
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(255, 248, 200));
    setPalette(p);
    auto* layout = new QHBoxLayout(this);
    m_pText = new QLabel(this);
    m_pText->setTextFormat(Qt::PlainText);
    auto* allow = new QPushButton(QStringLiteral("許可"), this);
    auto* block = new QPushButton(QStringLiteral("ブロック"), this);
    layout->addWidget(m_pText, 1);
    layout->addWidget(allow);
    layout->addWidget(block);
    connect(allow, &QPushButton::clicked, this, [this] { Answer(true); });
    connect(block, &QPushButton::clicked, this, [this] { Answer(false); });
    hide();
}

void CPermissionBar::ForgetAnswers()
{
    Answers().clear();
}

void CPermissionBar::Ask(const std::string& origin, EPermission what, std::function<void(bool grant)> answer)
{
    if (const auto it = Answers().find({origin, what}); it != Answers().end()) {
        answer(it->second);
        return;
    }
    m_queue.push_back({origin, what, std::move(answer)});
    if (m_queue.size() == 1)
        ShowNext();
}

void CPermissionBar::Answer(bool grant)
{
    if (m_queue.empty())
        return;
    SRequest request = std::move(m_queue.front());
    m_queue.pop_front();
    Answers()[{request.origin, request.what}] = grant;
    request.answer(grant);
    // Requests of the same kind from the same site that waited behind it.
    for (auto it = m_queue.begin(); it != m_queue.end();) {
        if (it->origin == request.origin && it->what == request.what) {
            auto waiting = std::move(it->answer);
            it = m_queue.erase(it);
            waiting(grant);
        } else {
            ++it;
        }
    }
    ShowNext();
}

void CPermissionBar::ShowNext()
{
    if (m_queue.empty()) {
        hide();
        return;
    }
    m_pText->setText(PermissionQuestion(m_queue.front().origin, m_queue.front().what));
    show();
}

CCrashPanel::CCrashPanel(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("crashPanel"));
    setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(this);
    m_pText = new QLabel(this);
    m_pText->setTextFormat(Qt::PlainText);
    m_pText->setWordWrap(true);
    m_pText->setAlignment(Qt::AlignCenter);
    auto* reload = new QPushButton(QStringLiteral("再読み込み(&R)"), this);
    layout->addStretch(1);
    layout->addWidget(m_pText);
    layout->addWidget(reload, 0, Qt::AlignCenter);
    layout->addStretch(2);
    connect(reload, &QPushButton::clicked, this, &CCrashPanel::ReloadClicked);
}

void CCrashPanel::SetReason(ERendererEnd how, int exitCode)
{
    QString reason;
    switch (how) {
    case ERendererEnd::Crashed:
        reason = QStringLiteral("ページの処理が異常終了しました (終了コード %1)。").arg(exitCode);
        break;
    case ERendererEnd::Killed:
        reason = QStringLiteral("ページの処理が強制終了されました。");
        break;
    case ERendererEnd::Abnormal:
        reason = QStringLiteral("ページの処理が異常な状態で終了しました (終了コード %1)。").arg(exitCode);
        break;
    }
    m_pText->setText(QStringLiteral("このページを表示できなくなりました。\n%1").arg(reason));
}

QString CCrashPanel::Text() const
{
    return m_pText->text();
}

void AskCertificate(QWidget* parent, const std::string& url, const std::string& description,
                    std::function<void(bool proceed)> answer)
{
    const std::string host = FromQ(QUrl(ToQ(url)).host());
    if (PassedHosts().count(host)) {
        answer(true);
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Nimbra Browser"),
                                QStringLiteral("%1 のセキュリティ証明書に問題があります。\n%2\n\n"
                                               "このサイトへの接続は安全ではない可能性があります。")
                                    .arg(ToQ(host), ToQ(description)),
                                QMessageBox::NoButton, parent);
    box->setObjectName(QStringLiteral("certificateWarning"));
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton* back = box->addButton(QStringLiteral("戻る"), QMessageBox::RejectRole);
    QPushButton* proceed = box->addButton(QStringLiteral("このサイトへ移動する"), QMessageBox::AcceptRole);
    box->setDefaultButton(back);
    box->setEscapeButton(back);
    QObject::connect(box, &QMessageBox::buttonClicked, box, [box, proceed, host, answer](QAbstractButton* button) {
        const bool go = button == proceed;
        if (go)
            PassedHosts().insert(host);
        answer(go);
        box->disconnect();
    });
    // Closing the window without a choice is "戻る".
    QObject::connect(box, &QMessageBox::rejected, box, [answer] { answer(false); });
    box->open();
}

} // namespace nimbra
