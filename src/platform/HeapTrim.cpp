#include "platform/HeapTrim.h"

#include <QThreadPool>

#include <malloc.h>

namespace nimbra {

CHeapTrim::CHeapTrim(QObject* parent, std::function<void()> trim, int delayMs)
    : QObject(parent), m_trim(trim ? std::move(trim) : [] { malloc_trim(0); })
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(delayMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { QThreadPool::globalInstance()->start(m_trim); });
}

void CHeapTrim::Request()
{
    m_timer.start();
}

} // namespace nimbra
