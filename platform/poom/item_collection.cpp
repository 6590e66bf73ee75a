// The contacts folder's item collection (IPOutlookItemCollection).
//
// The folder's order is read once, when the collection is made: an array of
// oids and, over it, a Fenwick tree of the contacts still present. Item(k)
// and Remove(k) find the k-th present contact in O(log n) and never query the
// order again; Remove(k) marks it gone, so every later contact moves down by
// one. Properties are read ahead for the next kPrefetch contacts in one
// query, since callers walk by position.
//
// FillAndRemove (item_merge.h) sets properties on one contact and deletes
// another in one transaction of the database.
//
// Fault points: "poom.Item", "poom.Remove", "poom.FillAndRemove".
#include <unordered_map>
#include <vector>

#include "platform/core/calendar.h"
#include "platform/core/fault.h"
#include "platform/core/windows.h"
#include "platform/poom/item_merge.h"
#include "platform/poom/objects.h"

namespace vardel::poom {
namespace {

constexpr std::size_t kPrefetch = 64;

// Counts of present entries over an array of n, all present at first.
class PresenceTree {
 public:
  explicit PresenceTree(std::size_t n) : tree_(n + 1), count_(n) {
    for (std::size_t i = 1; i <= n; ++i)
      tree_[i] = static_cast<int>(i & (~i + 1));  // lowbit: all ones
    top_ = 1;
    while (top_ * 2 <= n) top_ *= 2;
  }
  std::size_t count() const { return count_; }

  // Array index of the k-th present entry, 1 <= k <= count().
  std::size_t find(std::size_t k) const {
    std::size_t pos = 0;
    auto left = static_cast<int>(k);
    for (std::size_t step = top_; step; step >>= 1) {
      if (pos + step < tree_.size() && tree_[pos + step] < left) {
        pos += step;
        left -= tree_[pos];
      }
    }
    return pos;  // 1-based pos + 1, as a 0-based index: pos
  }

  void erase(std::size_t index) {
    for (std::size_t i = index + 1; i < tree_.size(); i += i & (~i + 1)) --tree_[i];
    --count_;
  }

