// The registry layer against the real Wine registry: every fixture works in a private tree
// (RegOverridePredefKey redirects HKCR, HKCU and HKLM) and sets the process's INI store to a state
// of its own: no file, or a file in a private temporary folder.
#include "settings/registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "base/handles.h"
#include "settings/ini_store.h"
#include "settings/registry_test_seam.h"
#include "support/private_registry.h"
#include "support/registry_snapshot.h"
#include "support/temp_folder.h"
#include "ini_test_util.h"

namespace {

const wchar_t kProgram[] = L"Software\\Ovenix";
const wchar_t kSentinel[] = L"<untouched>";

// Sets a value of any type and size directly, bypassing the layer.
void SetRawValue(HKEY root, const std::wstring& subkey, const wchar_t* name, DWORD type, const void* data,
                 DWORD size) {
  UniqueHkey key;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                           key.put(), nullptr));
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data), size));
}

// Every key and value of the three (private) roots.
std::vector<std::wstring> SnapshotAll() {
  std::vector<std::wstring> lines;
  const struct {
    HKEY root;
    const wchar_t* label;
  } roots[] = {{HKEY_CLASSES_ROOT, L"HKCR"}, {HKEY_CURRENT_USER, L"HKCU"}, {HKEY_LOCAL_MACHINE, L"HKLM"}};
  for (const auto& r : roots)
    for (const auto& line : SnapshotRegistry(r.root, L"")) lines.push_back(std::wstring(r.label) + L":" + line);
  return lines;
}

// Base of the fixtures: no INI file in use, nothing armed, the default view.
class SettingsFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    g_iniStore.Release();
    ASSERT_FALSE(g_iniStore.LoadFile(L"")) << "marks the search as done, with no file";
  }
  void TearDown() override {
    g_iniStore.Release();  // never writes the test's file back
    SetRegistryView(0);
    FailNextRegistryWrites(0);
  }
  // Makes g_iniStore use a settings file with this text (written as ANSI).
  void UseIni(const std::wstring& text) {
    g_iniStore.Release();
    ASSERT_TRUE(WriteFileBytes(iniPath_, AnsiFile(text)));
    ASSERT_TRUE(g_iniStore.LoadFile(iniPath_.c_str()));
  }

  PrivateRegistry registry_;
  TempFolder folder_{L"vok settings"};
  std::wstring iniPath_ = folder_.Join(L"Ovenix.ini");
};

using RegistryLayerTest = SettingsFixture;

// ---- Paths ----

