// The contact field table: every property a contact can hold, with what it
// is called in each format we read and write. The vCard reader and writer,
// the JSON and CSV names and the phonebook (libgammu) mapping all read this
// table, so a new field is one row here.
//
// The rows are in the order the vCard writer writes them. JSON keys and CSV
// columns use `name` (the object model's property name) and run in ascending
// tag order, as the store lists properties.
//
// Readers place a value in the first free slot of its kind (slots()): a
// second fax goes to the home fax when that is free, a number of no known
// kind to the first free telephone, a second work address to the other
// address. Only when every slot of the kind is taken is the value left out.
#pragma once

#include <gammu.h>

#include <array>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "platform/core/types.h"

namespace vardel::fields {

enum class Kind {
  name,       // file-as name and the parts of N
  telephone,  // a number one can call
  fax,
  email,
  im,
  address,  // a part of one of the three postal addresses
  date,     // ISO text: birthday, anniversary
  text,     // any other single text
};

// Where a telephone, fax or address belongs.
enum class Place { none, mobile, work, home, other };

struct ContactField {
  CEPROPID tag;
  std::string_view name;  // JSON key, CSV column ("MobileTelephoneNumber")
  Kind kind;
  Place place;
  // vCard: the property (N, ORG and ADR rows are parts of one structured
  // value), its TYPE list as we write it, and its X-SLOT among the rows of
  // the same property and types (0 and 1: none written). vcard3 names the
  // property in vCard 3.0 when that differs.
  std::string_view vcard;
  std::string_view vcard_types;
  int slot;
  std::string_view vcard3;
  // The phonebook entry the field is written as (PBK_Text_Name for none),
  // and the location it is written with.
  GSM_EntryType gammu;
  GSM_EntryLocation gammu_location;
};

// Every row, in the vCard writer's order.
std::span<const ContactField> contact_fields();

// The row of a tag; nullptr for a tag the table does not know.
const ContactField* field_of(CEPROPID tag);
// "" for an unknown tag.
std::string_view field_name(CEPROPID tag);
// The tag of a name, matched without regard to ASCII case.
std::optional<CEPROPID> field_tag(std::string_view name);

// The slots a value of a kind may take, the likeliest first: those of
// `place` first, then the kind's others. For Kind::address the slots are
// the address's street tags (see address_parts).
std::vector<CEPROPID> slots(Kind kind, Place place = Place::none);

// The five parts of the address at `place` (work, home, other): street,
// city, state, postal code, country.
std::array<CEPROPID, 5> address_parts(Place place);
// The place of an address's street tag.
Place address_place(CEPROPID street);

}  // namespace vardel::fields
