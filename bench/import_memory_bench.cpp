// What `vardel contacts import` of a vCard file and `vardel messages import`
// of an Android SMS backup take: the peak resident memory of the import of
// a 20 MB and a 200 MB file (each import in a process of its own, the peak
// reset as it starts), and the Android import's rate at 10,000 and 100,000
// messages, which stays flat when nothing in the reader grows with the file.
// The files are written first, piece by piece, into a temporary folder.
//
//   bench_import_memory_bench [--sizes 20,200] [--no-vcard] [--keep]
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/measure.h"
#include "host/tools/android_sms.h"
#include "host/tools/vcard.h"
#include "platform/core/sha256.h"

namespace fs = std::filesystem;

namespace {

constexpr long kMiB = 1024 * 1024;

std::FILE* create(const fs::path& file) {
  std::FILE* out = std::fopen(file.c_str(), "wb");
  if (!out) {
    std::perror(file.c_str());
    std::exit(1);
  }
  return out;
}

const char* kTexts[] = {"快递已放在门卫室，请及时领取", "OK, see you then &amp; thanks",
                        "会议改到下午三点&#10;地点不变", "余额 100 元，谢谢使用",
                        "Running late, 10 min &lt;3"};

// An Android backup of `count` messages, or of at least `bytes` bytes.
long write_android(const fs::path& file, long count, long bytes) {
  std::FILE* out = create(file);
  std::fputs("<?xml version='1.0' encoding='UTF-8' standalone='yes' ?>\n<smses count=\"0\">\n",
             out);
  long n = 0;
  for (; count ? n < count : std::ftell(out) < bytes; ++n)
    std::fprintf(out,
                 "  <sms protocol=\"0\" address=\"1380013%04ld\" date=\"%lld\" type=\"%d\" "
                 "subject=\"null\" body=\"%s %ld\" toa=\"null\" sc_toa=\"null\" "
                 "service_center=\"null\" read=\"1\" status=\"-1\" locked=\"0\" "
                 "date_sent=\"0\" readable_date=\"Apr 23, 2009 10:00:00 AM\" "
                 "contact_name=\"(Unknown)\" />\n",
                 n % 10000, 1240452000000LL + n * 61000LL, n % 2 ? 1 : 2, kTexts[n % 5], n);
  std::fputs("</smses>\n", out);
  std::fclose(out);
  return n;
}

long write_vcards(const fs::path& file, long bytes) {
  std::FILE* out = create(file);
  long n = 0;
  for (; std::ftell(out) < bytes; ++n)
    std::fprintf(out,
                 "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:张伟 %ld\r\nN:张;伟 %ld;;;\r\n"
                 "TEL;TYPE=CELL:+86 138 %04ld %04ld\r\nTEL;TYPE=WORK:010-6555%04ld\r\n"
                 "EMAIL;TYPE=INTERNET:user%ld@example.com\r\nORG:Example 公司\r\n"
                 "NOTE:met at the fair\\, 2019\r\nEND:VCARD\r\n",
                 n, n, n % 10000, (n * 7) % 10000, n % 10000, n);
  std::fclose(out);
  return n;
}

// Runs the import in a child process; prints its peak memory and time.
template <typename Import>
void measure(const char* what, const fs::path& file, long records, Import import) {
  std::fflush(stdout);
  const pid_t pid = ::fork();
  if (pid == 0) {
    reset_peak();
    const long before = peak_kib();
    const auto start = std::chrono::steady_clock::now();
    import();
    const double wall = seconds_since(start);
    const long peak = peak_kib();
    std::printf("%-28s %7.1f MB %8ld records  peak %7.1f MiB (%+7.1f MiB)  %6.2f s  %8.0f/s\n",
                what, static_cast<double>(fs::file_size(file)) / 1e6, records, peak / 1024.0,
                (peak - before) / 1024.0, wall, records / wall);
    std::fflush(stdout);
    std::_Exit(0);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    std::printf("%-28s failed (status %d)\n", what, status);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<long> sizes = {20, 200};
  bool vcard = true, keep = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--sizes") && i + 1 < argc) {
      sizes.clear();
      for (char* p = argv[++i]; *p;) {
        sizes.push_back(std::strtol(p, &p, 10));
        if (*p == ',') ++p;
      }
    } else if (!std::strcmp(argv[i], "--no-vcard")) {
      vcard = false;
    } else if (!std::strcmp(argv[i], "--keep")) {
      keep = true;
    }
  }
  std::string tmpl = (fs::temp_directory_path() / "vardel-import-bench-XXXXXX").string();
  const fs::path dir = ::mkdtemp(tmpl.data());
  std::printf(
      "import                          file      records  peak memory (above the start)   "
      "time      rate\n");
  for (long mb : sizes) {
    const fs::path sms = dir / ("sms-" + std::to_string(mb) + ".xml");
    const long messages = write_android(sms, 0, mb * kMiB);
    measure(("messages import, Android " + std::to_string(mb) + "M").c_str(), sms, messages, [&] {
      vardel::tools::import_android_sms_file(sms, dir / ("m" + std::to_string(mb) + ".db"));
    });
    fs::remove(sms);
    if (!vcard) continue;
    const fs::path vcf = dir / ("cards-" + std::to_string(mb) + ".vcf");
    const long cards = write_vcards(vcf, mb * kMiB);
    measure(("contacts import, vCard " + std::to_string(mb) + "M").c_str(), vcf, cards, [&] {
      // As `contacts import` does it: hashed first, then read as imported.
      const int fd = ::open(vcf.c_str(), O_RDONLY | O_CLOEXEC);
      std::string hex;
      vardel::core::sha256_of_fd(fd, &hex);
      vardel::tools::import_vcard_fd(fd, dir / ("c" + std::to_string(mb) + ".db"),
                                     {hex, static_cast<std::int64_t>(fs::file_size(vcf))},
                                     [](std::string&&) {});
      ::close(fd);
    });
    fs::remove(vcf);
  }
  for (long count : {10000L, 100000L}) {
    const fs::path sms = dir / ("rate-" + std::to_string(count) + ".xml");
    write_android(sms, count, 0);
    measure(("messages import, " + std::to_string(count)).c_str(), sms, count, [&] {
      vardel::tools::import_android_sms_file(sms, dir / ("r" + std::to_string(count) + ".db"));
    });
  }
  if (!keep) fs::remove_all(dir);
  return 0;
}
