// A real lighttpd on 127.0.0.1 and a free port, for tests, laid out by
// tools/webserver.sh as the demo and the benchmarks are: a sandbox's box
// (/tmp/www with the programs below /cgi-bin/ as CGI), or a folder of plain
// files standing in for another server.
#pragma once

#include <string>
#include <vector>

class Sandbox;

class WebServer {
 public:
  // The player's web server of the sandbox: tavorc as "/cgi-bin/do2", run
  // with TAVORC_ROOT and PATH of the sandbox and the given "NAME=value"
  // variables. Its configuration and logs go to workDir.
  WebServer(const Sandbox& sandbox, const std::string& workDir, const std::vector<std::string>& environment = {});
  // folder served as plain files (the update server); its requests are logged.
  WebServer(const std::string& folder, const std::string& workDir);
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  bool running() const { return m_pid > 0; }
  int port() const { return m_port; }
  std::string url(const std::string& path) const;
  // One request line ("GET /x?y HTTP/1.1") per request served so far, for a
  // folder of plain files.
  std::string accessLog() const;

 private:
  // Starts lighttpd on a free port with the layout ("box" or "files") of
  // served (a sandbox root or a folder).
  void start(const char* layout, const std::string& served, const std::vector<std::string>& environment);
  void launch();
  int m_port = 0;
  int m_pid = -1;
  std::string m_workDir;
};

// A free TCP port on 127.0.0.1 (nothing listens on it at the time of the call).
int freePort();
// A connection to 127.0.0.1:port, -1 when nothing accepts it.
int connectTo(int port);

// curl's answer for a URL: "-i" output (status line, headers, body).
std::string curlGet(const std::string& url, const std::string& extraArguments = "");
