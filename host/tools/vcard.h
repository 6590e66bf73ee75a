// vCard in and out: contacts exported by other phones and address books
// (vCard 2.1 as old phones wrote it, 3.0 and 4.0) become device contacts,
// and device contacts become vCard 4.0 (or 3.0) files.
//
// Reading: folded lines, quoted-printable values (with soft line breaks),
// CHARSET parameters (GB2312, GBK, Big5, ISO-8859-x, ... through iconv), bare
// 2.1 type parameters ("TEL;WORK;FAX:") and TYPE lists; several cards per
// file. A card that cannot be read (one that begins inside another) is
// skipped with a warning naming its first line; the others are imported.
// The last card of a file cut short, without END:VCARD, is kept with a
// warning naming its first line and the file's last. A line that is no vCard line (a "#"
// comment, junk) and a property that cannot be read are skipped with a
// warning, never the card. Line ends may be CR, LF, CR LF or CR CR LF; the
// file may be UTF-8 (with or without a byte order mark) or UTF-16. Text that
// is not in its declared charset, or not UTF-8 when none is declared, is
// read in the charset a detector finds (vcard_charset.h), and said so. A
// property the phone keeps once, given twice, keeps the first value and
// names the second in a warning; notes are joined.
//
// Which vCard property each contact property is, both ways, is the contact
// field table's (host/formats/contact_fields.h): FN, N, TEL by type
// (X-MS-TEL for the assistant, radio and company numbers), EMAIL and IMPP
// with X-SLOT, ORG, ADR work/home/other, BDAY, ANNIVERSARY, RELATED and the
// X- properties of the phone's other fields. A value whose slot is taken
// goes to the next free slot of its kind (a second fax to the home fax, an
// OTHER number to the first free telephone, a second work address to the
// other address); only with none free is it left out, and said so. Peers'
// other names for the same properties (X-AIM, X-EVOLUTION-SPOUSE, ...) are
// read too.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/poom/contact_db.h"

namespace vardel::tools {

struct VcardImport {
  std::vector<poom::ContactRecord> contacts;
  // The cards' UIDs, one per contact ("" for a card without one).
  std::vector<std::string> uids;
  // What was left out or read otherwise than the file says, one line each,
  // naming the line and the property: "line 12: ORG: ...".
  std::vector<std::string> warnings;
  std::vector<std::string> notes;  // how the file was read ("read as UTF-16LE")
};

// Reads every card of a vCard file (any bytes: this is the reader's one
// entry point, safe for hostile input).
VcardImport read_vcards(std::string_view file_bytes);

enum class VcardVersion { v3, v4 };

// uids[i], when there and not empty, is written as the UID of contacts[i]
// (right after VERSION).
std::string write_vcards(const std::vector<poom::ContactRecord>& contacts,
                         VcardVersion version = VcardVersion::v4,
                         const std::vector<std::string>& uids = {});

}  // namespace vardel::tools
