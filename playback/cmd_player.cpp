// "player": the remote control. Each action checks its parameter and calls one
// operation of the player client; the client's failures are answered as
// errors here, everything else reaches the entry point.
#include "core/cmdprocessor.h"
#include "playback/playlist.h"
#include "playback/tavo.h"

namespace {

class CmdProcPlayerControl : public CmdMultiActionProcessor {
 public:
  explicit CmdProcPlayerControl(Request* request);

  ProcessResult* process() override {
    try {
      return CmdMultiActionProcessor::process();
    } catch (const TavoException& error) {
      return makeErrorResult(error.what());
    }
  }

 private:
  static const Action kActions[];

  // The operation with the number parameter NAME, which must be there (empty
  // reads as 0); "NAME not defined" when it is not.
  ProcessResult* withNumber(const char* name, void (Tavo::*operation)(int)) {
    std::string message = std::string(name) + " not defined";
    if (ProcessResult* missing = checkRequired(*m_request, {{name, message.c_str(), true}})) return missing;
    (Tavo::instance().*operation)(m_request->getInt(name));
    return makeOkResult("");
  }

  ProcessResult* withoutParameter(void (Tavo::*operation)()) {
    (Tavo::instance().*operation)();
    return makeOkResult("");
  }

  ProcessResult* moveTo() { return withNumber("position", &Tavo::seekPercent); }
  ProcessResult* addVolume() { return withNumber("value", &Tavo::addVolume); }
  ProcessResult* addPosition() { return withNumber("value", &Tavo::addPosition); }
  ProcessResult* playlistMove() { return withNumber("position", &Tavo::playlistMove); }
  ProcessResult* powerOn() { return withoutParameter(&Tavo::powerOn); }
  ProcessResult* toggleShuffle() { return withoutParameter(&Tavo::toggleShuffle); }

  ProcessResult* play() {
    if (ProcessResult* missing = checkRequired(*m_request, {{"play_path", "play_path not defined", false}}))
      return missing;
    Tavo::instance().play(m_request->get("play_path"));
    return makeOkResult("");
  }

  ProcessResult* playlist() {
    if (Playlist* playing = Tavo::instance().currentPlaylist())
      return new ProcessResultJsonText(playlistAnswerText(playing->items()));
    return new ProcessResultJson(Json::Value(Json::objectValue));
  }
};

const CmdMultiActionProcessor::Action CmdProcPlayerControl::kActions[] = {
    {"moveto", &CmdProcPlayerControl::moveTo}, {"addvol", &CmdProcPlayerControl::addVolume},
    {"addpos", &CmdProcPlayerControl::addPosition}, {"poweron", &CmdProcPlayerControl::powerOn},
    {"play", &CmdProcPlayerControl::play}, {"playlist", &CmdProcPlayerControl::playlist},
    {"playlist_move", &CmdProcPlayerControl::playlistMove}, {"toggle_shuffle", &CmdProcPlayerControl::toggleShuffle}};

CmdProcPlayerControl::CmdProcPlayerControl(Request* request) : CmdMultiActionProcessor(request, kActions) {}

CmdProcessorCreatorImpl<CmdProcPlayerControl> s_creator("player");

}  // namespace
