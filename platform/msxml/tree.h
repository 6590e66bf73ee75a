// The node tree behind one loaded (or built) document.
//
// Every node the DOM hands out lives in one pugixml document for as long as
// any node object refers to the tree, so a node pointer never dangles: a
// node taken out of the tree (removeChild, or replaced by put_text) is moved
// into the "detached" holder, the last child of the pugixml document, instead
// of being freed. Elements made by createElement start there as well. The
// holder is never saved, never listed as a child and never matched by a
// selection. Loading a new text makes a new tree; node objects of the old one
// keep it alive. Finished records no node object holds may be kept as their
// markup instead of as nodes (see packed_records.h).
//
// White space between top-level nodes (after the prolog's instructions, after
// the root element) is kept as text nodes of the document, which only the
// serialiser and the document's own text ignore or use.
#pragma once

#include <memory>
#include <string>

#include <pugixml.hpp>

#include "platform/msxml/names.h"
#include "platform/msxml/packed_records.h"

namespace vardel::msxml {

class DomDocument;

// Gives the allocator's free memory back to the system when a large tree
// is gone. The allocator keeps what a freed document used for the next
// allocations, so a process that loaded a large file (a restore) would go
// on holding that much through every later job, a backup of the same book
// included. Declared first in Tree, so it runs after every other member has
// been freed.
struct FreedMemory {
  bool large = false;  // set by ~Tree
  FreedMemory() = default;
  FreedMemory(const FreedMemory&) = delete;
  FreedMemory& operator=(const FreedMemory&) = delete;
  ~FreedMemory();
};

struct Tree {
  FreedMemory freed;
  pugi::xml_document doc;
  pugi::xml_node detached;  // last child of doc
  std::string source;       // the text parsed in place; the tree's strings point into it
  Names names;              // its holder is the detached holder's first child
  PinList pins;             // the node objects' nodes
  size_t lists = 0;         // node lists alive
  PackedRecords packed;     // finished records kept as markup

  // While node objects are alive, the tree holds itself and one reference
  // on the document object that made them, on their behalf (see
  // dom_node.cpp): a node object costs a count here instead of two atomic
  // reference counts, and a backup makes millions of them.
  size_t node_objects = 0;
  std::shared_ptr<Tree> held;
  DomDocument* held_doc = nullptr;

  Tree();
  ~Tree();
  Tree(const Tree&) = delete;
  Tree& operator=(const Tree&) = delete;

  // Is n (or one of its ancestors) in the detached holder?
  bool is_detached(pugi::xml_node n) const;
  // Is n (or one of its ancestors) the names' holder? Never handed out.
  bool is_name_holder_part(pugi::xml_node n) const;
  // Is n part of the document the way callers see it: not the holder, not
  // inside it, not the white space between top-level nodes?
  bool is_visible(pugi::xml_node n) const;
};
using TreePtr = std::shared_ptr<Tree>;

// Parses UTF-8 text into a new tree; nothing when the text is malformed or
// refused (see xml_source.h). Without preserve_space, text nodes holding only
// white space are dropped inside the root element.
TreePtr parse_tree(std::string text, bool preserve_space);

// The concatenated character data of n and its descendants, in document
// order (UTF-8). For the document: that of its root element and other
// visible nodes.
void collect_text(const Tree& tree, pugi::xml_node n, std::string& out);

}  // namespace vardel::msxml
