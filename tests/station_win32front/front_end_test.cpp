// The native controls: the model's own changes never come back as the operator's input,
// while the messages an operator's input produces reach the inputs by element name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "station/frontend/win32/win32_front_end.h"
#include "station/window/binder.h"

namespace station::win32 {
namespace {

struct Heard {
  std::vector<std::string> inputs;
  FrontEndInputs inputsFor() {
    return {[this](const std::string& n) { inputs.push_back("click " + n); },
            [this](const std::string& n, bool v) { inputs.push_back("toggle " + n + (v ? " 1" : " 0")); },
            [this](const std::string& n, int i) { inputs.push_back("choose " + n + " " + std::to_string(i)); },
            [this](const std::string& n, const std::string& t) { inputs.push_back("edit " + n + " " + t); },
            [this](const std::string& n, std::vector<int> s) {
              inputs.push_back("select " + n + " " + std::to_string(s.size()));
            }};
  }
};

void command(HWND control, int code) {
  SendMessageW(GetParent(control), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), code),
               reinterpret_cast<LPARAM>(control));
}

TEST(Win32FrontEnd, ProgrammaticChangesAreNoInputButTheOperatorsAre) {
  Win32FrontEnd fe;
  Heard heard;
  fe.setInputs(heard.inputsFor());
  createWindow(fe, mainWindowDesc());
  ASSERT_NE(fe.handle("LabelEdit"), nullptr);

  fe.setText("LabelEdit", "MY_AUDIO");
  fe.setChecked("chkFormat", true);
  fe.setValue("SystemAreaComBo", 2);
  fe.setValue("TrackBar1", 4);
  fe.setItems("SelectFileList2", {"a.bin", "b.mp3"}, {1});
  fe.setValue("PageControl", 1);
  EXPECT_TRUE(heard.inputs.empty()) << heard.inputs.front();

  SendMessageW(fe.handle("chkFormat"), BM_CLICK, 0, 0);
  SendMessageW(fe.handle("AddFilesBtn"), BM_CLICK, 0, 0);
  SetWindowTextW(fe.handle("LabelEdit"), L"NEW");
  SendMessageW(fe.handle("SystemAreaComBo"), CB_SETCURSEL, 5, 0);
  command(fe.handle("SystemAreaComBo"), CBN_SELCHANGE);
  SendMessageW(fe.handle("SelectFileList2"), LB_SETSEL, TRUE, 0);
  command(fe.handle("SelectFileList2"), LBN_SELCHANGE);
  EXPECT_EQ(heard.inputs, (std::vector<std::string>{"toggle chkFormat 0", "click AddFilesBtn", "edit LabelEdit NEW",
                                                    "choose SystemAreaComBo 5", "select SelectFileList2 2"}));
}

// Colours and timers by name are in the front ends' contract (front_end_contract_test.cpp).

}  // namespace
}  // namespace station::win32
