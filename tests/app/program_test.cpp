// The real uninstall.exe, started as the self-removal batch file and the installer start it.
#include <gtest/gtest.h>

#include "support/process.h"
#include "support/temp_folder.h"

namespace {

TEST(Program, WaitOptionPausesTwoSecondsAndExitsWithZero) {
  const ULONGLONG start = GetTickCount64();
  const ProcessResult result = RunProcess(Quoted(BuiltUninstallExe()) + L" -waiting", L"", {}, 30000);
  const ULONGLONG elapsed = GetTickCount64() - start;
  ASSERT_TRUE(result.started);
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(0u, result.exitCode);
  EXPECT_GE(elapsed, 1900u) << "the wait option must pause about two seconds";
  EXPECT_LT(elapsed, 20000u);
}

TEST(Program, AnUnknownSwitchDoesNothingAndEndsWith87) {
  // Run from a folder holding an uninstall list: were this taken for uninstall mode, the list's
  // file would be deleted; were it taken for setup mode, the dialog would hold the process open.
  TempFolder folder(L"vok unrecognised");
  ASSERT_TRUE(WriteFileBytes(folder.Join(L"keep.txt"), "keep"));
  ASSERT_TRUE(WriteFileBytes(folder.Join(L"Uninstall.lst"), "keep.txt\r\n"));
  const std::wstring exe = folder.Join(L"uninstall.exe");
  ASSERT_TRUE(CopyFileW(BuiltUninstallExe().c_str(), exe.c_str(), FALSE));
  for (const wchar_t* switches : {L"-unknown /x -setu -warn", L"/VERYSILENT /NORESTART", L"-s -x", L"-setup /x"}) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(switches)));
    const ProcessResult result = RunProcess(Quoted(exe) + L" " + switches, folder.path(), {}, 30000);
    ASSERT_TRUE(result.finished) << "the program must return at once";
    EXPECT_EQ(87u, result.exitCode) << "ERROR_INVALID_PARAMETER";
    EXPECT_TRUE(FileExists(folder.Join(L"keep.txt")));
    EXPECT_TRUE(FileExists(folder.Join(L"Uninstall.lst")));
    EXPECT_TRUE(FileExists(exe));
  }
}

TEST(Program, TheWarningNoticeStaysAwayFromASilentRun) {
  // Shown, the notice would wait for a person until the time-out ends the process.
  for (const wchar_t* switches : {L"-warning -s", L"/S -warning"}) {
    const ProcessResult result = RunProcess(Quoted(BuiltUninstallExe()) + L" " + switches, L"", {}, 20000);
    ASSERT_TRUE(result.finished) << testing::PrintToString(std::wstring(switches)) << " showed a notice";
    EXPECT_EQ(0u, result.exitCode);
  }
}

}  // namespace
