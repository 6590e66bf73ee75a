// A vCard file into the contacts database as it is read: the cards go to
// the store a batch at a time, inside the one transaction of the import, so
// memory holds a batch of contacts (and the reader's largest card), never
// the whole file or all of its contacts.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "host/tools/vcard.h"
#include "platform/core/sha256.h"

namespace vardel::tools {

namespace {

// Contacts written to the store at a time: enough that the statements'
// cost per contact is small, few enough that they take little memory.
constexpr size_t kBatch = 256;

// Reads the file from its start, hashing what it reads (a pass reads to the
// end, so the last pass's digest is the file's as it was read).
struct PassReader {
  int fd;
  std::unique_ptr<core::Sha256> hash;
  std::int64_t size = 0;

  VcardSource open() {
    hash = std::make_unique<core::Sha256>();
    size = 0;
    return [this, offset = off_t{0}](char* buf, size_t n) mutable -> size_t {
      for (;;) {
        const ssize_t got = ::pread(fd, buf, n, offset);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0)
          throw VcardFileError("cannot be read (" + std::string(std::strerror(errno)) + ")");
        offset += got;
        size += got;
        hash->update(std::string_view(buf, static_cast<size_t>(got)));
        return static_cast<size_t>(got);
      }
    };
  }
};

}  // namespace

VcardFileImport import_vcard_fd(int fd, const std::filesystem::path& contacts_db,
                                const sql::FileIdentity& identity,
                                const std::function<void(std::string&&)>& warn) {
  PassReader file{fd, nullptr};
  poom::ContactImport import(contacts_db);
  std::vector<poom::ContactRecord> batch;
  std::vector<std::string> uids;
  const auto write = [&] {
    import.add(batch, uids);
    batch.clear();
    uids.clear();
  };
  VcardFileImport result;
  result.notes = read_vcard_stream([&] { return file.open(); },
                                   [&](VcardCard&& card) {
                                     batch.push_back(std::move(card.contact));
                                     uids.push_back(std::move(card.uid));
                                     if (batch.size() >= kBatch) write();
                                   },
                                   warn);
  if (!batch.empty()) write();
  // Nothing to import: rolled back, and the file is not noted.
  if (import.added() == 0) return result;
  // What was read must be the file that was hashed, else its note would
  // name other bytes than the contacts came from.
  if (file.size != identity.size || file.hash->hex() != identity.sha256)
    throw VcardFileError("changed while it was read");
  import.commit(identity);
  result.added = import.added();
  return result;
}

}  // namespace vardel::tools
