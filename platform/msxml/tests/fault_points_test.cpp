// The fault switchboard can make each DOM call the program checks fail, so
// the program's own failure paths can be tested against the real DOM; a
// failing call changes nothing.
#include <functional>

#include "platform/msxml/tests/dom_fixture.h"

namespace vardel::msxml::testing {
namespace {

using FaultPointsTest = DomTest;

TEST_F(FaultPointsTest, EachArmedCallFailsWithTheArmedResultAndChangesNothing) {
  const HRESULT armed = E_OUTOFMEMORY;
  auto doc = new_doc();
  ASSERT_TRUE(load_xml(doc.get(), u"<CONTACTS><VCARD><NOTE>n</NOTE></VCARD></CONTACTS>"));
  auto docnode = as_node(doc.get());
  auto card = select(docnode.get(), u"CONTACTS/VCARD");
  auto note = select(card.get(), u"NOTE");
  Ptr<IXMLDOMNodeList> list;
  ASSERT_EQ(docnode->selectNodes(Bstr(u"//VCARD"), list.out()), S_OK);
  write_bytes(host("f.xml"), "<OTHER/>");

  struct Point {
    const char* name;
    std::function<HRESULT()> call;
  };
  TextVariant xpath(u"XPath");
  TextVariant file(u"f.xml");
  TextVariant out(u"out.xml");
  TextVariant value(u"v");
  std::vector<Point> points = {
      {"msxml.setProperty",
       [&] { return doc->setProperty(Bstr(u"SelectionLanguage"), xpath.get()); }},
      {"msxml.put_preserveWhiteSpace", [&] { return doc->put_preserveWhiteSpace(VARIANT_TRUE); }},
      {"msxml.loadXML",
       [&] {
         VARIANT_BOOL ok;
         return doc->loadXML(Bstr(u"<OTHER/>"), &ok);
       }},
      {"msxml.load",
       [&] {
         VARIANT_BOOL ok;
         return doc->load(file.get(), &ok);
       }},
      {"msxml.save", [&] { return doc->save(out.get()); }},
      {"msxml.QueryInterface",
       [&] {
         Ptr<IXMLDOMNode> n;
         return doc->QueryInterface(IID_IXMLDOMNode, reinterpret_cast<void**>(n.out()));
       }},
      {"msxml.createElement",
       [&] {
         Ptr<IXMLDOMElement> e;
         return doc->createElement(Bstr(u"X"), e.out());
       }},
      {"msxml.appendChild",
       [&] {
         Ptr<IXMLDOMElement> e;
         doc->createElement(Bstr(u"X"), e.out());
         return card->appendChild(e.get(), nullptr);
       }},
      {"msxml.setAttribute",
       [&] {
         Ptr<IXMLDOMElement> e;
         card->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(e.out()));
         return e->setAttribute(Bstr(u"A"), value.get());
       }},
      {"msxml.selectSingleNode",
       [&] {
         Ptr<IXMLDOMNode> n;
         return card->selectSingleNode(Bstr(u"NOTE"), n.out());
       }},
      {"msxml.selectNodes",
       [&] {
         Ptr<IXMLDOMNodeList> l;
         return docnode->selectNodes(Bstr(u"//VCARD"), l.out());
       }},
      {"msxml.get_length",
       [&] {
         long n;
         return list->get_length(&n);
       }},
      {"msxml.get_item",
       [&] {
         Ptr<IXMLDOMNode> n;
         return list->get_item(0, n.out());
       }},
      {"msxml.put_text", [&] { return note->put_text(Bstr(u"changed")); }},
      {"msxml.get_text",
       [&] {
         Bstr t;
         return note->get_text(t.out());
       }},
  };
  // Each point fails as armed, and also when the call runs out of memory
  // there (std::bad_alloc thrown inside it comes back as E_OUTOFMEMORY).
  for (bool thrown : {false, true})
    for (auto& p : points) {
      if (thrown)
        fault::arm_out_of_memory(p.name);
      else
        fault::arm(p.name, armed);
      EXPECT_EQ(p.call(), armed) << p.name << (thrown ? " (thrown)" : "");
      EXPECT_GE(p.call(), 0) << p.name << " fails only where armed";
      fault::reset();
      ASSERT_TRUE(load_xml(doc.get(), u"<CONTACTS><VCARD><NOTE>n</NOTE></VCARD></CONTACTS>"));
      card = select(docnode.get(), u"CONTACTS/VCARD");
      note = select(card.get(), u"NOTE");
    }
  // Armed failures leave the document as it was.
  fault::arm("msxml.put_text", armed);
  note->put_text(Bstr(u"changed"));
  fault::arm("msxml.loadXML", armed);
  VARIANT_BOOL ok;
  doc->loadXML(Bstr(u"<OTHER/>"), &ok);
  fault::arm_out_of_memory("msxml.put_text");
  note->put_text(Bstr(u"changed"));
  fault::reset();
  EXPECT_EQ(text_of(select(docnode.get(), u"CONTACTS/VCARD/NOTE").get()), u"n");
}

}  // namespace
}  // namespace vardel::msxml::testing
