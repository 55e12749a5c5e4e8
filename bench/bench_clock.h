// The benchmarks' clock: seconds from the performance counter.
#ifndef KUVANA_BENCH_CLOCK_H
#define KUVANA_BENCH_CLOCK_H

#include <windows.h>

inline double Now()
{
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return double(counter.QuadPart) / double(frequency.QuadPart);
}

#endif
