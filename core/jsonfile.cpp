#include "core/jsonfile.h"

#include <sstream>

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

std::string styledJsonText(const Json::Value& document) {
  std::ostringstream text;
  Json::StyledStreamWriter writer("\t");
  writer.write(text, document);
  return text.str();
}

bool writeJsonFile(const std::string& path, const Json::Value& document) {
  return writeFileAtomic(path, styledJsonText(document));
}
