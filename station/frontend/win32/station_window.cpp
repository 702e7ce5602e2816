#include "station/frontend/win32/station_window.h"

#include <cstdint>
#include <cstdio>
#include <fstream>

#include "platform/single_instance.h"
#include "station/settings/picture.h"

namespace station::win32 {

namespace {

const std::string& mainName() { return mainWindowDesc().window().name; }

// Messages waiting on the window thread, while a handler waits for work of its own; false
// when the loop that owns the window thread is to end.
bool pumpMessages() {
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    if (m.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(m.wParam));  // for the loop that owns it
      return false;
    }
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  return true;
}

}  // namespace

void pumpMessagesFor(int ms) {
  const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
  do {
    if (!pumpMessages()) return;
    Sleep(10);
  } while (static_cast<LONG>(end - GetTickCount()) > 0);
}

bool captureWindow(HWND w, const std::string& path) {
  SetWindowPos(w, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
  pumpMessagesFor(300);
  RECT r;
  GetWindowRect(w, &r);
  const int width = r.right - r.left, height = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(mem, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  Picture p;
  if (bitmap && bits) {
    HGDIOBJ old = SelectObject(mem, bitmap);
    BitBlt(mem, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    p.width = width;
    p.height = height;
    const auto* px = static_cast<const std::uint32_t*>(bits);
    p.rgb.assign(px, px + static_cast<size_t>(width) * height);
    for (std::uint32_t& v : p.rgb) v &= 0xFFFFFF;  // no alpha in the file
    SelectObject(mem, old);
    DeleteObject(bitmap);
  }
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  if (p.rgb.empty()) return false;
  const std::vector<std::uint8_t> bmp = encodeBmp24(p);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bmp.data()), static_cast<std::streamsize>(bmp.size()));
  return out.good();
}


StationWindow::StationWindow(Win32Dialogs dialogs) {
  frontEnd_ = std::make_unique<Win32FrontEnd>(std::move(dialogs));
  // The preview window exists before the main window is shown, hidden until a Preview.
  preview_ = std::make_unique<PreviewWindow>(*frontEnd_, loadPicture);
}

StationWindow::~StationWindow() = default;

HWND StationWindow::window() const { return frontEnd_->handle(mainName()); }

void StationWindow::configure(BinderDeps& b) {
  b.driveInPortCell = true;
  b.loader = loadPicture;
  PreviewWindow* preview = preview_.get();
  b.previewStartup = [preview] { preview->showStartup(); };
  b.previewShutdown = [preview] { preview->showShutdown(); };
  b.stopPreview = [preview] { preview->stopRequest(); };
  b.closePreview = [this] { frontEnd_->closeWindow(previewWindowDesc().window().name); };
}

void StationWindow::bind(Binder& binder, std::function<bool()> closing) {
  binder_ = &binder;
  closing_ = std::move(closing);
  FrontEndInputs inputs = inputsOf(binder);
  auto toBinder = inputs.clicked;
  PreviewWindow* preview = preview_.get();
  inputs.clicked = [preview, toBinder](const std::string& name) {
    if (!preview->clicked(name)) toBinder(name);
  };
  frontEnd_->setInputs(std::move(inputs));
}

void StationWindow::made() {
  SettingPage* page = binder_->settingPage();
  preview_->setSource([page] { return page->previewSource(); });
  frontEnd_->setCloseHandler(mainName(), [this] { close(); });
}

std::function<void()> StationWindow::pump() {
  return [] { pumpMessages(); };
}

void StationWindow::showWindow() {
  frontEnd_->centre(mainName());
  ShowWindow(window(), SW_SHOWNORMAL);
  UpdateWindow(window());
  SetForegroundWindow(window());
}

void StationWindow::ready() {
  FrontEndHost::ready();
  if (onReady_) onReady_();
}

void StationWindow::close() {
  if (closing_ && !closing_()) return;  // the window stays open
  DestroyWindow(window());
  PostQuitMessage(0);
}

void StationWindow::runLoop() {
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) {
    // Tab and the arrow keys move between the controls, as in a dialog.
    HWND top = GetAncestor(m.hwnd, GA_ROOT);
    if (top && IsDialogMessageW(top, &m)) continue;
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
}

void StationWindow::requestClose() { PostMessageW(window(), WM_CLOSE, 0, 0); }

bool StationWindow::screenshot(const std::string& path) { return captureWindow(window(), path); }

void StationWindow::fatal(const std::string& text) {
  MessageBoxA(nullptr, text.c_str(), platform::kInstanceName, MB_OK | MB_ICONERROR);
}

}  // namespace station::win32
