// Favourites: named paths kept in the configuration under "favorites", one
// member per name ({"name": ..., "path": ...}).
#pragma once

#include <string>
#include <utility>
#include <vector>

using Favorite = std::pair<std::string, std::string>;  // name, path

// A read cache of the stored favourites, ordered by name byte-wise; every
// change goes to the configuration and drops it.
class FavoritesList {
 public:
  static const std::vector<Favorite>& get();
  static void add(const std::string& name, const std::string& path);
  static void remove(const std::string& name);

 private:
  static std::vector<Favorite> s_list;
};
