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

struct uchardet;

namespace vardel::tools::vcard {

// True when the first bytes of a file without a byte order mark are UTF-16
// (a NUL in every other byte of its ASCII letters); *little_endian says
// which order.
bool looks_utf16(std::string_view head, bool* little_endian);

// The samples are taken in as they come and kept only in pieces of
// kSampleChunk (what the detector is fed at a time), so a file of any size
// is judged in the same small memory. Not thread-safe.
class CharsetDetector {
 public:
  static constexpr size_t kSampleChunk = 64 * 1024;

  CharsetDetector();
  ~CharsetDetector();
  CharsetDetector(const CharsetDetector&) = delete;
  CharsetDetector& operator=(const CharsetDetector&) = delete;

  // True when a value's bytes cannot be read as declared (or as UTF-8 when
  // nothing is declared) and are not UTF-8 with a stray byte or two either:
  // such a value is read in the detected charset.
  static bool needs_detection(std::string_view bytes, const std::string& declared);
  void add_sample(std::string_view bytes);
  // The charset found for the samples ("" when there are none); decided once.
  const std::string& detected();

 private:
  void feed();

  ::uchardet* detector_ = nullptr;  // made with the first sample
  bool detector_failed_ = false;
  std::string pending_;  // samples not yet fed to the detector
  bool any_sample_ = false;
  // Whether every byte above 0x7F of the samples so far pairs up as a
  // GB2312 character, and whether any does.
  bool all_gb_pairs_ = true, any_gb_pair_ = false;
  std::string detected_;
  bool decided_ = false;
};

// A value's text in UTF-8. *note is set when it was not read as declared:
// "read as WINDOWS-1252 (detected)", "2 bytes that are not UTF-8 replaced".
std::string decode_value(std::string_view bytes, const std::string& declared,
                         CharsetDetector& detector, std::string* note);

}  // namespace vardel::tools::vcard
