#include "station/frontend/win32/win32_front_end.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>

#include <algorithm>
#include <deque>

#include "station/frontend/win32/wide.h"
#include "station/settings/picture.h"

namespace station::win32 {

namespace {

constexpr wchar_t kWindowClass[] = L"TarnStationWindow";
constexpr wchar_t kPageClass[] = L"TarnStationPage";
constexpr wchar_t kPictureClass[] = L"TarnStationPicture";

void registerClasses() {
  static const bool done = [] {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_TAB_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES |
                                                ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    auto reg = [](const wchar_t* name, UINT style) {
      WNDCLASSEXW wc = {};
      wc.cbSize = sizeof wc;
      wc.style = style;
      wc.lpfnWndProc = Win32FrontEnd::windowProc;
      wc.hInstance = GetModuleHandleW(nullptr);
      wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
      wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
      wc.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
      wc.lpszClassName = name;
      RegisterClassExW(&wc);
    };
    reg(kWindowClass, 0);
    reg(kPageClass, 0);
    reg(kPictureClass, CS_HREDRAW | CS_VREDRAW);
    return true;
  }();
  (void)done;
}

COLORREF colourRef(TextColour colour) {
  switch (colour) {
    case TextColour::Red: return RGB(255, 0, 0);
    case TextColour::Blue: return RGB(0, 0, 255);
    case TextColour::WindowText: break;
  }
  return GetSysColor(COLOR_WINDOWTEXT);
}

// Paths in the system's own 8-bit spelling, as the station's files and tools take them.
std::string systemPath(const std::wstring& path) { return narrow(path, CP_ACP); }

// "All Files (*.*)" as the dialog's filter: pairs of texts, each ended by a zero.
std::wstring filter(const wchar_t* text, const wchar_t* pattern) {
  std::wstring f = text;
  f.push_back(L'\0');
  f += pattern;
  f.push_back(L'\0');
  f.push_back(L'\0');
  return f;
}

}  // namespace

std::wstring windowText(HWND hwnd) {
  const int n = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  const int got = GetWindowTextW(hwnd, text.data(), n + 1);
  text.resize(static_cast<size_t>(got > 0 ? got : 0));
  return text;
}

struct Win32FrontEnd::Control {
  const ElementDesc* desc = nullptr;
  HWND hwnd = nullptr;
  HWND top = nullptr;  // its top-level window
  COLORREF colour = 0;
  bool coloured = false;
  bool enabled = true;  // pages: the tab refuses the operator while false
  std::shared_ptr<const Picture> picture;
  std::vector<Control*> pages;  // a page control's pages, in tab order
  HWND toolTip = nullptr;       // a top-level window's tool tips
  bool toolAdded = false;
  std::deque<std::wstring> typed;  // an edit's texts handed on as input, not yet answered
  bool twoLines = false;           // a row cell's text drawn on two lines
};

Win32FrontEnd::Win32FrontEnd(Win32Dialogs dialogs) : dialogs_(std::move(dialogs)), thread_(GetCurrentThreadId()) {
  registerClasses();
}

Win32FrontEnd::~Win32FrontEnd() {
  for (auto& [name, c] : controls_)
    if (c->desc->kind == ControlKind::Window && IsWindow(c->hwnd)) {
      SetWindowLongPtrW(c->hwnd, GWLP_USERDATA, 0);
      DestroyWindow(c->hwnd);
    }
  for (auto& [role, f] : fonts_) DeleteObject(f);
  for (auto& [pixels, f] : rowFonts_) DeleteObject(f);
}

Win32FrontEnd::Control* Win32FrontEnd::find(const std::string& name) {
  auto it = controls_.find(name);
  return it == controls_.end() ? nullptr : it->second.get();
}

const Win32FrontEnd::Control* Win32FrontEnd::find(const std::string& name) const {
  auto it = controls_.find(name);
  return it == controls_.end() ? nullptr : it->second.get();
}

Win32FrontEnd::Control* Win32FrontEnd::byHandle(HWND hwnd) {
  auto it = byHandle_.find(hwnd);
  return it == byHandle_.end() ? nullptr : it->second;
}

HWND Win32FrontEnd::handle(const std::string& name) const {
  const Control* c = find(name);
  return c ? c->hwnd : nullptr;
}

HWND Win32FrontEnd::topLevelOf(const std::string& name) const {
  const Control* c = find(name);
  return c ? c->top : nullptr;
}

COLORREF Win32FrontEnd::textColour(const std::string& name) const {
  const Control* c = find(name);
  return c && c->coloured ? c->colour : GetSysColor(COLOR_WINDOWTEXT);
}

bool Win32FrontEnd::pageEnabled(const std::string& name) const {
  const Control* c = find(name);
  return c && c->enabled;
}

HWND Win32FrontEnd::owner() const {
  for (const auto& [name, c] : controls_)
    if (c->desc->kind == ControlKind::Window && IsWindowVisible(c->hwnd)) return c->hwnd;
  return nullptr;
}

HFONT Win32FrontEnd::font(FontRole role) {
  if (HFONT f = fonts_[role]) return f;
  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  LOGFONTW lf = metrics.lfMessageFont;
  if (role != FontRole::Normal) {
    lf.lfWeight = FW_BOLD;
    lf.lfHeight = role == FontRole::Bold ? -16 : -kRowFontPixels;
  }
  return fonts_[role] = CreateFontIndirectW(&lf);
}

void Win32FrontEnd::centre(const std::string& window) {
  Control* c = find(window);
  if (!c) return;
  MONITORINFO info = {};
  info.cbSize = sizeof info;
  GetMonitorInfoW(MonitorFromWindow(c->hwnd, MONITOR_DEFAULTTOPRIMARY), &info);
  RECT r;
  GetWindowRect(c->hwnd, &r);
  const RECT& area = info.rcWork;
  const int x = area.left + ((area.right - area.left) - (r.right - r.left)) / 2;
  const int y = area.top + ((area.bottom - area.top) - (r.bottom - r.top)) / 2;
  SetWindowPos(c->hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32FrontEnd::createControl(const ElementDesc& e) {
  auto c = std::make_unique<Control>();
  c->desc = &e;
  c->enabled = e.enabled;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  ++quiet_;
  if (e.kind == ControlKind::Window) {
    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    if (!e.fixedSize) style |= WS_THICKFRAME | WS_MAXIMIZEBOX;
    RECT r = {0, 0, e.geometry.width, e.geometry.height};
    AdjustWindowRectEx(&r, style, FALSE, WS_EX_CONTROLPARENT);
    c->hwnd = CreateWindowExW(WS_EX_CONTROLPARENT, kWindowClass, L"", style, CW_USEDEFAULT, CW_USEDEFAULT,
                              r.right - r.left, r.bottom - r.top, nullptr, nullptr, instance, this);
    c->top = c->hwnd;
    c->toolTip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, c->hwnd, nullptr,
                                 instance, nullptr);
    SendMessageW(c->toolTip, TTM_SETMAXTIPWIDTH, 0, 600);
    if (!queue_) queue_ = std::make_unique<WindowThreadQueue>(c->hwnd, kWakeMessage);
  } else {
    // A group box only frames its controls: they belong to the group's own parent, where
    // their notifications arrive, at the group's offset.
    Control* parent = find(e.parent);
    if (!parent) {
      --quiet_;
      return;
    }
    int x = e.geometry.x, y = e.geometry.y;
    while (parent && parent->desc->kind == ControlKind::GroupBox) {
      x += parent->desc->geometry.x;
      y += parent->desc->geometry.y;
      parent = find(parent->desc->parent);
    }
    if (!parent) {
      --quiet_;
      return;
    }
    c->top = parent->top;
    const HWND host = parent->hwnd;
    const DWORD visible = e.visible ? WS_VISIBLE : 0;
    const DWORD child = WS_CHILD | visible;
    const HMENU id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(nextId_++));
    int width = e.geometry.width, height = e.geometry.height;
    const wchar_t* cls = L"STATIC";
    DWORD style = child, exStyle = 0;
    switch (e.kind) {
      case ControlKind::Window: break;
      case ControlKind::PageControl:
        cls = WC_TABCONTROLW;
        style |= WS_CLIPSIBLINGS | TCS_OWNERDRAWFIXED | WS_TABSTOP;
        break;
      case ControlKind::Page: {
        // Laid over the page control's display area; only the chosen page shows.
        cls = kPageClass;
        exStyle = WS_EX_CONTROLPARENT;
        TCITEMW item = {};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(L"");
        SendMessageW(host, TCM_INSERTITEMW, parent->pages.size(), reinterpret_cast<LPARAM>(&item));
        RECT area;
        GetClientRect(host, &area);
        SendMessageW(host, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
        x = area.left;
        y = area.top;
        width = area.right - area.left;
        height = area.bottom - area.top;
        style = WS_CHILD | (parent->pages.empty() ? WS_VISIBLE : 0);
        break;
      }
      case ControlKind::GroupBox: cls = L"BUTTON"; style |= BS_GROUPBOX; break;
      case ControlKind::Label:
        // The row cells draw themselves: on one line or two, whichever keeps the text whole.
        style |= (e.font == FontRole::Row ? SS_OWNERDRAW : SS_LEFTNOWORDWRAP | SS_CENTERIMAGE) | SS_NOPREFIX | SS_NOTIFY;
        break;
      case ControlKind::CheckBox: cls = L"BUTTON"; style |= BS_AUTOCHECKBOX | WS_TABSTOP; break;
      case ControlKind::ComboBox:
        cls = L"COMBOBOX";
        style |= CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
        height += 200;  // the height of the open list
        break;
      case ControlKind::LineEdit:
        cls = L"EDIT";
        style |= ES_AUTOHSCROLL | WS_TABSTOP | (e.readOnly ? ES_READONLY : 0) | (e.upperCase ? ES_UPPERCASE : 0);
        exStyle = WS_EX_CLIENTEDGE;
        break;
      case ControlKind::ListBox:
        cls = L"LISTBOX";
        style |= LBS_EXTENDEDSEL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP;
        exStyle = WS_EX_CLIENTEDGE;
        break;
      case ControlKind::Button: cls = L"BUTTON"; style |= BS_PUSHBUTTON | WS_TABSTOP; break;
      case ControlKind::ProgressBar: cls = PROGRESS_CLASSW; break;
      case ControlKind::Picture: cls = kPictureClass; break;
      case ControlKind::TrackBar: cls = TRACKBAR_CLASSW; style |= TBS_HORZ | TBS_AUTOTICKS | WS_TABSTOP; break;
    }
    c->hwnd = CreateWindowExW(exStyle, cls, L"", style, x, y, width, height, host, id, instance, this);
    if (e.kind == ControlKind::Page) parent->pages.push_back(c.get());
  }
  if (!c->hwnd) {
    --quiet_;
    return;
  }
  HWND hwnd = c->hwnd;
  SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font(e.font)), FALSE);
  switch (e.kind) {
    case ControlKind::ComboBox:
      for (const std::string& item : e.items)
        SendMessageW(hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(item).c_str()));
      break;
    case ControlKind::ProgressBar: SendMessageW(hwnd, PBM_SETRANGE32, e.minimum, e.maximum); break;
    case ControlKind::TrackBar:
      SendMessageW(hwnd, TBM_SETRANGEMIN, FALSE, e.minimum);
      SendMessageW(hwnd, TBM_SETRANGEMAX, TRUE, e.maximum);
      break;
    case ControlKind::LineEdit:
      if (e.maxLength > 0) SendMessageW(hwnd, EM_SETLIMITTEXT, e.maxLength, 0);
      break;
    default: break;
  }
  byHandle_[hwnd] = c.get();
  const std::string name = e.name;
  controls_[name] = std::move(c);
  if (e.colour) setColour(name, *e.colour);
  setEnabled(name, e.enabled);
  --quiet_;
}

