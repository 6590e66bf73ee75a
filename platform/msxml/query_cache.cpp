// Compiled query cache (see query_cache.h).
#include "platform/msxml/query_cache.h"

#include "platform/msxml/text.h"

namespace vardel::msxml {

namespace {
constexpr size_t kMaxQueries = 512;
}

const pugi::xpath_query* QueryCache::get(std::u16string_view text) {
  if (auto it = queries_.find(text); it != queries_.end()) return it->second.get();
  if (queries_.size() >= kMaxQueries) queries_.clear();
  std::unique_ptr<pugi::xpath_query> query;
  try {
    query = std::make_unique<pugi::xpath_query>(to_utf8(text).c_str());
    if (query->return_type() != pugi::xpath_type_node_set) query.reset();
  } catch (const pugi::xpath_exception&) {
    query.reset();  // not an expression: remembered as such
  }
  const pugi::xpath_query* result = query.get();
  queries_.emplace(std::u16string(text), std::move(query));
  return result;
}

}  // namespace vardel::msxml
