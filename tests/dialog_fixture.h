// Base for tests that run the plug-in's dialogs in this process: their templates, icons
// and messages come from the built DLL, loaded here for its resources.
#pragma once

#include <windows.h>

#include "base/module.h"
#include "registry_fixture.h"
#include "ui/resource_ids.h"

namespace testsupport {

class PluginDialogTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        module_ = LoadLibraryA("Tunelark.dll");
        ASSERT_NE(module_, nullptr);
        tunelark::SetThisModule(module_);
        tunelark::LoadPluginIcons(IDI_LARGE, IDI_SMALL);
    }
    void TearDown() override {
        tunelark::DestroyPluginIcons();
        tunelark::SetThisModule(nullptr);
        if (module_) FreeLibrary(module_);
        module_ = nullptr;
        RegistryTest::TearDown();
    }

    HMODULE module_ = nullptr;
};

}  // namespace testsupport
