#include "tests/update/update_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "core/utils.h"
#include "tests/support/programs.h"
#include "tests/support/sandbox.h"

UpdateServer::UpdateServer(const std::string& workDir) : m_workDir(workDir) {
  mkdir(m_workDir.c_str(), 0775);
  mkdir((m_workDir + "/doc").c_str(), 0775);
  m_server = std::make_unique<WebServer>(m_workDir + "/doc", m_workDir);
  if (!m_server->running()) throw std::runtime_error("lighttpd did not start");
}

std::string UpdateServer::url() const { return m_server->url(""); }

void UpdateServer::put(const std::string& name, const std::string& content) const {
  std::ofstream(m_workDir + "/doc/" + name, std::ios::binary | std::ios::trunc) << content;
}

void UpdateServer::remove(const std::string& name) const { unlink((m_workDir + "/doc/" + name).c_str()); }

std::vector<std::string> UpdateServer::requests() {
  std::string probe = "/probe-" + std::to_string(++m_probes);
  shellOutput("wget -q -t 1 -T 5 -O /dev/null " + shellQuote(url() + probe));
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < deadline) {
    std::vector<std::string> lines;
    bool probeSeen = false;
    std::istringstream log(m_server->accessLog());
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
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(m_fd, 16) != 0 ||
      getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw std::runtime_error("silent server");
  m_port = ntohs(address.sin_port);
}

SilentServer::~SilentServer() { close(m_fd); }

std::string SilentServer::url() const { return "http://127.0.0.1:" + std::to_string(m_port); }

SigningKey::SigningKey(const std::string& folder) : m_secretKeyFile(folder + "/test.key") {
  mkdir(folder.c_str(), 0700);
  std::string publicFile = folder + "/test.pub";
  int status = -1;
  std::string out = shellOutput("minisign -G -W -p " + shellQuote(publicFile) + " -s " + shellQuote(m_secretKeyFile) +
                                    " >/dev/null 2>&1 && sed -n 2p " + shellQuote(publicFile),
                                &status);
  if (status != 0 || out.size() < 2) throw std::runtime_error("minisign -G failed");
  m_publicKey = out.substr(0, out.size() - 1);
}

void SigningKey::sign(const std::string& folder) const {
  int status = -1;
  std::string out = shellOutput("sh " + shellQuote(sourceDir() + "/packaging/sign-package.sh") + " " +
                                    shellQuote(folder) + " " + shellQuote(m_secretKeyFile) + " 2>&1",
                                &status);
  if (status != 0) throw std::runtime_error("signing failed: " + out);
}