TEST(ProgramKeyPathTest, FormsThePathOfEachRootAndSubkey) {
  const struct {
    HKEY root;
    const wchar_t* subkey;
    const wchar_t* expected;
  } cases[] = {
      {HKEY_CURRENT_USER, L"", L"Software\\Ovenix"},
      {HKEY_CURRENT_USER, nullptr, L"Software\\Ovenix"},
      {HKEY_LOCAL_MACHINE, L"Setup", L"Software\\Ovenix\\Setup"},
      {HKEY_CURRENT_USER, L"Setup\\MenuItems", L"Software\\Ovenix\\Setup\\MenuItems"},
      {HKEY_LOCAL_MACHINE, L"\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Ovenix.exe",
       L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Ovenix.exe"},
      {HKEY_CURRENT_USER, L"\\", L""},
      {HKEY_CLASSES_ROOT, L".vok", L".vok"},
      {HKEY_CLASSES_ROOT, L"\\CLSID", L"\\CLSID"},
      {HKEY_CLASSES_ROOT, L"", L""},
      {nullptr, L"Global", L"Global"},
  };
  for (const auto& c : cases) {
    wchar_t path[kRegistryPathCapacity];
    wmemset(path, L'#', kRegistryPathCapacity);
    EXPECT_TRUE(ProgramKeyPath(c.root, c.subkey, path, kRegistryPathCapacity));
    EXPECT_STREQ(c.expected, path);
  }
}

TEST(ProgramKeyPathTest, APathOf512CharactersOrMoreIsRefusedNotCut) {
  const size_t programPrefix = wcslen(L"Software\\Ovenix\\");
  const struct {
    HKEY root;
    std::wstring subkey;
    bool fits;
  } cases[] = {
      {HKEY_CLASSES_ROOT, std::wstring(511, L'c'), true},
      {HKEY_CLASSES_ROOT, std::wstring(512, L'c'), false},
      {HKEY_CURRENT_USER, std::wstring(511 - programPrefix, L'u'), true},
      {HKEY_CURRENT_USER, std::wstring(512 - programPrefix, L'u'), false},
      {HKEY_LOCAL_MACHINE, L"\\" + std::wstring(511, L'm'), true},
      {HKEY_LOCAL_MACHINE, L"\\" + std::wstring(512, L'm'), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.subkey.size());
    wchar_t path[kRegistryPathCapacity + 16];
    wmemset(path, L'#', kRegistryPathCapacity + 16);
    // A larger buffer does not lift the limit.
    EXPECT_EQ(c.fits, ProgramKeyPath(c.root, c.subkey.c_str(), path, kRegistryPathCapacity + 16));
    EXPECT_EQ(c.fits ? 511u : 0u, wcslen(path));
  }
  wchar_t small[8];
  EXPECT_FALSE(ProgramKeyPath(HKEY_CURRENT_USER, L"Setup", small, 8));
  EXPECT_STREQ(L"", small);
}

// ---- Without an INI file every operation reaches the registry ----

TEST_F(RegistryLayerTest, EveryOperationReachesTheRegistryAtTheRoutedPath) {
  const struct {
    HKEY root;
    const wchar_t* subkey;
    HKEY realRoot;
    const wchar_t* label;
    const wchar_t* realPath;
  } cases[] = {
      {HKEY_CURRENT_USER, L"Setup", HKEY_CURRENT_USER, L"HKCU", L"Software\\Ovenix\\Setup"},
      {HKEY_CURRENT_USER, L"", HKEY_CURRENT_USER, L"HKCU", L"Software\\Ovenix"},
      {HKEY_LOCAL_MACHINE, L"Setup\\Links", HKEY_LOCAL_MACHINE, L"HKLM", L"Software\\Ovenix\\Setup\\Links"},
      {HKEY_LOCAL_MACHINE, L"\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Ovenix.exe",
       HKEY_LOCAL_MACHINE, L"HKLM", L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Ovenix.exe"},
      {HKEY_CURRENT_USER, L"\\Software\\Classes\\.vok", HKEY_CURRENT_USER, L"HKCU", L"Software\\Classes\\.vok"},
      {HKEY_CLASSES_ROOT, L".vok", HKEY_CLASSES_ROOT, L"HKCR", L".vok"},
      {HKEY_CLASSES_ROOT, L"Ovenix.vok\\shell\\open\\command", HKEY_CLASSES_ROOT, L"HKCR",
       L"Ovenix.vok\\shell\\open\\command"},
  };
  EXPECT_TRUE(IsIntegrationAllowed());
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "subkey: " << std::wstring(c.subkey));
    const std::vector<std::wstring> before = SnapshotAll();
    EXPECT_FALSE(SettingKeyExists(c.root, c.subkey));
    EXPECT_EQ(0u, WriteSettingString(c.root, c.subkey, L"Text", L"caf\u00e9"));
    EXPECT_EQ(0u, WriteSettingString(c.root, c.subkey, L"", L"default value"));
    EXPECT_EQ(0u, WriteSettingNumber(c.root, c.subkey, L"Number", 0xFFFFFFFFu));
    EXPECT_EQ(L"caf\u00e9", RegString(c.realRoot, c.realPath, L"Text"));
    EXPECT_EQ(L"default value", RegString(c.realRoot, c.realPath, L""));
    EXPECT_EQ(0xFFFFFFFFu, RegDword(c.realRoot, c.realPath, L"Number"));

    // Nothing but the key, its missing parents and the three values appeared.
    const std::wstring keyLine = std::wstring(c.label) + L":\\" + c.realPath;
    std::vector<std::wstring> addedKeys;
    int addedValues = 0;
    for (const auto& line : LinesAdded(before, SnapshotAll())) {
      if (line.compare(0, keyLine.size() + 3, keyLine + L" : ") == 0) {
        ++addedValues;
      } else {
        EXPECT_TRUE(line == keyLine || keyLine.compare(0, line.size() + 1, line + L"\\") == 0)
            << "written outside the routed key: " << line;
        addedKeys.push_back(line.substr(wcslen(c.label) + 2));
      }
    }
    EXPECT_EQ(3, addedValues);

    EXPECT_TRUE(SettingKeyExists(c.root, c.subkey));
    EXPECT_EQ(0xFFFFFFFFu, ReadSettingNumber(c.root, c.subkey, L"Number", 1));
    wchar_t text[64] = L"#";
    EXPECT_TRUE(ReadSettingString(c.root, c.subkey, L"Text", text, L"fallback", 64));
    EXPECT_STREQ(L"caf\u00e9", text);

    DeleteSettingValue(c.root, c.subkey, L"Text");
    EXPECT_FALSE(RegValueExists(c.realRoot, c.realPath, L"Text"));
    EXPECT_TRUE(RegValueExists(c.realRoot, c.realPath, L"Number"));
    DeleteSettingKey(c.root, c.subkey);
    EXPECT_FALSE(RegKeyExists(c.realRoot, c.realPath));
    EXPECT_FALSE(SettingKeyExists(c.root, c.subkey));
    // The parents the write created, deepest first.
    std::sort(addedKeys.rbegin(), addedKeys.rend());
    for (const auto& key : addedKeys) RegDeleteKeyW(c.realRoot, key.c_str());
    EXPECT_EQ(JoinLines(before), JoinLines(SnapshotAll())) << "left behind";
  }
}

