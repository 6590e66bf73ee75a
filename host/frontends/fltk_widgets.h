// The FLTK widgets behind the window front end: the dialog window with its
// navigation bar and the progress-line labels. Boxes and the file picker
// have files of their own.
//
// Everything is laid out in the phone's pixels and drawn `zoom` times as
// large: positions, sizes, fonts and the dialog's picture alike, so the
// window is the phone's screen, only bigger. Taps land on the widgets at
// their zoomed places, so each reaches the control the phone has there.
#pragma once

#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_RGB_Image.H>

#include <memory>
#include <string>

#include "platform/gwes/frontend.h"

namespace vardel::host {

// The phone's text size in its pixels.
constexpr int kFontSize = 14;
// The navigation bar's and every caption strip's colour.
Fl_Color nav_bar_colour();
Fl_Color fl_colour(COLORREF c);

// The phone's screen on the display: where the dialog window stands, its
// size in the phone's pixels, and how many display pixels one phone pixel
// takes.
struct PhoneScreen {
  int x = 0, y = 0;  // display position of the screen's top-left corner
  int width = 240, height = 320;
  int zoom = 1;
  int px(int phone) const { return phone * zoom; }
};

// The phone's screen: the navigation bar (caption, OK button) over the
// dialog, which paints its own background.
class FltkDialogWindow : public Fl_Double_Window {
 public:
  FltkDialogWindow(int phone_width, int phone_height, int zoom, HWND dialog);
  void update(const gwes::DialogInfo& info);
  void draw() override;
  int zoom() const { return zoom_; }
  // Where the screen stands on the display now.
  PhoneScreen screen() const;

 private:
  HWND dialog_;
  int zoom_;
  RECT client_{};  // the phone's pixels
  std::string caption_;
  Fl_Button* ok_;
};

// A static control: its text on the brush the dialog answers
// WM_CTLCOLORSTATIC with, in the text colour it sets.
class FltkLabel : public Fl_Box {
 public:
  FltkLabel(int x, int y, int w, int h, HWND hwnd);
  void draw() override;

 private:
  HWND hwnd_;
};

// The program icon (the largest 32-bit image of icon group 101), or null.
std::unique_ptr<Fl_RGB_Image> program_icon();

}  // namespace vardel::host
