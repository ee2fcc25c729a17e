// "history": the history poller's "update", the front end's list ("get") and
// resuming a folder at its file and position ("resume_play").
#include "core/cmdprocessor.h"
#include "playback/history.h"
#include "playback/tavo.h"

namespace {

class CmdProcHistory : public CmdMultiActionProcessor {
 public:
  explicit CmdProcHistory(Request* request);

 private:
  static const Action kActions[];

  ProcessResult* update() {
    Tavo::instance().recordPlayback();
    return makeOkResult("");
  }

  ProcessResult* get() { return new ProcessResultJson(History::answer()); }

  ProcessResult* resumePlay() {
    if (ProcessResult* missing = checkRequired(*m_request, {{"dir_play_path", "dir_play_path not defined", false},
                                                            {"start_index", "start_index not defined", true},
                                                            {"position", "position not defined", true}}))
      return missing;
    Tavo& tavo = Tavo::instance();
    tavo.playDirectory(m_request->get("dir_play_path"), m_request->getInt("start_index"));
    tavo.seekTo(m_request->getInt("position"));
    return makeOkResult("");
  }
};

const CmdMultiActionProcessor::Action CmdProcHistory::kActions[] = {
    {"update", &CmdProcHistory::update}, {"get", &CmdProcHistory::get}, {"resume_play", &CmdProcHistory::resumePlay}};

CmdProcHistory::CmdProcHistory(Request* request) : CmdMultiActionProcessor(request, kActions) {}

CmdProcessorCreatorImpl<CmdProcHistory> s_creator("history");

}  // namespace
