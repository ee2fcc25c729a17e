// The guard against foreign pages. A browser marks what a page makes it send:
// Sec-Fetch-Site, Origin, Referer, and the Host it believes it talks to. The
// box's own page is always served by the box itself, so its requests are
// same-origin; a request that a browser marks as sent for another site or
// origin, or sent to a host name that is not the box's (a page that rebinds its
// own name to the box's address), is refused before anything runs.
// Browsers send Sec-Fetch-Site only to https and loopback addresses, and a
// page may suppress the Referer of a plain GET: a request to the box at its
// home-network address over http can come without any of these marks. So a
// browser's request (its User-Agent begins "Mozilla/") must show where it
// comes from: a same-origin Sec-Fetch-Site, an Origin or Referer of the box's
// own, or X-Requested-With, which the box's page sends and a foreign page
// cannot (a browser sends such a header elsewhere only when the box allows it
// after asking, which it never does). A request without these headers that is
// no browser's (scripts, curl, the history poller) passes.
#pragma once

#include <functional>
#include <string>

// The answer to a refused request, with status 403.
inline constexpr const char* kCrossSiteRefused = "cross-site request refused";
inline constexpr int kCrossSiteStatus = 403;

struct OriginHeaders {
  const char* host = nullptr;       // HTTP_HOST: "name" or "name:port", "[v6]:port"
  const char* origin = nullptr;     // HTTP_ORIGIN
  const char* referer = nullptr;    // HTTP_REFERER
  const char* fetchSite = nullptr;  // HTTP_SEC_FETCH_SITE
  const char* userAgent = nullptr;  // HTTP_USER_AGENT
  const char* fromPage = nullptr;   // HTTP_X_REQUESTED_WITH: the box's page sends it
  bool https = false;               // HTTPS is "on": the Host's port defaults to 443

  static OriginHeaders fromEnvironment();
};

// Why the request is refused, or null when it passes. allowedHosts gives the
// owner's further host names (the "allowed_hosts" option); it is asked only
// for a name that is none of those the box always answers to: an IP address,
// "localhost", a name without a dot, or one ending in ".local", ".lan",
// ".home", ".internal" or ".home.arpa".
const char* foreignRequestReason(const OriginHeaders& headers, const std::function<std::string()>& allowedHosts);

// The "allowed_hosts" option as stored in the configuration file (read without
// the request's turn, so that a refused request waits for nobody); empty when
// it is missing or unacceptable.
std::string storedAllowedHosts();
