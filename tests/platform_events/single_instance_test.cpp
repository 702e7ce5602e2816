#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <random>

#include "platform/process.h"
#include "platform/single_instance.h"
#include "support/scratch.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace platform {
namespace {

std::string uniqueName() { return "Tarn test " + std::to_string(std::random_device{}()); }

#ifndef _WIN32

class InstanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = tarn::testing::freshScratchDir("tarn_instance");
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
};

TEST_F(InstanceTest, LaterStartAsksTheFirstToComeForward) {
  InstanceCheck first = checkSingleInstance(kInstanceName, dir_.string());
  ASSERT_TRUE(first.lock);
  EXPECT_TRUE(first.lock->held());

  std::mutex mu;
  std::condition_variable cv;
  int raises = 0;
  first.lock->onRaiseRequest([&] {
    std::lock_guard<std::mutex> lock(mu);
    ++raises;
    cv.notify_all();
  });
  for (int i = 1; i <= 2; ++i) {
    InstanceCheck later = checkSingleInstance(kInstanceName, dir_.string());
    EXPECT_FALSE(later.lock);
    EXPECT_TRUE(later.reachedRunning);
    std::unique_lock<std::mutex> lock(mu);
    cv.wait(lock, [&] { return raises == i; });
  }

  first.lock->release();
  EXPECT_FALSE(first.lock->held());
  InstanceCheck next = checkSingleInstance(kInstanceName, dir_.string());
  EXPECT_TRUE(next.lock) << "a released lock lets the next start run";
}

TEST_F(InstanceTest, RequestBeforeTheWindowExistsIsDeliveredLater) {
  InstanceCheck first = checkSingleInstance(kInstanceName, dir_.string());
  ASSERT_TRUE(first.lock);
  InstanceCheck later = checkSingleInstance(kInstanceName, dir_.string());
  ASSERT_TRUE(later.reachedRunning);
  std::mutex mu;
  std::condition_variable cv;
  bool raised = false;
  // The request may still be on its way to the listener: wait until it has been heard.
  for (;;) {
    first.lock->onRaiseRequest([&] {
      std::lock_guard<std::mutex> lock(mu);
      raised = true;
      cv.notify_all();
    });
    std::unique_lock<std::mutex> lock(mu);
    if (cv.wait_for(lock, std::chrono::milliseconds(100), [&] { return raised; })) break;
  }
  SUCCEED();
}

TEST_F(InstanceTest, NamesAreSeparateLocks) {
  InstanceCheck a = checkSingleInstance(uniqueName(), dir_.string());
  InstanceCheck b = checkSingleInstance(uniqueName(), dir_.string());
  EXPECT_TRUE(a.lock);
  EXPECT_TRUE(b.lock);
}

#else

TEST(Win32Instance, NamedMutexAndRunningWindow) {
  const std::string name = uniqueName();
  InstanceCheck first = checkSingleInstance(name, "");
  ASSERT_TRUE(first.lock);
  InstanceCheck early = checkSingleInstance(name, "");
  EXPECT_FALSE(early.lock);
  EXPECT_FALSE(early.reachedRunning) << "no window published yet";

  HWND window = CreateWindowExA(0, "STATIC", "station", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
  if (window) {
    first.lock->setWindow(window);
    InstanceCheck later = checkSingleInstance(name, "");
    EXPECT_FALSE(later.lock);
    EXPECT_TRUE(later.reachedRunning);
  }
  first.lock->release();
  InstanceCheck next = checkSingleInstance(name, "");
  EXPECT_TRUE(next.lock);
  if (window) DestroyWindow(window);
  else GTEST_SKIP() << "no display: the window half needs one (the display run covers it)";
}

void pumpMessages() {
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
}

// A second process finds the running window and restores it from the task bar, also when
// the window is published only after that start began; it writes no file.
TEST(Win32Instance, SecondProcessRestoresTheRunningWindow) {
  const std::string name = uniqueName();
  InstanceCheck first = checkSingleInstance(name, "");
  ASSERT_TRUE(first.lock);
  HWND window = CreateWindowExA(0, "STATIC", "station", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (!window) GTEST_SKIP() << "no display: the window half needs one (the display run covers it)";
  char self[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
  const auto starter = std::filesystem::path(std::string(self, n)).parent_path() /
                       "platform_instance_start.exe";
  const auto before = std::filesystem::current_path();
  const auto empty = std::filesystem::temp_directory_path() / ("tarn_instance_" + std::to_string(std::random_device{}()));
  std::filesystem::create_directories(empty);
  std::filesystem::current_path(empty);
  for (bool late : {true, false}) {
    ShowWindow(window, SW_SHOWMINIMIZED);
    pumpMessages();
    ASSERT_TRUE(IsIconic(window));
    ChildCommand cmd;
    cmd.windowsLine = "\"" + starter.string() + "\" \"" + name + "\"";
    const ULONGLONG started = GetTickCount64();
    ChildResult r = runChild(cmd, {20, 1000, [&] {
      if (late && GetTickCount64() - started > 1500) first.lock->setWindow(window);
      pumpMessages();
    }});
    ASSERT_TRUE(r.ended()) << (late ? "late" : "published");
    EXPECT_EQ(r.exitCode, 3u) << (late ? "late" : "published");
    for (int i = 0; i < 50 && IsIconic(window); ++i) {
      Sleep(20);
      pumpMessages();
    }
    EXPECT_FALSE(IsIconic(window)) << (late ? "late" : "published");
  }
  std::filesystem::current_path(before);
  EXPECT_TRUE(std::filesystem::is_empty(empty)) << "a later start wrote into its folder";
  std::error_code ignored;  // Wine may still hold the folder as the ended child's
  std::filesystem::remove_all(empty, ignored);
  DestroyWindow(window);
}

#endif

}  // namespace
}  // namespace platform
