// A connection to a real phone through libgammu: the phone named by a gammu
// configuration file and section, as the `gammu` command reads them.
//
// Every failure (no configuration, no phone answering, a connection lost or
// an entry the phone cannot give) is a PhoneError with one line naming the
// problem. Reading never changes the phone. One GammuPhone belongs to one
// thread.
#pragma once

#include <gammu.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vardel::phone {

class PhoneError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ConnectOptions {
  std::optional<std::filesystem::path> config;  // else ~/.gammurc, ..., /etc/gammurc
  int section = 0;                              // [gammu], then [gammu1], [gammu2], ...
};

struct MemoryUse {
  std::string memory;  // "ME", "SM"
  int used = -1;       // -1: the phone cannot tell
  int free = -1;
};

struct PhoneInfo {
  std::string manufacturer, model, imei;
  std::vector<MemoryUse> memories;
  int sms_used = -1, sms_size = -1;  // SIM and phone together
};

// libgammu's description of an error ("No response in specified timeout...").
std::string error_text(GSM_Error error);

class GammuPhone {
 public:
  explicit GammuPhone(const ConnectOptions& options);
  ~GammuPhone();
  GammuPhone(const GammuPhone&) = delete;
  GammuPhone& operator=(const GammuPhone&) = delete;

  PhoneInfo info();

  // Entries used in a phonebook memory, -1 when the phone cannot tell.
  int entries_used(GSM_MemoryType memory);
  // Calls `each` with every entry of the memory, categories given by name;
  // false when the phone has no such memory.
  bool read_memory(GSM_MemoryType memory, const std::function<void(const GSM_MemoryEntry&)>& each);

  // SMS the phone holds in all its folders, -1 when it cannot tell.
  int sms_used();
  // Calls `each` with every SMS of every folder (each part of a long one).
  void read_sms(const std::function<void(const GSM_SMSMessage&)>& each);

  // Adds an entry to the memory; ERR_NONE, or why the phone refused it.
  // Throws PhoneError when the connection is lost.
  GSM_Error add_entry(GSM_MemoryType memory, GSM_MemoryEntry* entry);

 private:
  [[noreturn]] void fail(const std::string& what, GSM_Error error);
  void name_categories(GSM_MemoryEntry* entry);

  GSM_StateMachine* s_ = nullptr;
  std::vector<std::pair<int, std::u16string>> categories_;  // resolved so far
};

}  // namespace vardel::phone