TEST_F(RegistryLayerTest, TheUserShorthandsUseTheCurrentUsersProgramKey) {
  EXPECT_EQ(0u, WriteUserString(L"Setup", L"S", L"text"));
  EXPECT_EQ(0u, WriteUserNumber(L"Setup", L"N", 42));
  EXPECT_EQ(L"text", RegString(HKEY_CURRENT_USER, L"Software\\Ovenix\\Setup", L"S"));
  EXPECT_EQ(42u, RegDword(HKEY_CURRENT_USER, L"Software\\Ovenix\\Setup", L"N"));
  EXPECT_EQ(42u, ReadUserNumber(L"Setup", L"N", 0));
  wchar_t text[16] = L"#";
  EXPECT_TRUE(ReadUserString(L"Setup", L"S", text, L"", 16));
  EXPECT_STREQ(L"text", text);
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, L"Software\\Ovenix"));
}

TEST_F(RegistryLayerTest, WritesCreateMissingKeysAndStoreTheTerminatorWithStrings) {
  EXPECT_EQ(0u, WriteSettingString(HKEY_CURRENT_USER, L"A\\B\\C", L"v", L"xyz"));
  UniqueHkey key;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Ovenix\\A\\B\\C", 0, KEY_READ, key.put()));
  DWORD type = 0, size = 0;
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key.get(), L"v", nullptr, &type, nullptr, &size));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  EXPECT_EQ(8u, size) << "(length + 1) x 2 bytes";
  EXPECT_EQ(0u, WriteSettingNumber(HKEY_CURRENT_USER, L"A", L"n", 7));
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Ovenix\\A", 0, KEY_READ, key.put()));
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key.get(), L"n", nullptr, &type, nullptr, &size));
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
  EXPECT_EQ(4u, size);
}

// ---- Reads never fail towards the caller ----

TEST_F(RegistryLayerTest, MissingKeysAndValuesYieldTheDefault) {
  ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, L"Software\\Ovenix\\Setup", L"Present", L"x"));
  const std::wstring tooLong = L"\\" + std::wstring(600, L'x');
  const struct {
    HKEY root;
    const wchar_t* subkey;
    const wchar_t* value;
  } cases[] = {
      {HKEY_CURRENT_USER, L"Missing", L"Present"},
      {HKEY_CURRENT_USER, L"Setup", L"Absent"},
      {HKEY_LOCAL_MACHINE, L"Setup", L"Present"},
      {HKEY_CLASSES_ROOT, L".none", L""},
      {HKEY_CURRENT_USER, tooLong.c_str(), L"Present"},  // refused path
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "subkey: " << std::wstring(c.subkey) << " value: " << std::wstring(c.value));
    EXPECT_EQ(0x5EEDu, ReadSettingNumber(c.root, c.subkey, c.value, 0x5EED));
    wchar_t text[32];
    wcscpy(text, kSentinel);
    EXPECT_FALSE(ReadSettingString(c.root, c.subkey, c.value, text, L"default", 32));
    EXPECT_STREQ(L"default", text);
  }
}

