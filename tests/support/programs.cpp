#include "tests/support/programs.h"

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

// The null-separated words of a /proc file.
std::vector<std::string> procWords(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::vector<std::string> words;
  for (std::string word; std::getline(file, word, '\0');) words.push_back(word);
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

std::string programOfProcess(pid_t pid) {
  std::string dir = "/proc/" + std::to_string(pid);
  char exe[4096] = {0};
  if (readlink((dir + "/exe").c_str(), exe, sizeof exe - 1) < 0) return "";
  if (emulatorCommand().empty() || emulatorCommand()[0] != exe) return exe;
  std::vector<std::string> words = procWords(dir + "/cmdline");
  size_t at = emulatorCommand().size() + 2;  // after the emulator and its argv[0] option
  return words.size() > at ? words[at] : "";
}
