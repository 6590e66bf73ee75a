// Phone numbers compared as the phone compares them: "+86 138-0013-8000",
// "0086 13800138000" and "13800138000" are one number.
#pragma once

#include <string>
#include <string_view>

namespace vardel::history {

// The number without spaces and dashes, and without a leading +86 or 0086.
std::string number_key(std::string_view number);

}  // namespace vardel::history
