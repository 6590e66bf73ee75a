// Contacts at scale: restore a 100,000-contact file into an empty phone, back
// those contacts up again, then remove duplicates from a phone of 100,000
// contacts of which half are copies. Prints wall time, CPU time (user +
// system: on a shared machine the wall clock also counts the time other
// processes held the CPU), peak memory (resident high-water mark of each
// phase) and the contacts file's size.
//
//   bench_contacts_bench [contacts]    (default 100000)
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/resource.h>

#include "bench/measure.h"
#include "contacts/XMLTextReader.h"
#include "platform/core/device.h"
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

// A contacts file of `count` records with twelve fields each, as a backup
// writes it.
void WriteContactsFile(const std::filesystem::path& host, int count) {
  std::ofstream out(host, std::ios::binary);
  out << "<?xml version=\"1.0\"?><?xml-stylesheet type='text/xsl' href='MessageLogContact.xsl'?>"
         "\r\n<CONTACTS>\r\n";
  char buf[1024];
  for (int i = 0; i < count; ++i) {
    std::snprintf(buf, sizeof buf,
                  "<VCARD TITLE=\"Name%07d, Given\" TYPE=\"WinMobile\"><ADDRESS Direction=\"%d\">"
                  "<FIRST>Given</FIRST><LAST>Name%07d</LAST><FILEAS>Name%07d, Given</FILEAS>"
                  "<NICKNAME>nick%d</NICKNAME><WORK1>010-%07d</WORK1><MOBILE>139%08d</MOBILE>"
                  "<HOME1>021-%07d</HOME1><EMAIL1>user%d@example.com</EMAIL1>"
                  "<COMPANY>Company &amp; Sons %d</COMPANY><TITLE>Engineer</TITLE>"
                  "<STREET2>%d Long Street</STREET2><CITY2>上海</CITY2></ADDRESS></VCARD>",
                  i, (i + 1) % 2 == 1 ? 0 : 1, i, i, i, i, i, i, i, i, i);
    out << buf;
  }
  out << "</CONTACTS>\r\n";
}

int Restore(const char* label, int expected) {
  reset_peak();
  auto start = std::chrono::steady_clock::now();
  double cpu = cpu_seconds();
  CXMLTextReader reader;
  int ok = reader.Open() && reader.LoadContactsXML(kFile) && reader.RestoreContacts();
  int loaded = reader.m_nContactCount;
  reader.Close();
  std::printf("%-34s %8.2f s  cpu %6.2f s  peak %7ld KiB  %d contacts%s\n", label,
              seconds_since(start), cpu_seconds() - cpu, peak_kib(), loaded,
              ok && loaded == expected ? "" : "  FAILED");
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
  char tmpl[] = "/tmp/vardel-contacts-bench-XXXXXX";
  if (mkdtemp(tmpl) == nullptr) return 1;
  const std::filesystem::path root = tmpl;
  vardel::device::set_root(root);
  vardel::poom::create_contacts_db();
  vardel::platform::register_classes();
  const std::filesystem::path dir = root / "Storage Card" / "vardelbackup";
  std::filesystem::create_directories(dir);
  const std::filesystem::path host = dir / "通讯录.xml";
  g_hMainWnd = vardel::testing::create_window(Progress);

  // 1. Restore a file of `count` contacts into an empty phone.
  WriteContactsFile(host, count);
  std::printf("input file: %ju bytes\n", (uintmax_t)std::filesystem::file_size(host));
  int ok = Restore("restore (into empty phone)", count);

  // 2. Back the phone's contacts up.
  {
    reset_peak();
    auto start = std::chrono::steady_clock::now();
    double cpu = cpu_seconds();
    CXMLTextWriter writer;
    int saved = writer.Open(DOCUMENT_CONTACTS) && writer.SavePhoneContactsToXML(kFile);
    writer.Close();
    double seconds = seconds_since(start);
    std::printf("%-34s %8.2f s  cpu %6.2f s  peak %7ld KiB  output %ju bytes%s\n", "backup",
                seconds, cpu_seconds() - cpu, peak_kib(),
                (uintmax_t)std::filesystem::file_size(host), saved ? "" : "  FAILED");
    ok = ok && saved && g_lastProgress == 100;
  }

  // 3. Half duplicates: the same `count`/2 contacts restored twice, then the
  //    duplicate removal over the `count` contacts.
  vardel::poom::delete_all_contacts();
  WriteContactsFile(host, count / 2);
  ok = Restore("restore (half, first copy)", count / 2) && ok;
  ok = Restore("restore (half, second copy)", count / 2) && ok;
  {
    reset_peak();
    auto start = std::chrono::steady_clock::now();
    double cpu = cpu_seconds();
    CXMLTextWriter writer;
    int done = writer.Open(DOCUMENT_CONTACTS) && writer.RemoveDuplicateContacts();
    writer.Close();
    double seconds = seconds_since(start);
    double cpuSeconds = cpu_seconds() - cpu;
    size_t left = vardel::poom::list_contacts().size();
    std::printf("%-34s %8.2f s  cpu %6.2f s  peak %7ld KiB  %zu contacts left%s\n",
                "duplicate removal", seconds, cpuSeconds, peak_kib(), left,
                done && left == (size_t)(count / 2) ? "" : "  FAILED");
    ok = ok && done && left == (size_t)(count / 2);
  }

  DestroyWindow(g_hMainWnd);
  std::error_code ec;
  std::filesystem::remove_all(root, ec);
  return ok ? 0 : 1;
}
