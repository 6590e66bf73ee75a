// SendMessageW and PostMessageW on the window's thread and across threads.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>
#include <thread>

#include "platform/gwes/frontend.h"
#include "test_support/recording_window.h"

namespace {

using namespace std::chrono_literals;
using vardel::testing::RecordedMessage;
using vardel::testing::RecordingWindow;

constexpr UINT WM_PROGRESS = WM_USER + 1;

LRESULT echo_procedure(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
  return message == WM_PROGRESS ? static_cast<LRESULT>(wParam * 1000 + lParam) : 0;
}

TEST(SendMessage, OnTheWindowsThreadRunsAtOnce) {
  HWND hwnd = vardel::testing::create_window(echo_procedure);
  EXPECT_EQ(SendMessageW(hwnd, WM_PROGRESS, 42, 2), 42002);
  // Nothing was queued: the procedure ran inside the call.
  EXPECT_EQ(vardel::gwes::pump(), 0);
  EXPECT_TRUE(DestroyWindow(hwnd));
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(SendMessageW(hwnd, WM_PROGRESS, 1, 1), 0);
}

TEST(SendMessage, FromAnotherThreadRunsOnTheWindowsThreadWhileTheSenderWaits) {
  std::atomic<bool> handled{false};
  RecordingWindow window([&](const RecordedMessage& m) -> LRESULT {
    std::this_thread::sleep_for(30ms);  // the sender must still be waiting
    handled = true;
    return static_cast<LRESULT>(m.wParam + 1);
  });
  LRESULT result = SendMessageW(window.hwnd(), WM_PROGRESS, 41, 1);
  EXPECT_TRUE(handled.load());
  EXPECT_EQ(result, 42);
  auto got = window.messages(WM_PROGRESS);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].thread, window.thread_id());
  EXPECT_NE(got[0].thread, std::this_thread::get_id());
}

TEST(SendMessage, ManySendersLoseNothingAndKeepTheirOrder) {
  RecordingWindow window([](const RecordedMessage& m) { return static_cast<LRESULT>(m.wParam); });
  constexpr int kSenders = 6, kEach = 300;
  std::vector<std::thread> senders;
  std::atomic<int> wrong{0};
  for (int s = 0; s < kSenders; ++s)
    senders.emplace_back([&, s] {
      for (int i = 0; i < kEach; ++i)
        if (SendMessageW(window.hwnd(), WM_PROGRESS, i, s) != i) ++wrong;
    });
  for (auto& t : senders) t.join();
  EXPECT_EQ(wrong.load(), 0);
  auto got = window.messages(WM_PROGRESS);
  ASSERT_EQ(got.size(), size_t{kSenders * kEach});
  std::vector<WPARAM> last(kSenders, 0);
  std::vector<int> seen(kSenders, 0);
  for (auto& m : got) {
    auto s = static_cast<size_t>(m.lParam);
    if (seen[s]++) {
      EXPECT_EQ(m.wParam, last[s] + 1) << "sender " << s;
    }
    last[s] = m.wParam;
  }
}

TEST(SendMessage, TwoThreadsSendingToEachOtherBothGetAnswers) {
  // Each thread owns a window and sends to the other's while the other is
  // itself waiting in SendMessageW: the waits must serve incoming sends.
  std::atomic<bool> go{false};
  LRESULT ra = 0, rb = 0;
  std::promise<HWND> a_for_b, b_for_a;
  std::thread a([&] {
    HWND own = vardel::testing::create_window(echo_procedure);
    a_for_b.set_value(own);
    HWND other = b_for_a.get_future().get();
    while (!go) std::this_thread::yield();
    ra = SendMessageW(other, WM_PROGRESS, 7, 3);
    for (int i = 0; i < 20; ++i) vardel::gwes::wait_and_pump(5ms);
    DestroyWindow(own);
  });
  std::thread b([&] {
    HWND own = vardel::testing::create_window(echo_procedure);
    b_for_a.set_value(own);
    HWND other = a_for_b.get_future().get();
    while (!go) std::this_thread::yield();
    rb = SendMessageW(other, WM_PROGRESS, 7, 3);
    for (int i = 0; i < 20; ++i) vardel::gwes::wait_and_pump(5ms);
    DestroyWindow(own);
  });
  go = true;
  a.join();
  b.join();
  EXPECT_EQ(ra, 7003);
  EXPECT_EQ(rb, 7003);
}

TEST(SendMessage, AWindowDestroyedBeforeItsThreadPumpsAnswersZero) {
  std::promise<HWND> made;
  std::promise<void> sent_started;
  std::thread owner([&] {
    HWND hwnd = vardel::testing::create_window(echo_procedure);
    made.set_value(hwnd);
    sent_started.get_future().wait();
    std::this_thread::sleep_for(30ms);  // the send is queued, never pumped
    DestroyWindow(hwnd);
  });
  HWND hwnd = made.get_future().get();
  auto result = std::async(std::launch::async, [&] {
    sent_started.set_value();
    return SendMessageW(hwnd, WM_PROGRESS, 5, 5);
  });
  ASSERT_EQ(result.wait_for(5s), std::future_status::ready) << "the sender was left waiting";
  EXPECT_EQ(result.get(), 0);
  owner.join();
}

TEST(SendMessage, AProcedureThatThrowsAnswersTheSenderAndThrowsOnItsOwnThread) {
  std::promise<HWND> made;
  std::atomic<bool> stop{false}, caught{false};
  std::thread owner([&] {
    HWND hwnd = vardel::testing::create_window([](HWND, UINT m, WPARAM, LPARAM) -> LRESULT {
      if (m == WM_PROGRESS) throw std::runtime_error("procedure failed");
      return 0;
    });
    made.set_value(hwnd);
    while (!stop) {
      try {
        vardel::gwes::pump();
      } catch (const std::runtime_error&) {
        caught = true;
      }
      std::this_thread::sleep_for(1ms);
    }
    DestroyWindow(hwnd);
  });
  HWND hwnd = made.get_future().get();
  auto result =
      std::async(std::launch::async, [&] { return SendMessageW(hwnd, WM_PROGRESS, 5, 5); });
  ASSERT_EQ(result.wait_for(5s), std::future_status::ready) << "the sender was left waiting";
  EXPECT_EQ(result.get(), 0);
  stop = true;
  owner.join();
  EXPECT_TRUE(caught.load());
}

TEST(PostMessage, ReturnsAtOnceAndIsHandledInOrderAtThePump) {
  std::vector<WPARAM> got;
  static std::vector<WPARAM>* sink;
  sink = &got;
  HWND hwnd = vardel::testing::create_window([](HWND, UINT m, WPARAM w, LPARAM) -> LRESULT {
    if (m == WM_PROGRESS) sink->push_back(w);
    return 0;
  });
  std::thread poster([&] {
    for (WPARAM i = 0; i < 5; ++i) EXPECT_TRUE(PostMessageW(hwnd, WM_PROGRESS, i, 0));
  });
  poster.join();
  for (WPARAM i = 5; i < 8; ++i) PostMessageW(hwnd, WM_PROGRESS, i, 0);
  EXPECT_TRUE(got.empty());
  EXPECT_EQ(vardel::gwes::pump(), 8);
  EXPECT_EQ(got, (std::vector<WPARAM>{0, 1, 2, 3, 4, 5, 6, 7}));
  DestroyWindow(hwnd);
  EXPECT_FALSE(PostMessageW(hwnd, WM_PROGRESS, 0, 0));
}

}  // namespace
