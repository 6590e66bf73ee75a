// Encrypted archives of the backup folder, as a user meets them: opened
// with stock gpg and tar, listed and extracted by vardel, and failures that
// leave nothing half-written behind.
#include <sys/stat.h>

#include <fstream>

#include "host/tests/cli_fixture.h"

namespace {

using namespace vardel_test;

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Everything in the folder, hidden temporaries too.
// A folder's names, as an archive holds them: the history's live database
// files are not archived.
std::vector<std::string> names_in(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().filename().string().rfind("history.db", 0) != 0)
      names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class Archive : public Cli {
 protected:
  void SetUp() override {
    fs::create_directory(gnupg_);
    fs::permissions(gnupg_, fs::perms::owner_all);
    env_ = "GNUPGHOME='" + gnupg_.string() + "'";
    ASSERT_EQ(sh("gpg --batch --passphrase '' --quick-gen-key 'Test <test@example.org>' "
                 "default default never"),
              0);
    pass_ = write("pass", "correct horse\n");
    fs::create_directory(out_);
    ASSERT_EQ(vardel("device init --demo").status, 0);
    ASSERT_EQ(vardel("backup --yes").status, 0);
  }
  void TearDown() override { sh("gpgconf --kill all"); }

  // Runs a shell command with the test's GnuPG home; its exit status.
  int sh(const std::string& cmd) {
    const std::string line = env_ + " sh -c '" + cmd_quote(cmd) + "' >/dev/null 2>&1";
    const int raw = std::system(line.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  static std::string cmd_quote(const std::string& s) {
    std::string q;
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q;
  }
  // The one archive in out_.
  fs::path archive() {
    const std::vector<std::string> names = names_in(out_);
    EXPECT_EQ(names.size(), 1u);
    return names.empty() ? fs::path() : out_ / names[0];
  }
  // Decrypts with gpg into a new folder and checks SHA256SUMS there.
  void expect_opens_with_gpg(const std::string& gpg_options) {
    const fs::path x = dir_ / "x";
    fs::create_directory(x);
    EXPECT_EQ(sh("gpg --batch " + gpg_options + " --decrypt '" + archive().string() +
                 "' | tar -x -C '" + x.string() + "'"),
              0);
    EXPECT_EQ(sh("cd '" + x.string() + "' && sha256sum --quiet -c SHA256SUMS"), 0);
    EXPECT_EQ(names_in(x), names_in(backup_dir()));
    EXPECT_EQ(read_file(x / "短信.xml"), read_file(backup_dir() / "短信.xml"));
  }

  fs::path gnupg_ = dir_ / "gnupg";
  fs::path out_ = dir_ / "out";
  fs::path pass_;
};

TEST_F(Archive, ForAKeyOpensWithGpgAndTarWithEveryFileAndItsSums) {
  ASSERT_EQ(vardel("backup --yes").status, 0);  // a dated copy too
  const CliResult r = vardel("archive --to '" + out_.string() + "' --recipient test@example.org");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(r.out, "read it back")) << r.out;
  const std::string name = archive().filename().string();
  EXPECT_TRUE(name.starts_with("vardelbackup-") && name.ends_with(".tar.gpg")) << name;
  EXPECT_EQ(name.size(), std::string("vardelbackup-YYYYMMDD-HHMMSS.tar.gpg").size());
  EXPECT_EQ(fs::status(archive()).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(names_in(backup_dir()).size(), 7u);
  expect_opens_with_gpg("");
}

TEST_F(Archive, WithAPassphraseOpensWithGpgListsAndExtracts) {
  CliResult r =
      vardel("archive --to '" + out_.string() + "' --passphrase-file '" + pass_.string() + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  expect_opens_with_gpg("--pinentry-mode loopback --passphrase-file '" + pass_.string() + "'");

  r = vardel("archive --list '" + archive().string() + "' --passphrase-file '" + pass_.string() +
             "'");
  ASSERT_EQ(r.status, 0) << r.err;
  for (const std::string& name : names_in(backup_dir()))
    EXPECT_TRUE(has(r.out, "  " + name + "\n")) << name << r.out;

  const fs::path to = dir_ / "extracted";
  fs::create_directory(to);
  const std::string extract = "archive --extract '" + archive().string() + "' --to '" +
                              to.string() + "' --passphrase-file '" + pass_.string() + "'";
  r = vardel(extract);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(names_in(to), names_in(backup_dir()));
  EXPECT_EQ(read_file(to / "通讯录.xml"), read_file(backup_dir() / "通讯录.xml"));
  EXPECT_EQ(fs::status(to / "通讯录.xml").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);

  // A second extract finds the files there: none is replaced.
  std::ofstream(to / "短信.xml", std::ios::trunc) << "mine";
  r = vardel(extract);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(has(r.err, "already exists")) << r.err;
  EXPECT_EQ(read_file(to / "短信.xml"), "mine");
}

TEST_F(Archive, FailuresSayWhyAndLeaveNoPartialFile) {
  const std::string to = " --to '" + out_.string() + "'";
  CliResult r = vardel("archive" + to + " --recipient nobody@example.org");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(has(r.err, "no usable public key for nobody@example.org")) << r.err;
  EXPECT_TRUE(names_in(out_).empty());

  r = vardel("archive --to '" + (dir_ / "missing").string() + "' --passphrase-file '" +
             pass_.string() + "'");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(has(r.err, "cannot write to")) << r.err;

  // A file size limit stands in for a full card: the writing fails midway.
  wrapper_ = "sh -c 'ulimit -f 4; exec \"$0\" \"$@\"'";
  r = vardel("archive" + to + " --passphrase-file '" + pass_.string() + "'");
  wrapper_.clear();
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(has(r.err, "cannot write")) << r.err;
  EXPECT_TRUE(names_in(out_).empty());

  r = vardel("archive" + to);  // stdin is not a terminal
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(has(r.err, "--passphrase-file")) << r.err;
  EXPECT_TRUE(names_in(out_).empty());
}

TEST_F(Archive, AFolderFileThatDoesNotMatchItsSumIsNotArchived) {
  std::ofstream(backup_dir() / "短信.xml", std::ios::app) << "<!-- rot -->";
  CliResult r =
      vardel("archive --to '" + out_.string() + "' --passphrase-file '" + pass_.string() + "'");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(has(r.err, "短信.xml does not match")) << r.err;
  EXPECT_TRUE(names_in(out_).empty());

  write("stray.txt", "x");
  fs::copy_file(dir_ / "stray.txt", backup_dir() / "stray.txt");
  std::ofstream(backup_dir() / "短信.xml", std::ios::trunc);
  ASSERT_EQ(vardel("backup --yes").status, 0);
  r = vardel("archive --to '" + out_.string() + "' --passphrase-file '" + pass_.string() + "'");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(has(r.err, "stray.txt is not listed")) << r.err;
  EXPECT_TRUE(names_in(out_).empty());
}

TEST_F(Archive, WrongPassphraseReadsNothing) {
  ASSERT_EQ(
      vardel("archive --to '" + out_.string() + "' --passphrase-file '" + pass_.string() + "'")
          .status,
      0);
  const fs::path wrong = write("wrong", "not it\n");
  const fs::path to = dir_ / "extracted";
  fs::create_directory(to);
  CliResult r = vardel("archive --list '" + archive().string() + "' --passphrase-file '" +
                       wrong.string() + "'");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(has(r.err, "Bad passphrase")) << r.err;
  EXPECT_TRUE(r.out.empty()) << r.out;
  r = vardel("archive --extract '" + archive().string() + "' --to '" + to.string() +
             "' --passphrase-file '" + wrong.string() + "'");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(has(r.err, "Bad passphrase")) << r.err;
  EXPECT_TRUE(names_in(to).empty());
}

TEST_F(Archive, ExtractRefusesMembersThatWouldLeaveTheFolderOrAreLinks) {
  const fs::path src = dir_ / "src" / "inner";
  fs::create_directories(src);
  std::ofstream(src / "ok.xml") << "fine";
  std::ofstream(dir_ / "src" / "evil.xml") << "evil";
  fs::create_symlink("/etc/passwd", src / "link.xml");
  const fs::path to = dir_ / "src" / "inner" / "to";
  struct Case {
    std::string tar_args;  // run in src
    std::string why;
  } cases[] = {
      {"ok.xml ../evil.xml", "would leave the folder"},
      {"ok.xml '" + (dir_ / "src" / "evil.xml").string() + "'", "absolute name"},
      {"ok.xml link.xml", "is a link"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tar_args);
    fs::remove_all(to);
    fs::create_directory(to);
    const fs::path evil = dir_ / "evil.tar.gpg";
    fs::remove(evil);
    ASSERT_EQ(sh("cd '" + src.string() + "' && tar -P -c " + c.tar_args +
                 " | gpg --batch --pinentry-mode loopback --passphrase-file '" + pass_.string() +
                 "' --symmetric -o '" + evil.string() + "'"),
              0);
    const CliResult r = vardel("archive --extract '" + evil.string() + "' --to '" + to.string() +
                               "' --passphrase-file '" + pass_.string() + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.err, c.why)) << r.err;
    EXPECT_TRUE(names_in(to).empty());  // ok.xml came first and was taken back
    EXPECT_EQ(read_file(dir_ / "src" / "evil.xml"), "evil");
  }
}

}  // namespace
