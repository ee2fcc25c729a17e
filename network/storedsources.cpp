#include "network/storedsources.h"

#include "core/jsonfile.h"
#include "core/utils.h"

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

bool storeNetworkSource(Json::Value& root, std::string title, const std::string& type, const std::string& protocol,
                        const std::string& address, const std::string& path, const std::string& user,
                        const std::string& password) {
  if (sourceCodeFromText(type) < 0 || sourceCodeFromText(protocol) < 0) return false;
  Json::Value& store = networkSourceStore(root);
  for (const std::string& key : store.getMemberNames()) {
    if (stringMember(store[key], "title") == title) {
      // Titles name the virtual paths ("smb/<title>"), so a clash is renamed: to the share's
      // MD5, as the stored favourites and history of earlier renamed shares already hold it.
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
