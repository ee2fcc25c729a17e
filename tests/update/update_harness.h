// What the self-update system tests stand on: a sandbox root, the built
// tavorc run as a CGI program inside it, and a real update server (lighttpd
// on 127.0.0.1) whose requests are read back from its access log.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace updatetest {

// A scratch folder laid out as the player's file system; removed, with the
// request semaphore of its root, at the end.
class Sandbox {
 public:
  explicit Sandbox(const std::string& namePattern = "tavorc-update-XXXXXX");
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  const std::string& root() const { return m_root; }
  // A fixed absolute path of the player inside the sandbox.
  std::string path(const std::string& fixed) const { return m_root + fixed; }

  void write(const std::string& fixed, const std::string& content) const;
  std::string read(const std::string& fixed) const;
  bool exists(const std::string& fixed) const;

 private:
  std::string m_root;
};

struct CgiResponse {
  std::string headers;  // the header block, each line ending in "\n"
  std::string body;
  int exitStatus = -1;
  double seconds = 0;
  std::string header(const std::string& name) const;  // value of the first such line
};

// Runs the built tavorc as the web server would: only the CGI variables, the
// sandbox root, the update server and PATH are set. The request carries a
// "bid" cookie, so that the answer sets none.
CgiResponse runCgi(const Sandbox& sandbox, const std::string& query, const std::string& updateUrl);

// Runs a program with arguments in a folder, waits, and returns its exit status.
int runTool(const std::vector<std::string>& argv, const std::string& folder = "");

// Builds a zip archive of the given files (relative path, content) and returns its bytes.
std::string makeZip(const std::vector<std::pair<std::string, std::string>>& files);

// The upper-case hex SHA-1 of text, computed by the system's sha1sum.
std::string sha1OfText(const std::string& text);

// lighttpd serving a scratch document folder on 127.0.0.1 and a free port.
// A path with a query string is answered from the file of that path.
class UpdateServer {
 public:
  UpdateServer();
  ~UpdateServer();
  UpdateServer(const UpdateServer&) = delete;
  UpdateServer& operator=(const UpdateServer&) = delete;

  std::string url() const;
  void put(const std::string& name, const std::string& content) const;
  void remove(const std::string& name) const;

  // Request lines ("GET /x?y HTTP/1.1") the server has received so far. It
  // first sends a request of its own and waits until the log shows it, so
  // every earlier request is in; that request is left out.
  std::vector<std::string> requests();

 private:
  bool start();
  std::string m_dir;
  int m_port = 0;
  pid_t m_pid = -1;
  int m_probes = 0;
};

// A TCP port on 127.0.0.1 that accepts connections into its backlog and
// never answers.
class SilentServer {
 public:
  SilentServer();
  ~SilentServer();
  std::string url() const;

 private:
  int m_fd = -1;
  int m_port = 0;
};

// A port on 127.0.0.1 where nothing listens.
int unusedPort();

}  // namespace updatetest
