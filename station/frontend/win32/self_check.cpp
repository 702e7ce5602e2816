#include "station/frontend/win32/self_check.h"

#include <commctrl.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/program_folder.h"
#include "station/frontend/win32/wide.h"
#include "station/settings/picture.h"

namespace station::win32 {

namespace {

int failures = 0;
std::vector<ModalMessage> messages;
std::string chosenFile;

std::wstring textOf(HWND hwnd) { return windowText(hwnd); }

std::string classOf(HWND hwnd) {
  wchar_t name[64] = {};
  GetClassNameW(hwnd, name, 64);
  std::string out = narrow(name);
  for (char& c : out) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return out;
}

const char* classFor(ControlKind kind) {
  switch (kind) {
    case ControlKind::Window: return "tarnstationwindow";
    case ControlKind::PageControl: return "systabcontrol32";
    case ControlKind::Page: return "tarnstationpage";
    case ControlKind::GroupBox:
    case ControlKind::CheckBox:
    case ControlKind::Button: return "button";
    case ControlKind::Label: return "static";
    case ControlKind::ComboBox: return "combobox";
    case ControlKind::LineEdit: return "edit";
    case ControlKind::ListBox: return "listbox";
    case ControlKind::ProgressBar: return "msctls_progress32";
    case ControlKind::Picture: return "tarnstationpicture";
    case ControlKind::TrackBar: return "msctls_trackbar32";
  }
  return "";
}

std::string rectText(const RECT& r) {
  std::ostringstream s;
  s << r.left << "," << r.top << " " << (r.right - r.left) << "x" << (r.bottom - r.top);
  return s.str();
}

void settle(int ms = 100) { pumpMessagesFor(ms); }

class Checker {
 public:
  Checker(StationWindow& station, SelfCheckOptions options)
      : station_(station), fe_(station.frontEnd()), model_(station.model()), options_(std::move(options)) {}

  void run() {
    settle(300);
    checkWindow();
    for (const WindowDesc* w : {&mainWindowDesc(), &previewWindowDesc()})
      for (const ElementDesc& e : w->elements) checkElement(e);
    checkModelStates("at start");
    checkColours();
    if (!options_.screenshot.empty()) capture();
    drivePages();
    driveChecks();
    driveLabel();
    driveCopyList();
    driveSettingPage();
    if (options_.waitRaiseMs > 0) waitRaise();
    if (options_.waitArrival) waitArrival();
    line("result: " + std::to_string(checks_) + " checks, " + std::to_string(failures) + " failed");
    flush();
    PostMessageW(station_.window(), WM_CLOSE, 0, 0);
  }

 private:
  void line(const std::string& text) { report_ << text << "\n"; }
  void flush() {
    std::ofstream out(options_.report, std::ios::binary | std::ios::trunc);
    out << report_.str();
  }
  void check(bool ok, const std::string& what, const std::string& got = {}, const std::string& want = {}) {
    ++checks_;
    if (ok) {
      line("ok " + what);
    } else {
      ++failures;
      line("FAIL " + what + (got.empty() && want.empty() ? "" : ": got " + got + ", want " + want));
    }
  }

  // Where the description puts the element, in its top-level window's client area.
  RECT expectedRect(const ElementDesc& e) {
    RECT r = {e.geometry.x, e.geometry.y, e.geometry.x + e.geometry.width, e.geometry.y + e.geometry.height};
    const WindowDesc& w = mainWindowDesc().find(e.name) ? mainWindowDesc() : previewWindowDesc();
    for (const ElementDesc* p = w.find(e.parent); p && p->kind != ControlKind::Window; p = w.find(p->parent)) {
      POINT origin = {p->geometry.x, p->geometry.y};
      if (p->kind == ControlKind::Page) {
        // A page fills its page control's display area.
        origin = {0, 0};
        MapWindowPoints(fe_.handle(p->name), fe_.topLevelOf(p->name), &origin, 1);
      }
      OffsetRect(&r, origin.x, origin.y);
      if (p->kind == ControlKind::Page) break;
    }
    return r;
  }

