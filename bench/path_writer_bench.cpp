// Record building: how long the element path writer takes to write contact
// records with every field of the field map filled, and to save them; and
// how fast the property queue takes values from several threads.
//
//   bench_path_writer_bench [records]    (default 20000)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench/measure.h"
#include "contacts/ContactFieldMap.h"
#include "contacts/PropValArray.h"
#include "platform/core/device.h"
#include "platform/core/windows.h"
#include "platform/msxml/msxml.h"
#include "platform/platform.h"
#include "platform/poom/contact_db.h"
#include "xml/ComHolders.h"
#include "xml/XMLTextWriter.h"

int main(int argc, char** argv) {
  int nRecords = argc > 1 ? std::atoi(argv[1]) : 20000;
  char tmpl[] = "/tmp/vardel-bench-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  vardel::device::set_root(tmpl);
  vardel::platform::register_classes();
  vardel::poom::create_contacts_db();

  CXMLTextWriter writer;
  if (!writer.Open(DOCUMENT_CONTACTS)) return 1;
  auto start = std::chrono::steady_clock::now();
  long nFields = 0;
  for (int i = 0; i < nRecords; i++) {
    if (!writer.CreateContactCard(u"Contact name", &writer.m_pCurrentNode)) return 1;
    IXMLDOMNode* pNode = NULL;
    writer.CreateNode(u"ADDRESS/FIRST", &pNode, NULL, NULL, (i % 2) ? u"1" : u"0");
    pNode->Release();
    for (const ContactFieldMapEntry& row : ContactFieldMap) {
      if ((row.dwTag & 0xFFFF) != CONTACT_TYPE_TEXT) continue;
      if (writer.CreateNode(row.szPath, &pNode)) {
        CBstr text(u"13800001234");
        pNode->put_text(text);
        pNode->Release();
        nFields++;
      }
    }
    writer.m_pCurrentNode->Release();
    writer.m_pCurrentNode = NULL;
  }
  double tBuild = seconds_since(start);
  CopyBounded(writer.m_szFilePath, u"\\bench.xml", MAX_PATH);
  start = std::chrono::steady_clock::now();
  int bSaved = writer.Save();
  double tSave = seconds_since(start);
  writer.Close();
  std::printf(
      "records %d, fields %ld: build %.2f s (%.1f us/field), save %.2f s (%s), file %.1f MB\n",
      nRecords, nFields, tBuild, tBuild * 1e6 / (double)nFields, tSave, bSaved ? "ok" : "FAILED",
      std::filesystem::file_size(std::filesystem::path(tmpl) / "bench.xml") / 1e6);

  // The property queue: 4 threads adding 5,000 values each (it grows 10 at a time).
  CPropValArray queue;
  start = std::chrono::steady_clock::now();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; t++)
    threads.emplace_back([&queue] {
      CEPROPVAL v;
      std::memset(&v, 0, sizeof(v));
      for (int i = 0; i < 5000; i++) {
        v.propid = (DWORD)i;
        queue.Add(v);
      }
    });
  for (auto& t : threads) t.join();
  std::printf("queue: %d values from 4 threads in %.1f ms\n", queue.GetCount(),
              seconds_since(start) * 1e3);

  std::filesystem::remove_all(tmpl);
  return 0;
}
