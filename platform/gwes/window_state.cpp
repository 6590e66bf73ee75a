// Window state: text, visibility, position, z-order, ids; and the user's
// input that front ends feed in.
//
// A change made from another thread is carried out on the window's thread
// (the phone sends the matching message), so the front end hears of it
// there.
#include <algorithm>

#include "platform/core/wstr.h"
#include "platform/gwes/window_table.h"

using namespace vardel::gwes;
using namespace vardel::gwes::detail;

namespace {

enum class Change { text, visibility, position };

void notify(HWND hwnd, Change change) {
  Frontend* fe = frontend();
  if (!fe) return;
  if (auto d = dialog_snapshot(hwnd)) {
    fe->dialog_changed(*d);
    return;
  }
  auto c = control_snapshot(hwnd);
  if (!c || !c->parent) return;  // plain windows are not shown
  switch (change) {
    case Change::text:
      fe->control_text_changed(*c);
      break;
    case Change::visibility:
      fe->control_visibility_changed(*c);
      break;
    case Change::position:
      fe->control_moved(*c);
      break;
  }
}

// Runs a state change on the owner's thread; FALSE when the window is gone.
LRESULT on_owner(HWND hwnd, std::function<LRESULT()> fn) {
  return run_on_owner(hwnd, std::move(fn)).value_or(0);
}

}  // namespace

BOOL IsWindow(HWND hWnd) {
  std::lock_guard lock(table_mutex());
  return find_locked(hWnd) ? TRUE : FALSE;
}

HWND GetParent(HWND hWnd) {
  std::lock_guard lock(table_mutex());
  Window* w = find_locked(hWnd);
  return w ? w->parent : nullptr;
}

HWND GetDlgItem(HWND hDlg, int nIDDlgItem) {
  std::lock_guard lock(table_mutex());
  Window* d = find_locked(hDlg);
  if (!d) return nullptr;
  for (HWND child : d->children) {
    Window* c = find_locked(child);
    if (c && c->id == nIDDlgItem) return child;
  }
  return nullptr;
}

int GetDlgCtrlID(HWND hWnd) {
  std::lock_guard lock(table_mutex());
  Window* w = find_locked(hWnd);
  return w ? w->id : 0;
}

BOOL SetWindowTextW(HWND hWnd, LPCWSTR lpString) {
  std::u16string text = lpString ? std::u16string(lpString) : std::u16string();
  return static_cast<BOOL>(on_owner(hWnd, [hWnd, text = std::move(text)]() mutable {
    {
      std::lock_guard lock(table_mutex());
      Window* w = find_locked(hWnd);
      if (!w) return LRESULT{FALSE};
      // The same text again changes nothing the front end shows (a job's
      // progress line gets the same percentage for many records in a row).
      if (w->text == text) return LRESULT{TRUE};
      w->text = std::move(text);
    }
    notify(hWnd, Change::text);
    return LRESULT{TRUE};
  }));
}

int GetWindowTextLengthW(HWND hWnd) {
  std::lock_guard lock(table_mutex());
  Window* w = find_locked(hWnd);
  return w ? static_cast<int>(w->text.size()) : 0;
}

int GetWindowTextW(HWND hWnd, LPWSTR lpString, int nMaxCount) {
  if (!lpString || nMaxCount <= 0) return 0;
  std::lock_guard lock(table_mutex());
  Window* w = find_locked(hWnd);
  if (!w) {
    lpString[0] = 0;
    return 0;
  }
  std::size_t n = std::min(w->text.size(), static_cast<std::size_t>(nMaxCount - 1));
  std::copy_n(w->text.data(), n, lpString);
  lpString[n] = 0;
  return static_cast<int>(n);
}

BOOL IsWindowVisible(HWND hWnd) {
  std::lock_guard lock(table_mutex());
  Window* w = find_locked(hWnd);
  return w && w->visible ? TRUE : FALSE;
}

BOOL ShowWindow(HWND hWnd, int nCmdShow) {
  bool show = nCmdShow != SW_HIDE;
  return static_cast<BOOL>(on_owner(hWnd, [=] {
    bool was = false;
    {
      std::lock_guard lock(table_mutex());
      Window* w = find_locked(hWnd);
      if (!w) return LRESULT{FALSE};
      was = w->visible;
      w->visible = show;
    }
    if (was != show) notify(hWnd, Change::visibility);
    return LRESULT{was ? TRUE : FALSE};
  }));
}

