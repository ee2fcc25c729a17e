#include "core/result.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "core/log.h"
#include "core/sysio.h"
#include "core/utils.h"

namespace {

const char kJsonType[] = "application/json; charset=utf8";

// Two digits of a clock or calendar field, which is below 100.
char* putTwoDigits(char* out, int value) {
  *out++ = static_cast<char>('0' + value / 10);
  *out++ = static_cast<char>('0' + value % 10);
  return out;
}

// "Tue, 08 Dec 2026 04:20:00 GMT"; the two formats differ only in the
// separators between day, month and year. Built by hand: a request formats
// it for every answer, and printf's machinery costs more than the rest.
std::string formatTime(time_t when, char dateSeparator) {
  struct tm parts = gmtParts(when);
  static const char kDays[][4] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char kMonths[][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char text[64];
  char* out = text;
  memcpy(out, kDays[parts.tm_wday], 3);
  out += 3;
  *out++ = ',';
  *out++ = ' ';
  out = putTwoDigits(out, parts.tm_mday);
  *out++ = dateSeparator;
  memcpy(out, kMonths[parts.tm_mon], 3);
  out += 3;
  *out++ = dateSeparator;
  char year[16];
  const char* digits = intToString(parts.tm_year + 1900, year, 10);
  size_t length = strlen(digits);
  memcpy(out, digits, length);
  out += length;
  *out++ = ' ';
  out = putTwoDigits(out, parts.tm_hour);
  *out++ = ':';
  out = putTwoDigits(out, parts.tm_min);
  *out++ = ':';
  out = putTwoDigits(out, parts.tm_sec);
  memcpy(out, " GMT", 4);
  return std::string(text, static_cast<size_t>(out + 4 - text));
}

}  // namespace

std::string httpDate(time_t when) { return formatTime(when, ' '); }
std::string cookieDate(time_t when) { return formatTime(when, '-'); }

std::string toJsonText(const Json::Value& value) {
  Json::FastWriter writer;
  return writer.write(value);
}

void ProcessResult::output() {
  std::string out = headerText();
  out += '\n';
  appendBody(out);
  if (!writeFully(STDOUT_FILENO, out.data(), out.size())) return;  // the client went away
  sendRest();
}

std::string ProcessResult::headerText() const {
  std::string date = httpDate(time(nullptr));
  std::string head = "Status: " + std::to_string(m_status) + "\nContent-Type: ";
  head.append(m_contentType).append("\nDate: ").append(date).append("\nExpires: ").append(date).append(1, '\n');
  for (const auto& header : m_headers) head.append(header.first).append(": ").append(header.second).append(1, '\n');
  return head;
}

void ProcessResult::setCookie(const std::string& name, const std::string& value, long lifetimeSeconds) {
  std::string expiry = cookieDate(time(nullptr) + lifetimeSeconds);
  addHeader("Set-Cookie", name + "=" + value + "; expires=" + expiry + "; path=/");
}

ProcessResultText::ProcessResultText(const std::string& text, const char* subType)
    : ProcessResult(("text/" + std::string(subType ? subType : "plain")).c_str()), m_text(text) {}

void ProcessResultText::appendBody(std::string& out) { out += m_text; }

ProcessResultError::ProcessResultError(const std::string& message) : ProcessResultText(message) { setStatus(500); }

ProcessResultJson::ProcessResultJson() : ProcessResult(kJsonType) {}

ProcessResultJson::ProcessResultJson(const Json::Value& value) : ProcessResult(kJsonType), m_value(value) {}

void ProcessResultJson::appendBody(std::string& out) { out += toJsonText(m_value); }

Json::Value& ProcessResultJson::object() {
  if (m_value.isNull()) m_value = Json::Value(Json::objectValue);
  return m_value;
}

void ProcessResultJson::set(const std::string& key, const std::string& value) { object()[key] = value; }
void ProcessResultJson::set(const std::string& key, bool value) { object()[key] = value; }
void ProcessResultJson::set(const std::string& key, const Json::Value& value) { object()[key] = value; }

void ProcessResultJson::set(const std::string& key, const std::list<std::map<std::string, std::string>>& rows) {
  Json::Value array(Json::arrayValue);
  for (const auto& row : rows) {
    Json::Value item(Json::objectValue);
    for (const auto& member : row) item[member.first] = member.second;
    array.append(item);
  }
  object()[key] = array;
}

ProcessResultJsonText::ProcessResultJsonText(std::string json) : ProcessResult(kJsonType), m_json(std::move(json)) {}

void ProcessResultJsonText::sendRest() { writeFully(STDOUT_FILENO, m_json.data(), m_json.size()); }

ProcessResultJsonFile* ProcessResultJsonFile::open(const std::string& path) {
  int fd = openRegularFile(path);
  if (fd < 0) return nullptr;
  if (regularFileSize(fd) > 0) return new ProcessResultJsonFile(fd);
  closeFile(fd);
  return nullptr;
}

ProcessResultJsonFile::ProcessResultJsonFile(int fd) : ProcessResult(kJsonType), m_fd(fd) {}

ProcessResultJsonFile::~ProcessResultJsonFile() { closeFile(m_fd); }

void ProcessResultJsonFile::sendRest() {
  if (!copyToEnd(m_fd, STDOUT_FILENO)) logError("answer file not sent: %s", errnoText(errno).c_str());
}

ProcessResult* makeOkResult(const std::string& message) {
  ProcessResultJson* result = new ProcessResultJson();
  result->set("message", message.empty() ? std::string("ok") : message);
  return result;
}

ProcessResult* makeErrorResult(const std::string& message) { return new ProcessResultError(message); }
