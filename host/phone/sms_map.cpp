// SMS from the phone into the messages store.
#include "host/phone/sms_map.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "host/phone/gammu_text.h"

namespace vardel::phone {

SmsPart part_from_sms(const GSM_SMSMessage& sms) {
  SmsPart p;
  if (sms.PDU == SMS_Status_Report) {
    p.kind = SmsPart::Kind::report;
    return p;
  }
  if (sms.PDU == SMS_Deliver)
    p.folder = mapi::FolderKind::inbox;
  else if (sms.State == SMS_Sent)
    p.folder = mapi::FolderKind::sent;
  else
    p.folder = mapi::FolderKind::drafts;

  if (auto n = from_gammu(sms.Number); !n.empty()) p.numbers.push_back(std::move(n));
  for (int i = 0; i < sms.OtherNumbersNum && i < GSM_SMS_OTHER_NUMBERS; ++i)
    if (auto n = from_gammu(sms.OtherNumbers[i]); !n.empty()) p.numbers.push_back(std::move(n));

  if (sms.Coding == SMS_Coding_Default_No_Compression ||
      sms.Coding == SMS_Coding_Unicode_No_Compression)
    p.text = from_gammu(sms.Text);
  else
    p.kind = SmsPart::Kind::data;
  p.time = local_time_to_utc(sms.DateTime);

  const GSM_UDHHeader& udh = sms.UDH;
  if ((udh.Type == UDH_ConcatenatedMessages || udh.Type == UDH_ConcatenatedMessages16bit) &&
      udh.AllParts > 1 && udh.PartNumber >= 1) {
    p.reference = udh.Type == UDH_ConcatenatedMessages16bit ? udh.ID16bit : udh.ID8bit;
    p.part = udh.PartNumber;
    p.parts = udh.AllParts;
  }
  return p;
}

namespace {

PulledMessage message_of(const SmsPart& p) {
  PulledMessage m;
  m.folder = p.folder;
  m.message.text = p.text;
  m.message.delivery = p.time;
  if (p.folder == mapi::FolderKind::inbox) {
    if (!p.numbers.empty()) m.message.sender = p.numbers.front();
  } else {
    for (const auto& n : p.numbers) m.message.recipients.emplace_back(n);
  }
  return m;
}

}  // namespace

JoinedMessages join_parts(const std::vector<SmsPart>& parts) {
  JoinedMessages out;
  using Key = std::tuple<mapi::FolderKind, std::u16string, int, int>;
  std::map<Key, std::size_t> long_messages;  // -> index in `groups`
  std::vector<std::vector<const SmsPart*>> groups;
  for (const SmsPart& p : parts) {
    if (p.kind == SmsPart::Kind::report) {
      ++out.reports;
      continue;
    }
    if (p.kind == SmsPart::Kind::data) {
      // One data message may come in several parts; count it once.
      if (p.parts == 0 || p.part == 1) ++out.data;
      continue;
    }
    if (p.parts == 0) {
      groups.push_back({&p});
      continue;
    }
    const Key key{p.folder, p.numbers.empty() ? u"" : p.numbers.front(), p.reference, p.parts};
    auto [it, fresh] = long_messages.emplace(key, groups.size());
    if (fresh) groups.emplace_back();
    groups[it->second].push_back(&p);
  }
  for (auto& group : groups) {
    std::stable_sort(group.begin(), group.end(),
                     [](const SmsPart* a, const SmsPart* b) { return a->part < b->part; });
    PulledMessage m = message_of(*group.front());
    if (group.front()->parts > 0) {
      std::u16string text;
      int seen = 0, last = 0;
      for (const SmsPart* p : group) {
        if (p->part == last) continue;  // the same part twice
        last = p->part;
        ++seen;
        text += p->text;
      }
      m.message.text = std::move(text);
      if (seen < group.front()->parts) ++out.incomplete;
    }
    out.messages.push_back(std::move(m));
  }
  return out;
}

}  // namespace vardel::phone
