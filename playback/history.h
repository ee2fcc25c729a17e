// The playback history: per folder, the file that was playing and the
// position in it, newest first, kept in the configuration ("history").
#pragma once

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

  // The stored list (a value that is not an array is replaced by an empty
  // one first).
  void load();
  void save() const;
  // Moves the item's folder to the front with the item's file and position;
  // the oldest entry goes when more than 30 are kept. An item without a
  // virtual path changes nothing.
  void add(const HistoryItem& item);

  const std::list<HistoryItem>& items() const { return m_items; }  // oldest first

 private:
  std::list<HistoryItem> m_items;
};
