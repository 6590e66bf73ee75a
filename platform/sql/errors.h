// SQLite's result codes as the stand-ins report them: HRESULTs for the COM
// side, and an exception for code that reports failures by throwing.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/core/types.h"

struct sqlite3;

namespace vardel::sql {

inline constexpr HRESULT kHrCorrupt = static_cast<HRESULT>(0x80070570);     // ERROR_FILE_CORRUPT
inline constexpr HRESULT kHrOpenFailed = static_cast<HRESULT>(0x8007006E);  // ERROR_OPEN_FAILED
inline constexpr HRESULT kHrBusy = static_cast<HRESULT>(0x800700AA);        // ERROR_BUSY

// S_OK for OK, DONE and ROW; STG_E_MEDIUMFULL for a full disk; E_OUTOFMEMORY;
// kHrCorrupt for a damaged file or one that is no database; kHrOpenFailed
// when it cannot be opened or is not ours to open; kHrBusy while another
// connection keeps it locked past the wait; else E_FAIL.
HRESULT hr_from_sqlite(int rc);

// A failed SQLite call: what was being done, SQLite's message, its code.
class Error : public std::runtime_error {
 public:
  Error(const std::string& what, int rc) : std::runtime_error(what), rc_(rc) {}
  int code() const { return rc_; }
  HRESULT hr() const { return hr_from_sqlite(rc_); }

 private:
  int rc_;
};

// Throws an Error for the connection's last failure: "<where> <what>: <message>".
[[noreturn]] void raise(sqlite3* db, const std::string& where, const char* what);

}  // namespace vardel::sql
