// ShellNew entries of the vok and ZIP types against the real registry in a private tree, with the
// data files in the installation-like folder the tests run from.
#include "integration/shell_new.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "associations_installation.h"
#include "integration/associations.h"
#include "support/private_registry.h"
#include "support/registry_snapshot.h"
#include "support/temp_folder.h"

namespace {

// The empty archives Explorer copies, byte for byte.
const std::string kVokTemplate("\x56\x6F\x6B\x21\x1A\x07\x01\x00\xC1\xDF\x5F\x56\x03\x01\x04\x00\x1D\x77\x56\x51\x03\x05\x04\x00",
                               24);
const std::string kZipTemplate = std::string("PK\x05\x06", 4) + std::string(18, '\0');

const wchar_t kMenuItems[] = L"Software\\Ovenix\\Setup\\MenuItems";
const wchar_t kOtherTemplate[] = L"C:\\OtherArc\\new.zip";

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  for (const unsigned char byte : bytes) {
    text += digits[byte >> 4];
    text += digits[byte & 15];
    text += ' ';
  }
  return text;
}

class ShellNew : public InstallationRegistryTest {};

TEST_F(ShellNew, EntryIsWantedOnlyWithTheShellExtensionAndItsMenuItem) {
  struct Case {
    bool shellExt, isVok, isZip;
    DWORD newVok, newZip;  // 2: not stored (default 1)
    bool want;
  };
  const Case cases[] = {
      {true, true, false, 2, 2, true},   {true, false, true, 2, 2, true},   {false, true, false, 1, 1, false},
      {true, true, false, 0, 1, false},  {true, true, false, 1, 0, true},   {true, false, true, 1, 0, false},
      {true, false, true, 0, 1, true},   {true, false, false, 0, 0, true},  {false, false, false, 1, 1, false},
      {true, true, false, 7, 2, true},   // any non-zero value counts as on
  };
  for (const Case& c : cases) {
    FreshRegistry();
    if (c.newVok != 2) {
      ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, kMenuItems, L"NewVOK", c.newVok));
    }
    if (c.newZip != 2) {
      ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, kMenuItems, L"NewZIP", c.newZip));
    }
    EXPECT_EQ(c.want, PrepareShellNew(c.shellExt, c.isVok, c.isZip))
        << "shellExt " << c.shellExt << " isVok " << c.isVok << " isZip " << c.isZip << " NewVOK " << c.newVok
        << " NewZIP " << c.newZip;
  }
}

TEST_F(ShellNew, SavedStateNamesTheFileOrMarksANullFileWhenThatGivesTheEntryBackExactly) {
  const struct {
    const wchar_t* fileName;  // nullptr: no value
    const wchar_t* nullFile;  // nullptr: no value
    const wchar_t* saved;
    bool exact;
  } cases[] = {
      {kOtherTemplate, nullptr, kOtherTemplate, true},
      {nullptr, L"", L"*", true},
      {nullptr, nullptr, L"", true},                // an empty key offers nothing
      {kOtherTemplate, L"", L"", false},            // the stored form keeps only one of them
      {L"", nullptr, L"", false},                   // an empty name would read back as no entry
      {nullptr, L"0123456789", L"", false},         // a NullFile with text is not the empty marker
  };
  for (const auto& c : cases) {
    FreshRegistry();
    ASSERT_TRUE(CreateRegKey(HKEY_CLASSES_ROOT, L".zip\\ShellNew"));
    if (c.fileName) {
      ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"FileName", c.fileName));
    }
    if (c.nullFile) {
      ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"NullFile", c.nullFile));
    }
    wchar_t state[kShellNewStateCapacity] = L"sentinel";
    EXPECT_EQ(c.exact, SaveShellNewState(L".zip", state, kShellNewStateCapacity))
        << "FileName " << (c.fileName ? c.fileName : L"<none>") << ", NullFile " << (c.nullFile ? c.nullFile : L"<none>");
    EXPECT_STREQ(c.saved, state);
  }
  wchar_t state[9] = L"sentinel";
  EXPECT_TRUE(SaveShellNewState(L".none", state, 9));
  EXPECT_STREQ(L"", state);
}

