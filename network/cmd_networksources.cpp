// "network_source_add", "network_source_del" and "network_source_list": the
// front end's management of SMB and NFS sources.
#include "core/cmdprocessor.h"
#include "network/networkservice.h"

namespace {

// The parameters come in the query string or in a POST body, so that a
// password need not travel in a URL; one given in the query string wins.
class CmdProcAddNetworkSource : public CmdProcessor {
 public:
  using CmdProcessor::CmdProcessor;

  ProcessResult* process() override {
    // SMB has no protocol, yet an add of any type without one is refused: the front end always sends it.
    static const struct {
      const char* name;
      const char* missing;
    } kRequired[] = {{"title", "Title not defined"},
                     {"type", "Type not defined"},
                     {"address", "Server not defined"},
                     {"path", "Directory not defined"},
                     {"protocol", "Protocol not defined"}};
    for (const auto& required : kRequired)
      if (param(required.name).empty()) return makeErrorResult(required.missing);
    // A source the registry would not store is refused, rather than answered "ok".
    if (sourceCodeFromText(param("type")) < 0) return makeErrorResult("Type not valid");
    if (sourceCodeFromText(param("protocol")) < 0) return makeErrorResult("Protocol not valid");
    bool stored = Config::instance()->changeWithinBound([&] {
      NetworkService::instance().add(param("title"), param("type"), param("protocol"), param("address"), param("path"),
                                     param("user"), param("password"));
    });
    return stored ? makeOkResult("") : makeErrorResult(Config::kTooLarge);
  }

 private:
  const std::string& param(const char* name) const {
    return m_request->has(name) ? m_request->get(name) : m_request->post(name);
  }
};

class CmdProcDelNetworkSource : public CmdProcessor {
 public:
  using CmdProcessor::CmdProcessor;

  ProcessResult* process() override {
    const std::string& key = m_request->get("source_key");
    if (key.empty()) return makeErrorResult("source name not defined");
    NetworkService::instance().remove(key);
    return makeOkResult("");
  }
};

// Address, user, password and protocol are never answered.
Json::Value listEntry(const NetworkSource& source) {
  Json::Value entry(Json::objectValue);
  entry["title"] = source.title();
  entry["name"] = source.virtualPrefix();
  entry["key"] = source.key();
  entry["path"] = source.path();
  entry["is_persist"] = source.isPersist() ? "1" : "0";
  entry["type"] = source.type() == NETWORK_NFS ? "NFS" : "SMB";
  return entry;
}

class CmdProcNetworkSourcesList : public CmdProcessor {
 public:
  using CmdProcessor::CmdProcessor;

  ProcessResult* process() override {
    Json::Value entries(Json::arrayValue);
    for (const NetworkSource& source : NetworkService::instance().sources()) entries.append(listEntry(source));
    ProcessResultJson* result = new ProcessResultJson();
    result->set("sources", entries);
    return result;
  }
};

CmdProcessorCreatorImpl<CmdProcAddNetworkSource> s_addCreator("network_source_add");
CmdProcessorCreatorImpl<CmdProcDelNetworkSource> s_delCreator("network_source_del");
CmdProcessorCreatorImpl<CmdProcNetworkSourcesList> s_listCreator("network_source_list");

}  // namespace
