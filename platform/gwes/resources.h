// The program module's resource table, which FindResourceW looks in.
//
// res/ fills it once at start-up (vardel::res::install()); tests may add
// their own. Thread-safe; data stays put once added (pointers from
// LoadResource remain valid until clear_resources()).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "platform/gwes/gwes.h"

namespace vardel::gwes {

// An ordinal (MAKEINTRESOURCE) or a text name.
using ResourceName = std::variant<WORD, std::u16string>;

// Adds or replaces the resource of that type and name.
void add_resource(const ResourceName& type, const ResourceName& name,
                  std::vector<std::uint8_t> data, WORD language = 0x0804);
// The same for a resource whose data make() computes when FindResourceW first
// finds it: a picture drawn at start-up would cost every run that never
// shows it (a command-line backup) its drawing time.
void add_resource(const ResourceName& type, const ResourceName& name,
                  std::function<std::vector<std::uint8_t>()> make, WORD language = 0x0804);
void clear_resources();

}  // namespace vardel::gwes
