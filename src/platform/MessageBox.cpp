#include "platform/MessageBox.h"

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

std::function<void(const QString&)> SetMessageHandler(std::function<void(const QString&)> handler)
{
    return std::exchange(Handler(), std::move(handler));
}

} // namespace nimbra
