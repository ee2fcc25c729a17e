#include "tests/system/cgiprocess.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>
#include <vector>

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

  signal(SIGPIPE, SIG_IGN);
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return {};
  if (discardOutput) {
    close(out[0]);
    out[0] = -1;
  }
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    std::vector<char*> argv = {const_cast<char*>("tavorc")};
    for (const std::string& argument : request.arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& variable : env) envp.push_back(const_cast<char*>(variable.c_str()));
    envp.push_back(nullptr);
    execve(tavorcBinary().c_str(), argv.data(), envp.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  if (!request.body.empty() && write(in[1], request.body.data(), request.body.size()) < 0) {
    // a program that reads no body may be gone already
  }
  CgiProcess process;
  process.pid = pid;
  process.input = in[1];
  process.output = out[0];
  if (!keepInputOpen) {
    close(in[1]);
    process.input = -1;
  }
  return process;
}

int CgiProcess::wait() {
  if (input >= 0) close(input);
  input = -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

CgiResponse CgiProcess::finish() {
  if (input >= 0) close(input);
  input = -1;
  std::string raw;
  char buffer[4096];
  ssize_t n;
  while (output >= 0 && (n = read(output, buffer, sizeof buffer)) > 0) raw.append(buffer, static_cast<size_t>(n));
  if (output >= 0) close(output);
  output = -1;
  int status = wait();
  CgiResponse response = parseCgi(raw);
  response.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return response;
}

int semaphoreValue(const Sandbox& sandbox) {
  sem_t* semaphore = sem_open(sandbox.semaphoreName().c_str(), 0);
  if (semaphore == SEM_FAILED) return -1;
  int value = -1;
  sem_getvalue(semaphore, &value);
  sem_close(semaphore);
  return value;
}

bool waitForPidFile(const Sandbox& sandbox, pid_t pid, int millis) {
  for (int waited = 0; waited < millis; waited += 10) {
    if (sandbox.read("/var/run/tavorc.pid") == std::to_string(pid)) return true;
    usleep(10000);
  }
  return false;
}

bool parsesAsJson(const std::string& text, Json::Value* into) {
  Json::Value value;
  Json::Reader reader;
  bool ok = reader.parse(text, value, false);
  if (into) *into = value;
  return ok;
}

Json::Value readJson(const Sandbox& sandbox, const std::string& fixed) {
  Json::Value value;
  if (!sandbox.exists(fixed) || !parsesAsJson(sandbox.read(fixed), &value)) return Json::Value();
  return value;
}

std::string withDatesMasked(const CgiResponse& response) {
  static const std::regex kDate(R"([A-Z][a-z]{2}, \d\d [A-Z][a-z]{2} \d{4} \d\d:\d\d:\d\d GMT)");
  std::string date = response.header("Date");
  EXPECT_TRUE(std::regex_match(date, kDate)) << "Date: " << date;
  EXPECT_EQ(date, response.header("Expires"));
  std::string raw = response.raw;
  std::string dateLine = "\nDate: " + date + "\nExpires: " + date + "\n";
  size_t at = raw.find(dateLine);
  EXPECT_NE(std::string::npos, at) << raw;
  if (at != std::string::npos) raw.replace(at, dateLine.size(), "\nDate: <date>\nExpires: <date>\n");
  return raw;
}
