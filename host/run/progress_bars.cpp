// Live progress bars for the terminal.
#include "host/run/progress_bars.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <cstdio>
#include <optional>
#include <utility>

#include "platform/core/wstr.h"

namespace vardel::host {

namespace {

// The number before the text's percent sign and where it starts, or nothing
// for a plain title.
std::optional<std::pair<long, size_t>> percentage(const std::u16string& text) {
  const size_t percent = text.rfind(u'%');
  if (percent == std::u16string::npos) return std::nullopt;
  // The number stands right before the sign, after the padding spaces.
  size_t start = percent;
  while (start > 0 &&
         (text[start - 1] == u'-' || (text[start - 1] >= u'0' && text[start - 1] <= u'9')))
    --start;
  if (start == percent) return std::nullopt;
  try {
    return std::pair{std::stol(utf8(text.substr(start, percent - start))), start};
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace

std::string ProgressBars::render(const std::u16string& text, int width) {
  const auto found = percentage(text);
  if (!found) return utf8(text);
  const auto [value, start] = *found;
  std::u16string title = text.substr(0, start);
  while (!title.empty() && (title.back() == u' ' || title.back() == u'\u3000')) title.pop_back();
  const long clamped = std::clamp(value, 0L, 100L);
  const int filled = static_cast<int>(clamped * width / 100);
  std::string bar =
      utf8(title) + " [" + std::string(filled, '#') + std::string(width - filled, '.') + "]";
  char num[24];
  std::snprintf(num, sizeof num, " %3ld%%", value);
  return bar + num;
}

void ProgressBars::update(int id, const std::u16string& text, bool visible) {
  if (id != 1007 && id != 1008) return;
  std::lock_guard lock(mutex_);
  lines_[id == 1007 ? 0 : 1] = {text, visible};
  if (enabled_) draw();
}

void ProgressBars::draw() {
  // Bars only while a job counts: the plain titles (at the start, and the
  // reset that ends every job) leave the terminal line empty, so no stale
  // "1、通讯录   2、短信" stays behind after the final box.
  bool counting = false;
  std::string line;
  for (const auto& l : lines_) {
    if (!l.visible || l.text.empty()) continue;
    counting = counting || percentage(l.text).has_value();
    if (!line.empty()) line += "   ";
    line += render(l.text);
  }
  if (!counting) {
    if (drawn_) out_ << "\r\033[K" << std::flush;
    drawn_ = false;
    return;
  }
  out_ << "\r\033[K" << line << std::flush;
  drawn_ = true;
}

void ProgressBars::clear() {
  std::lock_guard lock(mutex_);
  if (enabled_ && drawn_) out_ << "\r\033[K" << std::flush;
}

void ProgressBars::finish() {
  // The bars are gone when the window closes: the boxes said how it ended.
  std::lock_guard lock(mutex_);
  if (enabled_ && drawn_) out_ << "\r\033[K" << std::flush;
  drawn_ = false;
}

CountsLine::CountsLine() : enabled_(isatty(STDERR_FILENO) != 0) {}

void CountsLine::show(const std::string& text, bool force) {
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (!force && drawn_ && now - last_ < std::chrono::milliseconds(100)) return;
  last_ = now;
  drawn_ = true;
  std::cerr << "\r\033[K" << text << std::flush;
}

void CountsLine::clear() {
  if (enabled_ && drawn_) std::cerr << "\r\033[K" << std::flush;
  drawn_ = false;
}

void CountsLine::finish() {
  if (enabled_ && drawn_) std::cerr << "\n" << std::flush;
  drawn_ = false;
}

}  // namespace vardel::host
