// The remote-control keys the front end may press by name: the player
// client's own keys, and keys the owner adds with the code of a key of their
// remote, kept in the configuration as "remote_keys" (name -> code).
#pragma once

#include <json/json.h>

#include <string>

struct RemoteKey {
  const char* name;
  const char* code;
};

// The built-in names, in the order the front end shows them.
extern const RemoteKey kBuiltInKeys[];
extern const size_t kBuiltInKeyCount;

// Eight upper-case hexadecimal digits, the first byte the complement of the
// second, ending "BF00".
bool isValidKeyCode(const std::string& code);

// A built-in name, in any case.
bool isBuiltInKeyName(const std::string& name);
// A name the owner may give a key: UTF-8, not empty, at most kMaxKeyName
// bytes, no control characters, and not built in.
bool isValidOwnerKeyName(const std::string& name);
inline constexpr size_t kMaxKeyName = 40;

// The owner's keys in the configuration root (made an object when not one).
Json::Value& ownerKeys(Json::Value& root);
// Forgets one; the document is left as it is when there is no such key.
void removeOwnerKey(Json::Value& root, const std::string& name);

// The code pressed for name, built-in names first; empty when it has none.
std::string keyCodeOf(const Json::Value& root, const std::string& name);

// [{"code","name","owner"}...]: the built-in keys, then the owner's by name.
// Stored entries whose code is not valid are left out.
Json::Value usableKeys(const Json::Value& root);
