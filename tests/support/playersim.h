// The player simulator in a sandbox root, as tests drive and read it: its
// state ("playersim <root> show"), the requests it was sent, the folders its
// media URLs stand for.
#pragma once

#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "tests/support/sandbox.h"

class SimulatedPlayer {
 public:
  // Installs the simulator as the control program of the root, awake and idle.
  explicit SimulatedPlayer(const Sandbox& box);

  // Runs "playersim <root> <arguments>" and answers what it printed.
  std::string tool(const std::string& arguments) const;
  void set(const std::string& settings) const { tool("set " + settings); }
  void reset() const { tool("reset"); }

  std::map<std::string, std::string> state() const;
  std::string state(const std::string& key) const;

  // Every query string received, in order; clearRequests empties the log.
  std::vector<std::string> requests() const;
  void clearRequests() const;
  // The requests other than status queries.
  std::vector<std::string> actions() const;

  // Media URLs below prefix lie in the sandbox folder fixedDir.
  void mapMedia(const std::string& prefix, const std::string& fixedDir) const;

 private:
  const Sandbox& m_box;
};

// A partition mounted below the sandbox's fixed folder, as the mount table and
// blkid describe it (tags as blkid prints them: LABEL="..." UUID="...").
void mountStorage(const Sandbox& box, const std::string& device, const std::string& fixedFolder,
                  const std::string& tags);

// "cmd=ir_code&ir_code=" + code, once per press.
std::vector<std::string> keyRequests(std::initializer_list<std::pair<const char*, int>> presses);
