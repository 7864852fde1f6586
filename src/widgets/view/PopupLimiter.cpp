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
    const int opens = view ? view->m_nRefusedOpens : 0;
    ShowCount(m_pLabel, "refusedOpens", QStringLiteral("ポップアップを %1 件ブロック").arg(opens), opens);
    const int requests = view ? view->m_nBlockedRequests : 0;
    ShowCount(m_pRequests, "blockedRequests", QStringLiteral("要求を %1 件ブロック").arg(requests), requests);
}

void CPopupLimiter::ShowCount(QLabel*& label, const char* name, const QString& text, int count)
{
    auto* status = m_pFrame->findChild<QStatusBar*>(QString(), Qt::FindDirectChildrenOnly);
    if (!status)
        return;
    if (!label) {
        if (count == 0)
            return;
        label = new QLabel(status);
        label->setObjectName(QString::fromLatin1(name));
        label->setTextFormat(Qt::PlainText);
        status->addPermanentWidget(label);
    }
    label->setText(text);
    label->setVisible(count > 0);
}

QString CPopupLimiter::Text() const
{
    return m_pLabel && m_pLabel->isVisibleTo(m_pLabel->parentWidget()) ? m_pLabel->text() : QString();
}

QString CPopupLimiter::BlockedRequestsText() const
{
    return m_pRequests && m_pRequests->isVisibleTo(m_pRequests->parentWidget()) ? m_pRequests->text() : QString();
}

} // namespace nimbra
