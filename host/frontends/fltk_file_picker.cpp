// The "查看" file picker.
#include "host/frontends/fltk_file_picker.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Scroll.H>
#include <FL/fl_draw.H>

#include <sstream>

#include "host/frontends/fltk_text.h"
#include "host/frontends/layout_log.h"
#include "platform/core/wstr.h"

namespace vardel::host {
namespace {

// In the phone's pixels.
constexpr int kFolderLine = 22;
constexpr int kTypeLine = 24;
constexpr int kBottomBar = 32;
constexpr int kRowHeight = 38;
constexpr int kSmallFont = 12;
const Fl_Color kBand = fl_rgb_color(0xEE, 0xF1, 0xF6);
const Fl_Color kPressed = fl_rgb_color(0xCC, 0xDD, 0xF5);
const Fl_Color kGrey = fl_rgb_color(0x66, 0x66, 0x66);

// text cut at the end (or, with from_left, at the start) to fit width.
std::string elided(const std::string& text, int width, bool from_left) {
  if (mixed_width(text) <= width) return text;
  std::u16string t = utf16(text);
  const std::u16string dots = u"…";
  auto is_low_surrogate = [](char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; };
  while (!t.empty()) {
    // A character at a time: an emoji's two halves go together.
    if (from_left)
      t.erase(0, t.size() > 1 && is_low_surrogate(t[1]) ? 2 : 1);
    else
      t.resize(t.size() - (t.size() > 1 && is_low_surrogate(t.back()) ? 2 : 1));
    std::string candidate = from_left ? utf8(dots + t) : utf8(t + dots);
    if (mixed_width(candidate) <= width) return candidate;
  }
  return utf8(dots);
}

// One file: its name over its date and size; a tap chooses it.
class FileRow : public Fl_Widget {
 public:
  FileRow(int x, int y, int w, int h, FileEntry entry, int zoom)
      : Fl_Widget(x, y, w, h), entry_(std::move(entry)), zoom_(zoom) {
    detail_ = describe_time(entry_.modified) + "    " + describe_size(entry_.size);
    if (entry_.damaged) detail_ += std::string("  ") + kDamagedMark;
  }
  const FileEntry& entry() const { return entry_; }

  void draw() override {
    const int z = zoom_;
    fl_rectf(x(), y(), w(), h(), pressed_ ? kPressed : FL_WHITE);
    // A page for the file, blue for a backup.
    Fl_Color ink = entry_.backup ? fl_rgb_color(0x1E, 0x5A, 0xB4) : kGrey;
    fl_color(ink);
    fl_rect(x() + 6 * z, y() + 8 * z, 16 * z, 22 * z);
    for (int i = 0; i < 3; ++i) fl_rectf(x() + 9 * z, y() + (14 + 5 * i) * z, 10 * z, z);
    int text_x = x() + 30 * z, text_w = w() - 34 * z;
    fl_font(FL_HELVETICA, kFontSize * z);
    fl_color(FL_BLACK);
    std::string name = elided(utf8(entry_.name), text_w, false);
    draw_mixed(name, text_x, y() + 17 * z);
    fl_font(FL_HELVETICA, kSmallFont * z);
    fl_color(entry_.damaged ? fl_rgb_color(0xC0, 0x1C, 0x1C) : kGrey);
    fl_draw(detail_.c_str(), static_cast<int>(detail_.size()), text_x, y() + 33 * z);
    fl_color(fl_rgb_color(0xDD, 0xDD, 0xDD));
    fl_rectf(x(), y() + h() - z, w(), z);
  }

  int handle(int event) override {
    switch (event) {
      case FL_PUSH:
        pressed_ = true;
        redraw();
        return 1;
      case FL_DRAG: {
        bool inside = Fl::event_inside(this);
        if (inside != pressed_) pressed_ = inside, redraw();
        return 1;
      }
      case FL_RELEASE:
        if (pressed_) {
          pressed_ = false;
          redraw();
          do_callback();
        }
        return 1;
      default:
        return Fl_Widget::handle(event);
    }
  }

