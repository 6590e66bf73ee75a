// vCard in and out: contacts exported by other phones and address books
// (vCard 2.1 as old phones wrote it, 3.0 and 4.0) become device contacts,
// and device contacts become vCard 4.0 (or 3.0) files.
//
// Reading: folded lines, quoted-printable values (with soft line breaks),
// CHARSET parameters (GB2312, GBK, Big5, ISO-8859-x, ... through iconv), bare
// 2.1 type parameters ("TEL;WORK;FAX:") and TYPE lists; several cards per
// file. A card that cannot be read is skipped with a warning naming its
// first line; the others are imported. Text without a charset is taken as
// UTF-8, and as GB18030 when it is not valid UTF-8 (what Chinese phones wrote).
//
// The property map (both ways):
//   FN / SORT-STRING / N;SORT-AS   FileAs (the sort string when there is one)
//   N                              LastName;FirstName
//   NICKNAME                       Nickname
//   TEL  work,voice / work (2nd)   Business / Business2 telephone
//        cell                      Mobile
//        home / home (2nd)         Home / Home2 telephone
//        work,fax / home,fax       Business / Home fax
//        pager, car                Pager, Car telephone
//   X-MS-TEL;TYPE=ASSISTANT|RADIO|COMPANY (also TEL;TYPE=X-ASSISTANT, ...)
//                                  Assistant / Radio / Company telephone
//   EMAIL (three)                  Email1..3
//   IMPP, X-AIM, X-MSN, X-ICQ, X-JABBER, X-YAHOO, X-QQ, X-SKYPE (three)  IM1..3
//   URL                            WebPage
//   ORG                            CompanyName;Department
//   TITLE                          JobTitle
//   X-MS-OFFICE, X-MS-MANAGER, X-MS-ASSISTANT (also X-OFFICE, X-MANAGER, X-ASSISTANT)
//   ADR work / home / other        the three postal addresses
//   BDAY, ANNIVERSARY (3.0: X-ANNIVERSARY)
//   RELATED;TYPE=spouse|child (3.0: X-SPOUSE, X-CHILDREN)
//   X-GOVERNMENT-ID, X-CUSTOMER-ID, X-ACCOUNT
//   CATEGORIES, NOTE
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/poom/contact_db.h"

namespace vardel::tools {

struct VcardImport {
  std::vector<poom::ContactRecord> contacts;
  std::vector<std::string> warnings;  // "line 12: ..." one per skipped card or value
};

VcardImport read_vcards(std::string_view file_bytes);

enum class VcardVersion { v3, v4 };

std::string write_vcards(const std::vector<poom::ContactRecord>& contacts,
                         VcardVersion version = VcardVersion::v4);

}  // namespace vardel::tools
