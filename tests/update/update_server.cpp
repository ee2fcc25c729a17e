#include "tests/update/update_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "core/utils.h"
#include "tests/support/sandbox.h"
#include "tests/support/webserver.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

sockaddr_in loopback(int port) {
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  return address;
}

bool accepts(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = loopback(port);
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return ok;
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

UpdateServer::UpdateServer(const std::string& workDir) : m_workDir(workDir) {
  mkdir(m_workDir.c_str(), 0775);
  mkdir((m_workDir + "/doc").c_str(), 0775);
  for (int attempt = 0; attempt < 5; ++attempt)
    if (start()) return;
  throw std::runtime_error("lighttpd did not start");
}

// The access log goes through a pipe, which lighttpd writes at once; a log
// file is written only every few seconds. Without a stat cache a file that a
// test replaces or removes is served as it now is.
bool UpdateServer::start() {
  m_port = freePort();
  std::ofstream conf(m_workDir + "/lighttpd.conf");
  conf << "server.document-root = \"" << m_workDir << "/doc\"\n"
       << "server.bind = \"127.0.0.1\"\n"
       << "server.port = " << m_port << "\n"
       << "server.modules = (\"mod_accesslog\")\n"
       << "server.stat-cache-engine = \"disable\"\n"
       << "accesslog.filename = \"|/bin/cat >> " << shellQuote(m_workDir + "/access.log") << "\"\n"
       << "accesslog.format = \"%r\"\n"
       << "server.errorlog = \"" << m_workDir << "/error.log\"\n"
       << "mimetype.assign = (\"\" => \"application/octet-stream\")\n";
  conf.close();
  m_pid = fork();
  if (m_pid == 0) {
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    execlp("lighttpd", "lighttpd", "-D", "-f", (m_workDir + "/lighttpd.conf").c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  auto t0 = Clock::now();
  while (secondsSince(t0) < 5) {
    if (accepts(m_port)) return true;
    if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) break;  // the port was taken meanwhile
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(m_pid, SIGKILL);
  waitpid(m_pid, nullptr, 0);
  m_pid = -1;
  return false;
}

UpdateServer::~UpdateServer() {
  if (m_pid > 0) {
    kill(m_pid, SIGTERM);
    waitpid(m_pid, nullptr, 0);
  }
}

std::string UpdateServer::url() const { return "http://127.0.0.1:" + std::to_string(m_port); }

void UpdateServer::put(const std::string& name, const std::string& content) const {
  std::ofstream(m_workDir + "/doc/" + name, std::ios::binary | std::ios::trunc) << content;
}

void UpdateServer::remove(const std::string& name) const { unlink((m_workDir + "/doc/" + name).c_str()); }

std::vector<std::string> UpdateServer::requests() {
  std::string probe = "/probe-" + std::to_string(++m_probes);
  shellOutput("wget -q -t 1 -T 5 -O /dev/null " + shellQuote(url() + probe));
  auto t0 = Clock::now();
  while (secondsSince(t0) < 5) {
    std::vector<std::string> lines;
    bool probeSeen = false;
    std::istringstream log(slurp(m_workDir + "/access.log"));
    std::string line;
    while (std::getline(log, line)) {
      if (line.find(" /probe-") != std::string::npos)
        probeSeen = probeSeen || line.find(probe + " ") != std::string::npos;
      else
        lines.push_back(line);
    }
    if (probeSeen) return lines;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  throw std::runtime_error("the update server's log does not show the probe");
}

SilentServer::SilentServer() {
  m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = loopback(0);
  socklen_t length = sizeof address;
  if (bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(m_fd, 16) != 0 ||
      getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw std::runtime_error("silent server");
  m_port = ntohs(address.sin_port);
}

SilentServer::~SilentServer() { close(m_fd); }

std::string SilentServer::url() const { return "http://127.0.0.1:" + std::to_string(m_port); }
