// The control program's protocol: a query string in, a header block and an
// XML command_result out.
#pragma once

#include <string>

#include "player.h"

// "+" is a blank, "%xx" a byte; a broken escape stays as it is.
std::string urlDecode(const std::string& text);
std::string answerRequest(Player& player, const PlayerState& state, const std::string& query);
