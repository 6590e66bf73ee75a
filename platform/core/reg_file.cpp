// Reading and writing the .reg text format of the device registry.
#include "platform/core/reg_file.h"

#include <iterator>

#include "platform/core/wstr.h"

namespace vardel::core::reg {
namespace {

std::u16string decode(std::string_view bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    std::u16string out;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
      out.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          static_cast<unsigned char>(bytes[i + 1]) << 8));
    return out;
  }
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  return utf16(bytes);
}

std::u16string_view trim(std::u16string_view s) {
  while (!s.empty() && (s.front() == u' ' || s.front() == u'\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == u' ' || s.back() == u'\t' || s.back() == u'\r'))
    s.remove_suffix(1);
  return s;
}

// Reads a quoted text at s (which starts with '"'), unescaping \\ and \".
// Advances s past the closing quote.
std::optional<std::u16string> quoted(std::u16string_view& s) {
  if (s.empty() || s.front() != u'"') return std::nullopt;
  std::u16string out;
  for (std::size_t i = 1; i < s.size(); ++i) {
    char16_t c = s[i];
    if (c == u'"') {
      s.remove_prefix(i + 1);
      return out;
    }
    if (c == u'\\') {
      if (++i >= s.size() || (s[i] != u'\\' && s[i] != u'"')) return std::nullopt;
      c = s[i];
    }
    out.push_back(c);
  }
  return std::nullopt;  // no closing quote
}

int hex_digit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

std::optional<std::vector<BYTE>> hex_bytes(std::u16string_view s) {
  std::vector<BYTE> out;
  s = trim(s);
  if (s.empty()) return out;
  std::size_t i = 0;
  for (;;) {
    while (i < s.size() && (s[i] == u' ' || s[i] == u'\t')) ++i;
    if (i + 2 > s.size() || hex_digit(s[i]) < 0 || hex_digit(s[i + 1]) < 0) return std::nullopt;
    out.push_back(static_cast<BYTE>(hex_digit(s[i]) * 16 + hex_digit(s[i + 1])));
    i += 2;
    while (i < s.size() && (s[i] == u' ' || s[i] == u'\t')) ++i;
    if (i == s.size()) return out;
    if (s[i] != u',') return std::nullopt;
    ++i;
  }
}

// A text value given in hex (hex(1), hex(2), hex(7)) may lack its
// terminator, or end in half a character: the reader that gets it copies it
// into a buffer and reads up to a zero, so the value gains whole UTF-16
// zeros here, two for a multi-string, whatever the file holds.
void terminate_text(Value& v) {
  constexpr DWORD kSz = 1, kExpandSz = 2, kMultiSz = 7;
  if (v.type != kSz && v.type != kExpandSz && v.type != kMultiSz) return;
  if (v.data.size() % 2) v.data.push_back(0);
  auto ends_with_zero = [&](size_t units_from_end) {
    const size_t n = v.data.size();
    return n >= 2 * units_from_end && v.data[n - 2 * units_from_end] == 0 &&
           v.data[n - 2 * units_from_end + 1] == 0;
  };
  if (!ends_with_zero(1)) v.data.insert(v.data.end(), {0, 0});
  if (v.type == kMultiSz && !(v.data.size() >= 4 && ends_with_zero(2)))
    v.data.insert(v.data.end(), {0, 0});
}

// Parses the data after '=' into v; false when it does not parse. Sets
// remove when the line deletes the value ("name"=-).
bool value_data(std::u16string_view s, Value& v, bool& remove) {
  s = trim(s);
  remove = false;
  if (s == u"-") {
    remove = true;
    return true;
  }
  if (!s.empty() && s.front() == u'"') {
    auto text = quoted(s);
    if (!text || !trim(s).empty()) return false;
    v.type = 1;  // REG_SZ
    v.data = sz_data(*text);
    return true;
  }
  if (s.substr(0, 6) == u"dword:") {
    std::u16string_view digits = s.substr(6);
    if (digits.empty() || digits.size() > 8) return false;
    DWORD n = 0;
    for (char16_t c : digits) {
      int d = hex_digit(c);
      if (d < 0) return false;
      n = n * 16 + static_cast<DWORD>(d);
    }
    v.type = 4;  // REG_DWORD
    v.data = {static_cast<BYTE>(n), static_cast<BYTE>(n >> 8), static_cast<BYTE>(n >> 16),
              static_cast<BYTE>(n >> 24)};
    return true;
  }
  if (s.substr(0, 3) == u"hex") {
    s.remove_prefix(3);
    DWORD type = 3;  // REG_BINARY
    if (!s.empty() && s.front() == u'(') {
      std::size_t close = s.find(u')');
      if (close == std::u16string_view::npos || close == 1 || close > 9) return false;
      type = 0;
      for (char16_t c : s.substr(1, close - 1)) {
        int d = hex_digit(c);
        if (d < 0) return false;
        type = type * 16 + static_cast<DWORD>(d);
      }
      s.remove_prefix(close + 1);
    }
    if (s.empty() || s.front() != u':') return false;
    auto bytes = hex_bytes(s.substr(1));
    if (!bytes) return false;
    v.type = type;
    v.data = std::move(*bytes);
    terminate_text(v);
    return true;
  }
  return false;
}

void put_value(Key& key, Value v, bool remove) {
  for (auto it = key.values.begin(); it != key.values.end(); ++it) {
    if (it->name.size() == v.name.size() && _wcsicmp(it->name.c_str(), v.name.c_str()) == 0) {
      if (remove)
        key.values.erase(it);
      else
        *it = std::move(v);
      return;
    }
  }
  if (!remove) key.values.push_back(std::move(v));
}

std::u16string escape(std::u16string_view s) {
  std::u16string out;
  for (char16_t c : s) {
    if (c == u'\\' || c == u'"') out.push_back(u'\\');
    out.push_back(c);
  }
  return out;
}

}  // namespace

std::vector<BYTE> sz_data(std::u16string_view text) {
  std::vector<BYTE> out;
  out.reserve(text.size() * 2 + 2);
  for (char16_t c : text) {
    out.push_back(static_cast<BYTE>(c & 0xFF));
    out.push_back(static_cast<BYTE>(c >> 8));
  }
  out.push_back(0);
  out.push_back(0);
  return out;
}

bool same_key(std::u16string_view a, std::u16string_view b) { return fold_case(a) == fold_case(b); }

bool key_exists(const File& file, std::u16string_view path) {
  std::u16string want = fold_case(path);
  for (const Key& k : file.keys) {
    std::u16string have = fold_case(k.path);
    if (have == want) return true;
    if (have.size() > want.size() && have.compare(0, want.size(), want) == 0 &&
        have[want.size()] == u'\\')
      return true;
  }
  return false;
}

std::optional<File> parse(std::string_view bytes) {
  if (bytes.size() > kMaxFileBytes) return std::nullopt;
  std::u16string text = decode(bytes);

  // Lines, with hex data continued over a trailing backslash joined up.
  std::vector<std::u16string> lines;
  std::size_t pos = 0;
  bool continuing = false;
  while (pos <= text.size()) {
    std::size_t nl = text.find(u'\n', pos);
    if (nl == std::u16string::npos) nl = text.size();
    std::u16string_view line = trim(std::u16string_view(text).substr(pos, nl - pos));
    pos = nl + 1;
    bool more =
        !line.empty() && line.back() == u'\\' && line.find(u'=') != std::u16string_view::npos;
    if (continuing) {
      more = !line.empty() && line.back() == u'\\';
      lines.back() += line;
    } else {
      lines.emplace_back(line);
    }
    if (more) lines.back().pop_back();
    continuing = more;
  }

  File file;
  Key* current = nullptr;
  bool seen_header = false;
  bool skipping = false;  // inside a [-key] section, which deletes a key
  for (const std::u16string& l : lines) {
    std::u16string_view line = trim(l);
    if (line.empty() || line.front() == u';') continue;
    if (!seen_header) {
      if (line != u"Windows Registry Editor Version 5.00" && line != u"REGEDIT4")
        return std::nullopt;
      seen_header = true;
      continue;
    }
    if (line.front() == u'[') {
      if (line.back() != u']' || line.size() < 3) return std::nullopt;
      std::u16string_view path = line.substr(1, line.size() - 2);
      skipping = path.front() == u'-';
      if (skipping) {
        current = nullptr;
        continue;
      }
      while (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
      if (path.empty() || path.find(u"\\\\") != std::u16string_view::npos) return std::nullopt;
      current = nullptr;
      for (Key& k : file.keys)
        if (same_key(k.path, path)) current = &k;
      if (!current) {
        file.keys.push_back(Key{std::u16string(path), {}});
        current = &file.keys.back();
      }
      continue;
    }
    if (skipping) continue;
    if (!current) return std::nullopt;  // a value outside any key
    Value v;
    std::u16string_view rest = line;
    if (rest.front() == u'@') {
      rest.remove_prefix(1);
    } else {
      auto name = quoted(rest);
      if (!name) return std::nullopt;
      v.name = std::move(*name);
    }
    rest = trim(rest);
    if (rest.empty() || rest.front() != u'=') return std::nullopt;
    bool remove = false;
    if (!value_data(rest.substr(1), v, remove)) return std::nullopt;
    put_value(*current, std::move(v), remove);
  }
  if (!seen_header) return std::nullopt;
  return file;
}

std::string serialize(const File& file) {
  std::u16string out = u"Windows Registry Editor Version 5.00\n";
  for (const Key& k : file.keys) {
    out += u"\n[" + k.path + u"]\n";
    for (const Value& v : k.values) {
      out += v.name.empty() ? u"@" : u"\"" + escape(v.name) + u"\"";
      out += u"=";
      if (v.type == 1 && v.data.size() >= 2 && v.data.size() % 2 == 0) {
        std::u16string s;
        for (std::size_t i = 0; i + 1 < v.data.size(); i += 2) {
          auto c = static_cast<char16_t>(v.data[i] | v.data[i + 1] << 8);
          if (c == 0) break;
          s.push_back(c);
        }
        out += u"\"" + escape(s) + u"\"";
      } else if (v.type == 4 && v.data.size() == 4) {
        DWORD n =
            v.data[0] | v.data[1] << 8 | v.data[2] << 16 | static_cast<DWORD>(v.data[3]) << 24;
        out += vardel::format(u"dword:%08x", n);
      } else {
        out += v.type == 3 ? std::u16string(u"hex:") : vardel::format(u"hex(%x):", v.type);
        for (std::size_t i = 0; i < v.data.size(); ++i)
          out += vardel::format(i ? u",%02x" : u"%02x", v.data[i]);
      }
      out += u"\n";
    }
  }
  return utf8(out);
}

}  // namespace vardel::core::reg