 private:
  FileEntry entry_;
  int zoom_;
  std::string detail_;
  bool pressed_ = false;
};

}  // namespace

FltkFilePicker::FltkFilePicker(const PhoneScreen& screen, int nav_height,
                               const std::filesystem::path& folder, std::u16string folder_name,
                               FileFilter filter, Done done)
    : Fl_Double_Window(screen.x, screen.y, screen.px(screen.width), screen.px(screen.height)),
      screen_(screen),
      nav_(nav_height),
      folder_(folder),
      folder_name_(utf8(folder_name)),
      filter_(std::move(filter)),
      done_(std::move(done)) {
  const int w = screen.width, h = screen.height;
  int list_top = nav_ + kFolderLine;
  if (filter_.size() > 1) {
    auto* type = new Fl_Choice(px(48), px(list_top + 2), px(w - 52), px(kTypeLine - 4), "类型:");
    type->labelsize(kFontSize * screen.zoom);
    type->textsize(kFontSize * screen.zoom);
    for (const auto& [description, pattern] : filter_) {
      // A menu item's text: '/', '&', '_' and '\' are markup there.
      std::string item;
      for (char c : utf8(description)) {
        if (c == '/' || c == '&' || c == '_' || c == '\\') item += '\\';
        item += c;
      }
      type->add(item.c_str());
    }
    type->value(0);
    type->callback(
        [](Fl_Widget* w, void*) {
          auto* choice = static_cast<Fl_Choice*>(w);
          static_cast<FltkFilePicker*>(w->window())
              ->fill(static_cast<std::size_t>(choice->value()));
        },
        nullptr);
    list_top += kTypeLine;
  }
  list_ = new Fl_Scroll(0, px(list_top), px(w), px(h - kBottomBar - list_top));
  list_->type(Fl_Scroll::VERTICAL);
  list_->scrollbar_size(Fl::scrollbar_size() * screen.zoom);
  list_->box(FL_FLAT_BOX);
  list_->color(FL_WHITE);
  list_->end();
  auto* cancel = new Fl_Button(px(w - 76), px(h - kBottomBar + 3), px(70), px(26), "取消");
  cancel->labelsize(kFontSize * screen.zoom);
  cancel->callback(
      [](Fl_Widget* b, void*) { static_cast<FltkFilePicker*>(b->window())->choose(std::nullopt); });
  end();
  label("打开");
  xclass("VardelPicker");
  set_modal();
  // Escape and the close box cancel.
  callback([](Fl_Widget* w, void*) { static_cast<FltkFilePicker*>(w)->choose(std::nullopt); });
  fill(0);
}

void FltkFilePicker::fill(std::size_t type) {
  const std::u16string pattern = type < filter_.size() ? filter_[type].second : u"*.*";
  const std::vector<FileEntry> files = list_files(folder_, pattern);
  list_->clear();  // keeps the scroll bars
  list_->scroll_to(0, 0);
  const int rows_h = static_cast<int>(files.size()) * px(kRowHeight);
  const int row_w = rows_h > list_->h() ? list_->w() - list_->scrollbar_size() : list_->w();
  int y = list_->y();
  std::ostringstream log;
  log << "picker " << folder_.string() << "\nwindow " << x() << ' ' << this->y() << ' ' << w()
      << ' ' << h() << '\n';
  list_->begin();
  for (const FileEntry& e : files) {
    auto* row = new FileRow(0, y, row_w, px(kRowHeight), e, screen_.zoom);
    row->callback([](Fl_Widget* r, void*) {
      static_cast<FltkFilePicker*>(r->window())->choose(static_cast<FileRow*>(r)->entry().path);
    });
    log << "row " << x() << ' ' << this->y() + y << ' ' << row_w << ' ' << px(kRowHeight) << ' '
        << utf8(e.name) << '\n';
    y += px(kRowHeight);
  }
  if (files.empty()) {
    auto* none = new Fl_Box(0, list_->y(), list_->w(), px(3 * kRowHeight), "此文件夹中没有文件");
    none->labelsize(kFontSize * screen_.zoom);
    none->labelcolor(kGrey);
  }
  list_->end();
  log << "end\n";
  log_layout(log.str());
  redraw();
}

void FltkFilePicker::choose(std::optional<std::filesystem::path> file) {
  if (!done_) return;
  auto done = std::move(done_);
  done_ = nullptr;
  hide();
  Fl::delete_widget(this);
  done(std::move(file));
}

void FltkFilePicker::draw() {
  const int z = screen_.zoom;
  fl_rectf(0, 0, w(), h(), FL_WHITE);
  // The navigation bar with the picker's caption.
  fl_rectf(0, 0, w(), px(nav_), nav_bar_colour());
  fl_font(FL_HELVETICA_BOLD, kFontSize * z);
  fl_color(FL_WHITE);
  fl_draw("打开", px(6), 0, w() - px(12), px(nav_), FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
  // The folder being listed.
  fl_rectf(0, px(nav_), w(), px(kFolderLine), kBand);
  fl_font(FL_HELVETICA, kFontSize * z);
  fl_color(FL_BLACK);
  std::string folder = elided(folder_name_, w() - px(12), true);
  draw_mixed(folder, px(6),
             px(nav_ + kFolderLine) - (px(kFolderLine) - fl_height()) / 2 - fl_descent());
  // The bar with "取消".
  fl_rectf(0, h() - px(kBottomBar), w(), px(kBottomBar), kBand);
  draw_children();
}

}  // namespace vardel::host
