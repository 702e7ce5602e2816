// The native window as an operator uses it: input through the window's message queue
// (the system's mouse input, keys as the keyboard sends them), and what is on the screen
// read back from the controls themselves (enabled states, caret, fonts, pixels, the real
// file dialog's folder).
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "station/frontend/win32/wide.h"
#include "station/frontend/win32/win32_front_end.h"
#include "station/window/binder.h"
#include "support/scratch.h"
#include "support/window_expectations.h"

namespace station::win32 {
namespace {

namespace fs = std::filesystem;

void settle(int ms = 60) {
  const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
  do {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
    Sleep(5);
  } while (static_cast<LONG>(end - GetTickCount()) > 0);
}

class OperatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = tarn::testing::freshScratchDir("tarn_win32op");
    fs::create_directories(root_ / "misc");
    ModelOptions o;
    o.programFolder = root_.string();
    o.languages = &lang_;
    o.langId = 0x0409;
    model_ = std::make_unique<StationModel>(o);
    // The system's dialogs only where a test reads them: a click that wrongly gets
    // through to Add files... must not leave a dialog waiting for ever.
    Win32Dialogs dialogs;
    const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    if (test.find("FileChooser") == std::string::npos) {
      dialogs.chooser = [this](const std::string&) -> std::optional<std::vector<std::string>> {
        inputs_.push_back("file dialog");
        return std::nullopt;
      };
      dialogs.presenter = [this](const ModalMessage& m) { inputs_.push_back("message " + m.text); };
    }
    fe_ = std::make_unique<Win32FrontEnd>(dialogs);
    BinderDeps deps;
    deps.driveInPortCell = true;
    binder_ = std::make_unique<Binder>(*model_, *fe_, std::move(deps));
    binder_->create(mainWindowDesc());
    binder_->renderAll();
    binder_->attach();
    FrontEndInputs to = inputsOf(*binder_);
    FrontEndInputs heard = to;
    heard.clicked = [this, to](const std::string& n) { inputs_.push_back(n); to.clicked(n); };
    heard.toggled = [this, to](const std::string& n, bool v) { inputs_.push_back(n); to.toggled(n, v); };
    heard.chosen = [this, to](const std::string& n, int i) { inputs_.push_back(n); to.chosen(n, i); };
    heard.edited = [this, to](const std::string& n, const std::string& t) { inputs_.push_back(n); to.edited(n, t); };
    heard.selected = [this, to](const std::string& n, std::vector<int> s) { inputs_.push_back(n); to.selected(n, s); };
    fe_->setInputs(heard);
    form_ = fe_->handle("Form1");
    fe_->centre("Form1");
    fe_->setVisible("Form1", true);
    SetForegroundWindow(form_);
    settle(200);
  }
  void TearDown() override {
    binder_->detach();
    binder_.reset();
    fe_.reset();
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(root_);
  }

  // A left click at the control's centre through the system's input.
  void click(const std::string& name) {
    RECT r;
    GetWindowRect(fe_->handle(name), &r);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_MOUSE;
    in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, in, sizeof(INPUT));
    settle(80);
    // An open list (the combo box) is closed again.
    SendMessageW(fe_->handle(name), CB_SHOWDROPDOWN, FALSE, 0);
  }

  // A key as the keyboard gives it to the focused edit: down and up, the character made
  // from them by the message loop; a character outside the keyboard as an input method
  // gives it.
  void type(HWND edit, wchar_t ch) {
    if (ch >= 0x80) {
      PostMessageW(edit, WM_IME_CHAR, ch, 1);
      return;
    }
    const UINT vk = static_cast<UINT>(VkKeyScanW(ch) & 0xFF);
    PostMessageW(edit, WM_KEYDOWN, vk, 1);
    PostMessageW(edit, WM_KEYUP, vk, 0xC0000001);
  }

  DWORD caret(HWND edit) {
    DWORD start = 0, end = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return end;
  }

  fs::path root_;
  LanguageTable lang_;
  std::unique_ptr<StationModel> model_;
  std::unique_ptr<Win32FrontEnd> fe_;
  std::unique_ptr<Binder> binder_;
  std::vector<std::string> inputs_;
  HWND form_ = nullptr;
};

