// The version check: the request sent to the update server and the reading
// of its reply.
#pragma once

#include <json/json.h>

#include <string>

// A reply larger than this is not a version document.
inline constexpr size_t kMaxVersionReply = 1 << 20;

// baseUrl + "/last_version.php?user_id=...&version=...&r_starts=...".
std::string versionCheckUrl(const std::string& baseUrl, const std::string& userId, int remainingStarts);

// The answer to the front end: the reply object with "currentVersionNumber"
// and "silentMode" set. False when the reply is not a JSON object with a
// non-null "versionNumber".
bool versionAnswer(const std::string& reply, bool silent, Json::Value& answer);
