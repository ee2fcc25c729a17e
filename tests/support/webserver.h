// A real lighttpd on 127.0.0.1 and a free port, for tests: it serves a
// sandbox's /tmp/www with tavorc as CGI, or any folder as plain files.
#pragma once

#include <string>

class Sandbox;

class WebServer {
 public:
  // Serves docroot; with a sandbox, "/cgi-bin/tavorc" runs tavorc as CGI with
  // TAVORC_ROOT and PATH of that sandbox. Logs go to scratch files in workDir.
  WebServer(const std::string& docroot, const std::string& workDir, const Sandbox* sandbox = nullptr);
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  bool running() const { return m_pid > 0; }
  int port() const { return m_port; }
  std::string url(const std::string& path) const;
  // One request line ("GET /x?y HTTP/1.1") per request served so far.
  std::string accessLog() const;

 private:
  void start(const std::string& docroot, const Sandbox* sandbox);
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
