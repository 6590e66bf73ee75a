// The contacts a connection loaded or saved lately, by oid: at most kSlots
// of them, in sets of kWays slots chosen by the oid. A contact takes an
// empty slot of its set, else the one its set filled longest ago.
//
// Finding, adding and dropping a contact allocate nothing. A backup loads
// every contact of the phone once and then reads each one's properties by
// oid a few times: a cache that made a node per contact and freed all of
// them whenever it was full spent a few per cent of the backup on that.
//
// Not thread-safe: the connection's mutex guards it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/poom/props.h"

namespace vardel::poom {

class PropsCache {
 public:
  static constexpr std::size_t kWays = 4;
  static constexpr std::size_t kSets = 1024;
  static constexpr std::size_t kSlots = kWays * kSets;

  PropsCache() : slots_(kSlots), next_(kSets, 0) {}

  // The cached properties of oid, or null. The pointer is valid until the
  // next put, erase or clear.
  SharedProps* find(long oid) {
    Slot* set = set_of(oid);
    for (std::size_t i = 0; i < kWays; ++i)
      if (set[i].props && set[i].oid == oid) return &set[i].props;
    return nullptr;
  }

  void put(long oid, SharedProps props) {
    if (SharedProps* cached = find(oid)) {
      *cached = std::move(props);
      return;
    }
    Slot* set = set_of(oid);
    std::size_t way = kWays;
    for (std::size_t i = 0; i < kWays && way == kWays; ++i)
      if (!set[i].props) way = i;
    if (way == kWays) {
      std::uint8_t& next = next_[set_index(oid)];
      way = next;
      next = static_cast<std::uint8_t>((next + 1) % kWays);
    }
    set[way].oid = oid;
    set[way].props = std::move(props);
  }

  void erase(long oid) {
    if (SharedProps* cached = find(oid)) cached->reset();
  }

  void clear() {
    for (Slot& slot : slots_) slot.props.reset();
  }

 private:
  struct Slot {
    long oid = 0;
    SharedProps props;  // null: the slot is empty
  };

  // Oids are handed out in sequence, so their low bits spread contacts
  // evenly over the sets.
  static std::size_t set_index(long oid) {
    return static_cast<std::size_t>(static_cast<unsigned long>(oid) % kSets);
  }
  Slot* set_of(long oid) { return &slots_[set_index(oid) * kWays]; }

  std::vector<Slot> slots_;
  std::vector<std::uint8_t> next_;
};

}  // namespace vardel::poom
