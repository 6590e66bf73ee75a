// The fill-in before a duplicate is deleted: what the kept contact takes from
// the copy, what it keeps of its own, and that a failed step changes nothing.
#include "contacts/ContactMerge.h"
#include "contacts/ContactStore.h"
#include "contacts/tests/contacts_fixture.h"
#include "platform/core/fault.h"
#include "xml/XMLTextWriter.h"

using namespace contacts_test;
using vardel::poom::add_contact;
using vardel::poom::ContactRecord;
using vardel::poom::list_contacts;

namespace {

class MergeTest : public ContactsTest {
 protected:
  int Remove() {
    CXMLTextWriter writer;
    if (!writer.Open(DOCUMENT_CONTACTS)) return -1;
    int result = writer.RemoveDuplicateContacts();
    writer.Close();
    return result;
  }

  // The phone's contact: lost its e-mail and company, keeps what the backup
  // never carries (birthday, notes) and a job title of its own.
  static ContactRecord Phone() {
    return Contact({{PIMPR_FILEAS, "张三"},
                    {PIMPR_MOBILE_TELEPHONE_NUMBER, "13800000000"},
                    {PIMPR_JOB_TITLE, "经理"},
                    {PIMPR_BIRTHDAY, "1980-05-17"},
                    {PIMPR_BODY, "老同学"}});
  }
  // The copy a restore made from an older backup.
  static ContactRecord Restored() {
    return Contact({{PIMPR_FILEAS, "张三"},
                    {PIMPR_MOBILE_TELEPHONE_NUMBER, "13800000000"},
                    {PIMPR_EMAIL1_ADDRESS, "zs@example.com"},
                    {PIMPR_COMPANY_NAME, "华为"},
                    {PIMPR_COMPANY_TELEPHONE_NUMBER, "华为"},  // the shared COMPANY element
                    {PIMPR_JOB_TITLE, "职员"}});
  }
};

TEST_F(MergeTest, TheKeptContactTakesWhatItLacksAndKeepsItsOwnValues) {
  add_contact(Phone());
  add_contact(Restored());
  EXPECT_EQ(Remove(), 1);
  const auto contacts = list_contacts();
  ASSERT_EQ(contacts.size(), 1u);
  const ContactRecord& c = contacts[0];
  EXPECT_EQ(Prop(c, PIMPR_EMAIL1_ADDRESS), u"zs@example.com");
  EXPECT_EQ(Prop(c, PIMPR_COMPANY_NAME), u"华为");
  // The shared element's text is the company name's, not a telephone number.
  EXPECT_EQ(Prop(c, PIMPR_COMPANY_TELEPHONE_NUMBER), u"");
  EXPECT_EQ(Prop(c, PIMPR_JOB_TITLE), u"经理");
  EXPECT_EQ(Prop(c, PIMPR_BIRTHDAY), u"1980-05-17");
  EXPECT_EQ(Prop(c, PIMPR_BODY), u"老同学");
  EXPECT_EQ(g_nContactsFilledIn, 1);
  EXPECT_EQ(g_nContactsDiffering, 1);
}

// The forward scan fills in the reference, and a pass that finds nothing to
// take counts nothing.
TEST_F(MergeTest, TheForwardScanFillsInTheFirstOfTheRun) {
  add_contact(Phone());
  add_contact(Contact({{PIMPR_FILEAS, "张三"}, {PIMPR_MOBILE_TELEPHONE_NUMBER, "139"}}));
  add_contact(Restored());
  EXPECT_EQ(Remove(), 1);
  const auto contacts = list_contacts();
  ASSERT_EQ(contacts.size(), 2u);
  EXPECT_EQ(Prop(contacts[0], PIMPR_EMAIL1_ADDRESS), u"zs@example.com");
  EXPECT_EQ(Prop(contacts[1], PIMPR_EMAIL1_ADDRESS), u"");
  EXPECT_EQ(g_nContactsFilledIn, 1);

  add_contact(contacts[0]);  // an exact copy
  EXPECT_EQ(Remove(), 1);
  EXPECT_EQ(list_contacts().size(), 2u);
  EXPECT_EQ(g_nContactsFilledIn, 0);
  EXPECT_EQ(g_nContactsDiffering, 0);
}

// A shared element whose text the kept contact still holds in the earlier of
// the two rows came from there: the later row is not filled from it, nor
// counted as different.
TEST_F(MergeTest, ASharedElementSpeaksOnlyForTheRowItCameFrom) {
  EXPECT_EQ(CompareCarriedField(PIMPR_COMPANY_NAME, nullptr, u"555", u"555", u"555"), MERGE_SAME);
  EXPECT_EQ(CompareCarriedField(PIMPR_COMPANY_NAME, nullptr, u"华为", u"555", u"华为"), MERGE_FILL);
  EXPECT_EQ(CompareCarriedField(PIMPR_COMPANY_TELEPHONE_NUMBER, nullptr, u"华为", nullptr, u"华为"),
            MERGE_SAME);
  // Two different texts are the copy's own, as on a duplicate the phone made.
  EXPECT_EQ(CompareCarriedField(PIMPR_COMPANY_TELEPHONE_NUMBER, u"", u"555", u"", u"华为"),
            MERGE_FILL);
  EXPECT_EQ(CompareCarriedField(PIMPR_EMAIL1_ADDRESS, u"a@x", u"A@x", nullptr, nullptr),
            MERGE_DIFFERS);
  EXPECT_EQ(CompareCarriedField(PIMPR_EMAIL1_ADDRESS, u"a@x", u"", nullptr, nullptr), MERGE_SAME);
}

// Whichever step of the fill-in fails, both contacts stay as they were and
// the pass says that duplicates may remain; the next pass completes it.
TEST_F(MergeTest, AFailedFillInLeavesBothContactsIntact) {
  for (const char* call : {"poom.FillAndRemove", "poom.Database.Write", "poom.FillAndRemove.Commit",
                           "poom.GetProps"}) {
    SCOPED_TRACE(call);
    vardel::poom::delete_all_contacts();
    add_contact(Phone());
    add_contact(Restored());
    const auto before = list_contacts();
    {
      vardel::fault::Scope scope;
      vardel::fault::arm(call, E_FAIL, 1);
      EXPECT_EQ(Remove(), 0);
      EXPECT_GE(vardel::fault::uses(call), 1u);
    }
    EXPECT_EQ(list_contacts(), before);
    EXPECT_EQ(g_nContactsFilledIn, 0);
    EXPECT_EQ(Remove(), 1);
    ASSERT_EQ(list_contacts().size(), 1u);
    EXPECT_EQ(Prop(list_contacts()[0], PIMPR_EMAIL1_ADDRESS), u"zs@example.com");
  }
}

}  // namespace
