// The backup files byte for byte, as the whole program writes them: the demo
// phone's, and a larger phone's whose records span many of the blocks and
// runs the stores and the document keep beneath the program's calls. Making
// those layers faster must never change one byte of what is written; the
// digests below are those of the files as they were before.
#include <string>

#include "host/tests/cli_fixture.h"
#include "platform/core/sha256.h"

namespace {

using namespace vardel_test;

class WrittenBytes : public Cli {
 protected:
  void SetUp() override { env_ = "TZ=UTC"; }

  std::string digest(const char* name) {
    vardel::core::Sha256 sha;
    sha.update(read_file(backup_dir() / name));
    return sha.hex();
  }
};

// Contacts and messages with what a real phone holds: names out of creation
// order, numbers with and without a prefix, texts that need escaping, long
// texts, messages without a time, several recipients, a recipient without an
// address, characters outside the basic plane.
struct Phone {
  std::string contacts, messages;  // as JSON for the import commands
};

Phone LargerPhone() {
  std::string c = "[";
  for (int i = 0; i < 700; ++i) {
    const int n = (i * 389) % 700;  // file-as names out of creation order
    if (i) c += ",";
    c += "{\"FileAs\":\"姓" + std::to_string(n) + ", 名\",\"LastName\":\"姓" + std::to_string(n) +
         "\",\"FirstName\":\"名\",\"MobileTelephoneNumber\":\"" + (i % 3 ? "+86 " : "") + "138" +
         std::to_string(10000000 + i) + "\"";
    if (i % 4 == 0) c += ",\"Email1Address\":\"u" + std::to_string(i) + "@example.com\"";
    if (i % 5 == 0) c += ",\"Birthday\":\"1980-0" + std::to_string(1 + i % 9) + "-17\"";
    if (i % 7 == 0) c += ",\"Body\":\"note & <b> \\\"quoted\\\" \U0001F600\\r\\nline 2\"";
    c += "}";
  }
  c += "]";

  std::string inbox, sent;
  for (int i = 0; i < 2500; ++i) {
    const std::string number = "1380013" + std::to_string(1000 + i % 97);
    const std::string time = i % 211 == 0
                                 ? ""
                                 : ",\"time\":\"2011-0" + std::to_string(1 + i % 9) + "-" +
                                       std::to_string(10 + i % 18) + "T0" + std::to_string(i % 10) +
                                       ":3" + std::to_string(i % 10) + ":00Z\"";
    std::string text = "短信 " + std::to_string(i) + (i % 13 == 0 ? " a&b <c> ]]>" : "") +
                       (i % 17 == 0 ? std::string(300, 'x') : "") + (i % 19 == 0 ? " 𠀀" : "");
    if (i % 2 == 0) {
      if (!inbox.empty()) inbox += ",";
      inbox += "{\"from\":\"" + number + "\",\"text\":\"" + text + "\"" + time + "}";
    } else {
      std::string to = "\"" + number + "\"";
      if (i % 9 == 1) to += ",\"10086\",\"+86 10010\"";
      if (!sent.empty()) sent += ",";
      sent += "{\"to\":[" + to + "],\"text\":\"" + text + "\"" + time + "}";
    }
  }
  return {c, "{\"stores\":[{\"name\":\"SMS\",\"inbox\":[" + inbox + "],\"sent\":[" + sent + "]}]}"};
}

TEST_F(WrittenBytes, TheDemoPhonesBackupIsWhatItWas) {
  ASSERT_EQ(vardel("device init --demo").status, 0);
  ASSERT_EQ(vardel("backup --yes").status, 0);
  EXPECT_EQ(digest("通讯录.xml"),
            "4ceeaeecd9ecc940f1edf4a74b71a2bcd93530266ea0ebee9bbbe33e73161478");
  EXPECT_EQ(digest("短信.xml"), "73d6922eb4f030cbc86fec8a59377320c3ba75d8bf1b4dc6c86abb5c5260fc10");
}

TEST_F(WrittenBytes, ALargerPhonesBackupIsWhatItWas) {
  ASSERT_EQ(vardel("device init").status, 0);
  const Phone phone = LargerPhone();
  ASSERT_EQ(vardel("contacts import '" + write("c.json", phone.contacts).string() + "'").status, 0);
  ASSERT_EQ(vardel("messages import '" + write("m.json", phone.messages).string() + "'").status, 0);
  ASSERT_EQ(vardel("backup --yes").status, 0);
  auto records = [&](const char* name) {
    const std::string text = read_file(backup_dir() / name);
    size_t n = 0;
    for (size_t at = text.find("<VCARD"); at != std::string::npos; at = text.find("<VCARD", at + 1))
      ++n;
    return n;
  };
  ASSERT_EQ(records("通讯录.xml"), 700u);
  ASSERT_EQ(records("短信.xml"), 2500u);
  EXPECT_EQ(digest("通讯录.xml"),
            "efaa744009c51ccbf58dded4e1a20b6ba6e859d6a3c92311a81d0355f38ac261");
  EXPECT_EQ(digest("短信.xml"), "8c8fedb619745b19dfee1202745e194acfdd9fb14d2b57cbced17b32f44dba52");
}

}  // namespace
