// The native Windows front end: makes the described controls as Win32 windows (user32,
// common controls v6 through the program's manifest) and sets them by name. Updates from
// other threads reach the window thread through one queue and a posted wake-up
// (window_thread.h). Programmatic changes never come back as input; the operator's input
// goes to the given callbacks. Texts cross in UTF-8 and are shown through the wide
// services, so GBK and Big5 texts decoded by the language table show as they are.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "station/frontend/win32/window_thread.h"
#include "station/model/station_model.h"
#include "station/window/front_end.h"

namespace station::win32 {

// Stand-ins for the dialogs (the self-check answers them itself); empty: the system's.
struct Win32Dialogs {
  std::function<void(const ModalMessage&)> presenter;  // texts in UTF-8
  std::function<std::optional<std::vector<std::string>>(const std::string& title)> chooser;
  std::function<std::optional<std::string>()> folderChooser;
  std::function<std::optional<std::string>()> packageChooser;
};

class Win32FrontEnd : public FrontEnd {
 public:
  explicit Win32FrontEnd(Win32Dialogs dialogs = {});
  ~Win32FrontEnd() override;
  Win32FrontEnd(const Win32FrontEnd&) = delete;
  Win32FrontEnd& operator=(const Win32FrontEnd&) = delete;

  void setInputs(FrontEndInputs inputs) { inputs_ = std::move(inputs); }
  // What the close button of a top-level window does; without one the window hides.
  void setCloseHandler(const std::string& window, std::function<void()> onClose);

  // The element's window; null for a name not made.
  HWND handle(const std::string& name) const;
  // The top-level window an element belongs to.
  HWND topLevelOf(const std::string& name) const;
  // The element's text colour as the front end draws it.
  COLORREF textColour(const std::string& name) const;
  // Whether a tab page can be chosen (a disabled page's tab refuses the operator).
  bool pageEnabled(const std::string& name) const;
  // Whether a row cell draws its text on two lines (it would not fit on one).
  bool twoLines(const std::string& name) const;
  // Centres a top-level window on the work area of its monitor.
  void centre(const std::string& window);

  void createControl(const ElementDesc& element) override;
  void setText(const std::string& name, const std::string& text) override;
  void setToolTip(const std::string& name, const std::string& text) override;
  void setColour(const std::string& name, TextColour colour) override;
  void setEnabled(const std::string& name, bool enabled) override;
  void setVisible(const std::string& name, bool visible) override;
  void setChecked(const std::string& name, bool checked) override;
  void setValue(const std::string& name, int value) override;
  void setItems(const std::string& name, const std::vector<std::string>& items,
                const std::vector<int>& selection) override;
  void setPicture(const std::string& name, const PictureRef& picture) override;
  void runOnWindowThread(std::function<void()> work, bool wait) override;
  void setTimer(const std::string& window, int intervalMs, std::function<void()> tick) override;
  void messageBox(const std::string& text, const std::string& caption, MessageIcon icon) override;
  std::optional<std::vector<std::string>> chooseFiles(const std::string& title) override;
  std::optional<std::string> chooseFolder() override;
  std::optional<std::string> choosePackage(const std::string& title) override;
  void closeWindow(const std::string& name) override;

  // The window procedure of every window this front end registers.
  static LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

 private:
  struct Control;
  Control* find(const std::string& name);
  const Control* find(const std::string& name) const;
  Control* byHandle(HWND hwnd);
  LRESULT handleMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  void command(Control& c, int code);
  void showPage(Control& tabs, int index);
  void paintPicture(HWND hwnd);
  void drawTab(const DRAWITEMSTRUCT& item);
  HFONT font(FontRole role);
  HFONT fittingFont(FontRole role, int pixels);
  void fitFont(Control& c, const std::wstring& text);
  void setEditText(Control& c, const std::wstring& text);
  void drawRowCell(const DRAWITEMSTRUCT& item);
  bool enabledByAncestry(const Control& c) const;
  bool descendsFrom(const Control& c, const Control& ancestor) const;
  HWND owner() const;

  Win32Dialogs dialogs_;
  FrontEndInputs inputs_;
  std::map<std::string, std::unique_ptr<Control>> controls_;
  std::map<HWND, Control*> byHandle_;
  std::map<std::string, std::function<void()>> closeHandlers_;
  std::map<UINT_PTR, std::function<void()>> ticks_;
  std::map<std::string, UINT_PTR> timerIds_;
  std::map<std::string, std::shared_ptr<const Picture>> pictureFiles_;
  std::map<FontRole, HFONT> fonts_;
  std::map<int, HFONT> rowFonts_;  // the row font at smaller sizes, by pixel height
  std::unique_ptr<WindowThreadQueue> queue_;
  DWORD thread_;
  int quiet_ = 0;  // programmatic changes in progress: their notifications are no input
  int nextId_ = 1000;
  UINT_PTR nextTimerId_ = 1;
};


// A window's text, whole.
std::wstring windowText(HWND hwnd);

// The wake-up message of the window-thread queue.
constexpr UINT kWakeMessage = WM_APP + 1;

}  // namespace station::win32
