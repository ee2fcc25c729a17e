#include "core/donation.h"

#include <ctime>

#include "core/config.h"

namespace {

const long kOneDay = 86400;
const long kFourDays = 345600;

Json::Value& counters() {
  Json::Value& root = Config::instance()->root();
  Json::Value& counters = root["do"];
  if (!counters.isObject()) {
    counters = Json::Value(Json::objectValue);
    counters["last_check"] = Json::UInt(0);
    counters["r_starts"] = 7;
  }
  return counters;
}

}  // namespace

bool donationReminderDue() {
  Json::Value& state = counters();
  // A hand-edited counter beyond the integer ranges counts as absent; reading
  // it as a number would throw and fail every later app_info.
  int starts = state["r_starts"].isInt() ? state["r_starts"].asInt() : 0;
  if (starts == 0) return false;
  const Json::Value& last = state["last_check"];
  long lastCheck = last.isInt64() ? static_cast<long>(last.asInt64()) : 0;
  long now = static_cast<long>(time(nullptr));
  long elapsed = now - lastCheck;
  if (elapsed > kFourDays)
    starts = 6;
  else if (elapsed > kOneDay)
    starts -= 1;
  state["last_check"] = Json::UInt64(now);
  state["r_starts"] = starts;
  return starts == 0;
}

int donationRemainingStarts() {
  const Json::Value& root = Config::instance()->root();
  const Json::Value& state = root["do"];
  if (state.isObject() && state["r_starts"].isInt()) return state["r_starts"].asInt();
  return 999;
}

void donationRemindLater() { counters()["r_starts"] = 3; }
