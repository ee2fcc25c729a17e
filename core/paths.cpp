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

std::string semaphoreName() { return semaphoreNameFor(sandboxRoot()); }

std::string semaphoreNameFor(const std::string& root) {
  if (root.empty()) return paths::kSemaphore;
  return std::string(paths::kSemaphore) + "-" + md5Hex(root).substr(0, 12);
}

int sandboxTimeLimit(const char* variable, int limitSeconds) {
  if (sandboxRoot().empty()) return limitSeconds;
  const char* value = std::getenv(variable);
  int seconds = value ? std::atoi(value) : 0;
  return seconds > 0 && seconds < limitSeconds ? seconds : limitSeconds;
}
