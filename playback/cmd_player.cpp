// "player": the remote control. Each action checks its parameter and calls one
// operation of the player client; the client's failures are answered as
// errors here, everything else reaches the entry point.
#include "core/cmdprocessor.h"
#include "playback/playlist.h"
#include "playback/tavo.h"

namespace {

class CmdProcPlayerControl : public CmdMultiActionProcessor {
 public:
  explicit CmdProcPlayerControl(Request* request) : CmdMultiActionProcessor(request) {
    addAction("moveto", &CmdProcPlayerControl::moveTo);
    addAction("addvol", &CmdProcPlayerControl::addVolume);
    addAction("addpos", &CmdProcPlayerControl::addPosition);
    addAction("poweron", &CmdProcPlayerControl::powerOn);
    addAction("play", &CmdProcPlayerControl::play);
    addAction("playlist", &CmdProcPlayerControl::playlist);
    addAction("playlist_move", &CmdProcPlayerControl::playlistMove);
    addAction("toggle_shuffle", &CmdProcPlayerControl::toggleShuffle);
  }

  ProcessResult* process() override {
    try {
      return CmdMultiActionProcessor::process();
    } catch (const TavoException& error) {
      return makeErrorResult(error.what());
    }
  }

 private:
  int number(const char* name) const { return m_request->getInt(name); }

  ProcessResult* moveTo() {
    if (ProcessResult* missing = checkRequired(*m_request, {{"position", "position not defined", true}})) return missing;
    Tavo::instance().seekPercent(number("position"));
    return makeOkResult("");
  }

  ProcessResult* addVolume() {
    if (ProcessResult* missing = checkRequired(*m_request, {{"value", "value not defined", true}})) return missing;
    Tavo::instance().addVolume(number("value"));
    return makeOkResult("");
  }

  ProcessResult* addPosition() {
    if (ProcessResult* missing = checkRequired(*m_request, {{"value", "value not defined", true}})) return missing;
    Tavo::instance().addPosition(number("value"));
    return makeOkResult("");
  }

  ProcessResult* powerOn() {
    Tavo::instance().powerOn();
    return makeOkResult("");
  }

  ProcessResult* play() {
    if (ProcessResult* missing = checkRequired(*m_request, {{"play_path", "play_path not defined", false}}))
      return missing;
    Tavo::instance().play(m_request->get("play_path"));
    return makeOkResult("");
  }

  ProcessResult* playlist() {
    Json::Value answer(Json::objectValue);
    if (Playlist* playing = Tavo::instance().currentPlaylist()) playing->toJson(answer);
    return new ProcessResultJson(answer);
  }

  ProcessResult* playlistMove() {
    if (ProcessResult* missing = checkRequired(*m_request, {{"position", "position not defined", true}})) return missing;
    Tavo::instance().playlistMove(number("position"));
    return makeOkResult("");
  }

  ProcessResult* toggleShuffle() {
    Tavo::instance().toggleShuffle();
    return makeOkResult("");
  }
};

CmdProcessorCreatorImpl<CmdProcPlayerControl> s_creator("player");

}  // namespace
