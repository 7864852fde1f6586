#pragma once

#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <utility>

namespace nimbra {

// Puts the calling thread last for the CPU and low for the disk: work that
// nobody waits for leaves the cores to what a person does wait for.
void LowerThreadPriority();

// The pool of LowPriorityRun: its thread runs at that priority.
QThreadPool& LowPriorityPool();

// Runs `work` on a thread of the low-priority pool.
template <typename Work>
auto LowPriorityRun(Work work)
{
    return QtConcurrent::run(&LowPriorityPool(), [work = std::move(work)]() mutable {
        LowerThreadPriority();
        return work();
    });
}

} // namespace nimbra
