#include "tests/update/update_harness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "core/paths.h"
#include "core/utils.h"

namespace fs = std::filesystem;

namespace updatetest {

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

std::string makeTempDir(const std::string& pattern) {
  std::string name = (fs::path(fs::temp_directory_path()) / pattern).string();
  if (!mkdtemp(name.data())) throw std::runtime_error("mkdtemp failed");
  return name;
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void spill(const std::string& path, const std::string& content) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
  std::vector<char*> out;
  for (std::string& text : texts) out.push_back(text.data());
  out.push_back(nullptr);
  return out;
}

// Output of the child until it closes it or the time runs out.
std::string drain(int fd, double limitSeconds) {
  std::string out;
  auto t0 = Clock::now();
  char buffer[4096];
  for (;;) {
    int left = static_cast<int>((limitSeconds - secondsSince(t0)) * 1000);
    if (left <= 0) break;
    struct pollfd p = {fd, POLLIN, 0};
    if (poll(&p, 1, left) <= 0) continue;
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    out.append(buffer, static_cast<size_t>(n));
  }
  return out;
}

int waitExit(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int freePort() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  struct sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  close(fd);
  return port;
}

bool accepts(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  struct sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return ok;
}

}  // namespace

Sandbox::Sandbox(const std::string& namePattern) : m_root(makeTempDir(namePattern)) {
  for (const char* file : {paths::kLogFile, paths::kConfigFile, paths::kPidFile})
    fs::create_directories(fs::path(path(file)).parent_path());
}

Sandbox::~Sandbox() {
  sem_unlink((std::string(paths::kSemaphore) + "-" + md5Hex(m_root).substr(0, 12)).c_str());
  std::error_code ignored;
  fs::remove_all(m_root, ignored);
}

void Sandbox::write(const std::string& fixed, const std::string& content) const { spill(path(fixed), content); }
std::string Sandbox::read(const std::string& fixed) const { return slurp(path(fixed)); }
bool Sandbox::exists(const std::string& fixed) const { return fs::exists(path(fixed)); }

std::string CgiResponse::header(const std::string& name) const {
  std::istringstream lines(headers);
  std::string line;
  while (std::getline(lines, line))
    if (line.compare(0, name.size() + 2, name + ": ") == 0) return line.substr(name.size() + 2);
  return "";
}

CgiResponse runCgi(const Sandbox& sandbox, const std::string& query, const std::string& updateUrl) {
  std::vector<std::string> env = {"QUERY_STRING=" + query,           "REQUEST_METHOD=GET",
                                  "HTTP_COOKIE=bid=updatetest",      "TAVORC_ROOT=" + sandbox.root(),
                                  "TAVORC_UPDATE_URL=" + updateUrl, "PATH=/usr/bin:/bin"};
  std::vector<std::string> argv = {TAVORC_PATH};
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  CgiResponse response;
  auto t0 = Clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    int err = open(sandbox.path("/cgi-stderr").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    int in = open("/dev/null", O_RDONLY);
    dup2(in, 0);
    dup2(out[1], 1);
    if (err >= 0) dup2(err, 2);
    execve(TAVORC_PATH, pointers(argv).data(), pointers(env).data());
    _exit(127);
  }
  close(out[1]);
  std::string output = drain(out[0], 40);
  close(out[0]);
  if (secondsSince(t0) >= 40) kill(pid, SIGKILL);
  response.exitStatus = waitExit(pid);
  response.seconds = secondsSince(t0);
  size_t split = output.find("\n\n");
  if (split == std::string::npos) {
    response.headers = output;
  } else {
    response.headers = output.substr(0, split + 1);
    response.body = output.substr(split + 2);
  }
  return response;
}

int runTool(const std::vector<std::string>& argv, const std::string& folder) {
  std::vector<std::string> args = argv;
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    if (!folder.empty() && chdir(folder.c_str()) != 0) _exit(126);
    execvp(args[0].c_str(), pointers(args).data());
    _exit(127);
  }
  return waitExit(pid);
}

