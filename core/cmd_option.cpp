// "option": list the options this browser sees, or set some.
#include "core/cmdprocessor.h"
#include "core/optionrules.h"

namespace {

class CmdProcOption : public CmdMultiActionProcessor {
 public:
  explicit CmdProcOption(Request* request);

 private:
  static const Action kActions[];

  ProcessResult* list() {
    ProcessResultJson* result = new ProcessResultJson();
    result->set("options", Config::instance()->allOptions());
    return result;
  }

  // POST values first (in descending name order), then the query's pair, which
  // wins for the same name.
  ProcessResult* set() {
    Config* config = Config::instance();
    std::list<std::string> names = m_request->postNames();
    const std::string& name = m_request->get("opt_name");
    if (name.empty() && names.empty()) return makeErrorResult("option name not defined");
    if (!name.empty() && !isAcceptableOptionValue(name, m_request->get("opt_value")))
      return makeErrorResult(kInvalidOptionValue);
    for (const std::string& posted : names)
      if (!isAcceptableOptionValue(posted, m_request->post(posted))) return makeErrorResult(kInvalidOptionValue);
    bool stored = config->changeWithinBound([&] {
      for (auto it = names.rbegin(); it != names.rend(); ++it) config->set(*it, m_request->post(*it));
      if (!name.empty()) config->set(name, m_request->get("opt_value"));
    });
    return stored ? makeOkResult("") : makeErrorResult(Config::kTooLarge);
  }
};

const CmdMultiActionProcessor::Action CmdProcOption::kActions[] = {{"list", &CmdProcOption::list},
                                                                   {"set", &CmdProcOption::set}};

CmdProcOption::CmdProcOption(Request* request) : CmdMultiActionProcessor(request, kActions) {}

CmdProcessorCreatorImpl<CmdProcOption> s_creator("option");

}  // namespace
