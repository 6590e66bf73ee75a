// Duplicate removal: which contacts go, which stay, and the progress sent.
#include "contacts/ContactStore.h"
#include "contacts/tests/contacts_fixture.h"
#include "xml/XMLTextWriter.h"

using namespace contacts_test;
using vardel::poom::add_contact;
using vardel::poom::list_contacts;

namespace {

class DuplicatesTest : public ContactsTest {
 protected:
  // A contact with a FileAs, a mobile number and a marker (its e-mail
  // address, which the comparison ignores).
  static void Add(const char* fileAs, const char* mobile, const char* marker) {
    vardel::poom::ContactRecord c =
        Contact({{PIMPR_FILEAS, fileAs}, {PIMPR_EMAIL1_ADDRESS, marker}});
    if (*mobile) c.push_back({PIMPR_MOBILE_TELEPHONE_NUMBER, vardel::utf16(mobile)});
    c.push_back({PIMPR_BUSINESS_TELEPHONE_NUMBER, u"010-1"});
    add_contact(c);
  }
  int Remove() {
    CXMLTextWriter writer;
    if (!writer.Open(DOCUMENT_CONTACTS)) return -1;
    int result = writer.RemoveDuplicateContacts();
    writer.Close();
    return result;
  }
  static std::vector<std::string> Markers() {
    std::vector<std::string> markers;
    for (const auto& c : list_contacts())
      markers.push_back(vardel::utf8(Prop(c, PIMPR_EMAIL1_ADDRESS)));
    return markers;
  }
  std::vector<unsigned> Percentages() const {
    std::vector<unsigned> values;
    for (const auto& [w, l] : RecordedProgress()) {
      EXPECT_EQ(l, PROGRESS_RESTORE);
      values.push_back(w);
    }
    return values;
  }
};

using Strings = std::vector<std::string>;
using Values = std::vector<unsigned>;

TEST_F(DuplicatesTest, EmptyFolderAndSingleContactOnlyReportTheEnd) {
  EXPECT_EQ(Remove(), 1);
  EXPECT_EQ(Percentages(), Values{100});
  Add("A", "1", "a");
  ClearProgress();
  EXPECT_EQ(Remove(), 1);
  EXPECT_EQ(Percentages(), Values{100});
  EXPECT_EQ(Markers(), Strings{"a"});
}

// The contact created first stays: on a restore that is the phone's own.
TEST_F(DuplicatesTest, EqualNeighboursLeaveTheFirstOfTheirGroup) {
  Add("A", "1", "a1");
  Add("A", "1", "a2");
  Add("A", "1", "a3");
  EXPECT_EQ(Remove(), 1);
  EXPECT_EQ(Markers(), Strings{"a1"});
  EXPECT_EQ(Percentages(), (Values{50, 50, 100}));
}

TEST_F(DuplicatesTest, OnlyTheFourKeyPartsCountAndLetterCaseDoesNot) {
  Add("Bob", "2", "b1");
  Add("bOB", "2", "b2");  // differs only in case and e-mail
  Add("Carol", "3", "c1");
  Add("Carol", "", "c2");  // no mobile: "空" differs from "3"
  Add("Dave", "", "d1");
  Add("Dave", "", "d2");  // both lack the mobile: equal
  EXPECT_EQ(Remove(), 1);
  EXPECT_EQ(Markers(), (Strings{"b1", "c1", "c2", "d1"}));
}

TEST_F(DuplicatesTest, AForwardScanRemovesLaterCopiesOfTheFirstOfARun) {
  Add("A", "1", "first");
  Add("A", "2", "other");
  Add("A", "1", "copy");
  EXPECT_EQ(Remove(), 1);
  EXPECT_EQ(Markers(), (Strings{"first", "other"}));
  EXPECT_EQ(Percentages(), (Values{75, 100}));

  vardel::poom::delete_all_contacts();
  ClearProgress();
  Add("A", "1", "first");
  Add("A", "2", "other1");
  Add("A", "2", "other2");
  Add("A", "1", "copy");
  EXPECT_EQ(Remove(), 1);
  EXPECT_EQ(Markers(), (Strings{"first", "other1"}));
  EXPECT_EQ(Percentages(), (Values{66, 75, 100}));
}

TEST_F(DuplicatesTest, AContactThatCannotBeReadIsNeverTakenForADuplicate) {
  Add("A", "1", "a");
  Add("B", "1", "b");
  Add("C", "1", "c");
  // Selections: 1, 2 (first pair), 2, then 3 fails: the pair (2, 3) cannot
  // be compared, so nothing may be deleted on its account, and the pass
  // says that duplicates may remain.
  vardel::fault::arm("poom.Item", E_FAIL, 4);
  EXPECT_EQ(Remove(), 0);
  EXPECT_EQ(Markers(), (Strings{"a", "b", "c"}));
  EXPECT_EQ(Percentages(), (Values{66, 83, 100}));

  // A selection failing at the head of the walk ends it with 0, after the
  // deletions made so far, and still reports the end.
  vardel::poom::delete_all_contacts();
  vardel::fault::reset();
  ClearProgress();
  Add("A", "1", "a1");
  Add("A", "1", "a2");
  Add("B", "1", "b");
  // 1, 2, both again for the fill-in's reads, then position 1 again.
  vardel::fault::arm("poom.Item", E_FAIL, 5);
  EXPECT_EQ(Remove(), 0);
  EXPECT_EQ(Markers(), (Strings{"a1", "b"}));
  EXPECT_EQ(Percentages(), (Values{50, 100}));
}

// A deletion that fails leaves a duplicate: the pass stops and says so.
TEST_F(DuplicatesTest, AFailedDeletionIsReported) {
  Add("A", "1", "a1");
  Add("A", "1", "a2");
  Add("B", "1", "b1");
  Add("B", "1", "b2");
  vardel::fault::arm("poom.Remove", E_FAIL, 1);
  EXPECT_EQ(Remove(), 0);
  EXPECT_EQ(Markers(), (Strings{"a1", "a2", "b1", "b2"}));
  EXPECT_EQ(Percentages().back(), 100u);
  vardel::fault::reset();
  EXPECT_EQ(Remove(), 1);
  EXPECT_EQ(Markers(), (Strings{"a1", "b1"}));
}

}  // namespace
