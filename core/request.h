// One CGI request: query parameters, POST parameters and cookies.
#pragma once

#include <list>
#include <map>
#include <string>

class Request {
 public:
  // Both may be null. Reads HTTP_COOKIE, and CONTENT_LENGTH with standard input
  // for a POST request.
  Request(const char* queryString, const char* requestMethod);

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

  using Params = std::map<std::string, std::string>;

  // The parsers, also used by the tests.
  static void parseParameters(const std::string& text, Params& into);
  static void parseCookies(const std::string& text, Params& into);
  // "+" is a blank and "%xx" a byte; the text ends at a decoded zero byte.
  static std::string decode(const std::string& text);

 private:
  void readBody();

  const char* m_queryString;
  Params m_query;
  Params m_post;
  Params m_cookies;
};
