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

WebServer::WebServer(const std::string& docroot, const std::string& workDir, const Sandbox* sandbox)
    : m_workDir(workDir) {
  // Another program may take the free port before lighttpd binds it.
  for (int attempt = 0; attempt < 5 && !running(); ++attempt) start(docroot, sandbox);
}

void WebServer::start(const std::string& docroot, const Sandbox* sandbox) {
  m_port = freePort();
  std::ofstream config(m_workDir + "/lighttpd.conf");
  config << "server.modules = (\"mod_access\", \"mod_accesslog\", \"mod_setenv\", \"mod_cgi\")\n"
         << "server.document-root = \"" << docroot << "\"\n"
         << "server.bind = \"127.0.0.1\"\n"
         << "server.port = " << m_port << "\n"
         << "server.errorlog = \"" << m_workDir
         << "/lighttpd-error.log\"\n"
         // Through a pipe the access log is written at once, not every few seconds.
         << "accesslog.filename = \"|/bin/cat >> " << m_workDir << "/lighttpd-access.log\"\n"
         << "accesslog.format = \"%r\"\n"
         // Files that tests replace or delete must never be answered from a cache.
         << "server.stat-cache-engine = \"disable\"\n"
         << "server.max-worker = 0\n"
         << "server.max-connections = 256\n"
         // Bodies reach the CGI program as they arrive, as on the player: a
         // request whose body stalls holds its process (and the semaphore).
         << "server.stream-request-body = 1\n"
         << "mimetype.assign = (\".js\" => \"text/javascript\", \"\" => \"application/octet-stream\")\n";
  if (sandbox) {
    config << "cgi.assign = (\"/cgi-bin/tavorc\" => \"\", \"/cgi-bin/do\" => \"\")\n"
           << "setenv.add-environment = (\"TAVORC_ROOT\" => \"" << sandbox->root() << "\", \"PATH\" => \""
           << sandbox->pathEnv() << "\")\n";
  }
  config.close();
  ChildCommand command;
  command.argv = {"lighttpd", "-D", "-f", m_workDir + "/lighttpd.conf"};
  command.streams = {Redirect::null(), Redirect::null(), Redirect::null()};
  Child server = startChild(command);
  pid_t pid = server.pid;
  for (int i = 0; i < 200; ++i) {
    if (acceptsConnections(m_port)) {
      m_pid = pid;
      return;
    }
    if (server.ended()) return;  // the port was taken meanwhile
    usleep(20000);
  }
  kill(pid, SIGTERM);
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
