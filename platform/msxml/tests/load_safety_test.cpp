// Loading a file never reads a DTD, expands or fetches an entity, or goes
// outside the device; it fails cleanly on anything malformed, and reads the
// legacy encodings other Chinese tools write.
#include <sys/stat.h>
#include <unistd.h>

#include "platform/msxml/tests/dom_fixture.h"

namespace vardel::msxml::testing {
namespace {

using LoadSafetyTest = DomTest;

TEST_F(LoadSafetyTest, DocumentTypesEntitiesAndMalformedFilesAreRefused) {
  const std::string bomb =
      "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\">"
      "<!ENTITY lol1 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">"
      "<!ENTITY lol2 \"&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;\">"
      "<!ENTITY lol3 \"&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;\">]>"
      "<CONTACTS><VCARD TITLE=\"&lol3;\"/></CONTACTS>";
  write_bytes(outer_ / "secret.txt", "secret");
  const std::string external = "<?xml version=\"1.0\"?><!DOCTYPE c [<!ENTITY x SYSTEM \"file://" +
                               (outer_ / "secret.txt").string() + "\">]><CONTACTS>&x;</CONTACTS>";
  const std::string remote_dtd =
      "<!DOCTYPE CONTACTS SYSTEM \"http://127.0.0.1:9/contacts.dtd\"><CONTACTS/>";
  const std::string undefined_entity = "<CONTACTS><VCARD TITLE=\"&nbsp;\"/></CONTACTS>";
  const std::string bad_reference = "<CONTACTS>&#1;</CONTACTS>";
  const std::string full =
      "<?xml version=\"1.0\"?>\r\n<CONTACTS>\r\n<VCARD TITLE=\"A\"><NOTE>n</NOTE></VCARD>"
      "\r\n</CONTACTS>\r\n";
  struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"entity bomb", bomb},
      {"external entity", external},
      {"external DTD", remote_dtd},
      {"undefined entity", undefined_entity},
      {"reference to a control character", bad_reference},
      {"truncated", full.substr(0, full.size() / 2)},
      {"text after the root", full + "junk"},
      {"two roots", "<A/><B/>"},
      {"empty", ""},
      {"not XML", "BEGIN:VCARD\r\nEND:VCARD\r\n"},
  };
  for (auto& c : cases) {
    write_bytes(host("f.xml"), c.bytes);
    auto doc = new_doc();
    // Refused, not expanded: how fast is measured in
    // bench/hostile_load_bench.cpp.
    EXPECT_FALSE(load(doc.get(), u"\\f.xml")) << c.what;
    // A refused file leaves an empty document behind.
    EXPECT_FALSE(select(as_node(doc.get()).get(), u"//*")) << c.what;
    VARIANT_BOOL ok = VARIANT_TRUE;
    std::u16string wide(c.bytes.begin(), c.bytes.end());
    EXPECT_EQ(doc->loadXML(Bstr(wide), &ok), S_FALSE) << c.what;
    EXPECT_EQ(ok, VARIANT_FALSE);
  }
  // The complete file does load.
  write_bytes(host("f.xml"), full);
  auto doc = new_doc();
  EXPECT_TRUE(load(doc.get(), u"f.xml"));
}

TEST_F(LoadSafetyTest, PathsThatAreNotReadableFilesInTheDeviceFail) {
  auto doc = new_doc();
  EXPECT_FALSE(load(doc.get(), u"\\missing.xml"));
  std::filesystem::create_directory(host("dir.xml"));
  EXPECT_FALSE(load(doc.get(), u"\\dir.xml"));
  ASSERT_EQ(::mkfifo(host("pipe.xml").c_str(), 0600), 0);
  EXPECT_FALSE(load(doc.get(), u"\\pipe.xml"));  // must not hang waiting for a writer
  write_bytes(outer_ / "outside.xml", "<A/>");
  EXPECT_FALSE(load(doc.get(), u"\\..\\outside.xml"));
  if (::geteuid() != 0) {
    write_bytes(host("locked.xml"), "<A/>");
    ::chmod(host("locked.xml").c_str(), 0);
    EXPECT_FALSE(load(doc.get(), u"locked.xml"));
  }
  VARIANT not_text;
  VariantInit(&not_text);
  not_text.vt = VT_I4;
  VARIANT_BOOL ok;
  EXPECT_EQ(doc->load(not_text, &ok), E_INVALIDARG);
}

