// Reference counts as COM callers expect them: every pointer handed out
// holds one reference, a node keeps its document alive, and no node left in
// a caller's hands ever points at freed memory (checked under ASan).
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/msxml/tests/dom_fixture.h"

namespace vardel::msxml::testing {
namespace {

using LifetimeTest = DomTest;

// The whole document's text, reached from one of its nodes (the document
// itself answers "/").
std::u16string owner_text(IXMLDOMNode* node) {
  Ptr<IXMLDOMNode> owner;
  EXPECT_EQ(node->selectSingleNode(Bstr(u"/"), owner.out()), S_OK);
  Bstr text;
  if (owner) {
    EXPECT_EQ(owner->get_text(text.out()), S_OK);
  }
  return text.str();
}

TEST_F(LifetimeTest, NodesAndListsKeepTheDocumentAlive) {
  IXMLDOMDocument2* doc = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument2,
                             reinterpret_cast<void**>(&doc)),
            S_OK);
  ASSERT_TRUE(load_xml(doc, kContactsTemplate));
  IXMLDOMNode* docnode = nullptr;
  ASSERT_EQ(doc->QueryInterface(IID_IXMLDOMNode, reinterpret_cast<void**>(&docnode)), S_OK);
  EXPECT_EQ(static_cast<void*>(docnode), static_cast<void*>(static_cast<IXMLDOMNode*>(doc)));
  auto root = select(docnode, u"CONTACTS");
  auto card = append(doc, root.get(), u"VCARD");
  Ptr<IXMLDOMNodeList> list;
  ASSERT_EQ(docnode->selectNodes(Bstr(u"//VCARD"), list.out()), S_OK);
  // The program's order of release: document first, nodes later.
  // The caller's, the node objects' (one for root and card together), the
  // list's.
  EXPECT_EQ(docnode->Release(), 1u + 2u);
  EXPECT_EQ(doc->Release(), 2u);
  EXPECT_EQ(card->put_text(Bstr(u"still here")), S_OK);
  Ptr<IXMLDOMNode> item;
  ASSERT_EQ(list->get_item(0, item.out()), S_OK);
  EXPECT_EQ(text_of(item.get()), u"still here");
  EXPECT_NE(owner_text(item.get()).find(u"still here"), std::u16string::npos);
}

TEST_F(LifetimeTest, NodesOutliveReloadsRemovalAndReplacedText) {
  auto doc = new_doc();
  ASSERT_TRUE(load_xml(doc.get(), u"<R><A><B>b</B></A></R>"));
  auto a = select(as_node(doc.get()).get(), u"R/A");
  auto b = select(a.get(), u"B");
  // put_text replaces B's element; the old node stays usable, outside the tree.
  EXPECT_EQ(a->put_text(Bstr(u"new")), S_OK);
  EXPECT_EQ(text_of(b.get()), u"b");
  // A detached node stands alone: nothing above it is selectable.
  Ptr<IXMLDOMNode> parent;
  EXPECT_EQ(b->selectSingleNode(Bstr(u".."), parent.out()), S_FALSE);
  EXPECT_EQ(b->get_parentNode(parent.out()), E_NOTIMPL);
  EXPECT_FALSE(select(as_node(doc.get()).get(), u"//B"));
  // Reloading replaces the tree; nodes of the old one still work.
  ASSERT_TRUE(load_xml(doc.get(), u"<Other/>"));
  EXPECT_EQ(text_of(a.get()), u"new");
  EXPECT_EQ(a->put_text(Bstr(u"x")), S_OK);
  // ...but cannot be moved into the new one.
  auto other = select(as_node(doc.get()).get(), u"Other");
  EXPECT_LT(other->appendChild(a.get(), nullptr), 0);
}

