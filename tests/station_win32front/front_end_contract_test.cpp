// The Windows front end keeps the front ends' contract (under Wine in the tests).
#include "support/front_end_contract.h"

#include <windows.h>

#include <commctrl.h>

#include "station/frontend/win32/wide.h"
#include "station/frontend/win32/win32_front_end.h"

namespace station::win32 {
namespace {

ControlKind kindOf(const std::string& name) {
  const ElementDesc* e = mainWindowDesc().find(name);
  return e ? e->kind : ControlKind::Label;
}

TEST(FrontEndContract, Win32) {
  Win32FrontEnd fe;
  createWindow(fe, mainWindowDesc());
  createWindow(fe, previewWindowDesc());
  testing::FrontEndSubject s;
  s.frontEnd = &fe;
  s.setInputs = [&](FrontEndInputs inputs) { fe.setInputs(std::move(inputs)); };
  s.text = [&](const std::string& n) { return narrow(windowText(fe.handle(n))); };
  s.enabled = [&](const std::string& n) { return IsWindowEnabled(fe.handle(n)) != FALSE; };
  s.visible = [&](const std::string& n) { return (GetWindowLongW(fe.handle(n), GWL_STYLE) & WS_VISIBLE) != 0; };
  s.checked = [&](const std::string& n) { return SendMessageW(fe.handle(n), BM_GETCHECK, 0, 0) == BST_CHECKED; };
  s.value = [&](const std::string& n) -> int {
    HWND h = fe.handle(n);
    switch (kindOf(n)) {
      case ControlKind::ProgressBar: return static_cast<int>(SendMessageW(h, PBM_GETPOS, 0, 0));
      case ControlKind::ComboBox: return static_cast<int>(SendMessageW(h, CB_GETCURSEL, 0, 0));
      case ControlKind::TrackBar: return static_cast<int>(SendMessageW(h, TBM_GETPOS, 0, 0));
      case ControlKind::PageControl: return static_cast<int>(SendMessageW(h, TCM_GETCURSEL, 0, 0));
      default: return -1;
    }
  };
  s.items = [&](const std::string& n) {
    std::vector<std::string> out;
    HWND h = fe.handle(n);
    const int count = static_cast<int>(SendMessageW(h, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
      std::wstring text(static_cast<size_t>(SendMessageW(h, LB_GETTEXTLEN, i, 0)), L'\0');
      SendMessageW(h, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
      out.push_back(narrow(text));
    }
    return out;
  };
  s.colour = [&](const std::string& n) -> std::string {
    const COLORREF c = fe.textColour(n);
    if (c == RGB(255, 0, 0)) return "red";
    if (c == RGB(0, 0, 255)) return "blue";
    return c == GetSysColor(COLOR_WINDOWTEXT) ? "window" : "other";
  };
  s.settle = [](int ms) {
    const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
    MSG m;
    do {
      while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
      }
      Sleep(1);
    } while (static_cast<LONG>(end - GetTickCount()) > 0);
  };
  testing::checkFrontEndContract(s);
}

}  // namespace
}  // namespace station::win32
