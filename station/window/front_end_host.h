// What a front end gives the station's shell besides its controls: the binder's
// front-end part, showing the window, its loop and its close. The shell owns everything
// else (the binder, the notifications, the limits, signals, exit codes); a front end
// implements this and FrontEnd and knows nothing of the program around it.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "station/window/binder.h"
#include "station/window/front_end.h"

namespace station {

class FrontEndHost {
 public:
  virtual ~FrontEndHost() = default;

  virtual FrontEnd& frontEnd() = 0;
  // The binder's front-end part: the picture loader, the preview window's hooks, how the
  // port cell shows a drive.
  virtual void configure(BinderDeps& deps) = 0;
  // Before the controls are made: the operator's input goes to `binder` from now on, and
  // the main window's close calls `closing` (FormClose; false: the window stays open).
  virtual void bind(Binder& binder, std::function<bool()> closing) = 0;
  // After the controls are made and filled.
  virtual void made() {}
  // What a handler that waits for other work runs meanwhile; empty: nothing.
  virtual std::function<void()> pump() { return {}; }

  // Shows the main window (FormShow follows).
  virtual void showWindow() = 0;
  // The station is up: FormShow has run; scripts wait for this line before they plug players.
  virtual void ready() {
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
  }
  // The front end's loop until the main window has closed.
  virtual void runLoop() = 0;
  // Any thread: the main window closes as the operator's close would.
  virtual void requestClose() = 0;
  // Window thread: the main window as a picture file; false when none was written.
  virtual bool screenshot(const std::string& path) = 0;
  // A line of the station's own trace (notifications, limits); any thread.
  virtual void trace(const std::string&) {}
  // After the loop and the binder's detach: work still queued for the window thread.
  virtual void drain() {}
  // The single instance's window and its coming forward for a later start.
  virtual void* nativeWindow() { return nullptr; }
  virtual void comeForward() {}
  // An error that stops the start, told the operator's way.
  virtual void fatal(const std::string& text) { std::fprintf(stderr, "mpstation: %s\n", text.c_str()); }
};

}  // namespace station
