// The window table and the queues that carry messages across threads.
#include "platform/gwes/window_table.h"

#include <algorithm>
#include <atomic>
#include <unordered_map>

#include <sched.h>

#include "platform/core/device.h"

namespace vardel::gwes::detail {
namespace {

struct Table {
  std::mutex mutex;
  std::unordered_map<std::uintptr_t, Window> windows;
  // Handles start well above the special values HWND_BOTTOM etc. and are
  // never reused, so a stale handle finds nothing.
  std::uintptr_t next = 0x10000;
};

Table& table() {
  static Table* t = new Table;  // never destroyed: jobs may outlive static teardown
  return *t;
}

std::uintptr_t key(HWND hwnd) { return reinterpret_cast<std::uintptr_t>(hwnd); }

std::atomic<Frontend*> g_frontend{nullptr};

void complete_all(std::vector<QueuedItem>& items) {
  for (auto& item : items)
    if (item.completion) item.completion->complete(0);
}

// Takes the items for any of the handles out of the queue.
void take_items_for(ThreadQueue& queue, const std::vector<HWND>& handles,
                    std::vector<QueuedItem>& out) {
  std::lock_guard lock(queue.mutex);
  auto keep =
      std::stable_partition(queue.items.begin(), queue.items.end(), [&](const QueuedItem& i) {
        return std::find(handles.begin(), handles.end(), i.hwnd) == handles.end();
      });
  std::move(keep, queue.items.end(), std::back_inserter(out));
  queue.items.erase(keep, queue.items.end());
  queue.queued = queue.items.size();
}

// A message sent to another thread is usually answered within microseconds,
// and the jobs send progress for every record. Sleeping on the condition
// variable at once costs each message two sleeps and two wake-ups, which on a
// virtual machine take tens of microseconds each (a command-line restore of
// 10,000 contacts spent two thirds of its time there). So a waiting thread
// first looks for its answer, or for work, for this long; it costs at most
// this much processor time per message when the other thread is slow.
//
// While it looks it keeps offering the processor to other threads: a backup
// runs two jobs and the window's thread, three threads on what is often two
// processors, and a waiter that only spun would keep a job (perhaps the one
// it waits for) off a processor for the rest of its time slice. With a
// processor to spare the yield returns at once.
constexpr long kSpinMicroseconds = 50;
constexpr unsigned kYieldEvery = 4;  // spins between offers

template <typename Ready>
bool spin_until(Ready ready) {
  using clock = std::chrono::steady_clock;
  const auto until = clock::now() + std::chrono::microseconds(kSpinMicroseconds);
  for (unsigned i = 1;; ++i) {
    if (ready()) return true;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
    if (i % kYieldEvery == 0) sched_yield();
    if (i % 64 == 0 && clock::now() >= until) return ready();
  }
}

}  // namespace

void Completion::complete(LRESULT value) {
  {
    std::lock_guard lock(waiter->mutex);
    result = value;
    done.store(true, std::memory_order_release);
  }
  waiter->changed.notify_all();
}

std::shared_ptr<ThreadQueue> this_thread_queue() {
  thread_local std::shared_ptr<ThreadQueue> queue = std::make_shared<ThreadQueue>();
  return queue;
}

std::mutex& table_mutex() { return table().mutex; }

Window* find_locked(HWND hwnd) {
  auto it = table().windows.find(key(hwnd));
  return it == table().windows.end() ? nullptr : &it->second;
}

HWND add_window(Window window) {
  window.thread = std::this_thread::get_id();
  window.queue = this_thread_queue();
  std::lock_guard lock(table().mutex);
  HWND hwnd = reinterpret_cast<HWND>(table().next);
  table().next += 4;
  window.hwnd = hwnd;
  if (Window* parent = find_locked(window.parent)) parent->children.push_back(hwnd);
  table().windows.emplace(key(hwnd), std::move(window));
  return hwnd;
}

bool remove_window(HWND hwnd) {
  std::vector<QueuedItem> orphans;
  {
    std::lock_guard lock(table().mutex);
    Window* w = find_locked(hwnd);
    if (!w) return false;
    std::vector<HWND> handles{hwnd};
    for (std::size_t i = 0; i < handles.size(); ++i)
      if (Window* c = find_locked(handles[i]))
        handles.insert(handles.end(), c->children.begin(), c->children.end());
    if (Window* parent = find_locked(w->parent)) std::erase(parent->children, hwnd);
    std::vector<std::shared_ptr<ThreadQueue>> queues;
    for (HWND h : handles) {
      auto it = table().windows.find(key(h));
      if (it == table().windows.end()) continue;
      if (std::find(queues.begin(), queues.end(), it->second.queue) == queues.end())
        queues.push_back(it->second.queue);
      table().windows.erase(it);
    }
    // Still under the table lock, so no sender can queue for these handles
    // between the erase and the sweep.
    for (auto& q : queues) take_items_for(*q, handles, orphans);
  }
  complete_all(orphans);
  return true;
}

std::optional<DialogInfo> dialog_snapshot(HWND hwnd) {
  std::lock_guard lock(table().mutex);
  Window* w = find_locked(hwnd);
  if (!w || w->kind != Kind::dialog) return std::nullopt;
  return DialogInfo{w->hwnd, w->text, w->style, w->ex_style, w->rect, w->visible, w->done_button};
}

std::optional<ControlInfo> control_snapshot(HWND hwnd) {
  std::lock_guard lock(table().mutex);
  Window* w = find_locked(hwnd);
  if (!w || w->kind == Kind::dialog) return std::nullopt;
  return ControlInfo{w->hwnd, w->parent, w->id,   w->class_name,
                     w->text, w->style,  w->rect, w->visible};
}

LRESULT dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  DLGPROC dlgproc = nullptr;
  WNDPROC wndproc = nullptr;
  {
    std::lock_guard lock(table().mutex);
    Window* w = find_locked(hwnd);
    if (!w) return 0;
    dlgproc = w->dlgproc;
    wndproc = w->wndproc;
  }
  if (wndproc) return wndproc(hwnd, message, wParam, lParam);
  if (!dlgproc) return DefWindowProcW(hwnd, message, wParam, lParam);
  INT_PTR handled = dlgproc(hwnd, message, wParam, lParam);
  // What the dialog manager does with a message the procedure left alone.
  if (!handled && message == WM_CLOSE)
    dispatch(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  return handled;
}

void wake(ThreadQueue& queue) {
  queue.changed.notify_all();
  if (Frontend* fe = g_frontend.load()) fe->wake();
}

namespace {

// Queues an item for the window's thread; false when the window is gone.
bool enqueue(HWND hwnd, QueuedItem item, std::shared_ptr<ThreadQueue>& target) {
  std::lock_guard lock(table().mutex);
  Window* w = find_locked(hwnd);
  if (!w) return false;
  target = w->queue;
  std::lock_guard qlock(target->mutex);
  target->items.push_back(std::move(item));
  target->queued = target->items.size();
  return true;
}

bool owned_here(HWND hwnd, bool& exists) {
  std::lock_guard lock(table().mutex);
  Window* w = find_locked(hwnd);
  exists = w != nullptr;
  return w && w->thread == std::this_thread::get_id();
}

}  // namespace

std::optional<LRESULT> run_on_owner(HWND hwnd, std::function<LRESULT()> fn) {
  bool exists = false;
  if (owned_here(hwnd, exists)) return fn();
  if (!exists) return std::nullopt;
  auto own = this_thread_queue();
  auto completion = std::make_shared<Completion>();
  completion->waiter = own;
  std::shared_ptr<ThreadQueue> target;
  if (!enqueue(hwnd, QueuedItem{hwnd, std::move(fn), completion}, target)) return std::nullopt;
  wake(*target);
  spin_until(
      [&] { return completion->done.load(std::memory_order_acquire) || own->queued.load() > 0; });
  // Wait, but keep handling what others send to this thread's windows, so
  // two threads sending to each other both get their answers.
  std::unique_lock lock(own->mutex);
  while (!completion->done) {
    if (!own->items.empty()) {
      lock.unlock();
      pump();
      lock.lock();
      continue;
    }
    own->changed.wait(lock);
  }
  return completion->result;
}

bool post_to_owner(HWND hwnd, std::function<LRESULT()> fn) {
  std::shared_ptr<ThreadQueue> target;
  if (!enqueue(hwnd, QueuedItem{hwnd, std::move(fn), nullptr}, target)) return false;
  wake(*target);
  return true;
}

int nav_bar_height() {
  int shortest = std::min(vardel::device::screen_width(), vardel::device::screen_height());
  return shortest >= 480 ? 52 : 26;
}

}  // namespace vardel::gwes::detail

