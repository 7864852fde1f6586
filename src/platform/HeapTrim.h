#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

namespace nimbra {

// Hands the free pages of the C library's heap back to the system a while
// after the last of a run of requests. Closing many tabs frees a great deal
// on this side of the engine that malloc would otherwise keep in its arenas,
// so the process would stay at the size of its busiest moment. The trim runs
// on a pool thread: it walks the whole heap.
class CHeapTrim : public QObject {
public:
    static constexpr int kDelayMs = 3000;

    // `trim` stands in for the C library's trim (tests).
    explicit CHeapTrim(QObject* parent = nullptr, std::function<void()> trim = {}, int delayMs = kDelayMs);

    // (Re)starts the wait: a run of requests gives one trim.
    void Request();
    bool IsPending() const { return m_timer.isActive(); }

private:
    QTimer m_timer;
    std::function<void()> m_trim;
};

} // namespace nimbra
