// A save replaces the file whole or not at all: a full disk, a missing
// folder or a path outside the device leave the previous file intact, leave
// no temporary file behind, and come back as a negative HRESULT.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/msxml/tests/dom_fixture.h"

namespace vardel::msxml::testing {
namespace {

using AtomicSaveTest = DomTest;

size_t entries(const std::filesystem::path& dir) {
  size_t n = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir)) ++n;
  return n;
}

TEST_F(AtomicSaveTest, AFailedSaveLeavesThePreviousFileWhole) {
  std::filesystem::create_directories(host("Storage Card/vardelbackup"));
  const auto target = host("Storage Card/vardelbackup/c.xml");
  const std::string previous =
      "<?xml version=\"1.0\"?>\r\n<CONTACTS>\r\n<VCARD TITLE=\"old\"/></CONTACTS>\r\n";
  write_bytes(target, previous);

  auto doc = new_doc();
  ASSERT_TRUE(load_xml(doc.get(), kContactsTemplate));
  auto root = select(as_node(doc.get()).get(), u"CONTACTS");
  for (int i = 0; i < 2000; ++i) {
    auto card = append(doc.get(), root.get(), u"VCARD");
    card->put_text(
        Bstr(u"a record long enough that half the file is a partial write, and that the file takes "
             u"several pieces"));
  }
  const std::u16string path = u"\\Storage Card\\vardelbackup\\c.xml";
  for (HRESULT disk_full : {HRESULT_FROM_WIN32(ERROR_DISK_FULL), E_FAIL}) {
    fault::arm("msxml.save", disk_full);
    EXPECT_EQ(save(doc.get(), path), disk_full);
    EXPECT_EQ(read_bytes(target), previous);
    EXPECT_EQ(entries(target.parent_path()), 1u);  // no temporary file left
  }
  // The fault was for one use: the next save replaces the file.
  ASSERT_EQ(save(doc.get(), path), S_OK);
  // Written in several pieces, none lost or doubled.
  const std::string saved = read_bytes(target);
  EXPECT_GT(saved.size(), 2u * 64 * 1024);
  size_t cards = 0;
  for (size_t at = saved.find("<VCARD>"); at != std::string::npos;
       at = saved.find("<VCARD>", at + 1))
    ++cards;
  EXPECT_EQ(cards, 2000u);
  EXPECT_TRUE(well_formed(target));
  EXPECT_EQ(entries(target.parent_path()), 1u);
  // The replaced file's mode is kept (the previous file was made with the
  // ordinary permissions), not a new file's 0600.
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(st.st_mode & 0777, 0666u & ~mask);
}

// A pid that no process has: a child's, once it has ended.
pid_t ended_pid() {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(0);
  ::waitpid(pid, nullptr, 0);
  return pid;
}

TEST_F(AtomicSaveTest, ASaveSweepsWhatEndedSavesAndCopiesLeftBehindAndNothingElse) {
  std::filesystem::create_directories(host("card"));
  const auto dir = host("card");
  const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
  const std::string dead = std::to_string(ended_pid()), alive = std::to_string(::getppid());
  // Another file's too: a copy cut off mid-way leaves one named after the
  // copy, which no later save of that name would sweep.
  const std::vector<std::string> swept = {".m.xml.tmp" + dead + "-0",
                                          ".other.xml.tmp" + dead + "-0"};
  const std::vector<std::string> kept = {".m.xml.tmp" + alive + "-0",  // its process still runs
                                         ".m.xml.tmp" + dead + "-1",   // written a moment ago
                                         ".m.xml.tmpx-0", "m.xml.tmp" + dead + "-0"};
  for (const auto& name : swept) write_bytes(dir / name, "partial");
  for (const auto& name : kept) write_bytes(dir / name, "partial");
  for (const auto& name : swept) std::filesystem::last_write_time(dir / name, old);
  for (const auto& name : kept)
    if (name != ".m.xml.tmp" + dead + "-1") std::filesystem::last_write_time(dir / name, old);

  auto doc = new_doc();
  ASSERT_TRUE(load_xml(doc.get(), kMessagesTemplate));
  ASSERT_EQ(save(doc.get(), u"\\card\\m.xml"), S_OK);
  for (const auto& name : swept) EXPECT_FALSE(std::filesystem::exists(dir / name)) << name;
  for (const auto& name : kept) EXPECT_TRUE(std::filesystem::exists(dir / name)) << name;
}

TEST_F(AtomicSaveTest, SavesThatCannotReachTheirFolderFail) {
  auto doc = new_doc();
  ASSERT_TRUE(load_xml(doc.get(), kMessagesTemplate));
  EXPECT_LT(save(doc.get(), u"\\No Card\\vardelbackup\\m.xml"), 0);
  EXPECT_LT(save(doc.get(), u"\\..\\escape.xml"), 0);
  EXPECT_FALSE(std::filesystem::exists(outer_ / "escape.xml"));
  std::filesystem::create_directory(host("m.xml"));  // a folder stands where the file would go
  EXPECT_LT(save(doc.get(), u"m.xml"), 0);
  if (::geteuid() != 0) {
    std::filesystem::create_directory(host("ro"));
    write_bytes(host("ro/m.xml"), "old");
    ::chmod(host("ro").c_str(), 0500);
    EXPECT_EQ(save(doc.get(), u"ro\\m.xml"), E_ACCESSDENIED);
    ::chmod(host("ro").c_str(), 0700);
    EXPECT_EQ(read_bytes(host("ro/m.xml")), "old");
  }
  VARIANT none;
  VariantInit(&none);
  EXPECT_EQ(doc->save(none), E_INVALIDARG);
}

}  // namespace
}  // namespace vardel::msxml::testing
