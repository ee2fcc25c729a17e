#include "playback/remotekeys.h"

#include <strings.h>

#include "playback/tavo.h"

const RemoteKey kBuiltInKeys[] = {
    {"up", IR_UP},       {"down", IR_DOWN},       {"left", IR_LEFT},           {"right", IR_RIGHT},
    {"enter", IR_ENTER}, {"page_up", IR_PAGE_UP}, {"page_down", IR_PAGE_DOWN}, {"power", IR_POWER},
    {"panel", IR_PANEL}, {"shuffle", IR_SHUFFLE},
};
const size_t kBuiltInKeyCount = sizeof kBuiltInKeys / sizeof kBuiltInKeys[0];

namespace {

const char kOwnerKeysMember[] = "remote_keys";
const size_t kCodeLength = 8;

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The name is stored in the JSON configuration, whose writer would replace
// a byte that is no UTF-8 with another character: the key would then be
// stored under a name it is never asked by.
bool isUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    unsigned char c = text[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t more = c >= 0xC2 && c <= 0xDF ? 1 : c >= 0xE0 && c <= 0xEF ? 2 : c >= 0xF0 && c <= 0xF4 ? 3 : 0;
    if (more == 0 || i + more >= text.size()) return false;
    // The second byte also rules out overlong forms, surrogates and code points past U+10FFFF.
    unsigned char second = text[i + 1];
    unsigned char low = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
    unsigned char high = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
    if (second < low || second > high) return false;
    for (size_t k = 2; k <= more; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    i += more + 1;
  }
  return true;
}

const char* builtInCode(const std::string& name) {
  for (size_t i = 0; i < kBuiltInKeyCount; ++i)
    if (name == kBuiltInKeys[i].name) return kBuiltInKeys[i].code;
  return nullptr;
}

Json::Value keyEntry(const std::string& name, const std::string& code, bool owner) {
  Json::Value entry(Json::objectValue);
  entry["name"] = name;
  entry["code"] = code;
  entry["owner"] = owner;
  return entry;
}

}  // namespace

bool isValidKeyCode(const std::string& code) {
  if (code.size() != kCodeLength || code.compare(4, 4, "BF00") != 0) return false;
  for (char c : code)
    if (hexDigit(c) < 0) return false;
  int first = hexDigit(code[0]) * 16 + hexDigit(code[1]);
  int second = hexDigit(code[2]) * 16 + hexDigit(code[3]);
  return first == (~second & 0xFF);
}

bool isBuiltInKeyName(const std::string& name) {
  for (size_t i = 0; i < kBuiltInKeyCount; ++i)
    if (strcasecmp(name.c_str(), kBuiltInKeys[i].name) == 0) return true;
  return false;
}

bool isValidOwnerKeyName(const std::string& name) {
  if (name.empty() || name.size() > kMaxKeyName || isBuiltInKeyName(name)) return false;
  for (unsigned char c : name)
    if (c < 0x20 || c == 0x7F) return false;
  return isUtf8(name);
}

Json::Value& ownerKeys(Json::Value& root) {
  Json::Value& keys = root[kOwnerKeysMember];
  if (!keys.isObject()) keys = Json::Value(Json::objectValue);
  return keys;
}

void removeOwnerKey(Json::Value& root, const std::string& name) {
  if (!root.isMember(kOwnerKeysMember)) return;
  Json::Value& keys = root[kOwnerKeysMember];
  if (keys.isObject()) keys.removeMember(name);
}

std::string keyCodeOf(const Json::Value& root, const std::string& name) {
  if (const char* code = builtInCode(name)) return code;
  const Json::Value& owner = root[kOwnerKeysMember];
  const Json::Value* stored = owner.isObject() ? owner.find(name.data(), name.data() + name.size()) : nullptr;
  if (!stored || !stored->isString() || !isValidKeyCode(stored->asString())) return "";
  return stored->asString();
}

Json::Value usableKeys(const Json::Value& root) {
  Json::Value keys(Json::arrayValue);
  for (size_t i = 0; i < kBuiltInKeyCount; ++i)
    keys.append(keyEntry(kBuiltInKeys[i].name, kBuiltInKeys[i].code, false));
  const Json::Value& owner = root[kOwnerKeysMember];
  if (!owner.isObject()) return keys;
  for (const std::string& name : owner.getMemberNames()) {
    const Json::Value& code = owner[name];
    if (code.isString() && isValidKeyCode(code.asString()) && isValidOwnerKeyName(name))
      keys.append(keyEntry(name, code.asString(), true));
  }
  return keys;
}
