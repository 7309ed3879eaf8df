// Base for tests that touch the plug-in's registry keys: every test starts and ends
// with none of them.
#pragma once

#include <gtest/gtest.h>

#include "support/registry_values.h"

namespace testsupport {

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { ErasePluginKeys(); }
    void TearDown() override { ErasePluginKeys(); }
};

}  // namespace testsupport
