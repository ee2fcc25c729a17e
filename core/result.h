// What a command answers: one complete CGI response (headers, blank line, body).
#pragma once

#include <json/json.h>

#include <exception>
#include <list>
#include <map>
#include <string>
#include <utility>
#include <vector>

// Ends a request with an error answer carrying the message.
class AppException : public std::exception {
 public:
  explicit AppException(const char* message) : m_message(message) {}
  explicit AppException(std::string message) : m_message(std::move(message)) {}
  const char* what() const noexcept override { return m_message.c_str(); }

 private:
  std::string m_message;
};

class ProcessResult {
 public:
  explicit ProcessResult(const char* contentType) : m_contentType(contentType) {}
  virtual ~ProcessResult() = default;

  // Headers, the empty line, the body, on standard output, in one write
  // where the body is in memory.
  void output();
  std::string headerText() const;
  virtual void appendBody(std::string& out) = 0;
  // What follows the text, written after it; the default writes nothing.
  virtual void sendRest() {}

  void setStatus(int status) { m_status = status; }
  int status() const { return m_status; }
  void addHeader(const std::string& name, const std::string& value) { m_headers.emplace_back(name, value); }
  const std::vector<std::pair<std::string, std::string>>& headers() const { return m_headers; }
  void setCookie(const std::string& name, const std::string& value, long lifetimeSeconds);

 protected:
  std::string m_contentType;
  int m_status = 200;
  std::vector<std::pair<std::string, std::string>> m_headers;
};

class ProcessResultText : public ProcessResult {
 public:
  explicit ProcessResultText(const std::string& text, const char* subType = nullptr);
  void appendBody(std::string& out) override;
  void append(const std::string& text) { m_text += text; }
  const std::string& text() const { return m_text; }

 private:
  std::string m_text;
};

class ProcessResultError : public ProcessResultText {
 public:
  explicit ProcessResultError(const std::string& message);
  explicit ProcessResultError(const char* message) : ProcessResultError(std::string(message)) {}
};

class ProcessResultJson : public ProcessResult {
 public:
  ProcessResultJson();
  explicit ProcessResultJson(const Json::Value& value);
  void appendBody(std::string& out) override;

  void set(const std::string& key, const std::string& value);
  void set(const std::string& key, const char* value) { set(key, std::string(value)); }
  void set(const std::string& key, bool value);
  void set(const std::string& key, const Json::Value& value);
  void set(const std::string& key, const std::list<std::map<std::string, std::string>>& rows);
  const Json::Value& value() const { return m_value; }

 private:
  Json::Value& object();
  Json::Value m_value;
};

class ProcessResultJsonText : public ProcessResult {
 public:
  explicit ProcessResultJsonText(std::string json);
  // The text is written where it lies: a listing of thousands of files is
  // not copied behind the header first.
  void appendBody(std::string&) override {}
  void sendRest() override;

 private:
  std::string m_json;
};

// A JSON answer kept in a file, copied to standard output as it is, without
// passing through the program's memory.
class ProcessResultJsonFile : public ProcessResult {
 public:
  // The answer in the file, or none when it cannot be opened or is empty.
  static ProcessResultJsonFile* open(const std::string& path);
  ~ProcessResultJsonFile() override;
  ProcessResultJsonFile(const ProcessResultJsonFile&) = delete;
  ProcessResultJsonFile& operator=(const ProcessResultJsonFile&) = delete;
  void appendBody(std::string&) override {}
  void sendRest() override;

 private:
  explicit ProcessResultJsonFile(int fd);
  int m_fd;
};

ProcessResult* makeOkResult(const std::string& message);
ProcessResult* makeErrorResult(const std::string& message);

// Compact one-line JSON with its final line feed, as every answer writes it.
std::string toJsonText(const Json::Value& value);

// Time in the two formats of the protocol.
std::string httpDate(time_t when);    // "Tue, 08 Dec 2026 04:20:00 GMT"
std::string cookieDate(time_t when);  // "Tue, 08-Dec-2026 04:20:00 GMT"
