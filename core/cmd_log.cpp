// "log": the whole log file, as it is.
#include "core/cmdprocessor.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/sysio.h"

namespace {

class CmdProcLog : public CmdProcessor {
 public:
  using CmdProcessor::CmdProcessor;

  ProcessResult* process() override {
    Log::instance();  // may start a stale or oversized log afresh
    std::string text;
    readFile(rooted(paths::kLogFile), text);
    return new ProcessResultText(text);
  }
};

CmdProcessorCreatorImpl<CmdProcLog> s_creator("log");

}  // namespace
