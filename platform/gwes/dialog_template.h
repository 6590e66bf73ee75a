// Reading a binary dialog template (DLGTEMPLATE form) into plain fields.
//
// Every read is checked against the template's extent, so a short or
// damaged template is refused rather than read past its end.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/gwes/gwes.h"

namespace vardel::gwes::detail {

struct TemplateItem {
  DWORD style = 0;
  DWORD ex_style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  WORD id = 0;
  std::u16string class_name;  // upper case; atoms become "BUTTON", "STATIC", ...
  std::u16string text;
};

struct DialogTemplate {
  DWORD style = 0;
  DWORD ex_style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  std::u16string caption;
  WORD point_size = 0;
  std::u16string font;
  std::vector<TemplateItem> items;
};

std::optional<DialogTemplate> parse_dialog_template(const void* data, std::size_t size);

// How many bytes from p lie inside one loaded resource (0 when p is not in
// a resource).
std::size_t resource_extent(const void* p);

// Dialog units to pixels for the dialog font (10 point): 4 horizontal units
// are one average character of 7 pixels, 8 vertical units a line of 14.
inline int du_to_px_x(int du) { return du * 7 / 4; }
inline int du_to_px_y(int du) { return du * 14 / 8; }

}  // namespace vardel::gwes::detail
