// Converting a messages backup of N messages to the Android SMS backup
// format, as `vardel convert 短信.xml -o sms.xml` does. The backup is written
// first in the form the messages backup saves (received and sent messages,
// Chinese and Latin texts of 10 to 70 characters, some with line breaks);
// then one conversion is timed. Prints the wall and CPU time of the
// conversion, its peak memory (resident set high-water mark, reset after the
// input is written) beside the input's size, and the output's size.
//
//   bench_convert_bench [count=1000000] [--keep]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/measure.h"
#include "host/formats/exports.h"

namespace fs = std::filesystem;

namespace {

void write_backup(const fs::path& file, long count) {
  std::FILE* out = std::fopen(file.c_str(), "wb");
  if (!out) {
    std::perror("backup");
    std::exit(1);
  }
  std::fputs(
      "<?xml version=\"1.0\"?>\n<?xml-stylesheet type='text/xsl' href='MessageLogMsg.xsl'?>\n"
      "<CONTACTS>\r\n",
      out);
  const std::vector<std::string> words = {"快递",     "已放在", "门卫室", "明天", "见",   "OK",
                                          "see you",  "then",   "余额",   "元",   "会议", "改到",
                                          "下午三点", "&amp;",  "&lt;3",  "谢谢"};
  std::string text;
  unsigned seed = 12345;
  long seconds = 0;
  for (long i = 0; i < count; ++i) {
    seed = seed * 1103515245u + 12345u;
    text.clear();
    const int n = 3 + static_cast<int>(seed >> 16) % 14;
    for (int k = 0; k < n; ++k) {
      seed = seed * 1103515245u + 12345u;
      text += words[(seed >> 16) % words.size()];
      text += (seed >> 8) % 23 == 0 ? "&#13;\n" : " ";
    }
    seconds += 1 + static_cast<long>(seed >> 20) % 600;
    const long day = seconds / 86400;
    const int year = 2009 + static_cast<int>(day / 365) % 20,
              month = 1 + static_cast<int>(day / 28) % 12, mday = 1 + static_cast<int>(day % 28);
    const bool received = (seed >> 4) % 2 == 0;
    char label[64];
    std::snprintf(label, sizeof label, "%s1380%07ld", received ? "来自于：" : "到：",
                  static_cast<long>((seed >> 3) % 10000000));
    std::fprintf(out,
                 "<VCARD Owner=\" \" TYPE=\"WinMobile\" CONTACTS=\"%s\" ContactNumber=\"%s\">"
                 "<MESSAGE Date=\"%d-%d-%d\" Time=\"  %ld:%ld:%ld\" Direction=\"1\"><TEXT>%s</TEXT>"
                 "</MESSAGE></VCARD>",
                 label, label, year, month, mday, seconds / 3600 % 24, seconds / 60 % 60,
                 seconds % 60, text.c_str());
  }
  std::fputs("</CONTACTS>", out);
  std::fclose(out);
}

}  // namespace

int main(int argc, char** argv) {
  long count = 1000000;
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--keep") == 0)
      keep = true;
    else
      count = std::atol(argv[i]);
  }
  char tmpl[] = "/tmp/vardel-convert-bench-XXXXXX";
  const fs::path dir = mkdtemp(tmpl);
  const fs::path in = dir / "短信.xml", out = dir / "sms.xml";
  write_backup(in, count);
  const double in_mib = static_cast<double>(fs::file_size(in)) / (1 << 20);

  reset_peak();
  const double cpu0 = cpu_seconds();
  const auto t0 = std::chrono::steady_clock::now();
  std::vector<std::string> warnings;
  const int written = vardel::host::convert_messages_backup(
      in, out, vardel::host::MessagesFormat::android, vardel::history::ContactNames{}, warnings);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const double cpu = cpu_seconds() - cpu0;
  const double peak_mib = static_cast<double>(peak_kib()) / 1024;

  std::printf("convert %d messages to the Android format: wall %.2f s, cpu %.2f s\n", written, wall,
              cpu);
  std::printf("input %.1f MiB, output %.1f MiB, peak memory %.1f MiB (%.2f of the input)\n", in_mib,
              static_cast<double>(fs::file_size(out)) / (1 << 20), peak_mib, peak_mib / in_mib);
  if (!warnings.empty())
    std::printf("%zu warnings, first: %s\n", warnings.size(), warnings[0].c_str());
  if (keep)
    std::printf("kept %s\n", dir.c_str());
  else
    fs::remove_all(dir);
  return written == count ? 0 : 1;
}
