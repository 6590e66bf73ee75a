// Which charset a vCard's text is in. Files say so badly: UTF-16 without a
// byte order mark, CHARSET=UTF-8 over bytes that are not, or no charset at
// all over an old phone's GB2312 or a PC's Windows-1252. The file is first
// turned into 8-bit lines (UTF-16 converted), then each value that is not
// valid in its declared charset, or not UTF-8 when none is declared, is read
// in the one charset a detector (uchardet) finds for all such values of the
// file together: a single name is too short to tell.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vardel::tools::vcard {

// The file's bytes with a UTF-8 byte order mark dropped and UTF-16 (with a
// byte order mark, or told by its NUL bytes) converted to UTF-8; *how says
// which UTF-16 it was ("" for an 8-bit file).
std::string file_to_8bit(std::string_view bytes, std::string* how);

class CharsetDetector {
 public:
  // True when a value's bytes cannot be read as declared (or as UTF-8 when
  // nothing is declared) and are not UTF-8 with a stray byte or two either:
  // such a value is read in the detected charset.
  static bool needs_detection(std::string_view bytes, const std::string& declared);
  void add_sample(std::string_view bytes);
  // The charset found for the samples ("" when there are none); decided once.
  const std::string& detected();

 private:
  std::string sample_;
  std::string detected_;
  bool decided_ = false;
};

// A value's text in UTF-8. *note is set when it was not read as declared:
// "read as WINDOWS-1252 (detected)", "2 bytes that are not UTF-8 replaced".
std::string decode_value(std::string_view bytes, const std::string& declared,
                         CharsetDetector& detector, std::string* note);

}  // namespace vardel::tools::vcard
