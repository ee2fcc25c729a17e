// A scratch root for one test: the fixed paths of the system below a fresh
// folder, the stand-in programs first in PATH, and helpers to run tavorc in it
// as the web server would (a CGI process with only the CGI variables).
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/child.h"

// Paths of the built programs and the source tree, set by the build.
std::string tavorcBinary();
std::string playersimBinary();
std::string orvexbdBinary();
std::string sourceDir();

struct CgiRequest {
  std::string program;  // empty: the built tavorc
  std::string query;
  std::string method = "GET";
  std::string cookie;                    // HTTP_COOKIE, unset when empty
  std::string body;                      // written to standard input
  std::string contentLength = "auto";    // "auto": the body's length; "": unset
  std::vector<std::string> arguments;    // command-line arguments
  bool setQuery = true;                  // false: QUERY_STRING unset
  std::vector<std::string> environment;  // further variables, "NAME=value"
};

struct CgiResponse {
  std::string raw;  // everything written to standard output
  int exitStatus = -1;
  std::string statusLine;  // "Status: 200"
  std::map<std::string, std::string> headers;
  std::vector<std::string> headerNames;  // in the order written
  std::string body;
  int status() const;
  std::string header(const std::string& name) const;
};

class Sandbox {
 public:
  Sandbox();
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  const std::string& root() const { return m_root; }
  std::string path(const std::string& fixed) const { return m_root + fixed; }
  std::string pathEnv() const;

  void write(const std::string& fixed, const std::string& content) const;
  std::string read(const std::string& fixed) const;
  bool exists(const std::string& fixed) const;
  void mkdirs(const std::string& fixed) const;

  // The player simulator as the control program.
  void installPlayerSimulator() const;

  CgiResponse run(const CgiRequest& request) const;
  CgiResponse get(const std::string& query, const std::string& cookie = "bid=TEST") const;

  // The request semaphore of this root, as the program names it.
  std::string semaphoreName() const;

 private:
  std::string m_root;
};

// A tavorc CGI process under the test's control: its standard input kept open
// when the test wants it to wait for a body that never comes.
// Its output is collected unless the test discarded it (output -1 then).
struct CgiProcess : Child {
  // Closes standard input, reads the whole answer and waits for the end.
  CgiResponse finish();
  // Closes standard input and waits for the end without reading; the wait status.
  int wait();
};

// Starts tavorc; the body is written and, unless keepInputOpen, input closed.
// With discardOutput the reading end is closed at once, as when the client
// went away.
CgiProcess startCgi(const Sandbox& sandbox, const CgiRequest& request, bool keepInputOpen = false,
                    bool discardOutput = false);

// Checks a whole answer of an ordinary request: exit status 0, the status
// line, exactly the headers Status, Content-Type, Date and Expires (the dates
// equal), the content type and the body.
void expectAnswer(const CgiResponse& response, int status, const std::string& type, const std::string& body);
void expectJson(const CgiResponse& response, const std::string& body);
void expectError(const CgiResponse& response, const std::string& message);

// Runs a shell command line, returns its standard output (and the status).
std::string shellOutput(const std::string& command, int* status = nullptr);

// Parses a CGI response: header lines, an empty line, the body.
CgiResponse parseCgi(const std::string& raw);
