// Plain relative paths walked directly must answer exactly as XPath does:
// the same nodes in the same order, from every kind of context; texts that
// are not plain paths must be left to XPath.
#include "platform/msxml/child_path.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dom_fixture.h"

namespace vardel::msxml {
namespace {

std::vector<pugi::xml_node> walked(const pugi::xpath_node& context, std::u16string_view query) {
  ChildPath path;
  EXPECT_TRUE(path.parse(query));
  std::vector<pugi::xml_node> out;
  path.walk(context.node(), [&](pugi::xml_node n) {
    out.push_back(n);
    return true;
  });
  return out;
}

std::vector<pugi::xml_node> by_xpath(const pugi::xpath_node& context, std::u16string_view query) {
  std::string utf8(query.begin(), query.end());  // the queries here are ASCII
  pugi::xpath_node_set set = pugi::xpath_query(utf8.c_str()).evaluate_node_set(context);
  set.sort();
  std::vector<pugi::xml_node> out;
  for (const pugi::xpath_node& n : set) {
    EXPECT_FALSE(n.attribute()) << "an attribute matched " << utf8;
    out.push_back(n.node());
  }
  return out;
}

// Each query from each context of a document full of near misses: names
// differing in case or by a prefix, attributes, instructions and text named
// like a step, an empty first branch, the last name nested in itself.
TEST(ChildPath, AnswersAsXPathDoesOnNearMisses) {
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(
      "<?B x?><R xmlns:p='urn:p'>"
      "<A><b>case</b><p:B>prefixed</p:B><!--B--><?B pi?></A>"
      "<A B='attr'>text B<B>1<B>1.1<C>1.1c</C></B><C>1c</C></B><X><B>1.2</B></X><B>2</B></A>"
      "<a><B>lower</B></a>"
      "<A><X><Y><B>3<C>3c</C></B></Y></X><B>4</B></A>"
      "<A.b-1><B_2>dotted</B_2></A.b-1>"
      "</R>",
      pugi::parse_default | pugi::parse_pi | pugi::parse_comments));
  const std::u16string_view queries[] = {
      u"R",    u"A",       u"A/B",       u"A//B",  u"A/B/B",  u"A/B//C", u"A/X/B",
      u"A//C", u"R/A/B",   u"R/A//B",    u"B",     u"a/B",    u"A/b",    u"A.b-1/B_2",
      u"R//B", u"R/A/X/Y", u"R/A/B/B/C", u"A/B/C", u"missing"};
  std::vector<pugi::xpath_node> contexts = {pugi::xpath_node(doc)};
  for (pugi::xpath_node n : doc.select_nodes("//*")) contexts.push_back(n);
  for (pugi::xpath_node n : doc.select_nodes("//text() | //comment() | //processing-instruction()"))
    contexts.push_back(n);
  contexts.push_back(doc.select_node("//@B"));
  for (const pugi::xpath_node& context : contexts)
    for (std::u16string_view q : queries)
      EXPECT_EQ(walked(context, q), by_xpath(context, q))
          << std::string(q.begin(), q.end()) << " from " << context.node().name();
}

// A chain far deeper than any record: "//" walks it without recursion and
// finds every level in document order.
TEST(ChildPath, WalksDeepTreesInDocumentOrder) {
  std::string text = "<R><A>";
  constexpr int kDepth = 20000;
  for (int i = 0; i < kDepth; ++i) text += "<B>";
  for (int i = 0; i < kDepth; ++i) text += "</B>";
  text += "</A><A><B/></A></R>";
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(text.c_str()));
  pugi::xpath_node root = doc.select_node("/R");
  auto found = walked(root, u"A//B");
  ASSERT_EQ(found.size(), static_cast<size_t>(kDepth + 1));
  EXPECT_EQ(found, by_xpath(root, u"A//B"));
}

TEST(ChildPath, LeavesEverythingButPlainNamesToXPath) {
  for (std::u16string_view q :
       {u"",        u"/",      u"/A",           u"//A",
        u"A/",      u"A//",    u"A///B",        u"A//B/C",
        u"A//B//C", u"*",      u"A/*",          u".",
        u"..",      u"A/..",   u"./A",          u"@B",
        u"A/@B",    u"A[1]",   u"A[B]",         u"child::A",
        u"A | B",   u" A",     u"A /B",         u"p:B",
        u"text()",  u"node()", u"count(A)",     u"1A",
        u"-A",      u"A$",     u"and",          u"A/or",
        u"div/A",   u"mod",    u"\u901a\u8baf", u"A/B/C/D/E/F/G/H/I/J/K/L/M/N/O/P/Q"})
    EXPECT_FALSE(ChildPath().parse(q)) << std::string(q.begin(), q.end());
  for (std::u16string_view q : {u"A", u"ADDRESS/FIRST", u"ADDRESS//SPOUSE", u"A/B//C", u"_x.y-z",
                                u"android", u"A/B/C/D/E/F/G/H/I/J/K/L/M/N/O/P"})
    EXPECT_TRUE(ChildPath().parse(q)) << std::string(q.begin(), q.end());
}

using testing::Bstr;
using testing::Ptr;

class ChildPathDom : public testing::DomTest {};

// Through the DOM: removed and replaced nodes stay out of both selections,
// a detached element's own children are found, and the found node is the
// tree's node itself, not a copy.
TEST_F(ChildPathDom, SelectionsSkipDetachedNodesAndHandOutTheTreeNode) {
  auto doc = new_doc();
  ASSERT_TRUE(load_xml(doc.get(), u"<R><A><B>gone</B></A><A><B>kept</B><B>second</B></A></R>"));
  auto root = select(as_node(doc.get()).get(), u"R");
  ASSERT_TRUE(root);
  auto first_a = select(root.get(), u"A");
  auto gone = select(root.get(), u"A/B");
  ASSERT_TRUE(gone);
  Ptr<IXMLDOMNode> removed;
  ASSERT_EQ(first_a->removeChild(gone.get(), removed.out()), S_OK);

  auto kept = select(root.get(), u"A/B");
  ASSERT_TRUE(kept);
  EXPECT_EQ(text_of(kept.get()), u"kept");
  EXPECT_EQ(kept->put_text(Bstr(u"changed")), S_OK);
  EXPECT_EQ(text_of(select(root.get(), u"A//B").get()), u"changed");

  auto list = select_all(root.get(), u"A/B");
  ASSERT_TRUE(list);
  EXPECT_EQ(length_of(list.get()), 2);
  Ptr<IXMLDOMNode> item;
  ASSERT_EQ(list->get_item(1, item.out()), S_OK);
  EXPECT_EQ(text_of(item.get()), u"second");

  // The removed node itself still answers for its own children.
  auto inner = append(doc.get(), removed.get(), u"C");
  ASSERT_TRUE(inner);
  EXPECT_TRUE(select(removed.get(), u"C"));
  EXPECT_FALSE(select(root.get(), u"A/B/C"));
  EXPECT_FALSE(select(root.get(), u"A//C"));
}

}  // namespace
}  // namespace vardel::msxml
