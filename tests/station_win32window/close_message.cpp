// Reads and closes a message box as the operator does: waits for the box with the given
// caption, prints its text (UTF-8) and presses its OK button.
//   close_message CAPTION
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: close_message CAPTION\n", stderr);
    return 2;
  }
  HWND box = nullptr;
  for (int i = 0; i < 300 && !box; ++i) {
    box = FindWindowA("#32770", argv[1]);
    if (!box) Sleep(100);
  }
  if (!box) {
    std::fputs("no message box\n", stderr);
    return 1;
  }
  Sleep(200);
  wchar_t text[2048] = {};
  GetDlgItemTextW(box, 0xFFFF, text, 2048);
  char utf8[8192] = {};
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
  std::printf("%s\n", utf8);
  std::fflush(stdout);
  SendMessageW(box, WM_COMMAND, IDOK, 0);
  return 0;
}
