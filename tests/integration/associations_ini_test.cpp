// Associations with a portable settings file: the saved previous owners live in the file, and a
// file that switches system integration off keeps HKEY_CLASSES_ROOT untouched. Runs from the
// installation-like copy (associations_installation_test.cpp).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "associations_installation.h"
#include "integration/associations.h"
#include "integration/integration.h"
#include "integration/integration_settings.h"
#include "settings/ini_store.h"
#include "support/private_registry.h"
#include "support/registry_snapshot.h"
#include "support/temp_folder.h"

namespace {

std::wstring Entry(const wchar_t* name) {
  const wchar_t* value = IniLookup(name);
  return value ? value : L"<missing>";
}

class AssociationsWithIniFile : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(RunningFromInstallation()) << "must run from the installation-like copy"; }
  void TearDown() override {
    g_iniStore.Release();  // writes nothing; the next settings operation searches again
    DeleteFileW(InstallationFile(L"voknew.dat").c_str());
    DeleteFileW(InstallationFile(L"zipnew.dat").c_str());
  }
  void UseIniFile(const char* content) {
    const std::wstring path = folder_.Join(L"Ovenix.ini");
    ASSERT_TRUE(WriteFileBytes(path, content));
    g_iniStore.Release();
    ASSERT_TRUE(g_iniStore.LoadFile(path.c_str()));
  }

  PrivateRegistry registry_;
  TempFolder folder_{L"ovenix-ini"};
};

TEST_F(AssociationsWithIniFile, SavedOwnersLiveInTheFileAndComeBack) {
  UseIniFile("Global\\Integration=1\r\n");
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".zip", L"", L"OtherArc.Zip"));
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"NullFile", L""));
  // A type the file cannot hold (it has no escaping for line breaks): that extension stays its owner's.
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".cab", L"", L"Odd.Cab\r\nGlobal\\Integration=0"));
  const std::vector<std::wstring> before = SnapshotRegistry(HKEY_CLASSES_ROOT, L"");

  AssociateArchiveTypes(Record(true, true));
  EXPECT_EQ(L"Ovenix.ZIP", RegString(HKEY_CLASSES_ROOT, L".zip", L""));
  EXPECT_EQ(L"OtherArc.Zip", Entry(L"HKCU\\Setup\\.zip\\Type"));
  EXPECT_EQ(L"*", Entry(L"HKCU\\Setup\\.zip\\ShellNew"));
  EXPECT_EQ(L"1", Entry(L"HKCU\\Setup\\.zip\\Exist"));
  EXPECT_EQ(L"0", Entry(L"HKCU\\Setup\\.vok\\Exist"));
  EXPECT_EQ(L"Odd.Cab\r\nGlobal\\Integration=0", RegString(HKEY_CLASSES_ROOT, L".cab", L""));
  EXPECT_FALSE(g_iniStore.KeyExists(HKEY_CURRENT_USER, L"Setup\\.cab")) << "state saved for an extension not taken";
  EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, L"Software\\Ovenix")) << "the program's own key went to the registry";
  // What was saved reads back from the file as it was written, and nothing became an entry of its own.
  const std::wstring path = g_iniStore.filePath();
  ASSERT_TRUE(g_iniStore.Save());
  g_iniStore.Release();
  ASSERT_TRUE(g_iniStore.LoadFile(path.c_str()));
  EXPECT_TRUE(g_iniStore.Integration);
  EXPECT_EQ(L"OtherArc.Zip", Entry(L"HKCU\\Setup\\.zip\\Type"));

  AssociateArchiveTypes(Record(false, false));
  const std::vector<std::wstring> after = SnapshotRegistry(HKEY_CLASSES_ROOT, L"");
  EXPECT_EQ(before, after) << JoinLines(after).c_str();
}

TEST_F(AssociationsWithIniFile, SwitchedOffIntegrationLeavesTheClassesAndTheSavedOwnersAlone) {
  // The previous owner of ".zip", saved by a setup that ran with integration on.
  UseIniFile("Global\\Integration=0\r\nHKCU\\Setup\\.zip\\Exist=1\r\nHKCU\\Setup\\.zip\\Type=\"OtherArc.Zip\"\r\n"
             "HKCU\\Setup\\.zip\\ShellNew=\"*\"\r\nHKCU\\Setup\\.zip\\Set=1\r\nHKCU\\General\\Sample=1\r\n");
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".zip", L"", L"Ovenix.ZIP"));  // as a setup before left it
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"FileName", L"C:\\old\\zipnew.dat"));
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".cab", L"", L"Ovenix"));
  const std::vector<std::wstring> before = SnapshotRegistry(HKEY_CLASSES_ROOT, L"");

  AssociateArchiveTypes(Record(true, true));
  EXPECT_TRUE(RegisterProgIds());
  AssociateArchiveTypes(Record(false, false));
  ReleaseAceExtension();

  const std::vector<std::wstring> after = SnapshotRegistry(HKEY_CLASSES_ROOT, L"");
  EXPECT_EQ(before, after) << JoinLines(after).c_str();
  EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, L"Software\\Ovenix"));
  EXPECT_EQ(L"1", Entry(L"HKCU\\Setup\\.zip\\Exist"));
  EXPECT_EQ(L"OtherArc.Zip", Entry(L"HKCU\\Setup\\.zip\\Type"));
  EXPECT_EQ(L"*", Entry(L"HKCU\\Setup\\.zip\\ShellNew"));
  EXPECT_FALSE(g_iniStore.KeyExists(HKEY_CURRENT_USER, L"Setup\\.vok")) << "state saved with registry access off";

  // The uninstall's removal deletes the user's settings but not the owners it could not give back.
  RemoveIntegration();
  EXPECT_EQ(before, SnapshotRegistry(HKEY_CLASSES_ROOT, L""));
  EXPECT_EQ(L"1", Entry(L"HKCU\\Setup\\.zip\\Exist"));
  EXPECT_EQ(L"OtherArc.Zip", Entry(L"HKCU\\Setup\\.zip\\Type"));
  EXPECT_EQ(L"*", Entry(L"HKCU\\Setup\\.zip\\ShellNew"));
  EXPECT_EQ(L"<missing>", Entry(L"HKCU\\Setup\\.zip\\Set"));
  EXPECT_EQ(L"<missing>", Entry(L"HKCU\\General\\Sample"));

  // A later run with integration on gives the extension back to the owner the file kept.
  g_iniStore.Integration = true;
  AssociateArchiveTypes(Record(false, false));
  EXPECT_EQ(L"OtherArc.Zip", RegString(HKEY_CLASSES_ROOT, L".zip", L""));
  EXPECT_EQ(L"", RegString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"NullFile"));
  EXPECT_FALSE(RegValueExists(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"FileName"));
}

TEST_F(AssociationsWithIniFile, IntegrationSettingsRoundTripThroughTheFile) {
  UseIniFile("HKCU\\Setup\\.cab\\Set=0\r\nHKCU\\Setup\\Links\\Desktop=1\r\n");
  IntegrationSettings settings = Record(false, false);
  LoadIntegrationSettings(settings);
  EXPECT_EQ(0, settings.Associate[2]);
  EXPECT_EQ(1, settings.Associate[3]);
  EXPECT_EQ(1, settings.Desktop);

  settings.Associate[2] = 1;
  settings.MenuIcons = 0;
  SaveIntegrationSettings(settings);
  EXPECT_EQ(L"1", Entry(L"HKCU\\Setup\\.cab\\Set"));
  EXPECT_EQ(L"0", Entry(L"HKCU\\Setup\\MenuIcons"));
  EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, L"Software\\Ovenix"));
}

}  // namespace
