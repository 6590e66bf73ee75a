// Messages backup at scale: a fresh device filled with messages (half
// received, half sent with one recipient each) in three steps, to 10 %, 50 %
// and 100 % of the count, and one backup as the job runs it after each step.
// For each size it prints the backup's wall time, its CPU time (user +
// system, which the machine's load does not inflate), messages per second
// by both clocks, the peak resident memory of the backup (high-water mark,
// reset before it) against the size of the saved file, and the size of the
// diagnostic log. The last line compares the rates: a backup whose cost grows
// faster than the store shows a falling rate.
//
// Then the floor: reading the same rows from the database with one query in
// the file's order (each message with its sender or last recipient) and
// writing a file of the same size (in 64 KiB pieces, flushed and renamed over
// its target as the save does), with nothing in between.
//
//   bench_messages_bench [count=1000000] [--keep] [--no-log] [--walk-only]
//                        [--device DIR] [--no-floor]
//
// --no-log leaves out the documents folder, so the diagnostic log can't be
// opened and its cost drops out of the figures. --walk-only makes every
// element creation fail, so the document stays empty: what remains is the
// MAPI walk and the merge alone. --device DIR backs up a device filled
// before (kept with --keep) once, without filling: what a profiler should
// look at. VARDEL_PERF_PHASE=backup, with perf's control fifos, samples the
// backups only (bench/perf_control.h).
#include <fcntl.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "bench/measure.h"
#include "bench/perf_control.h"
#include "platform/core/device.h"
#include "platform/core/device_lock.h"
#include "platform/core/fault.h"
#include "platform/core/wstr.h"
#include "platform/mapi/message_db.h"
#include "platform/platform.h"
#include "platform/poom/contact_db.h"
#include "messages/MessageStoreWalk.h"
#include "xml/XMLTextWriter.h"

