#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace nimbra {

// Notes how long the event loop of the thread it lives on took to come back
// to a short timer: the stalls a person feels as a frozen window. Benchmarks
// read `LongestMs()`; `StartStallLogFromEnvironment` lets a whole program
// write each stall to a file for a bench that drives it from outside.
class CStallMeter : public QObject {
public:
    static constexpr int kIntervalMs = 5;

    CStallMeter();

    void Start();
    void Stop();
    // Forgets the stalls seen so far (the start of a measured step).
    void Reset();
    // The longest time the loop was late since the start or the last reset.
    double LongestMs() const { return m_longestNs / 1e6; }

    // Called with each stall of at least `thresholdMs`, its length in ms.
    void OnStall(double thresholdMs, std::function<void(double)> report);

private:
    void Tick();

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_lastNs = -1;
    qint64 m_longestNs = 0;
    double m_thresholdMs = 0;
    std::function<void(double)> m_report;
};

// When NIMBRA_STALL_LOG names a file, starts a meter on this thread that
// appends a line "<ms since the epoch> <stall ms>" for each stall of 16 ms or
// more. Does nothing otherwise.
void StartStallLogFromEnvironment(QObject* owner);

} // namespace nimbra