TEST_F(ShellNew, DataFilesOfTheRightSizeAreKeptOthersRewrittenExactly) {
  const std::string keptZip(22, 'z');
  const std::string keptVok(24, 'v');
  const struct {
    bool isVok;
    const char* label;
    bool present;
    std::string content;
    std::string expected;
  } cases[] = {
      {false, "zip missing", false, "", kZipTemplate},
      {false, "zip of 22 bytes", true, keptZip, keptZip},
      {false, "zip of 23 bytes", true, std::string(23, 'z'), kZipTemplate},
      {false, "zip of 24 bytes", true, kVokTemplate, kZipTemplate},
      {false, "zip empty", true, "", kZipTemplate},
      {true, "vok missing", false, "", kVokTemplate},
      {true, "vok of 24 bytes", true, keptVok, keptVok},
      {true, "vok of 22 bytes", true, kZipTemplate, kVokTemplate},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    FreshRegistry();
    RemoveDataFiles();
    const wchar_t* ext = c.isVok ? L".vok" : L".zip";
    const std::wstring dataFile = InstallationFile(c.isVok ? L"voknew.dat" : L"zipnew.dat");
    if (c.present) {
      ASSERT_TRUE(WriteFileBytes(dataFile, c.content));
    }

    AssociateExtension(ext, true, true, c.isVok, !c.isVok);
    EXPECT_EQ(Hex(c.expected), Hex(ReadFileBytes(dataFile)));
    EXPECT_EQ(dataFile, RegString(HKEY_CLASSES_ROOT, std::wstring(ext) + L"\\ShellNew", L"FileName"));
  }
}

TEST_F(ShellNew, CreatingReplacesOnlyASavedEntryOrTheArchiversOwn) {
  // A saved previous entry: the whole ShellNew key is replaced.
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"NullFile", L""));
  (void)PrepareShellNew(true, false, true);  // completes the templates
  CreateShellNewEntry(L".zip", false, /*shellNewSaved=*/true);
  const std::wstring dataFile = InstallationFile(L"zipnew.dat");
  EXPECT_EQ(std::vector<std::wstring>({L".zip\\ShellNew", L".zip\\ShellNew : FileName = SZ:" + dataFile}),
            SnapshotRegistry(HKEY_CLASSES_ROOT, L".zip\\ShellNew"));

  // The archiver's own entry of an earlier installation elsewhere; a key with a subkey survives the
  // single-key delete, with its other values beside ours.
  FreshRegistry();
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"FileName", L"C:\\Old Place\\ZIPNEW.DAT"));
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"Command", L"other.exe"));
  ASSERT_TRUE(CreateRegKey(HKEY_CLASSES_ROOT, L".zip\\ShellNew\\Config"));
  CreateShellNewEntry(L".zip", false, /*shellNewSaved=*/false);
  EXPECT_EQ(L"other.exe", RegString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"Command"));
  EXPECT_EQ(dataFile, RegString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"FileName"));

  // Another program's entry that was not saved (it could not be given back exactly) is its own.
  FreshRegistry();
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"NullFile", L""));
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"ItemName", L"@zipper.dll,-101"));
  const std::vector<std::wstring> before = SnapshotRegistry(HKEY_CLASSES_ROOT, L".zip\\ShellNew");
  CreateShellNewEntry(L".zip", false, /*shellNewSaved=*/false);
  EXPECT_EQ(before, SnapshotRegistry(HKEY_CLASSES_ROOT, L".zip\\ShellNew"));
  RestoreShellNewEntry(L".zip", /*existed=*/true, /*isVok=*/false, /*savedShellNew=*/nullptr);
  EXPECT_EQ(before, SnapshotRegistry(HKEY_CLASSES_ROOT, L".zip\\ShellNew"));
}

