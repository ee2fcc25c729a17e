#include "tests/support/playersim.h"

#include <sstream>

#include "core/paths.h"
#include "tests/support/programs.h"

SimulatedPlayer::SimulatedPlayer(const Sandbox& box) : m_box(box) {
  m_box.installPlayerSimulator();
  m_box.mkdirs("/var/playersim");
  reset();
}

std::string SimulatedPlayer::tool(const std::string& arguments) const {
  return shellOutput(shellCommandFor(playersimBinary()) + " '" + m_box.root() + "' " + arguments);
}

std::map<std::string, std::string> SimulatedPlayer::state() const {
  std::map<std::string, std::string> values;
  std::istringstream in(tool("show"));
  for (std::string line; std::getline(in, line);) {
    size_t equals = line.find('=');
    if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return values;
}

std::string SimulatedPlayer::state(const std::string& key) const { return state()[key]; }

std::vector<std::string> SimulatedPlayer::requests() const {
  std::vector<std::string> lines;
  std::istringstream in(m_box.read("/var/playersim/requests.log"));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void SimulatedPlayer::clearRequests() const { m_box.write("/var/playersim/requests.log", ""); }

std::vector<std::string> SimulatedPlayer::actions() const {
  std::vector<std::string> lines;
  for (const std::string& line : requests())
    if (line != "cmd=status") lines.push_back(line);
  return lines;
}

void SimulatedPlayer::mapMedia(const std::string& prefix, const std::string& fixedDir) const {
  std::string conf = m_box.read("/var/playersim/media.conf");
  m_box.write("/var/playersim/media.conf", conf + prefix + " " + m_box.path(fixedDir) + "\n");
}

void mountStorage(const Sandbox& box, const std::string& device, const std::string& fixedFolder,
                  const std::string& tags) {
  box.mkdirs(fixedFolder);
  box.write(paths::kMtab, box.read(paths::kMtab) + device + " " + box.path(fixedFolder) + " vfat rw,relatime 0 0\n");
  box.write("/etc/blkid.tab", box.read("/etc/blkid.tab") + device + ": " + tags + " TYPE=\"vfat\"\n");
}

std::vector<std::string> keyRequests(std::initializer_list<std::pair<const char*, int>> presses) {
  std::vector<std::string> out;
  for (const auto& [code, times] : presses)
    for (int i = 0; i < times; ++i) out.push_back(std::string("cmd=ir_code&ir_code=") + code);
  return out;
}
