#include "UsableCpus.h"

#include <sched.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <thread>

namespace quorix {

int CpusOfQuota(const std::string& cpuMax) {
    const size_t space = cpuMax.find(' ');
    if (space == std::string::npos || cpuMax.compare(0, space, "max") == 0) return 0;
    long long quota = 0, period = 0;
    const char* end = cpuMax.data() + cpuMax.size();
    if (std::from_chars(cpuMax.data(), cpuMax.data() + space, quota).ec != std::errc() ||
        std::from_chars(cpuMax.data() + space + 1, end, period).ec != std::errc() || quota <= 0 || period <= 0)
        return 0;
    return static_cast<int>(std::min<long long>((quota + period - 1) / period, 1 << 16));
}

namespace {

// The quota of this process's cgroup (v2), read from the cgroup's own folder
// up to the root: each level may limit it.
int CgroupCpus() {
    std::ifstream self("/proc/self/cgroup");
    std::string line, path;
    while (std::getline(self, line))
        if (line.compare(0, 3, "0::") == 0) path = line.substr(3);
    int fewest = 0;
    for (std::string at = path; !at.empty();) {
        std::ifstream max("/sys/fs/cgroup" + (at == "/" ? std::string() : at) + "/cpu.max");
        std::string text;
        if (std::getline(max, text))
            if (const int cpus = CpusOfQuota(text); cpus > 0) fewest = fewest == 0 ? cpus : std::min(fewest, cpus);
        if (at == "/") break;
        at = at.substr(0, at.find_last_of('/'));
        if (at.empty()) at = "/";
    }
    return fewest;
}

}  // namespace

int UsableCpus() {
    int cpus = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0) cpus = std::max(1, CPU_COUNT(&set));
    if (const int quota = CgroupCpus(); quota > 0) cpus = std::min(cpus, quota);
    return cpus;
}

}  // namespace quorix
