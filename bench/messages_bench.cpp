// Messages backup at scale: N messages (half received, half sent with one
// recipient each) in a fresh device, then one backup as the job runs it.
// Prints the wall time of the backup, its peak memory (resident set high-water
// mark, reset after the device is filled) and the size of the saved file.
//
// Also the CPU time (user + system) of the backup, which the machine's load
// does not inflate. --no-log leaves out the documents folder, so the
// diagnostic log can't be opened and its cost drops out of the figures.
// --walk-only makes every element creation fail, so the document stays
// empty: what remains is the MAPI walk and the merge alone.
//
//   bench_messages_bench [count=1000000] [--keep] [--no-log] [--walk-only]
#include <stdlib.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/measure.h"
#include "platform/core/device.h"
#include "platform/core/fault.h"
#include "platform/core/wstr.h"
#include "platform/mapi/message_db.h"
#include "platform/platform.h"
#include "platform/poom/contact_db.h"
#include "xml/XMLTextWriter.h"

int main(int argc, char** argv) {
  long count = 1000000;
  bool keep = false;
  bool log = true;
  bool walk_only = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--keep") == 0)
      keep = true;
    else if (std::strcmp(argv[i], "--no-log") == 0)
      log = false;
    else if (std::strcmp(argv[i], "--walk-only") == 0)
      walk_only = true;
    else
      count = std::atol(argv[i]);
  }

  char tmpl[] = "/tmp/vardel-bench-messages-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  std::filesystem::path root = tmpl;
  vardel::device::set_root(root);
  vardel::platform::register_classes();
  vardel::poom::create_contacts_db();
  if (log) std::filesystem::create_directories(root / "My Documents");
  std::filesystem::create_directories(root / "Storage Card" / "vardelbackup");

  auto t0 = std::chrono::steady_clock::now();
  {
    vardel::mapi::MessageDb db(vardel::device::messages_db());
    auto store = db.add_store(u"SMS");
    auto inbox = db.folder(store, vardel::mapi::FolderKind::inbox);
    auto sent = db.folder(store, vardel::mapi::FolderKind::sent);
    auto base = vardel::mapi::filetime_ticks(vardel::mapi::utc_filetime(2009, 1, 1, 0, 0, 0));
    db.begin();
    for (long i = 0; i < count; ++i) {
      vardel::mapi::Message m;
      std::u16string number = u"1380013" + vardel::utf16(std::to_string(1000 + i % 9000));
      m.text = u"短信 " + vardel::utf16(std::to_string(i)) +
               u"：明天下午三点在老地方见，别忘了带上文件。";
      m.delivery =
          vardel::mapi::filetime_from_ticks(base + static_cast<std::uint64_t>(i) * 600000000ULL);
      if (i % 2) {
        m.recipients.push_back(number);
        db.add_message(sent, m);
      } else {
        m.sender = number;
        db.add_message(inbox, m);
      }
    }
    db.commit();
  }
  double fill = seconds_since(t0);

  reset_peak();
  long before = peak_kib();
  t0 = std::chrono::steady_clock::now();
  double cpu0 = cpu_seconds();
  int result = 0;
  {
    CXMLTextWriter writer;
    if (writer.Open(DOCUMENT_MESSAGES)) {
      if (walk_only) vardel::fault::arm("msxml.createElement", E_FAIL, 1, 0);
      result = writer.SavePhoneMessagesToXML(u"\\Storage Card\\vardelbackup\\短信.xml");
    }
    writer.Close();
    vardel::fault::reset();
  }
  double backup = seconds_since(t0);
  double cpu = cpu_seconds() - cpu0;
  long peak = peak_kib();

  auto file = root / "Storage Card" / "vardelbackup" / "短信.xml";
  std::error_code ec;
  auto size = std::filesystem::file_size(file, ec);
  auto log_size = std::filesystem::file_size(root / "My Documents" / "debugmsg.txt", ec);
  if (ec) log_size = 0;
  std::printf("messages: %ld (fill %.1f s)\n", count, fill);
  std::printf("backup result: %d\n", result);
  std::printf("wall time: %.2f s (cpu %.2f s)\n", backup, cpu);
  std::printf("peak memory: %.1f MiB (%.1f MiB before the backup)\n", peak / 1024.0,
              before / 1024.0);
  std::printf("output size: %.1f MiB; peak / output = %.2f\n", size / 1048576.0,
              size ? peak * 1024.0 / static_cast<double>(size) : 0.0);
  std::printf("diagnostic log: %.1f MiB\n", log_size / 1048576.0);
  if (keep)
    std::printf("device kept at %s\n", root.c_str());
  else
    std::filesystem::remove_all(root, ec);
  return result == 1 ? 0 : 1;
}
