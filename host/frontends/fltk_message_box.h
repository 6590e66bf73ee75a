// A message box as a Chinese phone draws it: the caption strip, the text
// broken into lines the way Chinese is broken (any two ideographs, spaces
// between Latin words, CR LF), the buttons "确定", "取消" (or "是", "否", ...).
// The box is as wide as its text needs, within the phone's screen, and
// scrolls only when the text is taller than the screen.
//
// Dialog's thread only.
#pragma once

#include <FL/Fl_Double_Window.H>

#include <functional>
#include <string>
#include <vector>

#include "host/frontends/fltk_widgets.h"

namespace vardel::host {

class FltkMessageBox : public Fl_Double_Window {
 public:
  // `done` gets the answer once (IDOK, IDCANCEL, ...); the box then hides
  // itself and is deleted by FLTK.
  FltkMessageBox(const PhoneScreen& screen, std::u16string_view caption, std::u16string_view text,
                 UINT type, std::function<void(int)> done);
  void answer(int value);
  void draw() override;

  // The text as laid out, one entry per drawn line.
  const std::vector<std::u16string>& lines() const { return lines_; }

 private:
  std::string caption_;
  int zoom_;
  std::vector<std::u16string> lines_;
  std::function<void(int)> done_;
};

// The buttons of a box type, left to right: label and answer.
struct BoxButton {
  const char* label;
  int answer;
};
std::vector<BoxButton> box_buttons(UINT type);

}  // namespace vardel::host
