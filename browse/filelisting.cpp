#include "browse/filelisting.h"

#include <json/writer.h>

namespace {

// Members in the writer's order (sorted by name).
void appendEntry(std::string& out, const FileEntry& entry) {
  out += '{';
  if (!entry.cover.empty()) out += "\"cover\":" + Json::valueToQuotedString(entry.cover.c_str()) + ',';
  out += "\"name\":" + Json::valueToQuotedString(entry.name.c_str());
  if (!entry.path.empty()) out += ",\"path\":" + Json::valueToQuotedString(entry.path.c_str());
  if (!entry.playPath.empty()) out += ",\"play_path\":" + Json::valueToQuotedString(entry.playPath.c_str());
  out += '}';
}

}  // namespace

std::string fileListJson(const std::string& currDirPlayPath, const std::vector<FileEntry>& entries) {
  std::string out = "{\"currDirPlayPath\":" + Json::valueToQuotedString(currDirPlayPath.c_str()) + ",\"files\":[";
  out.reserve(out.size() + entries.size() * 128);
  for (size_t i = 0; i < entries.size(); ++i) {
    if (i) out += ',';
    appendEntry(out, entries[i]);
  }
  out += "]}\n";
  return out;
}
