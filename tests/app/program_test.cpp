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

// A "-log=" switch of 2,000 characters whose path, cut to the 1,023 characters of a command-line
// token, would name the file "<folder>\cut": what comes before "cut" only climbs in and out of
// folders.
std::wstring OverlongLogSwitch(const std::wstring& folder) {
  constexpr size_t kCutPathLength = 1023 - 5;  // a token holds 1,023 characters, "-log=" among them
  const size_t padding = kCutPathLength - folder.size() - 1 - 3;
  std::wstring path = folder + L"\\";
  if (padding % 2 != 0) path += L"s\\..\\";
  while (path.size() < kCutPathLength - 3) path += L".\\";
  path += L"cut";
  return Quoted(L"-log=" + path + std::wstring(2000 - 5 - path.size(), L'x'));
}

TEST(Program, AnUnknownSwitchDoesNothingAndEndsWith87) {
  // Run from a folder holding an uninstall list: were this taken for uninstall mode, the list's
  // file would be deleted; were it taken for setup mode, the dialog would hold the process open.
  TempFolder folder(L"vok unrecognised");
  ASSERT_TRUE(WriteFileBytes(folder.Join(L"keep.txt"), "keep"));
  ASSERT_TRUE(WriteFileBytes(folder.Join(L"Uninstall.lst"), "keep.txt\r\n"));
  const std::wstring exe = folder.Join(L"uninstall.exe");
  ASSERT_TRUE(CopyFileW(BuiltUninstallExe().c_str(), exe.c_str(), FALSE));
  TempFolder logs(L"vok refused logs");
  const std::wstring log = logs.Join(L"run.log");
  const std::wstring overlongLog = OverlongLogSwitch(logs.path());
  for (const std::wstring& switches :
       {std::wstring(L"-unknown /x -setu -warn"), std::wstring(L"/VERYSILENT /NORESTART"), std::wstring(L"-s -x"),
        std::wstring(L"-setup /x"), L"/S " + overlongLog,
        L"-s " + Quoted(L"-log=" + log) + L" " + overlongLog}) {
    SCOPED_TRACE(testing::PrintToString(switches.substr(0, 80)));
    const ProcessResult result = RunProcess(Quoted(exe) + L" " + switches, folder.path(), {}, 30000);
    ASSERT_TRUE(result.finished) << "the program must return at once";
    EXPECT_EQ(87u, result.exitCode) << "ERROR_INVALID_PARAMETER";
    EXPECT_TRUE(FileExists(folder.Join(L"keep.txt")));
    EXPECT_TRUE(FileExists(folder.Join(L"Uninstall.lst")));
    EXPECT_TRUE(FileExists(exe));
  }
  EXPECT_FALSE(FileExists(logs.Join(L"cut"))) << "the over-long log path was cut and used";
  // The shorter "-log=" of the same command line still tells why nothing was done.
  const std::string logged = ReadFileBytes(log);
  EXPECT_NE(std::string::npos, logged.find("\r\nthe command line holds a switch longer than 1023 characters"))
      << logged;
  EXPECT_NE(std::string::npos, logged.find("\r\nexit code 87\r\n")) << logged;
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
