// "app_info": version, language, next update check and the donation reminder.
#include "core/cmdprocessor.h"
#include "core/donation.h"
#include "core/version.h"

namespace {

class CmdProcGetAppInfo : public CmdProcessor {
 public:
  using CmdProcessor::CmdProcessor;

  ProcessResult* process() override {
    Config* config = Config::instance();
    Json::Value& nnvc = config->root()["nnvc"];
    if (!nnvc.isString()) nnvc = "0";
    ProcessResultJson* result = new ProcessResultJson();
    result->set("version", kProgramVersion);
    result->set("nnvc", nnvc.asString());
    result->set("lng", config->get("language"));
    result->set("sdb", donationReminderDue());
    return result;
  }
};

CmdProcessorCreatorImpl<CmdProcGetAppInfo> s_creator("app_info");

}  // namespace
