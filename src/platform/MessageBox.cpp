#include "platform/MessageBox.h"

#include <QAbstractButton>
#include <utility>

namespace nimbra {

namespace {
std::function<void(const QString&)>& Handler()
{
    static std::function<void(const QString&)> handler;
    return handler;
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

bool AskYesNo(QWidget* parent, const QString& text)
{
    if (Handler()) {
        Handler()(text);
        return true;
    }
    QMessageBox box(QMessageBox::Question, QStringLiteral("Nimbra Browser"), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("はい(&Y)"));
    box.button(QMessageBox::No)->setText(QStringLiteral("いいえ(&N)"));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::function<void(const QString&)> SetMessageHandler(std::function<void(const QString&)> handler)
{
    return std::exchange(Handler(), std::move(handler));
}

} // namespace nimbra
