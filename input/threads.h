#pragma once
// How many threads one load may keep busy. A load's result never depends on
// it: the work is split so that one thread or many give the same store, the
// same warnings and the same budget decisions.

namespace tessel::reader {

// n <= 0: one per core the process may run on (the default).
void set_load_threads(int n);
// At least 1.
int load_threads();

}  // namespace tessel::reader
