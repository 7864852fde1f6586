#include "widgets/view/PopupLimiter.h"

#include "widgets/view/NimbraView.h"

#include <QDateTime>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>

namespace nimbra {

bool COpenRate::Take(long long nowMs)
{
    while (!m_opens.empty() && nowMs - m_opens.front() >= kPeriodMs)
        m_opens.pop_front();
    if (m_opens.size() >= size_t(kFreeOpens))
        return false;
    m_opens.push_back(nowMs);
    return true;
}

CPopupLimiter* CPopupLimiter::Of(QMainWindow* frame)
{
    if (auto* limiter = frame->findChild<CPopupLimiter*>(QString(), Qt::FindDirectChildrenOnly))
        return limiter;
    return new CPopupLimiter(frame);
}

CPopupLimiter::CPopupLimiter(QMainWindow* frame) : QObject(frame), m_pFrame(frame) {}

bool CPopupLimiter::Allow(CNimbraView* view, bool userInitiated)
{
    if (userInitiated)
        return true;
    if (!view->m_bOpensRefused && m_rate.Take(QDateTime::currentMSecsSinceEpoch()))
        return true;
    view->m_bOpensRefused = true;
    ++view->m_nRefusedOpens;
    if (view->m_bActive)
        Show(view);
    return false;
}

void CPopupLimiter::Show(const CNimbraView* view)
{
    auto* status = m_pFrame->findChild<QStatusBar*>(QString(), Qt::FindDirectChildrenOnly);
    if (!status)
        return;
    const int count = view ? view->m_nRefusedOpens : 0;
    if (!m_pLabel) {
        if (count == 0)
            return;
        m_pLabel = new QLabel(status);
        m_pLabel->setObjectName(QStringLiteral("refusedOpens"));
        m_pLabel->setTextFormat(Qt::PlainText);
        status->addPermanentWidget(m_pLabel);
    }
    m_pLabel->setText(QStringLiteral("ポップアップを %1 件ブロック").arg(count));
    m_pLabel->setVisible(count > 0);
}

QString CPopupLimiter::Text() const
{
    return m_pLabel && m_pLabel->isVisibleTo(m_pLabel->parentWidget()) ? m_pLabel->text() : QString();
}

} // namespace nimbra
