// A contact's properties in memory: (tag, value) pairs in ascending tag
// order, kept side by side in one block.
//
// A contact has a few dozen properties at most and is read far more often
// than it changes; a backup loads every contact once and looks up each of its
// fields. One block instead of a tree node per property makes loading,
// copying and freeing a contact one allocation (besides long texts) instead
// of one per property, and a lookup a short search through adjacent memory.
//
// The interface is the part of std::map's the store uses. Unlike std::map's,
// adding a property moves the others: references into the map do not
// survive an insertion.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace vardel::poom {

template <class Key, class Value>
class FlatPropMap {
 public:
  using value_type = std::pair<Key, Value>;
  using iterator = typename std::vector<value_type>::iterator;
  using const_iterator = typename std::vector<value_type>::const_iterator;

  iterator begin() { return items_.begin(); }
  iterator end() { return items_.end(); }
  const_iterator begin() const { return items_.begin(); }
  const_iterator end() const { return items_.end(); }
  std::size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }

  iterator find(Key key) {
    if (!may_hold(key)) return items_.end();
    auto it = lower_bound(key);
    return it != items_.end() && it->first == key ? it : items_.end();
  }
  const_iterator find(Key key) const {
    if (!may_hold(key)) return items_.end();
    auto it = lower_bound(key);
    return it != items_.end() && it->first == key ? it : items_.end();
  }
  std::size_t count(Key key) const { return find(key) != end() ? 1 : 0; }

  // The value of key, added empty when missing.
  Value& operator[](Key key) {
    auto it = lower_bound(key);
    if (it == items_.end() || it->first != key) it = insert_at(it, key, Value{});
    return it->second;
  }
  // Adds (key, value) unless key is there; the entry of key either way.
  template <class V>
  std::pair<iterator, bool> emplace(Key key, V&& value) {
    auto it = lower_bound(key);
    if (it != items_.end() && it->first == key) return {it, false};
    return {insert_at(it, key, Value(std::forward<V>(value))), true};
  }
  // As emplace; cheapest when key is above every key held (rows read in
  // order), whatever the hint.
  template <class V>
  iterator emplace_hint(const_iterator, Key key, V&& value) {
    if (items_.empty() || items_.back().first < key) {
      reserve_first();
      items_.emplace_back(key, Value(std::forward<V>(value)));
      note(key);
      return items_.end() - 1;
    }
    return emplace(key, std::forward<V>(value)).first;
  }
  std::size_t erase(Key key) {
    auto it = find(key);
    if (it == items_.end()) return 0;
    items_.erase(it);
    return 1;
  }

  bool operator==(const FlatPropMap& other) const { return items_ == other.items_; }

 private:
  // Room for a usual contact at once rather than growing one by one.
  static constexpr std::size_t kFirstRoom = 16;

  iterator lower_bound(Key key) {
    return items_.begin() + static_cast<std::ptrdiff_t>(lower_index(key));
  }
  const_iterator lower_bound(Key key) const {
    return items_.begin() + static_cast<std::ptrdiff_t>(lower_index(key));
  }
  // The place of the first key not below `key`. The halving does not branch
  // on the keys, so the processor never guesses its way wrong: a backup
  // looks up every field of every contact, and a search that jumped on each
  // comparison spent most of its time recovering from wrong guesses.
  std::size_t lower_index(Key key) const {
    std::size_t len = items_.size();
    if (len == 0) return 0;
    const value_type* base = items_.data();
    while (len > 1) {
      const std::size_t half = len / 2;
      base += base[half - 1].first < key ? half : 0;
      len -= half;
    }
    return static_cast<std::size_t>(base - items_.data()) + (base->first < key ? 1 : 0);
  }
  void reserve_first() {
    if (items_.capacity() == 0) items_.reserve(kFirstRoom);
  }
  iterator insert_at(iterator it, Key key, Value&& value) {
    if (items_.capacity() == 0) {
      const auto at = it - items_.begin();
      reserve_first();
      it = items_.begin() + at;
    }
    note(key);
    return items_.emplace(it, key, std::move(value));
  }

  // Which keys may be held, one bit per value of bits 16-22 of the key (a
  // property tag's identifier): most of the fields a backup asks a contact
  // for are ones it does not have, and a clear bit answers those without a
  // search. A bit stays set when its key is erased; it then only costs the
  // search it would have saved.
  static std::size_t bit_of(Key key) {
    return static_cast<std::size_t>((static_cast<std::uint64_t>(key) >> 16) & 127u);
  }
  bool may_hold(Key key) const {
    const std::size_t bit = bit_of(key);
    return (held_[bit / 64] >> (bit % 64)) & 1u;
  }
  void note(Key key) {
    const std::size_t bit = bit_of(key);
    held_[bit / 64] |= std::uint64_t{1} << (bit % 64);
  }

  std::vector<value_type> items_;
  std::uint64_t held_[2] = {0, 0};
};

}  // namespace vardel::poom
