// The process-wide store as the program meets it: a copy of this test program runs beside an
// "Ovenix.ini", finds the file on its first settings operation and writes it back when the process
// ends (the destructor of g_iniStore).
#include <gtest/gtest.h>

#include <shlobj.h>

#include <cstring>
#include <string>

#include "settings/ini_store.h"
#include "settings/registry.h"
#include "support/process.h"
#include "support/registry_snapshot.h"
#include "support/temp_folder.h"
#include "ini_test_util.h"

namespace {

const wchar_t kProbeClass[] = L".vokprobe";

// What the copy does with "--probe": one setting of the program key, one write outside it.
int RunProbe() {
  WriteUserString(L"Setup\\MenuItems", L"AlwaysArc", L"*.iso");
  WriteSettingString(HKEY_CLASSES_ROOT, kProbeClass, L"", L"Ovenix.vok");
  return IsIntegrationAllowed() ? 10 : 11;
}

class IniProbeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(MakeFolders(folder_.Join(L"Ovenix")));
    ASSERT_TRUE(CopyFileW(OwnModulePath().c_str(), exe_.c_str(), FALSE));
  }
  void TearDown() override { DeleteRegTree(HKEY_CLASSES_ROOT, kProbeClass); }

  TempFolder folder_{L"vok probe"};
  std::wstring exe_ = folder_.Join(L"Ovenix\\probe.exe");
  std::wstring ini_ = folder_.Join(L"Ovenix\\Ovenix.ini");
};

TEST_F(IniProbeTest, TheFileBesideTheProgramIsFoundAndWrittenBackAtExit) {
  const struct {
    const wchar_t* file;
    bool rewritten;
    const wchar_t* expected;  // the file afterwards (UTF-16 LE with mark) when rewritten
  } cases[] = {
      {L"Global\\Integration=0\r\nHKCU\\Setup\\ShellExt=1\r\n", true,
       L"Global\\AppData=1\r\nGlobal\\Integration=0\r\nGlobal\\SaveSettings=1\r\n"
       L"HKCU\\Setup\\MenuItems\\AlwaysArc=\"*.iso\"\r\nHKCU\\Setup\\ShellExt=1\r\n"},
      {L"Global\\Integration=0\r\nGlobal\\SaveSettings=0\r\nHKCU\\Setup\\ShellExt=1\r\n", false, L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::wstring(c.file));
    const std::string original = AnsiFile(c.file);
    ASSERT_TRUE(WriteFileBytes(ini_, original));
    const ProcessResult result = RunProcess(Quoted(exe_) + L" --probe", folder_.path());
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(11u, result.exitCode) << "registry access should be off";
    if (c.rewritten) {
      EXPECT_EQ(ShowBytes(Utf16LeFile(c.expected)), ShowBytes(ReadFileBytes(ini_)));
    } else {
      EXPECT_EQ(original, ReadFileBytes(ini_));
    }
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, kProbeClass)) << "a portable run wrote to the registry";
    EXPECT_FALSE(FileExists(ini_ + L".new"));
  }
}

// Without a file beside the program the one in the archiver's per-user folder is used; a file
// beside the program wins over it.
TEST_F(IniProbeTest, TheUsersApplicationDataFolderIsTheSecondPlace) {
  wchar_t roaming[MAX_PATH] = L"";
  ASSERT_EQ(S_OK, SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, roaming));
  const std::wstring userFolder = std::wstring(roaming) + L"\\Ovenix";
  if (FileExists(userFolder)) GTEST_SKIP() << "the prefix already has " << userFolder << "; not ours to change";
  ASSERT_TRUE(MakeFolders(userFolder));
  const std::wstring userIni = userFolder + L"\\Ovenix.ini";
  const std::string userOriginal = AnsiFile(L"Global\\Integration=0\r\n");

  const struct {
    bool besideProgram;
    bool userFileRewritten;
  } cases[] = {{false, true}, {true, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.besideProgram ? "a file beside the program too" : "only the per-user file");
    ASSERT_TRUE(WriteFileBytes(userIni, userOriginal));
    DeleteFileW(ini_.c_str());
    if (c.besideProgram) {
      ASSERT_TRUE(WriteFileBytes(ini_, AnsiFile(L"Global\\Integration=0\r\n")));
    }
    const ProcessResult result = RunProcess(Quoted(exe_) + L" --probe", folder_.path());
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(11u, result.exitCode);
    const std::string expected =
        Utf16LeFile(L"Global\\AppData=1\r\nGlobal\\Integration=0\r\nGlobal\\SaveSettings=1\r\n"
                    L"HKCU\\Setup\\MenuItems\\AlwaysArc=\"*.iso\"\r\n");
    EXPECT_EQ(ShowBytes(c.userFileRewritten ? expected : userOriginal), ShowBytes(ReadFileBytes(userIni)));
    if (c.besideProgram) {
      EXPECT_EQ(ShowBytes(expected), ShowBytes(ReadFileBytes(ini_)));
    }
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, kProbeClass));
  }
  EXPECT_TRUE(DeleteTreeForTest(userFolder));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--probe") == 0) return RunProbe();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
