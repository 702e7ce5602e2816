// The environment variables through which our programs hand things to each other: the one
// place their names are spelt.
#pragma once

#include <cstdlib>
#include <string>

namespace tarn {

// POSIX: the descriptor to which a tool writes its whole 32-bit exit value as decimal text
// (an exit status keeps only the low 8 bits). The launcher sets it for every child.
inline constexpr const char* kResultChannelVariable = "DEVCMD_RESULT_FD";

// The folder of the simulated players. Set, the device tool and the port finder drive the
// players under it instead of drives; the station sets it for its children when it runs
// on simulated players.
inline constexpr const char* kSimRootVariable = "TARN_SIM";

// The simulated players' folder this process was started with; empty for none.
inline std::string simRootFromEnvironment() {
  const char* root = std::getenv(kSimRootVariable);
  return root ? root : "";
}

}  // namespace tarn