// The node objects of a tree hold the tree and the document together: with
// the document released and two trees' nodes released in any order, each
// tree and the document stay usable until their last node goes.
TEST_F(LifetimeTest, TheLastNodeOfEachTreeLetsGo) {
  auto doc = new_doc();
  ASSERT_TRUE(load_xml(doc.get(), u"<R><A>a</A><B>b</B></R>"));
  auto docnode = as_node(doc.get());
  auto a = select(docnode.get(), u"R/A");
  auto b = select(docnode.get(), u"R/B");
  ASSERT_TRUE(load_xml(doc.get(), u"<S><C>c</C></S>"));
  auto c = select(docnode.get(), u"S/C");
  docnode.reset();
  doc.reset();
  a.reset();  // the node that made the first tree hold itself
  EXPECT_EQ(text_of(b.get()), u"b");
  EXPECT_EQ(b->put_text(Bstr(u"b2")), S_OK);
  b.reset();  // the first tree goes; the second and the document stay
  EXPECT_EQ(text_of(c.get()), u"c");
  EXPECT_EQ(owner_text(c.get()), u"c");  // the document, holding the second tree
  c.reset();  // everything goes (the address sanitizer sees any leak or late use)
}

TEST_F(LifetimeTest, DetachedElementsStayOutOfSelectionsAndTheFile) {
  auto doc = new_doc();
  ASSERT_TRUE(load_xml(doc.get(), kContactsTemplate));
  auto docnode = as_node(doc.get());
  Ptr<IXMLDOMElement> loose;
  ASSERT_EQ(doc->createElement(Bstr(u"VCARD"), loose.out()), S_OK);
  Ptr<IXMLDOMElement> inner;
  ASSERT_EQ(doc->createElement(Bstr(u"NOTE"), inner.out()), S_OK);
  ASSERT_EQ(loose->appendChild(inner.get(), nullptr), S_OK);
  EXPECT_FALSE(select(docnode.get(), u"//VCARD"));
  EXPECT_FALSE(select(docnode.get(), u"//*[2]"));
  // A selection from the detached element itself sees its own subtree.
  EXPECT_TRUE(select(loose.get(), u"NOTE"));
  ASSERT_EQ(save(doc.get(), u"d.xml"), S_OK);
  std::string expected(kContactsTemplate.begin(), kContactsTemplate.end());
  EXPECT_EQ(read_bytes(host("d.xml")), expected);
  // An element cannot go inside itself.
  EXPECT_LT(inner->appendChild(loose.get(), nullptr), 0);
  // Appending moves it; removing takes it out again, still usable.
  auto root = select(docnode.get(), u"CONTACTS");
  ASSERT_EQ(root->appendChild(loose.get(), nullptr), S_OK);
  EXPECT_TRUE(select(docnode.get(), u"CONTACTS/VCARD/NOTE"));
  Ptr<IXMLDOMNode> removed;
  ASSERT_EQ(root->removeChild(loose.get(), removed.out()), S_OK);
  EXPECT_FALSE(select(docnode.get(), u"//VCARD"));
  EXPECT_EQ(inner->put_text(Bstr(u"ok")), S_OK);
}

// The resident memory of the process, in KiB.
long resident_kib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

// A restore frees a document of the whole book and the process goes on to
// other jobs: what the document held goes back to the system with it, not
// only to the allocator's free lists.
TEST_F(LifetimeTest, ALargeDocumentGivesItsMemoryBackWhenItGoes) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizer's allocator keeps freed memory on purpose";
#endif
  const long before = resident_kib();
  ASSERT_GT(before, 0);
  long loaded = 0;
  {
    auto doc = new_doc();
    {
      std::u16string text = u"<CONTACTS>";
      for (int i = 0; i < 100000; ++i)
        text +=
            u"<VCARD TITLE=\"t\"><ADDRESS><FIRST>first name</FIRST><LAST>last</LAST>"
            u"<MOBILE>13900000000</MOBILE></ADDRESS></VCARD>";
      text += u"</CONTACTS>";
      ASSERT_TRUE(load_xml(doc.get(), text));
    }
    loaded = resident_kib();
  }
  const long after = resident_kib();
  ASSERT_GT(loaded - before, 8 * 1024) << "the document is too small to show anything";
  EXPECT_LT(after - before, (loaded - before) / 2)
      << "before " << before << " KiB, loaded " << loaded << " KiB, after " << after << " KiB";
}

}  // namespace
}  // namespace vardel::msxml::testing