void Win32FrontEnd::setText(const std::string& name, const std::string& text) {
  Control* c = find(name);
  if (!c) return;
  const std::wstring t = widen(text);
  ++quiet_;
  if (c->desc->kind == ControlKind::Page) {
    Control* tabs = find(c->desc->parent);
    for (size_t i = 0; tabs && i < tabs->pages.size(); ++i) {
      if (tabs->pages[i] != c) continue;
      TCITEMW item = {};
      item.mask = TCIF_TEXT;
      item.pszText = const_cast<wchar_t*>(t.c_str());
      SendMessageW(tabs->hwnd, TCM_SETITEMW, i, reinterpret_cast<LPARAM>(&item));
    }
    // The page itself carries the caption too, for whoever reads it back.
    SetWindowTextW(c->hwnd, t.c_str());
    // New captions change the tabs' widths: the whole strip is drawn again, or a longer
    // old caption stays visible past the new tab's end.
    if (tabs) InvalidateRect(tabs->hwnd, nullptr, TRUE);
  } else if (c->desc->kind == ControlKind::LineEdit) {
    setEditText(*c, t);
  } else {
    SetWindowTextW(c->hwnd, t.c_str());
    if (c->desc->font == FontRole::Row) fitFont(*c, t);
  }
  --quiet_;
}

