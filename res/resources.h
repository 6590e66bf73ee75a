// The program's resources: dialog 106, the background bitmap 130, the icon
// group 101 and the high-resolution marker, put into the module's resource
// table (platform/gwes/resources.h) by install().
//
// The pictures are drawn here in code, so the repository holds no binary
// files; each builder returns the bytes exactly as a resource compiler
// would store them.
#pragma once

#include <cstdint>
#include <vector>

namespace vardel::res {

// Adds every resource below to the module's table. Safe to call again.
void install();

// Dialog 106 in the binary DLGTEMPLATE form.
std::vector<std::uint8_t> main_dialog_template();
// Bitmap 130: BITMAPINFOHEADER and 240 x 268 pixels, 24 bits, bottom-up.
std::vector<std::uint8_t> background_bitmap();

// Icon group 101: the group directory and its eight images (RT_ICON ids
// 1 to 8): 32 and 16 at 4 bits; 48, 32 and 16 at 8 bits and at 32 bits.
struct IconImage {
  int size = 0;
  int bits = 0;
  std::vector<std::uint8_t> data;  // BITMAPINFOHEADER, colours, XOR and AND masks
};
std::vector<IconImage> icon_images();
std::vector<std::uint8_t> icon_group(const std::vector<IconImage>& images);

}  // namespace vardel::res
