// A phone for the tests: gammu's dummy driver, which keeps a phone's
// phonebook and SMS as files in a folder, and a fresh device beside it.
// Phones are filled through libgammu's own add calls, as a real phone is.
#pragma once

#include <gammu.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "host/phone/gammu_phone.h"
#include "host/phone/gammu_text.h"
#include "platform/core/device.h"
#include "platform/core/wstr.h"
#include "platform/mapi/message_db.h"
#include "platform/poom/contact_db.h"
#include "test_support/files.h"
#include "test_support/temp_device.h"

namespace vardel::phone::testing {

namespace fs = std::filesystem;

// Writes a gammurc for a dummy phone in `folder` (made with the folders
// the driver expects).
inline fs::path dummy_gammurc(const fs::path& dir, const fs::path& folder,
                              const std::string& name = "gammurc") {
  for (const char* sub :
       {"pbk/ME", "pbk/SM", "pbk/MC", "pbk/RC", "pbk/DC", "sms/1", "sms/2", "sms/3", "sms/4",
        "sms/5", "fs/incoming", "note", "todo", "calendar", "alarm"})
    fs::create_directories(folder / sub);
  const fs::path rc = dir / name;
  std::ofstream(rc) << "[gammu]\nmodel = dummy\nconnection = none\ndevice = " << folder.string()
                    << "\n";
  return rc;
}

// A state machine on the dummy phone, for what the program never does to a
// phone (adding SMS).
class RawPhone {
 public:
  explicit RawPhone(const fs::path& rc) {
    INI_Section* ini = nullptr;
    EXPECT_EQ(GSM_FindGammuRC(&ini, rc.c_str()), ERR_NONE);
    s_ = GSM_AllocStateMachine();
    EXPECT_EQ(GSM_ReadConfig(ini, GSM_GetConfig(s_, 0), 0), ERR_NONE);
    INI_Free(ini);
    GSM_SetConfigNum(s_, 1);
    EXPECT_EQ(GSM_InitConnection(s_, 1), ERR_NONE);
  }
  ~RawPhone() {
    GSM_TerminateConnection(s_);
    GSM_FreeStateMachine(s_);
  }
  RawPhone(const RawPhone&) = delete;
  RawPhone& operator=(const RawPhone&) = delete;

  // Saves a text SMS (split into parts when long) into a phone folder:
  // 1 SIM inbox, 2 SIM outbox, 3 phone inbox, 4 phone outbox.
  void add_sms(int folder, const std::u16string& text, const std::u16string& number,
               GSM_SMSMessageType pdu, GSM_SMS_State state, const GSM_DateTime& when,
               bool unicode = false) {
    GSM_MultiPartSMSInfo info;
    GSM_ClearMultiPartSMSInfo(&info);
    std::vector<unsigned char> buffer((text.size() + 1) * 2);
    to_gammu(text, buffer.data(), text.size());
    info.EntriesNum = 1;
    info.UnicodeCoding = unicode ? TRUE : FALSE;
    info.Entries[0].ID = SMS_ConcatenatedTextLong;
    info.Entries[0].Buffer = buffer.data();
    auto multi = std::make_unique<GSM_MultiSMSMessage>();
    ASSERT_EQ(GSM_EncodeMultiPartSMS(nullptr, &info, multi.get()), ERR_NONE);
    for (int i = 0; i < multi->Number; ++i) {
      GSM_SMSMessage& sms = multi->SMS[i];
      sms.Folder = folder;
      sms.PDU = pdu;
      sms.State = state;
      sms.DateTime = when;
      sms.SMSC.Location = 0;
      to_gammu(number, sms.Number, number.size());
      ASSERT_EQ(GSM_AddSMS(s_, &sms), ERR_NONE);
    }
  }

  GSM_StateMachine* get() { return s_; }

 private:
  GSM_StateMachine* s_ = nullptr;
};

inline GSM_DateTime when(int y, int mo, int d, int h, int mi, int s) {
  GSM_DateTime t{};
  t.Year = y;
  t.Month = mo;
  t.Day = d;
  t.Hour = h;
  t.Minute = mi;
  t.Second = s;
  return t;
}

class DummyPhoneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    phone_dir_ = dir_ / "phone";
    rc_ = dummy_gammurc(dir_, phone_dir_);
    // Phone times are local times: make them exact.
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    mapi::MessageDb messages(device::messages_db());
  }

  ConnectOptions options() const { return ConnectOptions{rc_, 0}; }

  // What the device holds: every contact with its oid, every message with
  // its store, folder and id, and the record of the last pull.
  static std::string device_state() {
    std::string out;
    for (const auto& c : poom::list_stored_contacts()) {
      out += "contact " + std::to_string(c.oid);
      for (const auto& p : c.record) out += " " + std::to_string(p.tag) + "=" + utf8(p.text);
      out += "\n";
    }
    mapi::MessageDb db(device::messages_db());
    for (const auto& store : db.stores())
      for (const auto& folder : db.folders(store.id))
        for (const auto& m : db.messages(folder.id)) {
          out += utf8(store.name) + "/" + utf8(folder.name) + " " + std::to_string(m.id) + " " +
                 utf8(m.message.text.value_or(u"-")) + " from " +
                 utf8(m.message.sender.value_or(u"-")) + " to";
          for (const auto& r : m.message.recipients) out += " " + utf8(r.value_or(u"-"));
          if (m.message.delivery)
            out += " at " + std::to_string(mapi::filetime_ticks(*m.message.delivery));
          out += "\n";
        }
    out += vardel::testing::read_file(device::system_dir() / "phone-pull.json");
    return out;
  }

  // The device lies in dir_ (as "device"), beside the dummy phone's folder.
  vardel::testing::TempDevice device_{vardel::testing::kContactsDb};
  const fs::path& dir_ = device_.outer();
  fs::path phone_dir_, rc_;
};

}  // namespace vardel::phone::testing
