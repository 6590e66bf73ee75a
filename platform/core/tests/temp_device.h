// A fresh device folder for one test, removed afterwards.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/core/device.h"

namespace vardel::testing {

class TempDevice {
 public:
  TempDevice() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "vardel-core-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    // The device lives one level down, so tests can put things "outside" it.
    outer_ = tmpl;
    root_ = outer_ / "device";
    std::filesystem::create_directory(root_);
    vardel::device::set_root(root_);
  }
  ~TempDevice() {
    std::error_code ec;
    std::filesystem::remove_all(outer_, ec);
  }
  TempDevice(const TempDevice&) = delete;
  TempDevice& operator=(const TempDevice&) = delete;

  const std::filesystem::path& root() const { return root_; }
  const std::filesystem::path& outer() const { return outer_; }

  static void write(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
  }
  static std::string read(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  std::filesystem::path outer_, root_;
};

}  // namespace vardel::testing
