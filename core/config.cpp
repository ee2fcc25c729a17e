#include "core/config.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "core/jsonfile.h"
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
  if (!readJsonFile(rooted(paths::kConfigFile), m_root) || !m_root.isObject()) {
    m_root = Json::Value();
    applyDefaults();
    return;
  }
  const Json::Value& version = m_root["version"];
  if (version.isNull()) {
    m_root = Json::Value();
    applyDefaults();
    return;
  }
  // A hand-edited version that is not text counts as the current format.
  if (version.isString() && atoi(version.asCString()) < 2) migrateVersion1();
  if (!m_root["version"].isString() || m_root["version"].asString() != kVersion) m_root["version"] = kVersion;
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

void Config::save() {
  writeJsonFile(rooted(paths::kConfigFile), m_root);
  m_saved = true;
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
