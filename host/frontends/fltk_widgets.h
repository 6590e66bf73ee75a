// The FLTK widgets behind the window front end: the dialog window with its
// navigation bar, the progress-line labels and the message box.
#pragma once

#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_RGB_Image.H>

#include <functional>
#include <memory>
#include <string>

#include "platform/gwes/frontend.h"

namespace vardel::host {

Fl_Color fl_colour(COLORREF c);

// The phone's screen: the navigation bar (caption, OK button) over the
// dialog, which paints its own background.
class FltkDialogWindow : public Fl_Double_Window {
 public:
  FltkDialogWindow(int width, int height, HWND dialog);
  void update(const gwes::DialogInfo& info);
  void draw() override;

 private:
  HWND dialog_;
  RECT client_{};
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

// A modal message box: caption strip, text, OK (and Cancel). `done` gets
// the answer once; the box then hides itself and is deleted by FLTK.
class FltkMessageBox : public Fl_Double_Window {
 public:
  FltkMessageBox(int screen_w, int screen_h, const std::string& caption, const std::string& text,
                 UINT type, std::function<void(int)> done);
  void answer(int value);
  void draw() override;

 private:
  std::string caption_;
  std::function<void(int)> done_;
};

// The program icon (the largest 32-bit image of icon group 101), or null.
std::unique_ptr<Fl_RGB_Image> program_icon();

}  // namespace vardel::host