std::string makeZip(const std::vector<std::pair<std::string, std::string>>& files) {
  std::string dir = makeTempDir("update-zip-XXXXXX");
  std::vector<std::string> argv = {"zip", "-q", "-X", dir + "/out.zip"};
  for (const auto& file : files) {
    spill(dir + "/content/" + file.first, file.second);
    argv.push_back(file.first);
  }
  int status = runTool(argv, dir + "/content");
  std::string bytes = slurp(dir + "/out.zip");
  fs::remove_all(dir);
  if (status != 0 || bytes.empty()) throw std::runtime_error("zip failed");
  return bytes;
}

std::string sha1OfText(const std::string& text) {
  std::string dir = makeTempDir("update-sha1-XXXXXX");
  spill(dir + "/in", text);
  int status = runTool({"sh", "-c", "sha1sum < in > out"}, dir);
  std::string digest = slurp(dir + "/out").substr(0, 40);
  fs::remove_all(dir);
  if (status != 0 || digest.size() != 40) throw std::runtime_error("sha1sum failed");
  for (char& c : digest) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return digest;
}

UpdateServer::UpdateServer() : m_dir(makeTempDir("update-server-XXXXXX")) {
  fs::create_directories(m_dir + "/doc");
  for (int attempt = 0; attempt < 5; ++attempt)
    if (start()) return;
  throw std::runtime_error("lighttpd did not start");
}

// The access log goes through a pipe: lighttpd writes to a pipe at once,
// while a log file would be written only every few seconds. Without a stat
// cache a file a test replaces or removes is served as it now is.
bool UpdateServer::start() {
  m_port = freePort();
  std::ostringstream conf;
  conf << "server.document-root = \"" << m_dir << "/doc\"\n"
       << "server.bind = \"127.0.0.1\"\n"
       << "server.port = " << m_port << "\n"
       << "server.modules = (\"mod_accesslog\")\n"
       << "accesslog.filename = \"|/bin/cat >> " << shellQuote(m_dir + "/access.log") << "\"\n"
       << "accesslog.format = \"%r\"\n"
       << "server.errorlog = \"" << m_dir << "/error.log\"\n"
       << "mimetype.assign = (\"\" => \"application/octet-stream\")\n"
       << "server.stat-cache-engine = \"disable\"\n";  // files change between requests
  spill(m_dir + "/lighttpd.conf", conf.str());
  std::vector<std::string> argv = {"lighttpd", "-D", "-f", m_dir + "/lighttpd.conf"};
  m_pid = fork();
  if (m_pid == 0) {
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    execvp("lighttpd", pointers(argv).data());
    _exit(127);
  }
  auto t0 = Clock::now();
  while (secondsSince(t0) < 5) {
    if (accepts(m_port)) return true;
    if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) break;
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
  std::error_code ignored;
  fs::remove_all(m_dir, ignored);
}

std::string UpdateServer::url() const { return "http://127.0.0.1:" + std::to_string(m_port); }
void UpdateServer::put(const std::string& name, const std::string& content) const { spill(m_dir + "/doc/" + name, content); }
void UpdateServer::remove(const std::string& name) const { fs::remove(m_dir + "/doc/" + name); }

std::vector<std::string> UpdateServer::requests() {
  std::string probe = "/probe-" + std::to_string(++m_probes);
  runTool({"wget", "-q", "-t", "1", "-T", "5", "-O", "/dev/null", url() + probe});
  auto t0 = Clock::now();
  std::vector<std::string> lines;
  while (secondsSince(t0) < 5) {
    lines.clear();
    bool probeSeen = false;
    std::istringstream log(slurp(m_dir + "/access.log"));
    std::string line;
    while (std::getline(log, line)) {
      if (line.find(" /probe-") != std::string::npos) {
        probeSeen = probeSeen || line.find(probe + " ") != std::string::npos;
        continue;
      }
      lines.push_back(line);
    }
    if (probeSeen) return lines;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  throw std::runtime_error("the update server's log does not show the probe");
}

SilentServer::SilentServer() {
  m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  struct sockaddr_in address = {};
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

int unusedPort() { return freePort(); }

}  // namespace updatetest