TEST_F(ShellNew, RestoringGivesTheKeyBackOrRemovesWhatIsLeftEmpty) {
  const std::wstring ours = InstallationFile(L"zipnew.dat");
  const struct {
    const char* label;
    bool existed;
    const wchar_t* saved;  // nullptr: no saved value
    bool extraValue;       // another value beside our FileName
    bool subkey;
    std::vector<std::wstring> expected;  // snapshot of .zip\ShellNew afterwards
  } cases[] = {
      {"previous FileName", true, kOtherTemplate, false, false,
       {L".zip\\ShellNew", std::wstring(L".zip\\ShellNew : FileName = SZ:") + kOtherTemplate}},
      {"previous NullFile", true, L"*", false, false, {L".zip\\ShellNew", L".zip\\ShellNew : NullFile = SZ:"}},
      {"nothing before", true, L"", false, false, {}},
      {"no saved state", true, nullptr, false, false, {}},
      {"nothing before, another value", true, L"", true, false,
       {L".zip\\ShellNew", L".zip\\ShellNew : Command = SZ:other.exe"}},
      {"nothing before, a subkey", true, L"", false, true, {L".zip\\ShellNew", L".zip\\ShellNew\\Config"}},
      {"key did not exist", false, kOtherTemplate, false, false, {}},
      {"key did not exist, a subkey", false, L"", false, true,
       {L".zip\\ShellNew", L".zip\\ShellNew : FileName = SZ:" + ours, L".zip\\ShellNew\\Config"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    FreshRegistry();
    ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"FileName", ours));
    if (c.extraValue) {
      ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"Command", L"other.exe"));
    }
    if (c.subkey) {
      ASSERT_TRUE(CreateRegKey(HKEY_CLASSES_ROOT, L".zip\\ShellNew\\Config"));
    }

    RestoreShellNewEntry(L".zip", c.existed, /*isVok=*/false, c.saved);
    const std::vector<std::wstring> after = SnapshotRegistry(HKEY_CLASSES_ROOT, L".zip\\ShellNew");
    EXPECT_EQ(c.expected, after) << JoinLines(after).c_str();
  }
}

TEST_F(ShellNew, NewZipOffGivesTheEntryBackOnEverySetup) {
  const struct {
    const char* label;
    const wchar_t* fileName;  // the previous owner's entry
    bool nullFile;
    std::vector<std::wstring> expected;
  } cases[] = {
      {"FileName", kOtherTemplate, false,
       {L".zip\\ShellNew", std::wstring(L".zip\\ShellNew : FileName = SZ:") + kOtherTemplate}},
      {"NullFile", nullptr, true, {L".zip\\ShellNew", L".zip\\ShellNew : NullFile = SZ:"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    FreshRegistry();
    ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".zip", L"", L"OtherArc.Zip"));
    if (c.fileName) {
      ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"FileName", c.fileName));
    }
    if (c.nullFile) {
      ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"NullFile", L""));
    }

    AssociateExtension(L".zip", true, true, false, true);  // "NewZIP" on by default
    EXPECT_EQ(InstallationFile(L"zipnew.dat"), RegString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"FileName"));

    ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, kMenuItems, L"NewZIP", 0));
    for (int setup = 1; setup <= 2; ++setup) {
      AssociateExtension(L".zip", true, true, false, true);
      EXPECT_EQ(L"Ovenix.ZIP", RegString(HKEY_CLASSES_ROOT, L".zip", L""));
      const std::vector<std::wstring> after = SnapshotRegistry(HKEY_CLASSES_ROOT, L".zip\\ShellNew");
      EXPECT_EQ(c.expected, after) << "setup " << setup << ":\n" << JoinLines(after).c_str();
    }

    AssociateExtension(L".zip", false, false, false, true);
    EXPECT_EQ(L"OtherArc.Zip", RegString(HKEY_CLASSES_ROOT, L".zip", L""));
    EXPECT_EQ(c.expected, SnapshotRegistry(HKEY_CLASSES_ROOT, L".zip\\ShellNew"));
  }
}

TEST_F(ShellNew, NewZipOffLeavesNoShellNewKeyWhereThereWasNoExtensionKey) {
  ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, kMenuItems, L"NewZIP", 0));
  AssociateExtension(L".zip", true, true, false, true);
  EXPECT_EQ(L"Ovenix.ZIP", RegString(HKEY_CLASSES_ROOT, L".zip", L""));
  EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, L".zip\\ShellNew"));
  EXPECT_FALSE(FileExists(InstallationFile(L"zipnew.dat")));
}

TEST_F(ShellNew, NewVokOnRewritesTheVokEntryAndRestoresNothing) {
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".vok\\ShellNew", L"FileName", L"C:\\stale\\voknew.dat"));
  ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, kMenuItems, L"NewVOK", 1));
  for (int setup = 1; setup <= 2; ++setup) {
    AssociateExtension(L".vok", true, true, true, false);
    EXPECT_EQ(InstallationFile(L"voknew.dat"), RegString(HKEY_CLASSES_ROOT, L".vok\\ShellNew", L"FileName"))
        << "setup " << setup;
    EXPECT_EQ(Hex(kVokTemplate), Hex(ReadFileBytes(InstallationFile(L"voknew.dat"))));
  }
  EXPECT_EQ(L"C:\\stale\\voknew.dat", RegString(HKEY_CURRENT_USER, L"Software\\Ovenix\\Setup\\.vok", L"ShellNew"));
}

}  // namespace
