// Contacts at scale, as the jobs run them: restore a file of N contacts into
// an empty phone, back those contacts up again, then remove the duplicates
// from a phone of N contacts of which half are copies (the same N/2
// contacts restored twice), as the restore job does it: right after the
// restore, its reader still open. Each runs at 10 %, 50 % and 100 % of N, every
// size on a new device that this process holds as the commands do.
//
// Beside each figure goes its floor, measured right after it: the least
// work that leaves the same result, in plain sqlite3 and plain file writes
// (bench/contacts_floor.h), and the figure's CPU time over the floor's. A
// ratio that grows with the size is a cost the job adds beyond the floor's;
// the floor lines also count the transactions the job committed.
//
// For each phase and size it prints the wall time, the CPU time (user +
// system: on a shared machine the wall clock also counts the time other
// processes held the CPU), contacts per second by both clocks and the peak
// resident memory; then, per phase, the rate at 100 % against the rate at
// 10 % (a cost that grows faster than the phone shows as a falling rate).
//
//   bench_contacts_bench [N=100000] [--once] [--scrambled] [--no-floor]
//
// --once runs N alone; --no-floor leaves the floors out; VARDEL_BENCH_KEEP=1
// keeps the devices. By default the file-as names rise with the records, so
// the phone's order is the order the contacts were made in and the store is
// read front to back. --scrambled gives each record the name of another, as
// in a book that grew over years: the walks then read the store out of order.
// VARDEL_PERF_PHASE=restore|backup|dedup, with perf's control fifos, samples
// that phase only (bench/perf_control.h); restore-floor, backup-floor and
// dedup-floor sample a floor.
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <numeric>
#include <string>
#include <unordered_set>
#include <vector>

#include "bench/contacts_floor.h"
#include "bench/measure.h"
#include "bench/perf_control.h"
#include "contacts/XMLTextReader.h"
#include "platform/core/device.h"
#include "platform/core/device_lock.h"
#include "platform/core/windows.h"
#include "platform/platform.h"
#include "platform/poom/contact_db.h"
#include "test_support/recording_window.h"
#include "window_shared/Globals.h"
#include "window_shared/resource.h"
#include "xml/XMLTextWriter.h"

namespace {

const WCHAR kFile[] = u"\\Storage Card\\vardelbackup\\通讯录.xml";
unsigned g_lastProgress = 0;

LRESULT Progress(HWND, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_PROGRESS) g_lastProgress = (unsigned)wParam;
  return 0;
}

bool g_scrambled = false;
bool g_floors = true;

// Record i's names carry the number i * step % count: step 1 keeps them in
// order; with --scrambled it is a multiplier prime to count, so the numbers
// are a fixed permutation of 0..count-1.
long long NameStep(int count) {
  if (!g_scrambled) return 1;
  long long step = 7919;
  while (std::gcd(step, (long long)count) != 1) step += 2;
  return step;
}

// A contacts file of `count` records with twelve fields each, as a backup
// writes it.
void WriteContactsFile(const std::filesystem::path& host, int count) {
  std::ofstream out(host, std::ios::binary);
  out << "<?xml version=\"1.0\"?><?xml-stylesheet type='text/xsl' href='MessageLogContact.xsl'?>"
         "\r\n<CONTACTS>\r\n";
  char buf[1024];
  const long long step = NameStep(count);
  for (int i = 0; i < count; ++i) {
    const int name = (int)((i * step) % count);
    std::snprintf(buf, sizeof buf,
                  "<VCARD TITLE=\"Name%07d, Given\" TYPE=\"WinMobile\"><ADDRESS Direction=\"%d\">"
                  "<FIRST>Given</FIRST><LAST>Name%07d</LAST><FILEAS>Name%07d, Given</FILEAS>"
                  "<NICKNAME>nick%d</NICKNAME><WORK1>010-%07d</WORK1><MOBILE>139%08d</MOBILE>"
                  "<HOME1>021-%07d</HOME1><EMAIL1>user%d@example.com</EMAIL1>"
                  "<COMPANY>Company &amp; Sons %d</COMPANY><TITLE>Engineer</TITLE>"
                  "<STREET2>%d Long Street</STREET2><CITY2>上海</CITY2></ADDRESS></VCARD>",
                  name, (i + 1) % 2 == 1 ? 0 : 1, i, name, i, i, i, i, i, i, i);
    out << buf;
  }
  out << "</CONTACTS>\r\n";
}

struct Figures {
  double wall = 0, cpu = 0;
  long peak = 0;
  int items = 0;
  bool ok = false;
};

// Times `job` (returning success) over `items` contacts.
template <typename Job>
Figures Measure(const char* phase, int items, Job job) {
  Figures f;
  f.items = items;
  reset_peak();
  const auto start = std::chrono::steady_clock::now();
  const double cpu = cpu_seconds();
  {
    PerfPhase perf(phase);
    f.ok = job();
  }
  f.wall = seconds_since(start);
  f.cpu = cpu_seconds() - cpu;
  f.peak = peak_kib();
  return f;
}

