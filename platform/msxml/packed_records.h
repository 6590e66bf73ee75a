// Finished records kept as their markup instead of as nodes.
//
// A backup appends hundreds of thousands of records to the root element and
// reads none of them back before the save. As nodes, each record costs about
// twice its saved size; as the bytes the save would write for it, once. So
// once a record has been appended to the root element and no node object
// refers to it or into it any more, it may be packed: its markup goes into a
// run of bytes held beside the tree, a placeholder node stands where the run
// begins, and the record's nodes are freed. Records packed one after another
// share one run and one placeholder.
//
// The save writes a run's bytes as they are: they are the very bytes it would
// have written for the nodes. Everything else that would see the records
// (navigation among the root's children, a selection that could reach them,
// the text of the root or the document, ...) first unpacks every run: the
// markup is parsed back into the same nodes, at the same places. A tree that
// was unpacked keeps its nodes from then on, so a caller that reads the tree
// as it builds it never pays twice.
//
// Only what reads back exactly is packed: elements with their attributes and
// non-empty text, where the markup holds no replaced character. While a node
// list is alive nothing is packed (a list holds nodes without node objects).
//
// Belongs to the tree's thread, like the tree.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <pugixml.hpp>

namespace vardel::msxml {

struct Tree;

// A node object's hold on a tree node: while it is listed, the record that
// holds the node is not packed.
struct Pin {
  pugi::xml_node node;
  Pin* prev = nullptr;
  Pin* next = nullptr;
};

class PinList {
 public:
  PinList() { head_.prev = head_.next = &head_; }
  PinList(const PinList&) = delete;
  PinList& operator=(const PinList&) = delete;

  void add(Pin& p) {
    p.next = &head_;
    p.prev = head_.prev;
    head_.prev->next = &p;
    head_.prev = &p;
    ++count_;
  }
  void remove(Pin& p) {
    p.prev->next = p.next;
    p.next->prev = p.prev;
    p.prev = p.next = nullptr;
    --count_;
  }
  size_t size() const { return count_; }
  template <class F>
  void for_each(F&& f) const {
    for (const Pin* p = head_.next; p != &head_; p = p->next) f(p->node);
  }

 private:
  Pin head_;
  size_t count_ = 0;
};

// The bytes of records packed one after another, in pieces so that a
// growing run is never copied whole. The pieces grow from 64 KiB to 2 MiB.
// They are plain pages: large pages were cheaper to fill only where the
// system had them at hand, and where it must first make them (a virtual
// machine's fresh memory) filling a million messages' 254 MiB took half a
// second more than with plain pages.
class PackedRun {
 public:
  static constexpr size_t kFirstPiece = 64 * 1024;
  static constexpr size_t kLargePiece = 2 * 1024 * 1024;
  // Throws std::bad_alloc when a piece can't be had; the bytes held stay.
  void append(std::string_view bytes);
  // f(std::string_view) for each piece in order, until it returns false.
  template <class F>
  bool each_piece(F&& f) const {
    for (const Piece& p : pieces_)
      if (!f(std::string_view(p.data.get(), p.size))) return false;
    return true;
  }
  size_t size() const { return size_; }
  size_t records = 0;  // how many records the bytes hold

 private:
  struct Free {
    void operator()(char* p) const;
  };
  struct Piece {
    std::unique_ptr<char[], Free> data;
    size_t size = 0;
    size_t capacity = 0;
  };
  std::vector<Piece> pieces_;
  size_t size_ = 0;
};

struct PackedRecords {
  pugi::xml_node parent;  // the element whose children the runs stand among
  std::unordered_map<pugi::xml_node_struct*, PackedRun> runs;  // by placeholder
  size_t appends = 0;  // records appended since the last packing
  // Where the next packing starts looking: the first record held at the
  // last (resume_held), else the last record it left as nodes.
  pugi::xml_node resume;
  bool resume_held = false;
  bool unpacked = false;  // the tree was read back whole: pack no more
  size_t records = 0;     // records packed in all (for tests and benchmarks)
};

// The run a placeholder stands for, else null.
const PackedRun* packed_run(const Tree& tree, pugi::xml_node n);

// Called after a node was appended to parent: every so many records
// appended to the root element, packs those that can be.
void note_append(Tree& tree, pugi::xml_node parent);

// Unpacking before a read. Each unpacks every run when the read could meet
// a packed record, and does nothing otherwise.
// - the subtree of n is read (its text, its markup replaced, ...)
void unpack_below(Tree& tree, pugi::xml_node n);
// - n's children are listed or walked
void unpack_children(Tree& tree, pugi::xml_node n);
// - n's siblings are walked
void unpack_siblings(Tree& tree, pugi::xml_node n);
// - the selection `query` is evaluated from n
void unpack_for_query(Tree& tree, pugi::xml_node n, std::u16string_view query);
// - anything may be read
// A run that can't be parsed back (out of memory; fault point "msxml.unpack")
// stays packed and the call throws std::bad_alloc, so the read fails with
// E_OUTOFMEMORY instead of answering without those records.
void unpack_all(Tree& tree);

}  // namespace vardel::msxml