void Win32FrontEnd::setEditText(Control& c, const std::wstring& t) {
  // The model's answers to the operator's typing come back queued, behind keys typed
  // since: an answer that repeats a text typed here is no change of the model's own.
  auto echo = std::find(c.typed.begin(), c.typed.end(), t);
  if (echo != c.typed.end()) {
    c.typed.erase(c.typed.begin(), echo + 1);
    return;
  }
  c.typed.clear();
  const std::wstring now = windowText(c.hwnd);
  if (now == t) return;
  // A changed text keeps the operator's cursor where it was, as far as the text goes.
  DWORD start = 0, end = 0;
  SendMessageW(c.hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  SetWindowTextW(c.hwnd, t.c_str());
  const DWORD length = static_cast<DWORD>(t.size());
  SendMessageW(c.hwnd, EM_SETSEL, std::min(start, length), std::min(end, length));
}

HFONT Win32FrontEnd::fittingFont(FontRole role, int pixels) {
  HFONT& f = rowFonts_[pixels];
  if (f) return f;
  LOGFONTW lf = {};
  GetObjectW(font(role), sizeof lf, &lf);
  lf.lfHeight = -pixels;
  return f = CreateFontIndirectW(&lf);
}

void Win32FrontEnd::fitFont(Control& c, const std::wstring& text) {
  // The row cells keep their places; a text wider than its cell is drawn smaller, and
  // past a size on two lines, until it is whole: the operator reads every step and
  // failure at a glance.
  RECT cell;
  GetClientRect(c.hwnd, &cell);
  HDC dc = GetDC(c.hwnd);
  HFONT chosen = nullptr;
  bool wrapped = false;
  for (const RowFit& fit : kRowFits) {
    HFONT f = fit.pixels == kRowFontPixels ? font(c.desc->font) : fittingFont(c.desc->font, fit.pixels);
    HGDIOBJ old = SelectObject(dc, f);
    RECT r = {0, 0, cell.right, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
              DT_CALCRECT | DT_NOPREFIX | (fit.twoLines ? DT_WORDBREAK : DT_SINGLELINE));
    SelectObject(dc, old);
    chosen = f;
    wrapped = fit.twoLines;
    if (r.right <= cell.right && r.bottom <= cell.bottom) break;
  }
  ReleaseDC(c.hwnd, dc);
  if (reinterpret_cast<HFONT>(SendMessageW(c.hwnd, WM_GETFONT, 0, 0)) != chosen || wrapped != c.twoLines) {
    c.twoLines = wrapped;
    SendMessageW(c.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(chosen), FALSE);
  }
  InvalidateRect(c.hwnd, nullptr, TRUE);
}

void Win32FrontEnd::drawRowCell(const DRAWITEMSTRUCT& item) {
  Control* c = byHandle(item.hwndItem);
  if (!c) return;
  RECT r = item.rcItem;
  FillRect(item.hDC, &r, GetSysColorBrush(COLOR_BTNFACE));
  const std::wstring text = windowText(c->hwnd);
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, !IsWindowEnabled(c->hwnd) ? GetSysColor(COLOR_GRAYTEXT)
                         : c->coloured            ? c->colour
                                                  : GetSysColor(COLOR_WINDOWTEXT));
  HGDIOBJ old = SelectObject(item.hDC, reinterpret_cast<HFONT>(SendMessageW(c->hwnd, WM_GETFONT, 0, 0)));
  UINT format = DT_LEFT | DT_NOPREFIX;
  if (c->twoLines) {
    // The two lines as a block in the middle of the cell.
    RECT need = {0, 0, r.right - r.left, 0};
    DrawTextW(item.hDC, text.c_str(), static_cast<int>(text.size()), &need, DT_CALCRECT | DT_WORDBREAK | format);
    r.top += std::max<LONG>(0, ((r.bottom - r.top) - need.bottom) / 2);
    format |= DT_WORDBREAK;
  } else {
    format |= DT_SINGLELINE | DT_VCENTER;
  }
  DrawTextW(item.hDC, text.c_str(), static_cast<int>(text.size()), &r, format);
  SelectObject(item.hDC, old);
}

