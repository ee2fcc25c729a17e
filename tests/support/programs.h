// Starting the programs of the build under test. A host build runs them
// directly; the player's build runs them through the emulator that the build
// names (TAVORC_TEST_EMULATOR), as no binfmt registration starts MIPS programs.
// Programs of the build machine (sh, wget, lighttpd) always run directly.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// The emulator's words, empty in a host build.
const std::vector<std::string>& emulatorCommand();

// The argument vector that runs program with the arguments (for startChild,
// child.h).
std::vector<std::string> commandFor(const std::string& program, const std::vector<std::string>& arguments = {});

// The same as the start of a shell command line, every word quoted.
std::string shellCommandFor(const std::string& program);

// Makes the path "at" start program, as an installed program would: a
// symbolic link, or under emulation a script that runs it through the emulator.
// False when it could not be made.
bool installProgram(const std::string& program, const std::string& at);

// The program a process runs: its executable, or under emulation the program
// the emulator was started with. Empty when the process is gone.
std::string programOfProcess(pid_t pid);

// A file's whole text, read without a stream: what could be read, empty when
// it cannot be opened.
std::string fileText(const std::string& path);

// The content of the file "name" below /proc/<pid>: what could be read, empty
// when the process is gone. A process that ends while it is read fails the
// read with ESRCH, which a stream would throw.
std::string procText(pid_t pid, const char* name);

// The null-separated words of such a file (cmdline, environ).
std::vector<std::string> procWords(pid_t pid, const char* name);

// True when the process has ended and waits for its parent.
bool isZombie(pid_t pid);

// The text as one word for sh: in single quotes, each "'" written as '\''.
std::string shellQuote(const std::string& text);

// Replaces every occurrence of pattern in text.
void replaceAll(std::string& text, const std::string& pattern, const std::string& replacement);
