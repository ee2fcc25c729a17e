// The player's own network folders file (lines "field.index = value"): shares
// set up on the player, listed beside those stored by this program.
#pragma once

#include <list>
#include <string>

#include "network/networksource.h"

// The folders of the file's text, in index order, each marked persistent.
std::list<NetworkSource> parsePlayerNetworkFolders(const std::string& text);
std::list<NetworkSource> readPlayerNetworkFolders();
