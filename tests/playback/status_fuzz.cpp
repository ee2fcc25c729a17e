// Fuzz target for the control program's status answer. Built with clang and
// -fsanitize=fuzzer it is a fuzzer of its own; the unit tests run it briefly.
#include <cstddef>
#include <cstdint>
#include <string>

#include "playback/tavo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PlayerStatus status;
  try {
    parseStatus(std::string(reinterpret_cast<const char*>(data), size), status);
  } catch (const TavoException&) {
  }
  return 0;
}
