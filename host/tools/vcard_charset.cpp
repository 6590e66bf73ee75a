#include "host/tools/vcard_charset.h"

#include <uchardet/uchardet.h>

#include <cctype>

#include "host/tools/vcard_lines.h"
#include "platform/core/wstr.h"

namespace vardel::tools::vcard {

namespace {

std::string upper(std::string_view s) { return ascii_upper(s); }

// Charset names as iconv knows them; the GB family is read as its superset.
std::string iconv_name(const std::string& declared) {
  const std::string u = upper(declared);
  if (u == "GB2312" || u == "GBK" || u == "CP936" || u == "EUC-CN") return "GB18030";
  if (u == "ISO-8859-1" || u == "LATIN1") return "WINDOWS-1252";
  return declared;
}

bool is_utf8_name(const std::string& declared) {
  const std::string u = upper(declared);
  return u.empty() || u == "UTF-8" || u == "UTF8";
}

// Valid multi-byte UTF-8 sequences and bytes that start none.
struct Utf8Count {
  size_t sequences = 0;
  size_t bad = 0;
};

size_t sequence_length(std::string_view s, size_t i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  const size_t n = c >= 0xC2 && c <= 0xDF   ? 1
                   : c >= 0xE0 && c <= 0xEF ? 2
                   : c >= 0xF0 && c <= 0xF4 ? 3
                                            : 0;
  if (n == 0) return 0;
  for (size_t k = 1; k <= n; ++k)
    if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) >> 6) != 2) return 0;
  return n + 1;
}

Utf8Count count_utf8(std::string_view s) {
  Utf8Count c;
  for (size_t i = 0; i < s.size();) {
    if (static_cast<unsigned char>(s[i]) < 0x80) {
      ++i;
    } else if (size_t n = sequence_length(s, i)) {
      ++c.sequences;
      i += n;
    } else {
      ++c.bad;
      ++i;
    }
  }
  return c;
}

// UTF-8 with each byte that starts no sequence replaced by U+FFFD.
std::string replace_bad_utf8(std::string_view s, size_t* replaced) {
  std::string out;
  for (size_t i = 0; i < s.size();) {
    if (static_cast<unsigned char>(s[i]) < 0x80) {
      out += s[i++];
    } else if (size_t n = sequence_length(s, i)) {
      out.append(s.substr(i, n));
      i += n;
    } else {
      out += "\xEF\xBF\xBD";
      ++*replaced;
      ++i;
    }
  }
  return out;
}

}  // namespace

bool looks_utf16(std::string_view b, bool* little_endian) {
  // Text in UTF-16 has a NUL in every other byte of its ASCII letters.
  const size_t n = std::min<size_t>(b.size() & ~size_t{1}, 200);
  if (n < 4) return false;
  size_t even = 0, odd = 0;
  for (size_t i = 0; i < n; i += 2) {
    even += b[i] == '\0';
    odd += b[i + 1] == '\0';
  }
  if (odd * 4 >= n && even == 0) return *little_endian = true, true;
  if (even * 4 >= n && odd == 0) return *little_endian = false, true;
  return false;
}

bool CharsetDetector::needs_detection(std::string_view bytes, const std::string& declared) {
  if (!is_utf8_name(declared) && to_utf8(bytes, iconv_name(declared))) return false;
  const Utf8Count c = count_utf8(bytes);
  if (c.bad == 0) return !is_utf8_name(declared);
  return !(c.sequences > 0 && c.bad <= c.sequences);
}

CharsetDetector::CharsetDetector() = default;

CharsetDetector::~CharsetDetector() {
  if (detector_ != nullptr) uchardet_delete(detector_);
}

// Whether each byte above 0x7F pairs up as a GB2312 character (lead A1-F7,
// trail A1-FE), what the Chinese phones wrote; Western text almost never
// does, since its accented letters stand alone between ASCII letters.
// Judged sample by sample: no pair crosses from one sample to the next.
void CharsetDetector::add_sample(std::string_view s) {
  any_sample_ = true;
  for (size_t i = 0; i < s.size() && all_gb_pairs_; ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) continue;
    const unsigned char t = i + 1 < s.size() ? static_cast<unsigned char>(s[i + 1]) : 0;
    if (c < 0xA1 || c > 0xF7 || t < 0xA1 || t > 0xFE) {
      all_gb_pairs_ = false;
      break;
    }
    ++i;
    any_gb_pair_ = true;
  }
  pending_.append(s);
  pending_ += '\n';
  if (pending_.size() >= kSampleChunk) feed();
}

void CharsetDetector::feed() {
  if (pending_.empty() || detector_failed_) return;
  if (detector_ == nullptr) detector_ = uchardet_new();
  if (detector_ == nullptr ||
      uchardet_handle_data(detector_, pending_.data(), pending_.size()) != 0)
    detector_failed_ = true;
  pending_.clear();
}

const std::string& CharsetDetector::detected() {
  if (decided_) return detected_;
  decided_ = true;
  if (!any_sample_) return detected_;
  if (all_gb_pairs_ && any_gb_pair_) return detected_ = "GB18030";
  feed();
  if (!detector_failed_ && detector_ != nullptr) {
    uchardet_data_end(detector_);
    const char* name = uchardet_get_charset(detector_);
    if (name != nullptr && *name != '\0' && upper(name) != "ASCII") detected_ = iconv_name(name);
  }
  if (detected_.empty()) detected_ = "WINDOWS-1252";
  return detected_;
}

std::string decode_value(std::string_view bytes, const std::string& declared,
                         CharsetDetector& detector, std::string* note) {
  note->clear();
  if (!CharsetDetector::needs_detection(bytes, declared)) {
    if (!is_utf8_name(declared)) {
      if (auto text = to_utf8(bytes, iconv_name(declared))) return *text;
    }
    if (valid_utf8(bytes)) return std::string(bytes);
    size_t replaced = 0;
    std::string text = replace_bad_utf8(bytes, &replaced);
    *note = std::to_string(replaced) +
            (replaced == 1 ? " byte that is not UTF-8" : " bytes that are not UTF-8") +
            " replaced by U+FFFD";
    return text;
  }
  const std::string& charset = detector.detected();
  const std::string said = is_utf8_name(declared) && !declared.empty()
                               ? "declared UTF-8 but is not; "
                           : declared.empty() ? ""
                                              : "is not " + declared + " as declared; ";
  if (auto text = to_utf8(bytes, charset)) {
    *note = "text " + said + "read as " + charset + " (detected)";
    return *text;
  }
  size_t replaced = 0;
  std::string text = replace_bad_utf8(bytes, &replaced);
  *note = "text " + said + "neither UTF-8 nor " + charset + ": " + std::to_string(replaced) +
          " bytes replaced by U+FFFD";
  return text;
}

}  // namespace vardel::tools::vcard
