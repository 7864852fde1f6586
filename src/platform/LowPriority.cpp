#include "platform/LowPriority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace nimbra {

void LowerThreadPriority()
{
    const auto tid = id_t(::syscall(SYS_gettid));
    ::setpriority(PRIO_PROCESS, tid, 19);
    constexpr int kBestEffortLowest = (2 << 13) | 7; // IOPRIO_CLASS_BE, level 7
    ::syscall(SYS_ioprio_set, 1 /* IOPRIO_WHO_PROCESS */, tid, kBestEffortLowest);
}

QThreadPool& LowPriorityPool()
{
    static QThreadPool pool;
    return pool;
}

} // namespace nimbra
