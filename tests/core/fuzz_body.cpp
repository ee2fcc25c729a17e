// Fuzz target: the POST body with its CONTENT_LENGTH. The input's first line is
// the CONTENT_LENGTH text (none when there is no line feed), the rest arrives
// on standard input.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "core/request.h"

int fuzzRequestBody(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  size_t newline = input.find('\n');
  std::string body = newline == std::string::npos ? input : input.substr(newline + 1);
  if (newline == std::string::npos)
    unsetenv("CONTENT_LENGTH");
  else
    setenv("CONTENT_LENGTH", input.substr(0, newline).c_str(), 1);

  FILE* file = tmpfile();
  if (!file) return 0;
  fwrite(body.data(), 1, body.size(), file);
  fflush(file);
  dup2(fileno(file), STDIN_FILENO);
  fclose(file);
  lseek(STDIN_FILENO, 0, SEEK_SET);
  clearerr(stdin);
  fseek(stdin, 0, SEEK_SET);

  Request request("cmd=option&action=set", "POST");
  size_t total = 0;
  for (const std::string& name : request.postNames()) {
    const std::string& value = request.post(name);
    if (name.size() > Request::kMaxName || value.size() > Request::kMaxValue) abort();
    total += name.size() + value.size();
  }
  if (total > static_cast<size_t>(Request::kMaxBody)) abort();
  return 0;
}

#ifdef TAVORC_LIBFUZZER
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return fuzzRequestBody(data, size); }
#endif
