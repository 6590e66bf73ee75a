// Contacts as the CSV files of the two address books people move between:
// Google Contacts ("Name, Given Name, ..., E-mail 1 - Type, E-mail 1 -
// Value, Phone 1 - Type, Phone 1 - Value, ...", one numbered group per kind
// of value, several values of one type joined by " ::: ") and Outlook (its
// fixed set of columns, "First Name, Middle Name, Last Name, ..., Mobile
// Phone, ...", UTF-8 with a byte order mark). Both are RFC 4180 with CR LF
// row ends; a cell is quoted only when it must be, as in the program's own
// CSV.
//
// Each layout has a column for most of the phone's fields; what has none is
// not written (Google: government and customer ids, account; Outlook: the
// file-as name, nickname, IM addresses, phonetic company name, government
// and customer ids). Reading back, a file of either layout is recognised by
// its header row; columns of the layout the phone has no field for are
// named in a warning, and a value whose slot is taken goes to the next free
// slot of its kind, as the vCard reader places it.
//
// Written by address_book_csv_write.cpp and read by address_book_csv_read.cpp,
// both from the column tables of address_book_columns.h.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/poom/contact_db.h"

namespace vardel::host {

// phone: the phone's own property names as columns ("FileAs,FirstName,
// MobileTelephoneNumber,..."; "0x..." for a property without one), as
// `contacts export FILE.csv` writes them (exports.h); read here, written
// there.
enum class CsvLayout { google, outlook, phone };

std::string address_book_csv(const std::vector<poom::ContactRecord>& contacts, CsvLayout layout);

// The layout whose header row the file starts with; nothing for another file.
std::optional<CsvLayout> address_book_csv_layout(std::string_view bytes);

struct CsvContacts {
  std::vector<poom::ContactRecord> contacts;
  std::vector<std::string> warnings;  // "row 3: ..." or about the header
};
// Reads a file address_book_csv_layout recognises (throws UsageError for
// another, or for a row that cannot be read). A phone layout's cells are
// the properties' texts as they stand.
CsvContacts read_address_book_csv(std::string_view bytes);

}  // namespace vardel::host
