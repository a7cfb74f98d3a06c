// How many CPUs this process may use: the affinity mask it was started with
// (taskset, a scheduler's binding) and the CPU quota of its cgroup (a
// container's or a cluster task's limit), whichever is fewer.
#pragma once

#include <string>

namespace quorix {

int UsableCpus();

// The CPUs a cgroup v2 "cpu.max" text ("150000 100000", or "max 100000")
// allows, rounded up; 0 for no limit or a text that cannot be read.
int CpusOfQuota(const std::string& cpuMax);

}  // namespace quorix
