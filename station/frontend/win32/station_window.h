// The station's windows on Windows: the window description's Form1 and frmBmpPreview made
// as native windows by the Win32 front end and kept up to date by the binder, which also
// takes the operator's input to the model's handlers. The volume notifications are looked
// at on the window thread on a timer, as the Qt window does.
#pragma once

#include <windows.h>

#include <memory>

#include "platform/volume_events.h"
#include "station/frontend/win32/win32_front_end.h"
#include "station/model/device_arrival.h"
#include "station/window/binder.h"
#include "station/window/preview_window.h"

namespace station::win32 {

struct StationWindowDeps {
  ArrivalContext* arrival = nullptr;
  platform::VolumeEvents* events = nullptr;
  Win32Dialogs dialogs;
  int eventPollMs = 50;
};

class StationWindow {
 public:
  StationWindow(StationModel& model, StationWindowDeps deps);
  ~StationWindow();
  StationWindow(const StationWindow&) = delete;
  StationWindow& operator=(const StationWindow&) = delete;

  HWND window() const;
  // Centred and shown; FormShow, then the notifications are looked at.
  void show();
  // The window thread's message loop until the main window has closed.
  int run();
  void pollVolumeEvents();

  StationModel& model() { return model_; }
  Win32FrontEnd& frontEnd() { return *frontEnd_; }
  Binder& binder() { return *binder_; }
  PreviewWindow& preview() { return *preview_; }

 private:
  void close();
  void detach();

  StationModel& model_;
  StationWindowDeps deps_;
  std::unique_ptr<Win32FrontEnd> frontEnd_;
  std::unique_ptr<PreviewWindow> preview_;
  std::unique_ptr<Binder> binder_;
  bool attached_ = false;
  bool shown_ = false;
};

}  // namespace station::win32
