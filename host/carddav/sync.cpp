#include "host/carddav/sync.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include "host/tools/vcard.h"
#include "platform/core/sha256.h"

namespace vardel::carddav {

namespace {

// The card's lines, unfolded, without their line ends.
std::vector<std::string> lines_of(const std::string& card) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < card.size()) {
    size_t end = card.find('\n', pos);
    if (end == std::string::npos) end = card.size();
    std::string line = card.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!lines.empty() && !line.empty() && (line[0] == ' ' || line[0] == '\t'))
      lines.back() += line.substr(1);
    else
      lines.push_back(std::move(line));
    pos = end + 1;
  }
  return lines;
}

// The property name of a line, upper case ("TEL" for "tel;type=cell:...").
std::string name_of(const std::string& line) {
  std::string name;
  for (char c : line) {
    if (c == ':' || c == ';') break;
    name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return name;
}

// A contact's properties in one order, to compare contacts whatever order
// a card or a store lists them in.
poom::ContactRecord sorted(poom::ContactRecord c) {
  std::sort(c.begin(), c.end(), [](const auto& a, const auto& b) {
    return a.tag != b.tag ? a.tag < b.tag : a.text < b.text;
  });
  return c;
}

// The contacts a card reads as: the same for two cards that say the same.
std::vector<poom::ContactRecord> read_as(const std::string& card) {
  std::vector<poom::ContactRecord> out = tools::read_vcards(card).contacts;
  for (auto& c : out) c = sorted(std::move(c));
  return out;
}

struct RecordLess {
  bool operator()(const poom::ContactRecord& a, const poom::ContactRecord& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](const auto& x, const auto& y) {
                                          return x.tag != y.tag ? x.tag < y.tag : x.text < y.text;
                                        });
  }
};

bool is_success(long status) { return status >= 200 && status < 300; }

std::string answer(const HttpResponse& r) {
  return std::to_string(r.status) + (r.reason.empty() ? "" : " " + r.reason);
}

}  // namespace

NamedCard with_uid(const std::string& card) {
  std::string fn_and_tel;
  for (const std::string& line : lines_of(card)) {
    const std::string name = name_of(line);
    const size_t colon = line.find(':');
    if (name == "UID" && colon != std::string::npos && colon + 1 < line.size())
      return {line.substr(colon + 1), card};
    if (name == "FN" || name == "TEL") fn_and_tel += line + "\n";
  }
  core::Sha256 hash;
  hash.update(fn_and_tel);
  NamedCard named{hash.hex(), card};
  const size_t end = named.card.rfind("END:VCARD");
  named.card.insert(end == std::string::npos ? named.card.size() : end,
                    "UID:" + named.uid + "\r\n");
  return named;
}

std::string resource_name(const std::string& uid) {
  static const char* kHex = "0123456789ABCDEF";
  std::string name;
  for (unsigned char c : uid) {
    if (std::isalnum(c) || c == '-' || c == '_' || c == '.') {
      name += static_cast<char>(c);
    } else {
      name += '%';
      name += kHex[c >> 4];
      name += kHex[c & 15];
    }
  }
  return name + ".vcf";
}

PushReport push(AddressBook& book, const std::vector<poom::ContactRecord>& contacts,
                const std::vector<std::string>& uids, const Progress& progress) {
  // Every card with its ETag in one request, to compare with.
  std::map<std::string, Resource> there;
  for (Resource& r : book.fetch_all()) there[r.url] = std::move(r);

  PushReport report;
  std::set<std::string> used;
  int done = 0;
  for (size_t i = 0; i < contacts.size(); ++i) {
    const poom::ContactRecord& contact = contacts[i];
    const std::string uid = i < uids.size() ? uids[i] : std::string();
    NamedCard named = with_uid(tools::write_vcards({contact}, tools::VcardVersion::v4, {uid}));
    // Two contacts alike in name and numbers would share a made UID: the
    // second takes the next free one, as stable as the phone's order.
    if (used.count(named.uid)) {
      const std::string base = named.uid;
      int n = 2;
      while (used.count(base + "-" + std::to_string(n))) ++n;
      const std::string uid = base + "-" + std::to_string(n);
      const size_t at = named.card.find("UID:" + base);
      named.card.replace(at, 4 + base.size(), "UID:" + uid);
      named.uid = uid;
    }
    used.insert(named.uid);
    const std::string url = book.url() + resource_name(named.uid);
    const auto known = there.find(url);
    std::string etag;
    if (known != there.end()) {
      if (read_as(known->second.card) == read_as(named.card)) {
        ++report.unchanged;
        if (progress) progress(++done, static_cast<int>(contacts.size()));
        continue;
      }
      etag = known->second.etag;
    }
    const HttpResponse r = book.put(url, named.card, etag);
    if (is_success(r.status)) {
      ++(etag.empty() ? report.added : report.updated);
    } else {
      ++report.refused;
      std::string why = answer(r);
      if (r.status == 412)
        why += etag.empty() ? " (a card of that name appeared meanwhile)"
                            : " (changed on the server since it was read)";
      std::string body = r.body.substr(0, 200);
      std::replace(body.begin(), body.end(), '\n', ' ');
      report.refusals.push_back(resource_name(named.uid) + ": " + why +
                                (body.empty() ? "" : ": " + body));
    }
    if (progress) progress(++done, static_cast<int>(contacts.size()));
  }
  return report;
}

PullResult pull(AddressBook& book) {
  PullResult result;
  for (const Resource& r : book.fetch_all()) {
    ++result.cards;
    tools::VcardImport cards = tools::read_vcards(r.card);
    for (const std::string& w : cards.warnings) result.warnings.push_back(r.url + ": " + w);
    if (cards.contacts.empty()) result.warnings.push_back(r.url + ": no readable card; left out");
    for (size_t i = 0; i < cards.contacts.size(); ++i) {
      result.contacts.push_back(std::move(cards.contacts[i]));
      result.uids.push_back(i < cards.uids.size() ? cards.uids[i] : std::string());
    }
  }
  return result;
}

std::vector<size_t> not_held(const std::vector<poom::ContactRecord>& phone,
                             const std::vector<poom::ContactRecord>& pulled) {
  // Counted: two alike cards are two contacts, as they were on the phone
  // that pushed them, and a second pull adds neither.
  std::map<poom::ContactRecord, int, RecordLess> held;
  for (const auto& c : phone) ++held[sorted(c)];
  std::vector<size_t> out;
  for (size_t i = 0; i < pulled.size(); ++i) {
    auto same = held.find(sorted(pulled[i]));
    if (same != held.end() && same->second > 0)
      --same->second;
    else
      out.push_back(i);
  }
  return out;
}

}  // namespace vardel::carddav
