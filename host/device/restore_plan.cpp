#include "host/device/restore_plan.h"

#include <algorithm>
#include <map>

#include "contacts/ContactFieldMap.h"
#include "contacts/ContactMerge.h"
#include "platform/core/wstr.h"
#include "platform/poom/file_as.h"
#include "platform/poom/pimstore.h"

namespace vardel::host {

namespace {

constexpr CEPROPID kKeyTags[4] = {PIMPR_FILEAS, PIMPR_BUSINESS_TELEPHONE_NUMBER,
                                  PIMPR_MOBILE_TELEPHONE_NUMBER, PIMPR_HOME_TELEPHONE_NUMBER};

struct Entry {
  std::map<CEPROPID, std::u16string> props;  // non-empty texts only
  bool from_backup = false;
  std::size_t filled = SIZE_MAX;  // index in plan.filled

  const std::u16string* get(CEPROPID tag) const {
    auto it = props.find(tag);
    return it == props.end() ? nullptr : &it->second;
  }
  std::u16string part(int k) const {
    const std::u16string* p = get(kKeyTags[k]);
    return p ? *p : u"空";
  }
  std::u16string name() const { return part(0); }
};

Entry make_entry(const poom::ContactRecord& record, bool from_backup) {
  Entry e;
  e.from_backup = from_backup;
  for (const auto& p : record)
    if (!p.text.empty()) e.props[p.tag] = p.text;
  // A restored contact without a file-as name gets the one a save gives.
  if (from_backup && !e.get(PIMPR_FILEAS)) {
    poom::PropMap map;
    for (const auto& [tag, text] : e.props)
      if (poom::is_text_tag(tag)) map[tag].text = text;
    if (std::u16string name = poom::default_file_as(map); !name.empty())
      e.props[PIMPR_FILEAS] = name;
  }
  return e;
}

bool same_file_as(const Entry& a, const Entry& b) {
  return _wcsicmp(a.part(0).c_str(), b.part(0).c_str()) == 0;
}
bool same_numbers(const Entry& a, const Entry& b) {
  for (int k = 1; k < 4; ++k)
    if (_wcsicmp(a.part(k).c_str(), b.part(k).c_str()) != 0) return false;
  return true;
}

class Walk {
 public:
  Walk(std::vector<Entry> folder, RestorePlan& plan) : f_(std::move(folder)), plan_(plan) {}

  // The duplicate removal's two loops, on positions 0.. of the folder.
  void run() {
    std::size_t i = 0;
    while (i + 1 < f_.size()) {
      if (same_file_as(f_[i], f_[i + 1]) && same_numbers(f_[i], f_[i + 1])) {
        merge(i, i + 1);
      } else {
        if (same_file_as(f_[i], f_[i + 1])) scan(i + 1);
        ++i;
      }
    }
  }
  const std::vector<Entry>& folder() const { return f_; }

 private:
  void scan(std::size_t k) {
    for (std::size_t j = k; j < f_.size() && same_file_as(f_[k - 1], f_[j]);) {
      if (same_numbers(f_[k - 1], f_[j]))
        merge(k - 1, j);
      else
        ++j;
    }
  }

  void merge(std::size_t keep, std::size_t remove) {
    Entry& kept = f_[keep];
    const Entry& copy = f_[remove];
    DWORD tags[CONTACT_FIELD_COUNT];
    const int n = GetCarriedContactTags(tags);
    std::vector<CEPROPID> fill;
    bool differs = false;
    for (int t = 0; t < n; ++t) {
      const DWORD twin = GetContactFieldTwin(tags[t], nullptr);
      auto text = [](const std::u16string* s) { return s ? s->c_str() : nullptr; };
      const int how = CompareCarriedField(tags[t], text(kept.get(tags[t])), text(copy.get(tags[t])),
                                          twin ? text(kept.get(twin)) : nullptr,
                                          twin ? text(copy.get(twin)) : nullptr);
      if (how == MERGE_FILL) fill.push_back(tags[t]);
      if (how == MERGE_DIFFERS) differs = true;
    }
    for (CEPROPID tag : fill) kept.props[tag] = *copy.get(tag);
    if (!fill.empty()) {
      if (kept.filled == SIZE_MAX) {
        kept.filled = plan_.filled.size();
        plan_.filled.push_back({kept.name(), {}});
      }
      auto& named = plan_.filled[kept.filled].tags;
      named.insert(named.end(), fill.begin(), fill.end());
    }
    if (differs) ++plan_.differing;
    if (!copy.from_backup)
      plan_.phone_duplicates.push_back(copy.name());
    else if (!kept.from_backup)
      plan_.present.push_back(copy.name());
    f_.erase(f_.begin() + static_cast<std::ptrdiff_t>(remove));
  }

