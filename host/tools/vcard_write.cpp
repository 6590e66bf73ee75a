// Device contacts as vCard 4.0 or 3.0, one card per contact, the
// properties in the field table's order.
#include <cctype>
#include <map>

#include "host/formats/contact_fields.h"
#include "host/tools/vcard.h"
#include "host/tools/vcard_lines.h"
#include "platform/core/wstr.h"
#include "platform/poom/pimstore.h"

namespace vardel::tools {

namespace {

using fields::ContactField;

class CardWriter {
 public:
  CardWriter(const poom::ContactRecord& c, VcardVersion v) : v4_(v == VcardVersion::v4) {
    for (auto& p : c) props_[p.tag] = utf8(p.text);
  }

  std::string get(CEPROPID tag) const {
    auto it = props_.find(tag);
    return it == props_.end() ? std::string() : it->second;
  }

  void line(const std::string& content) { out_ += vcard::fold(content); }

  // The parameters a text value needs: X-EOL when its line breaks are not
  // all LF, and in 4.0 VALUE=text on a property whose value is by default
  // a URI when the text is not one.
  std::string params(std::string_view name, const std::string& value) const {
    std::string p;
    if (auto eol = vcard::line_break_kinds(value); !eol.empty()) p += ";X-EOL=" + eol;
    if (v4_ && (name == "RELATED" || name == "URL" || name == "IMPP") && !is_uri(value))
      p += ";VALUE=text";
    return p;
  }

  void text(std::string_view name, CEPROPID tag) {
    auto v = get(tag);
    if (!v.empty()) line(std::string(name) + params(name, v) + ":" + vcard::escape(v));
  }

  void typed(std::string_view name, std::string_view types, CEPROPID tag, int slot = 0) {
    auto v = get(tag);
    if (v.empty()) return;
    std::string head(name);
    if (!types.empty()) head += ";TYPE=" + (v4_ ? std::string(types) : upper(types));
    if (slot > 1) head += ";X-SLOT=" + std::to_string(slot);
    line(head + params(name, v) + ":" + vcard::escape(v));
  }

  // A structured value: its parts escaped and joined with ';'.
  void structured(const std::string& head, const std::vector<std::string>& parts) {
    std::string all, value;
    for (size_t k = 0; k < parts.size(); ++k) {
      all += parts[k] + ";";
      value += (k ? ";" : "") + vcard::escape(parts[k]);
    }
    line(head + params("", all) + ":" + value);
  }

  // The formatted name: the file-as name, else the name's parts, else what
  // else names the contact (vCard wants one that is not empty).
  std::string formatted_name() const {
    if (auto f = get(PIMPR_FILEAS); !f.empty()) return f;
    std::string name;
    for (CEPROPID tag :
         {PIMPR_TITLE, PIMPR_FIRST_NAME, PIMPR_MIDDLE_NAME, PIMPR_LAST_NAME, PIMPR_SUFFIX})
      if (auto part = get(tag); !part.empty()) name += (name.empty() ? "" : " ") + part;
    for (CEPROPID tag : {PIMPR_COMPANY_NAME, PIMPR_EMAIL1_ADDRESS, PIMPR_MOBILE_TELEPHONE_NUMBER})
      if (name.empty()) name = get(tag);
    return name;
  }

  static bool is_uri(const std::string& v) {
    const size_t colon = v.find(':');
    if (colon == std::string::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(v[0])))
      return false;
    for (size_t k = 0; k < colon; ++k) {
      const char c = v[k];
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
        return false;
    }
    return v.find_first_of(" \r\n") == std::string::npos;
  }

  std::string date(CEPROPID tag) const {
    auto v = get(tag);
    if (v.empty() || !v4_) return v;
    std::string basic;  // vCard 4.0 writes dates in the basic form
    for (char c : v)
      if (c != '-' && c != ':') basic += c;
    return basic;
  }

  // The parts of a structured property (N, ORG, ADR) that begins at row k,
  // and the index of the row after them.
  static size_t parts_end(std::span<const ContactField> rows, size_t k) {
    size_t end = k;
    while (end < rows.size() && rows[end].vcard == rows[k].vcard &&
           rows[end].vcard_types == rows[k].vcard_types)
      ++end;
    return end;
  }

  void categories() {
    auto c = get(PIMPR_CATEGORIES);
    if (c.empty()) return;
    // Categories are a comma-separated list already; only the other
    // special characters are escaped.
    const std::string v = vcard::escape(c);
    std::string unescaped_commas;
    for (size_t k = 0; k < v.size(); ++k) {
      if (v[k] == '\\' && k + 1 < v.size() && v[k + 1] == ',') continue;
      unescaped_commas += v[k];
    }
    line("CATEGORIES" + params("CATEGORIES", c) + ":" + unescaped_commas);
  }

  std::string write(const std::string& uid) {
    line("BEGIN:VCARD");
    line(v4_ ? "VERSION:4.0" : "VERSION:3.0");
    if (!uid.empty()) line("UID:" + vcard::escape(uid));
    const auto rows = fields::contact_fields();
    for (size_t k = 0; k < rows.size();) {
      const ContactField& f = rows[k];
      const std::string_view name = !v4_ && !f.vcard3.empty() ? f.vcard3 : f.vcard;
      if (f.vcard == "N" || f.vcard == "ORG" || f.vcard == "ADR") {
        const size_t end = parts_end(rows, k);
        std::vector<std::string> parts;
        bool any = false;
        for (size_t p = k; p < end; ++p) {
          parts.push_back(get(rows[p].tag));
          any = any || !parts.back().empty();
        }
        if (f.vcard == "N") {
          structured("N", parts);
        } else if (f.vcard == "ORG") {
          if (any) structured("ORG", parts);
        } else if (any) {
          parts.insert(parts.begin(), {"", ""});  // post office box, extended address
          structured("ADR;TYPE=" + (v4_ ? std::string(f.vcard_types) : upper(f.vcard_types)),
                     parts);
        }
        k = end;
        continue;
      }
      if (f.vcard == "FN") {
        const std::string fn = formatted_name();
        line("FN" + params("FN", fn) + ":" + vcard::escape(fn));
      } else if (f.kind == fields::Kind::date) {
        if (auto d = date(f.tag); !d.empty()) line(std::string(name) + ":" + d);
      } else if (f.vcard == "CATEGORIES") {
        categories();
      } else if (!v4_ && !f.vcard3.empty()) {
        text(name, f.tag);
      } else if (!f.vcard_types.empty() || f.slot > 0) {
        typed(name, f.vcard_types, f.tag, f.slot);
      } else {
        text(name, f.tag);
      }
      ++k;
    }
    line("END:VCARD");
    return out_;
  }

 private:
  static std::string upper(std::string_view s) { return ascii_upper(s); }

  bool v4_;
  std::map<CEPROPID, std::string> props_;
  std::string out_;
};

}  // namespace

std::string write_vcards(const std::vector<poom::ContactRecord>& contacts, VcardVersion version,
                         const std::vector<std::string>& uids) {
  std::string out;
  for (size_t k = 0; k < contacts.size(); ++k)
    out += CardWriter(contacts[k], version).write(k < uids.size() ? uids[k] : std::string());
  return out;
}

}  // namespace vardel::tools
