// The FLTK widgets of the window front end.
#include "host/frontends/fltk_widgets.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cstring>

#include "host/frontends/surface.h"
#include "platform/core/wstr.h"

namespace vardel::host {

Fl_Color nav_bar_colour() { return fl_rgb_color(0x0A, 0x24, 0x5C); }

Fl_Color fl_colour(COLORREF c) {
  return fl_rgb_color(static_cast<uchar>(c & 0xFF), static_cast<uchar>((c >> 8) & 0xFF),
                      static_cast<uchar>((c >> 16) & 0xFF));
}

FltkDialogWindow::FltkDialogWindow(int phone_width, int phone_height, int zoom, HWND dialog)
    : Fl_Double_Window(phone_width * zoom, phone_height * zoom), dialog_(dialog), zoom_(zoom) {
  ok_ = new Fl_Button(0, 0, 1, 1, "ok");
  ok_->labelcolor(FL_WHITE);
  ok_->color(nav_bar_colour());
  ok_->box(FL_BORDER_BOX);
  ok_->labelsize(kFontSize * zoom);
  ok_->callback([](Fl_Widget*, void* d) { gwes::command(static_cast<HWND>(d), IDOK); }, dialog);
  ok_->hide();
  end();
  xclass("Vardel");  // what scripts find the window by (xdotool search --class)
  // The window manager's close box (and Escape) close the dialog.
  callback([](Fl_Widget*, void* d) { gwes::close(static_cast<HWND>(d)); }, dialog);
}

PhoneScreen FltkDialogWindow::screen() const {
  return PhoneScreen{x(), y(), w() / zoom_, h() / zoom_, zoom_};
}

void FltkDialogWindow::update(const gwes::DialogInfo& info) {
  client_ = info.rect;
  caption_ = utf8(info.caption);
  copy_label(caption_.c_str());
  // The caption bar's OK button, in the phone's pixels: 40 x 20 at the right.
  int nav = client_.top, phone_w = w() / zoom_;
  int bh = std::min(20, std::max(nav - 2, 10));
  ok_->resize((phone_w - 44) * zoom_, std::max(1, (nav - bh) / 2) * zoom_, 40 * zoom_, bh * zoom_);
  if (info.done_button)
    ok_->show();
  else
    ok_->hide();
  redraw();
}

void FltkDialogWindow::draw() {
  const int z = zoom_;
  fl_rectf(0, 0, w(), h(), FL_WHITE);
  fl_rectf(0, 0, w(), client_.top * z, nav_bar_colour());
  fl_font(FL_HELVETICA_BOLD, kFontSize * z);
  fl_color(FL_WHITE);
  fl_draw(caption_.c_str(), 6 * z, 0, w() - 56 * z, client_.top * z,
          FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
  // The dialog paints its client area (WM_PAINT) in the phone's pixels;
  // its picture goes below the bar, its edges carried out to fill the
  // client area, each pixel zoom times as large.
  RECT painted{};
  gwes::Image image = gwes::paint_window(dialog_, &painted);
  extend_painted(image, painted);
  if (image.width > 0 && image.height > 0) {
    std::vector<std::uint8_t> rgb = zoomed_rgb(image, z);
    fl_draw_image(rgb.data(), client_.left * z, client_.top * z, image.width * z, image.height * z,
                  3, 0);
  }
  draw_children();
}

FltkLabel::FltkLabel(int x, int y, int w, int h, HWND hwnd) : Fl_Box(x, y, w, h), hwnd_(hwnd) {}

void FltkLabel::draw() {
  gwes::LabelColors colours = gwes::label_colors(hwnd_);
  Fl_Color back = colours.custom ? fl_colour(colours.brush) : FL_WHITE;
  fl_rectf(x(), y(), w(), h(), back);
  if (colours.custom && colours.bk_mode == OPAQUE) back = fl_colour(colours.background);
  fl_font(FL_HELVETICA, labelsize());
  const char* text = label() ? label() : "";
  int tw = 0, th = 0;
  fl_measure(text, tw, th, 0);
  int pad = std::max(1, labelsize() / kFontSize);
  fl_rectf(x(), y(), std::min(tw + 2 * pad, w()), h(), back);
  fl_color(colours.custom ? fl_colour(colours.text) : FL_BLACK);
  fl_draw(text, x() + pad, y(), w() - pad, h(), FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
}

std::unique_ptr<Fl_RGB_Image> program_icon() {
  HRSRC group = FindResourceW(nullptr, MAKEINTRESOURCE(101), RT_GROUP_ICON);
  if (!group) return nullptr;
  auto dir = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, group)));
  DWORD size = SizeofResource(nullptr, group);
  if (!dir || size < 6) return nullptr;
  int count = dir[4] | dir[5] << 8, best = -1, best_size = 0, best_id = 0;
  for (int i = 0; i < count && 6u + 14u * (i + 1) <= size; ++i) {
    const uint8_t* e = dir + 6 + 14 * i;
    int s = e[0] ? e[0] : 256, bits = e[6] | e[7] << 8;
    if (bits == 32 && s > best_size) best = i, best_size = s, best_id = e[12] | e[13] << 8;
  }
  if (best < 0) return nullptr;
  HRSRC res = FindResourceW(nullptr, MAKEINTRESOURCE(best_id), RT_ICON);
  auto p = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, res)));
  size_t need = 40 + size_t(best_size) * best_size * 4;
  if (!p || SizeofResource(nullptr, res) < need) return nullptr;
  // Bottom-up BGRA rows after the 40-byte header; FLTK wants top-down RGBA
  // and keeps our buffer, so the image owns a copy.
  auto* rgba = new uchar[size_t(best_size) * best_size * 4];
  for (int y = 0; y < best_size; ++y)
    for (int x = 0; x < best_size; ++x) {
      const uint8_t* src = p + 40 + (size_t(best_size - 1 - y) * best_size + x) * 4;
      uchar* dst = rgba + (size_t(y) * best_size + x) * 4;
      dst[0] = src[2], dst[1] = src[1], dst[2] = src[0], dst[3] = src[3];
    }
  auto image = std::make_unique<Fl_RGB_Image>(rgba, best_size, best_size, 4);
  image->alloc_array = 1;  // FLTK frees the pixels with the image
  return image;
}

}  // namespace vardel::host
