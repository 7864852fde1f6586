#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <deque>

namespace nimbra {

// Deletes objects over several turns of the event loop instead of all in
// one: each turn deletes until a small time budget is spent, then lets
// input and painting through. Closing many tabs at once would otherwise
// tear down every tab's engine page in one pass and freeze the window.
class CDeleteInTurns : public QObject {
public:
    static constexpr int kBudgetMs = 8;

    CDeleteInTurns();
    // Deletes `object` in a later turn, after those added before it.
    void Add(QObject* object);
    size_t Pending() const { return m_queue.size(); }

private:
    void Turn();

    std::deque<QPointer<QObject>> m_queue;
    QTimer m_timer;
};

} // namespace nimbra
