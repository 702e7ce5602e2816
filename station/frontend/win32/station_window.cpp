#include "station/frontend/win32/station_window.h"

#include <cstdio>

#include "platform/single_instance.h"
#include "station/frontend/win32/self_check.h"
#include "station/settings/picture.h"

namespace station::win32 {

namespace {

const std::string& mainName() { return mainWindowDesc().window().name; }

// Messages waiting on the window thread, while a handler waits for work of its own.
void pumpMessages() {
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    if (m.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(m.wParam));  // for the loop that owns it
      return;
    }
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
}

}  // namespace

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
  b.previewStartup = [preview] { preview->Button2Click(); };
  b.previewShutdown = [preview] { preview->Button5Click(); };
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

std::function<void()> StationWindow::pump() { return pumpMessages; }

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
