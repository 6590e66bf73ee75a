// Plain relative paths answered by walking the tree instead of through XPath.
//
// Nearly every query the program asks is element names joined by '/'
// ("ADDRESS/FIRST", "NOTE"), a few with "//" before the last name
// ("ADDRESS//SPOUSE"). Their answer is simple: the elements so named, child
// by child, in document order, and the last name at any depth below the
// elements before it when "//" precedes it. Walking the children gives the
// same nodes, in the same order, as evaluating the XPath expression, without
// a lookup in the compiled queries or the expression machine; a restore asks
// over fifty of these per record.
//
// Anything else is not a ChildPath and is left to XPath: an absolute path,
// white space, '*', '.', '..', '@', predicates, axes, functions, prefixed
// names, names outside ASCII, the operator names (and, or, div, mod), "//"
// anywhere but before the last name, and paths of more than kMaxSteps names
// or kMaxText characters.
//
// Safe to use from any thread; a walk reads the tree only.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

#include <pugixml.hpp>

namespace vardel::msxml {

class ChildPath {
 public:
  static constexpr std::size_t kMaxSteps = 16;
  static constexpr std::size_t kMaxText = 255;  // longer texts are left to XPath

  // Reads the path `text` spells; false when XPath must answer it.
  bool parse(std::u16string_view text);

  // Calls visit(element) for each element the path selects from context, in
  // document order, until visit returns false. An attribute context selects
  // nothing (attributes have no children).
  template <class Visit>
  void walk(pugi::xml_node context, Visit&& visit) const {
    walk_from(context, 0, visit);
  }

 private:
  const char* step(std::size_t i) const { return names_ + starts_[i]; }

  template <class Visit>
  bool walk_from(pugi::xml_node context, std::size_t i, Visit& visit) const;
  template <class Visit>
  bool walk_below(pugi::xml_node top, Visit& visit) const;

  // The names as UTF-8, each ended by a NUL, as the tree compares them.
  char names_[kMaxText + 1];
  unsigned char starts_[kMaxSteps];
  std::size_t count_ = 0;
  bool descendant_last_ = false;  // "//" before the last name
};

// Returns false when visit asked to stop.
template <class Visit>
bool ChildPath::walk_from(pugi::xml_node context, std::size_t i, Visit& visit) const {
  const bool last = i + 1 == count_;
  if (last && descendant_last_) return walk_below(context, visit);
  // The tree finds the next child of that name itself; instructions carry
  // names too, so the type is checked after.
  const char* name = step(i);
  for (pugi::xml_node c = context.child(name); c; c = c.next_sibling(name)) {
    if (c.type() != pugi::node_element) continue;
    if (last ? !visit(c) : !walk_from(c, i + 1, visit)) return false;
  }
  return true;
}

// Every element below top (not top itself) named by the last step, in
// document order. Iterative: a deep tree must not exhaust the stack.
template <class Visit>
bool ChildPath::walk_below(pugi::xml_node top, Visit& visit) const {
  pugi::xml_node cur = top.first_child();
  while (cur) {
    if (cur.type() == pugi::node_element && std::strcmp(cur.name(), step(count_ - 1)) == 0 &&
        !visit(cur))
      return false;
    if (pugi::xml_node down = cur.first_child()) {
      cur = down;
      continue;
    }
    while (cur != top && !cur.next_sibling()) cur = cur.parent();
    if (cur == top) break;
    cur = cur.next_sibling();
  }
  return true;
}

}  // namespace vardel::msxml
