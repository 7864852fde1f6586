#include "widgets/view/FindBar.h"

#include "platform/Text.h"
#include "platform/WebBrowser.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QToolButton>

namespace nimbra {

CFindBar::CFindBar(IWebBrowser* browser, QWidget* parent) : QWidget(parent), m_pBrowser(browser)
{
    m_pField = new QLineEdit(this);
    m_pField->setPlaceholderText(QStringLiteral("このページの検索"));
    m_pCase = new QCheckBox(QStringLiteral("大文字と小文字を区別する(&C)"), this);
    m_pResult = new QLabel(this);
    auto* next = new QToolButton(this);
    next->setText(QStringLiteral("次へ"));
    auto* previous = new QToolButton(this);
    previous->setText(QStringLiteral("前へ"));
    auto* close = new QToolButton(this);
    close->setText(QStringLiteral("×"));
    close->setAutoRaise(true);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->addWidget(m_pField, 1);
    layout->addWidget(previous);
    layout->addWidget(next);
    layout->addWidget(m_pCase);
    layout->addWidget(m_pResult);
    layout->addWidget(close);

    // As high as its controls; the page above keeps the rest of the view.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

    connect(m_pField, &QLineEdit::textChanged, this, [this] { FindNext(false); });
    connect(m_pCase, &QCheckBox::toggled, this, [this] {
        // A new search: the engine would otherwise go on with the old one.
        m_pBrowser->FindText({}, false, false, {});
        FindNext(false);
    });
    connect(next, &QToolButton::clicked, this, [this] { FindNext(false); });
    connect(previous, &QToolButton::clicked, this, [this] { FindNext(true); });
    connect(close, &QToolButton::clicked, this, &CFindBar::Close);
    hide();
}

void CFindBar::Open()
{
    show();
    m_pField->setFocus();
    m_pField->selectAll();
}

void CFindBar::Close()
{
    hide();
    m_pResult->clear();
    m_pBrowser->FindText({}, false, false, {});
    if (parentWidget())
        parentWidget()->setFocus();
}

void CFindBar::FindNext(bool backward)
{
    const std::string text = FromQ(m_pField->text());
    if (text.empty()) {
        m_pResult->clear();
        m_pBrowser->FindText({}, false, false, {});
        return;
    }
    QPointer<CFindBar> self(this);
    m_pBrowser->FindText(text, backward, m_pCase->isChecked(), [self](int active, int count) {
        if (self)
            self->ShowResult(active, count);
    });
}

void CFindBar::ShowResult(int active, int count)
{
    m_pResult->setText(count == 0 ? QStringLiteral("見つかりません")
                                  : QStringLiteral("%1 / %2 件").arg(active).arg(count));
}

void CFindBar::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        Close();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        FindNext(event->modifiers() & Qt::ShiftModifier);
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

} // namespace nimbra
