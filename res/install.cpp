// Puts the program's resources into the module's table.
#include "platform/gwes/resources.h"
#include "res/resources.h"
#include "window_shared/resource.h"

namespace vardel::res {
namespace {
constexpr WORD kDialog = 5, kBitmap = 2, kIcon = 3, kGroupIcon = 14;
}

void install() {
  using gwes::add_resource;
  add_resource(kDialog, WORD{IDD_MAIN}, main_dialog_template());
  // Drawn when the window first paints, not by a run that never shows it.
  add_resource(kBitmap, WORD{IDB_BACKGROUND}, std::function(background_bitmap));
  auto images = icon_images();
  add_resource(kGroupIcon, WORD{IDI_MAIN}, icon_group(images));
  WORD id = 1;
  for (auto& image : images) add_resource(kIcon, id++, std::move(image.data));
  // The shell leaves the window unscaled on high-resolution screens.
  add_resource(std::u16string(u"CEUX"), std::u16string(u"HI_RES_AWARE"), {1, 0});
}

}  // namespace vardel::res
