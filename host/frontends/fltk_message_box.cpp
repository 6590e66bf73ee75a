// Message boxes laid out as the phone lays them out.
#include "host/frontends/fltk_message_box.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Scroll.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <sstream>

#include "host/frontends/fltk_text.h"
#include "host/frontends/layout_log.h"
#include "host/frontends/text_layout.h"
#include "platform/core/wstr.h"

namespace vardel::host {
namespace {

// In the phone's pixels.
constexpr int kCaptionHeight = 26;
constexpr int kMargin = 12;
constexpr int kButtonWidth = 70;
constexpr int kButtonHeight = 26;
constexpr int kButtonGap = 6;
constexpr int kBottom = 10;
constexpr int kScreenInset = 8;  // the box keeps this far from the screen's edges
constexpr int kMinWidth = 160;   // a short text still gets a box, not a sliver
constexpr UINT kDefaultButtonMask = 0x00000F00;

// Lines of text drawn one under the other, never wrapped or clipped again:
// the layout already made them fit.
class TextLines : public Fl_Widget {
 public:
  TextLines(int x, int y, int w, int h, const std::vector<std::u16string>& lines, int font_size,
            int line_height)
      : Fl_Widget(x, y, w, h), font_size_(font_size), line_height_(line_height) {
    for (const auto& l : lines) lines_.push_back(utf8(l));
  }
  void draw() override {
    fl_push_clip(x(), y(), w(), h());
    fl_font(FL_HELVETICA, font_size_);
    fl_color(FL_BLACK);
    int baseline = y() + line_height_ - fl_descent();
    for (const auto& line : lines_) {
      // The plain form: '&' and '@' are text here, not label markup.
      draw_mixed(line, x(), baseline);
      baseline += line_height_;
    }
    fl_pop_clip();
  }

 private:
  std::vector<std::string> lines_;
  int font_size_;
  int line_height_;
};

int text_width(std::u16string_view s) {
  std::string u = utf8(s);
  return static_cast<int>(mixed_width(u) + 0.999);
}

int answer_on_close(const std::vector<BoxButton>& buttons) {
  // Escape and the close box mean Cancel; a box whose only button is OK
  // takes them as OK; Yes/No and Abort/Retry/Ignore must be answered.
  for (const auto& b : buttons)
    if (b.answer == IDCANCEL) return IDCANCEL;
  if (buttons.size() == 1) return buttons[0].answer;
  return 0;
}

}  // namespace

std::vector<BoxButton> box_buttons(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
      return {{"确定", IDOK}, {"取消", IDCANCEL}};
    case MB_ABORTRETRYIGNORE:
      return {{"中止", IDABORT}, {"重试", IDRETRY}, {"忽略", IDIGNORE}};
    case MB_YESNOCANCEL:
      return {{"是", IDYES}, {"否", IDNO}, {"取消", IDCANCEL}};
    case MB_YESNO:
      return {{"是", IDYES}, {"否", IDNO}};
    case MB_RETRYCANCEL:
      return {{"重试", IDRETRY}, {"取消", IDCANCEL}};
    default:
      return {{"确定", IDOK}};
  }
}

