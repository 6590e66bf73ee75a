// Inside the window system: the table of windows and the per-thread queues
// that carry messages and calls to a window's own thread.
//
// Locking: the table's mutex guards every Window field; a queue's mutex
// guards its items and the completions of the senders that wait on it. The
// table's mutex may be held while taking a queue's mutex, never the reverse.
// Window procedures and front-end calls run with no lock held.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/gwes/frontend.h"

namespace vardel::gwes::detail {

struct ThreadQueue;

// One message or call waiting for a window's thread. `done`, when set, is
// completed with the result so the sender can go on.
struct Completion {
  std::shared_ptr<ThreadQueue> waiter;  // the sender's queue: notified when done
  std::atomic<bool> done{false};        // set under waiter->mutex, read by spinning senders
  LRESULT result = 0;
  void complete(LRESULT value);
};

struct QueuedItem {
  HWND hwnd = nullptr;                     // the window it is for
  std::function<LRESULT()> run;            // handles the message or the call
  std::shared_ptr<Completion> completion;  // null for posted items
};

struct ThreadQueue {
  std::mutex mutex;
  std::condition_variable changed;  // an item arrived or a completion is done
  std::deque<QueuedItem> items;
  std::atomic<size_t> queued{0};  // items.size(), for a waiting thread to look at without the lock
};

// The calling thread's queue (made on first use, lives as long as the thread
// or a window or a waiting sender holds it).
std::shared_ptr<ThreadQueue> this_thread_queue();

enum class Kind { dialog, control, plain };

struct Window {
  HWND hwnd = nullptr;
  Kind kind = Kind::plain;
  std::thread::id thread;
  std::shared_ptr<ThreadQueue> queue;
  HWND parent = nullptr;
  int id = 0;
  std::u16string class_name;
  std::u16string text;
  DWORD style = 0;
  DWORD ex_style = 0;
  RECT rect{};
  bool visible = false;
  DLGPROC dlgproc = nullptr;
  WNDPROC wndproc = nullptr;
  LPARAM user_data = 0;
  std::vector<HWND> children;  // z-order, topmost first (template order at creation)
  bool ended = false;          // dialogs: EndDialog was called
  INT_PTR result = 0;
  bool done_button = false;
};

std::mutex& table_mutex();
// Under table_mutex(): the window, or null when it does not exist.
Window* find_locked(HWND hwnd);
// Adds a window owned by the calling thread; returns its handle.
HWND add_window(Window window);
// Removes the window (and its children): queued items for them complete
// with 0 and their senders go on. Returns false when it did not exist.
bool remove_window(HWND hwnd);

// Snapshots for the front end (nothing when the window is gone).
std::optional<DialogInfo> dialog_snapshot(HWND hwnd);
std::optional<ControlInfo> control_snapshot(HWND hwnd);

// Calls the window's procedure on the calling thread (which must own it);
// 0 when the window is gone. Controls answer WM_GETTEXT-like basics only.
LRESULT dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Runs fn on the window's thread and returns its result, waiting for it;
// at once when the caller owns the window. nullopt when the window is gone
// before fn ran.
std::optional<LRESULT> run_on_owner(HWND hwnd, std::function<LRESULT()> fn);
// Queues fn for the window's thread without waiting; false when it is gone.
bool post_to_owner(HWND hwnd, std::function<LRESULT()> fn);

// Wakes the thread that owns the queue (and the front end).
void wake(ThreadQueue& queue);

// The screen's navigation bar, where a dialog's caption and OK button show.
int nav_bar_height();

}  // namespace vardel::gwes::detail