TEST_F(OperatorTest, GroupsDisabledByARunRefuseEveryControlOfTheirs) {
  const std::vector<std::string> members = testing::membersOf(mainWindowDesc(), {"grpMPSetting", "grpFileList"});
  ASSERT_GE(members.size(), 15u);
  // The input path reaches an enabled control, so a refused click means something.
  click("chkFormat");
  ASSERT_EQ(inputs_, std::vector<std::string>{"chkFormat"}) << "the system's click did not arrive";
  inputs_.clear();

  model_->rows().runStarted();
  settle();
  const Settings before = model_->controls().settings();
  for (const std::string& name : members) {
    EXPECT_FALSE(IsWindowEnabled(fe_->handle(name))) << name << " usable during a run";
    if (IsWindowVisible(fe_->handle(name))) click(name);
  }
  EXPECT_TRUE(inputs_.empty()) << inputs_.front() << " took a click during a run";
  EXPECT_EQ(model_->controls().settings().LabelEdit, before.LabelEdit);
  EXPECT_EQ(model_->controls().checked(Check::chkFormat), before.chkFormat);

  // After the run each control has its own state again.
  model_->rows().runEnded(true);
  settle();
  for (const std::string& name : members) {
    const bool own = name == "chkEraseAll" ? false
                     : name == "SystemAreaComBo" ? model_->controls().enabled(Element::SystemAreaComBo)
                                                 : true;
    EXPECT_EQ(IsWindowEnabled(fe_->handle(name)) != 0, own) << name;
  }
}

TEST_F(OperatorTest, TypedLabelKeepsItsOrderAndTheCaret) {
  HWND edit = fe_->handle("LabelEdit");
  SetFocus(edit);
  SendMessageW(edit, EM_SETSEL, 0, -1);
  // One key at a time, each answered before the next, as a technician types.
  for (wchar_t ch : std::wstring(L"abc")) {
    type(edit, ch);
    settle(40);
  }
  EXPECT_EQ(windowText(edit), L"ABC");
  EXPECT_EQ(model_->controls().labelText(), "ABC");
  EXPECT_EQ(caret(edit), 3u);
  // Faster than the answers come back, and in the middle of the text.
  SendMessageW(edit, EM_SETSEL, 1, 1);
  for (wchar_t ch : std::wstring(L"xyz")) type(edit, ch);
  settle(150);
  EXPECT_EQ(windowText(edit), L"AXYZBC");
  EXPECT_EQ(model_->controls().labelText(), "AXYZBC");
  EXPECT_EQ(caret(edit), 4u);
}

TEST_F(OperatorTest, ALabelReachesTheVolumeInTheSystemsCodePageOrIsRefused) {
  HWND edit = fe_->handle("LabelEdit");
  SetFocus(edit);
  SendMessageW(edit, EM_SETSEL, 0, -1);
  for (wchar_t ch : std::wstring(L"ab")) type(edit, ch);
  type(edit, L'\x4E2D');  // 中
  settle(150);
  if (GetACP() == 936) {
    EXPECT_EQ(model_->controls().labelText(), "AB\xD6\xD0") << "GBK, as the volume takes it";
    EXPECT_EQ(windowText(edit), L"AB\x4E2D");
    // Twelve bytes do not fit a label of eleven: the sixth character is refused.
    SendMessageW(edit, EM_SETSEL, 0, -1);
    for (int i = 0; i < 6; ++i) type(edit, L'\x6587');
    settle(150);
    EXPECT_EQ(windowText(edit), L"\x6587\x6587\x6587\x6587\x6587");
    EXPECT_EQ(model_->controls().labelText().size(), 10u);
  } else {
    // A character the system cannot spell is refused where it is typed, never a '?'.
    EXPECT_EQ(model_->controls().labelText(), "AB") << "code page " << GetACP();
    EXPECT_EQ(windowText(edit), L"AB");
  }
}

