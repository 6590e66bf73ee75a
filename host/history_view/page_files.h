// The pages' files (HTML, CSS, JavaScript), compiled in from pages/ by the
// build, so an installed program needs nothing beside it.
#pragma once

#include <string_view>

namespace vardel::history_view {

struct PageFile {
  std::string_view name;  // "index.html"
  std::string_view type;  // its Content-Type
  std::string_view bytes;
};

// Null for a name that is not one of them.
const PageFile* page_file(std::string_view name);

}  // namespace vardel::history_view