TEST_F(RegistryLayerTest, AStringLargerThanTheBufferGivesFalseAndTheDefault) {
  const std::wstring path = L"Software\\Ovenix\\Big";
  ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, path, L"Ten", L"0123456789"));
  SetRawValue(HKEY_CURRENT_USER, path, L"Unterminated", REG_BINARY, L"abc", 6);
  SetRawValue(HKEY_CURRENT_USER, path, L"Odd", REG_BINARY, L"abc", 5);
  const struct {
    const wchar_t* value;
    size_t capacity;
    const wchar_t* defaultText;
    bool result;
    const wchar_t* expected;
  } cases[] = {
      {L"Ten", 11, L"d", true, L"0123456789"},          // data and terminator fit exactly
      {L"Ten", 10, L"d", false, L"d"},                  // one character short
      {L"Ten", 4, L"default", false, L"def"},           // the default is cut to the buffer too
      {L"Unterminated", 10, L"d", true, L"abc"},        // terminated by the reader
      {L"Unterminated", 3, L"d", true, L"ab"},          // exactly fits: the last character yields
      {L"Odd", 10, L"d", true, L"ab"},                  // a half character is dropped
      {L"Ten", 1, L"default", false, L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::wstring(c.value) << " into " << c.capacity);
    wchar_t text[32];
    wmemset(text, L'#', 32);
    EXPECT_EQ(c.result, ReadSettingString(HKEY_CURRENT_USER, L"Big", c.value, text, c.defaultText, c.capacity));
    EXPECT_STREQ(c.expected, text);
    EXPECT_EQ(L'#', text[c.capacity]) << "wrote past the capacity";
  }
  wchar_t untouched = L'#';
  EXPECT_FALSE(ReadSettingString(HKEY_CURRENT_USER, L"Big", L"Ten", &untouched, L"d", 0));
  EXPECT_EQ(L'#', untouched);
}

TEST_F(RegistryLayerTest, ReadingANumberReplacesOnlyTheBytesTheDataHolds) {
  const std::wstring path = L"Software\\Ovenix\\Numbers";
  const DWORD fallback = 0x12345678;
  const struct {
    const wchar_t* value;
    DWORD type;
    std::string data;
    DWORD expected;
  } cases[] = {
      {L"EmptyString", REG_SZ, std::string("\0\0", 2), 0x12340000},     // the low 16 bits cleared
      {L"OneCharacter", REG_SZ, std::string("A\0\0\0", 4), 0x41},       // the character's code
      {L"TwoCharacters", REG_SZ, std::string("A\0B\0\0\0", 6), fallback},
      {L"Dword", REG_DWORD, std::string("\x07\0\0\0", 4), 7},
      {L"OneByte", REG_BINARY, std::string("\xFF", 1), 0x123456FF},
      {L"NoBytes", REG_BINARY, std::string(), fallback},
      {L"Qword", REG_QWORD, std::string("\1\0\0\0\0\0\0\0", 8), fallback},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::wstring(c.value));
    SetRawValue(HKEY_CURRENT_USER, path, c.value, c.type, c.data.data(), static_cast<DWORD>(c.data.size()));
    EXPECT_EQ(c.expected, ReadSettingNumber(HKEY_CURRENT_USER, L"Numbers", c.value, fallback));
  }
}

// ---- Deletion ----

