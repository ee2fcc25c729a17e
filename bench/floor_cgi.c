/* The floor of a request through the web server: a CGI program that only
 * prints the answer. With no query string the answer is the one app_info
 * gives; with a query string it is the JSON file the query names (the cached
 * listing), headers first, copied as tavorc copies it. */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

static const char kHead[] =
    "Status: 200\nContent-Type: application/json; charset=utf8\n"
    "Date: Wed, 09 Dec 2026 03:59:34 GMT\nExpires: Wed, 09 Dec 2026 03:59:34 GMT\n\n";

static int copyFile(const char* path) {
  char buffer[65536];
  ssize_t n;
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 1;
  if (write(STDOUT_FILENO, kHead, sizeof kHead - 1) < 0) return 1;
  while ((n = read(fd, buffer, sizeof buffer)) > 0)
    if (write(STDOUT_FILENO, buffer, (size_t)n) != n) return 1;
  close(fd);
  return 0;
}

int main(void) {
  const char* query = getenv("QUERY_STRING");
  if (query && *query) return copyFile(query);
  fputs(kHead, stdout);
  fputs("{\"lng\":\"en\",\"nnvc\":\"0\",\"sdb\":false,\"version\":\"0.7.1\"}\n", stdout);
  return 0;
}
