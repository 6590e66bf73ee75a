// Reading a saved file back: is it well-formed XML, how many records does
// it hold, and what is its SHA-256, in one pass over the bytes.
//
// The save reads its new file back before it replaces the old one, and the
// host's verify reads every backup file the same way, so both agree on what
// a record is: an element directly inside the root element.
//
// The file is streamed, so memory stays small whatever the file's size. A
// plain document, as the program writes, is proved well-formed by a quick
// scan (plain_scan.h); any other file is judged by libxml2's push parser,
// which also names what is wrong. Nothing is fetched from the network and no
// entity is expanded: a file with a document type declaration is refused,
// as the program never writes one. Thread-safe.
#pragma once

#include <cstddef>
#include <string>

namespace vardel::msxml {

struct SavedFile {
  bool well_formed = false;
  std::string root;    // the root element's name (UTF-8), empty when there is none
  size_t records = 0;  // elements directly inside the root element
  std::string sha256;  // of every byte of the file
  std::string error;   // why it is not well-formed: "line 3: ..."
};

// Reads the file open at fd from offset 0 to its end (the offset is left
// alone). False, with errno set, when it can't be read; true otherwise,
// whatever the file holds.
bool check_saved_file(int fd, SavedFile* out);

// The same, with every file judged by libxml2: what the quick scan must
// agree with wherever it proves a file.
bool parse_saved_file(int fd, SavedFile* out);

}  // namespace vardel::msxml