int Restore(int expected) {
  CXMLTextReader reader;
  int ok = reader.Open() && reader.LoadContactsXML(kFile) && reader.RestoreContacts();
  ok = ok && reader.m_nContactCount == expected;
  reader.Close();
  return ok;
}

void Print(const char* phase, int size, const Figures& f, const char* note = "") {
  std::printf("%-10s %8d %8.2f s %7.2f s %10.0f/s %10.0f/s %8ld KiB  %s%s\n", phase, size, f.wall,
              f.cpu, f.wall > 0 ? f.items / f.wall : 0.0, f.cpu > 0 ? f.items / f.cpu : 0.0, f.peak,
              note, f.ok ? "" : "  FAILED");
  std::fflush(stdout);
}

// A floor's line, beneath its figure's.
void PrintFloor(int size, const Figures& figure, const Figures& floor, const char* note) {
  std::printf("  floor    %8d %8.2f s %7.2f s   figure/floor %5.2f (cpu) %5.2f (wall)  %s%s\n",
              size, floor.wall, floor.cpu, floor.cpu > 0 ? figure.cpu / floor.cpu : 0.0,
              floor.wall > 0 ? figure.wall / floor.wall : 0.0, note, floor.ok ? "" : "  FAILED");
  std::fflush(stdout);
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One size on a new device: restore, backup, duplicate removal.
bool RunSize(int count, std::map<std::string, std::vector<Figures>>* rows) {
  char tmpl[] = "/tmp/vardel-contacts-bench-XXXXXX";
  if (mkdtemp(tmpl) == nullptr) return false;
  const std::filesystem::path root = tmpl;
  vardel::device::set_root(root);
  // Held as a command holds it: the stores then keep their files' locks.
  if (vardel::device::lock_device() != vardel::device::LockResult::locked) return false;
  vardel::poom::create_contacts_db();
  const std::filesystem::path dir = root / "Storage Card" / "vardelbackup";
  std::filesystem::create_directories(dir);
  const std::filesystem::path host = dir / "通讯录.xml";
  // The floors' copies of the store, beside the device's folders.
  const std::filesystem::path store = vardel::device::contacts_db();
  const std::filesystem::path floors = root / "floor";
  std::filesystem::create_directories(floors);
  bool floors_ok = !g_floors || contacts_floor::copy_store(store, floors / "empty.db");
  char note[160];

  WriteContactsFile(host, count);
  long commits = contacts_floor::commits();
  Figures restore = Measure("restore", count, [&] { return Restore(count); });
  commits = contacts_floor::commits() - commits;
  Print("restore", count, restore);
  Figures restore_floor;
  if (g_floors) {
    // What the restore stored, row for row, into a fresh empty store.
    std::vector<contacts_floor::Contact> contacts;
    floors_ok = floors_ok && contacts_floor::copy_store(store, floors / "restored.db") &&
                contacts_floor::read_contacts(floors / "restored.db", &contacts);
    const long rows = contacts_floor::count_properties(floors / "restored.db");
    restore_floor = Measure("restore-floor", count,
                            [&] { return contacts_floor::restore(floors / "empty.db", contacts); });
    restore_floor.ok = restore_floor.ok && floors_ok &&
                       contacts_floor::count_properties(floors / "empty.db") == rows;
    std::snprintf(note, sizeof note,
                  "%zu contacts, %ld property rows, a commit each; the job committed %ld",
                  contacts.size(), rows, commits);
    PrintFloor(count, restore, restore_floor, note);
  }

  Figures backup = Measure("backup", count, [&] {
    CXMLTextWriter writer;
    int saved = writer.Open(DOCUMENT_CONTACTS) && writer.SavePhoneContactsToXML(kFile);
    writer.Close();
    return saved && g_lastProgress == 100;
  });
  std::snprintf(note, sizeof note, "output %ju bytes", (uintmax_t)std::filesystem::file_size(host));
  Print("backup", count, backup, note);
  Figures backup_floor;
  if (g_floors) {
    const std::string bytes = ReadFile(host);
    contacts_floor::BackupCounts counts;
    floors_ok = floors_ok && contacts_floor::copy_store(store, floors / "backup.db");
    backup_floor = Measure("backup-floor", count, [&] {
      return contacts_floor::backup(floors / "backup.db", bytes, dir, &counts);
    });
    backup_floor.ok = backup_floor.ok && floors_ok && counts.contacts == count &&
                      std::filesystem::file_size(dir / "floor.xml") == bytes.size();
    std::error_code ec;
    std::filesystem::remove(dir / "floor.xml", ec);
    std::filesystem::remove(floors / "backup.db", ec);
    std::snprintf(note, sizeof note, "%ld contacts, %ld rows read, %zu bytes written",
                  counts.contacts, counts.rows, bytes.size());
    PrintFloor(count, backup, backup_floor, note);
  }

  // As the restore job runs it: right after the second restore, whose
  // reader (and so the store's connection) is still open.
  vardel::poom::delete_all_contacts();
  WriteContactsFile(host, count / 2);
  bool ok = Restore(count / 2);
  CXMLTextReader reader;
  ok = ok && reader.Open() && reader.LoadContactsXML(kFile) && reader.RestoreContacts();
  // The store as the removal finds it. Opening the copy once replays its
  // log into it, outside the floor's time.
  std::unordered_set<std::int64_t> before;
  if (g_floors)
    floors_ok = floors_ok && contacts_floor::copy_store(store, floors / "dedup.db") &&
                contacts_floor::read_oids(floors / "dedup.db", &before);
  commits = contacts_floor::commits();
  Figures dedup = Measure("dedup", count, [&] {
    CXMLTextWriter writer;
    int done = writer.Open(DOCUMENT_CONTACTS) && writer.RemoveDuplicateContacts();
    writer.Close();
    return done;
  });
  commits = contacts_floor::commits() - commits;
  reader.Close();
  dedup.ok = dedup.ok && ok && vardel::poom::list_contacts().size() == (size_t)(count / 2);
  Print("dedup", count, dedup, "half of them copies");
  Figures dedup_floor;
  if (g_floors) {
    // The removals the job made: what was there before and is not now.
    std::unordered_set<std::int64_t> removed = before;
    for (const auto& kept : vardel::poom::list_stored_contacts()) removed.erase(kept.oid);
    contacts_floor::DedupCounts counts;
    dedup_floor = Measure("dedup-floor", count, [&] {
      return contacts_floor::remove_duplicates(floors / "dedup.db", removed, commits, &counts);
    });
    std::unordered_set<std::int64_t> left;
    dedup_floor.ok = dedup_floor.ok && floors_ok &&
                     contacts_floor::read_oids(floors / "dedup.db", &left) &&
                     left.size() + removed.size() == before.size();
    std::snprintf(note, sizeof note, "%ld read, %ld removed in %ld commits; the job committed %ld",
                  counts.read, counts.removed, counts.commits, commits);
    PrintFloor(count, dedup, dedup_floor, note);
  }

  (*rows)["restore"].push_back(restore);
  (*rows)["backup"].push_back(backup);
  (*rows)["dedup"].push_back(dedup);
  if (g_floors) {
    (*rows)["restore floor"].push_back(restore_floor);
    (*rows)["backup floor"].push_back(backup_floor);
    (*rows)["dedup floor"].push_back(dedup_floor);
  }
  std::error_code ec;
  if (std::getenv("VARDEL_BENCH_KEEP"))
    std::printf("device kept at %s\n", root.c_str());
  else
    std::filesystem::remove_all(root, ec);
  return restore.ok && backup.ok && dedup.ok && restore_floor.ok == g_floors &&
         backup_floor.ok == g_floors && dedup_floor.ok == g_floors;
}

}  // namespace

