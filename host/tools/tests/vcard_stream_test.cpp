// The vCard reader as it streams: a file arriving in pieces of any size
// reads as the whole file does, a line or card beyond the reader's bounds
// refuses the file naming its line, and an import written in batches is
// still one transaction with the file's note.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "host/tools/vcard.h"
#include "platform/core/fault.h"
#include "platform/core/sha256.h"
#include "platform/core/wstr.h"
#include "platform/poom/contact_db.h"
#include "platform/poom/pimstore.h"
#include "test_support/files.h"

namespace {

namespace fs = std::filesystem;
using vardel::tools::VcardCard;
using vardel::tools::VcardFileError;
using vardel::tools::VcardImport;
using vardel::tools::VcardSource;

// The bytes handed out `piece` at a time.
VcardSource pieces(const std::string& bytes, size_t piece) {
  return [&bytes, piece, at = size_t{0}](char* buf, size_t n) mutable {
    n = std::min({n, piece, bytes.size() - at});
    std::memcpy(buf, bytes.data() + at, n);
    at += n;
    return n;
  };
}

VcardImport read_in_pieces(const std::string& bytes, size_t piece) {
  VcardImport r;
  r.notes = vardel::tools::read_vcard_stream(
      [&] { return pieces(bytes, piece); },
      [&](VcardCard&& c) {
        r.contacts.push_back(std::move(c.contact));
        r.uids.push_back(std::move(c.uid));
      },
      [&](std::string&& w) { r.warnings.push_back(std::move(w)); });
  return r;
}

std::string utf16le(const std::u16string& text, bool bom) {
  std::string out = bom ? "\xFF\xFE" : "";
  for (char16_t u : text) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
  }
  return out;
}

std::string field(const vardel::poom::ContactRecord& c, CEPROPID tag) {
  for (const auto& p : c)
    if (p.tag == tag) return vardel::utf8(p.text);
  return "";
}

TEST(VcardStream, AFileReadInPiecesOfAnySizeReadsAsTheWholeFile) {
  const std::string mixed =
      "\xEF\xBB\xBF"
      "BEGIN:VCARD\r\r\nVERSION:2.1\rN;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:=E5=BC=A0;=\r\n"
      "=E4=B8=89\r\nNOTE;QUOTED-PRINTABLE:one=0D=0Atwo=\n=\nthree\r\nTEL;CELL:138\r\n"
      "END:VCARD\r\n\r\njunk line\n"
      "BEGIN:VCARD\nUID:urn:uuid:1\nFN:Folded\n  name that goes\n\ton\nEMAIL:a@b.c\n"
      "BEGIN:VCARD\nFN:Inner\nX-UNKNOWN:x\nEND:VCARD\n"
      "BEGIN:VCARD\nFN:Cut short\nTEL:1";
  const std::string utf16 = utf16le(
      u"BEGIN:VCARD\r\nFN:\U0001F60A \xD83D Lone\r\nTEL:139\r\nEND:VCARD\r\n", /*bom=*/false);
  for (const std::string* file : {&mixed, &utf16}) {
    const VcardImport whole = vardel::tools::read_vcards(*file);
    ASSERT_FALSE(whole.contacts.empty());
    for (size_t piece : {1, 2, 3, 7, 64}) {
      SCOPED_TRACE("pieces of " + std::to_string(piece));
      const VcardImport r = read_in_pieces(*file, piece);
      EXPECT_EQ(r.contacts, whole.contacts);
      EXPECT_EQ(r.uids, whole.uids);
      EXPECT_EQ(r.warnings, whole.warnings);
      EXPECT_EQ(r.notes, whole.notes);
    }
  }
  const VcardImport m = vardel::tools::read_vcards(mixed);
  ASSERT_EQ(m.contacts.size(), 3u);
  EXPECT_EQ(field(m.contacts[0], PIMPR_LAST_NAME), "张");
  EXPECT_EQ(field(m.contacts[0], PIMPR_FIRST_NAME), "三");
  EXPECT_EQ(field(m.contacts[0], PIMPR_BODY), "one\r\ntwothree");
  EXPECT_EQ(field(m.contacts[1], PIMPR_FILEAS), "Inner");
  EXPECT_EQ(field(m.contacts[2], PIMPR_FILEAS), "Cut short");
  EXPECT_EQ(m.uids, (std::vector<std::string>{"", "", ""}));
  ASSERT_EQ(m.warnings.size(), 4u);
  EXPECT_EQ(m.warnings[0], "line 11: not part of a card, skipped");
  EXPECT_EQ(m.warnings[1], "card at line 12 skipped (line 18: a card begins inside another)");
  EXPECT_EQ(m.warnings[2],
            "card at line 18 (Inner): the phone has no place for X-UNKNOWN; left out");
  EXPECT_EQ(m.warnings[3],
            "card at line 22 (Cut short): no END:VCARD, the file ends at line 24; kept as far "
            "as it goes");

  // A lone surrogate is replaced, and said so; the pair beside it is kept.
  const VcardImport u = vardel::tools::read_vcards(utf16);
  ASSERT_EQ(u.contacts.size(), 1u);
  EXPECT_EQ(field(u.contacts[0], PIMPR_FILEAS), "\xF0\x9F\x98\x8A \xEF\xBF\xBD Lone");
  EXPECT_EQ(u.warnings,
            (std::vector<std::string>{"UTF-16LE: 1 lone surrogate replaced by U+FFFD"}));
  EXPECT_EQ(u.notes, (std::vector<std::string>{"read as UTF-16LE"}));
}