TEST_F(LoadSafetyTest, LegacyEncodingsAreReadAndSavedAsUtf8) {
  struct {
    const char* encoding;
    std::string name_bytes;  // "张三" (or "Zoë" for Latin-1) in that encoding
    std::u16string name;
  } cases[] = {
      {"GB2312", "\xD5\xC5\xC8\xFD", u"张三"},
      {"gbk", "\xD5\xC5\xC8\xFD", u"张三"},
      {"GB18030", "\xD5\xC5\xC8\xFD\x95\x32\x82\x36", u"张三\U00020000"},
      {"Big5", "\xB1\x69\xA4\x54", u"張三"},
      {"ISO-8859-1", "Zo\xEB", u"Zoë"},
  };
  for (auto& c : cases) {
    std::string file = std::string("<?xml version=\"1.0\" encoding=\"") + c.encoding +
                       "\"?>\r\n<CONTACTS><VCARD TITLE=\"" + c.name_bytes + "\"><NOTE>" +
                       c.name_bytes + "</NOTE></VCARD></CONTACTS>";
    write_bytes(host("legacy.xml"), file);
    auto doc = new_doc();
    ASSERT_TRUE(load(doc.get(), u"legacy.xml")) << c.encoding;
    auto card = select(as_node(doc.get()).get(), u"//CONTACTS/VCARD");
    ASSERT_TRUE(card) << c.encoding;
    EXPECT_EQ(attr(card.get(), u"TITLE"), c.name) << c.encoding;
    EXPECT_EQ(text_of(select(card.get(), u"NOTE").get()), c.name) << c.encoding;
    // Saved as UTF-8, and the declaration says so.
    ASSERT_EQ(save(doc.get(), u"saved.xml"), S_OK);
    std::string saved = read_bytes(host("saved.xml"));
    EXPECT_EQ(saved.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n", 0), 0u) << c.encoding;
    EXPECT_TRUE(well_formed(host("saved.xml"))) << c.encoding;
  }
  // Bytes that are not valid in the declared encoding, or an unknown one.
  write_bytes(host("bad.xml"), "<?xml version=\"1.0\" encoding=\"GB2312\"?><A>\xFF\xFF</A>");
  auto doc = new_doc();
  EXPECT_FALSE(load(doc.get(), u"bad.xml"));
  write_bytes(host("bad.xml"), "<?xml version=\"1.0\" encoding=\"x-no-such\"?><A/>");
  EXPECT_FALSE(load(doc.get(), u"bad.xml"));
}

}  // namespace
}  // namespace vardel::msxml::testing

namespace vardel::msxml::testing {
namespace {

// A hostile file nests elements 200,000 deep: loading, reading its text,
// selecting in it and saving it must not exhaust the stack.
TEST_F(LoadSafetyTest, DeepNestingIsHandledWithoutRecursion) {
  const int depth = 200000;
  std::string file;
  file.reserve(depth * 7 + 8);
  for (int i = 0; i < depth; ++i) file += "<a>";
  file += "x";
  for (int i = 0; i < depth; ++i) file += "</a>";
  write_bytes(host("deep.xml"), file);
  auto doc = new_doc();
  ASSERT_TRUE(load(doc.get(), u"deep.xml"));
  auto docnode = as_node(doc.get());
  EXPECT_EQ(text_of(docnode.get()), u"x");
  EXPECT_TRUE(select(docnode.get(), u"//a[not(a)]"));
  ASSERT_EQ(save(doc.get(), u"deep2.xml"), S_OK);
  EXPECT_EQ(read_bytes(host("deep2.xml")), file);
}

}  // namespace
}  // namespace vardel::msxml::testing
