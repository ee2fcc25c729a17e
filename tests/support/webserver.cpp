#include "tests/support/webserver.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tests/support/child.h"
#include "tests/support/sandbox.h"

int freePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  struct sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<struct sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<struct sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

int connectTo(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  struct sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<struct sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

static bool acceptsConnections(int port) {
  int fd = connectTo(port);
  if (fd >= 0) close(fd);
  return fd >= 0;
}

WebServer::WebServer(const Sandbox& sandbox, const std::string& workDir, const std::vector<std::string>& environment)
    : m_workDir(workDir) {
  std::vector<std::string> variables = {"PATH=" + sandbox.pathEnv()};
  variables.insert(variables.end(), environment.begin(), environment.end());
  start("box", sandbox.root(), variables);
}

WebServer::WebServer(const std::string& folder, const std::string& workDir) : m_workDir(workDir) {
  start("files", folder, {});
}

void WebServer::start(const char* layout, const std::string& served, const std::vector<std::string>& environment) {
  // Another program may take the free port before lighttpd binds it.
  for (int attempt = 0; attempt < 5 && !running(); ++attempt) {
    m_port = freePort();
    ChildCommand write({"sh", sourceDir() + "/tools/webserver.sh", layout, served, std::to_string(m_port), m_workDir});
    write.argv.insert(write.argv.end(), environment.begin(), environment.end());
    write.streams.output = Redirect::pipe();
    write.streams.error = Redirect::pipe();
    ChildResult written = runChild(write);
    if (!written.exited(0)) throw std::runtime_error("tools/webserver.sh: " + written.error);
    std::ofstream(m_workDir + "/lighttpd.conf", std::ios::trunc) << written.output;
    launch();
  }
}

void WebServer::launch() {
  ChildCommand command;
  command.argv = {"lighttpd", "-D", "-f", m_workDir + "/lighttpd.conf"};
  command.streams = {Redirect::null(), Redirect::null(), Redirect::null()};
  Child server = startChild(command);
  for (int i = 0; i < 200; ++i) {
    if (acceptsConnections(m_port)) {
      m_pid = server.pid;
      return;
    }
    if (server.ended()) return;  // the port was taken meanwhile
    usleep(20000);
  }
  kill(server.pid, SIGTERM);
  server.wait();
}

WebServer::~WebServer() {
  if (m_pid > 0) {
    kill(m_pid, SIGTERM);
    waitpid(m_pid, nullptr, 0);
  }
}

std::string WebServer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

std::string WebServer::accessLog() const {
  std::ifstream file(m_workDir + "/lighttpd-access.log");
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string curlGet(const std::string& url, const std::string& extraArguments) {
  return shellOutput("curl -s -i --max-time 60 " + extraArguments + " '" + url + "'");
}
