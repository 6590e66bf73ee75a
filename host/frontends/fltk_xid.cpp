// The X window id of an FLTK window. Kept apart because FL/x.H brings in
// Xlib's macros, which clash with the window system's names.
#include <FL/Fl_Window.H>
#include <FL/x.H>

namespace vardel::host {

unsigned long fltk_xid(const Fl_Window* window) { return window ? fl_xid(window) : 0; }

}  // namespace vardel::host

namespace vardel::host {

bool fltk_open_display() {
  // FLTK exits when it cannot open the display; ask Xlib first.
  Display* display = XOpenDisplay(nullptr);
  if (!display) return false;
  fl_open_display(display);
  return true;
}

}  // namespace vardel::host