TEST_F(RegistryLayerTest, TreeDeletionRemovesManyChildrenOverSeveralPasses) {
  const std::wstring root = L"Software\\Ovenix\\Setup";
  for (int i = 0; i < 60; ++i) {
    const std::wstring child = root + L"\\child" + std::to_wstring(i);
    ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, child, L"v", static_cast<DWORD>(i)));
    for (int j = 0; j < 3; ++j) ASSERT_TRUE(CreateRegKey(HKEY_CURRENT_USER, child + L"\\g" + std::to_wstring(j)));
  }
  ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, L"Software\\Ovenix\\SetupX", L"keep", 1));
  ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, L"Software\\Ovenix", L"keep", 1));

  DeleteSettingKey(HKEY_CURRENT_USER, L"Setup");
  EXPECT_TRUE(RegKeyExists(HKEY_CURRENT_USER, root)) << "a plain key deletion must not take children";

  DeleteSettingTree(HKEY_CURRENT_USER, L"Setup");
  EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, root));
  EXPECT_TRUE(RegKeyExists(HKEY_CURRENT_USER, L"Software\\Ovenix\\SetupX"));
  EXPECT_EQ(1u, RegDword(HKEY_CURRENT_USER, L"Software\\Ovenix", L"keep"));

  // An empty subkey under HKCU removes the program's whole per-user key.
  DeleteSettingTree(HKEY_CURRENT_USER, L"");
  EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kProgram));
  EXPECT_TRUE(RegKeyExists(HKEY_CURRENT_USER, L"Software"));
}

TEST_F(RegistryLayerTest, ASubkeyNameOf200CharactersStopsTheTreeDeletion) {
  const struct {
    size_t length;
    bool keySurvives;
  } cases[] = {{199, false}, {200, true}, {255, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    const std::wstring key = L"Software\\Ovenix\\Long";
    // The long name sorts first, so the enumeration meets it before the others.
    const std::wstring longName(c.length, L'A');
    ASSERT_TRUE(CreateRegKey(HKEY_CURRENT_USER, key + L"\\" + longName + L"\\inner"));
    ASSERT_TRUE(CreateRegKey(HKEY_CURRENT_USER, key + L"\\b"));
    ASSERT_TRUE(CreateRegKey(HKEY_CURRENT_USER, key + L"\\c"));
    DeleteSettingTree(HKEY_CURRENT_USER, L"Long");
    EXPECT_EQ(c.keySurvives, RegKeyExists(HKEY_CURRENT_USER, key));
    EXPECT_EQ(c.keySurvives, RegKeyExists(HKEY_CURRENT_USER, key + L"\\" + longName + L"\\inner"));
    EXPECT_EQ(c.keySurvives, RegKeyExists(HKEY_CURRENT_USER, key + L"\\b")) << "later children stay too";
    DeleteRegTree(HKEY_CURRENT_USER, key);
  }
}

TEST_F(RegistryLayerTest, TheRootItselfIsNeverDeleted) {
  ASSERT_TRUE(CreateRegKey(HKEY_CLASSES_ROOT, L".vok"));
  DeleteSettingTree(HKEY_CLASSES_ROOT, L"");
  DeleteSettingKey(HKEY_CLASSES_ROOT, L"");
  DeleteSettingTree(HKEY_LOCAL_MACHINE, L"\\");
  EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, L".vok"));
}

// ---- Refused writes (through the test seam: Wine does not enforce registry permissions) ----

TEST_F(RegistryLayerTest, AWriteRefusedWithAccessDeniedReturns5AndWritesNothing) {
  const struct {
    const char* what;
    std::function<DWORD()> write;
    HKEY root;
    const wchar_t* path;
  } cases[] = {
      {"string under HKCR", [] { return WriteSettingString(HKEY_CLASSES_ROOT, L"Ovenix", L"", L"x"); },
       HKEY_CLASSES_ROOT, L"Ovenix"},
      {"number under HKLM", [] { return WriteSettingNumber(HKEY_LOCAL_MACHINE, L"\\Software\\App", L"n", 1); },
       HKEY_LOCAL_MACHINE, L"Software\\App"},
      {"per-user string", [] { return WriteUserString(L"Setup", L"s", L"x"); }, HKEY_CURRENT_USER,
       L"Software\\Ovenix\\Setup"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    {
      RegistryWriteFailures refuse(1);
      EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), c.write());
      EXPECT_EQ(0u, refuse.Remaining());
      EXPECT_FALSE(RegKeyExists(c.root, c.path)) << "a refused write created its key";
      EXPECT_EQ(0u, c.write()) << "only the armed number of writes is refused";
      EXPECT_TRUE(RegKeyExists(c.root, c.path));
    }
    DeleteRegTree(c.root, c.path);
  }
  RegistryWriteFailures other(2, ERROR_WRITE_PROTECT);
  EXPECT_EQ(static_cast<DWORD>(ERROR_WRITE_PROTECT), WriteSettingString(HKEY_CLASSES_ROOT, L"A", L"", L""));
  EXPECT_EQ(1u, other.Remaining());
  DeleteSettingKey(HKEY_CLASSES_ROOT, L"A");  // deletions are never refused and do not count
  EXPECT_EQ(1u, other.Remaining());
}