bool Win32FrontEnd::twoLines(const std::string& name) const {
  const Control* c = find(name);
  return c && c->twoLines;
}

void Win32FrontEnd::setToolTip(const std::string& name, const std::string& text) {
  Control* c = find(name);
  Control* top = c ? byHandle(c->top) : nullptr;
  if (!c || !top || !top->toolTip) return;
  std::wstring t = widen(text);
  TOOLINFOW info = {};
  info.cbSize = sizeof info;
  info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  info.hwnd = GetParent(c->hwnd);
  info.uId = reinterpret_cast<UINT_PTR>(c->hwnd);
  info.lpszText = const_cast<wchar_t*>(t.c_str());
  if (!c->toolAdded) {
    if (t.empty()) return;
    c->toolAdded = SendMessageW(top->toolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info)) != 0;
  } else if (t.empty()) {
    SendMessageW(top->toolTip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    c->toolAdded = false;
  } else {
    SendMessageW(top->toolTip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
  }
}

void Win32FrontEnd::setColour(const std::string& name, TextColour colour) {
  Control* c = find(name);
  if (!c) return;
  const COLORREF ref = colourRef(colour);
  if (c->coloured && c->colour == ref) return;
  c->colour = ref;
  c->coloured = colour != TextColour::WindowText;
  InvalidateRect(c->hwnd, nullptr, TRUE);
}

bool Win32FrontEnd::enabledByAncestry(const Control& c) const {
  if (!c.enabled) return false;
  const Control* parent = find(c.desc->parent);
  return !parent || enabledByAncestry(*parent);
}

bool Win32FrontEnd::descendsFrom(const Control& c, const Control& ancestor) const {
  for (const Control* p = find(c.desc->parent); p; p = find(p->desc->parent))
    if (p == &ancestor) return true;
  return false;
}

void Win32FrontEnd::setEnabled(const std::string& name, bool enabled) {
  Control* c = find(name);
  if (!c) return;
  c->enabled = enabled;
  EnableWindow(c->hwnd, enabledByAncestry(*c));
  // A group box is only a frame: its controls are its siblings in the window, so they
  // follow its state here, each keeping its own (so do a page's, made disabled with it).
  if (c->desc->kind == ControlKind::GroupBox || c->desc->kind == ControlKind::Page)
    for (auto& [other, d] : controls_)
      if (descendsFrom(*d, *c)) EnableWindow(d->hwnd, enabledByAncestry(*d));
  // A page's tab goes with it.
  if (c->desc->kind == ControlKind::Page)
    if (Control* tabs = find(c->desc->parent)) InvalidateRect(tabs->hwnd, nullptr, TRUE);
}

void Win32FrontEnd::setVisible(const std::string& name, bool visible) {
  Control* c = find(name);
  if (!c) return;
  if (c->desc->kind == ControlKind::Window && visible) {
    ShowWindow(c->hwnd, IsIconic(c->hwnd) ? SW_RESTORE : SW_SHOW);
    SetWindowPos(c->hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    return;
  }
  if (static_cast<bool>(IsWindowVisible(c->hwnd)) != visible || c->desc->kind != ControlKind::Window)
    ShowWindow(c->hwnd, visible ? SW_SHOWNA : SW_HIDE);
}

void Win32FrontEnd::setChecked(const std::string& name, bool checked) {
  if (Control* c = find(name)) SendMessageW(c->hwnd, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Win32FrontEnd::showPage(Control& tabs, int index) {
  if (index < 0 || index >= static_cast<int>(tabs.pages.size())) return;
  SendMessageW(tabs.hwnd, TCM_SETCURSEL, index, 0);
  for (size_t i = 0; i < tabs.pages.size(); ++i)
    ShowWindow(tabs.pages[i]->hwnd, static_cast<int>(i) == index ? SW_SHOW : SW_HIDE);
}

void Win32FrontEnd::setValue(const std::string& name, int value) {
  Control* c = find(name);
  if (!c) return;
  ++quiet_;
  switch (c->desc->kind) {
    case ControlKind::ProgressBar: SendMessageW(c->hwnd, PBM_SETPOS, value, 0); break;
    case ControlKind::ComboBox: SendMessageW(c->hwnd, CB_SETCURSEL, value, 0); break;
    case ControlKind::TrackBar: SendMessageW(c->hwnd, TBM_SETPOS, TRUE, value); break;
    case ControlKind::PageControl: showPage(*c, value); break;
    default: break;
  }
  --quiet_;
}

void Win32FrontEnd::setItems(const std::string& name, const std::vector<std::string>& items,
                             const std::vector<int>& selection) {
  Control* c = find(name);
  if (!c || c->desc->kind != ControlKind::ListBox) return;
  ++quiet_;
  SendMessageW(c->hwnd, WM_SETREDRAW, FALSE, 0);
  SendMessageW(c->hwnd, LB_RESETCONTENT, 0, 0);
  int widest = 0;
  HDC dc = GetDC(c->hwnd);
  HGDIOBJ old = SelectObject(dc, font(c->desc->font));
  for (const std::string& item : items) {
    const std::wstring w = widen(item);
    SendMessageW(c->hwnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(w.c_str()));
    SIZE size = {};
    GetTextExtentPoint32W(dc, w.c_str(), static_cast<int>(w.size()), &size);
    if (size.cx > widest) widest = size.cx;
  }
  SelectObject(dc, old);
  ReleaseDC(c->hwnd, dc);
  // Long paths scroll sideways instead of being cut.
  SendMessageW(c->hwnd, LB_SETHORIZONTALEXTENT, widest + 8, 0);
  for (int i : selection) SendMessageW(c->hwnd, LB_SETSEL, TRUE, i);
  SendMessageW(c->hwnd, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(c->hwnd, nullptr, TRUE);
  --quiet_;
}

void Win32FrontEnd::setPicture(const std::string& name, const PictureRef& picture) {
  Control* c = find(name);
  if (!c) return;
  std::shared_ptr<const Picture> shown;
  if (picture.image) {
    shown = std::make_shared<Picture>(*picture.image);
  } else if (!picture.file.empty()) {
    // The rows show the same two pictures over and over: each file is decoded once.
    std::shared_ptr<const Picture>& cached = pictureFiles_[picture.file];
    if (!cached)
      if (auto decoded = loadPicture(picture.file)) cached = std::make_shared<Picture>(std::move(*decoded));
    shown = cached;
  }
  if (shown == c->picture) return;
  c->picture = std::move(shown);
  InvalidateRect(c->hwnd, nullptr, TRUE);
}

void Win32FrontEnd::paintPicture(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  RECT r;
  GetClientRect(hwnd, &r);
  FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
  Control* c = byHandle(hwnd);
  if (c && c->picture && c->picture->width > 0 && c->picture->height > 0) {
    const Picture& p = *c->picture;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = p.width;
    info.bmiHeader.biHeight = -p.height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;  // 0x00RRGGBB is the DIB's own order
    info.bmiHeader.biCompression = BI_RGB;
    const bool scaled = c->desc->scaled;
    SetStretchBltMode(dc, HALFTONE);
    StretchDIBits(dc, 0, 0, scaled ? r.right : p.width, scaled ? r.bottom : p.height, 0, 0, p.width, p.height,
                  p.rgb.data(), &info, DIB_RGB_COLORS, SRCCOPY);
  }
  EndPaint(hwnd, &ps);
}

void Win32FrontEnd::drawTab(const DRAWITEMSTRUCT& item) {
  Control* tabs = byHandle(item.hwndItem);
  if (!tabs || item.itemID >= tabs->pages.size()) return;
  Control* page = tabs->pages[item.itemID];
  wchar_t text[256];
  const int n = GetWindowTextW(page->hwnd, text, 256);
  RECT r = item.rcItem;
  FillRect(item.hDC, &r, GetSysColorBrush(COLOR_BTNFACE));
  SetBkMode(item.hDC, TRANSPARENT);
  // A disabled page's tab is drawn greyed, as it refuses to be chosen.
  SetTextColor(item.hDC, GetSysColor(page->enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
  HGDIOBJ old = SelectObject(item.hDC, font(FontRole::Normal));
  DrawTextW(item.hDC, text, n, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(item.hDC, old);
}

void Win32FrontEnd::command(Control& c, int code) {
  if (quiet_) return;
  const std::string& name = c.desc->name;
  switch (c.desc->kind) {
    case ControlKind::Button:
      if (code == BN_CLICKED && inputs_.clicked) inputs_.clicked(name);
      break;
    case ControlKind::CheckBox:
      if (code == BN_CLICKED && inputs_.toggled)
        inputs_.toggled(name, SendMessageW(c.hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED);
      break;
    case ControlKind::ComboBox:
      if (code == CBN_SELCHANGE && inputs_.chosen)
        inputs_.chosen(name, static_cast<int>(SendMessageW(c.hwnd, CB_GETCURSEL, 0, 0)));
      break;
    case ControlKind::LineEdit:
      if (code == EN_CHANGE && inputs_.edited) {
        const std::wstring text = windowText(c.hwnd);
        c.typed.push_back(text);
        inputs_.edited(name, narrow(text));
      }
      break;
    case ControlKind::ListBox:
      if (code == LBN_SELCHANGE && inputs_.selected) {
        const int n = static_cast<int>(SendMessageW(c.hwnd, LB_GETSELCOUNT, 0, 0));
        std::vector<int> chosen(static_cast<size_t>(n > 0 ? n : 0));
        if (n > 0) SendMessageW(c.hwnd, LB_GETSELITEMS, n, reinterpret_cast<LPARAM>(chosen.data()));
        inputs_.selected(name, chosen);
      }
      break;
    default: break;
  }
}

LRESULT CALLBACK Win32FrontEnd::windowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lp);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<Win32FrontEnd*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  return self ? self->handleMessage(hwnd, msg, wp, lp) : DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT Win32FrontEnd::handleMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      if (lp)
        if (Control* c = byHandle(reinterpret_cast<HWND>(lp))) command(*c, HIWORD(wp));
      return 0;
    case WM_HSCROLL:
      if (Control* c = byHandle(reinterpret_cast<HWND>(lp)); c && !quiet_ && inputs_.chosen)
        inputs_.chosen(c->desc->name, static_cast<int>(SendMessageW(c->hwnd, TBM_GETPOS, 0, 0)));
      return 0;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lp);
      Control* tabs = byHandle(header->hwndFrom);
      if (tabs && header->code == static_cast<UINT>(TCN_SELCHANGE)) {
        const int index = static_cast<int>(SendMessageW(tabs->hwnd, TCM_GETCURSEL, 0, 0));
        int shown = 0;
        for (size_t i = 0; i < tabs->pages.size(); ++i)
          if (IsWindowVisible(tabs->pages[i]->hwnd)) shown = static_cast<int>(i);
        // A disabled page cannot be chosen: the tab goes back.
        const bool allowed = index >= 0 && index < static_cast<int>(tabs->pages.size()) && tabs->pages[index]->enabled;
        showPage(*tabs, allowed ? index : shown);
      }
      return 0;
    }
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
      if (item->CtlType == ODT_TAB) {
        drawTab(*item);
        return TRUE;
      }
      if (item->CtlType == ODT_STATIC) {
        drawRowCell(*item);
        return TRUE;
      }
      break;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      Control* c = byHandle(reinterpret_cast<HWND>(lp));
      if (c && c->coloured) {
        HDC dc = reinterpret_cast<HDC>(wp);
        SetTextColor(dc, c->colour);
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      }
      break;
    }
    case WM_PAINT:
      if (Control* c = byHandle(hwnd); c && c->desc->kind == ControlKind::Picture) {
        paintPicture(hwnd);
        return 0;
      }
      break;
    case WM_TIMER:
      if (auto it = ticks_.find(wp); it != ticks_.end()) {
        auto tick = it->second;  // the tick may set the timer again
        tick();
      }
      return 0;
    case kWakeMessage:
      if (queue_) queue_->deliver();
      return 0;
    case WM_CLOSE:
      if (Control* c = byHandle(hwnd); c && c->desc->kind == ControlKind::Window) {
        auto it = closeHandlers_.find(c->desc->name);
        if (it != closeHandlers_.end()) {
          auto onClose = it->second;
          onClose();
        } else {
          ShowWindow(hwnd, SW_HIDE);
        }
        return 0;
      }
      break;
    case WM_DESTROY:
      if (Control* c = byHandle(hwnd)) {
        for (auto it = timerIds_.begin(); it != timerIds_.end();) {
          if (find(it->first) == c) {
            ticks_.erase(it->second);
            it = timerIds_.erase(it);
          } else {
            ++it;
          }
        }
      }
      break;
    default: break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

void Win32FrontEnd::setCloseHandler(const std::string& window, std::function<void()> onClose) {
  closeHandlers_[window] = std::move(onClose);
}

void Win32FrontEnd::runOnWindowThread(std::function<void()> work, bool wait) {
  if (!queue_ || (wait && GetCurrentThreadId() == thread_)) {
    work();
  } else if (wait) {
    queue_->call(work);
  } else {
    queue_->post(std::move(work));
  }
}

void Win32FrontEnd::setTimer(const std::string& window, int intervalMs, std::function<void()> tick) {
  Control* c = find(window);
  if (!c) return;
  auto it = timerIds_.find(window);
  const UINT_PTR id = it != timerIds_.end() ? it->second : nextTimerId_++;
  KillTimer(c->hwnd, id);
  ticks_.erase(id);
  if (intervalMs <= 0 || !tick) {
    timerIds_.erase(window);
    return;
  }
  timerIds_[window] = id;
  ticks_[id] = std::move(tick);
  SetTimer(c->hwnd, id, static_cast<UINT>(intervalMs), nullptr);
}

void Win32FrontEnd::messageBox(const std::string& text, const std::string& caption, MessageIcon icon) {
  if (dialogs_.presenter) {
    dialogs_.presenter({text, caption, icon});
    return;
  }
  UINT type = MB_OK;
  switch (icon) {
    case MessageIcon::Error: type |= MB_ICONERROR; break;
    case MessageIcon::Warning: type |= MB_ICONWARNING; break;
    case MessageIcon::Information: type |= MB_ICONINFORMATION; break;
    case MessageIcon::None: break;
  }
  MessageBoxW(owner(), widen(text).c_str(), widen(caption).c_str(), type);
}

// The system's open dialog over `buffer`; the current folder is as before afterwards,
// since the dialog moves it and the station's relative paths need it back.
static bool openDialog(HWND owner, const std::string& title, const wchar_t* text, const wchar_t* pattern,
                std::vector<wchar_t>& buffer, DWORD flags) {
  const std::wstring t = widen(title);
  const std::wstring f = filter(text, pattern);
  OPENFILENAMEW ofn = {};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = f.c_str();
  ofn.lpstrFile = buffer.data();
  ofn.nMaxFile = static_cast<DWORD>(buffer.size());
  ofn.lpstrTitle = t.c_str();
  ofn.Flags = flags | OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
  wchar_t current[MAX_PATH * 2] = {};
  GetCurrentDirectoryW(MAX_PATH * 2, current);
  // The chooser starts in the current folder (the program's), not where it was last.
  ofn.lpstrInitialDir = current;
  const BOOL ok = GetOpenFileNameW(&ofn);
  SetCurrentDirectoryW(current);
  return ok != 0;
}

std::optional<std::vector<std::string>> Win32FrontEnd::chooseFiles(const std::string& title) {
  if (dialogs_.chooser) return dialogs_.chooser(title);
  std::vector<wchar_t> buffer(64 * 1024, L'\0');
  if (!openDialog(owner(), title, L"All Files (*.*)", L"*.*", buffer, OFN_ALLOWMULTISELECT)) return std::nullopt;
  // One file: its full path. Several: the folder, then each name, each ended by a zero.
  std::vector<std::wstring> parts;
  for (const wchar_t* p = buffer.data(); *p; p += wcslen(p) + 1) parts.emplace_back(p);
  std::vector<std::string> files;
  if (parts.size() == 1) {
    files.push_back(systemPath(parts[0]));
  } else {
    std::wstring folder = parts[0];
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    for (size_t i = 1; i < parts.size(); ++i) files.push_back(systemPath(folder + parts[i]));
  }
  return files;
}

std::optional<std::string> Win32FrontEnd::chooseFolder() {
  if (dialogs_.folderChooser) return dialogs_.folderChooser();
  BROWSEINFOW info = {};
  info.hwndOwner = owner();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  PIDLIST_ABSOLUTE list = SHBrowseForFolderW(&info);
  if (!list) return std::nullopt;
  wchar_t path[MAX_PATH * 2] = {};
  const BOOL ok = SHGetPathFromIDListW(list, path);
  CoTaskMemFree(list);
  if (!ok) return std::nullopt;
  return systemPath(path);
}

std::optional<std::string> Win32FrontEnd::choosePackage(const std::string& title) {
  if (dialogs_.packageChooser) return dialogs_.packageChooser();
  std::vector<wchar_t> buffer(MAX_PATH * 2, L'\0');
  if (!openDialog(owner(), title, L"bin Files (*.dat)", L"*.dat", buffer, 0)) return std::nullopt;
  return systemPath(buffer.data());
}

void Win32FrontEnd::closeWindow(const std::string& name) {
  if (Control* c = find(name); c && c->desc->kind == ControlKind::Window) SendMessageW(c->hwnd, WM_CLOSE, 0, 0);
}

}  // namespace station::win32
