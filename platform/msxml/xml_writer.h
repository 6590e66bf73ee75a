// The serialiser behind save: UTF-8 markup that any XML 1.0
// parser reads back to the same texts.
//
// - Element text escapes & < > (so "]]>" cannot appear) and writes a
//   carriage return as &#13;, which a parser would otherwise turn into a
//   line feed. A line feed is written as CR LF, the phone's line break,
//   which every parser reads back as one line feed.
// - Attribute values also escape the double quote, and tab, line feed and
//   carriage return as character references, which attribute-value
//   normalisation would otherwise turn into spaces.
// - A character XML 1.0 cannot carry (C0 controls other than tab, LF and CR,
//   U+FFFE, U+FFFF, bytes that are not UTF-8) is written as U+FFFD.
// - Nothing is indented; the white space kept between top-level nodes is
//   written as it was loaded; the XML declaration names UTF-8 when it names
//   an encoding at all.
//
// Records packed as markup (see packed_records.h) are written as they were
// kept. Iterative, so a deeply nested document cannot exhaust the stack.
#pragma once

#include <functional>
#include <string>

#include "platform/msxml/tree.h"

namespace vardel::msxml {

// The markup of n and its descendants (the whole document for the document
// node) handed to `flush` in pieces of about `chunk` bytes (and the rest at
// the end), so a large document is never held whole. flush takes
// the text and may return false to stop the writing; write_markup then
// returns false too.
using MarkupFlush = std::function<bool(std::string_view)>;
bool write_markup(const Tree& tree, pugi::xml_node n, size_t chunk, const MarkupFlush& flush);

// Appends the markup of element n (no packed records inside) and says
// whether it is exact: parsing it (keeping white-space texts) gives back the
// same nodes. False when a character had to be replaced, or n holds anything
// but elements and texts, an empty text or two texts side by side.
bool write_exact(pugi::xml_node n, std::string& out);

}  // namespace vardel::msxml
