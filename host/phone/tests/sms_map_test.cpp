// SMS parts from the phone, sorted into folders and joined.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "host/phone/gammu_text.h"
#include "host/phone/sms_map.h"

namespace vardel::phone {
namespace {

class Sms {
 public:
  Sms(GSM_SMSMessageType pdu, GSM_SMS_State state) : m_(std::make_unique<GSM_SMSMessage>()) {
    m_->PDU = pdu;
    m_->State = state;
    m_->Coding = SMS_Coding_Default_No_Compression;
    m_->UDH.Type = UDH_NoUDH;
  }
  Sms& text(const std::u16string& t, GSM_Coding_Type coding = SMS_Coding_Default_No_Compression) {
    to_gammu(t, m_->Text, gammu_limit(m_->Text));
    m_->Coding = coding;
    return *this;
  }
  Sms& number(const std::u16string& n) {
    to_gammu(n, m_->Number, gammu_limit(m_->Number));
    return *this;
  }
  Sms& part(int reference, int part, int parts) {
    m_->UDH.Type = UDH_ConcatenatedMessages;
    m_->UDH.ID8bit = reference;
    m_->UDH.PartNumber = part;
    m_->UDH.AllParts = parts;
    return *this;
  }
  Sms& at(int y, int mo, int d, int h, int mi, int s) {
    m_->DateTime = GSM_DateTime{0, s, mi, h, d, mo, y};
    return *this;
  }
  SmsPart read() const { return part_from_sms(*m_); }

 private:
  std::unique_ptr<GSM_SMSMessage> m_;
};

TEST(SmsMap, FoldersFollowWhatTheMessageIs) {
  EXPECT_EQ(Sms(SMS_Deliver, SMS_UnRead).read().folder, mapi::FolderKind::inbox);
  EXPECT_EQ(Sms(SMS_Submit, SMS_Sent).read().folder, mapi::FolderKind::sent);
  EXPECT_EQ(Sms(SMS_Submit, SMS_UnSent).read().folder, mapi::FolderKind::drafts);
  EXPECT_EQ(Sms(SMS_Status_Report, SMS_Read).read().kind, SmsPart::Kind::report);
  EXPECT_EQ(Sms(SMS_Deliver, SMS_Read).text(u"", SMS_Coding_8bit).read().kind, SmsPart::Kind::data);
}

TEST(SmsMap, ThePhonesTimeIsTakenAsLocalTime) {
  ::setenv("TZ", "Asia/Shanghai", 1);
  ::tzset();
  const SmsPart p = Sms(SMS_Deliver, SMS_Read).at(2024, 2, 29, 8, 0, 0).read();
  ASSERT_TRUE(p.time.has_value());
  EXPECT_EQ(mapi::filetime_ticks(*p.time),
            mapi::filetime_ticks(mapi::utc_filetime(2024, 2, 29, 0, 0, 0)));
  EXPECT_FALSE(Sms(SMS_Deliver, SMS_Read).read().time.has_value());  // no date at all
  ::unsetenv("TZ");
  ::tzset();
}

TEST(SmsMap, LongMessagesAreJoinedInPartOrderAndTheRestPassThrough) {
  std::vector<SmsPart> parts = {
      Sms(SMS_Deliver, SMS_Read).number(u"10086").text(u"world").part(7, 2, 2).read(),
      Sms(SMS_Deliver, SMS_Read).number(u"10086").text(u"short").read(),
      // The same reference from another number is another message.
      Sms(SMS_Deliver, SMS_Read).number(u"10010").text(u"其他").part(7, 1, 2).read(),
      Sms(SMS_Deliver, SMS_Read)
          .number(u"10086")
          .text(u"hello ", SMS_Coding_Unicode_No_Compression)
          .part(7, 1, 2)
          .at(2020, 1, 1, 0, 0, 0)
          .read(),
      Sms(SMS_Submit, SMS_Sent).number(u"123").text(u"sent").read(),
      Sms(SMS_Deliver, SMS_Read).text(u"", SMS_Coding_8bit).part(9, 1, 2).read(),
      Sms(SMS_Deliver, SMS_Read).text(u"", SMS_Coding_8bit).part(9, 2, 2).read(),
      Sms(SMS_Status_Report, SMS_Read).read(),
  };
  const JoinedMessages j = join_parts(parts);
  ASSERT_EQ(j.messages.size(), 4u);
  EXPECT_EQ(j.messages[0].message.text, u"hello world");
  EXPECT_EQ(j.messages[0].message.sender, u"10086");
  EXPECT_TRUE(j.messages[0].message.delivery.has_value());  // the first part's time
  EXPECT_EQ(j.messages[1].message.text, u"short");
  EXPECT_EQ(j.messages[2].message.text, u"其他");
  EXPECT_EQ(j.messages[3].folder, mapi::FolderKind::sent);
  EXPECT_FALSE(j.messages[3].message.sender.has_value());
  ASSERT_EQ(j.messages[3].message.recipients.size(), 1u);
  EXPECT_EQ(j.messages[3].message.recipients[0], u"123");
  EXPECT_EQ(j.incomplete, 1);  // 10010's second part never came
  EXPECT_EQ(j.data, 1);
  EXPECT_EQ(j.reports, 1);
}

}  // namespace
}  // namespace vardel::phone
