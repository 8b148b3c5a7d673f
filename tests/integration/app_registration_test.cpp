// The uninstall entry, the version name, the refused App Paths write and the default-apps
// registration, against a private
// registry (HKCR, HKCU and HKLM redirected into a throw-away key). The program folder is the one
// of this test program. The App Paths rows themselves (two registry views) are checked end to end.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "integration/app_registration.h"
#include "integration/default_apps.h"
#include "settings/ini_store.h"
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

// ---- The default-apps registration ----

// Every extension of every archive type of the setup dialog, in its order.
const wchar_t* const kArchiveExtensions[] = {
    L".vok", L".zip", L".cab", L".arj", L".lz", L".tlz", L".lzh", L".lha", L".7z", L".tar", L".gz", L".tgz", L".uue",
    L".xxe", L".uu", L".bz2", L".tbz2", L".bz", L".tbz", L".jar", L".iso", L".z", L".taz", L".xz", L".txz", L".zipx",
    L".001"};

// HKLM\Software, HKCU\Software and HKCR\Applications of the private registry, each line marked by its root.
std::vector<std::wstring> DefaultAppsRegistry() {
  std::vector<std::wstring> lines;
  for (const auto& [root, name, subkey] : {std::make_tuple(HKEY_LOCAL_MACHINE, L"HKLM\\", L"Software"),
                                           std::make_tuple(HKEY_CURRENT_USER, L"HKCU\\", L"Software"),
                                           std::make_tuple(HKEY_CLASSES_ROOT, L"HKCR\\", L"Applications")})
    for (const std::wstring& line : SnapshotRegistry(root, subkey)) lines.push_back(name + line);
  std::sort(lines.begin(), lines.end());
  return lines;
}

// Windows reads the capabilities from the registry only: they never go into a settings file, and
// a registration the machine refuses is made for the user. Removal takes exactly what was written:
// another program's entry stays, and HKCR\Applications goes where nothing else is left in it.
TEST(DefaultAppsRegistrationTest, WritesEveryValueIntoTheRegistryAndRemovalTakesExactlyThem) {
  struct Case {
    const char* label;
    bool settingsFile, machineRefused, otherApplication;
  };
  for (const Case& c : {Case{"the registry is the store", false, false, true},
                        Case{"a settings file is the store", true, false, true},
                        Case{"the machine refuses the capabilities", false, true, false}}) {
    SCOPED_TRACE(c.label);
    PrivateRegistry registry;
    TempFolder folder(L"vokcapabilities");
    struct StoreRelease {
      ~StoreRelease() { g_iniStore.Release(); }  // nothing written back into the temporary folder
    } storeRelease;
    if (c.settingsFile) {
      ASSERT_TRUE(WriteFileBytes(folder.Join(L"Ovenix.ini"), "HKCU\\General\\Kept=1\r\n"));
      ASSERT_TRUE(g_iniStore.LoadFile(folder.Join(L"Ovenix.ini").c_str()));
    }
    if (c.otherApplication) {
      ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L"Applications\\other.exe", L"FriendlyAppName", L"Other"));
    }
    ASSERT_TRUE(CreateRegKey(HKEY_LOCAL_MACHINE, L"Software") && CreateRegKey(HKEY_CURRENT_USER, L"Software"));
    const std::vector<std::wstring> before = DefaultAppsRegistry();

    if (c.machineRefused) FailRegistryWritesToKey(HKEY_LOCAL_MACHINE, kCapabilitiesKey);
    WriteDefaultAppsRegistration();
    FailRegistryWritesToKey(nullptr, nullptr);

    const std::wstring root = c.machineRefused ? L"HKCU\\" : L"HKLM\\";
    const std::wstring capabilities = root + L"Software\\Ovenix\\Capabilities";
    std::vector<std::wstring> expected = {
        root + L"Software\\RegisteredApplications : Ovenix = SZ:Software\\Ovenix\\Capabilities",
        capabilities + L" : ApplicationName = SZ:Ovenix", capabilities + L" : ApplicationDescription = SZ:Ovenix",
        capabilities + L" : ApplicationIcon = SZ:" + OwnModuleFolder() + L"\\Ovenix.exe,0",
        L"HKCR\\Applications\\Ovenix.exe : FriendlyAppName = SZ:Ovenix"};
    for (const std::wstring extension : kArchiveExtensions) {
      expected.push_back(capabilities + L"\\FileAssociations : " + extension +
                         (extension == L".zip" ? L" = SZ:Ovenix.ZIP" : L" = SZ:Ovenix"));
      expected.push_back(L"HKCR\\Applications\\Ovenix.exe\\SupportedTypes : " + extension + L" = SZ:");
    }
    std::sort(expected.begin(), expected.end());
    std::vector<std::wstring> added = LinesAdded(before, DefaultAppsRegistry());
    added.erase(std::remove_if(added.begin(), added.end(), [](const std::wstring& line) {
                  return line.find(L" : ") == std::wstring::npos;  // keys: their values say it all
                }), added.end());
    EXPECT_EQ(JoinLines(expected), JoinLines(added));
    for (const IniEntry* entry = g_iniStore.entries(); entry; entry = entry->next)
      EXPECT_EQ(nullptr, wcsstr(entry->name.c_str(), L"Capabilities")) << Narrow(entry->name.c_str());

    DeleteDefaultAppsRegistration();
    // The empty list key may stay, as Windows' own lists do.
    EXPECT_EQ(root + L"Software\\RegisteredApplications\n", JoinLines(LinesAdded(before, DefaultAppsRegistry())));
    EXPECT_EQ(L"", JoinLines(LinesAdded(DefaultAppsRegistry(), before))) << "removal took more";
  }
}
}  // namespace
