// The two progress lines as live bars on a terminal:
//   1、通讯录 [##########..........]  50%   2、短信 [####################] 100%
// Redrawn in place on one line of standard error while a job counts; a line
// whose text carries no percentage shows its title alone, a hidden line is
// left out. When no line counts (the reset that ends a job) the terminal
// line is cleared.
// Thread-safe.
#pragma once

#include <chrono>
#include <mutex>
#include <ostream>
#include <string>

namespace vardel::host {

class ProgressBars {
 public:
  explicit ProgressBars(std::ostream& out, bool enabled) : out_(out), enabled_(enabled) {}
  ~ProgressBars() { finish(); }

  // A label changed (1007 contacts, 1008 messages).
  void update(int id, const std::u16string& text, bool visible);
  // Clears the bar line, so that other output starts on a clean line; the
  // next update draws it again.
  void clear();
  // Clears the bar line for good (once something was drawn).
  void finish();

  // "1、通讯录 [#####...]  25%" for a label text, or the text alone when it
  // carries no percentage. Values outside 0..100 fill the bar to its end.
  static std::string render(const std::u16string& text, int width = 20);

 private:
  struct Line {
    std::u16string text;
    bool visible = false;
  };
  void draw();

  std::ostream& out_;
  bool enabled_;
  std::mutex mutex_;
  Line lines_[2];
  bool drawn_ = false;
};

// One line of counts on standard error ("phone: contacts 120/400"),
// redrawn in place at most ten times a second, when standard error is a
// terminal; elsewhere it writes nothing. Not thread-safe.
class CountsLine {
 public:
  CountsLine();
  ~CountsLine() { finish(); }
  CountsLine(const CountsLine&) = delete;
  CountsLine& operator=(const CountsLine&) = delete;

  // force draws even within a tenth of a second of the last one.
  void show(const std::string& text, bool force = false);
  // Ends the line (once something was drawn).
  void finish();
  // Wipes the line, so that other output starts on a clean line.
  void clear();

 private:
  bool enabled_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point last_;
};

}  // namespace vardel::host
