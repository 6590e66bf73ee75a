// A fresh device folder per test, with the stand-in classes registered and
// an empty contacts database, and the fault switchboard reset around it.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/core/device.h"
#include "platform/core/fault.h"
#include "platform/platform.h"
#include "platform/poom/contact_db.h"

class DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vardel-xml-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    m_root = tmpl;
    vardel::device::set_root(m_root);
    vardel::platform::register_classes();
    vardel::poom::create_contacts_db();
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(m_root, ec);
  }

  // The bytes of a file below the device folder.
  std::string ReadDeviceFile(const std::string& rel) {
    std::ifstream in(m_root / rel, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::filesystem::path m_root;
  vardel::fault::Scope m_faults;
};
