#pragma once

#include <ctime>

// CPU time used so far by the calling thread, or by the whole process, in ms.
inline double CpuClockMs(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

inline double ThreadCpuMs()
{
    return CpuClockMs(CLOCK_THREAD_CPUTIME_ID);
}

inline double ProcessCpuMs()
{
    return CpuClockMs(CLOCK_PROCESS_CPUTIME_ID);
}
