// What the Google and Outlook CSV layouts (address_book_csv.h) are made of,
// shared by their writer (address_book_csv_write.cpp) and their reader
// (address_book_csv_read.cpp): the columns of each layout and the phone's
// field each holds, the labelled groups of Google's layout, and the day
// forms both write. A column or label added here is written and read back
// alike.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/poom/pimstore.h"

namespace vardel::host::address_book {

// A contact's texts by tag, as UTF-8.
using Props = std::map<CEPROPID, std::string>;

// What Google puts between several values of one label.
inline constexpr std::string_view kJoin = " ::: ";

// The value of tag, "" when the contact has none.
std::string get(const Props& p, CEPROPID tag);
// The non-empty parts of text between seps, with their spaces trimmed.
std::vector<std::string> split(std::string_view text, std::string_view sep);
std::string join(const std::vector<std::string>& parts, std::string_view sep);

// A column of either layout, and the field it holds.
struct Column {
  const char* name;
  CEPROPID tag;  // 0: a column the phone has no field for
};

// Google's columns before the numbered groups.
inline constexpr Column kGoogleHead[] = {
    {"Name", PIMPR_FILEAS},
    {"Given Name", PIMPR_FIRST_NAME},
    {"Additional Name", PIMPR_MIDDLE_NAME},
    {"Family Name", PIMPR_LAST_NAME},
    {"Yomi Name", 0},
    {"Given Name Yomi", 0},
    {"Additional Name Yomi", 0},
    {"Family Name Yomi", 0},
    {"Name Prefix", PIMPR_TITLE},
    {"Name Suffix", PIMPR_SUFFIX},
    {"Initials", 0},
    {"Nickname", PIMPR_NICKNAME},
    {"Short Name", 0},
    {"Maiden Name", 0},
    {"Birthday", PIMPR_BIRTHDAY},
    {"Gender", 0},
    {"Location", 0},
    {"Billing Information", 0},
    {"Directory Server", 0},
    {"Mileage", 0},
    {"Occupation", 0},
    {"Hobby", 0},
    {"Sensitivity", 0},
    {"Priority", 0},
    {"Subject", 0},
    {"Notes", PIMPR_BODY},
    {"Language", 0},
    {"Photo", 0},
    {"Group Membership", PIMPR_CATEGORIES},
};

// A labelled value of a numbered group, and the slots its label stands for.
struct Label {
  const char* group;  // "Phone"
  const char* label;  // "Mobile"
  std::vector<CEPROPID> tags;
};
// Every label of every group, in the order they are written.
const std::vector<Label>& google_labels();

// The columns of one group after "<group> <n> - ".
const std::vector<std::string>& group_columns(std::string_view group);
inline constexpr const char* kGroups[] = {"E-mail",       "IM",       "Phone",   "Address",
                                          "Organization", "Relation", "Website", "Event"};

// Outlook's columns, as it exports them, and the fields they hold.
inline constexpr Column kOutlook[] = {
    {"First Name", PIMPR_FIRST_NAME},
    {"Middle Name", PIMPR_MIDDLE_NAME},
    {"Last Name", PIMPR_LAST_NAME},
    {"Title", PIMPR_TITLE},
    {"Suffix", PIMPR_SUFFIX},
    {"Initials", 0},
    {"Web Page", PIMPR_WEB_PAGE},
    {"Gender", 0},
    {"Birthday", PIMPR_BIRTHDAY},
    {"Anniversary", PIMPR_ANNIVERSARY},
    {"Location", 0},
    {"Language", 0},
    {"Internet Free Busy", 0},
    {"Notes", PIMPR_BODY},
    {"E-mail Address", PIMPR_EMAIL1_ADDRESS},
    {"E-mail 2 Address", PIMPR_EMAIL2_ADDRESS},
    {"E-mail 3 Address", PIMPR_EMAIL3_ADDRESS},
    {"Primary Phone", 0},
    {"Home Phone", PIMPR_HOME_TELEPHONE_NUMBER},
    {"Home Phone 2", PIMPR_HOME2_TELEPHONE_NUMBER},
    {"Mobile Phone", PIMPR_MOBILE_TELEPHONE_NUMBER},
    {"Pager", PIMPR_PAGER_NUMBER},
    {"Home Fax", PIMPR_HOME_FAX_NUMBER},
    {"Home Address", 0},
    {"Home Street", PIMPR_HOME_ADDRESS_STREET},
    {"Home Street 2", 0},
    {"Home Street 3", 0},
    {"Home Address PO Box", 0},
    {"Home City", PIMPR_HOME_ADDRESS_CITY},
    {"Home State", PIMPR_HOME_ADDRESS_STATE},
    {"Home Postal Code", PIMPR_HOME_ADDRESS_POSTAL_CODE},
    {"Home Country", PIMPR_HOME_ADDRESS_COUNTRY},
    {"Spouse", PIMPR_SPOUSE},
    {"Children", PIMPR_CHILDREN},
    {"Manager's Name", PIMPR_MANAGER},
    {"Assistant's Name", PIMPR_ASSISTANT_NAME},
    {"Referred By", 0},
    {"Company Main Phone", PIMPR_COMPANY_TELEPHONE_NUMBER},
    {"Business Phone", PIMPR_BUSINESS_TELEPHONE_NUMBER},
    {"Business Phone 2", PIMPR_BUSINESS2_TELEPHONE_NUMBER},
    {"Business Fax", PIMPR_BUSINESS_FAX_NUMBER},
    {"Assistant's Phone", PIMPR_ASSISTANT_TELEPHONE_NUMBER},
    {"Company", PIMPR_COMPANY_NAME},
    {"Job Title", PIMPR_JOB_TITLE},
    {"Department", PIMPR_DEPARTMENT},
    {"Office Location", PIMPR_OFFICE_LOCATION},
    {"Organizational ID Number", 0},
    {"Profession", 0},
    {"Account", PIMPR_ACCOUNT_NAME},
    {"Business Address", 0},
    {"Business Street", PIMPR_BUSINESS_ADDRESS_STREET},
    {"Business Street 2", 0},
    {"Business Street 3", 0},
    {"Business Address PO Box", 0},
    {"Business City", PIMPR_BUSINESS_ADDRESS_CITY},
    {"Business State", PIMPR_BUSINESS_ADDRESS_STATE},
    {"Business Postal Code", PIMPR_BUSINESS_ADDRESS_POSTAL_CODE},
    {"Business Country", PIMPR_BUSINESS_ADDRESS_COUNTRY},
    {"Other Phone", 0},
    {"Other Fax", 0},
    {"Other Address", 0},
    {"Other Street", PIMPR_OTHER_ADDRESS_STREET},
    {"Other Street 2", 0},
    {"Other Street 3", 0},
    {"Other Address PO Box", 0},
    {"Other City", PIMPR_OTHER_ADDRESS_CITY},
    {"Other State", PIMPR_OTHER_ADDRESS_STATE},
    {"Other Postal Code", PIMPR_OTHER_ADDRESS_POSTAL_CODE},
    {"Other Country", PIMPR_OTHER_ADDRESS_COUNTRY},
    {"Callback", 0},
    {"Car Phone", PIMPR_CAR_TELEPHONE_NUMBER},
    {"ISDN", 0},
    {"Radio Phone", PIMPR_RADIO_TELEPHONE_NUMBER},
    {"TTY/TDD Phone", 0},
    {"Telex", 0},
    {"User 1", 0},
    {"User 2", 0},
    {"User 3", 0},
    {"User 4", 0},
    {"Keywords", 0},
    {"Mileage", 0},
    {"Hobby", 0},
    {"Billing Information", 0},
    {"Directory Server", 0},
    {"Sensitivity", 0},
    {"Priority", 0},
    {"Private", 0},
    {"Categories", PIMPR_CATEGORIES},
};

// The stored ISO text's day ("1980-05-17"), as Google writes it.
std::string iso_day(const std::string& iso);
// Outlook writes a day as month/day/year ("5/17/1980").
std::string outlook_day(const std::string& iso);
// Either form back to ISO; nothing for a text that is no whole day.
std::optional<std::string> read_day(const std::string& text);

}  // namespace vardel::host::address_book
