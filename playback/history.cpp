#include "playback/history.h"

#include "core/config.h"
#include "core/jsonfile.h"

namespace {

const char kHistoryKey[] = "history";

// The configuration's history array, made one when it is not.
Json::Value& storedHistory() {
  Json::Value& stored = Config::instance()->root()[kHistoryKey];
  if (!stored.isArray()) stored = Json::Value(Json::arrayValue);
  return stored;
}

}  // namespace

// The system only stores entries with a folder; a hand-edited entry without
// one (or that is no object) cannot be resumed and is dropped.
void History::load() {
  m_items.clear();
  const Json::Value& stored = storedHistory();
  for (Json::ArrayIndex i = stored.size(); i-- > 0;) {
    const Json::Value& entry = stored[i];
    HistoryItem item;
    item.virtualPath = stringMember(entry, "virtual_path");
    if (item.virtualPath.empty()) continue;
    item.title = stringMember(entry, "title");
    item.lastIndex = intMember(entry, "last_index", -1);
    item.playPosition = intMember(entry, "play_position", 0);
    m_items.push_back(item);
  }
}

void History::save() const {
  Json::Value stored(Json::arrayValue);
  for (auto it = m_items.rbegin(); it != m_items.rend(); ++it) {
    Json::Value entry(Json::objectValue);
    entry["title"] = it->title;
    entry["virtual_path"] = it->virtualPath;
    entry["last_index"] = it->lastIndex;
    entry["play_position"] = it->playPosition;
    stored.append(entry);
  }
  Config::instance()->root()[kHistoryKey] = stored;
}

void History::add(const HistoryItem& item) {
  if (item.virtualPath.empty()) return;
  load();
  for (auto it = m_items.begin(); it != m_items.end(); ++it) {
    if (it->virtualPath == item.virtualPath) {
      m_items.erase(it);
      break;
    }
  }
  m_items.push_back(item);
  if (m_items.size() > kMaxEntries) m_items.pop_front();
  save();
}
