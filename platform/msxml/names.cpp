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
  size_t n = 0;
  for (; v[n]; ++n) {
    auto c = static_cast<unsigned char>(v[n]);
    if (c < 0x20 || c == '&' || c == '<' || c == '"' || n >= kMaxPairValue) return false;
  }
  return true;
}

}  // namespace

void Names::attach(pugi::xml_node detached) {
  elements_.clear();
  attributes_.clear();
  pairs_.clear();
  last_.clear();
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

pugi::xml_node Names::append_element(pugi::xml_node parent, const char* name) {
  key_.assign(name);
  auto it = elements_.find(key_);
  if (it == elements_.end() && elements_.size() < kMaxNames) {
    pugi::xml_node proto = prototype("<" + key_ + "/>");
    if (proto && std::strcmp(proto.name(), name) == 0) it = elements_.emplace(key_, proto).first;
  }
  if (it != elements_.end()) return parent.append_copy(it->second);
  return parent.append_child(name);
}

bool Names::set_attribute(pugi::xml_node element, const char* name, const char* value) {
  pugi::xml_attribute a = element.attribute(name);
  if (a) return a.set_value(value);

  // A value set twice running under one name is likely to come again.
  key_.assign(name);
  if (plain_value(value) && (last_.size() < kMaxNames || last_.count(key_))) {
    LastValue& last = last_[key_];
    const bool again = last.value == value;
    if (!again) last.value.assign(value);
    key_.push_back('\0');
    key_.append(value);
    auto it = pairs_.find(key_);
    if (it == pairs_.end() && again && pairs_.size() < kMaxPairs) {
      pugi::xml_node proto = prototype("<a " + std::string(name) + "=\"" + value + "\"/>");
      pugi::xml_attribute pa = proto.first_attribute();
      if (pa && std::strcmp(pa.name(), name) == 0 && std::strcmp(pa.value(), value) == 0)
        it = pairs_.emplace(key_, pa).first;
    }
    if (it != pairs_.end()) return static_cast<bool>(element.append_copy(it->second));
    key_.assign(name);
  }

  auto it = attributes_.find(key_);
  if (it == attributes_.end() && attributes_.size() < kMaxNames) {
    pugi::xml_node proto = prototype("<a " + key_ + "=\"\"/>");
    pugi::xml_attribute pa = proto.first_attribute();
    if (pa && std::strcmp(pa.name(), name) == 0) it = attributes_.emplace(key_, pa).first;
  }
  a = it != attributes_.end() ? element.append_copy(it->second) : element.append_attribute(name);
  return a && a.set_value(value);
}

}  // namespace vardel::msxml