 private:
  std::vector<int> tree_;
  std::size_t count_;
  std::size_t top_ = 0;
};

class ItemCollection final
    : public com::Object<kPoom, IPOutlookItemMerge, &IID_IDispatch, &IID_IPOutlookItemCollection,
                         &IID_IPOutlookItemMerge> {
 public:
  ItemCollection(std::shared_ptr<ContactDatabase> db, std::vector<long> oids)
      : db_(std::move(db)),
        oids_(std::move(oids)),
        present_(oids_.size()),
        gone_(oids_.size(), false) {}

  HRESULT get_Count(int* pnCount) noexcept override {
    if (!pnCount) return E_POINTER;
    *pnCount = static_cast<int>(present_.count());
    return S_OK;
  }

  HRESULT Item(int iIndex, IDispatch** ppolItem) override {
    if (!ppolItem) return E_POINTER;
    *ppolItem = nullptr;
    return guard([&] {
      if (HRESULT hr = fault::check("poom.Item")) return hr;
      if (iIndex < 1 || static_cast<std::size_t>(iIndex) > present_.count()) return E_INVALIDARG;
      const std::size_t index = present_.find(static_cast<std::size_t>(iIndex));
      const long oid = oids_[index];
      SharedProps props;
      if (HRESULT hr = properties(index, &props); FAILED(hr)) return hr;
      *ppolItem = create_contact(db_, oid, std::move(props));
      return S_OK;
    });
  }

  HRESULT Remove(int iIndex) override {
    return guard([&] {
      if (HRESULT hr = fault::check("poom.Remove")) return hr;
      if (iIndex < 1 || static_cast<std::size_t>(iIndex) > present_.count()) return E_INVALIDARG;
      const std::size_t index = present_.find(static_cast<std::size_t>(iIndex));
      if (HRESULT hr = db_->remove(oids_[index]); FAILED(hr)) return hr;
      present_.erase(index);
      gone_[index] = true;
      cache_.erase(oids_[index]);
      return S_OK;
    });
  }

  HRESULT FillAndRemove(int iKeep, int iRemove, WORD cProps, CEPROPVAL* rgVals) override {
    if (cProps && !rgVals) return E_INVALIDARG;
    return guard([&] {
      if (HRESULT hr = fault::check("poom.FillAndRemove")) return hr;
      const auto count = static_cast<int>(present_.count());
      if (iKeep < 1 || iKeep > count || iRemove < 1 || iRemove > count || iKeep == iRemove)
        return E_INVALIDARG;
      PropEdits fill;
      for (WORD i = 0; i < cProps; ++i) {
        const CEPROPVAL& pv = rgVals[i];
        if (!is_contact_tag(pv.propid)) return E_INVALIDARG;
        PropValue v;
        if (is_date_tag(pv.propid))
          v.filetime = static_cast<std::int64_t>(calendar::filetime_ticks(pv.val.filetime));
        else if (pv.val.lpwstr)
          v.text.assign(pv.val.lpwstr, wcslen(pv.val.lpwstr));
        fill[pv.propid] = std::move(v);
      }
      const std::size_t keep = present_.find(static_cast<std::size_t>(iKeep));
      const std::size_t index = present_.find(static_cast<std::size_t>(iRemove));
      if (HRESULT hr = db_->fill_and_remove(oids_[keep], fill, oids_[index]); FAILED(hr)) return hr;
      present_.erase(index);
      gone_[index] = true;
      cache_.erase(oids_[index]);
      cache_.erase(oids_[keep]);
      return S_OK;
    });
  }

  HRESULT Add(IDispatch** ppolItem) override {
    if (!ppolItem) return E_POINTER;
    *ppolItem = nullptr;
    return guard([&] {
      *ppolItem = create_contact(db_, 0, nullptr);
      return S_OK;
    });
  }

  HRESULT get_Application(IPOutlookApp2** ppPOOM) noexcept override {
    if (ppPOOM) *ppPOOM = nullptr;
    return stub(u"IPOutlookItemCollection::get_Application");
  }

 private:
  ~ItemCollection() override {
    guard([&] { return db_->flush(); });
  }

  // The stored properties of the contact at array index `index`, read ahead
  // with the next present contacts when not cached (or stale).
  HRESULT properties(std::size_t index, SharedProps* out) {
    if (cache_version_ != db_->version()) cache_.clear();
    const long oid = oids_[index];
    if (auto it = cache_.find(oid); it != cache_.end()) {
      *out = it->second;
      return S_OK;
    }
    cache_.clear();
    cache_version_ = db_->version();
    std::vector<long> batch;
    for (std::size_t i = index; i < oids_.size() && batch.size() < kPrefetch; ++i)
      if (!gone_[i]) batch.push_back(oids_[i]);
    loaded_.clear();
    if (HRESULT hr = db_->load(batch, &loaded_); FAILED(hr)) return hr;
    for (auto& [loaded_oid, props] : loaded_) cache_[loaded_oid] = std::move(props);
    auto it = cache_.find(oid);
    // Deleted through another collection or application since this one was
    // made.
    if (it == cache_.end()) return kHrNotFound;
    *out = it->second;
    return S_OK;
  }

  std::shared_ptr<ContactDatabase> db_;
  std::vector<long> oids_;
  PresenceTree present_;
  std::vector<bool> gone_;
  std::unordered_map<long, SharedProps> cache_;
  std::vector<std::pair<long, SharedProps>> loaded_;  // kept for its room
  std::uint64_t cache_version_ = 0;
};

}  // namespace

HRESULT create_item_collection(std::shared_ptr<ContactDatabase> db, IPOutlookItemCollection** out) {
  std::vector<long> oids;
  if (HRESULT hr = db->ordered_oids(&oids); FAILED(hr)) return hr;
  *out = com::make<ItemCollection>(std::move(db), std::move(oids));
  return S_OK;
}

}  // namespace vardel::poom
