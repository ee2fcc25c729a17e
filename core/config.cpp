#include "core/config.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "core/jsonfile.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/result.h"
#include "core/sysio.h"

Config* Config::s_instance = nullptr;

Config::Config(const std::string& bid) : m_bid(bid) {
  if (s_instance) throw AppException("double config");
  s_instance = this;
  load();
  m_perBrowser = get("pbopt") == "true";
  m_perBrowserKeys = {"language", "show_covers"};
}

Config::~Config() {
  if (!m_saved) save();
  if (s_instance == this) s_instance = nullptr;
}

void Config::load() {
  std::string path = rooted(paths::kConfigFile);
  m_loadedText.clear();
  m_root = Json::Value();
  if (!readFile(path, m_loadedText)) {
    m_loadedText.clear();
    applyDefaults();
    return;
  }
  if (!parseJson(m_loadedText, m_root) || !m_root.isObject() || m_root["version"].isNull()) {
    keepUnusable(path);
    m_root = Json::Value();
    applyDefaults();
    return;
  }
  // A hand-edited version that is not text counts as the current format.
  const Json::Value& version = m_root["version"];
  if (version.isString() && atoi(version.asCString()) < 2) migrateVersion1();
  if (stringMember(m_root, "version") != kVersion) m_root["version"] = kVersion;
}

void Config::applyDefaults() {
  Json::Value common(Json::objectValue);
  common["autocheck_upd"] = "true";
  common["language"] = "en";
  common["pbopt"] = "false";
  m_root["options"] = Json::Value(Json::objectValue);
  m_root["options"]["common"] = common;
  m_root["version"] = kVersion;
}

void Config::migrateVersion1() {
  Json::Value common = m_root["options"].isObject() ? m_root["options"] : Json::Value(Json::objectValue);
  common["pbopt"] = "false";
  common["language"] = "en";
  if (!common["autocheck_upd"].isString()) common["autocheck_upd"] = "true";
  m_root["options"] = Json::Value(Json::objectValue);
  m_root["options"]["common"] = common;
}

// A document that cannot be used is replaced by the defaults at the next save;
// the file is kept beside it first (one copy, the latest), so that a cut-off
// write or one bad byte does not lose favourites, shares and options for good.
void Config::keepUnusable(const std::string& path) {
  std::string kept = path + ".bad";
  if (writeFileAtomic(kept, m_loadedText, 0600))
    logError("configuration %s is unusable; kept as %s, defaults apply", path.c_str(), kept.c_str());
  else
    logError("configuration %s is unusable and could not be kept: %s", path.c_str(), errnoText(errno).c_str());
}

std::string Config::text() const { return styledJsonText(m_root); }

bool Config::save() {
  if (m_saved) return true;
  m_saved = true;
  std::string current = text();
  if (current == m_loadedText) return true;
  std::string path = rooted(paths::kConfigFile);
  if (!writeFileAtomic(path, current)) {
    logError("config save of %s failed: %s", path.c_str(), errnoText(errno).c_str());
    return false;
  }
  m_loadedText = current;
  return true;
}

bool Config::changeWithinBound(const std::function<void()>& change) {
  Json::Value before = m_root;
  change();
  if (text().size() <= kMaxDocumentBytes) return true;
  m_root = before;
  return false;
}

Json::Value& Config::options() {
  Json::Value& options = m_root["options"];
  if (!options.isObject()) options = Json::Value(Json::objectValue);
  return options;
}

bool Config::isPerBrowser(const std::string& name) const {
  return m_perBrowser && std::find(m_perBrowserKeys.begin(), m_perBrowserKeys.end(), name) != m_perBrowserKeys.end();
}

std::string Config::get(const std::string& name) {
  const Json::Value& all = options();
  if (isPerBrowser(name)) {
    const Json::Value& own = all[m_bid];
    if (own.isObject() && own.isMember(name)) return stringMember(own, name.c_str());
  }
  return stringMember(all["common"], name.c_str());
}

void Config::set(const std::string& name, const std::string& value) {
  Json::Value& holder = options()[isPerBrowser(name) ? m_bid : std::string("common")];
  if (!holder.isObject()) holder = Json::Value(Json::objectValue);
  holder[name] = value;
}

Json::Value Config::allOptions() {
  const Json::Value& all = options();
  Json::Value result = all["common"].isObject() ? all["common"] : Json::Value(Json::objectValue);
  const Json::Value& own = all[m_bid];
  if (m_perBrowser && own.isObject())
    for (const std::string& name : own.getMemberNames()) result[name] = own[name];
  return result;
}

std::string Config::lpd() const { return stringMember(m_root, "lpd"); }

void Config::setLpd(const std::string& value) {
  if (value.empty())
    m_root.removeMember("lpd");
  else
    m_root["lpd"] = value;
}
