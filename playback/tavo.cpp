#include "playback/tavo.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>

#include "core/config.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/process.h"
#include "core/sysio.h"
#include "core/utils.h"

namespace {

const long kCommandPauseMillis = 170;  // the player needs this after every run
const long kStartPauseMillis = 1000;
const long kPollPauseMillis = 1000;
const int kPlaybackTries = 3;
// The control program answers at once; one that hangs must not hold the
// request semaphore for ever.
const int kControlTimeLimitSeconds = 30;
const size_t kQueryLimit = 128;  // the query text with its terminator

// Each wait has one deadline, whatever one answer of the player costs. A
// player takes well under a minute to boot: one that is not awake after
// about a minute is not going to wake.
const int kPowerOnSeconds = 60;
const char kNoWake[] = "player does not wake up";
// Three status queries and two pauses take about 2.5 s.
const long kPlaybackWaitMillis = 15000;

Tavo::PauseFunction g_pause = sleepMillis;

int signOf(int64_t value) { return value < 0 ? -1 : 1; }
uint64_t magnitude(int64_t value) {
  return value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
}

// Key presses of one time jump: pages of 10 minutes, minutes and 10 seconds.
struct JumpSteps {
  int64_t pages;
  int64_t minutes;
  int64_t tens;
};

// The fewest presses that cover d seconds (a multiple of 10) from position;
// a step in the other direction replaces 7 or more minutes or 5 or more tens,
// but never near either end of the item.
JumpSteps planJump(int64_t position, int64_t duration, int64_t d) {
  JumpSteps steps{d / 600, 0, 0};
  d -= steps.pages * 600;
  int64_t cur = position + steps.pages * 600;
  steps.minutes = d / 60;
  if ((steps.minutes >= 7 || steps.minutes <= -7) && cur > 600 && cur < duration - 600) {
    int s = signOf(d);
    steps.pages += s;
    d -= s * 600;
    cur += s * 600;
    steps.minutes = d / 60;
  }
  d -= steps.minutes * 60;
  cur += steps.minutes * 60;
  steps.tens = d / 10;
  if (steps.tens >= 5 && cur > 60 && cur < duration - 60) {
    int s = signOf(d);
    steps.minutes += s;
    d -= s * 60;
    steps.tens = d / 10;
  }
  return steps;
}

void addPresses(std::vector<std::string>& requests, int64_t count, const char* upKey, const char* downKey) {
  const std::string request = std::string("cmd=ir_code&ir_code=") + (count > 0 ? upKey : downKey);
  for (int64_t i = count < 0 ? -count : count; i > 0; --i) requests.push_back(request);
}

std::string encoded(const std::string& text) {
  char* encodedText = urlEncode(text.c_str());
  std::string out = encodedText;
  free(encodedText);
  return out;
}

}  // namespace

std::vector<std::string> seekRequests(const PlayerStatus& status, int target) {
  std::vector<std::string> requests;
  // No recording lasts a day; a duration of years (a player's answer of
  // 2^31 - 1 seconds) would plan key presses for days.
  int64_t duration = status.duration;
  if (!status.isVideo) duration = std::min<int64_t>(duration, kMaxKeyedSeekSeconds);
  int64_t to = target;
  if (to == duration)
    to = 0;
  else if (to > duration)
    to = duration - 10;
  if (duration < 10 || to == status.position) return requests;
  if (status.isVideo) {
    requests.push_back("cmd=set_playback_state&position=" + std::to_string(to));
    return requests;
  }
  int64_t d = to - status.position;
  int64_t below = ((d % 10) + 10) % 10;  // lands on the next lower multiple of 10
  JumpSteps steps = planJump(status.position, duration, d - below);
  uint64_t presses = 2 + magnitude(steps.pages) + magnitude(steps.minutes) + magnitude(steps.tens);
  if (presses > kMaxSeekPresses) throw TavoException(kSeekTooFar);
  requests.push_back(std::string("cmd=ir_code&ir_code=") + IR_RIGHT);
  addPresses(requests, steps.pages, IR_PAGE_UP, IR_PAGE_DOWN);
  addPresses(requests, steps.minutes, IR_UP, IR_DOWN);
  addPresses(requests, steps.tens, IR_RIGHT, IR_LEFT);
  requests.push_back(std::string("cmd=ir_code&ir_code=") + IR_ENTER);
  return requests;
}

Tavo& Tavo::instance() {
  static Tavo tavo;
  return tavo;
}

void Tavo::setPauseFunction(PauseFunction pause) { g_pause = pause ? pause : sleepMillis; }

void Tavo::pause(long millis) { g_pause(millis); }

// A pause that ends with the wait's deadline at the latest.
void Tavo::pauseWithin(long millis) {
  if (m_deadlineAt != 0) millis = std::max(0L, std::min(millis, m_deadlineAt - monotonicMillis()));
  g_pause(millis);
}

Tavo::Deadline::Deadline(Tavo& tavo, long millis, const char* message)
    : m_tavo(tavo), m_savedAt(tavo.m_deadlineAt), m_savedMessage(tavo.m_deadlineMessage) {
  long at = monotonicMillis() + millis;
  if (m_savedAt == 0 || at < m_savedAt) {
    tavo.m_deadlineAt = at;
    tavo.m_deadlineMessage = message;
  }
}

Tavo::Deadline::~Deadline() {
  m_tavo.m_deadlineAt = m_savedAt;
  m_tavo.m_deadlineMessage = m_savedMessage;
}

bool Tavo::deadlinePassed() const { return m_deadlineAt != 0 && monotonicMillis() >= m_deadlineAt; }

