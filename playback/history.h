// The playback history: per folder, the file that was playing and the
// position in it, newest first, kept in the configuration ("history").
#pragma once

#include <json/json.h>

#include <list>
#include <string>

struct HistoryItem {
  std::string title;        // last element of the folder's virtual path
  std::string virtualPath;  // the folder; two items are the same entry when these are equal
  int lastIndex = -1;       // dir index of the file that was playing, -1 when unknown
  int playPosition = 0;     // seconds into that file
};

class History {
 public:
  static constexpr size_t kMaxEntries = 30;
  // The configuration lies on flash, which wears: a position that only moved
  // on in the same file is written there at most this often, and is kept in
  // the play position file meanwhile.
  static constexpr int kWriteIntervalSeconds = 600;

  // The newest 30 stored entries (a value that is not an array is replaced
  // by an empty one first).
  void load();
  void save() const;
  // Moves the item's folder to the front with the item's file and position;
  // the oldest entries go beyond 30. An item without a virtual path changes
  // nothing.
  void add(const HistoryItem& item);
  // The current playback, as the poller and every start record it. The
  // configuration gets it when the folder or the file has changed, or when
  // the last write is 10 minutes old; otherwise only the play position file.
  // An item without a virtual path (nothing plays) writes the newest
  // position to the configuration and forgets the file.
  void record(const HistoryItem& item);

  // The stored history as the front end reads it: cut to 30 entries in the
  // configuration too, with the newest play position.
  static Json::Value answer();

  const std::list<HistoryItem>& items() const { return m_items; }  // oldest first

 private:
  // The entry of the item's folder takes its file and position.
  void update(const HistoryItem& item);
  void putFirst(const HistoryItem& item);

  std::list<HistoryItem> m_items;
};
