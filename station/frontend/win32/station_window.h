// The station's windows on Windows: the window description's Form1 and frmBmpPreview made
// as native windows by the Win32 front end; the shell binds them to the model and runs
// them. The operator's input reaches the binder, and the preview window's own buttons
// reach the preview.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "station/frontend/win32/win32_front_end.h"
#include "station/window/binder.h"
#include "station/window/front_end_host.h"
#include "station/window/preview_window.h"

namespace station::win32 {

// The window as it shows on the screen (caption and frame included), as a 24-bit BMP.
bool captureWindow(HWND window, const std::string& path);
// The window thread's messages for about `ms` milliseconds (less when its loop is to end).
void pumpMessagesFor(int ms);

class StationWindow : public FrontEndHost {
 public:
  explicit StationWindow(Win32Dialogs dialogs = {});
  ~StationWindow() override;
  StationWindow(const StationWindow&) = delete;
  StationWindow& operator=(const StationWindow&) = delete;

  HWND window() const;
  // Run on the window thread once the station is up (the self-check starts there).
  void setOnReady(std::function<void()> onReady) { onReady_ = std::move(onReady); }

  StationModel& model() { return binder_->model(); }
  Binder& binder() { return *binder_; }
  PreviewWindow& preview() { return *preview_; }

  Win32FrontEnd& frontEnd() override { return *frontEnd_; }
  void configure(BinderDeps& deps) override;
  void bind(Binder& binder, std::function<bool()> closing) override;
  void made() override;
  std::function<void()> pump() override;
  // Centred and shown.
  void showWindow() override;
  void ready() override;
  // The window thread's message loop until the main window has closed.
  void runLoop() override;
  void requestClose() override;
  // A 24-bit BMP of the window as it shows on the screen.
  bool screenshot(const std::string& path) override;
  void* nativeWindow() override { return window(); }
  void fatal(const std::string& text) override;

 private:
  void close();

  std::unique_ptr<Win32FrontEnd> frontEnd_;
  std::unique_ptr<PreviewWindow> preview_;
  Binder* binder_ = nullptr;
  std::function<bool()> closing_;
  std::function<void()> onReady_;
};

}  // namespace station::win32
