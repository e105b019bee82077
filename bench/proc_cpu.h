// SPDX-License-Identifier: GPL-3.0-or-later
// CPU time a process has used so far (user and system, all its threads), read from /proc; 0 where
// there is no such process. Works for another process as well as for this one.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

struct ProcCpu {
    double user = 0, system = 0;
    double total() const { return user + system; }
};

// From a /proc stat file: a process's, or one thread's (/proc/PID/task/TID/stat).
inline ProcCpu proc_cpu_of(const char* path)
{
    FILE* f = std::fopen(path, "r");
    if (!f)
        return {};
    char buf[1024];
    const size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    buf[n] = 0;
    const char* p = std::strrchr(buf, ')');   // the fields after the command name
    unsigned long utime = 0, stime = 0;
    if (!p || std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) != 2)
        return {};
    const double tick = double(sysconf(_SC_CLK_TCK));
    return {double(utime) / tick, double(stime) / tick};
}

inline ProcCpu proc_cpu(long long pid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%lld/stat", pid);
    return proc_cpu_of(path);
}

// The main thread of a process alone.
inline ProcCpu main_thread_cpu(long long pid)
{
    char path[80];
    std::snprintf(path, sizeof path, "/proc/%lld/task/%lld/stat", pid, pid);
    return proc_cpu_of(path);
}

inline double proc_cpu_seconds(long long pid) { return proc_cpu(pid).total(); }