  std::vector<Entry> f_;
  RestorePlan& plan_;
};

// Short names for the properties people look for; the object model's name
// for the rest.
std::string label(CEPROPID tag) {
  switch (tag) {
    case PIMPR_EMAIL1_ADDRESS:
      return "e-mail";
    case PIMPR_EMAIL2_ADDRESS:
      return "e-mail 2";
    case PIMPR_EMAIL3_ADDRESS:
      return "e-mail 3";
    case PIMPR_COMPANY_NAME:
      return "company";
    case PIMPR_JOB_TITLE:
      return "job title";
    case PIMPR_DEPARTMENT:
      return "department";
    case PIMPR_FIRST_NAME:
      return "first name";
    case PIMPR_LAST_NAME:
      return "last name";
    case PIMPR_NICKNAME:
      return "nickname";
    case PIMPR_WEB_PAGE:
      return "web page";
    case PIMPR_BIRTHDAY:
      return "birthday";
    case PIMPR_ANNIVERSARY:
      return "anniversary";
    default:
      return std::string(poom::property_name(tag));
  }
}

std::string contacts(std::size_t n) {
  return std::to_string(n) + (n == 1 ? " contact" : " contacts");
}

void list(std::ostream& out, const std::vector<std::u16string>& names) {
  for (const auto& name : names) out << "  " << utf8(name) << "\n";
}

}  // namespace

RestorePlan plan_restore(const std::vector<poom::ContactRecord>& phone,
                         const std::vector<poom::ContactRecord>& backup) {
  std::vector<Entry> folder;
  folder.reserve(phone.size() + backup.size());
  for (const auto& r : phone) folder.push_back(make_entry(r, false));
  for (const auto& r : backup) folder.push_back(make_entry(r, true));
  // The folder's order: FileAs folded, then creation (the restored contacts
  // are the newest, in the file's order).
  std::stable_sort(folder.begin(), folder.end(), [](const Entry& a, const Entry& b) {
    const auto* fa = a.get(PIMPR_FILEAS);
    const auto* fb = b.get(PIMPR_FILEAS);
    return fold_case(fa ? *fa : u"") < fold_case(fb ? *fb : u"");
  });

  RestorePlan plan;
  Walk walk(std::move(folder), plan);
  walk.run();
  const auto& left = walk.folder();
  for (const Entry& e : left)
    if (e.from_backup) plan.added.push_back(e.name());
  for (std::size_t i = 0; i < left.size();) {
    std::size_t j = i + 1;
    while (j < left.size() && same_file_as(left[i], left[j])) ++j;
    if (j - i > 1) plan.remaining.emplace_back(left[i].name(), static_cast<int>(j - i));
    i = j;
  }
  return plan;
}

void print_restore_plan(const RestorePlan& plan, std::ostream& out) {
  out << "dry run: the restore would\n";
  out << "add " << contacts(plan.added.size()) << " new to the phone\n";
  list(out, plan.added);
  out << "fill in " << contacts(plan.filled.size()) << " from the backup\n";
  for (const auto& f : plan.filled) {
    out << "  " << utf8(f.name) << ":";
    for (std::size_t i = 0; i < f.tags.size(); ++i) out << (i ? ", " : " ") << label(f.tags[i]);
    out << "\n";
  }
  out << "find " << contacts(plan.present.size())
      << " already on the phone (their copies deleted again)\n";
  list(out, plan.present);
  if (!plan.phone_duplicates.empty()) {
    out << "delete " << contacts(plan.phone_duplicates.size())
        << " the phone holds twice already\n";
    list(out, plan.phone_duplicates);
  }
  out << (plan.differing == 1 ? "1 contact differs"
                              : std::to_string(plan.differing) + " contacts differ")
      << " from the backup (the phone's values kept)\n";
  std::size_t remaining = 0;
  for (const auto& r : plan.remaining) remaining += static_cast<std::size_t>(r.second);
  out << "leave " << contacts(remaining) << " sharing a name but not its numbers side by side\n";
  for (const auto& [name, n] : plan.remaining) out << "  " << utf8(name) << " (" << n << ")\n";
  out << "nothing was changed\n";
}

}  // namespace vardel::host
