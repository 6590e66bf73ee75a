// The contact field table against the store it describes, and the slot
// orders the readers follow.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "host/formats/contact_fields.h"
#include "platform/poom/contact_db.h"
#include "platform/poom/pimstore.h"

namespace fields = vardel::fields;
using fields::Kind;
using fields::Place;

TEST(ContactFields, EveryStoredPropertyHasOneRowWithTheStoresName) {
  const auto& known = vardel::poom::known_property_tags();
  std::set<CEPROPID> tags;
  std::set<std::string_view> names;
  for (const auto& f : fields::contact_fields()) {
    EXPECT_TRUE(tags.insert(f.tag).second) << f.name << " twice";
    EXPECT_TRUE(names.insert(f.name).second) << f.name << " twice";
    EXPECT_EQ(f.name, vardel::poom::property_name(f.tag));
    EXPECT_EQ(std::count(known.begin(), known.end(), f.tag), 1) << f.name;
    EXPECT_EQ(fields::field_tag(f.name), f.tag);
  }
  EXPECT_EQ(tags.size(), known.size());
  EXPECT_EQ(fields::field_tag("mobiletelephonenumber"), PIMPR_MOBILE_TELEPHONE_NUMBER);
  EXPECT_FALSE(fields::field_tag("Uid"));
  EXPECT_EQ(fields::field_name(0x12345678), "");
}

TEST(ContactFields, AValueWhoseSlotIsTakenFindsTheNextOfItsKind) {
  // A second fax goes to the other fax; a home fax first to the home one.
  EXPECT_EQ(fields::slots(Kind::fax, Place::work),
            (std::vector<CEPROPID>{PIMPR_BUSINESS_FAX_NUMBER, PIMPR_HOME_FAX_NUMBER}));
  EXPECT_EQ(fields::slots(Kind::fax, Place::home),
            (std::vector<CEPROPID>{PIMPR_HOME_FAX_NUMBER, PIMPR_BUSINESS_FAX_NUMBER}));
  // A number of no kind: the mobile first, and past the five usual slots
  // the radio and car telephones before it is dropped.
  const auto any = fields::slots(Kind::telephone);
  EXPECT_EQ(any.front(), PIMPR_MOBILE_TELEPHONE_NUMBER);
  EXPECT_EQ(any.size(), 7u);
  EXPECT_NE(std::find(any.begin(), any.end(), PIMPR_CAR_TELEPHONE_NUMBER), any.end());
  // A work number: the work slots first, then any free telephone.
  const auto work = fields::slots(Kind::telephone, Place::work);
  EXPECT_EQ(
      std::vector<CEPROPID>(work.begin(), work.begin() + 3),
      (std::vector<CEPROPID>{PIMPR_BUSINESS_TELEPHONE_NUMBER, PIMPR_BUSINESS2_TELEPHONE_NUMBER,
                             PIMPR_COMPANY_TELEPHONE_NUMBER}));
  EXPECT_EQ(std::set<CEPROPID>(work.begin(), work.end()).size(), work.size());
  // A second work address goes to the other address, then the home one.
  EXPECT_EQ(fields::slots(Kind::address, Place::work),
            (std::vector<CEPROPID>{PIMPR_BUSINESS_ADDRESS_STREET, PIMPR_OTHER_ADDRESS_STREET,
                                   PIMPR_HOME_ADDRESS_STREET}));
  EXPECT_EQ(fields::address_parts(Place::home)[4], PIMPR_HOME_ADDRESS_COUNTRY);
  EXPECT_EQ(fields::address_place(PIMPR_OTHER_ADDRESS_STREET), Place::other);
  EXPECT_EQ(
      fields::slots(Kind::email),
      (std::vector<CEPROPID>{PIMPR_EMAIL1_ADDRESS, PIMPR_EMAIL2_ADDRESS, PIMPR_EMAIL3_ADDRESS}));
}
