#include "core/paths.h"

#include <cstdlib>

#include "core/utils.h"

const std::string& sandboxRoot() {
  static const std::string root = [] {
    const char* value = std::getenv("TAVORC_ROOT");
    return std::string(value ? value : "");
  }();
  return root;
}

std::string rooted(const char* fixedPath) { return sandboxRoot() + fixedPath; }

std::string semaphoreName() {
  if (sandboxRoot().empty()) return paths::kSemaphore;
  return std::string(paths::kSemaphore) + "-" + md5Hex(sandboxRoot()).substr(0, 12);
}
