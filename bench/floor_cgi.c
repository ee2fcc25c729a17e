/* The floor of a request through the web server: a CGI program that only
 * prints the answer app_info gives. */
#include <stdio.h>

int main(void) {
  fputs("Status: 200\nContent-Type: application/json; charset=utf8\n"
        "Date: Wed, 09 Dec 2026 03:59:34 GMT\nExpires: Wed, 09 Dec 2026 03:59:34 GMT\n\n"
        "{\"lng\":\"en\",\"nnvc\":\"0\",\"sdb\":false,\"version\":\"0.7.1\"}\n",
        stdout);
  return 0;
}