TEST_F(OperatorTest, EveryRowTextFitsItsCellInEachLanguage) {
  const std::string ini = std::string(TARN_SOURCE_DIR) + "/misc/lang.ini";
  for (std::uint16_t id : testing::kLanguages) {
    LanguageTable table;
    ASSERT_TRUE(table.load(ini, id));
    for (const testing::CellText& c : testing::rowTexts(table)) {
      fe_->setText(c.cell, c.text);
      HWND h = fe_->handle(c.cell);
      const std::wstring shown = windowText(h);
      ASSERT_EQ(shown, widen(c.text));
      // Measured in the control's own font, as the control lays the text out: one line
      // unless the control wraps.
      const HFONT font = reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0));
      RECT cell;
      GetClientRect(h, &cell);
      const bool oneLine = !fe_->twoLines(c.cell);
      HDC dc = GetDC(h);
      HGDIOBJ old = SelectObject(dc, font);
      SIZE size = {};
      TEXTMETRICW metrics = {};
      GetTextMetricsW(dc, &metrics);
      if (oneLine) {
        GetTextExtentPoint32W(dc, shown.c_str(), static_cast<int>(shown.size()), &size);
        size.cy = metrics.tmHeight;
      } else {
        RECT r = {0, 0, cell.right, 0};
        DrawTextW(dc, shown.c_str(), static_cast<int>(shown.size()), &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        size = {r.right, r.bottom};
        // Each line whole: no word is wider than the cell.
        for (size_t at = 0; at <= shown.size();) {
          size_t end = shown.find(L' ', at);
          if (end == std::wstring::npos) end = shown.size();
          SIZE word = {};
          GetTextExtentPoint32W(dc, shown.c_str() + at, static_cast<int>(end - at), &word);
          EXPECT_LE(word.cx, cell.right) << c.cell << ": a word of \"" << c.text << "\" is cut";
          at = end + 1;
        }
      }
      SelectObject(dc, old);
      ReleaseDC(h, dc);
      LOGFONTW lf = {};
      GetObjectW(font, sizeof lf, &lf);
      EXPECT_LE(size.cx, cell.right) << c.cell << " cuts \"" << c.text << "\" (language " << std::hex << id << ")";
      EXPECT_LE(size.cy, cell.bottom) << c.cell << " cuts \"" << c.text << "\" (language " << std::hex << id << ")";
      EXPECT_GE(-lf.lfHeight, kSmallestRowFontPixels) << c.cell << " unreadable";
    }
  }
}

// Drawn, not only measured: a text on two lines (a lang.ini's text longer than the
// shipped ones) shows ink in both halves of its cell.
TEST_F(OperatorTest, ATextOnTwoLinesShowsBoth) {
  const std::string name = rowCellName(RowCell::Status, 0);
  fe_->setText(name, "FILE Writing...");
  settle();
  fe_->setText(name, "SDK bonding ID does not match the player's 254 fail");
  fe_->setColour(name, TextColour::Red);
  HWND h = fe_->handle(name);
  ASSERT_TRUE(fe_->twoLines(name));
  RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  settle();
  RECT r;
  GetClientRect(h, &r);
  HDC dc = GetDC(h);
  const COLORREF ground = GetPixel(dc, r.right - 1, r.bottom / 2);
  int ink[2] = {0, 0};
  for (int y = 0; y < r.bottom; ++y)
    for (int x = 0; x < r.right; ++x)
      if (GetPixel(dc, x, y) != ground) ++ink[y < r.bottom / 2 ? 0 : 1];
  ReleaseDC(h, dc);
  EXPECT_GT(ink[0], 20);
  EXPECT_GT(ink[1], 20) << "the second line is not drawn";
}

