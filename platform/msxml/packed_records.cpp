// Packing finished records into their markup (see packed_records.h).
#include "platform/msxml/packed_records.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/core/fault.h"
#include "platform/msxml/tree.h"
#include "platform/msxml/xml_writer.h"

namespace vardel::msxml {

namespace {

// Records appended between two packings: few enough that the nodes waiting
// cost little, enough that looking through the node objects is rare.
constexpr size_t kBatch = 64;
// With more node objects alive than this the caller is reading the tree, not
// building it: don't look through them.
constexpr size_t kMaxPins = 4096;
// Not a name XPath can spell; never handed out anyway (reads unpack first).
constexpr const char* kPlaceholderName = "#packed";
constexpr const char* kUnpackName = "#unpack";

bool is_placeholder(const Tree& tree, pugi::xml_node n) {
  return n.type() == pugi::node_pi && !tree.packed.runs.empty() &&
         tree.packed.runs.count(n.internal_object()) != 0;
}

// Is a an ancestor of n, or n itself?
bool covers(pugi::xml_node a, pugi::xml_node n) {
  for (; n; n = n.parent())
    if (n == a) return true;
  return false;
}

// A selection made only of names, "/", "//", "*" and "@" that does not start
// at the root finds nothing but nodes below where it starts.
bool stays_below(std::u16string_view query) {
  if (query.empty() || query.front() == u'/') return false;
  return std::all_of(query.begin(), query.end(), [](char16_t c) {
    return c >= 0x80 || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
           (c >= u'0' && c <= u'9') || c == u'_' || c == u'-' || c == u'/' || c == u'*' ||
           c == u'@';
  });
}

void pack(Tree& tree, pugi::xml_node parent) {
  PackedRecords& packed = tree.packed;
  if (packed.unpacked || tree.lists != 0 || tree.pins.size() > kMaxPins) return;
  if (!packed.runs.empty() && packed.parent != parent) return;
  // The records that node objects hold on to.
  std::vector<pugi::xml_node_struct*> held;
  tree.pins.for_each([&](pugi::xml_node n) {
    while (n && n.parent() != parent) n = n.parent();
    if (n) held.push_back(n.internal_object());
  });
  // Only what was not decided on before is looked at: what follows the last
  // run or the last record left as nodes, from the first record held then.
  pugi::xml_node first;
  for (pugi::xml_node c = parent.last_child(); c && !is_placeholder(tree, c);
       c = c.previous_sibling()) {
    if (c == packed.resume) {
      first = packed.resume_held ? c : c.next_sibling();
      break;
    }
    first = c;
  }
  packed.resume = pugi::xml_node();
  packed.resume_held = false;
  thread_local std::string markup;
  for (pugi::xml_node x = first; x;) {
    pugi::xml_node next = x.next_sibling();
    const bool is_held = std::find(held.begin(), held.end(), x.internal_object()) != held.end();
    markup.clear();
    if (is_held) {
      if (!packed.resume_held) {
        packed.resume = x;
        packed.resume_held = true;
      }
    } else if (!write_exact(x, markup)) {
      if (!packed.resume_held) packed.resume = x;
    } else {
      pugi::xml_node placeholder = x.previous_sibling();
      if (!is_placeholder(tree, placeholder)) {
        placeholder = parent.insert_child_before(pugi::node_pi, x);
        if (!placeholder || !placeholder.set_name(kPlaceholderName)) {
          if (placeholder) parent.remove_child(placeholder);
          return;  // out of memory: the records simply stay nodes
        }
        packed.runs[placeholder.internal_object()];
        packed.parent = parent;
      }
      PackedRun& run = packed.runs[placeholder.internal_object()];
      run.append(markup);
      ++run.records;
      parent.remove_child(x);
      ++packed.records;
    }
    x = next;
  }
  if (markup.capacity() > (1u << 20)) std::string().swap(markup);
}

}  // namespace

void PackedRun::Free::operator()(char* p) const { std::free(p); }

void PackedRun::append(std::string_view bytes) {
  while (!bytes.empty()) {
    if (pieces_.empty() || pieces_.back().size == pieces_.back().capacity) {
      const size_t capacity =
          pieces_.empty() ? kFirstPiece : std::min(kLargePiece, 2 * pieces_.back().capacity);
      Piece piece;
      piece.data.reset(static_cast<char*>(std::malloc(capacity)));
      if (!piece.data) throw std::bad_alloc();
      piece.capacity = capacity;
      pieces_.push_back(std::move(piece));
    }
    Piece& last = pieces_.back();
    const size_t n = std::min(bytes.size(), last.capacity - last.size);
    std::memcpy(last.data.get() + last.size, bytes.data(), n);
    last.size += n;
    size_ += n;
    bytes.remove_prefix(n);
  }
}

const PackedRun* packed_run(const Tree& tree, pugi::xml_node n) {
  if (n.type() != pugi::node_pi || tree.packed.runs.empty()) return nullptr;
  auto it = tree.packed.runs.find(n.internal_object());
  return it == tree.packed.runs.end() ? nullptr : &it->second;
}

void note_append(Tree& tree, pugi::xml_node parent) {
  if (parent.type() != pugi::node_element || parent.parent() != tree.doc) return;
  if (++tree.packed.appends < kBatch) return;
  tree.packed.appends = 0;
  pack(tree, parent);
}

void unpack_all(Tree& tree) {
  PackedRecords& packed = tree.packed;
  if (packed.runs.empty()) return;
  packed.unpacked = true;
  pugi::xml_node parent = packed.parent;
  std::string markup;
  for (pugi::xml_node c = parent.first_child(); c;) {
    pugi::xml_node next = c.next_sibling();
    auto it = c.type() == pugi::node_pi ? packed.runs.find(c.internal_object()) : packed.runs.end();
    if (it != packed.runs.end()) {
      markup.clear();
      markup.reserve(it->second.size());
      it->second.each_piece([&](std::string_view piece) {
        markup += piece;
        return true;
      });
      // Parsed into a scratch element, then moved into place. The parser
      // keeps its own copy of the text, which the new nodes point into.
      pugi::xml_node scratch = FAILED(fault::check("msxml.unpack"))
                                   ? pugi::xml_node()
                                   : tree.detached.append_child(kUnpackName);
      pugi::xml_parse_result r =
          scratch ? scratch.append_buffer(markup.data(), markup.size(),
                                          pugi::parse_default | pugi::parse_ws_pcdata,
                                          pugi::encoding_utf8)
                  : pugi::xml_parse_result();
      if (r) {
        while (pugi::xml_node k = scratch.first_child()) parent.insert_move_before(k, c);
        packed.runs.erase(it);
        parent.remove_child(c);
      }
      // A run that can't be parsed back (out of memory) stays packed: the
      // save still writes it, and the read that needed it fails below
      // instead of answering without its records.
      if (scratch) tree.detached.remove_child(scratch);
    }
    c = next;
  }
  if (!packed.runs.empty()) throw std::bad_alloc();
}

void unpack_below(Tree& tree, pugi::xml_node n) {
  if (tree.packed.runs.empty()) return;
  // The usual case, a selection from a record being built, is answered
  // first: a child of the runs' parent holds no run.
  if (n.parent() != tree.packed.parent && covers(n, tree.packed.parent)) unpack_all(tree);
}

void unpack_children(Tree& tree, pugi::xml_node n) {
  if (!tree.packed.runs.empty() && n == tree.packed.parent) unpack_all(tree);
}

void unpack_siblings(Tree& tree, pugi::xml_node n) {
  if (!tree.packed.runs.empty() && n.parent() == tree.packed.parent) unpack_all(tree);
}

void unpack_for_query(Tree& tree, pugi::xml_node n, std::u16string_view query) {
  if (tree.packed.runs.empty()) return;
  if (!stays_below(query)) return unpack_all(tree);
  // The usual case, a selection from a record being built, is answered
  // first: a child of the runs' parent holds no run.
  if (n.parent() != tree.packed.parent && covers(n, tree.packed.parent)) unpack_all(tree);
}

}  // namespace vardel::msxml
