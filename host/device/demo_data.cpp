// Demo data for a new device: contacts with Chinese and Latin names (some of
// them twice, as a phone restored onto itself would hold them) and a few
// hundred SMS messages, plus a second store the backup must leave alone.
#include <cstdint>
#include <string>
#include <vector>

#include "host/device/device_tools.h"
#include "platform/core/device.h"
#include "platform/core/wstr.h"
#include "platform/mapi/message_db.h"
#include "platform/poom/contact_db.h"
#include "platform/poom/pimstore.h"

namespace vardel::host {

namespace {

struct DemoPerson {
  const char16_t* last;
  const char16_t* first;
  bool latin;
};

const DemoPerson kPeople[] = {
    {u"张", u"伟", false},        {u"王", u"芳", false},        {u"李", u"娜", false},
    {u"刘", u"洋", false},        {u"陈", u"静", false},        {u"杨", u"磊", false},
    {u"赵", u"敏", false},        {u"黄", u"军", false},        {u"周", u"杰", false},
    {u"吴", u"丽", false},        {u"徐", u"强", false},        {u"孙", u"艳", false},
    {u"马", u"超", false},        {u"朱", u"霞", false},        {u"胡", u"斌", false},
    {u"郭", u"晶", false},        {u"何", u"涛", false},        {u"高", u"玲", false},
    {u"林", u"峰", false},        {u"罗", u"琳", false},        {u"Smith", u"John", true},
    {u"Garcia", u"Maria", true},  {u"Müller", u"Jürgen", true}, {u"O'Brien", u"Siobhan", true},
    {u"Dubois", u"Amélie", true}, {u"Rossi", u"Luca", true},    {u"Kowalski", u"Anna", true},
    {u"Nguyen", u"Minh", true},   {u"Tanaka", u"Yuki", true},   {u"Andersson", u"Erik", true},
    {u"Silva", u"Pedro", true},   {u"Brown", u"Emily", true},
};

// A small deterministic generator, so every demo device is the same.
struct Lcg {
  std::uint32_t state;
  std::uint32_t next() {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  }
  int below(int n) { return static_cast<int>(next() % static_cast<std::uint32_t>(n)); }
};

std::u16string mobile_number(int i) { return utf16("13" + std::to_string(800000000 + i * 7919)); }

poom::ContactRecord make_contact(const DemoPerson& p, int i) {
  poom::ContactRecord c;
  std::u16string file_as =
      p.latin ? std::u16string(p.last) + u", " + p.first : std::u16string(p.last) + p.first;
  c.push_back({PIMPR_FILEAS, file_as});
  c.push_back({PIMPR_FIRST_NAME, p.first});
  c.push_back({PIMPR_LAST_NAME, p.last});
  c.push_back({PIMPR_MOBILE_TELEPHONE_NUMBER, mobile_number(i)});
  if (i % 3 == 0)
    c.push_back({PIMPR_BUSINESS_TELEPHONE_NUMBER, utf16("010-6" + std::to_string(5550000 + i))});
  if (i % 4 == 1)
    c.push_back({PIMPR_HOME_TELEPHONE_NUMBER, utf16("021-5" + std::to_string(4440000 + i))});
  if (i % 5 == 2)
    c.push_back({PIMPR_COMPANY_NAME, p.latin ? u"Example Trading & Co." : u"示例科技有限公司"});
  if (i % 2 == 0)
    c.push_back({PIMPR_EMAIL1_ADDRESS, utf16("user" + std::to_string(i) + "@example.com")});
  if (i % 7 == 3) c.push_back({PIMPR_HOME_ADDRESS_CITY, p.latin ? u"Springfield" : u"北京"});
  if (i % 9 == 4)
    c.push_back({PIMPR_BIRTHDAY, utf16("19" + std::to_string(70 + i % 25) + "-05-17")});
  return c;
}

const char16_t* const kInboxTexts[] = {
    u"晚上一起吃饭吗？",
    u"收到，谢谢！",
    u"会议改到下午三点。",
    u"Happy birthday! 🎂",
    u"Running late, be there in 10.",
    u"您的验证码是 482913，请勿告诉他人。",
    u"周末去爬山吧",
    u"Can you call me back?",
    u"快递已放在门卫室",
    u"Meeting moved to Friday <3 & thanks",
};
const char16_t* const kSentTexts[] = {
    u"好的，马上到。", u"OK, see you then.", u"明天见！",         u"Thanks a lot!",
    u"我在路上了",     u"Sure, 7pm works.",  u"已转账，请查收。", u"Call you later.",
};

}  // namespace

DemoCounts add_demo_data() {
  DemoCounts counts;
  const auto db = device::contacts_db();
  int i = 0;
  for (const auto& p : kPeople) {
    auto c = make_contact(p, i);
    poom::add_contact(c, db);
    ++counts.contacts;
    // Every fifth person is on the phone twice, as after restoring a backup
    // onto a phone that still held its contacts.
    if (i % 5 == 0) {
      poom::add_contact(c, db);
      ++counts.contacts;
    }
    // One namesake with another number: not a duplicate.
    if (i == 7) {
      c[3].text = mobile_number(1000 + i);
      poom::add_contact(c, db);
      ++counts.contacts;
    }
    ++i;
  }

  mapi::MessageDb messages(device::messages_db());
  messages.begin();
  Lcg rng{20090423u};
  const std::int64_t sms = messages.sms_store();
  const std::int64_t inbox = messages.folder(sms, mapi::FolderKind::inbox);
  const std::int64_t sent = messages.folder(sms, mapi::FolderKind::sent);
  const std::int64_t drafts = messages.folder(sms, mapi::FolderKind::drafts);
  std::uint64_t when = mapi::filetime_ticks(mapi::utc_filetime(2009, 1, 5, 1, 30, 0));
  const std::uint64_t minute = 600000000ull;
  for (int n = 0; n < 300; ++n) {
    when += minute * static_cast<std::uint64_t>(7 + rng.below(600));
    const int who = rng.below(static_cast<int>(std::size(kPeople)));
    mapi::Message m;
    m.delivery = mapi::filetime_from_ticks(when);
    if (rng.below(5) < 3) {
      m.text = kInboxTexts[rng.below(static_cast<int>(std::size(kInboxTexts)))];
      m.sender = (n % 17 == 0) ? std::u16string(u"10086") : mobile_number(who);
      messages.add_message(inbox, m);
    } else {
      m.text = kSentTexts[rng.below(static_cast<int>(std::size(kSentTexts)))];
      m.recipients.push_back(mobile_number(who));
      if (n % 23 == 0) m.recipients.push_back(mobile_number((who + 1) % 32));
      messages.add_message(sent, m);
    }
    ++counts.messages;
  }
  for (int n = 0; n < 3; ++n) {
    mapi::Message m;
    m.text = u"草稿：还没写完";
    messages.add_message(drafts, m);
    ++counts.messages;
  }
  const std::int64_t sync = messages.add_store(u"ActiveSync");
  const std::int64_t sync_inbox = messages.folder(sync, mapi::FolderKind::inbox);
  for (int n = 0; n < 20; ++n) {
    mapi::Message m;
    m.text = utf16("Weekly report " + std::to_string(n + 1));
    m.sender = u"reports@example.com";
    m.delivery = mapi::utc_filetime(2009, 2, 1 + n, 8, 0, 0);
    messages.add_message(sync_inbox, m);
    ++counts.messages;
  }
  messages.commit();
  return counts;
}

}  // namespace vardel::host
