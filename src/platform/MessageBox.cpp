#include "platform/MessageBox.h"

#include <QAbstractButton>
#include <optional>
#include <utility>

namespace nimbra {

namespace {
std::function<void(const QString&)>& Handler()
{
    static std::function<void(const QString&)> handler;
    return handler;
}
std::function<bool(const QString&)>& Answers()
{
    static std::function<bool(const QString&)> handler;
    return handler;
}

// The answer of a handler in place, if any.
std::optional<bool> HandlerAnswer(const QString& text)
{
    if (Answers())
        return Answers()(text);
    if (!Handler())
        return std::nullopt;
    Handler()(text);
    return true;
}
} // namespace

void ShowMessage(QWidget* parent, const QString& text, QMessageBox::Icon icon)
{
    if (Handler()) {
        Handler()(text);
        return;
    }
    QMessageBox box(icon, QStringLiteral("Nimbra Browser"), text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void ShowNotice(QWidget* parent, const QString& text, QMessageBox::Icon icon)
{
    if (Handler()) {
        Handler()(text);
        return;
    }
    auto* box = new QMessageBox(icon, QStringLiteral("Nimbra Browser"), text, QMessageBox::Ok, parent);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

bool AskYesNo(QWidget* parent, const QString& text)
{
    if (const std::optional<bool> answer = HandlerAnswer(text))
        return *answer;
    QMessageBox box(QMessageBox::Question, QStringLiteral("Nimbra Browser"), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("はい(&Y)"));
    box.button(QMessageBox::No)->setText(QStringLiteral("いいえ(&N)"));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

bool AskOkCancel(QWidget* parent, const QString& text, QMessageBox::Icon icon)
{
    if (const std::optional<bool> answer = HandlerAnswer(text))
        return *answer;
    QMessageBox box(icon, QStringLiteral("Nimbra Browser"), text, QMessageBox::Ok | QMessageBox::Cancel, parent);
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("キャンセル"));
    return box.exec() == QMessageBox::Ok;
}

std::function<bool(const QString&)> SetAnswerHandler(std::function<bool(const QString&)> handler)
{
    return std::exchange(Answers(), std::move(handler));
}

std::function<void(const QString&)> SetMessageHandler(std::function<void(const QString&)> handler)
{
    return std::exchange(Handler(), std::move(handler));
}

} // namespace nimbra
