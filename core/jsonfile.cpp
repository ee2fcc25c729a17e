#include "core/jsonfile.h"

#include <cstring>

#include "core/sysio.h"

bool parseJson(const std::string& text, Json::Value& into) {
  try {
    Json::Reader reader;
    return reader.parse(text, into, false);
  } catch (const std::exception&) {
    return false;
  }
}

bool readJsonFile(const std::string& path, Json::Value& into) {
  std::string text;
  return readFile(path, text) && parseJson(text, into);
}

bool writeJsonFile(const std::string& path, const Json::Value& document) {
  return writeFileAtomic(path, styledJsonText(document));
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
