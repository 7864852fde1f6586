#include "widgets/bars/AddressBar.h"

#include "widgets/bars/AddressCombo.h"
#include "platform/Text.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>

namespace nimbra {

CAddressBar::CAddressBar(std::unique_ptr<IAddressHost> host, QWidget* parent)
    : QWidget(parent),
      m_pCombo(new CAddressCombo(std::move(host), this)),
      m_pGoButton(new QToolButton(this))
{
    setObjectName(QStringLiteral("AddressBarPane"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_pCombo, 1);
    layout->addWidget(m_pGoButton);

    m_pGoButton->setObjectName(QStringLiteral("GoButton"));
    m_pGoButton->setProperty("commandId", kGoButtonId);
    m_pGoButton->setIcon(style()->standardIcon(QStyle::SP_ArrowRight));
    m_pGoButton->setIconSize(QSize(16, 16));
    m_pGoButton->setFixedWidth(kGoButtonWidth);
    m_pGoButton->setAutoRaise(true);
    m_pGoButton->setFocusPolicy(Qt::NoFocus);
    m_pGoButton->installEventFilter(this);
    connect(m_pGoButton, &QToolButton::clicked, this,
            [this] { m_pCombo->OnGoButton(QGuiApplication::keyboardModifiers()); });
}

void CAddressBar::SetGoButtonVisible(bool visible)
{
    m_bGoButtonVisible = visible;
    m_pGoButton->setVisible(visible);
}

bool CAddressBar::eventFilter(QObject* watched, QEvent* event)
{
    // The tip follows the field's text at the moment it shows.
    if (watched == m_pGoButton && event->type() == QEvent::ToolTip)
        m_pGoButton->setToolTip(PlainToolTip(ToQ(GoButtonTip(FromQ(m_pCombo->lineEdit()->text())))));
    return QWidget::eventFilter(watched, event);
}

} // namespace nimbra
