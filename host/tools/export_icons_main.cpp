// Writes the program icon (icon group 101, its 32-bit images) as PNG files
// for the desktop's hicolor theme: OUTDIR/SIZExSIZE/apps/vardel.png.
#include <filesystem>
#include <fstream>
#include <iostream>

#include "host/tools/png.h"
#include "res/resources.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: vardel-export-icons OUTDIR\n";
    return 2;
  }
  namespace fs = std::filesystem;
  int written = 0;
  for (const auto& image : vardel::res::icon_images()) {
    if (image.bits != 32) continue;
    const int s = image.size;
    const size_t header = 40;  // BITMAPINFOHEADER; 32-bit images have no colour table
    if (image.data.size() < header + static_cast<size_t>(s) * s * 4) return 1;
    std::vector<std::uint8_t> rgba(static_cast<size_t>(s) * s * 4);
    for (int y = 0; y < s; ++y)
      for (int x = 0; x < s; ++x) {
        const std::uint8_t* px =
            &image.data[header + (static_cast<size_t>(s - 1 - y) * s + x) * 4];  // bottom-up BGRA
        std::uint8_t* out = &rgba[(static_cast<size_t>(y) * s + x) * 4];
        out[0] = px[2];
        out[1] = px[1];
        out[2] = px[0];
        out[3] = px[3];
      }
    fs::path dir = fs::path(argv[1]) / (std::to_string(s) + "x" + std::to_string(s)) / "apps";
    fs::create_directories(dir);
    std::ofstream(dir / "vardel.png", std::ios::binary) << vardel::tools::encode_png(s, s, rgba);
    ++written;
  }
  return written > 0 ? 0 : 1;
}
