#include "station/frontend/win32/station_window.h"

#include <thread>

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

StationWindow::StationWindow(StationModel& model, StationWindowDeps deps) : model_(model), deps_(std::move(deps)) {
  frontEnd_ = std::make_unique<Win32FrontEnd>(deps_.dialogs);
  // The preview window exists before the main window is shown, hidden until a Preview.
  preview_ = std::make_unique<PreviewWindow>(*frontEnd_, loadPicture);
  BinderDeps b;
  b.driveInPortCell = true;
  b.loader = loadPicture;
  PreviewWindow* preview = preview_.get();
  b.previewStartup = [preview] { preview->Button2Click(); };
  b.previewShutdown = [preview] { preview->Button5Click(); };
  b.stopPreview = [preview] { preview->stopRequest(); };
  b.closePreview = [this] { frontEnd_->closeWindow(previewWindowDesc().window().name); };
  binder_ = std::make_unique<Binder>(model_, *frontEnd_, std::move(b));
  FrontEndInputs inputs = inputsOf(*binder_);
  auto toBinder = inputs.clicked;
  inputs.clicked = [preview, toBinder](const std::string& name) {
    if (!preview->clicked(name)) toBinder(name);
  };
  frontEnd_->setInputs(std::move(inputs));
  binder_->create(mainWindowDesc());
  binder_->renderAll();
  SettingPage* page = binder_->settingPage();
  preview_->setSource([page] { return page->previewSource(); });
  frontEnd_->setCloseHandler(mainName(), [this] { close(); });

  model_.setWindowThread(std::this_thread::get_id());
  model_.setPumpHook(pumpMessages);
  binder_->attach();
  attached_ = true;
}

StationWindow::~StationWindow() { detach(); }

HWND StationWindow::window() const { return frontEnd_->handle(mainName()); }

void StationWindow::detach() {
  if (!attached_) return;
  attached_ = false;
  frontEnd_->setTimer(mainName(), 0, {});
  binder_->detach();
  model_.setPumpHook(nullptr);
}

void StationWindow::show() {
  if (shown_) return;
  shown_ = true;
  frontEnd_->centre(mainName());
  ShowWindow(window(), SW_SHOWNORMAL);
  UpdateWindow(window());
  SetForegroundWindow(window());
  binder_->shown();
  if (deps_.events) frontEnd_->setTimer(mainName(), deps_.eventPollMs, [this] { pollVolumeEvents(); });
}

void StationWindow::close() {
  if (!binder_->closing()) return;  // the window stays open
  detach();
  DestroyWindow(window());
  PostQuitMessage(0);
}

int StationWindow::run() {
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) {
    // Tab and the arrow keys move between the controls, as in a dialog.
    HWND top = GetAncestor(m.hwnd, GA_ROOT);
    if (top && IsDialogMessageW(top, &m)) continue;
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  return static_cast<int>(m.wParam);
}

void StationWindow::pollVolumeEvents() {
  if (!deps_.events || !deps_.arrival) return;
  binder_->guarded([&] {
    for (const platform::VolumeNotice& notice : deps_.events->poll()) handleVolumeNotice(model_, *deps_.arrival, notice);
  });
}

}  // namespace station::win32
