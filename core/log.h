// The shared trace log: one line per entry, headed by the time in GMT.
#pragma once

#include <cstdarg>
#include <cstdio>

class Log {
 public:
  static Log& instance();
  ~Log();

  void write(bool error, const char* format, va_list arguments) __attribute__((format(printf, 3, 0)));

  static constexpr long kMaxSize = 524288;  // a larger log is started afresh
  static constexpr long kMaxAge = 3600;     // so is one quiet for longer

 private:
  Log();
  FILE* m_file = nullptr;
  char m_buffer[2048];
};

void logMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logError(const char* format, ...) __attribute__((format(printf, 1, 2)));
