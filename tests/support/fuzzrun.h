// Runs a fuzz target (the libFuzzer entry point of a parser) as an ordinary
// test: the seeds, then a fixed number of random mutations of them. Built with
// clang and -fsanitize=fuzzer, the same target file is a real fuzzer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using FuzzTarget = int (*)(const uint8_t* data, size_t size);

// Returns the number of inputs run; a crash or sanitizer report ends the test.
size_t runFuzzBriefly(FuzzTarget target, const std::vector<std::string>& seeds, size_t mutations = 20000,
                      unsigned randomSeed = 12345);
