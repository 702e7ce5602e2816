#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <random>

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

#endif

}  // namespace
}  // namespace platform