  void checkWindow() {
    HWND w = station_.window();
    RECT client;
    GetClientRect(w, &client);
    const Rect& g = mainWindowDesc().window().geometry;
    check(client.right == g.width && client.bottom == g.height, "Form1 client area", rectText(client),
          "0,0 " + std::to_string(g.width) + "x" + std::to_string(g.height));
    const LONG style = GetWindowLongW(w, GWL_STYLE);
    check((style & WS_MINIMIZEBOX) && (style & WS_SYSMENU) && !(style & WS_MAXIMIZEBOX) && !(style & WS_THICKFRAME),
          "Form1 fixed size, minimise and close only");
    RECT r;
    GetWindowRect(w, &r);
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    GetMonitorInfoW(MonitorFromWindow(w, MONITOR_DEFAULTTOPRIMARY), &info);
    const RECT& a = info.rcWork;
    const int dx = (r.left - a.left) - (a.right - r.right), dy = (r.top - a.top) - (a.bottom - r.bottom);
    check(dx >= -1 && dx <= 1 && dy >= -1 && dy <= 1, "Form1 centred on the work area", rectText(r), rectText(a));
    check(narrow(textOf(w)) == model_.display(model_.controls().caption()), "Form1 caption", narrow(textOf(w)),
          model_.display(model_.controls().caption()));
    line("text Form1 = " + narrow(textOf(w)));
  }

