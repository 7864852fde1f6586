#include "widgets/bookmarks/FolderNameDlg.h"

#include "platform/Text.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace nimbra {

CFolderNameDlg::CFolderNameDlg(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("新規フォルダ作成"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("新規フォルダの名前を入力してください。"), this));
    m_pName = new QLineEdit(this);
    layout->addWidget(m_pName);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    m_pName->setFocus();
}

std::string CFolderNameDlg::Name() const
{
    return FromQ(m_pName->text());
}

} // namespace nimbra
