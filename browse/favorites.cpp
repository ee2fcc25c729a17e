#include "browse/favorites.h"

#include <algorithm>

#include "core/config.h"
#include "core/jsonfile.h"

std::vector<Favorite> FavoritesList::s_list;

namespace {

// The "favorites" object of the configuration; anything else stored there is
// replaced by an empty object.
Json::Value& container() {
  Json::Value& favorites = Config::instance()->root()["favorites"];
  if (!favorites.isObject()) favorites = Json::Value(Json::objectValue);
  return favorites;
}

}  // namespace

const std::vector<Favorite>& FavoritesList::get() {
  if (!s_list.empty()) return s_list;
  const Json::Value& favorites = container();
  for (const std::string& key : favorites.getMemberNames()) {
    const Json::Value& item = favorites[key];
    s_list.emplace_back(stringMember(item, "name"), stringMember(item, "path"));
  }
  std::stable_sort(s_list.begin(), s_list.end(),
                   [](const Favorite& a, const Favorite& b) { return a.first < b.first; });
  return s_list;
}

void FavoritesList::add(const std::string& name, const std::string& path) {
  Json::Value item(Json::objectValue);
  item["name"] = name;
  item["path"] = path;
  container()[name] = item;
  s_list.clear();
}

void FavoritesList::remove(const std::string& name) {
  container().removeMember(name);
  s_list.clear();
}
