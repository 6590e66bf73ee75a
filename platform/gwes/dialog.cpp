// Modal dialogs from templates, the shell's dialog set-up and the screen.
#include <algorithm>

#include "platform/core/device.h"
#include "platform/core/fault.h"
#include "platform/gwes/dialog_template.h"
#include "platform/gwes/window_table.h"

using namespace vardel::gwes;
using namespace vardel::gwes::detail;

namespace {

// A template handed in without a resource behind it is read up to this far.
constexpr std::size_t kLooseTemplateLimit = 64 * 1024;

HWND create_dialog(const DialogTemplate& t, HWND owner, DLGPROC proc) {
  Window dialog;
  dialog.kind = Kind::dialog;
  dialog.parent = nullptr;  // the owner does not make it a child
  dialog.text = t.caption;
  dialog.style = t.style;
  dialog.ex_style = t.ex_style;
  dialog.dlgproc = proc;
  // The top strip of the screen is the shell's navigation bar.
  int left = du_to_px_x(t.x), top = du_to_px_y(t.y) + nav_bar_height();
  dialog.rect = RECT{left, top, left + du_to_px_x(t.cx), top + du_to_px_y(t.cy)};
  (void)owner;
  HWND hwnd = add_window(std::move(dialog));
  for (const TemplateItem& item : t.items) {
    Window control;
    control.kind = Kind::control;
    control.parent = hwnd;
    control.id = item.id;
    control.class_name = item.class_name;
    control.text = item.text;
    control.style = item.style;
    control.ex_style = item.ex_style;
    control.visible = (item.style & WS_VISIBLE) != 0;
    int x = du_to_px_x(item.x), y = du_to_px_y(item.y);
    control.rect = RECT{x, y, x + du_to_px_x(item.cx), y + du_to_px_y(item.cy)};
    add_window(std::move(control));
  }
  return hwnd;
}

HWND first_tab_stop(HWND dialog) {
  for (HWND c : controls(dialog))
    if (auto info = control_info(c); info && (info->style & WS_TABSTOP)) return c;
  return nullptr;
}

}  // namespace

INT_PTR DialogBoxIndirectParamW(HINSTANCE /*hInstance*/, LPCDLGTEMPLATEW hDialogTemplate,
                                HWND hWndParent, DLGPROC lpDialogFunc, LPARAM dwInitParam) {
  if (FAILED(vardel::fault::check("gwes.DialogBoxIndirectParamW")) || !hDialogTemplate ||
      !lpDialogFunc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  std::size_t extent = resource_extent(hDialogTemplate);
  auto parsed = parse_dialog_template(hDialogTemplate, extent ? extent : kLooseTemplateLimit);
  if (!parsed) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  HWND dialog = create_dialog(*parsed, hWndParent, lpDialogFunc);
  Frontend* fe = frontend();
  if (fe) {
    if (auto d = dialog_snapshot(dialog)) fe->dialog_created(*d);
    for (HWND c : controls(dialog))
      if (auto info = control_snapshot(c)) fe->control_created(*info);
  }
  dispatch(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(first_tab_stop(dialog)), dwInitParam);
  if (!dialog_ended(dialog)) {
    ShowWindow(dialog, SW_SHOW);
    if (fe) {
      fe->run_dialog_loop(dialog);
    } else {
      while (!dialog_ended(dialog)) wait_and_pump();
    }
  }
  INT_PTR result = 0;
  {
    std::lock_guard lock(table_mutex());
    if (Window* w = find_locked(dialog)) result = w->result;
  }
  dispatch(dialog, WM_DESTROY, 0, 0);
  remove_window(dialog);
  if (fe) fe->dialog_destroyed(dialog);
  return result;
}

BOOL SHInitDialog(PSHINITDLGINFO pshidi) {
  if (!pshidi) return FALSE;
  HWND dlg = pshidi->hDlg;
  if (!dialog_snapshot(dlg)) return FALSE;
  if (!(pshidi->dwMask & SHIDIM_FLAGS)) return TRUE;
  DWORD flags = pshidi->dwFlags;
  return static_cast<BOOL>(run_on_owner(dlg, [=] {
                             {
                               std::lock_guard lock(table_mutex());
                               Window* w = find_locked(dlg);
                               if (!w) return LRESULT{FALSE};
                               if (flags & SHIDIF_DONEBUTTON) w->done_button = true;
                             }
                             if (flags & (SHIDIF_SIZEDLG | SHIDIF_SIZEDLGFULLSCREEN)) {
                               // The dialog takes the screen below the navigation bar, which keeps
                               // its caption and OK button.
                               int nav = nav_bar_height();
                               SetWindowPos(dlg, nullptr, 0, nav, vardel::device::screen_width(),
                                            vardel::device::screen_height() - nav, SWP_NOZORDER);
                             }
                             if (Frontend* fe = frontend())
                               if (auto d = dialog_snapshot(dlg)) fe->dialog_changed(*d);
                             return LRESULT{TRUE};
                           }).value_or(FALSE));
}

void InitCommonControls() {
  // Buttons and labels are the window system's own; nothing to register.
}

int GetSystemMetrics(int nIndex) {
  switch (nIndex) {
    case SM_CXSCREEN:
      return vardel::device::screen_width();
    case SM_CYSCREEN:
      return vardel::device::screen_height();
    default:
      return 0;
  }
}
