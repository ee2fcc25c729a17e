// The configuration document: options (common or per browser) and the stores
// that other subsystems keep as top-level members.
#pragma once

#include <json/json.h>

#include <functional>
#include <string>
#include <vector>

class Config {
 public:
  explicit Config(const std::string& bid);  // loads; AppException("double config") for a second one
  ~Config();                                // saves, unless save() or discardChanges() came first

  // The one configuration of the process (in the program, the command processor
  // owns it), or null when there is none.
  static Config* instance() { return s_instance; }

  const std::string& bid() const { return m_bid; }
  Json::Value& root() { return m_root; }

  std::string get(const std::string& name);
  void set(const std::string& name, const std::string& value);
  Json::Value allOptions();

  std::string lpd() const;
  void setLpd(const std::string& value);

  void load();
  // Writes the document now, unless it is the text that was loaded: an
  // unchanged document never costs a write of the flash. CmdProcessor::run()
  // calls it before the answer goes out, so that an answered request is never
  // lost; the destructor then skips its own write. False when the changed
  // document could not be written (the old file is then intact).
  bool save();
  // The changes of this request are dropped: nothing is written any more.
  void discardChanges() { m_saved = true; }

  // Runs change on the document; when the document would then be larger than
  // kMaxDocumentBytes, it is put back as it was and the answer is false.
  bool changeWithinBound(const std::function<void()>& change);

  static constexpr const char* kVersion = "2";
  static constexpr size_t kMaxDocumentBytes = 256 * 1024;
  // The answers of a request whose changes could not be kept.
  static constexpr const char* kSaveFailed = "config save failed";
  static constexpr const char* kTooLarge = "config too large";

 private:
  Json::Value& options();
  bool isPerBrowser(const std::string& name) const;
  void applyDefaults();
  void keepUnusable(const std::string& path);
  std::string text() const;
  void migrateVersion1();

  Json::Value m_root;
  std::string m_bid;
  std::vector<std::string> m_perBrowserKeys;
  bool m_perBrowser = false;
  bool m_saved = false;
  std::string m_loadedText;  // the file as read, empty when there was none

  static Config* s_instance;
};
