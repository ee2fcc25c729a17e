// A tavorc CGI process under the test's control: started in a sandbox as the
// web server would start it, with its standard input kept open when the test
// wants it to wait for a body that never comes.
#pragma once

#include <json/json.h>
#include <sys/types.h>

#include <string>

#include "tests/support/sandbox.h"

struct CgiProcess {
  pid_t pid = -1;
  int input = -1;   // the program's standard input, -1 once closed
  int output = -1;  // the program's standard output, -1 when not collected

  // Closes standard input, reads the whole answer and waits for the end.
  CgiResponse finish();
  // Waits for the end without reading; the wait status.
  int wait();
};

// Starts tavorc; the body is written and, unless keepInputOpen, input closed.
// With discardOutput the reading end is closed at once, as when the client
// went away.
CgiProcess startCgi(const Sandbox& sandbox, const CgiRequest& request, bool keepInputOpen = false,
                    bool discardOutput = false);

// The request semaphore's value, or -1 when it does not exist.
int semaphoreValue(const Sandbox& sandbox);

// Waits (up to the given milliseconds) until the pid file names pid.
bool waitForPidFile(const Sandbox& sandbox, pid_t pid, int millis = 5000);

// The JSON document in a sandbox file (null when missing or unparsable).
Json::Value readJson(const Sandbox& sandbox, const std::string& fixed);
bool parsesAsJson(const std::string& text, Json::Value* into = nullptr);

// Checks the two date lines (format and equality) and replaces their values
// by "<date>", so that a whole response can be compared as bytes.
std::string withDatesMasked(const CgiResponse& response);
