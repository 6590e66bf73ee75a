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
//
// The reader streams: a file is read a card at a time (twice, since the
// charset of text that does not say its own is judged for the whole file
// first), in the memory of its largest card. A line or card beyond the
// bounds (LineReader::kMaxLine, kMaxCard) refuses the whole file with
// VcardFileError, naming the line.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "host/tools/vcard_line_reader.h"
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

// A card's raw lines may add up to this much at most.
inline constexpr size_t kMaxCard = 32u << 20;

struct VcardCard {
  poom::ContactRecord contact;
  std::string uid;  // "" for a card without one
};

// Reads every card of a vCard file (any bytes: safe for hostile input).
// open gives the file's bytes from its start, each time it is called.
// each is given the cards in the file's order and warn the warnings, each
// as soon as it is known (a card's own when the card is done). Returns the
// notes. Throws VcardFileError (and what open's source throws).
std::vector<std::string> read_vcard_stream(const std::function<VcardSource()>& open,
                                           const std::function<void(VcardCard&&)>& each,
                                           const std::function<void(std::string&&)>& warn);

// The same over bytes in memory, gathered.
VcardImport read_vcards(std::string_view file_bytes);

struct VcardFileImport {
  size_t added = 0;
  std::vector<std::string> notes;
};

// Adds the cards of a vCard file to the contacts database in one
// transaction (contact_db.h's ContactImport), written in batches as the
// file is read, and notes the file as `identity` in it. The file is read
// through its descriptor from its start, twice; its bytes must hash to
// `identity` as they are read, else it changed meanwhile and nothing is
// added. Throws VcardFileError (nothing added) for a file that cannot be
// read, holds no card, or is beyond the reader's bounds; std::runtime_error
// when the database cannot be written (nothing added either).
VcardFileImport import_vcard_fd(int fd, const std::filesystem::path& contacts_db,
                                const sql::FileIdentity& identity,
                                const std::function<void(std::string&&)>& warn);

enum class VcardVersion { v3, v4 };

// uids[i], when there and not empty, is written as the UID of contacts[i]
// (right after VERSION).
std::string write_vcards(const std::vector<poom::ContactRecord>& contacts,
                         VcardVersion version = VcardVersion::v4,
                         const std::vector<std::string>& uids = {});

}  // namespace vardel::tools
