// Element and attribute names kept once per tree, and attribute values that
// repeat (a backup sets TYPE="WinMobile" on every record).
//
// pugixml copies a name into every node that carries it, unless the node is
// copied from one whose text lies in a buffer the document parsed in place:
// then both share that text. So each name (and each repeating name-value
// pair) is parsed once, as a small fragment, into a holder below the
// detached holder, and new nodes and attributes are copied from it. What the
// document holds and saves is the same either way; only the memory differs.
//
// A name or pair that cannot be kept (the table is full, or there is no
// memory for its fragment) is simply written into the node as before.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <pugixml.hpp>

namespace vardel::msxml {

class Names {
 public:
  // Makes the holder as the first child of `detached`.
  void attach(pugi::xml_node detached);
  pugi::xml_node holder() const { return holder_; }

  // A new element named `name` (a valid XML name, UTF-8) appended to parent.
  pugi::xml_node append_element(pugi::xml_node parent, const char* name);
  // Sets element's attribute `name` to value: an attribute of that name
  // keeps its place, a new one goes last. False when out of memory.
  bool set_attribute(pugi::xml_node element, const char* name, const char* value);

 private:
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  using Map = std::unordered_map<std::string, size_t, Hash, std::equal_to<>>;

  struct Element {
    std::string name;
    pugi::xml_node proto;  // <name/>
  };
  struct Attribute {
    std::string name;
    pugi::xml_attribute proto;      // name="", empty when it could not be made
    std::string last;               // the value set last, when plain
    pugi::xml_attribute last_pair;  // name="last" when kept
    std::unordered_map<std::string, pugi::xml_attribute, Hash, std::equal_to<>> pairs;
  };

  // The holder's fragment for text ("<N/>" or "<a N=\"V\"/>"), parsed in
  // place; empty when it can't be made.
  pugi::xml_node prototype(const std::string& text);
  // The entry for name: the one after the last found first (records set
  // their attributes in the same order each time), else the index.
  template <class Entry>
  Entry* find(std::vector<Entry>& entries, const Map& index, size_t& hint, const char* name);
  Attribute* attribute(const char* name);
  pugi::xml_attribute pair(Attribute& a, const char* value);

  pugi::xml_node holder_;
  std::vector<Element> elements_;
  std::vector<Attribute> attributes_;
  Map element_index_, attribute_index_;
  size_t element_hint_ = 0, attribute_hint_ = 0;
  size_t pairs_ = 0;  // pairs kept in all
};

}  // namespace vardel::msxml
