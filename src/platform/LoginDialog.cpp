#include "platform/LoginDialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace nimbra {

bool AskLogin(QWidget* parent, const QString& title, const QString& prompt, QString& user, QString& password)
{
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("loginDialog"));
    dialog.setWindowTitle(title);
    auto* layout = new QFormLayout(&dialog);
    auto* label = new QLabel(prompt, &dialog);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    auto* userEdit = new QLineEdit(user, &dialog);
    auto* passwordEdit = new QLineEdit(password, &dialog);
    passwordEdit->setEchoMode(QLineEdit::Password);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addRow(label);
    layout->addRow(QStringLiteral("ユーザー名(&U):"), userEdit);
    layout->addRow(QStringLiteral("パスワード(&P):"), passwordEdit);
    layout->addRow(buttons);
    userEdit->setFocus();
    if (dialog.exec() != QDialog::Accepted)
        return false;
    user = userEdit->text();
    password = passwordEdit->text();
    return true;
}

} // namespace nimbra
