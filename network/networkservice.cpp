#include "network/networkservice.h"

#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "browse/filesource.h"
#include "core/config.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/process.h"
#include "core/sysio.h"
#include "core/utils.h"

NetworkSource::NetworkSource(int type, int protocol, const std::string& key, const std::string& title,
                             const std::string& address, const std::string& path, const std::string& user,
                             const std::string& password)
    : m_type(type),
      m_protocol(protocol),
      m_key(key),
      m_title(title),
      m_address(address),
      m_path(path),
      m_user(user),
      m_password(password) {
  if (m_type == NETWORK_NFS && (m_path.empty() || m_path[0] != '/')) m_path.insert(0, "/");
}

std::string NetworkSource::virtualPrefix() const {
  if (m_type == NETWORK_NFS) return "nfs/" + m_title;
  if (m_type == NETWORK_SMB) return "smb/" + m_title;
  return "";
}

std::string NetworkSource::mediaUrl() const {
  if (m_type == NETWORK_NFS)
    return std::string("nfs") + (m_protocol == NETWORK_TCP ? "-tcp" : "-udp") + "://" + m_address + ":" + m_path + ":";
  std::string credentials;
  if (!m_user.empty()) credentials = m_user + (m_password.empty() ? "" : ":" + m_password) + "@";
  return "smb://" + credentials + m_address + "/" + m_path;
}

bool NetworkSource::isSameShare(const NetworkSource& other) const {
  return m_type == other.m_type && m_address == other.m_address && m_path == other.m_path;
}

bool NetworkSource::operator<(const NetworkSource& other) const {
  if (m_type != other.m_type) return m_type > other.m_type;
  return m_title < other.m_title;
}

std::string NetworkSource::realToVirtual(std::string path) const {
  return replacePrefix(path, m_mountPoint.size(), virtualPrefix());
}
std::string NetworkSource::mediaUrlToVirtual(std::string url) const {
  return replacePrefix(url, mediaUrl().size(), virtualPrefix());
}
std::string NetworkSource::realToMediaUrl(std::string path) const {
  return replacePrefix(path, m_mountPoint.size(), mediaUrl());
}
std::string NetworkSource::virtualToReal(std::string path) const {
  return replacePrefix(path, virtualPrefix().size(), m_mountPoint);
}
std::string NetworkSource::mediaUrlToReal(std::string url) const {
  return replacePrefix(url, mediaUrl().size(), m_mountPoint);
}

std::string makeSourceKey(const std::string& type, const std::string& address, const std::string& path) {
  return type + ":" + address + ":" + path;
}

int sourceCodeFromText(const std::string& text) {
  if (text == "0") return 0;
  if (text == "1") return 1;
  return -1;
}

// ---------------------------------------------------------------------------
// Mount table

namespace {

// The characters the kernel writes as octal escapes in the mount table.
struct MtabEscape {
  char plain;
  const char* escaped;
};
const MtabEscape kMtabEscapes[] = {{' ', "\\040"}, {'\t', "\\011"}, {'\n', "\\012"}, {'\\', "\\134"}};

}  // namespace

std::string mtabEscape(const std::string& text) {
  std::string out;
  for (char c : text) {
    const char* escaped = nullptr;
    for (const MtabEscape& e : kMtabEscapes)
      if (e.plain == c) escaped = e.escaped;
    if (escaped)
      out += escaped;
    else
      out += c;
  }
  return out;
}

std::string mtabUnescape(const std::string& text) {
  std::string out;
  for (size_t at = 0; at < text.size();) {
    bool decoded = false;
    if (text[at] == '\\') {
      for (const MtabEscape& e : kMtabEscapes) {
        if (text.compare(at, 4, e.escaped) == 0) {
          out += e.plain;
          at += 4;
          decoded = true;
          break;
        }
      }
    }
    if (!decoded) out += text[at++];
  }
  return out;
}

std::string smbShareText(const NetworkSource& source) { return "\\\\" + source.address() + "\\" + source.path(); }

std::string mtabNeedle(const NetworkSource& source) {
  if (source.type() == NETWORK_SMB) return mtabEscape(smbShareText(source));
  if (source.type() == NETWORK_NFS) return mtabEscape(source.address() + ":" + source.path());
  return "";
}

bool mtabMountPoint(const std::string& line, const std::string& needle, std::string& mountPoint) {
  if (needle.empty() || line.size() <= needle.size()) return false;
  if (line.compare(0, needle.size(), needle) != 0 || line[needle.size()] != ' ') return false;
  size_t start = line.find('/', needle.size() + 1);
  if (start == std::string::npos) return false;  // no directory: not a usable mount
  size_t end = line.find(' ', start);
  mountPoint = mtabUnescape(line.substr(start, end == std::string::npos ? std::string::npos : end - start));
  return true;
}