  // The bold texts (the system area, the rows, the tally) in the font their role gives.
  void checkFont(const ElementDesc& e, HWND h) {
    if (e.font == FontRole::Normal) return;
    LOGFONTW lf = {};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0)), sizeof lf, &lf);
    // A row cell's font is drawn smaller where its text would not fit.
    const int most = e.font == FontRole::Bold ? 16 : kRowFontPixels;
    const int least = e.font == FontRole::Bold ? 16 : kSmallestRowFontPixels;
    check(lf.lfWeight >= FW_BOLD && -lf.lfHeight <= most && -lf.lfHeight >= least, e.name + " font",
          narrow(lf.lfFaceName) + " " + std::to_string(-lf.lfHeight) + " weight " + std::to_string(lf.lfWeight),
          "bold " + std::to_string(least) + " to " + std::to_string(most));
  }

  void checkElement(const ElementDesc& e) {
    HWND h = fe_.handle(e.name);
    check(h != nullptr, e.name + " exists");
    if (!h) return;
    check(classOf(h) == classFor(e.kind), e.name + " class", classOf(h), classFor(e.kind));
    checkFont(e, h);
    if (e.kind != ControlKind::Window && e.kind != ControlKind::Page) {
      RECT got;
      GetWindowRect(h, &got);
      MapWindowPoints(nullptr, fe_.topLevelOf(e.name), reinterpret_cast<POINT*>(&got), 2);
      RECT want = expectedRect(e);
      // A closed combo box is as high as its font makes it.
      if (e.kind == ControlKind::ComboBox) got.bottom = got.top + (want.bottom - want.top);
      check(EqualRect(&got, &want), e.name + " geometry", rectText(got), rectText(want));
    }
    if (e.text.empty()) return;
    const std::string want = e.text.key ? model_.display(model_.lang(*e.text.key)) + e.text.suffix
                                        : e.text.literal + e.text.suffix;
    std::string got = narrow(textOf(h));
    if (e.kind == ControlKind::Page) got = tabText(e);  // the tab shows the caption
    check(got == want, e.name + " text", got, want);
    line("text " + e.name + " = " + got);
  }

  std::string tabText(const ElementDesc& e) {
    HWND tabs = fe_.handle(e.parent);
    const int count = static_cast<int>(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0));
    int index = 0;
    for (const ElementDesc& other : mainWindowDesc().elements) {
      if (other.name == e.name) break;
      if (other.kind == ControlKind::Page && other.parent == e.parent) ++index;
    }
    if (index >= count) return {};
    wchar_t text[256] = {};
    TCITEMW item = {};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = 256;
    SendMessageW(tabs, TCM_GETITEMW, index, reinterpret_cast<LPARAM>(&item));
    return narrow(text);
  }

  // Every control the model enables, checks or fills shows what the model holds.
  void checkModelStates(const std::string& when) {
    for (int i = 0; i < kElementCount; ++i) {
      const Element e = static_cast<Element>(i);
      const std::string name = enabledElementName(e);
      HWND h = fe_.handle(name);
      const bool shown = mainWindowDesc().find(name)->kind == ControlKind::Page ? fe_.pageEnabled(name)
                                                                               : IsWindowEnabled(h) != 0;
      check(shown == model_.controls().enabled(e), name + " enabled " + when, shown ? "1" : "0", model_.controls().enabled(e) ? "1" : "0");
    }
    for (int i = 0; i < kCheckCount; ++i) {
      const Check c = static_cast<Check>(i);
      const bool shown = SendMessageW(fe_.handle(checkName(c)), BM_GETCHECK, 0, 0) == BST_CHECKED;
      check(shown == model_.controls().checked(c), std::string(checkName(c)) + " checked " + when);
    }
    const int combo = static_cast<int>(SendMessageW(fe_.handle("SystemAreaComBo"), CB_GETCURSEL, 0, 0));
    check(combo == model_.controls().comboIndex(), "SystemAreaComBo item " + when, std::to_string(combo),
          std::to_string(model_.controls().comboIndex()));
    const int items = static_cast<int>(SendMessageW(fe_.handle("SelectFileList2"), LB_GETCOUNT, 0, 0));
    check(items == static_cast<int>(model_.files().copyList().size()), "SelectFileList2 items " + when,
          std::to_string(items), std::to_string(model_.files().copyList().size()));
    check(!IsWindowVisible(fe_.handle("chkBarFixed")), "chkBarFixed hidden " + when);
    for (int row = 0; row < DEVICE_COUNT; ++row) {
      const RowState s = model_.rows().row(row);
      HWND status = fe_.handle(rowCellName(RowCell::Status, row));
      check(narrow(textOf(status)) == model_.display(s.text), rowCellName(RowCell::Status, row) + " text " + when,
            narrow(textOf(status)), model_.display(s.text));
      check((IsWindowVisible(fe_.handle(rowCellName(RowCell::Bar, row))) != 0) == s.progressVisible,
            rowCellName(RowCell::Bar, row) + " visible " + when);
    }
  }

  // The colour the window's procedure gives a static's text when it is drawn.
  COLORREF drawnColour(const std::string& name) {
    HWND h = fe_.handle(name);
    HDC dc = CreateCompatibleDC(nullptr);
    SetTextColor(dc, RGB(1, 2, 3));
    SendMessageW(GetParent(h), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(h));
    const COLORREF c = GetTextColor(dc);
    DeleteDC(dc);
    return c;
  }

  void checkColours() {
    struct Want { const char* name; COLORREF colour; };
    const Want wants[] = {{"SuccessStr", RGB(0, 0, 255)}, {"FailStr", RGB(255, 0, 0)}};
    for (const Want& w : wants) {
      const COLORREF c = drawnColour(w.name);
      check(c == w.colour, std::string(w.name) + " colour", std::to_string(c), std::to_string(w.colour));
    }
    // A row's status takes the colour of its state.
    for (int row = 0; row < DEVICE_COUNT; ++row) {
      const RowState s = model_.rows().row(row);
      const COLORREF want = s.colour == TextColour::Red    ? RGB(255, 0, 0)
                            : s.colour == TextColour::Blue ? RGB(0, 0, 255)
                                                           : GetSysColor(COLOR_WINDOWTEXT);
      const std::string name = rowCellName(RowCell::Status, row);
      COLORREF got = drawnColour(name);
      if (got == RGB(1, 2, 3)) got = GetSysColor(COLOR_WINDOWTEXT);  // left to the system
      check(got == want, name + " colour", std::to_string(got), std::to_string(want));
    }
  }

  void capture() {
    check(captureWindow(station_.window(), options_.screenshot), "screenshot written to " + options_.screenshot);
  }

  void notify(HWND control, UINT code) {
    NMHDR header = {control, static_cast<UINT_PTR>(GetDlgCtrlID(control)), code};
    SendMessageW(GetParent(control), WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
  }
  void command(HWND control, int code) {
    SendMessageW(GetParent(control), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), code),
                 reinterpret_cast<LPARAM>(control));
  }
  bool pageShown(const char* name) { return IsWindowVisible(fe_.handle(name)) != 0; }

  // The operator picks a page's tab.
  void pickTab(int index) {
    HWND tabs = fe_.handle("PageControl");
    SendMessageW(tabs, TCM_SETCURSEL, index, 0);
    notify(tabs, TCN_SELCHANGE);
    settle();
  }

  void drivePages() {
    pickTab(1);
    check(pageShown("TabSheet4") && !pageShown("tabSetting"), "the disabled Setting page refuses its tab");
    check(SendMessageW(fe_.handle("PageControl"), TCM_GETCURSEL, 0, 0) == 0, "the production tab stays chosen");
  }

  void driveChecks() {
    HWND box = fe_.handle("CheckManuupgrade");
    const bool before = model_.controls().checked(Check::CheckManuupgrade);
    SendMessageW(box, BM_CLICK, 0, 0);
    settle();
    check(model_.controls().checked(Check::CheckManuupgrade) == !before, "a click on CheckManuupgrade reaches the model");
    checkModelStates("after CheckManuupgrade");
    SendMessageW(box, BM_CLICK, 0, 0);
    settle();
    check(model_.controls().checked(Check::CheckManuupgrade) == before, "a second click sets it back");
    checkModelStates("after a second click");

    HWND combo = fe_.handle("SystemAreaComBo");
    if (IsWindowEnabled(combo)) {
      const int was = model_.controls().comboIndex();
      const int other = was == 3 ? 4 : 3;
      SendMessageW(combo, CB_SETCURSEL, other, 0);
      command(combo, CBN_SELCHANGE);
      settle();
      check(model_.controls().comboIndex() == other, "a choice in SystemAreaComBo reaches the model");
      SendMessageW(combo, CB_SETCURSEL, was, 0);
      command(combo, CBN_SELCHANGE);
      settle();
    }
  }

  void driveLabel() {
    HWND edit = fe_.handle("LabelEdit");
    const std::string was = model_.controls().labelText();
    SetWindowTextW(edit, L"CHECK");  // as typing does: the edit tells its parent
    settle();
    check(model_.controls().labelText() == "CHECK", "typing in LabelEdit reaches the model", model_.controls().labelText(), "CHECK");
    SetWindowTextW(edit, widen(was).c_str());
    settle();
    check(model_.controls().labelText() == was, "LabelEdit set back");
    check(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0) == 11, "LabelEdit takes 11 characters");
  }

  void driveCopyList() {
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    chosenFile = std::string(folder) + "selfcheck.txt";
    std::ofstream(chosenFile) << "self-check\n";
    HWND list = fe_.handle("SelectFileList2");
    const size_t before = model_.files().copyList().size();
    SendMessageW(fe_.handle("AddFilesBtn"), BM_CLICK, 0, 0);
    settle();
    check(model_.files().copyList().size() == before + 1, "Add files puts the chosen file on the list");
    const int items = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    check(items == static_cast<int>(before + 1), "SelectFileList2 shows it", std::to_string(items),
          std::to_string(before + 1));
    SendMessageW(list, LB_SETSEL, FALSE, -1);
    SendMessageW(list, LB_SETSEL, TRUE, items - 1);
    command(list, LBN_SELCHANGE);
    settle();
    SendMessageW(fe_.handle("RemoveBtn"), BM_CLICK, 0, 0);
    settle();
    check(model_.files().copyList().size() == before, "Remove takes the chosen entry off the list");
    check(SendMessageW(list, LB_GETCOUNT, 0, 0) == static_cast<LRESULT>(before), "SelectFileList2 shows it gone");
    DeleteFileA(chosenFile.c_str());
  }

  // The Setting page is disabled in production; its logic works when enabled.
  void driveSettingPage() {
    fe_.setEnabled("tabSetting", true);
    pickTab(1);
    check(pageShown("tabSetting") && !pageShown("TabSheet4"), "an enabled Setting page shows on its tab");
    HWND preview = fe_.handle("frmBmpPreview");
    SendMessageW(fe_.handle("Button2"), BM_CLICK, 0, 0);
    settle();
    check(IsWindowVisible(preview) != 0, "Preview shows the preview window");
    SendMessageW(preview, WM_CLOSE, 0, 0);
    settle();
    check(!IsWindowVisible(preview) && IsWindow(station_.window()), "closing the preview only hides it");
    pickTab(0);
    fe_.setEnabled("tabSetting", model_.controls().enabled(Element::tabSetting));
    check(pageShown("TabSheet4"), "back on the production page");
  }

  void waitRaise() {
    HWND w = station_.window();
    ShowWindow(w, SW_MINIMIZE);
    line("waiting for a later start");
    flush();
    const DWORD end = GetTickCount() + static_cast<DWORD>(options_.waitRaiseMs);
    while (IsIconic(w) && static_cast<LONG>(end - GetTickCount()) > 0) settle(100);
    check(!IsIconic(w), "a later start brought the window forward");
    // The test looks at the station's files before this one's close writes them.
    line("brought forward; closing once " + options_.report + ".close exists");
    flush();
    const std::string go = options_.report + ".close";
    while (GetFileAttributesA(go.c_str()) == INVALID_FILE_ATTRIBUTES && static_cast<LONG>(end - GetTickCount()) > 0)
      settle(100);
  }

  void waitArrival() {
    const std::string want = std::string(1, options_.waitArrival) + ":<--";
    line("waiting for the arrival of " + std::string(1, options_.waitArrival) + ":");
    flush();
    const std::string log = platform::miscPathIn(platform::programFolder(), "port.log");
    const DWORD end = GetTickCount() + static_cast<DWORD>(options_.waitArrivalMs);
    bool heard = false;
    while (!heard && static_cast<LONG>(end - GetTickCount()) > 0) {
      settle(100);
      std::ifstream in(log, std::ios::binary);
      std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      heard = text.find(want) != std::string::npos;
    }
    check(heard, "the arrival of " + std::string(1, options_.waitArrival) + ": was heard (" + want + " in the port log)");
  }

  StationWindow& station_;
  Win32FrontEnd& fe_;
  StationModel& model_;
  SelfCheckOptions options_;
  std::ostringstream report_;
  int checks_ = 0;
};

}  // namespace

Win32Dialogs selfCheckDialogs() {
  Win32Dialogs d;
  d.presenter = [](const ModalMessage& m) { messages.push_back(m); };
  d.chooser = [](const std::string&) -> std::optional<std::vector<std::string>> {
    return std::vector<std::string>{chosenFile};
  };
  d.folderChooser = []() -> std::optional<std::string> { return std::nullopt; };
  d.packageChooser = []() -> std::optional<std::string> { return std::nullopt; };
  return d;
}

void startSelfCheck(StationWindow& station, const SelfCheckOptions& options) {
  auto* checker = new Checker(station, options);  // ends with the process
  station.frontEnd().runOnWindowThread([checker] { checker->run(); }, false);
}

int selfCheckExitCode() { return failures == 0 ? 0 : 1; }

}  // namespace station::win32
