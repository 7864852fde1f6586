#include "platform/StallMeter.h"

#include <QDateTime>

#include <algorithm>
#include <cstdlib>

namespace nimbra {

CStallMeter::CStallMeter()
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { Tick(); });
}

void CStallMeter::Start()
{
    m_clock.start();
    m_lastNs = -1;
    m_timer.start();
}

void CStallMeter::Stop()
{
    m_timer.stop();
}

void CStallMeter::Reset()
{
    m_longestNs = 0;
    m_lastNs = m_clock.isValid() ? m_clock.nsecsElapsed() : -1;
}

void CStallMeter::OnStall(double thresholdMs, std::function<void(double)> report)
{
    m_thresholdMs = thresholdMs;
    m_report = std::move(report);
}

void CStallMeter::Tick()
{
    const qint64 now = m_clock.nsecsElapsed();
    if (m_lastNs >= 0) {
        const qint64 late = std::max<qint64>(0, now - m_lastNs - qint64(kIntervalMs) * 1000000);
        m_longestNs = std::max(m_longestNs, late);
        if (m_report && late / 1e6 >= m_thresholdMs)
            m_report(late / 1e6);
    }
    m_lastNs = now;
}

void StartStallLogFromEnvironment(QObject* owner)
{
    const char* path = std::getenv("NIMBRA_STALL_LOG");
    if (!path || !*path)
        return;
    FILE* log = std::fopen(path, "a");
    if (!log)
        return;
    auto* meter = new CStallMeter;
    meter->setParent(owner);
    meter->OnStall(16, [log](double ms) {
        std::fprintf(log, "%lld %.1f\n", static_cast<long long>(QDateTime::currentMSecsSinceEpoch()), ms);
        std::fflush(log);
    });
    QObject::connect(meter, &QObject::destroyed, [log] { std::fclose(log); });
    meter->Start();
}

} // namespace nimbra
