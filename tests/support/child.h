// Child processes of the tests, started in one place: a program with its
// argument vector, environment, working folder and standard streams, or a
// function of the test run in a forked copy of the test process. Errors of
// fork, pipe and open are reported here (as std::runtime_error); a program
// that cannot be executed ends its child with status 127.
//
// The programs of the build are named through commandFor (programs.h), which
// puts the emulator of a cross build in front of them.
#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Where one standard stream of a child goes.
struct Redirect {
  enum class Kind { Inherit, Null, Pipe, AppendTo };
  Kind kind = Kind::Inherit;
  std::string file;  // AppendTo: the file, created (0644) when missing

  static Redirect inherit() { return {}; }
  static Redirect null() { return {Kind::Null, ""}; }
  static Redirect pipe() { return {Kind::Pipe, ""}; }
  static Redirect appendTo(const std::string& file) { return {Kind::AppendTo, file}; }
};

struct ChildStreams {
  Redirect input, output, error;
};

struct ChildCommand {
  ChildCommand() = default;
  ChildCommand(std::vector<std::string> words) : argv(std::move(words)) {}

  // argv[0] is the program: a path, or a name looked up in the test's PATH.
  std::vector<std::string> argv;
  // Exactly these variables ("NAME=value"); unset: the test's own environment.
  std::optional<std::vector<std::string>> environment;
  std::string directory;  // the working folder, empty: the test's
  ChildStreams streams;
};

// What a child left when it was waited for.
struct ChildResult {
  int status = -1;              // the wait status
  bool timedOut = false;        // it was still running at the time limit and was killed
  std::string output;           // standard output, when it was a pipe
  std::string error;            // standard error, when it was a pipe
  bool exited(int code) const;  // ended normally with this exit code
};

// A started child. Plain data, copied freely; the test's ends of the pipes
// are -1 when there is no pipe or once they are closed.
struct Child {
  pid_t pid = -1;
  int input = -1;   // writing end of the child's standard input
  int output = -1;  // reading end of its standard output
  int error = -1;   // reading end of its standard error

  // Writes all bytes to the child's standard input; false when it failed
  // (the child may have stopped reading, or be gone).
  bool write(const std::string& bytes);
  void closeInput();
  // Everything up to the end of standard output (when it is a pipe), which
  // is then closed.
  std::string readOutput();
  // The wait status once the child has ended, without waiting.
  std::optional<int> ended();
  // Waits for the end; the wait status.
  int wait();
  // Waits up to millis (polling every pollMillis), then kills the child
  // (SIGKILL) and waits for it. The wait status; timedOut tells whether it
  // was killed.
  int waitWithin(int millis, bool* timedOut = nullptr, int pollMillis = 10);
  // Writes input and closes standard input, collects standard output and
  // error until both end, and waits; with limitMillis >= 0 a child still
  // running then is killed. Closes every pipe.
  ChildResult finish(const std::string& bytes = "", int limitMillis = -1);
};

// Starts the program.
Child startChild(const ChildCommand& command);
// Starts it, passes input, collects its outputs and waits (see Child::finish).
ChildResult runChild(const ChildCommand& command, const std::string& input = "", int limitMillis = -1);

// Runs work in a forked copy of the test process, which then ends with the
// exit code work returns. The copy keeps the test's open descriptors: work
// is the test's own code and may use them.
Child startFunction(const std::function<int()>& work, const ChildStreams& streams = {});
ChildResult runFunction(const std::function<int()>& work, const ChildStreams& streams = {},
                        const std::string& input = "", int limitMillis = -1);
