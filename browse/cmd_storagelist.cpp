// "storage_list": the local storages the front end can open, in device order.
#include "browse/storage.h"
#include "core/cmdprocessor.h"

namespace {

class CmdProcStorageList : public CmdProcessor {
 public:
  using CmdProcessor::CmdProcessor;

  ProcessResult* process() override {
    Json::Value storages(Json::arrayValue);
    for (const Storage& storage : StorageList::get()) {
      Json::Value item(Json::objectValue);
      item["title"] = storage.displayName();
      item["name"] = storage.virtualPrefix();
      item["uuid"] = storage.uuid();
      item["label"] = storage.label();
      storages.append(item);
    }
    ProcessResultJson* result = new ProcessResultJson();
    result->set("storages", storages);
    return result;
  }
};

CmdProcessorCreatorImpl<CmdProcStorageList> s_creator("storage_list");

}  // namespace