namespace {

const WCHAR kFile[] = u"\\Storage Card\\vardelbackup\\短信.xml";

struct Options {
  long count = 1000000;
  bool keep = false;
  bool walk_only = false;
  bool log = true;
  bool floor = true;
  const char* device = nullptr;
};

// Adds messages from..to-1 of the sequence the benchmark fills with.
void Fill(long from, long to) {
  vardel::mapi::MessageDb db(vardel::device::messages_db());
  auto store = db.sms_store();
  auto inbox = db.folder(store, vardel::mapi::FolderKind::inbox);
  auto sent = db.folder(store, vardel::mapi::FolderKind::sent);
  auto base = vardel::mapi::filetime_ticks(vardel::mapi::utc_filetime(2009, 1, 1, 0, 0, 0));
  db.begin();
  for (long i = from; i < to; ++i) {
    vardel::mapi::Message m;
    std::u16string number = u"1380013" + vardel::utf16(std::to_string(1000 + i % 9000));
    m.text =
        u"短信 " + vardel::utf16(std::to_string(i)) + u"：明天下午三点在老地方见，别忘了带上文件。";
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

struct Run {
  double wall = 0, cpu = 0;
  long peak_kib = 0;
  std::uintmax_t size = 0, log_size = 0;
  int result = 0;
};

Run Backup(const Options& o) {
  Run r;
  reset_peak();
  auto t0 = std::chrono::steady_clock::now();
  double cpu0 = cpu_seconds();
  {
    PerfPhase perf("backup");
    CXMLTextWriter writer;
    if (writer.Open(DOCUMENT_MESSAGES)) {
      if (o.walk_only) vardel::fault::arm("msxml.createElement", E_FAIL, 1, 0);
      r.result = writer.SavePhoneMessagesToXML(kFile);
    }
    writer.Close();
    // Only after arming: a reset makes the switchboard count every call.
    if (o.walk_only) vardel::fault::reset();
  }
  r.wall = seconds_since(t0);
  r.cpu = cpu_seconds() - cpu0;
  r.peak_kib = peak_kib();
  const auto root = vardel::device::root();
  std::error_code ec;
  r.size = std::filesystem::file_size(root / "Storage Card" / "vardelbackup" / "短信.xml", ec);
  if (ec) r.size = 0;
  r.log_size = std::filesystem::file_size(root / "My Documents" / "debugmsg.txt", ec);
  if (ec) r.log_size = 0;
  return r;
}

void Print(long messages, const Run& r) {
  std::printf(
      "%8ld messages: wall %.2f s, cpu %.2f s, %.0f msg/s (cpu %.0f msg/s); peak %.1f MiB, "
      "file %.1f MiB, peak/file %.2f; log %.2f MiB; result %d\n",
      messages, r.wall, r.cpu, messages / r.wall, messages / r.cpu, r.peak_kib / 1024.0,
      r.size / 1048576.0, r.size ? r.peak_kib * 1024.0 / static_cast<double>(r.size) : 0.0,
      r.log_size / 1048576.0, r.result);
}

// Reads what the backup reads, in the order it writes it, and writes `size`
// bytes of markup-like text built from the rows to a new file, flushed and
// renamed over its target. Returns the number of rows read.
long Floor(std::uintmax_t size, double* wall, double* cpu) {
  auto t0 = std::chrono::steady_clock::now();
  double cpu0 = cpu_seconds();
  const auto root = vardel::device::root();
  sqlite3* db = nullptr;
  long rows = 0;
  if (sqlite3_open_v2(vardel::device::messages_db().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) !=
      SQLITE_OK)
    return -1;
  auto target = root / "Storage Card" / "vardelbackup" / "floor.xml";
  auto temp = root / "Storage Card" / "vardelbackup" / ".floor.xml.tmp";
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  std::string buf;
  buf.reserve(80 * 1024);
  std::uintmax_t written = 0;
  auto flush = [&](bool all) {
    if (buf.size() < 64 * 1024 && !all) return;
    if (::write(fd, buf.data(), buf.size()) < 0) std::perror("floor write");
    written += buf.size();
    buf.clear();
  };
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db,
                     "SELECT m.subject, coalesce(m.sender, (SELECT address FROM recipients r "
                     "WHERE r.message = m.id ORDER BY r.id DESC LIMIT 1)), m.delivery "
                     "FROM messages m ORDER BY m.delivery, m.id",
                     -1, &st, nullptr);
  while (sqlite3_step(st) == SQLITE_ROW) {
    ++rows;
    const char* text = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    const char* who = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
    char head[256];
    int n = std::snprintf(head, sizeof head,
                          "<VCARD Owner=\" \" TYPE=\"WinMobile\" CONTACTS=\"%s\" "
                          "ContactNumber=\"%s\"><MESSAGE Date=\"%lld\" Time=\"%lld\" "
                          "Direction=\"1\"><TEXT>",
                          who ? who : "", who ? who : "",
                          static_cast<long long>(sqlite3_column_int64(st, 2) / 864000000000LL),
                          static_cast<long long>(sqlite3_column_int64(st, 2) % 864000000000LL));
    buf.append(head, static_cast<size_t>(n));
    if (text) buf.append(text);
    buf.append("</TEXT></MESSAGE></VCARD>");
    flush(false);
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  // Pad (or not) to the backup's size, so both write as many bytes.
  while (written + buf.size() < size) {
    buf.append(std::min<std::uintmax_t>(64 * 1024, size - written - buf.size()), ' ');
    flush(false);
  }
  flush(true);
  ::fsync(fd);
  ::close(fd);
  std::filesystem::rename(temp, target);
  *wall = seconds_since(t0);
  *cpu = cpu_seconds() - cpu0;
  std::filesystem::remove(target);
  return rows;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--keep") == 0)
      o.keep = true;
    else if (std::strcmp(argv[i], "--no-log") == 0)
      o.log = false;
    else if (std::strcmp(argv[i], "--walk-only") == 0)
      o.walk_only = true;
    else if (std::strcmp(argv[i], "--no-floor") == 0)
      o.floor = false;
    else if (std::strcmp(argv[i], "--device") == 0 && i + 1 < argc)
      o.device = argv[++i];
    else
      o.count = std::atol(argv[i]);
  }

  std::filesystem::path root;
  if (o.device) {
    root = o.device;
  } else {
    char tmpl[] = "/tmp/vardel-bench-messages-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    root = tmpl;
  }
  vardel::device::set_root(root);
  vardel::platform::register_classes();
  // Held as a command holds it: a store this process wrote and closed is
  // then not read whole again when the backup opens it.
  if (vardel::device::lock_device() != vardel::device::LockResult::locked) return 1;
  if (!o.device) {
    vardel::poom::create_contacts_db();
    if (o.log) std::filesystem::create_directories(root / "My Documents");
    std::filesystem::create_directories(root / "Storage Card" / "vardelbackup");
  }

  int status = 0;
  if (o.device) {
    Run r = Backup(o);
    Print(static_cast<long>(g_nMessageTotal), r);
    status = r.result == 1 ? 0 : 1;
  } else {
    const long steps[3] = {o.count / 10, o.count / 2, o.count};
    double rates[3] = {0, 0, 0};
    long filled = 0;
    Run last;
    for (int s = 0; s < 3; ++s) {
      auto t0 = std::chrono::steady_clock::now();
      Fill(filled, steps[s]);
      filled = steps[s];
      std::printf("filled to %ld in %.1f s\n", filled, seconds_since(t0));
      std::error_code ec;
      std::filesystem::remove(root / "My Documents" / "debugmsg.txt", ec);
      std::filesystem::remove(root / "My Documents" / "debugmsg.old.txt", ec);
      last = Backup(o);
      Print(filled, last);
      rates[s] = filled / last.cpu;
      if (last.result != 1) status = 1;
    }
    std::printf("cpu rate at 50 %% / 10 %%: %.2f; at 100 %% / 10 %%: %.2f\n", rates[1] / rates[0],
                rates[2] / rates[0]);
    if (o.floor) {
      double wall = 0, cpu = 0;
      long rows = Floor(last.size, &wall, &cpu);
      std::printf("floor: %ld rows read and %.1f MiB written: wall %.2f s, cpu %.2f s\n", rows,
                  last.size / 1048576.0, wall, cpu);
    }
  }
  std::fflush(stdout);
  std::error_code ec;
  if (o.keep || o.device)
    std::printf("device at %s\n", root.c_str());
  else
    std::filesystem::remove_all(root, ec);
  return status;
}
