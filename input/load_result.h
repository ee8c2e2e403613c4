#pragma once
// What every reading gives back from opening a file: whether it loaded, why
// not, the problems it met on the way, how far it is while it runs, and how
// long each stage took.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tessel {

// Receives a percentage 0..100. Called only when the value changes.
using progress_sink = std::function<void(int percent)>;

struct load_result {
    bool ok = false;
    std::string error;  // names the file and the reason when !ok
    // Problems that did not stop the load, as "FILE:LINE:COLUMN: message"
    // (the first few hundred kept), and how many there were in all.
    std::vector<std::string> warnings;
    std::int64_t warning_count = 0;
    // Set when the load's budget (input/budget.h) cut the scene short: the
    // scene on screen lacks the parts this says; a warning says where.
    std::string incomplete;
};

// Seconds spent in each stage of the last load, for benchmarks.
struct load_timings {
    double read = 0;     // file into memory, comments blanked
    double scan = 0;     // node scan into the stores and text lists
    double rebuild = 0;  // shapes from the lists and stores
    double normals = 0;
};

}  // namespace tessel
