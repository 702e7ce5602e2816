// Worker updates reaching the window thread: all of them, in order per thread, behind
// never more than one waiting wake-up message.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "station/frontend/win32/window_thread.h"

namespace station::win32 {
namespace {

TEST(CoalescingQueue, OneWakeUpUntilTaken) {
  CoalescingQueue<int> q;
  EXPECT_TRUE(q.push(1));
  EXPECT_FALSE(q.push(2));
  EXPECT_FALSE(q.push(3));
  EXPECT_EQ(q.takeAll(), (std::deque<int>{1, 2, 3}));
  EXPECT_TRUE(q.push(4)) << "after the take a new update needs a new wake-up";
  q.wakeLost();
  EXPECT_TRUE(q.push(5)) << "a lost wake-up is asked for again";
  EXPECT_EQ(q.takeAll(), (std::deque<int>{4, 5}));
  EXPECT_TRUE(q.takeAll().empty());
}

constexpr UINT kWake = WM_APP + 7;

struct Window {
  WindowThreadQueue* queue = nullptr;
  std::atomic<int> wakeUps{0};
  std::atomic<int> secondWakeUpWaiting{0};
};
Window* g_window = nullptr;

LRESULT CALLBACK proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kWake && g_window && g_window->queue) {
    ++g_window->wakeUps;
    MSG other;
    if (PeekMessageW(&other, hwnd, kWake, kWake, PM_NOREMOVE)) ++g_window->secondWakeUpWaiting;
    g_window->queue->deliver();
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

class WindowThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TarnQueueTest";
    RegisterClassW(&wc);
    hwnd_ = CreateWindowExW(0, L"TarnQueueTest", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
    if (!hwnd_) GTEST_SKIP() << "no window could be made";
    queue_ = std::make_unique<WindowThreadQueue>(hwnd_, kWake);
    window_.queue = queue_.get();
    g_window = &window_;
  }
  void TearDown() override {
    g_window = nullptr;
    if (hwnd_) DestroyWindow(hwnd_);
  }
  // The window thread's loop until `done` or a minute has passed.
  bool pumpUntil(const std::function<bool()>& done) {
    const ULONGLONG end = GetTickCount64() + 60000;
    while (!done()) {
      if (GetTickCount64() > end) return false;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
      MSG m;
      while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    }
    return true;
  }
  HWND hwnd_ = nullptr;
  std::unique_ptr<WindowThreadQueue> queue_;
  Window window_;
};

TEST_F(WindowThreadTest, EightWorkersArriveCompleteAndInOrder) {
  constexpr int kThreads = 8, kEach = 5000;
  std::vector<std::vector<int>> seen(kThreads);  // touched on the window thread only
  std::atomic<int> offThread{0};
  std::atomic<int> arrived{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; ++t) {
    workers.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        queue_->post([&, t, i] {
          if (!queue_->onWindowThread()) ++offThread;
          seen[t].push_back(i);
          ++arrived;
        });
        if (i % 1000 == 999) Sleep(1);  // let the window thread take some in between
      }
    });
  }
  const bool all = pumpUntil([&] { return arrived == kThreads * kEach; });
  for (auto& w : workers) w.join();
  ASSERT_TRUE(all) << arrived << " of " << kThreads * kEach << " arrived";
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(seen[t].size(), static_cast<size_t>(kEach)) << "thread " << t;
    for (int i = 0; i < kEach; ++i) ASSERT_EQ(seen[t][i], i) << "thread " << t;
  }
  EXPECT_EQ(offThread, 0);
  EXPECT_EQ(window_.secondWakeUpWaiting, 0) << "more than one wake-up was waiting";
  EXPECT_LT(window_.wakeUps, kThreads * kEach);
  std::printf("%d updates, %d wake-up messages\n", kThreads * kEach, window_.wakeUps.load());
}

TEST_F(WindowThreadTest, CallWaitsForTheWindowThreadAfterEarlierUpdates) {
  std::vector<int> order;
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    queue_->post([&] { order.push_back(1); });
    queue_->call([&] { order.push_back(2); });
    order.push_back(3);  // the window thread is done with `order` by now
    returned = true;
  });
  const bool done = pumpUntil([&] { return returned.load(); });
  worker.join();
  ASSERT_TRUE(done);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
  int direct = 0;
  queue_->call([&] { ++direct; });  // on the window thread itself: no deadlock
  EXPECT_EQ(direct, 1);
}

}  // namespace
}  // namespace station::win32
