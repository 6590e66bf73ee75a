// The program module's resource table behind FindResourceW and LoadResource.
#include "platform/gwes/resources.h"

#include "platform/gwes/dialog_template.h"

#include <list>
#include <memory>
#include <mutex>

namespace vardel::gwes {
namespace {

struct Entry {
  ResourceName type;
  ResourceName name;
  WORD language = 0;
  std::vector<std::uint8_t> data;
  std::function<std::vector<std::uint8_t>()> make;  // computes data when first found
};

struct Table {
  std::mutex mutex;
  std::list<Entry> entries;   // a list, so HRSRC (an Entry*) stays valid
  std::list<Entry> replaced;  // kept until clear: callers may still hold their data
};

Table& table() {
  static Table* t = new Table;
  return *t;
}

char16_t upper(char16_t c) { return c >= u'a' && c <= u'z' ? c - u'a' + u'A' : c; }

bool same_text(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (upper(a[i]) != upper(b[i])) return false;
  return true;
}

// The loader's reading of a name argument: an ordinal, "#123", or a text.
ResourceName name_of(LPCWSTR p) {
  if (IS_INTRESOURCE(p)) return static_cast<WORD>(reinterpret_cast<ULONG_PTR>(p));
  std::u16string text(p);
  if (text.size() > 1 && text[0] == u'#') {
    unsigned value = 0;
    bool digits = true;
    for (std::size_t i = 1; i < text.size() && digits; ++i) {
      digits = text[i] >= u'0' && text[i] <= u'9';
      value = value * 10 + (text[i] - u'0');
    }
    if (digits && value <= 0xFFFF) return static_cast<WORD>(value);
  }
  return text;
}

bool matches(const ResourceName& a, const ResourceName& b) {
  if (a.index() != b.index()) return false;
  if (const WORD* w = std::get_if<WORD>(&a)) return *w == std::get<WORD>(b);
  return same_text(std::get<std::u16string>(a), std::get<std::u16string>(b));
}

void add_entry(Entry entry) {
  std::lock_guard lock(table().mutex);
  auto& entries = table().entries;
  for (auto it = entries.begin(); it != entries.end(); ++it) {
    if (matches(it->type, entry.type) && matches(it->name, entry.name)) {
      table().replaced.splice(table().replaced.end(), entries, it);
      break;
    }
  }
  entries.push_back(std::move(entry));
}

}  // namespace

void add_resource(const ResourceName& type, const ResourceName& name,
                  std::vector<std::uint8_t> data, WORD language) {
  add_entry(Entry{type, name, language, std::move(data), nullptr});
}

void add_resource(const ResourceName& type, const ResourceName& name,
                  std::function<std::vector<std::uint8_t>()> make, WORD language) {
  add_entry(Entry{type, name, language, {}, std::move(make)});
}

void clear_resources() {
  std::lock_guard lock(table().mutex);
  table().entries.clear();
  table().replaced.clear();
}

namespace detail {

std::size_t resource_extent(const void* p) {
  auto at = static_cast<const std::uint8_t*>(p);
  std::lock_guard lock(table().mutex);
  for (auto* list : {&table().entries, &table().replaced})
    for (const Entry& e : *list) {
      const std::uint8_t* begin = e.data.data();
      if (at >= begin && at < begin + e.data.size())
        return static_cast<std::size_t>(begin + e.data.size() - at);
    }
  return 0;
}

}  // namespace detail
}  // namespace vardel::gwes

using namespace vardel::gwes;

HRSRC FindResourceW(HMODULE /*hModule*/, LPCWSTR lpName, LPCWSTR lpType) {
  if (!lpName || !lpType) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  ResourceName name = name_of(lpName), type = name_of(lpType);
  std::lock_guard lock(table().mutex);
  for (Entry& e : table().entries)
    if (matches(e.type, type) && matches(e.name, name)) {
      if (e.make) {
        e.data = e.make();
        e.make = nullptr;
      }
      return reinterpret_cast<HRSRC>(&e);
    }
  SetLastError(ERROR_NOT_FOUND);
  return nullptr;
}

HGLOBAL LoadResource(HMODULE /*hModule*/, HRSRC hResInfo) {
  if (!hResInfo) return nullptr;
  auto* e = reinterpret_cast<Entry*>(hResInfo);
  return e->data.empty() ? nullptr : static_cast<HGLOBAL>(e->data.data());
}

LPVOID LockResource(HGLOBAL hResData) { return hResData; }

DWORD SizeofResource(HMODULE /*hModule*/, HRSRC hResInfo) {
  if (!hResInfo) return 0;
  return static_cast<DWORD>(reinterpret_cast<Entry*>(hResInfo)->data.size());
}
