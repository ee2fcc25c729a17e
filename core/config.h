// The configuration document: options (common or per browser) and the stores
// that other subsystems keep as top-level members.
#pragma once

#include <json/json.h>

#include <string>
#include <vector>

class Config {
 public:
  explicit Config(const std::string& bid);  // loads; AppException("double config") for a second one
  virtual ~Config();                        // saves, unless save() already did

  static Config* instance() { return s_instance; }

  const std::string& bid() const { return m_bid; }
  Json::Value& root() { return m_root; }

  std::string get(const std::string& name);
  void set(const std::string& name, const std::string& value);
  Json::Value allOptions();

  std::string lpd() const;
  void setLpd(const std::string& value);

  void load();
  // Writes the document now. The request's end calls it before the answer goes
  // out, so that an answered request is never lost; the destructor then skips
  // its own write.
  void save();

  static constexpr const char* kVersion = "2";

 private:
  Json::Value& options();
  bool isPerBrowser(const std::string& name) const;
  void applyDefaults();
  void migrateVersion1();

  Json::Value m_root;
  std::string m_bid;
  std::vector<std::string> m_perBrowserKeys;
  bool m_perBrowser = false;
  bool m_saved = false;

  static Config* s_instance;
};
