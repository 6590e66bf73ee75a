// Live progress bars for the terminal.
#include "host/progress_bars.h"

#include <algorithm>
#include <cstdio>

#include "platform/core/wstr.h"

namespace vardel::host {

std::string ProgressBars::render(const std::u16string& text, int width) {
  const size_t percent = text.rfind(u'%');
  if (percent == std::u16string::npos) return utf8(text);
  // The number stands right before the sign, after the padding spaces.
  size_t start = percent;
  while (start > 0 &&
         (text[start - 1] == u'-' || (text[start - 1] >= u'0' && text[start - 1] <= u'9')))
    --start;
  if (start == percent) return utf8(text);
  const std::u16string number = text.substr(start, percent - start);
  long value = 0;
  try {
    value = std::stol(utf8(number));
  } catch (...) {
    return utf8(text);
  }
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
  std::string line;
  for (const auto& l : lines_) {
    if (!l.visible || l.text.empty()) continue;
    if (!line.empty()) line += "   ";
    line += render(l.text);
  }
  out_ << "\r\033[K" << line << std::flush;
  drawn_ = true;
}

void ProgressBars::clear() {
  std::lock_guard lock(mutex_);
  if (enabled_ && drawn_) out_ << "\r\033[K" << std::flush;
}

void ProgressBars::finish() {
  std::lock_guard lock(mutex_);
  if (enabled_ && drawn_) out_ << "\n" << std::flush;
  drawn_ = false;
}

}  // namespace vardel::host
