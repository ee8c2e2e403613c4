#include "input/threads.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace tessel::reader {

namespace {

std::atomic<int> g_threads{0};

// The cores this process may run on (an affinity mask or a container's
// cpuset may allow fewer than the machine has).
int usable_cores() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

}  // namespace

void set_load_threads(int n) { g_threads = n > 0 ? n : 0; }

int load_threads() {
    const int n = g_threads;
    // Beyond a few threads a load is held up by memory, not by work.
    return n > 0 ? n : std::min(usable_cores(), 8);
}

}  // namespace tessel::reader
