// JSON on standard output, as the list commands print it: indented, and any
// text that is not UTF-8 replaced rather than refused.
#pragma once

#include <iostream>

#include <nlohmann/json.hpp>

namespace vardel::host {

inline void print_json(const nlohmann::json& j) {
  std::cout << j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

}  // namespace vardel::host