// The time a run of the control program may take: its own limit, cut to what
// is left of the wait.
int Tavo::runLimitSeconds() const {
  if (m_deadlineAt == 0) return kControlTimeLimitSeconds;
  long left = m_deadlineAt - monotonicMillis();
  if (left <= 0) throw TavoException(m_deadlineMessage);
  return static_cast<int>(std::min<long>(kControlTimeLimitSeconds, (left + 999) / 1000));
}

void Tavo::afterRun(bool timedOut) const {
  if (timedOut && deadlinePassed()) throw TavoException(m_deadlineMessage);
}

void Tavo::sendCommand(const std::string& query) {
  setenv("QUERY_STRING", query.c_str(), 1);
  setenv("REQUEST_METHOD", "GET", 1);
  ProgramResult result = runProgram(rooted(paths::kControlProgram), {}, runLimitSeconds());
  afterRun(result.timedOut);
  g_pause(kCommandPauseMillis);
}

std::string Tavo::queryCommand(const std::string& name) {
  std::string query = ("cmd=" + name).substr(0, kQueryLimit - 1);
  setenv("QUERY_STRING", query.c_str(), 1);
  setenv("REQUEST_METHOD", "GET", 1);
  ProgramResult result = runProgramCapture(rooted(paths::kControlProgram), {}, runLimitSeconds());
  afterRun(result.timedOut);
  if (result.outputCut) logError("the control program answered more than %zu bytes", kMaxCapturedOutput);
  g_pause(kCommandPauseMillis);
  size_t xml = result.output.find("<?xml");
  return xml == std::string::npos ? "" : result.output.substr(xml);
}

void Tavo::refresh() { parseStatus(queryCommand("status"), m_status); }

void Tavo::waitForPlayback() {
  Deadline deadline(*this, kPlaybackWaitMillis, kNoAnswer);
  refresh();
  int triesLeft = kPlaybackTries;
  while (m_status.position < 2 || m_status.playbackUrl.empty()) {
    if (--triesLeft == 0 || deadlinePassed()) return;
    pauseWithin(kPollPauseMillis);
    refresh();
  }
}

bool Tavo::isAwake() {
  refresh();
  return reportsAwake(m_status);
}

void Tavo::powerOn() {
  Deadline deadline(*this, sandboxTimeLimit("TAVORC_POWERON_TIME_LIMIT", kPowerOnSeconds) * 1000L, kNoWake);
  if (isAwake()) return;
  pressKey(IR_POWER);
  for (;;) {
    if (isAwake()) return;
    if (deadlinePassed()) throw TavoException(kNoWake);
    pauseWithin(kPollPauseMillis);
  }
}

void Tavo::pressKey(const char* code) { sendCommand(std::string("cmd=ir_code&ir_code=") + code); }

void Tavo::seek(int target) {
  std::vector<std::string> requests = seekRequests(m_status, target);
  Deadline deadline(*this, kKeySequenceMillis, kNoAnswer);
  for (const std::string& request : requests) sendCommand(request);
}

void Tavo::seekTo(int target) {
  refresh();
  seek(target);
}

void Tavo::addPosition(int delta) {
  refresh();
  int64_t target = static_cast<int64_t>(m_status.position) + delta;
  if (target > m_status.duration)
    target = static_cast<int64_t>(m_status.duration) - 10;
  else if (target < 0)
    target = 0;
  seek(static_cast<int>(target < INT_MIN ? INT_MIN : target));
}

void Tavo::addVolume(int delta) {
  refresh();
  int64_t volume = static_cast<int64_t>(m_status.volume) + delta;
  volume = volume < 0 ? 0 : (volume > 100 ? 100 : volume);
  sendCommand("cmd=set_playback_state&volume=" + std::to_string(volume));
}

void Tavo::seekPercent(int percent) {
  refresh();
  uint32_t target = static_cast<uint32_t>(m_status.duration) * static_cast<uint32_t>(percent) / 100u;
  seek(static_cast<int>(target));
}

void Tavo::startAndWait(const std::string& query) {
  sendCommand(query);
  g_pause(kStartPauseMillis);
  waitForPlayback();
  if (!reportsAwake(m_status)) wakeAndStartAgain(query);
}

void Tavo::wakeAndStartAgain(const std::string& query) {
  powerOn();
  sendCommand(query);
  g_pause(kStartPauseMillis);
  waitForPlayback();
}

void Tavo::startPlaylist(const std::string& mediaUrl, int startIndex) {
  if (Config* config = Config::instance()) config->setLpd(mediaUrl);
  std::string query = "cmd=start_playlist_playback&media_url=" + encoded(mediaUrl);
  if (startIndex > 0) query += "&start_index=" + std::to_string(startIndex);
  startAndWait(query);
}

// What is launched is no folder playlist of the system's: the folder that
// played before is forgotten, or a launched file inside it would count as one
// of its rows (and its position would enter that folder's history).
void Tavo::launch(const std::string& mediaUrl) {
  if (Config* config = Config::instance()) config->setLpd("");
  startAndWait("cmd=launch_media_url&media_url=" + encoded(mediaUrl));
}

void Tavo::toggleShuffle() {
  refresh();
  Deadline deadline(*this, kKeySequenceMillis, kNoAnswer);
  for (const char* key : {IR_PANEL, IR_ENTER, IR_SHUFFLE, IR_PANEL}) pressKey(key);
}

void Tavo::pressKeys(std::initializer_list<const char*> codes) {
  for (const char* code : codes) pressKey(code);
}

void Tavo::pressKey(const char* code, int times) {
  for (int i = 0; i < times; ++i) pressKey(code);
}
