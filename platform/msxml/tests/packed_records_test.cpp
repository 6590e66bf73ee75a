// Finished records of a document being built are kept as their markup; every
// way of reading the tree must still see exactly the records that were
// built, and the saved file must not change by a byte.
//
// Each test builds the same document twice: once as a backup does (records
// get packed) and once with a node list held open, which keeps every record
// as nodes. The second is the reference.
#include <string>
#include <vector>

#include "platform/msxml/dom_document.h"
#include "platform/msxml/packed_records.h"
#include "platform/msxml/tests/dom_fixture.h"

namespace vardel::msxml::testing {
namespace {

constexpr int kRecords = 300;  // several packing rounds

// Values that test the markup's escapes on the way back.
std::u16string value(int i) {
  static const std::u16string kValues[] = {
      u"plain",
      u"line1\nline2",
      u"cr\ralone",
      u"crlf\r\npair",
      u"\ttabs\t",
      u"  ",
      u"a & b < c > d ]]> e \"q\" 'a'",
      u"短信：明天见 \U0001F600",
      u"",
      u"\uFFFD itself",
  };
  return kValues[i % 10];
}

class PackedRecordsTest : public DomTest {
 protected:
  struct Built {
    Ptr<IXMLDOMDocument2> doc;
    Ptr<IXMLDOMNode> root;
  };

