// The simulated players under a folder, as the station's source of players.
#pragma once

#include "platform/players.h"

namespace platform {

// Arrivals from <root>/events everywhere. On Windows the players' volumes are drives of the
// system (folder drives under Wine), so volumes and topology are the system's; elsewhere
// they are the players' volume.img and their letters.
std::unique_ptr<Players> makeSimPlayers(std::string root);

}  // namespace platform