// A source that makes a file of `lines` lines, each given by line(k)
// (without its end), never holding more than one.
VcardSource generated(size_t lines, std::function<std::string(size_t)> line) {
  return [=, k = size_t{0}, text = std::string(), at = size_t{0}](char* buf,
                                                                  size_t n) mutable -> size_t {
    while (at == text.size()) {
      if (k == lines) return 0;
      text = line(k++) + "\r\n";
      at = 0;
    }
    n = std::min(n, text.size() - at);
    std::memcpy(buf, text.data() + at, n);
    at += n;
    return n;
  };
}

std::string refusal(const VcardSource& source) {
  try {
    vardel::tools::read_vcard_stream([&] { return source; }, [](VcardCard&&) {},
                                     [](std::string&&) {});
  } catch (const VcardFileError& e) {
    return e.what();
  }
  return "(not refused)";
}

TEST(VcardStream, ALineOrCardBeyondTheBoundsRefusesTheFileNamingTheLine) {
  constexpr size_t kLine = vardel::tools::vcard::LineReader::kMaxLine;
  const std::string chunk(64 * 1024, 'x');
  // One raw line too long, at line 3.
  EXPECT_EQ(refusal(generated(4,
                              [&](size_t k) {
                                if (k == 2) return "NOTE:" + std::string(kLine, 'x');
                                return std::string(k == 0 ? "BEGIN:VCARD" : "FN:A");
                              })),
            "line 3 is longer than 16 MiB (unfolded), more than any address book writes");
  // Folded pieces, each short, that unfold to a line too long: named by
  // the line it starts on.
  EXPECT_EQ(refusal(generated(2 + kLine / chunk.size() + 1,
                              [&](size_t k) {
                                if (k == 0) return std::string("BEGIN:VCARD");
                                if (k == 1) return std::string("NOTE:");
                                return " " + chunk;
                              })),
            "line 2 is longer than 16 MiB (unfolded), more than any address book writes");
  // A card of many lines, each within bounds, too long as a whole.
  const size_t card_lines = vardel::tools::kMaxCard / chunk.size() + 2;
  const std::string what = refusal(generated(1 + card_lines, [&](size_t k) {
    return k == 0 ? std::string("BEGIN:VCARD") : "NOTE:" + chunk;
  }));
  EXPECT_EQ(what.rfind("the card at line 1 is longer than 32 MiB by line ", 0), 0u) << what;
  // Just within the bounds: read.
  size_t cards = 0;
  vardel::tools::read_vcard_stream(
      [&] {
        return generated(3, [&](size_t k) {
          return k == 1 ? "NOTE:" + std::string(kLine - 5, 'y')
                        : std::string(k == 0 ? "BEGIN:VCARD" : "END:VCARD");
        });
      },
      [&](VcardCard&& c) {
        ++cards;
        EXPECT_EQ(field(c.contact, PIMPR_BODY).size(), kLine - 5);
      },
      [](std::string&&) {});
  EXPECT_EQ(cards, 1u);
}

