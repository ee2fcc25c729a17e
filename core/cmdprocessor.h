// Commands: the base classes, the registry that maps a "cmd" name to the
// creator of its processor, and dispatch by "action".
#pragma once

#include <initializer_list>
#include <map>
#include <memory>
#include <string>

#include "core/config.h"
#include "core/request.h"
#include "core/result.h"

class CmdProcessor {
 public:
  // Creates and loads the request's configuration, reached through
  // Config::instance() while the processor lives.
  explicit CmdProcessor(Request* request);
  // Deletes the result, then the configuration. run() saved it before the
  // answer left, and after an exception the entry point dropped its changes,
  // so deleting it writes nothing more.
  virtual ~CmdProcessor();

  ProcessResult* run();
  virtual ProcessResult* process();  // the base answers an unknown command
  Request* request() const { return m_request; }

  static constexpr long kBidLifetime = 315360000;  // ten years

 protected:
  Request* m_request;
  ProcessResult* m_result = nullptr;
  bool m_newBid = false;

 private:
  std::unique_ptr<Config> m_config;
};

class CmdProcessorCreator {
 public:
  explicit CmdProcessorCreator(const char* name);
  virtual ~CmdProcessorCreator() = default;
  virtual CmdProcessor* create(Request* request) = 0;
};

template <typename T>
class CmdProcessorCreatorImpl : public CmdProcessorCreator {
 public:
  using CmdProcessorCreator::CmdProcessorCreator;
  CmdProcessor* create(Request* request) override { return new T(request); }
};

using CommandRegistry = std::map<std::string, CmdProcessorCreator*>;
CommandRegistry& commandRegistry();
CmdProcessor* createProcessor(CommandRegistry& registry, Request* request);

class CmdMultiActionProcessor : public CmdProcessor {
 public:
  using CmdProcessor::CmdProcessor;
  ProcessResult* process() override;

 protected:
  using Handler = ProcessResult* (CmdMultiActionProcessor::*)();
  template <typename T>
  void addAction(const std::string& name, ProcessResult* (T::*handler)()) {
    m_actions[name] = static_cast<Handler>(handler);
  }

 private:
  std::map<std::string, Handler> m_actions;
};

// A query parameter a command needs, with the answer when it is missing.
struct RequiredParameter {
  const char* name;
  const char* message;   // answered when the parameter is absent
  bool mayBeEmpty;       // false: an empty value counts as absent
};

// The error answer for the first required parameter that is missing, or null.
ProcessResult* checkRequired(const Request& request, std::initializer_list<RequiredParameter> parameters);
