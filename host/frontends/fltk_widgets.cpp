// The FLTK widgets of the window front end.
#include "host/frontends/fltk_widgets.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <cstring>

#include "platform/core/wstr.h"

namespace vardel::host {
namespace {

constexpr int kFontSize = 14;
const Fl_Color kNavBar = fl_rgb_color(0x0A, 0x24, 0x5C);

}  // namespace

Fl_Color fl_colour(COLORREF c) {
  return fl_rgb_color(static_cast<uchar>(c & 0xFF), static_cast<uchar>((c >> 8) & 0xFF),
                      static_cast<uchar>((c >> 16) & 0xFF));
}

FltkDialogWindow::FltkDialogWindow(int width, int height, HWND dialog)
    : Fl_Double_Window(width, height), dialog_(dialog) {
  ok_ = new Fl_Button(width - 44, 3, 40, 20, "ok");
  ok_->labelcolor(FL_WHITE);
  ok_->color(kNavBar);
  ok_->box(FL_BORDER_BOX);
  ok_->labelsize(kFontSize);
  ok_->callback([](Fl_Widget*, void* d) { gwes::command(static_cast<HWND>(d), IDOK); }, dialog);
  ok_->hide();
  end();
  xclass("Vardel");  // what scripts find the window by (xdotool search --class)
  // The window manager's close box (and Escape) close the dialog.
  callback([](Fl_Widget*, void* d) { gwes::close(static_cast<HWND>(d)); }, dialog);
}

void FltkDialogWindow::update(const gwes::DialogInfo& info) {
  client_ = info.rect;
  caption_ = utf8(info.caption);
  copy_label(caption_.c_str());
  int nav = client_.top;
  ok_->resize(w() - 44, std::max(1, (nav - 20) / 2), 40, std::min(20, std::max(nav - 2, 10)));
  if (info.done_button)
    ok_->show();
  else
    ok_->hide();
  redraw();
}

void FltkDialogWindow::draw() {
  fl_rectf(0, 0, w(), h(), FL_WHITE);
  fl_rectf(0, 0, w(), client_.top, kNavBar);
  fl_font(FL_HELVETICA_BOLD, kFontSize);
  fl_color(FL_WHITE);
  fl_draw(caption_.c_str(), 6, 0, w() - 56, client_.top,
          FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
  // The dialog paints its client area (WM_PAINT); its picture goes below the bar.
  gwes::Image image = gwes::paint_window(dialog_);
  if (image.width > 0 && image.height > 0)
    fl_draw_image(image.rgb.data(), client_.left, client_.top, image.width, image.height, 3, 0);
  draw_children();
}

FltkLabel::FltkLabel(int x, int y, int w, int h, HWND hwnd) : Fl_Box(x, y, w, h), hwnd_(hwnd) {}

void FltkLabel::draw() {
  gwes::LabelColors colours = gwes::label_colors(hwnd_);
  Fl_Color back = colours.custom ? fl_colour(colours.brush) : FL_WHITE;
  fl_rectf(x(), y(), w(), h(), back);
  if (colours.custom && colours.bk_mode == OPAQUE) back = fl_colour(colours.background);
  fl_font(FL_HELVETICA, kFontSize);
  const char* text = label() ? label() : "";
  int tw = 0, th = 0;
  fl_measure(text, tw, th, 0);
  fl_rectf(x(), y(), std::min(tw + 2, w()), h(), back);
  fl_color(colours.custom ? fl_colour(colours.text) : FL_BLACK);
  fl_draw(text, x() + 1, y(), w() - 1, h(), FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
}

FltkMessageBox::FltkMessageBox(int screen_w, int screen_h, const std::string& caption,
                               const std::string& text, UINT type, std::function<void(int)> done)
    : Fl_Double_Window(10, 10), caption_(caption), done_(std::move(done)) {
  int width = std::min(screen_w - 16, 224);
  fl_font(FL_HELVETICA, kFontSize);
  int tw = width - 24, th = 0;
  fl_measure(text.c_str(), tw, th, 0);
  int height = 26 + 12 + th + 12 + 26 + 10;
  size(width, height);
  position((screen_w - width) / 2, std::max(0, (screen_h - height) / 2));
  copy_label(caption.c_str());
  auto* message = new Fl_Box(12, 26 + 12, width - 24, th);
  message->copy_label(text.c_str());
  message->labelsize(kFontSize);
  message->align(FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
  bool cancel = (type & MB_TYPEMASK) == MB_OKCANCEL;
  int bw = 70, by = height - 10 - 26;
  auto button = [&](int x, const char* name, int value) {
    // OK answers the Enter key too.
    Fl_Button* b = value == IDOK ? new Fl_Return_Button(x, by, bw, 26, name)
                                 : new Fl_Button(x, by, bw, 26, name);
    b->labelsize(kFontSize);
    b->callback(
        [](Fl_Widget* w, void* v) {
          static_cast<FltkMessageBox*>(w->window())
              ->answer(static_cast<int>(reinterpret_cast<intptr_t>(v)));
        },
        reinterpret_cast<void*>(static_cast<intptr_t>(value)));
    return b;
  };
  if (cancel) {
    button(width / 2 - bw - 6, "OK", IDOK);
    button(width / 2 + 6, "Cancel", IDCANCEL);
  } else {
    button((width - bw) / 2, "OK", IDOK);
  }
  end();
  xclass("VardelMessageBox");
  set_modal();
  // Closing the box answers Cancel when it has one, else OK.
  callback(
      [](Fl_Widget* w, void* v) {
        static_cast<FltkMessageBox*>(w)->answer(static_cast<int>(reinterpret_cast<intptr_t>(v)));
      },
      reinterpret_cast<void*>(static_cast<intptr_t>(cancel ? IDCANCEL : IDOK)));
}

void FltkMessageBox::answer(int value) {
  if (!done_) return;
  auto done = std::move(done_);
  done_ = nullptr;
  hide();
  Fl::delete_widget(this);
  done(value);
}

void FltkMessageBox::draw() {
  Fl_Double_Window::draw();
  fl_rectf(0, 0, w(), 26, kNavBar);
  fl_font(FL_HELVETICA_BOLD, kFontSize);
  fl_color(FL_WHITE);
  fl_draw(caption_.c_str(), 8, 0, w() - 16, 26, FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
  fl_color(FL_DARK3);
  fl_rect(0, 0, w(), h());
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