// ---- With an INI file ----

TEST_F(RegistryLayerTest, TheFileServesTheProgramKeyAndTheRegistryServesTheRest) {
  // Registry values under the program key that the file must hide.
  ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, L"Software\\Ovenix\\Setup", L"ShellExt", 5));
  ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, L"Software\\Ovenix\\OnlyInRegistry", L"v", 5));
  UseIni(L"HKCU\\Setup\\ShellExt=1\r\nHKLM\\exe64=\"C:\\Program Files\\Ovenix\"\r\n");
  EXPECT_TRUE(IsIntegrationAllowed());
  const std::vector<std::wstring> before = SnapshotAll();

  EXPECT_EQ(1u, ReadUserNumber(L"Setup", L"ShellExt", 9));
  EXPECT_EQ(9u, ReadSettingNumber(HKEY_CURRENT_USER, L"OnlyInRegistry", L"v", 9));
  EXPECT_FALSE(SettingKeyExists(HKEY_CURRENT_USER, L"OnlyInRegistry"));
  EXPECT_TRUE(SettingKeyExists(HKEY_LOCAL_MACHINE, L""));
  wchar_t text[64];
  wcscpy(text, kSentinel);
  EXPECT_TRUE(ReadSettingString(HKEY_LOCAL_MACHINE, L"", L"exe64", text, L"d", 64));
  EXPECT_STREQ(L"C:\\Program Files\\Ovenix", text);
  wcscpy(text, kSentinel);
  EXPECT_TRUE(ReadSettingString(HKEY_LOCAL_MACHINE, L"", L"absent", text, L"d", 64)) << "the file's reads succeed";
  EXPECT_STREQ(L"d", text);

  {
    RegistryWriteFailures refuse(1);  // a write the file serves does not reach the registry
    EXPECT_EQ(0u, WriteUserString(L"Setup\\MenuItems", L"AlwaysArc", L"*.iso"));
    EXPECT_EQ(0u, WriteSettingNumber(HKEY_LOCAL_MACHINE, L"Setup", L"n", 0xFFFFFFFFu));
    EXPECT_EQ(1u, refuse.Remaining());
  }
  DeleteSettingValue(HKEY_CURRENT_USER, L"Setup", L"ShellExt");
  EXPECT_EQ(9u, ReadUserNumber(L"Setup", L"ShellExt", 9));
  EXPECT_EQ(JoinLines(before), JoinLines(SnapshotAll())) << "the program key's operations touched the registry";

  EXPECT_STREQ(L"*.iso", IniLookup(L"HKCU\\Setup\\MenuItems\\AlwaysArc"));
  EXPECT_STREQ(L"4294967295", IniLookup(L"HKLM\\Setup\\n"));
  DeleteSettingTree(HKEY_CURRENT_USER, L"Setup");
  EXPECT_EQ(nullptr, IniLookup(L"HKCU\\Setup\\MenuItems\\AlwaysArc"));
  DeleteSettingKey32(HKEY_LOCAL_MACHINE, L"Setup");
  EXPECT_EQ(nullptr, IniLookup(L"HKLM\\Setup\\n"));

  // HKCR and absolute paths still go to the registry.
  EXPECT_EQ(0u, WriteSettingString(HKEY_CLASSES_ROOT, L".vok", L"", L"Ovenix.vok"));
  EXPECT_EQ(0u, WriteSettingString(HKEY_CURRENT_USER, L"\\Software\\Ovenix\\Abs", L"a", L"1"));
  EXPECT_EQ(L"Ovenix.vok", RegString(HKEY_CLASSES_ROOT, L".vok", L""));
  EXPECT_EQ(L"1", RegString(HKEY_CURRENT_USER, L"Software\\Ovenix\\Abs", L"a"));
  EXPECT_EQ(nullptr, IniLookup(L"HKCU\\\\Software\\Ovenix\\Abs\\a"));
}

