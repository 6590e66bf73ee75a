// What the window shows in its boxes and picker, for scripts that check the
// screen against it: when $VARDEL_LAYOUT_LOG names a file, every box and
// picker appends one block there as it opens (display pixels, UTF-8):
//
//   box 警告                       the caption
//   window X Y W H                 the box on the display
//   text X Y W H LINE_HEIGHT FONT  the text area on the display
//   line 开始备份通讯录和短信，保存到  one per laid-out line, as drawn
//   end
//
//   picker /host/folder            the folder it lists
//   window X Y W H
//   row X Y W H 通讯录.xml          one per file, top to bottom
//   end
//
// Thread-safe; does nothing when the variable is unset.
#pragma once

#include <string>

namespace vardel::host {

void log_layout(const std::string& block);

}  // namespace vardel::host
