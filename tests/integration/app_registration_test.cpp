// The uninstall entry, the version name and the refused App Paths write, against a private
// registry (HKCR, HKCU and HKLM redirected into a throw-away key). The program folder is the one
// of this test program. The App Paths rows themselves (two registry views) are checked end to end.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "integration/app_registration.h"
#include "settings/registry_test_seam.h"
#include "support/private_registry.h"
#include "support/process.h"
#include "support/registry_snapshot.h"
#include "support/temp_folder.h"
#include "support/text.h"

namespace {

const std::wstring kUninstallPath = kUninstallKey + 1;  // without the leading backslash
const std::wstring kAppPathsPath = kAppPathsKey + 1;

TEST(AppendVersionNameTest, ComposesFromTheStringTable) {
  const std::wstring name = L"6.01 beta 1 (64-bit)";  // version 6.01, beta 1, with the English strings
  struct Case {
    const char* label;
    const wchar_t* start;
    size_t capacity;
    std::wstring expected;
  };
  const Case cases[] = {
      {"empty text gets no leading blank", L"", 2048, name},
      {"a name gets one blank", L"Ovenix", 2048, L"Ovenix " + name},
      {"cut to the capacity", L"Ovenix", 10, L"Ovenix 6."},
      {"a full buffer stays as it is", L"Ovenix", 7, L"Ovenix"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    wchar_t text[2048];
    wcscpy(text, c.start);
    AppendVersionName(text, c.capacity);
    EXPECT_EQ(c.expected, std::wstring(text));
  }
}

class UninstallEntryTest : public ::testing::Test {
 protected:
  PrivateRegistry registry_;
  TempFolder temp_{L"vokicon"};
  const std::wstring folder_ = OwnModuleFolder() + L"\\";
};

TEST_F(UninstallEntryTest, WritesFourteenValuesInTheirTypes) {
  WriteUninstallEntry();
  const HKEY hklm = HKEY_LOCAL_MACHINE;
  EXPECT_EQ(L"Ovenix 6.01 beta 1 (64-bit)", RegString(hklm, kUninstallPath, L"DisplayName"));
  EXPECT_EQ(L"6.01.1", RegString(hklm, kUninstallPath, L"DisplayVersion"));
  EXPECT_EQ(6u, RegDword(hklm, kUninstallPath, L"VersionMajor"));
  EXPECT_EQ(1u, RegDword(hklm, kUninstallPath, L"VersionMinor"));
  EXPECT_EQ(L"\"" + OwnModulePath() + L"\"", RegString(hklm, kUninstallPath, L"UninstallString"));
  EXPECT_EQ(folder_ + L"Ovenix.exe", RegString(hklm, kUninstallPath, L"DisplayIcon"));
  EXPECT_EQ(folder_, RegString(hklm, kUninstallPath, L"InstallLocation")) << "ends with a backslash";
  EXPECT_EQ(1u, RegDword(hklm, kUninstallPath, L"NoModify"));
  EXPECT_EQ(1u, RegDword(hklm, kUninstallPath, L"NoRepair"));
  EXPECT_EQ(0u, RegDword(hklm, kUninstallPath, L"Language"));
  EXPECT_EQ(std::wstring(kPublisherName), RegString(hklm, kUninstallPath, L"Publisher"));
  EXPECT_EQ(L"\"" + OwnModulePath() + L"\" /S", RegString(hklm, kUninstallPath, L"QuietUninstallString"));
  EXPECT_NE(0xDEADBEEFu, RegDword(hklm, kUninstallPath, L"EstimatedSize")) << "a DWORD";
  EXPECT_EQ(TodayAsYyyyMmDd(), RegString(hklm, kUninstallPath, L"InstallDate"));
  // Fourteen values and nothing else.
  const std::vector<std::wstring> lines = SnapshotRegistry(hklm, kUninstallPath);
  size_t values = 0;
  for (const std::wstring& line : lines) values += line.find(L" : ") != std::wstring::npos;
  EXPECT_EQ(14u, values) << JoinLines(lines);
}

TEST_F(UninstallEntryTest, DisplayIconKeptOnlyWhenItNamesAnExistingFile) {
  const std::wstring existing = temp_.Join(L"installer icon.ico");
  ASSERT_TRUE(WriteFileBytes(existing, "icon"));
  const std::wstring replaced = folder_ + L"Ovenix.exe";
  struct Case {
    const char* label;
    bool present;
    std::wstring before;
    std::wstring expected;
  };
  const Case cases[] = {
      {"no value", false, L"", replaced},
      {"empty value", true, L"", replaced},
      {"an existing file survives", true, existing, existing},
      {"a missing file is replaced", true, L"C:\\no such folder\\x.ico", replaced},
      {"an icon index counts as no file", true, existing + L",0", replaced},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    DeleteRegTree(HKEY_LOCAL_MACHINE, kUninstallPath);
    if (c.present) {
      ASSERT_TRUE(SetRegString(HKEY_LOCAL_MACHINE, kUninstallPath, L"DisplayIcon", c.before));
    }
    WriteUninstallEntry();
    EXPECT_EQ(c.expected, RegString(HKEY_LOCAL_MACHINE, kUninstallPath, L"DisplayIcon"));
  }
}

TEST(RegisterAppPathTest, RefusedFirstWriteWritesNothing) {
  PrivateRegistry registry;
  {
    RegistryWriteFailures refuse(1);
    EXPECT_FALSE(RegisterAppPath());
    EXPECT_EQ(0u, refuse.Remaining()) << "the first write was not attempted";
  }
  for (REGSAM view : {REGSAM(0), REGSAM(KEY_WOW64_32KEY)}) {
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kAppPathsPath, view)) << "view " << view;
  }
  EXPECT_EQ(L"", JoinLines(SnapshotRegistry(HKEY_LOCAL_MACHINE, L"Software\\Ovenix")));
  EXPECT_EQ(L"", JoinLines(SnapshotRegistry(HKEY_CURRENT_USER, L"Software\\Ovenix")));
}

}  // namespace