  // A messages-like document of `count` records; with `keep_nodes` a node
  // list is held while building, so nothing is packed.
  Built build(int count = kRecords, bool keep_nodes = false) {
    Built b;
    b.doc = new_doc();
    EXPECT_TRUE(load_xml(b.doc.get(), kMessagesTemplate));
    b.root = select(as_node(b.doc.get()).get(), u"CONTACTS");
    Ptr<IXMLDOMNodeList> hold;
    if (keep_nodes) hold = hold_nodes(b);
    for (int i = 0; i < count; ++i) add_record(b, i);
    return b;
  }
  // Appends record i; its element comes back.
  Ptr<IXMLDOMNode> add_record(Built& b, int i) {
    auto card = append(b.doc.get(), b.root.get(), u"VCARD");
    EXPECT_EQ(set_attr(card.get(), u"Owner", u" "), S_OK);
    EXPECT_EQ(set_attr(card.get(), u"TYPE", u"WinMobile"), S_OK);
    EXPECT_EQ(set_attr(card.get(), u"CONTACTS", value(i + 3)), S_OK);
    auto message = append(b.doc.get(), card.get(), u"MESSAGE");
    EXPECT_EQ(set_attr(message.get(), u"Date", u"2009-1-" + value(i)), S_OK);
    auto text = append(b.doc.get(), message.get(), u"TEXT");
    EXPECT_EQ(text->put_text(Bstr(value(i))), S_OK);
    return card;
  }
  static size_t packed(IXMLDOMDocument2* doc) {
    return dynamic_cast<DomDocument*>(doc)->tree()->packed.records;
  }
  static size_t runs(IXMLDOMDocument2* doc) {
    return dynamic_cast<DomDocument*>(doc)->tree()->packed.runs.size();
  }
  // A node list held open: while it lives, nothing of the tree is packed.
  static Ptr<IXMLDOMNodeList> hold_nodes(const Built& b) {
    return select_all(b.root.get(), u"node()");
  }
  std::string saved(IXMLDOMDocument2* doc, const std::string& name) {
    EXPECT_EQ(save(doc, std::u16string(name.begin(), name.end())), S_OK);
    return read_bytes(host(name));
  }
  // Every record's attributes and text, read by walking the root's children.
  static std::vector<std::u16string> walk(IXMLDOMNode* root) {
    std::vector<std::u16string> seen;
    Ptr<IXMLDOMNode> cur;
    EXPECT_EQ(root->get_firstChild(cur.out()), S_OK);
    while (cur) {
      DOMNodeType type = NODE_INVALID;
      cur->get_nodeType(&type);
      if (type == NODE_ELEMENT)
        seen.push_back(attr(cur.get(), u"CONTACTS") + u"|" +
                       text_of(select(cur.get(), u"MESSAGE/TEXT").get()));
      Ptr<IXMLDOMNode> next;
      EXPECT_GE(cur->get_nextSibling(next.out()), 0);
      cur = std::move(next);
    }
    return seen;
  }
};

TEST_F(PackedRecordsTest, SavedFileIsByteForByteTheSameAndRecordsAreActuallyPacked) {
  auto packed_doc = build();
  auto reference = build(kRecords, true);
  ASSERT_GT(packed(packed_doc.doc.get()), size_t(kRecords / 2));
  EXPECT_EQ(runs(packed_doc.doc.get()), 1u);  // one run, however many records
  EXPECT_EQ(packed(reference.doc.get()), 0u);
  const std::string file = saved(packed_doc.doc.get(), "packed.xml");
  EXPECT_EQ(file, saved(reference.doc.get(), "reference.xml"));
  EXPECT_TRUE(well_formed(host("packed.xml")));
  // Saving twice, and saving after a read brought the records back, write
  // the same bytes.
  EXPECT_EQ(saved(packed_doc.doc.get(), "again.xml"), file);
  EXPECT_EQ(walk(packed_doc.root.get()).size(), size_t(kRecords));
  EXPECT_EQ(runs(packed_doc.doc.get()), 0u);
  EXPECT_EQ(saved(packed_doc.doc.get(), "unpacked.xml"), file);
}

// Records that can't be brought back for a read (no memory) fail the read
// instead of being left out of its answer; they stay packed, the next read
// finds them all and the save still writes them.
TEST_F(PackedRecordsTest, ARecordThatCanNotBeBroughtBackFailsTheReadInsteadOfMissingFromIt) {
  auto b = build();
  auto reference = build(kRecords, true);
  ASSERT_GT(packed(b.doc.get()), 0u);
  {
    vardel::fault::Scope faults;
    vardel::fault::arm("msxml.unpack", E_OUTOFMEMORY);
    Ptr<IXMLDOMNodeList> list;
    EXPECT_EQ(b.root->selectNodes(Bstr(u"node()"), list.out()), E_OUTOFMEMORY);
    EXPECT_EQ(list.get(), nullptr);
  }
  EXPECT_EQ(saved(b.doc.get(), "after-failure.xml"), saved(reference.doc.get(), "reference.xml"));
  EXPECT_EQ(walk(b.root.get()).size(), size_t(kRecords));
  EXPECT_EQ(runs(b.doc.get()), 0u);
}

TEST_F(PackedRecordsTest, EveryReadSeesTheRecordsAsBuilt) {
  auto reference = build(kRecords, true);
  const auto expected = walk(reference.root.get());
  ASSERT_EQ(expected.size(), size_t(kRecords));

  {  // navigation from the first child on
    auto b = build();
    ASSERT_GT(packed(b.doc.get()), 0u);
    EXPECT_EQ(walk(b.root.get()), expected);
  }
  {  // navigation backwards is not offered, and reads no run
    auto b = build();
    Ptr<IXMLDOMNode> cur;
    EXPECT_EQ(b.root->get_lastChild(cur.out()), E_NOTIMPL);
    EXPECT_EQ(cur.get(), nullptr);
    EXPECT_GT(runs(b.doc.get()), 0u);
    auto first = select(b.root.get(), u"VCARD");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->get_previousSibling(cur.out()), E_NOTIMPL);
  }
  {  // a selection from the document, and one from the root
    auto b = build();
    auto all = select_all(as_node(b.doc.get()).get(), u"//CONTACTS/VCARD");
    ASSERT_TRUE(all);
    EXPECT_EQ(length_of(all.get()), kRecords);
    auto b2 = build();
    auto last = select(b2.root.get(), u"VCARD[last()]/MESSAGE/TEXT");
    ASSERT_TRUE(last);
    EXPECT_EQ(text_of(last.get()), value(kRecords - 1));
    auto b3 = build();
    auto first = select(b3.root.get(), u"VCARD");
    ASSERT_TRUE(first);
    EXPECT_EQ(attr(first.get(), u"CONTACTS"), value(3));
  }
  {  // the children as a list, and by name over the whole document
    auto b = build();
    auto children = select_all(b.root.get(), u"node()");
    ASSERT_TRUE(children);
    EXPECT_EQ(length_of(children.get()), kRecords + 1);  // and the template's line break
    Ptr<IXMLDOMNodeList> stubbed;
    EXPECT_EQ(b.root->get_childNodes(stubbed.out()), E_NOTIMPL);
    auto b2 = build();
    auto texts = select_all(as_node(b2.doc.get()).get(), u"//TEXT");
    ASSERT_TRUE(texts);
    EXPECT_EQ(length_of(texts.get()), kRecords);
    EXPECT_EQ(b2.doc->getElementsByTagName(Bstr(u"TEXT"), stubbed.out()), E_NOTIMPL);
  }
  {  // the text of the root and of the document
    auto b = build();
    EXPECT_EQ(text_of(b.root.get()), text_of(reference.root.get()));
    auto b2 = build();
    EXPECT_EQ(text_of(as_node(b2.doc.get()).get()), text_of(as_node(reference.doc.get()).get()));
  }
}

TEST_F(PackedRecordsTest, ChangesAfterPackingLandWhereTheyWouldWithoutIt) {
  // A record held from its making is taken out among packed ones, as a
  // backup takes out a record it could not finish; then one is found and
  // taken out, which reads the tree back.
  Built b = build(0), reference = build(0, true);
  auto keep = hold_nodes(reference);  // the reference keeps its nodes
  ASSERT_TRUE(keep);
  Ptr<IXMLDOMNode> held, held_reference;
  for (int i = 0; i < kRecords; ++i) {
    auto card = add_record(b, i);
    auto card_reference = add_record(reference, i);
    if (i == 100) {
      held = std::move(card);
      held_reference = std::move(card_reference);
    }
  }
  ASSERT_GT(packed(b.doc.get()), 0u);
  Ptr<IXMLDOMNode> removed;
  EXPECT_EQ(b.root->removeChild(held.get(), removed.out()), S_OK);
  EXPECT_EQ(reference.root->removeChild(held_reference.get(), removed.out()), S_OK);
  EXPECT_GT(runs(b.doc.get()), 0u);  // taking out a held record reads no run
  EXPECT_EQ(saved(b.doc.get(), "a.xml"), saved(reference.doc.get(), "b.xml"));
  for (Built* d : {&b, &reference}) {
    auto tenth = select(d->root.get(), u"VCARD[10]");
    ASSERT_TRUE(tenth);
    EXPECT_EQ(d->root->removeChild(tenth.get(), removed.out()), S_OK);
    add_record(*d, 1000);
  }
  EXPECT_EQ(runs(b.doc.get()), 0u);
  EXPECT_EQ(saved(b.doc.get(), "a.xml"), saved(reference.doc.get(), "b.xml"));
  // Replacing the root's text drops the records, packed or not.
  Built fresh = build();
  ASSERT_GT(runs(fresh.doc.get()), 0u);
  for (Built* d : {&b, &fresh}) {
    EXPECT_EQ(d->root->put_text(Bstr(u"gone")), S_OK);
    EXPECT_EQ(text_of(d->root.get()), u"gone");
    EXPECT_NE(saved(d->doc.get(), "gone.xml").find("<CONTACTS>gone</CONTACTS>"), std::string::npos);
  }
}

TEST_F(PackedRecordsTest, RecordsStillHeldOrNotReadingBackExactlyStayNodes) {
  auto doc = new_doc();
  ASSERT_TRUE(load_xml(doc.get(), kMessagesTemplate));
  auto root = select(as_node(doc.get()).get(), u"CONTACTS");
  Built b{std::move(doc), std::move(root)};
  add_record(b, 0);
  // A node object inside the second record, kept across the packing.
  auto held_card = append(b.doc.get(), b.root.get(), u"VCARD");
  auto held_text = append(b.doc.get(), held_card.get(), u"TEXT");
  // A record whose text holds a control character the markup can't carry.
  auto odd = append(b.doc.get(), b.root.get(), u"VCARD");
  EXPECT_EQ(odd->put_text(Bstr(u"bell\x07")), S_OK);
  odd.reset();
  for (int i = 1; i < kRecords; ++i) add_record(b, i);
  ASSERT_GT(packed(b.doc.get()), 0u);
  EXPECT_EQ(runs(b.doc.get()), 2u);  // on either side of the two left as nodes

  // The held node still works, and a selection inside its record sees the
  // records' nodes, not their markup.
  EXPECT_EQ(held_text->put_text(Bstr(u"later")), S_OK);
  EXPECT_EQ(set_attr(held_card.get(), u"Owner", u"me"), S_OK);
  EXPECT_EQ(text_of(select(held_card.get(), u"TEXT").get()), u"later");
  EXPECT_EQ(runs(b.doc.get()), 2u);  // a selection inside a record reads no run
  Ptr<IXMLDOMNode> parent;
  EXPECT_EQ(held_text->get_parentNode(parent.out()), E_NOTIMPL);
  EXPECT_EQ(attr(held_card.get(), u"Owner"), u"me");

  // Its next sibling is the record left as nodes, then the first packed
  // one: read back as it was built.
  Ptr<IXMLDOMNode> next, after;
  ASSERT_EQ(held_card->get_nextSibling(next.out()), S_OK);
  EXPECT_EQ(text_of(next.get()), u"bell\x07");
  ASSERT_EQ(next->get_nextSibling(after.out()), S_OK);
  EXPECT_EQ(attr(after.get(), u"CONTACTS"), value(1 + 3));
  // The record that can't be written exactly keeps its text as set.
  auto bell = select(b.root.get(), u"VCARD[3]");
  ASSERT_TRUE(bell);
  EXPECT_EQ(text_of(bell.get()), u"bell\x07");
  // Once read back as a whole, the tree packs no more.
  const size_t before = packed(b.doc.get());
  for (int i = 0; i < 200; ++i) add_record(b, i);
  EXPECT_EQ(packed(b.doc.get()), before);
  EXPECT_EQ(runs(b.doc.get()), 0u);
}

TEST_F(PackedRecordsTest, RecordsLeftAsNodesAmongPackedOnesAreAllKeptAndNoneIsSkipped) {
  Built b = build(0);
  Built reference = build(0, true);
  auto keep = hold_nodes(reference);
  ASSERT_TRUE(keep);
  auto is_odd = [](int i) { return i % 7 == 0 || (i >= 500 && i < 510); };
  for (int i = 0; i < 1000; ++i) {
    for (Built* d : {&b, &reference}) {
      auto card = add_record(*d, i);
      // Every 7th record and a run of ten hold a character the markup
      // can't carry.
      if (is_odd(i)) {
        auto extra = append(d->doc.get(), card.get(), u"NOTE");
        EXPECT_EQ(extra->put_text(Bstr(u"bell\x07 " + value(i))), S_OK);
      }
    }
  }
  // Packing looks every 64 records appended, at all but the one being
  // appended: every other record before the 960th is packed.
  size_t expected = 0;
  for (int i = 0; i < 959; ++i) expected += is_odd(i) ? 0 : 1;
  EXPECT_EQ(packed(b.doc.get()), expected);
  EXPECT_EQ(saved(b.doc.get(), "a.xml"), saved(reference.doc.get(), "b.xml"));
  EXPECT_EQ(text_of(b.root.get()), text_of(reference.root.get()));
}

// A run takes its bytes in pieces that grow to the large size and then stay
// there, and gives them back whole and in order, wherever an append falls
// across the end of a piece.
TEST(PackedRun, GivesBackEveryByteInOrderAcrossPiecesOfEverySize) {
  PackedRun run;
  std::string all;
  for (size_t i = 0; all.size() < 3 * PackedRun::kLargePiece + 12345; ++i) {
    std::string bytes(1 + (i * 7919) % 4000, static_cast<char>('a' + i % 26));
    all += bytes;
    run.append(bytes);
  }
  run.append(std::string(PackedRun::kLargePiece + 1, 'z'));  // more than a piece at once
  all += std::string(PackedRun::kLargePiece + 1, 'z');
  EXPECT_EQ(run.size(), all.size());
  std::string back;
  std::vector<size_t> sizes;
  run.each_piece([&](std::string_view piece) {
    back += piece;
    sizes.push_back(piece.size());
    return true;
  });
  EXPECT_EQ(back, all);
  ASSERT_GE(sizes.size(), 7u);
  size_t expected = PackedRun::kFirstPiece;
  for (size_t i = 0; i + 1 < sizes.size(); ++i) {
    EXPECT_EQ(sizes[i], expected) << "piece " << i;
    expected = std::min(PackedRun::kLargePiece, 2 * expected);
  }
  // Stopping early is stopping.
  int seen = 0;
  EXPECT_FALSE(run.each_piece([&](std::string_view) { return ++seen < 2; }));
  EXPECT_EQ(seen, 2);
}

// A document whose records fill several pieces, the last ones large, is
// saved as the same document kept as nodes.
TEST_F(PackedRecordsTest, ARunOfSeveralPiecesIsSavedByteForByteTheSame) {
  constexpr int kMany = 16000;
  auto packed_doc = build(kMany);
  auto reference = build(kMany, true);
  ASSERT_EQ(runs(packed_doc.doc.get()), 1u);
  const auto tree = dynamic_cast<DomDocument*>(packed_doc.doc.get())->tree();
  ASSERT_GT(tree->packed.runs.begin()->second.size(), PackedRun::kLargePiece + 1);
  EXPECT_EQ(saved(packed_doc.doc.get(), "packed.xml"), saved(reference.doc.get(), "reference.xml"));
}

}  // namespace
}  // namespace vardel::msxml::testing
