#include "host/history/number_key.h"

namespace vardel::history {

std::string number_key(std::string_view number) {
  std::string key;
  key.reserve(number.size());
  for (char c : number)
    if (c != ' ' && c != '-') key += c;
  for (std::string_view prefix : {"+86", "0086"})
    if (key.size() > prefix.size() && key.compare(0, prefix.size(), prefix) == 0)
      return key.substr(prefix.size());
  return key;
}

}  // namespace vardel::history
