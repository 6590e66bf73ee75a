// Reads the binary dialog template the resource compiler writes.
#include "platform/gwes/dialog_template.h"

#include <cstring>
#include <string>

namespace vardel::gwes::detail {
namespace {

class Reader {
 public:
  Reader(const std::uint8_t* base, std::size_t size) : base_(base), size_(size) {}

  bool ok() const { return ok_; }

  template <typename T>
  T read() {
    T value{};
    if (!need(sizeof(T))) return value;
    std::memcpy(&value, base_ + pos_, sizeof(T));
    pos_ += sizeof(T);
    return value;
  }

  // A 0-terminated UTF-16 text.
  std::u16string text() {
    std::u16string s;
    for (;;) {
      WORD c = read<WORD>();
      if (!ok_ || c == 0) return s;
      s.push_back(static_cast<char16_t>(c));
    }
  }

  // A name field: 0 (none), 0xFFFF and an ordinal, or a text.
  std::u16string name(WORD* ordinal = nullptr) {
    WORD first = peek();
    if (first == 0xFFFF) {
      read<WORD>();
      WORD value = read<WORD>();
      if (ordinal) *ordinal = value;
      return {};
    }
    return text();
  }

  void align(std::size_t to) {
    std::size_t pad = (to - pos_ % to) % to;
    if (need(pad)) pos_ += pad;
  }

  void skip(std::size_t n) {
    if (need(n)) pos_ += n;
  }

 private:
  WORD peek() {
    WORD value = 0;
    if (pos_ + 2 <= size_) std::memcpy(&value, base_ + pos_, 2);
    return value;
  }
  bool need(std::size_t n) {
    if (!ok_ || n > size_ - pos_) ok_ = false;
    return ok_;
  }

  const std::uint8_t* base_;
  std::size_t size_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

std::u16string atom_class(WORD atom) {
  switch (atom) {
    case 0x0080:
      return u"BUTTON";
    case 0x0081:
      return u"EDIT";
    case 0x0082:
      return u"STATIC";
    case 0x0083:
      return u"LISTBOX";
    case 0x0084:
      return u"SCROLLBAR";
    case 0x0085:
      return u"COMBOBOX";
    default: {
      std::u16string s = u"#";
      for (char c : std::to_string(atom)) s.push_back(static_cast<char16_t>(c));
      return s;
    }
  }
}

std::u16string upper(std::u16string s) {
  for (auto& c : s)
    if (c >= u'a' && c <= u'z') c = c - u'a' + u'A';
  return s;
}

}  // namespace

std::optional<DialogTemplate> parse_dialog_template(const void* data, std::size_t size) {
  if (!data) return std::nullopt;
  Reader r(static_cast<const std::uint8_t*>(data), size);
  DialogTemplate t;
  t.style = r.read<DWORD>();
  t.ex_style = r.read<DWORD>();
  // The extended form (DLGTEMPLATEEX) starts with 1, 0xFFFF; the program
  // does not use it.
  if (r.ok() && (t.style & 0xFFFF0000u) == 0xFFFF0000u && (t.style & 0xFFFF) == 1)
    return std::nullopt;
  WORD count = r.read<WORD>();
  t.x = r.read<short>();
  t.y = r.read<short>();
  t.cx = r.read<short>();
  t.cy = r.read<short>();
  r.name();  // menu: dialogs of this program have none
  r.name();  // class: the dialog class
  t.caption = r.text();
  if (t.style & DS_SETFONT) {
    t.point_size = r.read<WORD>();
    t.font = r.text();
  }
  for (WORD i = 0; i < count && r.ok(); ++i) {
    r.align(4);
    TemplateItem item;
    item.style = r.read<DWORD>();
    item.ex_style = r.read<DWORD>();
    item.x = r.read<short>();
    item.y = r.read<short>();
    item.cx = r.read<short>();
    item.cy = r.read<short>();
    item.id = r.read<WORD>();
    WORD atom = 0;
    std::u16string cls = r.name(&atom);
    item.class_name = atom ? atom_class(atom) : upper(cls);
    WORD text_ordinal = 0;
    item.text = r.name(&text_ordinal);
    WORD extra = r.read<WORD>();
    // A nonzero creation-data size counts its own word.
    if (extra > 2) r.skip(extra - 2);
    t.items.push_back(std::move(item));
  }
  if (!r.ok()) return std::nullopt;
  return t;
}

}  // namespace vardel::gwes::detail
