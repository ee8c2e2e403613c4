#pragma once
#include <cstddef>
#include <cstdint>

// Loads one input through the public load entry point and aborts if the
// resulting scene breaks an invariant the renderer relies on.
void fuzz_load_one(const std::uint8_t* data, std::size_t size);
