#include "core/originguard.h"

#include <arpa/inet.h>
#include <strings.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "core/jsonfile.h"
#include "core/optionrules.h"
#include "core/paths.h"

namespace {

// The suffixes of names that home networks give their own devices.
const char* const kHomeSuffixes[] = {".local", ".lan", ".home", ".internal", ".home.arpa"};

// A host and its port, as given or by default.
struct Authority {
  std::string name;  // lower case, without a final "."; an IPv6 address without brackets
  std::string port;
  bool ipv6 = false;
};

bool isDigits(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text)
    if (!isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

// "name", "name:port", "[v6]" or "[v6]:port"; false for anything else.
bool parseAuthority(std::string text, const char* defaultPort, Authority& out) {
  std::string port;
  if (!text.empty() && text[0] == '[') {
    size_t close = text.find(']');
    if (close == std::string::npos) return false;
    std::string rest = text.substr(close + 1);
    if (!rest.empty() && (rest[0] != ':' || !isDigits(port = rest.substr(1)))) return false;
    text = text.substr(1, close - 1);
    out.ipv6 = true;
  } else {
    size_t colon = text.find(':');
    if (colon != std::string::npos) {
      if (!isDigits(port = text.substr(colon + 1))) return false;
      text.resize(colon);
    }
    if (!text.empty() && text.back() == '.') text.pop_back();
    for (char c : text)
      if (!isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.' && c != '_') return false;
  }
  if (text.empty()) return false;
  for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  out.name = text;
  out.port = port.empty() ? defaultPort : port;
  return true;
}

// The origin of a URL: "scheme://authority" and whatever follows it.
bool parseUrlOrigin(const char* url, Authority& out) {
  const char* separator = strstr(url, "://");
  if (!separator) return false;
  std::string scheme(url, separator);
  const char* defaultPort = strcasecmp(scheme.c_str(), "https") == 0  ? "443"
                            : strcasecmp(scheme.c_str(), "http") == 0 ? "80"
                                                                      : nullptr;
  if (!defaultPort) return false;
  const char* start = separator + 3;
  std::string authority(start, start + strcspn(start, "/?#"));
  size_t at = authority.rfind('@');
  if (at != std::string::npos) authority.erase(0, at + 1);
  return parseAuthority(authority, defaultPort, out);
}

bool endsWith(const std::string& text, const char* suffix) {
  size_t length = strlen(suffix);
  return text.size() > length && text.compare(text.size() - length, length, suffix) == 0;
}

bool isBoxName(const Authority& host, const std::function<std::string()>& allowedHosts) {
  unsigned char address[16];
  if (inet_pton(host.ipv6 ? AF_INET6 : AF_INET, host.name.c_str(), address) == 1) return true;
  if (host.ipv6) return false;
  if (host.name == "localhost" || host.name.find('.') == std::string::npos) return true;
  for (const char* suffix : kHomeSuffixes)
    if (endsWith(host.name, suffix)) return true;
  return isListedHost(allowedHosts(), host.name);
}

bool sameAuthority(const Authority& a, const Authority& b) { return a.name == b.name && a.port == b.port; }

}  // namespace

OriginHeaders OriginHeaders::fromEnvironment() {
  OriginHeaders headers;
  headers.host = getenv("HTTP_HOST");
  headers.origin = getenv("HTTP_ORIGIN");
  headers.referer = getenv("HTTP_REFERER");
  headers.fetchSite = getenv("HTTP_SEC_FETCH_SITE");
  headers.userAgent = getenv("HTTP_USER_AGENT");
  headers.fromPage = getenv("HTTP_X_REQUESTED_WITH");
  const char* https = getenv("HTTPS");
  headers.https = https && strcasecmp(https, "on") == 0;
  return headers;
}

// The box's page is same-origin; "none" is a request the person made (an
// address typed or a bookmark). "same-site" is refused too: another port of
// the same address, or another device of a domain that the router shares
// among its devices, is still a foreign page.
const char* foreignRequestReason(const OriginHeaders& headers, const std::function<std::string()>& allowedHosts) {
  if (headers.fetchSite && strcmp(headers.fetchSite, "same-origin") != 0 && strcmp(headers.fetchSite, "none") != 0)
    return "sent for another site";
  Authority host;
  bool hasHost = headers.host && *headers.host;
  if (hasHost && (!parseAuthority(headers.host, headers.https ? "443" : "80", host) || !isBoxName(host, allowedHosts)))
    return "host name not the box's";
  // A page's requests name it by Origin, or without one (a plain GET) by Referer.
  const char* page = headers.origin ? headers.origin : headers.referer;
  if (page && *page) {
    Authority from;
    if (!hasHost || !parseUrlOrigin(page, from) || !sameAuthority(from, host))
      return headers.origin ? "Origin of another page" : "Referer of another page";
    return nullptr;
  }
  if (headers.fetchSite || (headers.fromPage && *headers.fromPage)) return nullptr;
  if (headers.userAgent && strncmp(headers.userAgent, "Mozilla/", 8) == 0)
    return "a browser's request of no page of the box";
  return nullptr;
}

std::string storedAllowedHosts() {
  Json::Value document;
  if (!readJsonFile(rooted(paths::kConfigFile), document) || !document.isObject()) return "";
  Json::Value options = document.get("options", Json::Value());
  if (!options.isObject()) return "";
  std::string hosts = stringMember(options.get("common", Json::Value()), "allowed_hosts");
  return isAcceptableOptionValue("allowed_hosts", hosts) ? hosts : "";
}