class VcardFileImportTest : public ::testing::Test {
 protected:
  // A file of n cards, each with its own UID but the last, which repeats
  // the first's.
  void write_cards(size_t n) {
    std::string text;
    for (size_t i = 0; i < n; ++i)
      text += "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:uid-" + std::to_string(i + 1 == n ? 0 : i) +
              "\r\nFN:Card " + std::to_string(i) + "\r\nTEL:" + std::to_string(1000 + i) +
              "\r\nEND:VCARD\r\n";
    vardel::testing::write_file(file_, text);
    fd_ = ::open(file_.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd_, 0);
    ASSERT_TRUE(vardel::core::sha256_of_fd(fd_, &identity_.sha256));
    identity_.size = static_cast<std::int64_t>(text.size());
  }
  ~VcardFileImportTest() override {
    if (fd_ >= 0) ::close(fd_);
  }
  vardel::tools::VcardFileImport import(const vardel::sql::FileIdentity& identity) {
    return vardel::tools::import_vcard_fd(fd_, db_, identity, [](std::string&&) {});
  }

  vardel::testing::TempFolder folder_{"vardel-vcard-import"};
  fs::path file_ = folder_.path() / "cards.vcf", db_ = folder_.path() / "contacts.db";
  int fd_ = -1;
  vardel::sql::FileIdentity identity_;
};

TEST_F(VcardFileImportTest, AFailureInAnyBatchAddsNothingAndTheCleanRunAddsEveryCardOnce) {
  write_cards(1000);  // four batches
  for (unsigned nth : {1u, 300u, 999u}) {
    SCOPED_TRACE("write " + std::to_string(nth) + " fails");
    vardel::fault::Scope faults;
    vardel::fault::arm("poom.Database.Write", E_FAIL, nth);
    EXPECT_THROW(import(identity_), std::runtime_error);
    EXPECT_TRUE(vardel::poom::list_contacts(db_).empty());
    EXPECT_FALSE(vardel::poom::contacts_imported_when(identity_, db_));
  }
  {
    // The commit itself failing loses nothing either.
    vardel::fault::Scope faults;
    vardel::fault::arm("poom.ReplaceContacts.Commit", E_FAIL);
    EXPECT_THROW(import(identity_), std::runtime_error);
    EXPECT_TRUE(vardel::poom::list_contacts(db_).empty());
  }
  EXPECT_EQ(import(identity_).added, 1000u);
  EXPECT_TRUE(vardel::poom::contacts_imported_when(identity_, db_));
  const auto stored = vardel::poom::list_stored_contacts(db_);
  ASSERT_EQ(stored.size(), 1000u);
  std::vector<long> oids;
  for (const auto& c : stored) oids.push_back(c.oid);
  std::vector<std::string> uids = vardel::poom::contact_uids(oids, db_);
  std::sort(uids.begin(), uids.end());
  // Every UID the file gave once is kept; the repeated one is not, and its
  // contact gets a new one.
  EXPECT_EQ(std::count_if(uids.begin(), uids.end(),
                          [](const std::string& u) { return u.rfind("uid-", 0) == 0; }),
            999);
  EXPECT_EQ(std::unique(uids.begin(), uids.end()), uids.end());
  // The store's connection is free again for everything else.
  vardel::poom::add_contact({{PIMPR_FIRST_NAME, u"After"}}, db_);
  EXPECT_EQ(vardel::poom::list_contacts(db_).size(), 1001u);
}

TEST_F(VcardFileImportTest, BytesThatAreNotTheFileHashedAreNotImported) {
  write_cards(3);
  vardel::sql::FileIdentity other = identity_;
  other.sha256.assign(64, '0');
  try {
    import(other);
    ADD_FAILURE() << "imported";
  } catch (const VcardFileError& e) {
    EXPECT_STREQ(e.what(), "changed while it was read");
  }
  EXPECT_TRUE(vardel::poom::list_contacts(db_).empty());
  EXPECT_FALSE(vardel::poom::contacts_imported_when(other, db_));

  // A file without a card adds nothing and is not noted.
  vardel::testing::write_file(file_, "no cards here\n");
  ::close(fd_);
  fd_ = ::open(file_.c_str(), O_RDONLY | O_CLOEXEC);
  EXPECT_EQ(import(identity_).added, 0u);
  EXPECT_FALSE(vardel::poom::contacts_imported_when(identity_, db_));
}

}  // namespace
