// The dialog's painted surface as the window shows it.
//
// The program paints its picture at the phone's own size; on a larger
// screen the phone leaves the rest of the dialog white, so the buttons of
// the proportional layout float on white beside a picture that stops short.
// The window instead carries the picture's edges out to the whole client
// area (each unpainted pixel takes the colour of the nearest painted one):
// the picture, and the progress lines the program places on it, stay
// exactly where the phone has them, and the backdrop fills the screen.
//
// Pure functions; thread-safe.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/gwes/frontend.h"

namespace vardel::host {

// Fills the pixels outside painted (an empty rectangle: nothing was drawn,
// nothing changes) from the nearest pixel inside it.
void extend_painted(gwes::Image& image, const RECT& painted);

// The surface blown up zoom times, each pixel a zoom x zoom square, as RGB
// rows for drawing.
std::vector<std::uint8_t> zoomed_rgb(const gwes::Image& image, int zoom);

}  // namespace vardel::host
