// Compiled XPath queries of one document, by query text.
//
// The program asks the same few relative paths of every record ("NOTE",
// "ADDRESS/FIRST", ...), so each text is compiled once and reused; a text
// that is not an XPath expression giving a node set is remembered as such.
// The cache is emptied when it grows past a few hundred texts, so a caller
// building queries from data cannot make it grow without bound.
//
// Belongs to the document's thread, like the document.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include <pugixml.hpp>

namespace vardel::msxml {

class QueryCache {
 public:
  // The compiled query, or null when the text is not a node-set expression.
  const pugi::xpath_query* get(std::u16string_view text);

 private:
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::u16string_view s) const noexcept {
      return std::hash<std::u16string_view>{}(s);
    }
  };
  std::unordered_map<std::u16string, std::unique_ptr<pugi::xpath_query>, Hash, std::equal_to<>>
      queries_;
};

}  // namespace vardel::msxml
