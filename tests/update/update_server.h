// Stand-ins for the update server: lighttpd serving plain files, whose
// requests are read back from its access log, and a port that never answers.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/support/webserver.h"

// lighttpd on 127.0.0.1 and a free port, serving workDir/doc. A path with a
// query string is answered from the file of that path.
class UpdateServer {
 public:
  explicit UpdateServer(const std::string& workDir);

  std::string url() const;
  void put(const std::string& name, const std::string& content) const;
  void remove(const std::string& name) const;

  // Request lines ("GET /x?y HTTP/1.1") received so far. A request of its own
  // goes first, and once the log shows it every earlier request is in; that
  // request is left out.
  std::vector<std::string> requests();

 private:
  std::string m_workDir;
  std::unique_ptr<WebServer> m_server;
  int m_probes = 0;
};

// A port on 127.0.0.1 that takes connections into its backlog and never answers.
class SilentServer {
 public:
  SilentServer();
  ~SilentServer();
  std::string url() const;

 private:
  int m_fd = -1;
  int m_port = 0;
};
