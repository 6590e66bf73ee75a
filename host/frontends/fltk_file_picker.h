// The file picker behind "查看", as the phone shows it: a screen-sized page
// over the window, captioned "打开", listing the folder's files that match
// the program's filter (backup files first, the newest first, each with its
// size and date); a tap on a file chooses it, "取消" or Escape cancels.
// With several filter types a "类型" choice switches between them.
//
// Dialog's thread only.
#pragma once

#include <FL/Fl_Double_Window.H>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "host/frontends/file_list.h"
#include "host/frontends/fltk_widgets.h"

class Fl_Scroll;

namespace vardel::host {

class FltkFilePicker : public Fl_Double_Window {
 public:
  using Done = std::function<void(std::optional<std::filesystem::path>)>;
  // nav_height: the phone's navigation bar, in its pixels.
  FltkFilePicker(const PhoneScreen& screen, int nav_height, const std::filesystem::path& folder,
                 std::u16string folder_name, FileFilter filter, Done done);
  // Ends the picker with a file (or nothing: cancelled); it then hides and
  // is deleted by FLTK.
  void choose(std::optional<std::filesystem::path> file);
  void draw() override;

 private:
  // Lists the files matching the filter's type at index.
  void fill(std::size_t type);
  int px(int phone) const { return screen_.px(phone); }

  PhoneScreen screen_;
  int nav_;
  std::filesystem::path folder_;
  std::string folder_name_;
  FileFilter filter_;
  Done done_;
  Fl_Scroll* list_ = nullptr;
};

}  // namespace vardel::host
