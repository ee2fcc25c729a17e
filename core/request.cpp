#include "core/request.h"

#include <strings.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/sysio.h"
#include "core/utils.h"

namespace {

const std::string kEmpty;

void append(std::string& buffer, char c, size_t limit) {
  if (buffer.size() < limit) buffer += c;
}

// The two-state pass shared by parameters and cookies: name until "=", value
// until the separator. Names and values are cut at the parser's buffer sizes.
template <typename Insert>
void scanPairs(const std::string& text, char separator, bool skipAfterSeparator, Insert insert) {
  std::string name, value;
  bool inValue = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (!inValue) {
      if (c == '=')
        inValue = true;
      else
        append(name, c, Request::kMaxName);
    } else if (c == separator) {
      insert(name, value);
      name.clear();
      value.clear();
      inValue = false;
      // Browsers write "; " between cookies, so the character after each ";"
      // is dropped unseen, whatever it is; the front end relies on this.
      if (skipAfterSeparator && i + 1 < text.size()) ++i;
    } else {
      append(value, c, Request::kMaxValue);
    }
  }
  if (!name.empty()) insert(name, value);
}

bool isPost(const char* requestMethod) { return requestMethod && strcasecmp(requestMethod, "POST") == 0; }

}  // namespace

Request::Request(const char* queryString, const char* requestMethod)
    : Request(queryString, requestMethod, readBody(requestMethod, kBodyTimeLimitSeconds * 1000L)) {}

Request::Request(const char* queryString, const char* requestMethod, const std::string& body)
    : m_queryString(queryString) {
  parseParameters(queryString ? queryString : "", m_query);
  if (const char* cookies = getenv("HTTP_COOKIE")) parseCookies(cookies, m_cookies);
  if (isPost(requestMethod)) parseParameters(body, m_post);
}

std::string Request::decode(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '+') {
      c = ' ';
    } else if (c == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
      c = static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
      i += 2;
    }
    if (c == '\0') break;
    out += c;
  }
  return out;
}

void Request::parseParameters(const std::string& text, Params& into) {
  scanPairs(text, '&', false, [&into](const std::string& name, const std::string& value) {
    std::string decodedName = decode(name);
    into.emplace(decodedName, decode(value));
  });
}

void Request::parseCookies(const std::string& text, Params& into) {
  scanPairs(text, ';', true, [&into](const std::string& name, const std::string& value) { into.emplace(name, value); });
}

std::string Request::readBody(const char* requestMethod, long timeLimitMillis) {
  const char* lengthText = getenv("CONTENT_LENGTH");
  long length;
  if (!isPost(requestMethod) || !lengthText || sscanf(lengthText, "%ld", &length) != 1 || length <= 0) return "";
  if (length > kMaxBody) length = kMaxBody;
  std::string text;
  if (!readWithin(STDIN_FILENO, text, static_cast<size_t>(length), true, timeLimitMillis)) return "";
  // One line, as a C string: it ends after the first line feed or before a zero byte.
  size_t end = text.find('\n');
  if (end != std::string::npos) text.resize(end + 1);
  text.resize(strnlen(text.c_str(), text.size()));
  return text;
}

const std::string& Request::get(const std::string& name) const {
  auto it = m_query.find(name);
  return it == m_query.end() ? kEmpty : it->second;
}

bool Request::has(const std::string& name) const { return m_query.count(name) != 0; }

int Request::getInt(const std::string& name) const {
  auto it = m_query.find(name);
  return it == m_query.end() ? 0 : atoi(it->second.c_str());
}

const std::string& Request::cookie(const std::string& name) const {
  auto it = m_cookies.find(name);
  return it == m_cookies.end() ? kEmpty : it->second;
}

const std::string& Request::post(const std::string& name) const {
  auto it = m_post.find(name);
  return it == m_post.end() ? kEmpty : it->second;
}

std::list<std::string> Request::postNames() const {
  std::list<std::string> names;
  for (const auto& pair : m_post) names.push_back(pair.first);
  return names;
}
