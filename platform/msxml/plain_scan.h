// A quick proof that a plain document is well-formed, for reading a saved
// file back.
//
// The files the program writes use a small part of XML: a declaration, a
// style sheet instruction, elements with attributes, texts with the five
// named references and character references, all in UTF-8. This scan checks
// such a document a few times faster than a general parser, and counts its
// records (the elements directly inside the root) as it goes.
//
// It only ever proves: "well-formed, with this root and this many records".
// Anything outside that part of XML (a comment, CDATA, a document type
// declaration, a namespace prefix, a name outside ASCII, another encoding,
// a reference to an entity) and anything it finds wrong makes it give up,
// and the caller asks libxml2, which is the judge and names the fault. So a
// file that is not well-formed is never proved, and an unusual one that is
// costs one more read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vardel::msxml {

class PlainScan {
 public:
  // Takes the document's next bytes. False once the scan has given up; it
  // then stays given up.
  bool feed(std::string_view bytes);
  // True when the bytes fed, all of them, form a well-formed document.
  bool finish() const;
  bool gave_up() const { return state_ == State::kGaveUp; }
  const std::string& root() const { return root_; }
  size_t records() const { return records_; }

 private:
  enum class State : uint8_t {
    kStart,        // the first bytes: is there a declaration?
    kDeclaration,  // inside <?xml ... ?> at the start
    kMisc,         // between markup outside the root (before or after it)
    kLess,         // after '<'
    kStartName,
    kInTag,  // after whitespace inside a start tag
    kAttrName,
    kBeforeEquals,
    kBeforeValue,
    kValue,
    kAfterValue,
    kEmptyEnd,  // after '/' in a start tag
    kContent,
    kEndName,
    kEndSpace,
    kPiTarget,
    kPiBody,
    kPiQuestion,  // after '?' in an instruction's body
    kPiEnd,       // after '?' right behind the target
    kReference,   // after '&'
    kUtf8,        // inside a character cut by the end of what was fed
    kGaveUp,
  };

  void give_up() { state_ = State::kGaveUp; }
  void scan(const uint8_t* p, const uint8_t* end);
  void start_declaration_or_replay();
  bool declaration_is_plain() const;
  void open_element();
  void close_element();
  void close_named();
  bool attribute_is_new();
  bool reference_is_plain() const;
  State after_markup() const { return depth_ > 0 ? State::kContent : State::kMisc; }

  State state_ = State::kStart;
  State back_ = State::kMisc;  // where a reference or a cut character returns
  std::string start_;          // the first bytes, or the declaration
  std::string name_;           // the name being read
  std::string reference_;
  uint8_t utf8_[4] = {};
  uint8_t utf8_have_ = 0;
  uint8_t utf8_need_ = 0;
  uint8_t quote_ = 0;
  uint8_t brackets_ = 0;  // ']' just before in a text: "]]>" may not appear
  size_t run_ = 0;        // bytes of the text or value being read
  std::string open_;      // the open elements' names, one after another
  std::vector<uint32_t> open_starts_;
  std::vector<std::string> attributes_;  // of the start tag being read
  size_t attribute_count_ = 0;
  size_t depth_ = 0;
  std::string root_;
  size_t records_ = 0;
};

}  // namespace vardel::msxml