namespace {

// "," separates mount options; one inside a value is written twice.
std::string mountOptionValue(const std::string& value) {
  std::string out;
  for (char c : value) {
    out += c;
    if (c == ',') out += ',';
  }
  return out;
}

constexpr size_t kMaxMtabSize = 1 << 20;

}  // namespace

std::string smbMountOptions(const std::string& user, const std::string& password, bool maskPassword) {
  return "username=" + mountOptionValue(user) + ",password=" + (maskPassword ? "***" : mountOptionValue(password));
}

// ---------------------------------------------------------------------------
// Mounting

NetworkMountHelper::NetworkMountHelper(NetworkSource* source) : m_source(source) { assert(m_source != 0); }

int NetworkMountHelper::timeLimitSeconds() { return sandboxTimeLimit("TAVORC_MOUNT_TIME_LIMIT", kTimeLimitSeconds); }

bool NetworkMountHelper::isMounted() {
  std::string needle = mtabNeedle(*m_source);
  if (needle.empty()) return false;
  std::string table;
  if (!readFile(rooted(paths::kMtab), table, kMaxMtabSize)) return false;
  for (size_t at = 0; at < table.size();) {
    size_t end = table.find('\n', at);
    if (end == std::string::npos) end = table.size();
    std::string mountPoint;
    if (mtabMountPoint(table.substr(at, end - at), needle, mountPoint)) {
      m_source->setMountPoint(mountPoint);
      return true;
    }
    at = end + 1;
  }
  return false;
}

bool NetworkMountHelper::mount() {
  if (m_source->type() == NETWORK_SMB) return mountSmb();
  if (m_source->type() == NETWORK_NFS) return mountNfs();
  return false;
}

bool NetworkMountHelper::mountSmb() { return mountShare(true, smbShareText(*m_source)); }

bool NetworkMountHelper::mountNfs() { return mountShare(false, m_source->address() + ":" + m_source->path()); }

