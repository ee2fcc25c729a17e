// playersim: a stand-in for the player's control program.
//
// As the control program (QUERY_STRING set, no arguments) it logs the query,
// applies it to the state kept in the sandbox and answers it. As a tool,
// "playersim <root> show|set|reset|rows" reads or changes that state.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "player.h"
#include "requests.h"
#include "sandbox.h"

namespace {

PlayerState loadState(const Sandbox& box) {
  std::string text;
  PlayerState s;
  if (readFile(box.statePath(), text))
    s = parseState(text);
  else
    s.stamp = nowMs();
  return s;
}

MediaMap loadMedia(const Sandbox& box) {
  MediaMap media;
  media.load(box.mediaConfPath());
  return media;
}

bool saveState(const Sandbox& box, const PlayerState& s) {
  if (writeFileAtomic(box.statePath(), formatState(s))) return true;
  fprintf(stderr, "playersim: cannot write %s\n", box.statePath().c_str());
  return false;
}

int runControlProgram(const char* argv0) {
  Sandbox box(discoverRoot(argv0));
  makeDirs(box.dir());
  SandboxLock lock(box);
  const char* query = getenv("QUERY_STRING");
  appendLine(box.logPath(), query);
  PlayerState s = loadState(box);
  if (s.answerDelayMs > 0) usleep(static_cast<useconds_t>(s.answerDelayMs) * 1000);
  MediaMap media = loadMedia(box);
  Player player(s, media, nowMs());
  player.advance();
  std::string answer = answerRequest(player, s, query);
  saveState(box, s);
  fwrite(answer.data(), 1, answer.size(), stdout);
  return 0;
}

int toolShow(const Sandbox& box, int, char**) {
  PlayerState s = loadState(box);
  MediaMap media = loadMedia(box);
  Player player(s, media, nowMs());
  player.advance();
  printf("power=%s\nrow=%d\n%s", player.isAwake() || s.playerState == kLoading ? "on" : "standby", player.playingRow(),
         formatState(s).c_str());
  return 0;
}

bool applySetting(Player& player, PlayerState& s, const std::string& key, const std::string& value) {
  if (key == "power" && (value == "on" || value == "standby")) {
    value == "on" ? player.wake() : player.standby();
    return true;
  }
  if (!setStateField(s, key, value)) return false;
  if (key == "position" || key == "clock") s.stamp = nowMs();
  return true;
}

int toolSet(const Sandbox& box, int argc, char** argv) {
  PlayerState s = loadState(box);
  MediaMap media = loadMedia(box);
  Player player(s, media, nowMs());
  player.advance();
  for (int i = 0; i < argc; ++i) {
    const char* eq = strchr(argv[i], '=');
    if (!eq || !applySetting(player, s, std::string(argv[i], static_cast<size_t>(eq - argv[i])), eq + 1)) {
      fprintf(stderr, "playersim: cannot set '%s'\n", argv[i]);
      return 2;
    }
  }
  return saveState(box, s) ? 0 : 1;
}

int toolReset(const Sandbox& box, int, char**) {
  PlayerState s;
  s.stamp = nowMs();
  bool ok = saveState(box, s) && writeFileAtomic(box.logPath(), "");
  return ok ? 0 : 1;
}

int toolRows(const Sandbox& box, int, char**) {
  PlayerState s = loadState(box);
  MediaMap media = loadMedia(box);
  Player player(s, media, nowMs());
  for (const ListItem& item : player.items().items) {
    printf("%d %d %s\n", item.row, item.number, item.path.c_str());
    for (const Track& t : item.tracks) printf("%d - %s@%d\n", t.row, item.path.c_str(), t.start);
  }
  return 0;
}

const struct {
  const char* verb;
  int (*run)(const Sandbox&, int, char**);
} kVerbs[] = {
    {"show", toolShow},
    {"set", toolSet},
    {"reset", toolReset},
    {"rows", toolRows},
};

int usage() {
  fprintf(stderr,
          "usage: playersim <root> show|set key=value...|reset|rows\n"
          "   or: QUERY_STRING=... playersim (as the control program)\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 1 && getenv("QUERY_STRING")) return runControlProgram(argv[0]);
  if (argc < 3) return usage();
  Sandbox box(argv[1]);
  if (!makeDirs(box.dir())) {
    fprintf(stderr, "playersim: cannot create %s\n", box.dir().c_str());
    return 1;
  }
  for (const auto& v : kVerbs) {
    if (strcmp(argv[2], v.verb) == 0) {
      SandboxLock lock(box);
      return v.run(box, argc - 3, argv + 3);
    }
  }
  return usage();
}
