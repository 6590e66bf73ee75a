// The record of what the last pull brought.
#include "host/phone/pull_record.h"

#include "platform/core/atomic_file.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "platform/core/device.h"

namespace fs = std::filesystem;

namespace vardel::phone {

namespace {

// FNV-1a, 64 bits: stable across runs and builds, unlike std::hash.
class Fnv {
 public:
  void add(const void* data, std::size_t n) {
    const auto* p = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < n; ++i) {
      h_ ^= p[i];
      h_ *= 0x100000001b3ULL;
    }
  }
  void add(std::uint64_t v) { add(&v, sizeof v); }
  void add(std::u16string_view s) {
    add(static_cast<std::uint64_t>(s.size()));
    add(s.data(), s.size() * sizeof(char16_t));
  }
  void add(const std::optional<std::u16string>& s) {
    add(std::uint64_t{s.has_value()});
    if (s) add(std::u16string_view(*s));
  }
  std::string hex() const {
    char out[17];
    std::snprintf(out, sizeof out, "%016llx", static_cast<unsigned long long>(h_));
    return out;
  }

 private:
  std::uint64_t h_ = 0xcbf29ce484222325ULL;
};

}  // namespace

bool PullRecord::brought(long oid, const std::string& fp) const {
  auto it = contacts.find(oid);
  return it != contacts.end() && it->second == fp;
}

bool PullRecord::brought_message(std::int64_t id, const std::string& fp) const {
  auto it = messages.find(id);
  return it != messages.end() && it->second == fp;
}

fs::path pull_record_file() { return device::system_dir() / "phone-pull.json"; }

PullRecord load_pull_record(const fs::path& file) {
  PullRecord record;
  std::ifstream in(file, std::ios::binary);
  if (!in) return record;
  try {
    const nlohmann::json j = nlohmann::json::parse(in);
    for (const auto& c : j.at("contacts"))
      record.contacts[c.at(0).get<long>()] = c.at(1).get<std::string>();
    for (const auto& m : j.at("messages"))
      record.messages[m.at(0).get<std::int64_t>()] = m.at(1).get<std::string>();
  } catch (const nlohmann::json::exception&) {
    return PullRecord{};
  }
  return record;
}

void save_pull_record(const PullRecord& record, const fs::path& file) {
  nlohmann::json j = {{"contacts", nlohmann::json::array()}, {"messages", nlohmann::json::array()}};
  for (const auto& [oid, fp] : record.contacts) j["contacts"].push_back({oid, fp});
  for (const auto& [id, fp] : record.messages) j["messages"].push_back({id, fp});
  const std::string text = j.dump() + "\n";

  if (FAILED(core::write_host_file(file, text)))
    throw std::runtime_error("cannot write " + file.string());
}

std::string fingerprint(const poom::ContactRecord& contact) {
  Fnv h;
  for (const auto& p : contact) {
    h.add(std::uint64_t{p.tag});
    h.add(std::u16string_view(p.text));
  }
  return h.hex();
}

std::string fingerprint(mapi::FolderKind folder, const mapi::Message& m) {
  Fnv h;
  h.add(static_cast<std::uint64_t>(folder));
  h.add(m.text);
  h.add(m.sender);
  h.add(static_cast<std::uint64_t>(m.recipients.size()));
  for (const auto& r : m.recipients) h.add(r);
  h.add(std::uint64_t{m.delivery.has_value()});
  if (m.delivery) h.add(mapi::filetime_ticks(*m.delivery));
  return h.hex();
}

}  // namespace vardel::phone
