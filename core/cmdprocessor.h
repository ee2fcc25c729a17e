// Commands: the base classes, the registry that maps a "cmd" name to the
// creator of its processor, and dispatch by "action".
#pragma once

#include <initializer_list>
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
  // Deletes the result, then the configuration. In the program that writes
  // nothing more: run() saved it before the answer left, and after an
  // exception the entry point dropped its changes (the configuration's
  // destructor saves only when neither happened).
  virtual ~CmdProcessor();

  ProcessResult* run();
  virtual ProcessResult* process();  // the base answers an unknown command

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

 private:
  friend class CommandRegistry;
  const char* m_name;
  CmdProcessorCreator* m_next = nullptr;
};

template <typename T>
class CmdProcessorCreatorImpl : public CmdProcessorCreator {
 public:
  using CmdProcessorCreator::CmdProcessorCreator;
  CmdProcessor* create(Request* request) override { return new T(request); }
};

// The commands, each added by its creator before main runs. The list is
// linked through the creators themselves: starting a request costs no
// allocation for commands it does not run.
class CommandRegistry {
 public:
  void add(CmdProcessorCreator* creator);
  CmdProcessorCreator* find(const std::string& name) const;  // the first added of that name

 private:
  CmdProcessorCreator* m_first = nullptr;
  CmdProcessorCreator* m_last = nullptr;
};

CommandRegistry& commandRegistry();
CmdProcessor* createProcessor(CommandRegistry& registry, Request* request);

// A command whose "action" parameter chooses one of its handlers.
class CmdMultiActionProcessor : public CmdProcessor {
 public:
  ProcessResult* process() override;

 protected:
  using Handler = ProcessResult* (CmdMultiActionProcessor::*)();
  // One row of a command's action table: the "action" value and its handler.
  struct Action {
    template <typename T>
    constexpr Action(const char* actionName, ProcessResult* (T::*method)())
        : name(actionName), handler(static_cast<Handler>(method)) {}
    const char* name;
    Handler handler;
  };
  // Each command passes its static table of actions; of two rows with one
  // name, the later counts. The table is defined after the command's class
  // and the constructor after the table, where the table's size is known.
  template <size_t N>
  CmdMultiActionProcessor(Request* request, const Action (&actions)[N])
      : CmdProcessor(request), m_actions(actions), m_actionCount(N) {}

 private:
  const Action* m_actions;
  size_t m_actionCount;
};

// A query parameter a command needs, with the answer when it is missing.
struct RequiredParameter {
  const char* name;
  const char* message;  // answered when the parameter is absent
  bool mayBeEmpty;      // false: an empty value counts as absent
};

// The error answer for the first required parameter that is missing, or null.
ProcessResult* checkRequired(const Request& request, std::initializer_list<RequiredParameter> parameters);
