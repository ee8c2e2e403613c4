// libFuzzer target over both readings of the load pipeline.
#include "fuzz_load.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_load_one(data, size);
    return 0;
}
