// The update server: where it is, how files are fetched from it, and the key
// its packages must be signed with.
#pragma once

#include <cstddef>
#include <string>

// UPDATE_BASE_URL ("http://" and the host), or TAVORC_UPDATE_URL when that is
// set and not empty.
std::string updateBaseUrl();

// The maker's public key (the base64 line of a minisign public key file):
// UPDATE_PUBLIC_KEY as built, or in a sandbox root TAVORC_UPDATE_PUBKEY when
// that is set and not empty. Empty when the build has none: then no package
// is accepted.
std::string updatePublicKey();

// How long a download may take and how large it may grow. wget gives up on a
// connection that stays silent for idleSeconds and tries at most `tries`
// times; whatever is still running after totalSeconds is killed, and so is
// a wget whose file would grow beyond maxBytes (rounded up to 512 bytes).
struct DownloadLimits {
  int idleSeconds;
  int tries;
  int totalSeconds;
  size_t maxBytes;
};

// Fetches url into file with wget; the URL reaches wget as one word, exactly
// as given. wget creates or truncates the file even when the
// download fails; the caller judges the file, not the exit status.
void download(const std::string& url, const std::string& file, const DownloadLimits& limits);
