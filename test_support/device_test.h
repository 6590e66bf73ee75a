// A test on a temporary device (test_support/temp_device.h) that holds an
// empty contacts database, or the parts the fixture asks for.
#pragma once

#include <gtest/gtest.h>

#include "test_support/temp_device.h"

namespace vardel::testing {

class DeviceTest : public ::testing::Test {
 protected:
  explicit DeviceTest(unsigned parts = kContactsDb) : device_(parts) {}

  TempDevice device_;
};

}  // namespace vardel::testing
