// Running the vardel program as a user does, in a fresh device folder.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace vardel_test {

namespace fs = std::filesystem;

struct CliResult {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Snapshot of every file below a folder: path -> content.
inline std::map<std::string, std::string> snapshot(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) files[fs::relative(e.path(), dir).string()] = slurp(e.path());
  return files;
}

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "vardel-cli-XXXXXX").string();
    dir_ = mkdtemp(tmpl.data());
    device_ = dir_ / "device";
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs vardel with the arguments (shell words), stdin from `input`.
  CliResult vardel(const std::string& args, const std::string& input = "") {
    const fs::path in = dir_ / "stdin", out = dir_ / "stdout", err = dir_ / "stderr";
    std::ofstream(in) << input;
    const std::string cmd = "env -u DISPLAY VARDEL_DEVICE='" + device_.string() +
                            "' XDG_CACHE_HOME='" + (dir_ / "cache").string() + "' " + env_ + " " +
                            wrapper_ + " '" VARDEL_EXE "' " + args + " <'" + in.string() + "' >'" +
                            out.string() + "' 2>'" + err.string() + "'";
    const int raw = std::system(cmd.c_str());
    CliResult r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = slurp(out);
    r.err = slurp(err);
    return r;
  }
  fs::path write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
    return dir_ / name;
  }
  fs::path backup_dir() const { return device_ / "Storage Card" / "vardelbackup"; }

  fs::path dir_;
  fs::path device_;
  std::string env_;      // more VAR=value words for every run
  std::string wrapper_;  // a command that runs vardel ("timeout 30")
};

}  // namespace vardel_test
