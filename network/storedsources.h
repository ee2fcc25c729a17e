// The network sources stored by this program: member "network_sources" of the
// configuration root, one object per source under its key.
#pragma once

#include <json/json.h>

#include <list>
#include <string>

#include "network/networksource.h"

// The store, made an empty object first when it is missing or not an object.
Json::Value& networkSourceStore(Json::Value& root);
std::list<NetworkSource> storedNetworkSources(const Json::Value& store);

// Stores a source in the configuration root under its key, renaming its
// title when a stored source already carries it. False (nothing stored, the
// root untouched) for a type or protocol other than "0" or "1".
bool storeNetworkSource(Json::Value& root, std::string title, const std::string& type, const std::string& protocol,
                        const std::string& address, const std::string& path, const std::string& user,
                        const std::string& password);
