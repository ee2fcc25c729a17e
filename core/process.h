// Running other programs: the control program, system tools, this program.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct ProgramResult {
  int status = -1;         // wait status as waitpid reports it; -1 when the program never ran
  bool timedOut = false;   // the time limit passed and the program was killed
  bool outputCut = false;  // it printed more than the limit and was killed; output is then empty
  std::string output;      // standard output and standard error (runProgramCapture only)
};

// What runProgramCapture reads at most: the largest answer the system reads
// (the player's status) is under 1 KiB.
inline constexpr size_t kMaxCapturedOutput = 64 * 1024;

// Runs path (searched in PATH when it holds no "/") with the arguments and waits
// for this very child. Its standard output goes nowhere; its standard error is
// inherited. With a time limit in seconds above 0, the program and everything
// it started are killed when the limit passes.
ProgramResult runProgram(const std::string& path, const std::vector<std::string>& arguments, int timeLimitSeconds = 0);

// As runProgram, but standard output and standard error are collected until the
// program closes them. A program that prints more than outputLimit bytes is
// killed with everything it started, and what it printed counts as nothing
// (outputCut): a runaway program must not fill the memory of the request.
ProgramResult runProgramCapture(const std::string& path, const std::vector<std::string>& arguments,
                                int timeLimitSeconds = 0, size_t outputLimit = kMaxCapturedOutput);

// True when the wait status says the program ran and ended with status 0.
bool exitedCleanly(const ProgramResult& result);

// Removes a folder with everything below it (rm -rf, never through a shell).
void removeTree(const std::string& path);
