#include "input/budget.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <limits>

namespace tessel::reader {

namespace {

std::int64_t g_program_budget = 0;

}  // namespace

std::int64_t physical_memory() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page <= 0) return std::numeric_limits<std::int64_t>::max();
    return static_cast<std::int64_t>(pages) * page;
}

namespace {

std::int64_t read_number(const char* path) {
    long long v = -1;
    if (std::FILE* f = std::fopen(path, "re")) {
        if (std::fscanf(f, "%lld", &v) != 1) v = -1;
        std::fclose(f);
    }
    return v;
}

// The process's own address space so far.
std::int64_t address_space() {
    long long pages = -1;
    if (std::FILE* f = std::fopen("/proc/self/statm", "re")) {
        if (std::fscanf(f, "%lld", &pages) != 1) pages = -1;
        std::fclose(f);
    }
    const long page = sysconf(_SC_PAGESIZE);
    return pages < 0 || page <= 0 ? 0 : pages * page;
}

}  // namespace

std::int64_t available_memory() {
    std::int64_t kb = -1;
    if (std::FILE* f = std::fopen("/proc/meminfo", "re")) {
        char line[256];
        while (std::fgets(line, sizeof line, f))
            if (std::sscanf(line, "MemAvailable: %ld kB", &kb) == 1) break;
        std::fclose(f);
    }
    std::int64_t available = kb < 0 ? std::numeric_limits<std::int64_t>::max() : kb * 1024;
    // A memory limit of the process's own (ulimit -v, a container's cgroup)
    // is what it can really have, whatever the machine has free.
    for (const int resource : {RLIMIT_AS, RLIMIT_DATA}) {
        rlimit limit{};
        if (getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
            available = std::min(available, std::max<std::int64_t>(0, static_cast<std::int64_t>(limit.rlim_cur) -
                                                                           address_space()));
    }
    const std::int64_t group_limit = read_number("/sys/fs/cgroup/memory.max");  // "max" reads as none
    if (group_limit > 0)
        available = std::min(available,
                             std::max<std::int64_t>(0, group_limit - read_number("/sys/fs/cgroup/memory.current")));
    return available;
}

std::string megabytes(std::int64_t bytes) {
    if (bytes < (std::int64_t{1} << 20)) return "less than 1 MB";
    return std::to_string(bytes >> 20) + " MB";
}

void set_load_budget(std::int64_t bytes) { g_program_budget = bytes > 0 ? bytes : 0; }
std::int64_t program_load_budget() { return g_program_budget; }

std::int64_t load_budget_limit() {
    // Half of what is free leaves room for the drawing's own copies and the
    // rest of the desktop; a quarter of the machine keeps one hostile file
    // from pushing everything else into swap even when much is free.
    std::int64_t limit = std::min(physical_memory() / 4, available_memory() / 2);
    if (g_program_budget > 0) limit = std::min(limit, g_program_budget);
    return std::max<std::int64_t>(limit, 1);
}

load_budget::load_budget(std::int64_t limit) : limit_(limit > 0 ? limit : load_budget_limit()) {}

bool load_budget::spend(std::int64_t bytes, const char* what) {
    if (fits(bytes)) {
        spent_ += bytes;
        return true;
    }
    refuse(what);
    return false;
}

void load_budget::refuse(const char* what) {
    if (refused_.empty()) refused_ = what && *what ? what : "data";
}

std::string load_budget::message() const {
    return "the scene needs more memory than a load may use here (" + megabytes(limit_) + "; stopped at its " +
           (refused_.empty() ? std::string("data") : refused_) + ")";
}

}  // namespace tessel::reader