BOOL SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags) {
  return static_cast<BOOL>(on_owner(hWnd, [=] {
    bool resized = false, moved = false, shown = false;
    Kind kind = Kind::plain;
    RECT rect{};
    {
      std::lock_guard lock(table_mutex());
      Window* w = find_locked(hWnd);
      if (!w) return LRESULT{FALSE};
      kind = w->kind;
      RECT r = w->rect;
      if (!(uFlags & SWP_NOMOVE)) {
        r.right = X + (r.right - r.left);
        r.bottom = Y + (r.bottom - r.top);
        r.left = X;
        r.top = Y;
      }
      if (!(uFlags & SWP_NOSIZE)) {
        resized = (r.right - r.left) != cx || (r.bottom - r.top) != cy;
        r.right = r.left + std::max(cx, 0);
        r.bottom = r.top + std::max(cy, 0);
      }
      moved = r.left != w->rect.left || r.top != w->rect.top || resized;
      w->rect = r;
      rect = r;
      if (!(uFlags & SWP_NOZORDER)) {
        if (Window* parent = find_locked(w->parent)) {
          auto& z = parent->children;
          std::erase(z, hWnd);
          if (hWndInsertAfter == HWND_BOTTOM) {
            z.push_back(hWnd);
          } else if (hWndInsertAfter == HWND_TOP || hWndInsertAfter == HWND_TOPMOST ||
                     hWndInsertAfter == HWND_NOTOPMOST) {
            z.insert(z.begin(), hWnd);
          } else {
            auto at = std::find(z.begin(), z.end(), hWndInsertAfter);
            z.insert(at == z.end() ? z.end() : at + 1, hWnd);
          }
        }
      }
      if (uFlags & SWP_SHOWWINDOW) shown = !w->visible, w->visible = true;
      if (uFlags & SWP_HIDEWINDOW) shown = w->visible, w->visible = false;
    }
    if (moved || (uFlags & SWP_FRAMECHANGED)) notify(hWnd, Change::position);
    if (shown) notify(hWnd, Change::visibility);
    if (resized && kind != Kind::control)
      dispatch(hWnd, WM_SIZE, SIZE_RESTORED,
               MAKELPARAM(rect.right - rect.left, rect.bottom - rect.top));
    return LRESULT{TRUE};
  }));
}

BOOL MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL /*bRepaint*/) {
  return SetWindowPos(hWnd, nullptr, X, Y, nWidth, nHeight, SWP_NOZORDER);
}

BOOL GetClientRect(HWND hWnd, LPRECT lpRect) {
  if (!lpRect) return FALSE;
  std::lock_guard lock(table_mutex());
  Window* w = find_locked(hWnd);
  if (!w) return FALSE;
  *lpRect = RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
  return TRUE;
}

BOOL GetWindowRect(HWND hWnd, LPRECT lpRect) {
  if (!lpRect) return FALSE;
  std::lock_guard lock(table_mutex());
  Window* w = find_locked(hWnd);
  if (!w) return FALSE;
  RECT r = w->rect;
  // A child's rectangle is kept in its parent's client coordinates.
  for (Window* p = find_locked(w->parent); p; p = find_locked(p->parent)) {
    r.left += p->rect.left, r.right += p->rect.left;
    r.top += p->rect.top, r.bottom += p->rect.top;
  }
  *lpRect = r;
  return TRUE;
}

BOOL InvalidateRect(HWND hWnd, const RECT* /*lpRect*/, BOOL /*bErase*/) {
  if (!IsWindow(hWnd)) return FALSE;
  // The front end repaints on the window's thread.
  post_to_window_thread(hWnd, [hWnd] {
    if (Frontend* fe = frontend()) fe->repaint(hWnd);
  });
  return TRUE;
}

BOOL UpdateWindow(HWND hWnd) { return IsWindow(hWnd); }

BOOL EndDialog(HWND hDlg, INT_PTR nResult) {
  std::shared_ptr<ThreadQueue> queue;
  {
    std::lock_guard lock(table_mutex());
    Window* w = find_locked(hDlg);
    if (!w || w->kind != Kind::dialog) return FALSE;
    // The first EndDialog decides the result, as on the phone.
    if (!w->ended) {
      w->ended = true;
      w->result = nResult;
    }
    queue = w->queue;
  }
  wake(*queue);  // the dialog's loop looks at `ended` when it wakes
  return TRUE;
}

BOOL DestroyWindow(HWND hWnd) {
  return static_cast<BOOL>(on_owner(hWnd, [=] {
    dispatch(hWnd, WM_DESTROY, 0, 0);
    return LRESULT{remove_window(hWnd) ? TRUE : FALSE};
  }));
}

namespace vardel::gwes {

void click(HWND control) {
  auto c = control_snapshot(control);
  if (!c || !c->parent) return;
  SendMessageW(c->parent, WM_COMMAND, MAKEWPARAM(c->id, BN_CLICKED),
               reinterpret_cast<LPARAM>(control));
}

void command(HWND dialog, int id) { SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

void close(HWND dialog) { SendMessageW(dialog, WM_CLOSE, 0, 0); }

}  // namespace vardel::gwes
