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

#include <string>
#include <string_view>
#include <unordered_map>

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
  // The holder's fragment for text ("<N/>" or "<a N=\"V\"/>"), parsed in
  // place; empty when it can't be made.
  pugi::xml_node prototype(const std::string& text);

  struct LastValue {
    std::string value;
    bool repeated = false;
  };

  pugi::xml_node holder_;
  std::unordered_map<std::string, pugi::xml_node> elements_;         // name -> <name/>
  std::unordered_map<std::string, pugi::xml_attribute> attributes_;  // name -> name=""
  std::unordered_map<std::string, pugi::xml_attribute> pairs_;       // name '\0' value
  std::unordered_map<std::string, LastValue> last_;                  // each name's last value set
  std::string key_;                                                  // scratch for look-ups
};

}  // namespace vardel::msxml
