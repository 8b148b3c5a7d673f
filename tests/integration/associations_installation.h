// Shared by the association tests that run from a copy of the test program laid out like an
// installation (see associations_installation_test.cpp).
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "integration/integration_settings.h"
#include "support/private_registry.h"

// A record with every archive type or none associated, and the shell extension on or off;
// everything else off.
inline IntegrationSettings Record(bool allTypes, bool shellExt) {
  IntegrationSettings settings = {};
  for (size_t i = 0; i < kArchiveTypeCount; ++i) settings.Associate[i] = allTypes ? 1 : 0;
  settings.ShellExt = shellExt ? 1 : 0;
  return settings;
}

// True in the copy that runs the tests.
bool RunningFromInstallation();
// The full path of a file in the installation folder (the running program's folder).
std::wstring InstallationFile(const wchar_t* name);

// A test that runs in the installation-like copy with a private registry tree and without the
// ShellNew data files the program writes beside itself.
class InstallationRegistryTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(RunningFromInstallation()) << "must run from the installation-like copy";
    FreshRegistry();
    RemoveDataFiles();
  }
  void TearDown() override {
    registry_.reset();
    RemoveDataFiles();
  }
  // A new empty private tree (the old one is removed first: overrides do not nest).
  void FreshRegistry() {
    registry_.reset();
    registry_ = std::make_unique<PrivateRegistry>();
  }
  static void RemoveDataFiles() {
    DeleteFileW(InstallationFile(L"voknew.dat").c_str());
    DeleteFileW(InstallationFile(L"zipnew.dat").c_str());
  }

  std::unique_ptr<PrivateRegistry> registry_;
};
