// One CGI request: query parameters, POST parameters and cookies.
#pragma once

#include <list>
#include <map>
#include <string>

class Request {
 public:
  // Both may be null. Reads HTTP_COOKIE, and for a POST request the body
  // (readBody with the standard time limit).
  Request(const char* queryString, const char* requestMethod);
  // With the body already read by readBody (parsed only for a POST request).
  Request(const char* queryString, const char* requestMethod, const std::string& body);

  const std::string& get(const std::string& name) const;
  bool has(const std::string& name) const;
  int getInt(const std::string& name) const;
  const std::string& cookie(const std::string& name) const;
  const std::string& post(const std::string& name) const;
  std::list<std::string> postNames() const;
  const char* queryString() const { return m_queryString; }

  // Longest name and value taken whole; longer ones are cut to these lengths.
  static constexpr size_t kMaxName = 127;
  static constexpr size_t kMaxValue = 511;
  // Largest POST body read; a longer CONTENT_LENGTH reads only this much.
  static constexpr long kMaxBody = 65536;
  // A body that has not arrived after this long counts as no body.
  static constexpr int kBodyTimeLimitSeconds = 5;

  // The first line of a POST body from standard input (its line feed kept):
  // at most CONTENT_LENGTH bytes and kMaxBody. Empty for another method, a
  // missing, negative or malformed CONTENT_LENGTH, or a body that is not all
  // there within the time limit.
  static std::string readBody(const char* requestMethod, long timeLimitMillis);

  using Params = std::map<std::string, std::string>;

  // The parsers, also used by the tests.
  static void parseParameters(const std::string& text, Params& into);
  static void parseCookies(const std::string& text, Params& into);
  // "+" is a blank and "%xx" a byte; the text ends at a decoded zero byte.
  static std::string decode(const std::string& text);

 private:
  const char* m_queryString;
  Params m_query;
  Params m_post;
  Params m_cookies;
};