namespace vardel::gwes {

using namespace detail;

void set_frontend(Frontend* frontend) { g_frontend.store(frontend); }
Frontend* frontend() { return g_frontend.load(); }

void Frontend::run_dialog_loop(HWND dialog) {
  while (!dialog_ended(dialog)) wait_and_pump();
}

int pump() {
  auto own = this_thread_queue();
  int handled = 0;
  for (;;) {
    QueuedItem item;
    {
      std::lock_guard lock(own->mutex);
      if (own->items.empty()) break;
      item = std::move(own->items.front());
      own->items.pop_front();
      own->queued = own->items.size();
    }
    bool alive = false;
    {
      std::lock_guard lock(table().mutex);
      alive = find_locked(item.hwnd) != nullptr;
    }
    LRESULT result = 0;
    try {
      if (alive) result = item.run();
    } catch (...) {
      // The sender still gets its answer (0, as for a window that is gone)
      // instead of waiting for ever; the thread that ran the item sees the
      // exception as it would have from a direct call.
      if (item.completion) item.completion->complete(0);
      throw;
    }
    if (item.completion) item.completion->complete(result);
    ++handled;
  }
  return handled;
}

int wait_and_pump(std::chrono::milliseconds timeout) {
  auto own = this_thread_queue();
  if (!spin_until([&] { return own->queued.load() > 0; })) {
    std::unique_lock lock(own->mutex);
    own->changed.wait_for(lock, timeout, [&] { return !own->items.empty(); });
  }
  return pump();
}

bool dialog_ended(HWND dialog) {
  std::lock_guard lock(table().mutex);
  Window* w = find_locked(dialog);
  return !w || w->ended;
}

bool post_to_window_thread(HWND window, std::function<void()> fn) {
  bool exists = false;
  if (owned_here(window, exists)) {
    fn();
    return true;
  }
  return post_to_owner(window, [fn = std::move(fn)] {
    fn();
    return LRESULT{0};
  });
}

bool call_on_window_thread(HWND window, std::function<void()> fn) {
  return run_on_owner(window,
                      [fn = std::move(fn)] {
                        fn();
                        return LRESULT{0};
                      })
      .has_value();
}

std::thread::id window_thread(HWND window) {
  std::lock_guard lock(table().mutex);
  Window* w = find_locked(window);
  return w ? w->thread : std::thread::id{};
}

std::optional<DialogInfo> dialog_info(HWND dialog) { return dialog_snapshot(dialog); }
std::optional<ControlInfo> control_info(HWND control) { return control_snapshot(control); }

std::vector<HWND> controls(HWND dialog) {
  std::lock_guard lock(table().mutex);
  Window* w = find_locked(dialog);
  if (!w) return {};
  // Template order is creation order; handles grow with creation.
  std::vector<HWND> list = w->children;
  std::sort(list.begin(), list.end(), [](HWND a, HWND b) { return key(a) < key(b); });
  return list;
}

}  // namespace vardel::gwes

using namespace vardel::gwes;
using namespace vardel::gwes::detail;

LRESULT SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  return run_on_owner(hWnd, [=] { return dispatch(hWnd, Msg, wParam, lParam); }).value_or(0);
}

BOOL PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  return post_to_owner(hWnd, [=] { return dispatch(hWnd, Msg, wParam, lParam); }) ? TRUE : FALSE;
}

LRESULT DefWindowProcW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  switch (Msg) {
    case WM_GETTEXTLENGTH:
      return GetWindowTextLengthW(hWnd);
    case WM_GETTEXT:
      return GetWindowTextW(hWnd, reinterpret_cast<LPWSTR>(lParam), static_cast<int>(wParam));
    case WM_SETTEXT:
      return SetWindowTextW(hWnd, reinterpret_cast<LPCWSTR>(lParam));
    case WM_CLOSE:
      DestroyWindow(hWnd);
      return 0;
    default:
      return 0;
  }
}
