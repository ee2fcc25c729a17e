#include "core/log.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <ctime>

#include "core/paths.h"
#include "core/result.h"

Log& Log::instance() {
  static Log log;
  return log;
}

Log::Log() {
  std::string path = rooted(paths::kLogFile);
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && (st.st_size > kMaxSize || st.st_mtime < time(nullptr) - kMaxAge))
    unlink(path.c_str());
  m_file = fopen(path.c_str(), "ae");
}

Log::~Log() {
  if (m_file) fclose(m_file);
}

void Log::write(bool error, const char* format, va_list arguments) {
  if (!m_file) return;
  vsnprintf(m_buffer, sizeof m_buffer, format, arguments);
  std::string stamp = httpDate(time(nullptr));
  fprintf(m_file, "%s :%s%s\n", stamp.c_str(), error ? " error : " : " ", m_buffer);
  fflush(m_file);
}

void logMessage(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  Log::instance().write(false, format, arguments);
  va_end(arguments);
}

void logError(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  Log::instance().write(true, format, arguments);
  va_end(arguments);
}
