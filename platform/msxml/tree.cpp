// The node tree of one document (see tree.h).
#include "platform/msxml/tree.h"

#include <dlfcn.h>
#include <malloc.h>

#include "platform/msxml/text.h"
#include "platform/msxml/xml_source.h"

namespace vardel::msxml {

namespace {
// Not a name XPath can spell, so no name test matches the holder.
constexpr const char* kDetachedName = "#detached";
}  // namespace

Tree::Tree() {
  detached = doc.append_child(kDetachedName);
  names.attach(detached);
}

// A tree whose text or kept records came to this much is worth handing its
// memory back for; a small one is not worth the system calls.
constexpr size_t kLargeTree = 8u << 20;

Tree::~Tree() {
  size_t bytes = source.size();
  for (const auto& [placeholder, run] : packed.runs) bytes += run.size();
  freed.large = bytes >= kLargeTree;
}

FreedMemory::~FreedMemory() {
  if (!large) return;
  // tcmalloc, when the program runs with it, keeps freed pages in its own
  // lists; otherwise the C library's allocator trims its heap.
  using Release = void (*)();
  static const auto release =
      reinterpret_cast<Release>(dlsym(RTLD_DEFAULT, "MallocExtension_ReleaseFreeMemory"));
  if (release)
    release();
  else
    malloc_trim(0);
}

bool Tree::is_detached(pugi::xml_node n) const {
  for (; n; n = n.parent())
    if (n == detached) return true;
  return false;
}

bool Tree::is_name_holder_part(pugi::xml_node n) const {
  for (; n && n != detached; n = n.parent())
    if (n == names.holder()) return true;
  return false;
}

bool Tree::is_visible(pugi::xml_node n) const {
  if (!n) return false;
  if (n.type() == pugi::node_pcdata && n.parent() == doc) return false;
  // Nothing detached but the names' holder: the common case.
  pugi::xml_node first = detached.first_child();
  // The holder's prototypes are its children and have none of their own.
  if (!first || (first == names.holder() && !first.next_sibling()))
    return n != detached && n != first && n.parent() != first;
  return !is_detached(n);
}

TreePtr parse_tree(std::string text, bool preserve_space) {
  auto layout = check_and_scan(text);
  if (!layout) return nullptr;
  auto tree = std::make_shared<Tree>();
  tree->source = std::move(text);
  unsigned flags = pugi::parse_default | pugi::parse_declaration | pugi::parse_pi |
                   pugi::parse_comments | pugi::parse_doctype;
  if (preserve_space) flags |= pugi::parse_ws_pcdata;
  // Parsing replaces the document's children, the holder included.
  pugi::xml_parse_result r = tree->doc.load_buffer_inplace(tree->source.data(), tree->source.size(),
                                                           flags, pugi::encoding_utf8);
  if (!r) return nullptr;
  // Top-level character data would be text outside the root element; white
  // space there is measured by check_and_scan, so any the parser kept goes.
  for (pugi::xml_node n = tree->doc.first_child(); n;) {
    pugi::xml_node next = n.next_sibling();
    if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata) {
      for (const char* p = n.value(); *p; ++p)
        if (!is_xml_space(*p)) return nullptr;
      tree->doc.remove_child(n);
    }
    n = next;
  }
  size_t count = 0;
  bool has_root = false;
  for (pugi::xml_node n : tree->doc.children()) {
    if (n.type() == pugi::node_doctype) return nullptr;
    if (n.type() == pugi::node_element) {
      if (has_root) return nullptr;
      has_root = true;
    }
    ++count;
  }
  if (!has_root) return nullptr;
  // Put back the white space the parser drops between top-level nodes. When
  // the measured layout does not match the parsed nodes (an instruction
  // holding "<?" after the root, say) the spacing is simply not kept.
  if (layout->before.size() == count) {
    size_t i = 0;
    for (pugi::xml_node n = tree->doc.first_child(); n; n = n.next_sibling(), ++i) {
      const std::string& space = layout->before[i];
      if (!space.empty())
        tree->doc.insert_child_before(pugi::node_pcdata, n).set_value(space.c_str());
    }
    if (!layout->trailing.empty())
      tree->doc.append_child(pugi::node_pcdata).set_value(layout->trailing.c_str());
  }
  tree->detached = tree->doc.append_child(kDetachedName);
  tree->names.attach(tree->detached);
  return tree;
}

void collect_text(const Tree& tree, pugi::xml_node n, std::string& out) {
  if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata) {
    out += n.value();
    return;
  }
  if (n.type() != pugi::node_element && n.type() != pugi::node_document) return;
  // Iterative walk: deep trees must not exhaust the stack.
  pugi::xml_node cur = n.first_child();
  while (cur) {
    bool skip = cur.parent() == n && n.type() == pugi::node_document && !tree.is_visible(cur);
    if (!skip && (cur.type() == pugi::node_pcdata || cur.type() == pugi::node_cdata))
      out += cur.value();
    if (!skip && cur.first_child()) {
      cur = cur.first_child();
      continue;
    }
    while (cur && !cur.next_sibling()) {
      cur = cur.parent();
      if (cur == n) return;
    }
    if (cur) cur = cur.next_sibling();
  }
}

}  // namespace vardel::msxml
