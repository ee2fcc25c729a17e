#include "core/cmdprocessor.h"

#include "core/log.h"
#include "core/utils.h"

CmdProcessor::CmdProcessor(Request* request) : m_request(request) {
  std::string bid = request->cookie("bid");
  if (bid.empty()) {
    // Deliberately the time alone: browsers first seen in the same second share
    // an id, which only keeps per-browser options apart and guards nothing.
    bid = md5Hex(timeText());
    m_newBid = true;
  }
  m_config.reset(new Config(bid));
}

CmdProcessor::~CmdProcessor() { delete m_result; }

// A password never reaches the log: the value of every pair whose name decodes
// to "password" shows as "***".
static std::string traceText(const char* query) {
  std::string text = query ? query : "";
  std::string out;
  for (size_t start = 0;;) {
    size_t end = text.find('&', start);
    std::string pair = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    size_t equals = pair.find('=');
    if (equals != std::string::npos && Request::decode(pair.substr(0, equals)) == "password") {
      std::string value = pair.substr(equals + 1);
      pair.replace(equals + 1, std::string::npos, maskPassword(value, value, true));
    }
    out += pair;
    if (end == std::string::npos) return out;
    out += '&';
    start = end + 1;
  }
}

ProcessResult* CmdProcessor::run() {
  bool trace = !m_request->has("log") || m_request->getInt("log") != 0;
  if (trace) logMessage(" ------- process command: %s", traceText(m_request->queryString()).c_str());
  m_result = process();
  // The document is on disk before the answer leaves: a process killed after
  // answering must not lose what the client was told was done, and a client
  // is never told "ok" for changes that could not be kept.
  if (!m_config->save()) {
    delete m_result;
    m_result = makeErrorResult(Config::kSaveFailed);
  }
  if (m_newBid) m_result->setCookie("bid", m_config->bid(), kBidLifetime);
  return m_result;
}

ProcessResult* CmdProcessor::process() {
  ProcessResult* result = new ProcessResultText("Unknown command '" + m_request->get("cmd") + "'");
  result->setStatus(500);
  return result;
}

CmdProcessorCreator::CmdProcessorCreator(const char* name) : m_name(name) { commandRegistry().add(this); }

void CommandRegistry::add(CmdProcessorCreator* creator) {
  (m_last ? m_last->m_next : m_first) = creator;
  m_last = creator;
}

CmdProcessorCreator* CommandRegistry::find(const std::string& name) const {
  for (CmdProcessorCreator* creator = m_first; creator; creator = creator->m_next)
    if (name == creator->m_name) return creator;
  return nullptr;
}

CommandRegistry& commandRegistry() {
  static CommandRegistry registry;
  return registry;
}

CmdProcessor* createProcessor(CommandRegistry& registry, Request* request) {
  CmdProcessorCreator* creator = registry.find(request->get("cmd"));
  return creator ? creator->create(request) : new CmdProcessor(request);
}

ProcessResult* CmdMultiActionProcessor::process() {
  const std::string& action = m_request->get("action");
  if (action.empty()) return makeErrorResult("action not defined");
  for (size_t i = m_actionCount; i-- > 0;)
    if (action == m_actions[i].name) return (this->*(m_actions[i].handler))();
  return makeErrorResult("unknown action '" + action + "'");
}

ProcessResult* checkRequired(const Request& request, std::initializer_list<RequiredParameter> parameters) {
  for (const RequiredParameter& parameter : parameters) {
    bool missing = parameter.mayBeEmpty ? !request.has(parameter.name) : request.get(parameter.name).empty();
    if (missing) return makeErrorResult(parameter.message);
  }
  return nullptr;
}
