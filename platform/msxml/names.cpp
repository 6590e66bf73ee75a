// Interned names and repeating attribute values (see names.h).
#include "platform/msxml/names.h"

#include <cstring>

namespace vardel::msxml {

namespace {

// Not a name XPath can spell, so no name test matches the holder.
constexpr const char* kHolderName = "#names";
// Bounds on what one tree keeps: the program uses a few dozen names, and a
// backup's repeating values (types, directions, dates) stay well below this.
constexpr size_t kMaxNames = 1024;
constexpr size_t kMaxPairs = 4096;
constexpr size_t kMaxPairValue = 32;

// A value that reads back unchanged from a fragment parsed with no escapes
// and no white-space conversion: no markup characters, no controls.
bool plain_value(const char* v) {
  for (size_t n = 0; v[n]; ++n) {
    auto c = static_cast<unsigned char>(v[n]);
    if (c < 0x20 || c == '&' || c == '<' || c == '"' || n >= kMaxPairValue) return false;
  }
  return true;
}

}  // namespace

void Names::attach(pugi::xml_node detached) {
  elements_.clear();
  attributes_.clear();
  element_index_.clear();
  attribute_index_.clear();
  element_hint_ = attribute_hint_ = pairs_ = 0;
  holder_ = detached.prepend_child(kHolderName);
}

pugi::xml_node Names::prototype(const std::string& text) {
  if (!holder_) return {};
  pugi::xml_node before = holder_.last_child();
  pugi::xml_parse_result r =
      holder_.append_buffer(text.data(), text.size(), pugi::parse_minimal, pugi::encoding_utf8);
  pugi::xml_node made = holder_.last_child();
  if (!r || made == before || made.type() != pugi::node_element) {
    // Take back whatever a failed parse left.
    while (holder_.last_child() && holder_.last_child() != before)
      holder_.remove_child(holder_.last_child());
    return {};
  }
  return made;
}

template <class Entry>
Entry* Names::find(std::vector<Entry>& entries, const Map& index, size_t& hint, const char* name) {
  for (size_t k = 0; k < 2 && k < entries.size(); ++k) {
    size_t i = (hint + k) % entries.size();
    if (entries[i].name == name) {
      hint = i + 1;
      return &entries[i];
    }
  }
  auto it = index.find(std::string_view(name));
  if (it == index.end()) return nullptr;
  hint = it->second + 1;
  return &entries[it->second];
}

pugi::xml_node Names::append_element(pugi::xml_node parent, const char* name) {
  Element* e = find(elements_, element_index_, element_hint_, name);
  if (!e && elements_.size() < kMaxNames) {
    pugi::xml_node proto = prototype("<" + std::string(name) + "/>");
    if (proto && std::strcmp(proto.name(), name) == 0) {
      element_index_.emplace(name, elements_.size());
      elements_.push_back({name, proto});
      e = &elements_.back();
      element_hint_ = elements_.size();
    }
  }
  return e ? parent.append_copy(e->proto) : parent.append_child(name);
}

Names::Attribute* Names::attribute(const char* name) {
  Attribute* a = find(attributes_, attribute_index_, attribute_hint_, name);
  if (a || attributes_.size() >= kMaxNames) return a;
  attribute_index_.emplace(name, attributes_.size());
  attributes_.push_back({});
  a = &attributes_.back();
  a->name = name;
  attribute_hint_ = attributes_.size();
  pugi::xml_attribute proto = prototype("<a " + a->name + "=\"\"/>").first_attribute();
  if (proto && std::strcmp(proto.name(), name) == 0) a->proto = proto;
  return a;
}

// The kept pair for a's name and value: one kept before, or made now when
// the value is the one set last under this name (a value set twice running
// is likely to come again).
pugi::xml_attribute Names::pair(Attribute& a, const char* value) {
  if (!a.proto || !plain_value(value)) return {};
  if (a.last == value) {
    if (a.last_pair || pairs_ >= kMaxPairs) return a.last_pair;
    pugi::xml_attribute proto =
        prototype("<a " + a.name + "=\"" + value + "\"/>").first_attribute();
    if (!proto || std::strcmp(proto.name(), a.name.c_str()) != 0 ||
        std::strcmp(proto.value(), value) != 0)
      return {};
    ++pairs_;
    a.pairs.emplace(value, proto);
    return a.last_pair = proto;
  }
  a.last.assign(value);
  a.last_pair = pugi::xml_attribute();
  if (!a.pairs.empty())
    if (auto it = a.pairs.find(std::string_view(value)); it != a.pairs.end())
      a.last_pair = it->second;
  return a.last_pair;
}

bool Names::set_attribute(pugi::xml_node element, const char* name, const char* value) {
  pugi::xml_attribute existing = element.attribute(name);
  if (existing) return existing.set_value(value);
  Attribute* a = attribute(name);
  if (!a || !a->proto) {
    pugi::xml_attribute made = element.append_attribute(name);
    return made && made.set_value(value);
  }
  if (pugi::xml_attribute kept = pair(*a, value))
    return static_cast<bool>(element.append_copy(kept));
  pugi::xml_attribute made = element.append_copy(a->proto);
  return made && made.set_value(value);
}

}  // namespace vardel::msxml
