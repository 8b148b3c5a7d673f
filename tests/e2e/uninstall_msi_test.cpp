// Windows Installer mode: the integration goes except the installed-programs entry and App Paths;
// no file is touched and no batch file is written.
#include <gtest/gtest.h>

#include "e2e/e2e_test_common.h"

namespace {

TEST(MsiMode, RemovesTheIntegrationButNoFile) {
  const SystemState before = CaptureSystemState();
  MockInstallation installation(L"C:\\vok-e2e\\msi\\Ovenix");
  ASSERT_NO_FATAL_FAILURE(IntegrateAndList(installation, before));
  const std::string listBytes = ReadFileBytes(installation.Join(L"Uninstall.lst"));
  const std::vector<std::wstring> batchFolders = BatchFolders();

  const ProcessResult result = installation.RunAgent(L"agent.exe", L"uninstall-msi");
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(0u, result.exitCode);

  const SystemState after = CaptureSystemState();
  for (const std::wstring& line : LinesAdded(before.registry, after.registry)) {
    const bool kept = line.find(L"CurrentVersion\\Uninstall\\Ovenix archiver") != std::wstring::npos ||
                      line.find(L"CurrentVersion\\App Paths\\Ovenix.exe") != std::wstring::npos;
    EXPECT_TRUE(kept) << "left behind: " << Printable(line);
  }
  EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ovenix archiver"));
  EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Ovenix.exe"));
  EXPECT_EQ(before.shortcuts, after.shortcuts) << Printable(Differences(before.shortcuts, after.shortcuts));

  for (size_t i = 0; i < kMockInstallationFileCount; ++i) {
    EXPECT_TRUE(FileExists(installation.Join(kMockInstallationFiles[i]))) << Printable(kMockInstallationFiles[i]);
  }
  EXPECT_EQ(listBytes, ReadFileBytes(installation.Join(L"Uninstall.lst"))) << "the list stays as it was";
  EXPECT_EQ(batchFolders, BatchFolders()) << "a batch folder was made";
}

}  // namespace
