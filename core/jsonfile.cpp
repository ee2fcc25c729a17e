#include "core/jsonfile.h"

#include <cstring>
#include <vector>

#include "core/sysio.h"

// The styled writer cuts a member name at a zero byte, so such a member would
// come back under the shorter name and could then replace the member of that
// name ("options" by "options\u0000x") at the next load. It is dropped at once.
static void dropNamesWithZeroByte(Json::Value& value) {
  if (value.isArray()) {
    for (Json::Value& item : value) dropNamesWithZeroByte(item);
    return;
  }
  if (!value.isObject()) return;
  // Only the iterator and the range form of removeMember take names whole.
  std::vector<std::string> cut;
  for (Json::Value::iterator it = value.begin(); it != value.end(); ++it) {
    const char* end = nullptr;
    const char* name = it.memberName(&end);
    if (memchr(name, 0, static_cast<size_t>(end - name)))
      cut.emplace_back(name, end);
    else
      dropNamesWithZeroByte(*it);
  }
  for (const std::string& name : cut) value.removeMember(name.data(), name.data() + name.size(), nullptr);
}

bool parseJson(const std::string& text, Json::Value& into) {
  try {
    Json::Reader reader;
    if (!reader.parse(text, into, false)) return false;
  } catch (const std::exception&) {
    return false;
  }
  dropNamesWithZeroByte(into);
  return true;
}

bool readJsonFile(const std::string& path, Json::Value& into) {
  std::string text;
  return readFile(path, text) && parseJson(text, into);
}

static const Json::Value* member(const Json::Value& object, const char* name) {
  return object.isObject() ? object.find(name, name + strlen(name)) : nullptr;
}

std::string stringMember(const Json::Value& object, const char* name, const std::string& fallback) {
  const Json::Value* value = member(object, name);
  return value && value->isString() ? value->asString() : fallback;
}

int intMember(const Json::Value& object, const char* name, int fallback) {
  const Json::Value* value = member(object, name);
  return value && value->isInt() ? value->asInt() : fallback;
}
