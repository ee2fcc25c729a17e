// "player": the remote control. Each action checks its parameter and calls one
// operation of the player client; the client's failures are answered as
// errors here, everything else reaches the entry point.
#include "core/cmdprocessor.h"
#include "playback/nowplaying.h"
#include "playback/playlist.h"
#include "playback/remotekeys.h"
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

  ProcessResult* status() { return new ProcessResultJson(nowPlaying(Tavo::instance())); }

  // The remote's keys by name: the player client's, and those the owner added.
  ProcessResult* key() {
    if (ProcessResult* missing = checkRequired(*m_request, {{"key", "key not defined", false}})) return missing;
    std::string code = keyCodeOf(Config::instance()->root(), m_request->get("key"));
    if (code.empty()) return makeErrorResult("key not valid");
    Tavo::instance().pressKey(code.c_str());
    return makeOkResult("");
  }

  ProcessResult* keys() {
    Json::Value answer(Json::objectValue);
    answer["keys"] = usableKeys(Config::instance()->root());
    return new ProcessResultJson(answer);
  }

  ProcessResult* keyAdd() {
    if (ProcessResult* missing =
            checkRequired(*m_request, {{"key", "key not defined", false}, {"code", "code not defined", false}}))
      return missing;
    const std::string& name = m_request->get("key");
    const std::string& code = m_request->get("code");
    if (isBuiltInKeyName(name)) return makeErrorResult("key is built in");
    if (!isValidOwnerKeyName(name)) return makeErrorResult("key not valid");
    if (!isValidKeyCode(code)) return makeErrorResult("code not valid");
    Config* config = Config::instance();
    if (!config->changeWithinBound([&] { ownerKeys(config->root())[name] = code; }))
      return makeErrorResult(Config::kTooLarge);
    return makeOkResult("");
  }

  // Removing a key that is not there is no error.
  ProcessResult* keyDel() {
    if (ProcessResult* missing = checkRequired(*m_request, {{"key", "key not defined", false}})) return missing;
    const std::string& name = m_request->get("key");
    if (isBuiltInKeyName(name)) return makeErrorResult("key is built in");
    removeOwnerKey(Config::instance()->root(), name);
    return makeOkResult("");
  }
};

const CmdMultiActionProcessor::Action CmdProcPlayerControl::kActions[] = {
    {"moveto", &CmdProcPlayerControl::moveTo},
    {"addvol", &CmdProcPlayerControl::addVolume},
    {"addpos", &CmdProcPlayerControl::addPosition},
    {"poweron", &CmdProcPlayerControl::powerOn},
    {"play", &CmdProcPlayerControl::play},
    {"playlist", &CmdProcPlayerControl::playlist},
    {"playlist_move", &CmdProcPlayerControl::playlistMove},
    {"toggle_shuffle", &CmdProcPlayerControl::toggleShuffle},
    {"status", &CmdProcPlayerControl::status},
    {"key", &CmdProcPlayerControl::key},
    {"keys", &CmdProcPlayerControl::keys},
    {"key_add", &CmdProcPlayerControl::keyAdd},
    {"key_del", &CmdProcPlayerControl::keyDel}};

CmdProcPlayerControl::CmdProcPlayerControl(Request* request) : CmdMultiActionProcessor(request, kActions) {}

CmdProcessorCreatorImpl<CmdProcPlayerControl> s_creator("player");

}  // namespace