// The tab strip's pixels as drawn.
std::vector<COLORREF> pixels(HWND h) {
  RECT r;
  GetClientRect(h, &r);
  HDC dc = GetDC(h);
  std::vector<COLORREF> out;
  for (int y = 0; y < 30; y += 2)
    for (int x = 0; x < 300; x += 1) out.push_back(GetPixel(dc, x, y));
  ReleaseDC(h, dc);
  return out;
}

TEST_F(OperatorTest, NewTabCaptionsLeaveNoTraceOfTheOldOnes) {
  HWND tabs = fe_->handle("PageControl");
  fe_->setText("TabSheet4", "Mass Production");
  fe_->setText("tabSetting", "Setting");
  UpdateWindow(tabs);
  settle();
  fe_->setText("TabSheet4", "\xE9\x87\x8F\xE4\xBA\xA7");  // 量产
  fe_->setText("tabSetting", "\xE8\xAE\xBE\xE7\xBD\xAE");  // 设置
  UpdateWindow(tabs);
  settle();
  const std::vector<COLORREF> shown = pixels(tabs);
  RedrawWindow(tabs, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  settle();
  EXPECT_TRUE(shown == pixels(tabs)) << "the strip changed when drawn anew";
}

TEST_F(OperatorTest, ARowShowsItsDriveUntilItsPortIsKnown) {
  const int slot = model_->rows().occupySlot('G');
  ASSERT_EQ(slot, 0);
  settle();
  EXPECT_EQ(windowText(fe_->handle("TextP1")), L"G:");
  model_->rows().setPortCell(slot, "Port:1-3");
  settle();
  EXPECT_EQ(windowText(fe_->handle("TextP1")), L"Port:1-3");
  model_->rows().setPortCell(slot, "");
  model_->rows().releaseDrive('G');
  settle();
  EXPECT_EQ(windowText(fe_->handle("TextP1")), L"");
}

// The real open dialog, read while it is open: the folder it shows.
std::wstring dialogFolder(Win32FrontEnd& fe, const std::string& title, const std::wstring& pick = {}) {
  std::wstring folder;
  std::thread reader([&] {
    HWND dialog = nullptr;
    for (int i = 0; i < 200 && !dialog; ++i) {
      Sleep(50);
      dialog = FindWindowW(L"#32770", widen(title).c_str());
    }
    if (!dialog) return;
    Sleep(300);
    wchar_t path[MAX_PATH * 2] = {};
    SendMessageW(dialog, CDM_GETFOLDERPATH, MAX_PATH * 2, reinterpret_cast<LPARAM>(path));
    folder = path;
    if (pick.empty()) {
      PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    } else {
      SendMessageW(dialog, CDM_SETCONTROLTEXT, edt1, reinterpret_cast<LPARAM>(pick.c_str()));
      HWND box = GetDlgItem(dialog, cmb13);
      if (box) SetWindowTextW(box, pick.c_str());
      PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    }
  });
  fe.chooseFiles(title);
  reader.join();
  return folder;
}

TEST_F(OperatorTest, TheFileChooserStartsInTheProgramsFolder) {
  const fs::path elsewhere = root_ / "elsewhere";
  fs::create_directories(elsewhere);
  std::ofstream(elsewhere / "song.mp3") << "x";
  SetCurrentDirectoryW(root_.wstring().c_str());
  // The operator once took a file from another folder.
  dialogFolder(*fe_, "Select files", (elsewhere / "song.mp3").wstring());
  const std::wstring folder = dialogFolder(*fe_, "Select files");
  wchar_t current[MAX_PATH * 2] = {};
  GetCurrentDirectoryW(MAX_PATH * 2, current);
  EXPECT_EQ(fs::path(folder), fs::path(current));
  EXPECT_EQ(fs::path(current), root_);
}

}  // namespace
}  // namespace station::win32
