#include "platform/DeleteInTurns.h"

#include <QElapsedTimer>

namespace nimbra {

CDeleteInTurns::CDeleteInTurns()
{
    m_timer.setInterval(0);
    connect(&m_timer, &QTimer::timeout, this, [this] { Turn(); });
}

void CDeleteInTurns::Add(QObject* object)
{
    m_queue.emplace_back(object);
    m_timer.start();
}

void CDeleteInTurns::Turn()
{
    QElapsedTimer spent;
    spent.start();
    // At least one per turn, so that the queue always drains.
    do {
        QPointer<QObject> object = m_queue.front();
        m_queue.pop_front();
        delete object.data();
    } while (!m_queue.empty() && spent.elapsed() < kBudgetMs);
    if (m_queue.empty())
        m_timer.stop();
}

} // namespace nimbra