FltkMessageBox::FltkMessageBox(const PhoneScreen& screen, std::u16string_view caption,
                               std::u16string_view text, UINT type, std::function<void(int)> done)
    : Fl_Double_Window(10, 10),
      caption_(utf8(caption)),
      zoom_(screen.zoom),
      done_(std::move(done)) {
  const int z = screen.zoom;
  const std::vector<BoxButton> buttons = box_buttons(type);
  const int count = static_cast<int>(buttons.size());
  const int font_size = kFontSize * z;
  fl_font(FL_HELVETICA, font_size);
  const int line_height = fl_height();

  // Width: the widest line of the text as written, within the screen, and
  // at least the buttons' row.
  const int max_box_w = std::max(screen.px(screen.width - 2 * kScreenInset), 1);
  int button_w = screen.px(kButtonWidth);
  int buttons_w = count * button_w + (count - 1) * screen.px(kButtonGap);
  if (buttons_w + screen.px(2 * kMargin) > max_box_w) {
    button_w = (max_box_w - screen.px(2 * kMargin) - (count - 1) * screen.px(kButtonGap)) / count;
    buttons_w = count * button_w + (count - 1) * screen.px(kButtonGap);
  }
  int widest = 0;
  for (const auto& l : hard_lines(text)) widest = std::max(widest, text_width(l));
  fl_font(FL_HELVETICA_BOLD, font_size);
  const int caption_w = static_cast<int>(fl_width(caption_.c_str())) + screen.px(16);
  fl_font(FL_HELVETICA, font_size);
  const int least_w =
      std::max({buttons_w + screen.px(2 * kMargin), caption_w, screen.px(kMinWidth)});
  const int box_w =
      std::clamp(widest + screen.px(2 * kMargin), std::min(least_w, max_box_w), max_box_w);
  int text_w = box_w - screen.px(2 * kMargin);
  lines_ = break_lines(text, text_w, text_width);

  // Height: every line, unless the screen is too short; then the text
  // scrolls and the buttons stay in sight.
  const int chrome_h = screen.px(kCaptionHeight + 2 * kMargin + kButtonHeight + kBottom);
  const int max_box_h =
      std::max(screen.px(screen.height - 2 * kScreenInset), chrome_h + line_height);
  int text_h = static_cast<int>(lines_.size()) * line_height;
  int shown_h = text_h;
  const int scrollbar = Fl::scrollbar_size() * z;
  const bool scrolls = chrome_h + text_h > max_box_h;
  if (scrolls) {
    lines_ = break_lines(text, text_w - scrollbar - z, text_width);
    text_h = static_cast<int>(lines_.size()) * line_height;
    shown_h = max_box_h - chrome_h;
  }
  const int box_h = chrome_h + shown_h;
  size(box_w, box_h);
  position(screen.x + (screen.px(screen.width) - box_w) / 2,
           screen.y + (screen.px(screen.height) - box_h) / 2);
  copy_label(caption_.c_str());

  const int text_x = screen.px(kMargin), text_y = screen.px(kCaptionHeight + kMargin);
  if (scrolls) {
    auto* scroll = new Fl_Scroll(text_x, text_y, text_w, shown_h);
    scroll->type(Fl_Scroll::VERTICAL_ALWAYS);
    scroll->scrollbar_size(scrollbar);
    scroll->box(FL_NO_BOX);
    new TextLines(text_x, text_y, text_w - scrollbar, text_h, lines_, font_size, line_height);
    scroll->end();
  } else {
    new TextLines(text_x, text_y, text_w, text_h, lines_, font_size, line_height);
  }

  const int by = box_h - screen.px(kBottom + kButtonHeight);
  int bx = (box_w - buttons_w) / 2;
  const int default_index = std::min(static_cast<int>((type & kDefaultButtonMask) >> 8), count - 1);
  for (int i = 0; i < count; ++i) {
    auto* b = new Fl_Button(bx, by, button_w, screen.px(kButtonHeight), buttons[i].label);
    b->labelsize(font_size);
    // Enter answers the default button, as on the phone.
    if (i == default_index) b->shortcut(FL_Enter);
    b->callback(
        [](Fl_Widget* w, void* v) {
          static_cast<FltkMessageBox*>(w->window())
              ->answer(static_cast<int>(reinterpret_cast<intptr_t>(v)));
        },
        reinterpret_cast<void*>(static_cast<intptr_t>(buttons[i].answer)));
    bx += button_w + screen.px(kButtonGap);
  }
  end();
  xclass("VardelMessageBox");
  set_modal();
  callback(
      [](Fl_Widget* w, void* v) {
        int a = static_cast<int>(reinterpret_cast<intptr_t>(v));
        if (a != 0) static_cast<FltkMessageBox*>(w)->answer(a);
      },
      reinterpret_cast<void*>(static_cast<intptr_t>(answer_on_close(buttons))));

  std::ostringstream log;
  log << "box " << caption_ << "\nwindow " << x() << ' ' << y() << ' ' << w() << ' ' << h()
      << "\ntext " << x() + text_x << ' ' << y() + text_y << ' ' << text_w << ' ' << shown_h << ' '
      << line_height << ' ' << font_size << '\n';
  for (const auto& l : lines_) log << "line " << utf8(l) << '\n';
  log << "end\n";
  log_layout(log.str());
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
  const int z = zoom_;
  fl_rectf(0, 0, w(), kCaptionHeight * z, nav_bar_colour());
  fl_font(FL_HELVETICA_BOLD, kFontSize * z);
  fl_color(FL_WHITE);
  fl_draw(caption_.c_str(), 8 * z, 0, w() - 16 * z, kCaptionHeight * z,
          FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
  fl_color(FL_DARK3);
  for (int i = 0; i < z; ++i) fl_rect(i, i, w() - 2 * i, h() - 2 * i);
}

}  // namespace vardel::host
