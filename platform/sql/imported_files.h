// Which input files a store has taken in, so that running the same import
// again (the usual thing after a run was killed and printed nothing) adds
// nothing a second time. A file is known by its SHA-256 and size, noted in
// the table imported_files inside the import's own transaction: either the
// records and the note land together, or neither does.
//
// The table is made by the first note; a store without it has imported
// nothing by file, and looking is then only a read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/core/types.h"

struct sqlite3;

namespace vardel::sql {

struct FileIdentity {
  std::string sha256;  // 64 lowercase hex digits
  std::int64_t size = 0;
};

// When the file was last imported (FILETIME ticks, UTC), or nothing.
HRESULT imported_when(sqlite3* db, const FileIdentity& file, std::optional<std::int64_t>* when);

// Notes the file as imported at `when`, inside the caller's open transaction.
HRESULT note_imported(sqlite3* db, const FileIdentity& file, std::int64_t when);

}  // namespace vardel::sql
