#include "widgets/view/AutoRefreshDlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace nimbra {

namespace {
// A day is the longest interval a tab is refreshed at.
constexpr int kMaxSeconds = 86400;
} // namespace

CAutoRefreshDlg::CAutoRefreshDlg(int seconds, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("自動更新間隔"));
    m_pSpin = new QSpinBox(this);
    m_pSpin->setRange(0, kMaxSeconds);
    m_pSpin->setValue(seconds);

    auto* row = new QHBoxLayout;
    row->addWidget(m_pSpin, 1);
    row->addWidget(new QLabel(QStringLiteral("秒"), this));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    m_pSpin->selectAll();
}

int CAutoRefreshDlg::Seconds() const
{
    return m_pSpin->value();
}

} // namespace nimbra
