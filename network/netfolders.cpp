#include "network/netfolders.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>

#include "core/paths.h"
#include "core/sysio.h"

namespace {

struct FolderRecord {
  std::string name, type, server, directory, user, password, protocol;
};

// Fields by the beginning of the line, tested in this order.
struct FolderField {
  const char* prefix;
  size_t length;
  std::string FolderRecord::*field;
};
const FolderField kFolderFields[] = {
    {"name", 4, &FolderRecord::name},         {"type", 4, &FolderRecord::type},
    {"server", 6, &FolderRecord::server},     {"directory", 9, &FolderRecord::directory},
    {"user", 4, &FolderRecord::user},         {"password", 8, &FolderRecord::password},
    {"protocol", 8, &FolderRecord::protocol},
};

constexpr size_t kMaxFolderLine = 1023;
constexpr size_t kMaxIndexText = 7;
constexpr size_t kMaxFoldersFile = 1 << 20;

const FolderField* folderField(const std::string& line) {
  for (const FolderField& field : kFolderFields)
    if (line.compare(0, field.length, field.prefix) == 0) return &field;
  return nullptr;
}

// "name.2 = My Movies": index 2, value "My Movies" (everything after the
// second space). Lines that do not fit are skipped.
void parseFolderLine(const std::string& line, std::map<int, FolderRecord>& records) {
  size_t dot = line.find('.');
  if (dot == std::string::npos) return;
  size_t indexEnd = line.find(' ', dot + 1);
  if (indexEnd == std::string::npos || indexEnd - dot - 1 > kMaxIndexText) return;
  int index = atoi(line.substr(dot + 1, indexEnd - dot - 1).c_str());
  if (index < 0) return;
  size_t first = line.find(' ');
  size_t second = line.find(' ', first + 1);
  if (second == std::string::npos || second + 1 >= line.size()) return;
  const FolderField* field = folderField(line);
  if (!field) return;
  records[index].*(field->field) = line.substr(second + 1);
}

NetworkSource folderSource(const FolderRecord& record) {
  NetworkSource source(sourceCodeFromText(record.type), sourceCodeFromText(record.protocol),
                       makeSourceKey(record.type, record.server, record.directory), record.name, record.server,
                       record.directory, record.user, record.password);
  source.setPersist(true);
  return source;
}

}  // namespace

// Lines are read as the firmware's own reader takes them: at most 1023
// characters at a time, each losing its last character (the line feed).
std::list<NetworkSource> parsePlayerNetworkFolders(const std::string& text) {
  std::map<int, FolderRecord> records;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    size_t length = std::min((end == std::string::npos ? text.size() : end + 1) - at, kMaxFolderLine);
    std::string line = text.substr(at, length);
    at += length;
    line.resize(strnlen(line.c_str(), line.size()));
    if (!line.empty()) line.pop_back();
    parseFolderLine(line, records);
  }
  std::list<NetworkSource> sources;
  for (const auto& entry : records) sources.push_back(folderSource(entry.second));
  return sources;
}

std::list<NetworkSource> readPlayerNetworkFolders() {
  std::string text;
  if (!readFile(rooted(paths::kNetworkFolders), text, kMaxFoldersFile)) return {};
  return parsePlayerNetworkFolders(text);
}
