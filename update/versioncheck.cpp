#include "update/versioncheck.h"

#include "core/jsonfile.h"
#include "core/utils.h"
#include "core/version.h"

std::string versionCheckUrl(const std::string& baseUrl, const std::string& userId, int remainingStarts) {
  char starts[34];
  intToString(remainingStarts, starts, 10);
  return baseUrl + "/last_version.php?user_id=" + userId + "&version=" + kProgramVersion + "&r_starts=" + starts;
}

bool versionAnswer(const std::string& reply, bool silent, Json::Value& answer) {
  Json::Value value;
  if (!parseJson(reply, value) || !value.isObject()) return false;
  if (!value.isMember("versionNumber") || value["versionNumber"].isNull()) return false;
  value["currentVersionNumber"] = kProgramVersion;
  value["silentMode"] = silent ? "true" : "false";
  answer = value;
  return true;
}
