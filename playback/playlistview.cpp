#include "playback/playlistview.h"

#include "core/config.h"
#include "core/jsonfile.h"

namespace {

const char kStateKey[] = "last_pl_state";

}  // namespace

void PlaylistViewState::normalize(int rows) {
  if (bottom > rows - 1) bottom = rows - 1;
  if (top > bottom - (kPageRows - 1)) top = bottom - (kPageRows - 1);
  if (top < 0) top = 0;
  if (pos < top)
    pos = top;
  else if (pos > bottom)
    pos = bottom;
}

bool PlaylistViewState::load(int rows, PlaylistViewState& into) {
  const Json::Value& stored = Config::instance()->root()[kStateKey];
  if (!stored.isObject()) return false;
  into.pos = intMember(stored, "pos");
  into.top = intMember(stored, "top");
  into.bottom = intMember(stored, "bottom");
  into.normalize(rows);
  return true;
}

void PlaylistViewState::store() const {
  Json::Value state(Json::objectValue);
  state["pos"] = pos;
  state["top"] = top;
  state["bottom"] = bottom;
  Config::instance()->root()[kStateKey] = state;
}
