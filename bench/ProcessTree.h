#pragma once

// Resident memory of this process and all its descendants (the engine's
// renderer and GPU processes), read from /proc.
#include <dirent.h>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace benchutil {

inline long TreeResidentKiB()
{
    std::map<int, std::vector<int>> children;
    std::map<int, long> rss;
    if (DIR* proc = opendir("/proc")) {
        while (dirent* entry = readdir(proc)) {
            const int pid = std::atoi(entry->d_name);
            if (pid <= 0)
                continue;
            std::ifstream status("/proc/" + std::string(entry->d_name) + "/status");
            std::string line;
            int ppid = 0;
            long kib = 0;
            while (std::getline(status, line)) {
                if (line.rfind("PPid:", 0) == 0)
                    ppid = std::atoi(line.c_str() + 5);
                else if (line.rfind("VmRSS:", 0) == 0)
                    kib = std::atol(line.c_str() + 6);
            }
            children[ppid].push_back(pid);
            rss[pid] = kib;
        }
        closedir(proc);
    }
    long total = 0;
    std::vector<int> stack{int(getpid())};
    while (!stack.empty()) {
        const int pid = stack.back();
        stack.pop_back();
        total += rss[pid];
        for (int child : children[pid])
            stack.push_back(child);
    }
    return total;
}

} // namespace benchutil
