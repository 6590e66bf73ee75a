#include "host/formats/contact_uid.h"

#include <uuid.h>

#include <map>

#include "host/formats/contact_fields.h"
#include "platform/core/wstr.h"
#include "platform/poom/pimstore.h"

namespace vardel::fields {

namespace {

// The namespace of our derived UIDs: itself the name-based UUID of
// "vardel contacts" in the URL namespace.
const uuid_t& uid_namespace() {
  static uuid_t ns;
  static const bool made = [] {
    uuid_generate_sha1(ns, *uuid_get_template("url"), "vardel contacts", 15);
    return true;
  }();
  (void)made;
  return ns;
}

std::string identity(const poom::ContactRecord& c) {
  auto text = [&](CEPROPID tag) {
    for (const auto& p : c)
      if (p.tag == tag) return utf8(p.text);
    return std::string();
  };
  std::string reach;
  for (const ContactField& f : contact_fields())
    if (reach.empty() && (f.kind == Kind::telephone || f.kind == Kind::email)) reach = text(f.tag);
  return text(PIMPR_FILEAS) + "\n" + reach;
}

}  // namespace

std::vector<std::string> derived_uids(const std::vector<poom::ContactRecord>& contacts) {
  std::vector<std::string> out;
  out.reserve(contacts.size());
  std::map<std::string, int> seen;
  for (const auto& c : contacts) {
    std::string name = identity(c);
    if (const int n = ++seen[name]; n > 1) name += "\n#" + std::to_string(n);
    uuid_t id;
    uuid_generate_sha1(id, uid_namespace(), name.data(), name.size());
    char text[37];
    uuid_unparse_lower(id, text);
    out.push_back(text);
  }
  return out;
}

}  // namespace vardel::fields
