#include "update/updateserver.h"

#include <cstdlib>

#include "core/log.h"
#include "core/paths.h"
#include "update/boundedrun.h"

std::string updateBaseUrl() {
  const char* override = std::getenv("TAVORC_UPDATE_URL");
  if (override && *override) return override;
  return UPDATE_BASE_URL;
}

std::string updatePublicKey() {
  const char* override = sandboxRoot().empty() ? nullptr : std::getenv("TAVORC_UPDATE_PUBKEY");
  if (override && *override) return override;
  return UPDATE_PUBLIC_KEY;
}

void download(const std::string& url, const std::string& file, const DownloadLimits& limits) {
  ProgramResult result = runWithinFileSize(
      {"wget", "-q", "-T", std::to_string(limits.idleSeconds), "-t", std::to_string(limits.tries), "-O", file, url},
      limits.maxBytes, "", limits.totalSeconds);
  if (result.timedOut) logError("download of %s stopped after %d seconds", url.c_str(), limits.totalSeconds);
}
