// The update server: where it is and how files are fetched from it.
#pragma once

#include <string>

// UPDATE_BASE_URL ("http://" and the host), or TAVORC_UPDATE_URL when that is
// set and not empty.
std::string updateBaseUrl();

// How long a download may take. wget gives up on a connection that stays
// silent for idleSeconds and tries at most `tries` times; whatever is still
// running after totalSeconds is killed.
struct DownloadLimits {
  int idleSeconds;
  int tries;
  int totalSeconds;
};

// Fetches url into file with wget, run without a shell so that the URL goes
// out exactly as given. wget creates or truncates the file even when the
// download fails; the caller judges the file, not the exit status.
void download(const std::string& url, const std::string& file, const DownloadLimits& limits);