namespace {

// Creates the mount directory parent + md5Hex(share). A directory already
// holding files is not ours to mount over: the next name is the MD5 of the
// previous one. An existing empty directory is reused.
bool makeMountDirectory(const std::string& parent, const std::string& share, std::string& directory) {
  std::string name = md5Hex(share);
  for (int attempt = 0; attempt < 64; ++attempt, name = md5Hex(name)) {
    directory = parent + name;
    if (makeDirectory(directory, 0775)) return true;
    if (!canOpenDirectory(directory)) return false;
    if (isDirectoryEmpty(directory)) return true;
  }
  return false;
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// The password never reaches the log, not even inside what mount printed.
std::string withoutPassword(std::string text, const std::string& password) {
  if (password.empty()) return text;
  for (size_t at = 0; (at = text.find(password, at)) != std::string::npos; at += 3)
    text.replace(at, password.size(), "***");
  return text;
}

}  // namespace

// SMB and NFS mounts differ in the type, the folder, the -o options and
// the words they log.
bool NetworkMountHelper::mountShare(bool smb, const std::string& share) {
  // An NFS server named "-..." would reach mount as an option, not as a share.
  if (share.empty() || share[0] == '-') return false;
  std::string directory;
  if (!makeMountDirectory(rooted(smb ? paths::kSmbMountDir : paths::kNfsMountDir), share, directory)) return false;
  const char* type = smb ? "cifs" : "nfs";
  std::vector<std::string> arguments = {"-t", type, share, directory};
  std::string command = std::string("mount -t ") + type + " " + quoted(share) + " " + quoted(directory);
  if (smb) {
    arguments.push_back("-o");
    arguments.push_back(smbMountOptions(m_source->user(), m_source->password(), false));
    command += " -o" + smbMountOptions(m_source->user(), m_source->password(), true);
  }
  logMessage("try mount %s source, command: %s", smb ? "smb" : "nfs", command.c_str());
  int limit = timeLimitSeconds();
  ProgramResult result = runProgramCapture("mount", arguments, limit);
  if (isMounted()) {
    logMessage(smb ? "successfuly" : "Successfuly");
    return true;
  }
  rmdir(directory.c_str());
  if (result.timedOut) logError("mount stopped after %d seconds", limit);
  std::string output = withoutPassword(result.output, m_source->password());
  output = withoutPassword(output, mountOptionValue(m_source->password()));
  while (!output.empty() && output.back() == '\n') output.pop_back();
  if (smb)
    logMessage("%s", output.c_str());
  else
    logError("%s", output.c_str());
  return false;
}

bool NetworkMountHelper::unmount() {
  const std::string mountPoint = m_source->mountPoint();
  if (mountPoint.empty()) return true;
  runProgram("umount", {mountPoint}, timeLimitSeconds());
  if (isMounted()) return false;
  rmdir(mountPoint.c_str());
  return true;
}

bool NetworkMountHelper::unmountIfMounted() { return !isMounted() || unmount(); }

bool NetworkMountHelper::mountIfNeeded() { return isMounted() || mount(); }

// ---------------------------------------------------------------------------
// The player's network folders

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

// ---------------------------------------------------------------------------
// Stored sources

namespace {

std::string stringMember(const Json::Value& object, const char* name) {
  if (!object.isObject()) return "";
  const Json::Value& value = object[name];
  return value.isString() ? value.asString() : "";
}

}  // namespace

Json::Value& networkSourceStore(Json::Value& root) {
  Json::Value& store = root["network_sources"];
  if (!store.isObject()) store = Json::Value(Json::objectValue);
  return store;
}

std::list<NetworkSource> storedNetworkSources(const Json::Value& store) {
  std::list<NetworkSource> sources;
  if (!store.isObject()) return sources;
  for (const std::string& key : store.getMemberNames()) {
    const Json::Value& stored = store[key];
    sources.emplace_back(sourceCodeFromText(stringMember(stored, "type")),
                         sourceCodeFromText(stringMember(stored, "protocol")), key, stringMember(stored, "title"),
                         stringMember(stored, "address"), stringMember(stored, "path"), stringMember(stored, "user"),
                         stringMember(stored, "password"));
  }
  return sources;
}

bool storeNetworkSource(Json::Value& root, std::string title, const std::string& type,
                        const std::string& protocol, const std::string& address, const std::string& path,
                        const std::string& user, const std::string& password) {
  if (sourceCodeFromText(type) < 0 || sourceCodeFromText(protocol) < 0) return false;
  Json::Value& store = networkSourceStore(root);
  for (const std::string& key : store.getMemberNames()) {
    if (stringMember(store[key], "title") == title) {
      title = md5Hex(address + path);
      break;
    }
  }
  Json::Value stored(Json::objectValue);
  stored["type"] = type;
  stored["title"] = title;
  stored["address"] = address;
  stored["path"] = path;
  stored["user"] = user;
  stored["password"] = password;
  stored["protocol"] = protocol;
  store[makeSourceKey(type, address, path)] = stored;
  return true;
}

void mergeNetworkSources(std::list<NetworkSource>& list, const std::list<NetworkSource>& more) {
  for (const NetworkSource& candidate : more) {
    bool known = std::any_of(list.begin(), list.end(),
                             [&](const NetworkSource& source) { return source.isSameShare(candidate); });
    if (!known) list.push_back(candidate);
  }
  list.sort();
}

// ---------------------------------------------------------------------------
// The registry

NetworkService& NetworkService::instance() {
  static NetworkService service;
  return service;
}

std::list<NetworkSource>& NetworkService::sources() {
  if (!m_sources.empty()) return m_sources;
  if (Config* config = Config::instance()) m_sources = storedNetworkSources(networkSourceStore(config->root()));
  mergeNetworkSources(m_sources, readPlayerNetworkFolders());
  return m_sources;
}

void NetworkService::add(const std::string& title, const std::string& type, const std::string& protocol,
                         const std::string& address, const std::string& path, const std::string& user,
                         const std::string& password) {
  Config* config = Config::instance();
  if (!config) return;
  if (storeNetworkSource(config->root(), title, type, protocol, address, path, user, password))
    invalidate();
}

void NetworkService::remove(const std::string& key) {
  if (NetworkSource* source = findByKey(key)) NetworkMountHelper(source).unmountIfMounted();
  if (Config* config = Config::instance()) networkSourceStore(config->root()).removeMember(key);
  invalidate();
}

NetworkSource* NetworkService::findByKey(const std::string& key) {
  if (key.empty()) return nullptr;
  for (NetworkSource& source : sources())
    if (source.key() == key) return &source;
  return nullptr;
}

NetworkSource* NetworkService::mounted(NetworkSource* source) {
  return NetworkMountHelper(source).mountIfNeeded() ? source : nullptr;
}

NetworkSource* NetworkService::findByVirtualPath(const std::string& path) {
  if (path.empty()) return nullptr;
  for (NetworkSource& source : sources()) {
    std::string prefix = source.virtualPrefix();
    if (prefix.empty() || !isAtOrBelow(path, prefix)) continue;
    if (hasDotComponent(path.substr(prefix.size()))) return nullptr;  // would climb out of the share
    return mounted(&source);
  }
  return nullptr;
}

NetworkSource* NetworkService::findByMediaUrl(const std::string& url) {
  if (url.empty()) return nullptr;
  for (NetworkSource& source : sources()) {
    std::string prefix = source.mediaUrl() + "/";
    if (url.compare(0, prefix.size(), prefix) != 0) continue;
    if (hasDotComponent(url.substr(prefix.size()))) return nullptr;
    return mounted(&source);
  }
  return nullptr;
}
