// Scaffolding until the network sources are built: no share is known.
#include "network/networkservice.h"

NetworkService& NetworkService::instance() {
  static NetworkService service;
  return service;
}

std::list<NetworkSource>& NetworkService::sources() { return m_sources; }
NetworkSource* NetworkService::findByVirtualPath(const std::string&) { return nullptr; }
NetworkSource* NetworkService::findByMediaUrl(const std::string&) { return nullptr; }
