#include <climits>
#include <cstdlib>
#include <cstring>
#include <pugixml.hpp>

#include "playback/tavo.h"

namespace {

// Like atoi, but a value beyond int saturates instead of being undefined.
int leadingInt(const char* text) {
  long long value = strtoll(text, nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

void applyParam(PlayerStatus& status, const char* name, const char* value) {
  if (strcmp(name, "playback_video_width") == 0)
    status.isVideo = leadingInt(value) > 0;
  else if (strcmp(name, "player_state") == 0)
    status.playerState = value;
  else if (strcmp(name, "playback_duration") == 0)
    status.duration = leadingInt(value);
  else if (strcmp(name, "playback_position") == 0)
    status.position = leadingInt(value);
  else if (strcmp(name, "playback_volume") == 0)
    status.volume = leadingInt(value);
  else if (strcmp(name, "playback_url") == 0)
    status.playbackUrl = value;
}

}  // namespace

void parseStatus(const std::string& answer, PlayerStatus& status) {
  pugi::xml_document document;
  pugi::xml_parse_result parsed;
  try {
    parsed = document.load_string(answer.c_str());
  } catch (const std::exception&) {
    throw TavoException("xml response parse failed");
  }
  // An answer without any element (no "<?xml" at all) is an empty document.
  if (!parsed && parsed.status != pugi::status_no_document_element) throw TavoException("xml response parse failed");
  pugi::xml_node root = document.first_child();
  if (!root || strcmp(root.name(), "command_result") != 0) throw TavoException("invalid xml response");
  for (pugi::xml_node child = root.first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_element) continue;
    pugi::xml_attribute name = child.attribute("name");
    pugi::xml_attribute value = child.attribute("value");
    if (name && value) applyParam(status, name.value(), value.value());
  }
}