TEST_F(RegistryLayerTest, IntegrationOffTouchesNothingOutsideTheProgramKey) {
  ASSERT_TRUE(SetRegString(HKEY_CLASSES_ROOT, L".vok", L"", L"Other.Program"));
  ASSERT_TRUE(SetRegDword(HKEY_LOCAL_MACHINE, L"Software\\App", L"n", 3));
  ASSERT_TRUE(CreateRegKey(HKEY_LOCAL_MACHINE, L"Software\\App\\Sub"));
  ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, L"Software\\Ovenix\\Setup", L"ShellExt", 5));
  UseIni(L"Global\\Integration=0\r\nHKCU\\Setup\\ShellExt=1\r\n");
  EXPECT_FALSE(IsIntegrationAllowed());
  const std::vector<std::wstring> before = SnapshotAll();

  const struct {
    HKEY root;
    const wchar_t* subkey;
    const wchar_t* value;
  } outside[] = {
      {HKEY_CLASSES_ROOT, L".vok", L""},
      {HKEY_LOCAL_MACHINE, L"\\Software\\App", L"n"},
      {HKEY_CURRENT_USER, L"\\Software\\Ovenix\\Setup", L"ShellExt"},  // absolute: outside the file too
  };
  for (const auto& c : outside) {
    SCOPED_TRACE(testing::Message() << "subkey: " << std::wstring(c.subkey));
    EXPECT_FALSE(SettingKeyExists(c.root, c.subkey));
    EXPECT_EQ(77u, ReadSettingNumber(c.root, c.subkey, c.value, 77));
    wchar_t text[32];
    wcscpy(text, kSentinel);
    EXPECT_TRUE(ReadSettingString(c.root, c.subkey, c.value, text, L"neutral", 32));
    EXPECT_STREQ(L"neutral", text);
    RegistryWriteFailures refuse(1);  // skipped writes never reach the registry
    EXPECT_EQ(0u, WriteSettingString(c.root, c.subkey, c.value, L"changed"));
    EXPECT_EQ(0u, WriteSettingNumber(c.root, c.subkey, L"new", 1));
    EXPECT_EQ(1u, refuse.Remaining());
    DeleteSettingValue(c.root, c.subkey, c.value);
    DeleteSettingKey(c.root, c.subkey);
    DeleteSettingKey32(c.root, c.subkey);
    DeleteSettingTree(c.root, c.subkey);
  }
  EXPECT_EQ(JoinLines(before), JoinLines(SnapshotAll())) << "registry access was off";

  // The program's own settings still live in the file.
  EXPECT_EQ(1u, ReadUserNumber(L"Setup", L"ShellExt", 9));
  EXPECT_EQ(0u, WriteUserNumber(L"Setup", L"ShellExt", 2));
  EXPECT_STREQ(L"2", IniLookup(L"HKCU\\Setup\\ShellExt"));
  EXPECT_EQ(JoinLines(before), JoinLines(SnapshotAll()));
}

TEST_F(RegistryLayerTest, ADiscardedStoreKeepsRegistryAccessOffAndIsNotWrittenBack) {
  UseIni(L"Global\\Integration=0\r\nHKCU\\Setup\\ShellExt=1\r\n");
  const std::string onDisk = ReadFileBytes(iniPath_);
  const std::vector<std::wstring> before = SnapshotAll();
  DiscardIniStore();
  EXPECT_FALSE(IsIntegrationAllowed());
  EXPECT_EQ(0u, WriteUserNumber(L"Setup", L"ShellExt", 2));
  EXPECT_EQ(0u, WriteSettingString(HKEY_CLASSES_ROOT, L".vok", L"", L"x"));
  EXPECT_FALSE(SaveSettingsNow());
  EXPECT_EQ(JoinLines(before), JoinLines(SnapshotAll()));
  EXPECT_EQ(onDisk, ReadFileBytes(iniPath_));
}

