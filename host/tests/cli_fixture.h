// Running the vardel program as a user does, in a fresh device folder.
#pragma once

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "test_support/files.h"

namespace vardel_test {

namespace fs = std::filesystem;

struct CliResult {
  int status = -1;
  std::string out;
  std::string err;
};

using vardel::testing::read_file;
using vardel::testing::snapshot;

class Cli : public ::testing::Test {
 protected:
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
    r.out = read_file(out);
    r.err = read_file(err);
    return r;
  }
  // Starts vardel with the arguments and kills it after the delay; false
  // when it had finished by then.
  bool killed_after(std::vector<std::string> args, std::chrono::microseconds delay) {
    std::fflush(stdout);  // the child must not print this process's buffer
    const pid_t pid = ::fork();
    if (pid < 0) {
      ADD_FAILURE() << "fork failed";
      return false;
    }
    if (pid == 0) {
      ::setenv("VARDEL_DEVICE", device_.c_str(), 1);
      ::unsetenv("DISPLAY");
      std::freopen("/dev/null", "w", stdout);
      std::freopen("/dev/null", "w", stderr);
      std::vector<char*> argv{const_cast<char*>(VARDEL_EXE)};
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(VARDEL_EXE, argv.data());
      ::_exit(127);
    }
    std::this_thread::sleep_for(delay);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFSIGNALED(status);
  }

  fs::path write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
    return dir_ / name;
  }
  fs::path backup_dir() const { return device_ / "Storage Card" / "vardelbackup"; }

  vardel::testing::TempFolder folder_{"vardel-cli"};
  const fs::path& dir_ = folder_.path();
  fs::path device_ = dir_ / "device";
  std::string env_;      // more VAR=value words for every run
  std::string wrapper_;  // a command that runs vardel ("timeout 30")
};

}  // namespace vardel_test
