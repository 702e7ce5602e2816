// mpstation.exe: the production station on Windows, a native window over the shared window
// description; --headless runs the same station without one, as on Linux. --sim ROOT
// (or TARN_SIM): arrivals from the simulated players' events file and vendor requests
// answered by them, their volumes the drives of the same letters.
#include "station/frontend/win32/program.h"
#include "station/program/shell.h"

int main(int argc, char** argv) { station::exitProcess(station::win32::runWindowsProgram(argc, argv)); }
