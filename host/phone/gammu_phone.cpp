// A connection to a real phone through libgammu.
#include "host/phone/gammu_phone.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "host/phone/gammu_text.h"

namespace vardel::phone {

namespace {

// Errors that mean the phone or the line to it is gone, not that it
// refused one request.
bool connection_lost(GSM_Error e) {
  switch (e) {
    case ERR_DEVICEOPENERROR:
    case ERR_DEVICELOCKED:
    case ERR_DEVICENOTEXIST:
    case ERR_DEVICEBUSY:
    case ERR_DEVICENOPERMISSION:
    case ERR_DEVICENODRIVER:
    case ERR_DEVICENOTWORK:
    case ERR_DEVICEDTRRTSERROR:
    case ERR_DEVICECHANGESPEEDERROR:
    case ERR_DEVICEWRITEERROR:
    case ERR_DEVICEREADERROR:
    case ERR_DEVICEPARITYERROR:
    case ERR_TIMEOUT:
    case ERR_NOTCONNECTED:
    case ERR_PHONEOFF:
    case ERR_ABORTED:
      return true;
    default:
      return false;
  }
}

// Errors at the first read that mean the phone has no such memory or
// cannot list it.
bool no_such_memory(GSM_Error e) {
  return e == ERR_NOTSUPPORTED || e == ERR_NOTIMPLEMENTED || e == ERR_NOSIM ||
         e == ERR_MEMORY_NOT_AVAILABLE || e == ERR_SECURITYERROR;
}

std::string text_of(const char* s) { return s == nullptr ? std::string() : std::string(s); }

}  // namespace

std::string error_text(GSM_Error error) {
  std::string text = text_of(GSM_ErrorString(error));
  while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
  return text.empty() ? "error " + std::to_string(static_cast<int>(error)) : text;
}

GammuPhone::GammuPhone(const ConnectOptions& options) {
  INI_Section* ini = nullptr;
  const std::string forced = options.config ? options.config->string() : std::string();
  GSM_Error e = GSM_FindGammuRC(&ini, options.config ? forced.c_str() : nullptr);
  if (e != ERR_NONE || ini == nullptr) {
    if (ini) INI_Free(ini);
    if (options.config)
      throw PhoneError("cannot read the gammu configuration " + forced + " (" + error_text(e) +
                       ")");
    throw PhoneError(
        "no gammu configuration (~/.gammurc, ~/.config/gammu/config or /etc/gammurc): give "
        "--config FILE");
  }
  s_ = GSM_AllocStateMachine();
  if (s_ == nullptr) {
    INI_Free(ini);
    throw PhoneError("out of memory starting libgammu");
  }
  e = GSM_ReadConfig(ini, GSM_GetConfig(s_, 0), options.section);
  INI_Free(ini);
  if (e != ERR_NONE) {
    GSM_FreeStateMachine(s_);
    if (e == ERR_USING_DEFAULTS || e == ERR_NONE_SECTION)
      throw PhoneError("the gammu configuration has no section " +
                       std::string(options.section == 0
                                       ? "[gammu]"
                                       : "[gammu" + std::to_string(options.section) + "]"));
    throw PhoneError("cannot use the gammu configuration (" + error_text(e) + ")");
  }
  GSM_SetConfigNum(s_, 1);
  e = GSM_InitConnection(s_, 1);
  if (e != ERR_NONE) {
    const std::string device = text_of(GSM_GetConfig(s_, 0)->Device);
    GSM_FreeStateMachine(s_);
    throw PhoneError("no phone answers at " + (device.empty() ? "the configured port" : device) +
                     " (" + error_text(e) + ")");
  }
}

GammuPhone::~GammuPhone() {
  if (GSM_IsConnected(s_)) GSM_TerminateConnection(s_);
  GSM_FreeStateMachine(s_);
}

void GammuPhone::fail(const std::string& what, GSM_Error error) {
  if (connection_lost(error))
    throw PhoneError("the connection to the phone was lost " + what + " (" + error_text(error) +
                     ")");
  throw PhoneError("the phone failed " + what + " (" + error_text(error) + ")");
}

PhoneInfo GammuPhone::info() {
  PhoneInfo out;
  char text[GSM_MAX_INFO_LENGTH + 1] = {};
  if (GSM_GetManufacturer(s_, text) == ERR_NONE) out.manufacturer = text;
  std::memset(text, 0, sizeof text);
  if (GSM_GetModel(s_, text) == ERR_NONE) {
    out.model = text;
    const GSM_PhoneModel* known = GSM_GetModelInfo(s_);
    if (known != nullptr && known->model != nullptr && *known->model != '\0' &&
        out.model != known->model)
      out.model += " (" + std::string(known->model) + ")";
  }
  std::memset(text, 0, sizeof text);
  if (GSM_GetIMEI(s_, text) == ERR_NONE) out.imei = text;
  for (GSM_MemoryType m : {MEM_ME, MEM_SM}) {
    GSM_MemoryStatus status{};
    status.MemoryType = m;
    MemoryUse use;
    use.memory = GSM_MemoryTypeToString(m);
    if (GSM_GetMemoryStatus(s_, &status) == ERR_NONE) {
      use.used = status.MemoryUsed;
      use.free = status.MemoryFree;
    }
    out.memories.push_back(use);
  }
  GSM_SMSMemoryStatus sms{};
  if (GSM_GetSMSStatus(s_, &sms) == ERR_NONE) {
    out.sms_used = sms.SIMUsed + sms.PhoneUsed;
    out.sms_size = sms.SIMSize + sms.PhoneSize;
  }
  return out;
}

int GammuPhone::entries_used(GSM_MemoryType memory) {
  GSM_MemoryStatus status{};
  status.MemoryType = memory;
  return GSM_GetMemoryStatus(s_, &status) == ERR_NONE ? status.MemoryUsed : -1;
}

void GammuPhone::name_categories(GSM_MemoryEntry* entry) {
  for (int i = 0; i < entry->EntriesNum; ++i) {
    GSM_SubMemoryEntry& sub = entry->Entries[i];
    if (sub.EntryType != PBK_Category || sub.Number == -1) continue;
    auto known = std::find_if(categories_.begin(), categories_.end(),
                              [&](const auto& c) { return c.first == sub.Number; });
    std::u16string name;
    if (known != categories_.end()) {
      name = known->second;
    } else {
      GSM_Category category{};
      category.Type = Category_Phonebook;
      category.Location = sub.Number;
      if (GSM_GetCategory(s_, &category) == ERR_NONE) name = from_gammu(category.Name);
      categories_.emplace_back(sub.Number, name);
    }
    if (!name.empty() && to_gammu(name, sub.Text, gammu_limit(sub.Text))) sub.Number = -1;
  }
}

bool GammuPhone::read_memory(GSM_MemoryType memory,
                             const std::function<void(const GSM_MemoryEntry&)>& each) {
  const std::string where =
      std::string("reading phonebook memory ") + GSM_MemoryTypeToString(memory);
  auto entry = std::make_unique<GSM_MemoryEntry>();
  entry->MemoryType = memory;
  GSM_Error e = GSM_GetNextMemory(s_, entry.get(), TRUE);
  if (e == ERR_EMPTY) return true;
  if (no_such_memory(e)) {
    // Phones that cannot list a memory entry by entry are read location by
    // location up to the number of entries they say they hold.
    int left = entries_used(memory);
    if (left < 0) return false;
    for (int location = 1; left > 0 && location <= 100000; ++location) {
      *entry = GSM_MemoryEntry{};
      entry->MemoryType = memory;
      entry->Location = location;
      e = GSM_GetMemory(s_, entry.get());
      if (e == ERR_EMPTY) continue;
      if (e != ERR_NONE) fail(where + " at location " + std::to_string(location), e);
      --left;
      name_categories(entry.get());
      each(*entry);
      GSM_FreeMemoryEntry(entry.get());
    }
    return true;
  }
  while (e == ERR_NONE) {
    name_categories(entry.get());
    each(*entry);
    GSM_FreeMemoryEntry(entry.get());
    e = GSM_GetNextMemory(s_, entry.get(), FALSE);
  }
  if (e != ERR_EMPTY) fail(where + " after location " + std::to_string(entry->Location), e);
  return true;
}

int GammuPhone::sms_used() {
  GSM_SMSMemoryStatus status{};
  if (GSM_GetSMSStatus(s_, &status) != ERR_NONE) return -1;
  return status.SIMUsed + status.PhoneUsed + status.TemplatesUsed;
}

void GammuPhone::read_sms(const std::function<void(const GSM_SMSMessage&)>& each) {
  auto sms = std::make_unique<GSM_MultiSMSMessage>();
  GSM_Error e = GSM_GetNextSMS(s_, sms.get(), TRUE);
  if (e == ERR_EMPTY || no_such_memory(e)) return;
  while (e == ERR_NONE) {
    for (int i = 0; i < sms->Number && i < GSM_MAX_MULTI_SMS; ++i) each(sms->SMS[i]);
    e = GSM_GetNextSMS(s_, sms.get(), FALSE);
  }
  if (e != ERR_EMPTY)
    fail("reading SMS after folder " + std::to_string(sms->SMS[0].Folder) + " location " +
             std::to_string(sms->SMS[0].Location),
         e);
}

GSM_Error GammuPhone::add_entry(GSM_MemoryType memory, GSM_MemoryEntry* entry) {
  entry->MemoryType = memory;
  entry->Location = 0;
  const GSM_Error e = GSM_AddMemory(s_, entry);
  if (connection_lost(e)) fail("adding a phonebook entry", e);
  return e;
}

}  // namespace vardel::phone
