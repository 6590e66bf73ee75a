// Every text and attribute value the program writes must read back the same
// after save and load, and the saved file must be well-formed XML for any
// parser, whatever a contact's fields hold.
#include "platform/msxml/tests/dom_fixture.h"

namespace vardel::msxml::testing {
namespace {

using RoundTripTest = DomTest;

struct Case {
  const char* what;
  std::u16string value;
  std::u16string expected;  // what reads back
};

std::vector<Case> awkward_values() {
  const std::u16string replacement(1, u'\uFFFD');
  return {
      {"carriage return alone", u"a\rb", u"a\rb"},
      {"CR LF pair", u"line1\r\nline2", u"line1\r\nline2"},
      {"line feed", u"line1\nline2\n", u"line1\nline2\n"},
      {"tabs", u"\ta\t\tb\t", u"\ta\t\tb\t"},
      {"leading and trailing spaces", u"   padded  ", u"   padded  "},
      {"white space only", u" \t\r\n ", u" \t\r\n "},
      {"markup characters", u"a & b < c > d ]]> e", u"a & b < c > d ]]> e"},
      {"quotes", u"say \"hi\" it's", u"say \"hi\" it's"},
      {"references as text", u"&amp; &#13; &lt;", u"&amp; &#13; &lt;"},
      {"Chinese", u"张三 通讯录", u"张三 通讯录"},
      {"non-BMP", u"\U0001F600 \U00020000", u"\U0001F600 \U00020000"},
      {"C0 controls",
       u"a\x01"
       u"b\x1F"
       u"c\x0B",
       u"a" + replacement + u"b" + replacement + u"c" + replacement},
      {"lone high surrogate", std::u16string(u"x") + char16_t(0xD83D) + u"y",
       u"x" + replacement + u"y"},
      {"lone low surrogate", std::u16string(u"x") + char16_t(0xDE00), u"x" + replacement},
      {"U+FFFE and U+FFFF", std::u16string(u"a") + char16_t(0xFFFE) + char16_t(0xFFFF),
       u"a" + replacement + replacement},
      {"U+FFFD itself", replacement, replacement},
  };
}

TEST_F(RoundTripTest, TextsAndAttributesReadBackIdenticalAndTheFileIsWellFormed) {
  auto doc = new_doc();
  ASSERT_TRUE(load_xml(doc.get(), kContactsTemplate));
  auto root = select(as_node(doc.get()).get(), u"CONTACTS");
  auto cases = awkward_values();
  for (const Case& c : cases) {
    auto card = append(doc.get(), root.get(), u"VCARD");
    EXPECT_EQ(set_attr(card.get(), u"TITLE", c.value), S_OK) << c.what;
    auto note = append(doc.get(), card.get(), u"NOTE");
    EXPECT_EQ(note->put_text(Bstr(c.value)), S_OK) << c.what;
  }
  ASSERT_EQ(save(doc.get(), u"\\rt.xml"), S_OK);
  EXPECT_TRUE(well_formed(host("rt.xml")));

  auto back = new_doc();
  ASSERT_TRUE(load(back.get(), u"\\rt.xml"));
  auto cards = select_all(as_node(back.get()).get(), u"//CONTACTS/VCARD");
  ASSERT_TRUE(cards);
  ASSERT_EQ(static_cast<size_t>(length_of(cards.get())), cases.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    Ptr<IXMLDOMNode> card;
    ASSERT_EQ(cards->get_item(static_cast<long>(i), card.out()), S_OK);
    EXPECT_EQ(attr(card.get(), u"TITLE"), cases[i].expected) << cases[i].what;
    EXPECT_EQ(text_of(select(card.get(), u"NOTE").get()), cases[i].expected) << cases[i].what;
  }
  // Saving what was read changes nothing.
  ASSERT_EQ(save(back.get(), u"\\rt2.xml"), S_OK);
  EXPECT_EQ(read_bytes(host("rt2.xml")), read_bytes(host("rt.xml")));
}

// Files written by other tools may hold what ours never writes: CDATA,
// comments, character references, a UTF-16 byte order mark.
TEST_F(RoundTripTest, ForeignConstructsSurviveLoadAndSave) {
  const std::string file =
      "<?xml version='1.0' encoding='utf-8'?>\n<!-- made elsewhere -->\n"
      "<CONTACTS><VCARD TITLE='a&#9;b&#10;c'><NOTE><![CDATA[<x> & ]]>&#x1F600;&#13;</NOTE>"
      "<?app data?></VCARD></CONTACTS>\n<!-- end -->";
  write_bytes(host("in.xml"), file);
  auto doc = new_doc();
  ASSERT_TRUE(load(doc.get(), u"in.xml"));
  auto card = select(as_node(doc.get()).get(), u"CONTACTS/VCARD");
  EXPECT_EQ(attr(card.get(), u"TITLE"), u"a\tb\nc");
  EXPECT_EQ(text_of(select(card.get(), u"NOTE").get()), u"<x> & \U0001F600\r");
  ASSERT_EQ(save(doc.get(), u"out.xml"), S_OK);
  EXPECT_EQ(
      read_bytes(host("out.xml")),
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- made elsewhere -->\n"
      "<CONTACTS><VCARD TITLE=\"a&#9;b&#10;c\"><NOTE><![CDATA[<x> & ]]>\xF0\x9F\x98\x80&#13;</NOTE>"
      "<?app data?></VCARD></CONTACTS>\n<!-- end -->");
  EXPECT_TRUE(well_formed(host("out.xml")));

  // The same document in UTF-16 with a byte order mark.
  std::u16string wide = u"\uFEFF<?xml version=\"1.0\" encoding=\"UTF-16\"?><R>张</R>";
  write_bytes(host("wide.xml"),
              std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2));
  ASSERT_TRUE(load(doc.get(), u"wide.xml"));
  EXPECT_EQ(text_of(select(as_node(doc.get()).get(), u"R").get()), u"张");
  // Text read from such a file keeps its mark when handed over as a string.
  ASSERT_TRUE(load_xml(doc.get(), wide));
  EXPECT_EQ(text_of(select(as_node(doc.get()).get(), u"R").get()), u"张");
}

}  // namespace
}  // namespace vardel::msxml::testing