int main(int argc, char** argv) {
  int count = 100000;
  bool once = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--once") == 0)
      once = true;
    else if (std::strcmp(argv[i], "--scrambled") == 0)
      g_scrambled = true;
    else if (std::strcmp(argv[i], "--no-floor") == 0)
      g_floors = false;
    else if ((count = std::atoi(argv[i])) < 10) {
      std::fprintf(stderr,
                   "usage: bench_contacts_bench [N>=10] [--once] [--scrambled] [--no-floor]\n");
      return 2;
    }
  }
  // Before the first connection opens: the floors commit as often as the jobs do.
  contacts_floor::count_commits();
  vardel::platform::register_classes();
  g_hMainWnd = vardel::testing::create_window(Progress);

  std::printf("%-10s %8s %10s %9s %12s %12s %12s\n", "phase", "contacts", "wall", "cpu",
              "per s wall", "per s cpu", "peak");
  std::map<std::string, std::vector<Figures>> rows;
  bool ok = true;
  std::vector<int> sizes =
      once ? std::vector<int>{count} : std::vector<int>{count / 10, count / 2, count};
  for (int size : sizes) ok = RunSize(size, &rows) && ok;
  if (!once) {
    for (const char* phase : {"restore", "backup", "dedup"}) {
      const auto& r = rows[phase];
      const double first = r.front().items / r.front().cpu, last = r.back().items / r.back().cpu;
      std::printf("%-10s rate (cpu) at 100 %% / at 10 %%: %.2f%s\n", phase, last / first,
                  last < 0.8 * first ? "  (falls by more than a fifth)" : "");
    }
  }
  if (g_floors) {
    std::printf("%-10s %8s %10s %10s %8s %12s  (%s)\n", "phase", "contacts", "cpu", "floor cpu",
                "ratio", "peak", g_scrambled ? "scrambled" : "in order");
    for (const char* phase : {"restore", "backup", "dedup"}) {
      const auto& figure = rows[phase];
      const auto& floor = rows[std::string(phase) + " floor"];
      for (std::size_t i = 0; i < figure.size() && i < floor.size(); ++i)
        std::printf("%-10s %8d %8.2f s %8.2f s %8.2f %8ld KiB\n", phase, figure[i].items,
                    figure[i].cpu, floor[i].cpu,
                    floor[i].cpu > 0 ? figure[i].cpu / floor[i].cpu : 0.0, figure[i].peak);
    }
  }
  DestroyWindow(g_hMainWnd);
  return ok ? 0 : 1;
}
