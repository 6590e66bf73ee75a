// A fresh device folder with an empty contacts database and the stand-in
// classes registered, for the contact store's own tests.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "platform/core/device.h"
#include "platform/core/fault.h"
#include "platform/core/wstr.h"
#include "platform/platform.h"
#include "platform/poom/contact_db.h"
#include "platform/poom/pimstore.h"

namespace store_test {

class DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vardel-store-XXXXXX";
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

  std::filesystem::path m_root;
  vardel::fault::Scope m_faults;
};

// One contact from (tag, UTF-8 text) pairs.
inline vardel::poom::ContactRecord Contact(
    std::initializer_list<std::pair<CEPROPID, const char*>> props) {
  vardel::poom::ContactRecord record;
  for (const auto& [tag, text] : props) record.push_back({tag, vardel::utf16(text)});
  return record;
}

// The text of one property of a listed contact, "" when absent.
inline std::u16string Prop(const vardel::poom::ContactRecord& contact, CEPROPID tag) {
  for (const auto& p : contact)
    if (p.tag == tag) return p.text;
  return {};
}

}  // namespace store_test
