#include "tests/support/sandbox.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "core/paths.h"
#include "core/utils.h"
#include "tests/support/programs.h"

std::string tavorcBinary() { return TAVORC_BINARY_DIR "/tavorc"; }
std::string playersimBinary() { return TAVORC_BINARY_DIR "/playersim"; }
std::string orvexbdBinary() { return TAVORC_BINARY_DIR "/orvexbd"; }
std::string sourceDir() { return TAVORC_SOURCE_DIR; }

int CgiResponse::status() const { return statusLine.size() > 8 ? atoi(statusLine.c_str() + 8) : -1; }

std::string CgiResponse::header(const std::string& name) const {
  auto it = headers.find(name);
  return it == headers.end() ? "" : it->second;
}

CgiResponse parseCgi(const std::string& raw) {
  CgiResponse response;
  response.raw = raw;
  size_t at = 0;
  for (;;) {
    size_t end = raw.find('\n', at);
    if (end == std::string::npos) break;
    std::string line = raw.substr(at, end - at);
    at = end + 1;
    if (line.empty()) {
      response.body = raw.substr(at);
      break;
    }
    size_t colon = line.find(": ");
    if (colon == std::string::npos) continue;
    std::string name = line.substr(0, colon);
    if (name == "Status") response.statusLine = line;
    response.headers[name] = line.substr(colon + 2);
    response.headerNames.push_back(name);
  }
  return response;
}

Sandbox::Sandbox() {
  char pattern[] = "/tmp/tavorc-test-XXXXXX";
  if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
  m_root = pattern;
  for (const char* dir : {"/tmp/www/cgi-bin", "/tmp/www/rc/i18n", "/tmp/mnt/smb", "/tmp/mnt/nfs", "/var/run",
                          "/persistfs/orvex/etc", "/etc", "/sbin", "/bin", "/mnt/config"})
    mkdirs(dir);
  std::string standins = sourceDir() + "/tests/support/standins";
  for (const char* program : {"mount", "umount"})
    symlink((standins + "/" + program).c_str(), path(std::string("/bin/") + program).c_str());
  symlink((standins + "/blkid").c_str(), path(paths::kBlkid).c_str());
  installProgram(tavorcBinary(), path(paths::kSelfProgram));
  installProgram(tavorcBinary(), path("/tmp/www/cgi-bin/tavorc"));
  write(paths::kMtab, "");
}

Sandbox::~Sandbox() {
  sem_unlink(semaphoreName().c_str());
  if (!getenv("TAVORC_KEEP_SANDBOX")) shellOutput("rm -rf '" + m_root + "'");
}

std::string Sandbox::pathEnv() const { return m_root + "/bin:/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin"; }

void Sandbox::write(const std::string& fixed, const std::string& content) const {
  std::string full = path(fixed);
  mkdirs(fixed.substr(0, fixed.rfind('/')));
  std::ofstream file(full, std::ios::binary | std::ios::trunc);
  file << content;
}

std::string Sandbox::read(const std::string& fixed) const {
  std::ifstream file(path(fixed), std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

bool Sandbox::exists(const std::string& fixed) const { return access(path(fixed).c_str(), F_OK) == 0; }

void Sandbox::mkdirs(const std::string& fixed) const {
  std::string full = path(fixed);
  for (size_t at = m_root.size() + 1; at <= full.size(); ++at)
    if (at == full.size() || full[at] == '/') mkdir(full.substr(0, at).c_str(), 0775);
}

void Sandbox::installPlayerSimulator() const { installProgram(playersimBinary(), path(paths::kControlProgram)); }

std::string Sandbox::semaphoreName() const { return semaphoreNameFor(m_root); }

CgiProcess startCgi(const Sandbox& sandbox, const CgiRequest& request, bool keepInputOpen, bool discardOutput) {
  std::vector<std::string> env = {"TAVORC_ROOT=" + sandbox.root(), "PATH=" + sandbox.pathEnv(),
                                  "GATEWAY_INTERFACE=CGI/1.1"};
  if (request.setQuery) env.push_back("QUERY_STRING=" + request.query);
  if (!request.method.empty()) env.push_back("REQUEST_METHOD=" + request.method);
  if (!request.cookie.empty()) env.push_back("HTTP_COOKIE=" + request.cookie);
  if (request.contentLength == "auto" && request.method == "POST")
    env.push_back("CONTENT_LENGTH=" + std::to_string(request.body.size()));
  else if (request.contentLength != "auto" && !request.contentLength.empty())
    env.push_back("CONTENT_LENGTH=" + request.contentLength);
  env.insert(env.end(), request.environment.begin(), request.environment.end());
  // The sanitizer settings of the run (leak suppressions among them) hold for
  // the programs it starts too.
  for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"})
    if (const char* value = getenv(name)) env.push_back(std::string(name) + "=" + value);

  signal(SIGPIPE, SIG_IGN);  // a body the program does not read must not end the test
  ChildCommand command;
  command.argv = commandFor(request.program.empty() ? tavorcBinary() : request.program, request.arguments);
  command.environment = env;
  command.streams.input = Redirect::pipe();
  command.streams.output = Redirect::pipe();
  CgiProcess process;
  static_cast<Child&>(process) = startChild(command);
  if (discardOutput) {
    close(process.output);
    process.output = -1;
  }
  // A program that reads no body may be gone already: the write then fails.
  if (!request.body.empty()) process.write(request.body);
  if (!keepInputOpen) process.closeInput();
  return process;
}

int CgiProcess::wait() {
  closeInput();
  return Child::wait();
}

CgiResponse CgiProcess::finish() {
  closeInput();
  std::string raw = readOutput();
  int status = wait();
  CgiResponse response = parseCgi(raw);
  response.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return response;
}

CgiResponse Sandbox::run(const CgiRequest& request) const { return startCgi(*this, request).finish(); }

CgiResponse Sandbox::get(const std::string& query, const std::string& cookie) const {
  CgiRequest request;
  request.query = query;
  request.cookie = cookie;
  return run(request);
}

void expectAnswer(const CgiResponse& response, int status, const std::string& type, const std::string& body) {
  EXPECT_EQ(0, response.exitStatus);
  EXPECT_EQ("Status: " + std::to_string(status), response.statusLine);
  EXPECT_EQ((std::vector<std::string>{"Status", "Content-Type", "Date", "Expires"}), response.headerNames);
  EXPECT_EQ(type, response.header("Content-Type"));
  EXPECT_EQ(response.header("Date"), response.header("Expires"));
  EXPECT_EQ(body, response.body);
}

void expectJson(const CgiResponse& response, const std::string& body) {
  expectAnswer(response, 200, "application/json; charset=utf8", body);
}

void expectError(const CgiResponse& response, const std::string& message) {
  expectAnswer(response, 500, "text/plain", message);
}

std::string shellOutput(const std::string& command, int* status) {
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return "";
  std::string out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  int rc = pclose(pipe);
  if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}
