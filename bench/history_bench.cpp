// The history at scale: a messages backup of `count` messages (default a
// million, in 2,000 conversations, Chinese and Latin texts) written as the
// backup writes it, then
//   - parsed alone: read and every record turned into a history message,
//     with nothing stored (the floor the adds are measured against);
//   - added to an empty history, and added again (nothing new);
//   - searched: a three-character Chinese phrase and a Latin word (the
//     trigram index), a two-character Chinese name (the scan), each with
//     the number of hits;
// and the history's size against the file's. CPU times are user + system of
// this process, which other processes' load does not inflate.
//
//   bench_history_bench [count=1000000] [--keep DIR]
//
// VARDEL_PERF_PHASE=add or again samples that add only (bench/perf_control.h).
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/measure.h"
#include "bench/perf_control.h"
#include "host/history/history_add.h"
#include "host/history/history_store.h"
#include "host/tools/message_backup.h"
#include "host/tools/message_writers.h"

namespace fs = std::filesystem;
using namespace vardel;

namespace {

const char* const kChinese[] = {"快递已放在门卫室，取件码", "明天下午三点开会，别忘了带资料",
                                "妈妈说晚饭做了红烧肉",     "您的验证码是",
                                "周末一起去爬山吧",         "航班延误两小时，到了再联系"};
const char* const kLatin[] = {"See you at the station at",
                              "Meeting moved to room",
                              "Happy birthday! Cake is in the fridge",
                              "Your parcel number is",
                              "Running late, order for me",
                              "Call me when you land"};

void write_backup(const fs::path& file, long count) {
  std::ofstream out(file, std::ios::binary);
  out << "<?xml version=\"1.0\"?>\n<?xml-stylesheet type='text/xsl' "
         "href='MessageLogMsg.xsl'?>\n<CONTACTS>\n";
  char record[512];
  for (long i = 0; i < count; ++i) {
    const bool received = i % 2 == 0;
    const long number = 13800000000L + (i * 7919) % 2000;
    const int day = static_cast<int>(i / 2000);  // about 500 days of messages
    const char* text = i % 3 == 0 ? kLatin[i / 3 % 6] : kChinese[i / 3 % 6];
    std::snprintf(record, sizeof record,
                  "<VCARD Owner=\" \" TYPE=\"WinMobile\" CONTACTS=\"%s%ld\" "
                  "ContactNumber=\"%s%ld\"><MESSAGE Date=\"%d-%d-%d\" Time=\"%2d:%d:%d\" "
                  "Direction=\"%d\"><TEXT>%s %ld</TEXT></MESSAGE></VCARD>\n",
                  received ? "来自于：" : "到：", number, received ? "来自于：" : "到：", number,
                  2010 + day / 360, 1 + day / 30 % 12, 1 + day % 28, static_cast<int>(i % 24),
                  static_cast<int>(i / 24 % 60), static_cast<int>(i % 60), received ? 1 : 2, text,
                  i);
    out << record;
  }
  out << "</CONTACTS>\n";
}

struct Timing {
  double wall = 0, cpu = 0, system = 0;
};

template <typename F>
Timing timed(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  const double cpu = cpu_seconds(), system = system_seconds();
  f();
  return {seconds_since(start), cpu_seconds() - cpu, system_seconds() - system};
}

}  // namespace

int main(int argc, char** argv) {
  long count = 1000000;
  const char* keep = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--keep") == 0 && i + 1 < argc)
      keep = argv[++i];
    else
      count = std::atol(argv[i]);
  }
  char pattern[] = "/tmp/vardel-history-bench-XXXXXX";
  const fs::path dir = keep ? fs::path(keep) : fs::path(mkdtemp(pattern));
  fs::create_directories(dir);
  const fs::path file = dir / "短信.xml";
  const fs::path db = dir / "history.db";
  fs::remove(db);
  write_backup(file, count);

  long parsed = 0;
  const Timing parse = timed([&] {
    // Read as the add reads it: in one read.
    std::ifstream in(file, std::ios::binary);
    std::string bytes(fs::file_size(file), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    tools::read_messages_backup_bytes(
        bytes,
        [&](const tools::BackupMessage& m) {
          history::HistoryMessage h;
          h.received = m.received;
          h.number = m.address;
          if (m.has_time) h.time = tools::local_time_text(m.local);
          h.text = m.text;
          parsed += static_cast<long>(h.text.size() > 0);
        },
        [](int, const std::string&) {});
  });
  auto no_contacts = [](const fs::path&, std::string_view) {
    return std::vector<poom::ContactRecord>{};
  };
  history::AddResult first, again;
  {
    history::HistoryStore store(db);
    const Timing add = timed([&] {
      PerfPhase perf("add");
      first = history::add_file(store, file, no_contacts);
    });
    const Timing readd = timed([&] {
      PerfPhase perf("again");
      again = history::add_file(store, file, no_contacts);
    });
    std::printf("messages: %ld (parsed %ld, added %d, then %d already held)\n", count, parsed,
                first.messages_added, again.messages_held);
    std::printf("parse alone:  %.2f s wall, %.2f s CPU (%.2f system)\n", parse.wall, parse.cpu,
                parse.system);
    std::printf(
        "add to empty: %.2f s wall, %.2f s CPU (%.2f system) = %.2f x parse CPU (at most 3)\n",
        add.wall, add.cpu, add.system, add.cpu / parse.cpu);
    std::printf(
        "add again:    %.2f s wall, %.2f s CPU (%.2f system) = %.2f x parse CPU (at most 1.5)\n",
        readd.wall, readd.cpu, readd.system, readd.cpu / parse.cpu);
    // Rare texts (a code, a number: tens of hits), then common ones, whose
    // newest hundred a page shows.
    struct Query {
      const char* text;
      size_t limit;
    };
    for (const Query& query :
         {Query{"取件码 1999", 0}, Query{"parcel number is 99", 0}, Query{"验证码是 1234", 0},
          Query{"门卫室", 100}, Query{"birthday", 100}, Query{"开会", 100}}) {
      history::MessageQuery q;
      q.text = query.text;
      q.limit = query.limit;
      const char* text = query.text;
      size_t hits = 0;
      // The best of three: the first also reads the pages in from the disk.
      double best = 1e9;
      for (int i = 0; i < 3; ++i) {
        const Timing t = timed([&] { hits = store.messages(q).size(); });
        best = std::min(best, t.wall);
      }
      std::printf("search %-22s %7zu hits%s  %6.1f ms (at most 50)\n", text, hits,
                  query.limit ? " (newest)" : "         ", best * 1000);
    }
  }
  const double file_size = static_cast<double>(fs::file_size(file));
  double db_size = static_cast<double>(fs::file_size(db));
  for (const char* side : {"-wal", "-shm"}) {
    std::error_code ec;
    const auto n = fs::file_size(db.string() + side, ec);
    if (!ec) db_size += static_cast<double>(n);
  }
  std::printf("size: history %.1f MiB for a %.1f MiB file = %.2f x (at most 1.5)\n",
              db_size / 1048576, file_size / 1048576, db_size / file_size);
  if (!keep) fs::remove_all(dir);
  return 0;
}
