// The worker of one production run: created per accepted player with the slot's drive
// letter, it runs the production sequence once on its own thread, keeps the row up to date,
// adds its result to the counters and disposes of itself. Nobody waits for it or stops it.
#pragma once

#include "platform/players.h"
#include "station/ops/run_reporter.h"
#include "station/ops/run_settings.h"

namespace station {

// Starts a run for the player under `drive` (the letter the caller has just stored in the
// slot's driveLetter). Returns at once; the run finds its slot by the letter itself.
// `report` and `settings` must outlive every run (the window model's, alive for the
// program's life).
// `players` too (the station's choice, made once at start-up).
void startProductThread(RunReporter& report, RunSettings& settings,
                        const platform::Players& players, char drive);

}  // namespace station
