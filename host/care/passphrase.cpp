// Passphrases from a file or the terminal (see passphrase.h).
#include "host/care/passphrase.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace vardel::host::care {

namespace {

// The terminal opened for one question; echo is restored however the
// question ends.
class Tty {
 public:
  Tty() : fd_(::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY)) {}
  ~Tty() {
    if (fd_ < 0) return;
    if (echo_off_) ::tcsetattr(fd_, TCSADRAIN, &saved_);
    ::close(fd_);
  }
  Tty(const Tty&) = delete;
  Tty& operator=(const Tty&) = delete;

  bool open() const { return fd_ >= 0; }

  std::optional<std::string> ask(const std::string& prompt) {
    say(prompt);
    if (::tcgetattr(fd_, &saved_) == 0) {
      termios quiet = saved_;
      quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
      echo_off_ = ::tcsetattr(fd_, TCSADRAIN, &quiet) == 0;
    }
    std::string line;
    char c = 0;
    bool ended = false;
    for (;;) {
      const ssize_t n = ::read(fd_, &c, 1);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      if (c == '\n' || c == '\r') {
        ended = true;
        break;
      }
      line += c;
    }
    if (echo_off_) {
      ::tcsetattr(fd_, TCSADRAIN, &saved_);
      echo_off_ = false;
    }
    say("\n");
    if (!ended || line.empty()) return std::nullopt;
    return line;
  }

  void say(const std::string& text) const {
    if (::write(fd_, text.data(), text.size()) < 0) {
      // The question still stands; nothing better to do with a terminal
      // that takes no output.
    }
  }

 private:
  int fd_;
  termios saved_{};
  bool echo_off_ = false;
};

}  // namespace

std::string read_passphrase_file(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read passphrase file " + file.string());
  std::string line;
  std::getline(in, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.empty())
    throw std::runtime_error("passphrase file " + file.string() + " has an empty first line");
  return line;
}

bool can_ask_passphrase() {
  if (!::isatty(STDIN_FILENO)) return false;
  return Tty().open();
}

std::optional<std::string> ask_passphrase(const std::string& prompt, bool confirm) {
  Tty tty;
  if (!tty.open()) return std::nullopt;
  for (;;) {
    std::optional<std::string> first = tty.ask(prompt);
    if (!first || !confirm) return first;
    std::optional<std::string> again = tty.ask("Repeat the passphrase: ");
    if (!again) return std::nullopt;
    if (*first == *again) return first;
    tty.say("The two passphrases differ; try again.\n");
  }
}

}  // namespace vardel::host::care
