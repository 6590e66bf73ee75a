// A minimal PNG writer for the desktop icons: 8-bit RGBA, no filtering, the
// image data in stored (uncompressed) deflate blocks. Icons are small, so
// size does not matter; what matters is needing no image library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vardel::tools {

// rgba: width * height * 4 bytes, rows top to bottom.
std::string encode_png(int width, int height, const std::vector<std::uint8_t>& rgba);

}  // namespace vardel::tools
