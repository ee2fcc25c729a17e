#include "playback/history.h"

#include <unistd.h>

#include <ctime>

#include "core/config.h"
#include "core/jsonfile.h"
#include "core/paths.h"
#include "core/sysio.h"

namespace {

const char kHistoryKey[] = "history";

// The configuration's history array, made one when it is not.
Json::Value& storedHistory() {
  Json::Value& stored = Config::instance()->root()[kHistoryKey];
  if (!stored.isArray()) stored = Json::Value(Json::arrayValue);
  return stored;
}

Json::Value itemJson(const HistoryItem& item) {
  Json::Value entry(Json::objectValue);
  entry["title"] = item.title;
  entry["virtual_path"] = item.virtualPath;
  entry["last_index"] = item.lastIndex;
  entry["play_position"] = item.playPosition;
  return entry;
}

// The play position file: the newest recorded item, and when the
// configuration last got its folder's entry (seconds of the time of day).
struct Latest {
  HistoryItem item;
  long written = 0;

  bool read() {
    Json::Value document;
    if (!readJsonFile(rooted(paths::kPlayPositionFile), document) || !document.isObject()) return false;
    item.title = stringMember(document, "title");
    item.virtualPath = stringMember(document, "virtual_path");
    item.lastIndex = intMember(document, "last_index", -1);
    item.playPosition = intMember(document, "play_position", 0);
    written = intMember(document, "written", 0);
    return !item.virtualPath.empty();
  }

  void write() const {
    Json::Value document = itemJson(item);
    document["written"] = static_cast<Json::Int64>(written);
    writeFileAtomic(rooted(paths::kPlayPositionFile), Json::FastWriter().write(document));
  }

  static void forget() { unlink(rooted(paths::kPlayPositionFile).c_str()); }
};

int writeIntervalSeconds() { return sandboxTimeLimit("TAVORC_HISTORY_WRITE_LIMIT", History::kWriteIntervalSeconds); }

}  // namespace

// The system only stores entries with a folder; a hand-edited entry without
// one (or that is no object) cannot be resumed and is dropped. Entries beyond
// the newest 30 are not read.
void History::load() {
  m_items.clear();
  const Json::Value& stored = storedHistory();
  for (Json::ArrayIndex i = 0; i < stored.size() && m_items.size() < kMaxEntries; ++i) {
    const Json::Value& entry = stored[i];
    HistoryItem item;
    item.virtualPath = stringMember(entry, "virtual_path");
    if (item.virtualPath.empty()) continue;
    item.title = stringMember(entry, "title");
    item.lastIndex = intMember(entry, "last_index", -1);
    item.playPosition = intMember(entry, "play_position", 0);
    m_items.push_front(item);
  }
}

void History::save() const {
  Json::Value stored(Json::arrayValue);
  for (auto it = m_items.rbegin(); it != m_items.rend(); ++it) stored.append(itemJson(*it));
  Config::instance()->root()[kHistoryKey] = stored;
}

void History::add(const HistoryItem& item) {
  if (item.virtualPath.empty()) return;
  load();
  putFirst(item);
  save();
}

void History::putFirst(const HistoryItem& item) {
  for (auto it = m_items.begin(); it != m_items.end(); ++it) {
    if (it->virtualPath == item.virtualPath) {
      m_items.erase(it);
      break;
    }
  }
  m_items.push_back(item);
  while (m_items.size() > kMaxEntries) m_items.pop_front();
}

void History::update(const HistoryItem& item) {
  for (HistoryItem& entry : m_items) {
    if (entry.virtualPath == item.virtualPath) {
      entry.lastIndex = item.lastIndex;
      entry.playPosition = item.playPosition;
      return;
    }
  }
}

void History::record(const HistoryItem& item) {
  Latest latest;
  bool haveLatest = latest.read();
  if (item.virtualPath.empty()) {
    if (!haveLatest) return;
    load();
    update(latest.item);
    save();  // unchanged when the configuration has the newest position already
    Latest::forget();
    return;
  }
  load();
  long now = static_cast<long>(time(nullptr));
  const HistoryItem* newest = m_items.empty() ? nullptr : &m_items.back();
  bool sameFile = newest && newest->virtualPath == item.virtualPath && newest->lastIndex == item.lastIndex;
  bool recent = haveLatest && latest.item.virtualPath == item.virtualPath && now >= latest.written &&
                now - latest.written < writeIntervalSeconds();
  if (sameFile && recent) {
    latest.item = item;
    latest.write();
    return;
  }
  if (haveLatest) update(latest.item);  // the folder played before keeps its newest position
  putFirst(item);
  save();
  latest.item = item;
  latest.written = now;
  latest.write();
}

Json::Value History::answer() {
  Json::Value& stored = storedHistory();
  if (stored.size() > kMaxEntries) stored.resize(kMaxEntries);
  Json::Value answer = stored;
  Latest latest;
  if (!latest.read()) return answer;
  for (Json::Value& entry : answer) {
    if (entry.isObject() && stringMember(entry, "virtual_path") == latest.item.virtualPath) {
      entry["last_index"] = latest.item.lastIndex;
      entry["play_position"] = latest.item.playPosition;
      break;
    }
  }
  return answer;
}
