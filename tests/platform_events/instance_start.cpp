// A later start of the station as far as the single-instance check goes: exit code 3 when
// it reached the running window, 4 when the lock was taken but no window was reached, 0
// when it was the first (it then holds the lock for a moment and ends).
#include <windows.h>

#include "platform/single_instance.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  platform::InstanceCheck check = platform::checkSingleInstance(argv[1], "");
  if (check.lock) return 0;
  return check.reachedRunning ? 3 : 4;
}
