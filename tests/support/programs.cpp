#include "tests/support/programs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>

namespace {

std::string quoted(const std::string& word) {
  std::string text = "'";
  for (char c : word) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return text + "'";
}

std::vector<std::string> splitWords(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream in(text);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

}  // namespace

const std::vector<std::string>& emulatorCommand() {
  static const std::vector<std::string> words = splitWords(TAVORC_TEST_EMULATOR);
  return words;
}

// The emulator (user-mode qemu) is told the argv[0] that a real start would
// give the program: the player simulator finds its root from it.
const char kArgv0Option[] = "-0";

std::vector<std::string> commandFor(const std::string& program, const std::vector<std::string>& arguments) {
  std::vector<std::string> command = emulatorCommand();
  if (!command.empty()) command.insert(command.end(), {kArgv0Option, program});
  command.push_back(program);
  command.insert(command.end(), arguments.begin(), arguments.end());
  return command;
}

std::string shellCommandFor(const std::string& program) {
  std::string line;
  for (const std::string& word : commandFor(program)) line += (line.empty() ? "" : " ") + quoted(word);
  return line;
}

bool installProgram(const std::string& program, const std::string& at) {
  unlink(at.c_str());
  if (emulatorCommand().empty()) return symlink(program.c_str(), at.c_str()) == 0;
  std::ofstream script(at, std::ios::trunc);
  std::string line = "exec";
  for (const std::string& word : emulatorCommand()) line += " " + quoted(word);
  script << "#!/bin/sh\n" << line << " " << kArgv0Option << " \"$0\" " << quoted(program) << " \"$@\"\n";
  script.close();
  return script && chmod(at.c_str(), 0755) == 0;
}

std::string procText(pid_t pid, const char* name) { return fileText("/proc/" + std::to_string(pid) + "/" + name); }

std::string fileText(const std::string& path) {
  std::string text;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return text;
  char buffer[4096];
  for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, got);
  close(fd);
  return text;
}

std::vector<std::string> procWords(pid_t pid, const char* name) {
  std::string text = procText(pid, name);
  std::vector<std::string> words;
  for (size_t at = 0, end; at < text.size(); at = end + 1) {
    end = text.find('\0', at);
    if (end == std::string::npos) end = text.size();
    words.push_back(text.substr(at, end - at));
  }
  return words;
}

bool isZombie(pid_t pid) { return procText(pid, "status").find("\nState:\tZ") != std::string::npos; }

std::string programOfProcess(pid_t pid) {
  std::string dir = "/proc/" + std::to_string(pid);
  char exe[4096] = {0};
  if (readlink((dir + "/exe").c_str(), exe, sizeof exe - 1) < 0) return "";
  if (emulatorCommand().empty() || emulatorCommand()[0] != exe) return exe;
  std::vector<std::string> words = procWords(pid, "cmdline");
  size_t at = emulatorCommand().size() + 2;  // after the emulator and its argv[0] option
  return words.size() > at ? words[at] : "";
}

std::string shellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

void replaceAll(std::string& text, const std::string& pattern, const std::string& replacement) {
  if (pattern.empty()) return;
  for (size_t at = 0; (at = text.find(pattern, at)) != std::string::npos; at += replacement.size())
    text.replace(at, pattern.size(), replacement);
}
