// Tells every top-level window that a volume arrived (as the system does when a player is
// plugged), since Wine sends no arrival for anything a test can create.
//   send_device_change LETTER
#include <windows.h>
#include <dbt.h>

#include <cctype>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2 || !std::isalpha(static_cast<unsigned char>(argv[1][0]))) {
    std::fputs("usage: send_device_change LETTER\n", stderr);
    return 2;
  }
  DEV_BROADCAST_VOLUME volume = {};
  volume.dbcv_size = sizeof volume;
  volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
  volume.dbcv_unitmask = 1u << (std::toupper(static_cast<unsigned char>(argv[1][0])) - 'A');
  DWORD_PTR answer = 0;
  const LRESULT sent = SendMessageTimeoutW(HWND_BROADCAST, WM_DEVICECHANGE, DBT_DEVICEARRIVAL,
                                           reinterpret_cast<LPARAM>(&volume), SMTO_ABORTIFHUNG, 5000, &answer);
  return sent ? 0 : 1;
}