TEST_F(RegistryLayerTest, SaveSettingsNowWritesTheFileAtOnce) {
  UseIni(L"HKCU\\Setup\\ShellExt=1\r\n");
  EXPECT_EQ(0u, WriteUserString(L"Setup\\MenuItems", L"AlwaysArc", L"*.iso"));
  ASSERT_TRUE(SaveSettingsNow());
  EXPECT_EQ(ShowBytes(Utf16LeFile(L"Global\\AppData=1\r\nGlobal\\Integration=1\r\nGlobal\\SaveSettings=1\r\n"
                                  L"HKCU\\Setup\\MenuItems\\AlwaysArc=\"*.iso\"\r\nHKCU\\Setup\\ShellExt=1\r\n")),
            ShowBytes(ReadFileBytes(iniPath_)));
}

// ---- The 32-bit registry view (real roots: a private redirection has no Wow6432Node side) ----

class RegistryViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_iniStore.Release();
    ASSERT_FALSE(g_iniStore.LoadFile(L""));
    Clean();
  }
  void TearDown() override {
    SetRegistryView(0);
    Clean();
    g_iniStore.Release();
  }
  void Clean() {
    DeleteRegTree(HKEY_LOCAL_MACHINE, path_, KEY_WOW64_32KEY);
    DeleteRegTree(HKEY_LOCAL_MACHINE, path_, KEY_WOW64_64KEY);
  }
  const std::wstring path_ = L"Software\\VokTests-view-" + std::to_wstring(GetCurrentProcessId());
  const std::wstring subkey_ = L"\\" + path_;
};

TEST_F(RegistryViewTest, AWriteInThe32BitViewIsSeenOnlyThere) {
  SetRegistryView(KEY_WOW64_32KEY);
  EXPECT_EQ(static_cast<REGSAM>(KEY_WOW64_32KEY), RegistryView());
  EXPECT_EQ(0u, WriteSettingNumber(HKEY_LOCAL_MACHINE, subkey_.c_str(), L"n", 32));
  EXPECT_EQ(32u, ReadSettingNumber(HKEY_LOCAL_MACHINE, subkey_.c_str(), L"n", 0));
  SetRegistryView(0);

  EXPECT_EQ(32u, RegDword(HKEY_LOCAL_MACHINE, path_, L"n", 0, KEY_WOW64_32KEY));
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, path_, KEY_WOW64_64KEY));
  EXPECT_EQ(5u, ReadSettingNumber(HKEY_LOCAL_MACHINE, subkey_.c_str(), L"n", 5)) << "the default view saw it";
  // Under Wine the 32-bit side of HKLM\Software is its Wow6432Node key.
  EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\" + path_.substr(wcslen(L"Software\\")),
                           KEY_WOW64_64KEY));
}

TEST_F(RegistryViewTest, DeleteSettingKey32RemovesOnlyThe32BitKey) {
  SetRegistryView(KEY_WOW64_32KEY);
  EXPECT_EQ(0u, WriteSettingString(HKEY_LOCAL_MACHINE, subkey_.c_str(), L"s", L"32"));
  SetRegistryView(0);
  EXPECT_EQ(0u, WriteSettingString(HKEY_LOCAL_MACHINE, subkey_.c_str(), L"s", L"64"));

  DeleteSettingKey(HKEY_LOCAL_MACHINE, subkey_.c_str());  // the default view: the 64-bit key
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, path_, KEY_WOW64_64KEY));
  EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, path_, KEY_WOW64_32KEY));

  EXPECT_EQ(0u, WriteSettingString(HKEY_LOCAL_MACHINE, subkey_.c_str(), L"s", L"64"));
  SetRegistryView(KEY_WOW64_64KEY);  // whatever the view holds, the 32-bit key is the one deleted
  DeleteSettingKey32(HKEY_LOCAL_MACHINE, subkey_.c_str());
  SetRegistryView(0);
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, path_, KEY_WOW64_32KEY));
  EXPECT_EQ(L"64", RegString(HKEY_LOCAL_MACHINE, path_, L"s", L"<missing>", KEY_WOW64_64KEY));
}

}  // namespace
