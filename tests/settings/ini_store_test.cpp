// The INI store against real files in a private temporary folder: reading every encoding, the entry
// syntax, the exact written form, the entry operations, and write-backs that must not lose the file.
#include "settings/ini_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "support/temp_folder.h"
#include "support/private_registry.h"
#include "ini_test_util.h"

namespace {

const std::wstring kGlobals = L"Global\\AppData=1\r\nGlobal\\Integration=1\r\nGlobal\\SaveSettings=1\r\n";

// The entries of a store in list order, one "name|value|kind" line each.
std::vector<std::wstring> EntriesOf(const IniStore& store) {
  std::vector<std::wstring> lines;
  for (const IniEntry* entry = store.entries(); entry; entry = entry->next)
    lines.push_back(std::wstring(entry->name.c_str()) + L"|" + entry->value.c_str() + L"|" + std::to_wstring(static_cast<int>(entry->kind)));
  return lines;
}

std::wstring Join(const std::vector<std::wstring>& lines) {
  std::wstring text;
  for (const auto& line : lines) text += line + L"\n";
  return text;
}

class IniStoreTest : public ::testing::Test {
 protected:
  TempFolder folder_{L"vok ini é"};
  std::wstring path_ = folder_.Join(L"Ovenix.ini");

  // Writes the bytes as the settings file and loads it into store.
  void Load(IniStore& store, const std::string& bytes) {
    ASSERT_TRUE(WriteFileBytes(path_, bytes));
    ASSERT_TRUE(store.LoadFile(path_.c_str())) << "the store did not take the file";
  }
  std::string FileBytes() const { return ReadFileBytes(path_); }
};

// ---- Reading ----

TEST_F(IniStoreTest, EveryEncodingReadsTheSameEntries) {
  const std::wstring text =
      L"HKCU\\Setup\\ShellExt=1\r\nHKCU\\Paths\\Temp=\"C:\\Temp \u00e9t\u00e9\"\r\nHKLM\\exe64=bin:00ff\r\n";
  const struct {
    const char* encoding;
    std::string bytes;
  } cases[] = {
      {"ANSI", AnsiFile(text)},
      {"UTF-8 with mark", Utf8File(text)},
      {"UTF-16 LE with mark", Utf16LeFile(text)},
      {"UTF-16 BE with mark", Utf16BeFile(text)},
  };
  const std::vector<std::wstring> expected = {
      L"HKCU\\Setup\\ShellExt|1|0",
      L"HKCU\\Paths\\Temp|C:\\Temp \u00e9t\u00e9|1",
      L"HKLM\\exe64|00ff|2",
      L"Global\\AppData|1|0",
      L"Global\\Integration|1|0",
      L"Global\\SaveSettings|1|0",
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.encoding);
    IniStore store;
    Load(store, c.bytes);
    EXPECT_EQ(Join(expected), Join(EntriesOf(store)));
    store.Discard();
  }
}

TEST_F(IniStoreTest, LineSyntaxDecidesEntryNameValueAndKind) {
  const struct {
    const wchar_t* line;
    const wchar_t* entry;  // "name|value|kind", or empty when the line is not an entry
  } cases[] = {
      {L"HKCU\\a=plain text", L"HKCU\\a|plain text|0"},
      {L"HKCU\\a=\"quoted\"", L"HKCU\\a|quoted|1"},
      {L"HKCU\\a=\"", L"HKCU\\a||1"},                       // a quote alone: empty Quoted
      {L"HKCU\\a=\"\"", L"HKCU\\a||1"},
      {L"HKCU\\a=\"open", L"HKCU\\a|open|1"},               // no closing quote
      {L"HKCU\\a=\"in\"ner\"", L"HKCU\\a|in\"ner|1"},       // inner quotes stay
      {L"HKCU\\a=\"x\"\"", L"HKCU\\a|x\"|1"},               // only one final quote goes
      {L"HKCU\\a=bin:0a0b", L"HKCU\\a|0a0b|2"},
      {L"HKCU\\a=BIN:0a0b", L"HKCU\\a|BIN:0a0b|0"},         // the prefix is case-sensitive
      {L"HKCU\\a=\"bin:x\"", L"HKCU\\a|bin:x|1"},
      {L"HKCU\\a=", L"HKCU\\a||0"},
      {L"HKCU\\a=b=c", L"HKCU\\a|b=c|0"},                   // split at the first "="
      {L"HKCU\\a  =  v", L"HKCU\\a  |  v|0"},               // blanks before "=" belong to the name
      {L"x=1", L"x|1|0"},
      {L"  HKCU\\a=1", L""},                                // leading blank
      {L"\tHKCU\\a=1", L""},
      {L"[Global]", L""},
      {L";HKCU\\a=1", L""},
      {L"#HKCU\\a=1", L""},
      {L"1HKCU=1", L""},
      {L"HKCU\\novalue", L""},
      {L"\u00c4HKCU=1", L""},                               // a non-ASCII letter is no entry start
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "line: " << std::wstring(c.line));
    IniStore store;
    Load(store, Utf16LeFile(std::wstring(c.line) + L"\r\n"));
    std::vector<std::wstring> entries = EntriesOf(store);
    ASSERT_GE(entries.size(), 3u);
    entries.resize(entries.size() - 3);  // the three Global entries come last
    EXPECT_EQ(c.entry[0] ? Join({c.entry}) : L"", Join(entries));
    store.Discard();
  }
}

TEST_F(IniStoreTest, GlobalFlagsAreReadAsNumbersAndWrittenBackAsZeroOrOne) {
  const struct {
    const wchar_t* file;
    bool appData, integration, saveSettings;
    const wchar_t* written;  // the three Global lines as written back
  } cases[] = {
      {L"", true, true, true, L"1 1 1"},
      {L"Global\\Integration=0", true, false, true, L"1 0 1"},
      {L"Global\\Integration=yes", true, false, true, L"1 0 1"},  // not a number: 0
      {L"Global\\Integration= 1", true, false, true, L"1 0 1"},   // a leading blank reads as 0
      {L"Global\\Integration=\"1\"", true, true, true, L"1 1 1"}, // any kind is read as a number
      {L"Global\\Integration=-5", true, true, true, L"1 1 1"},
      {L"Global\\Integration=4294967296", true, false, true, L"1 0 1"},  // low 32 bits are 0
      {L"Global\\AppData=0\r\nGlobal\\SaveSettings=17", false, true, true, L"0 1 1"},
      {L"Global\\AppData=2x", true, true, true, L"1 1 1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "file: " << std::wstring(c.file));
    IniStore store;
    Load(store, Utf16LeFile(std::wstring(c.file) + L"\r\n"));
    EXPECT_EQ(c.appData, store.AppData);
    EXPECT_EQ(c.integration, store.Integration);
    EXPECT_EQ(c.saveSettings, store.SaveSettings);
    const std::wstring written = std::wstring(store.Lookup(L"Global\\AppData")) + L" " +
                                 store.Lookup(L"Global\\Integration") + L" " + store.Lookup(L"Global\\SaveSettings");
    EXPECT_EQ(c.written, written);
    store.Discard();
  }
}

TEST_F(IniStoreTest, AMissingOrUnreadableFileLeavesTheStoreOutOfUse) {
  IniStore missing;
  EXPECT_FALSE(missing.LoadFile(folder_.Join(L"absent.ini").c_str()));
  EXPECT_FALSE(missing.loaded());
  EXPECT_TRUE(missing.loadTried());
  EXPECT_FALSE(missing.Handles(HKEY_CURRENT_USER, L"Setup"));

  ASSERT_TRUE(MakeFolders(folder_.Join(L"folder.ini")));
  IniStore folderNamed;
  EXPECT_FALSE(folderNamed.LoadFile(folder_.Join(L"folder.ini").c_str()));
  EXPECT_FALSE(folderNamed.Save());
}

// ---- Names and numbers ----

TEST(IniEntryNameTest, FormsTheFullNameOfAnAddress) {
  const struct {
    HKEY root;
    const wchar_t* subkey;
    const wchar_t* value;
    const wchar_t* expected;
  } cases[] = {
      {HKEY_CURRENT_USER, L"Setup", L"ShellExt", L"HKCU\\Setup\\ShellExt"},
      {HKEY_LOCAL_MACHINE, L"", L"exe64", L"HKLM\\exe64"},
      {nullptr, L"Global", L"Integration", L"Global\\Integration"},
      {HKEY_CURRENT_USER, L"Setup\\MenuItems", L"", L"HKCU\\Setup\\MenuItems\\"},
      {HKEY_CURRENT_USER, L"", L"", L"HKCU\\"},
      {HKEY_CURRENT_USER, nullptr, nullptr, L"HKCU\\"},
      {HKEY_CURRENT_USER, L"Setup\\", L"x", L"HKCU\\Setup\\x"},
      {nullptr, L"", L"", L""},
      {HKEY_CLASSES_ROOT, L"a", L"b", L"a\\b"},
  };
  for (const auto& c : cases) {
    wchar_t name[kIniEntryNameCapacity];
    wmemset(name, L'#', kIniEntryNameCapacity);
    IniEntryName(c.root, c.subkey, c.value, name, kIniEntryNameCapacity);
    EXPECT_STREQ(c.expected, name);
  }
}

TEST(IniEntryNameTest, ALongNameIsCutToTheCapacityAndTerminated) {
  const std::wstring subkey(3000, L's');
  wchar_t name[kIniEntryNameCapacity + 8];
  wmemset(name, L'#', kIniEntryNameCapacity + 8);
  IniEntryName(HKEY_CURRENT_USER, subkey.c_str(), L"v", name, kIniEntryNameCapacity);
  EXPECT_EQ(kIniEntryNameCapacity - 1, wcslen(name));
  EXPECT_EQ(L'#', name[kIniEntryNameCapacity]) << "wrote past the capacity";
  wchar_t tiny[1] = {L'#'};
  IniEntryName(HKEY_CURRENT_USER, L"Setup", L"v", tiny, 1);
  EXPECT_EQ(L'\0', tiny[0]);
}

TEST(IniDecimalValueTest, ReadsAnOptionalSignAndLeadingDigits) {
  const struct {
    const wchar_t* text;
    int64_t expected;
  } cases[] = {
      {L"0", 0}, {L"1", 1}, {L"4294967295", 4294967295LL}, {L"-1", -1}, {L"12abc", 12},
      {L"abc", 0}, {L"", 0}, {L" 7", 0}, {L"-", 0}, {L"--3", 0}, {L"+3", 0},
      {L"007", 7}, {L"9223372036854775807", INT64_MAX},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, IniDecimalValue(c.text)) << "text: " << std::wstring(c.text);
  // A run of digits far beyond 64 bits wraps instead of misbehaving.
  EXPECT_EQ(static_cast<int64_t>(10000000000000000000ULL * 10 + 5), IniDecimalValue(L"100000000000000000005"));
  EXPECT_EQ(0, IniDecimalValue(nullptr));
}

// ---- Entry operations ----

TEST_F(IniStoreTest, DuplicatesReadAndSetTheFirstAndAreAllRemovedAndWrittenBack) {
  IniStore store;
  Load(store, Utf16LeFile(L"HKCU\\Setup\\X=first\r\nHKCU\\Setup\\X=second\r\n"));
  EXPECT_STREQ(L"first", store.Lookup(L"HKCU\\Setup\\X"));
  store.Set(L"HKCU\\Setup\\X", L"changed", IniValueKind::Quoted);
  EXPECT_STREQ(L"changed", store.Lookup(L"HKCU\\Setup\\X"));

  // Written back in their order, so the entry that reads stays the first one through every run.
  ASSERT_TRUE(store.Save());
  EXPECT_EQ(ShowBytes(Utf16LeFile(kGlobals + L"HKCU\\Setup\\X=\"changed\"\r\nHKCU\\Setup\\X=second\r\n")),
            ShowBytes(FileBytes()));

  store.Remove(HKEY_CURRENT_USER, L"Setup", L"X");
  EXPECT_EQ(nullptr, store.Lookup(L"HKCU\\Setup\\X"));
  EXPECT_EQ(3u, EntriesOf(store).size()) << Join(EntriesOf(store));
  store.Discard();
}

TEST_F(IniStoreTest, NamesAreCaseSensitiveAndOtherCasesSurvive) {
  IniStore store;
  Load(store, Utf16LeFile(L"hkcu\\setup\\shellext=1\r\n"));
  EXPECT_EQ(nullptr, store.Lookup(L"HKCU\\Setup\\ShellExt"));
  EXPECT_FALSE(store.KeyExists(HKEY_CURRENT_USER, L"Setup"));
  store.Remove(HKEY_CURRENT_USER, L"Setup", nullptr);
  store.Set(L"HKCU\\Setup\\ShellExt", L"0", IniValueKind::Plain);
  ASSERT_TRUE(store.Save());
  EXPECT_EQ(ShowBytes(Utf16LeFile(kGlobals + L"HKCU\\Setup\\ShellExt=0\r\nhkcu\\setup\\shellext=1\r\n")),
            ShowBytes(FileBytes()));
  store.Discard();
}

TEST_F(IniStoreTest, RemovingAKeyTakesItsSubkeysButSparesSiblingsSharingItsName) {
  const std::wstring file =
      L"HKCU\\Setup\\MenuItems\\AlwaysArc=\"*.iso\"\r\nHKCU\\Setup\\ShellExt=1\r\nHKCU\\SetupX\\Keep=1\r\n"
      L"HKCU\\SetupX=2\r\nHKCU\\Setup=3\r\nHKLM\\Setup\\Keep=4\r\nHKCU\\Other=5\r\n";
  const struct {
    const wchar_t* subkey;
    const wchar_t* value;
    std::vector<std::wstring> removed;
  } cases[] = {
      {L"Setup", nullptr, {L"HKCU\\Setup\\MenuItems\\AlwaysArc", L"HKCU\\Setup\\ShellExt"}},
      {L"Setup\\MenuItems", L"", {L"HKCU\\Setup\\MenuItems\\AlwaysArc"}},
      {L"Setup", L"ShellExt", {L"HKCU\\Setup\\ShellExt"}},
      {L"", L"Setup", {L"HKCU\\Setup"}},
      {L"", nullptr,
       {L"HKCU\\Setup\\MenuItems\\AlwaysArc", L"HKCU\\Setup\\ShellExt", L"HKCU\\SetupX\\Keep", L"HKCU\\SetupX",
        L"HKCU\\Setup", L"HKCU\\Other"}},
      {L"Setu", nullptr, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "subkey: " << std::wstring(c.subkey));
    IniStore store;
    Load(store, Utf16LeFile(file));
    std::vector<std::wstring> before;
    for (const IniEntry* e = store.entries(); e; e = e->next) before.push_back(e->name.c_str());
    store.Remove(HKEY_CURRENT_USER, c.subkey, c.value);
    std::vector<std::wstring> expected;
    for (const auto& name : before)
      if (std::find(c.removed.begin(), c.removed.end(), name) == c.removed.end()) expected.push_back(name);
    std::vector<std::wstring> after;
    for (const IniEntry* e = store.entries(); e; e = e->next) after.push_back(e->name.c_str());
    EXPECT_EQ(Join(expected), Join(after));
    // Adding after a removal still appends at the end (the list's tail stays right).
    store.Set(L"HKCU\\Added", L"1", IniValueKind::Plain);
    const IniEntry* last = store.entries();
    while (last && last->next) last = last->next;
    ASSERT_NE(nullptr, last);
    EXPECT_STREQ(L"HKCU\\Added", last->name.c_str());
    store.Discard();
  }
}

TEST_F(IniStoreTest, KeyExistsWhenSomeEntryLiesUnderTheKey) {
  IniStore store;
  Load(store, Utf16LeFile(L"HKCU\\Setup\\MenuItems\\AlwaysArc=\"*.iso\"\r\nHKLM\\exe64=1\r\n"));
  const struct {
    HKEY root;
    const wchar_t* subkey;
    bool exists;
  } cases[] = {
      {HKEY_CURRENT_USER, L"Setup", true},           {HKEY_CURRENT_USER, L"Setup\\MenuItems", true},
      {HKEY_CURRENT_USER, L"Setup\\Menu", false},    {HKEY_CURRENT_USER, L"", true},
      {HKEY_LOCAL_MACHINE, L"", true},               {HKEY_LOCAL_MACHINE, L"Setup", false},
      {nullptr, L"Global", true},                    {HKEY_CURRENT_USER, L"setup", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.exists, store.KeyExists(c.root, c.subkey)) << "subkey: " << std::wstring(c.subkey);
  store.Discard();
}

TEST_F(IniStoreTest, HandlesOnlyTheProgramsOwnKeyWhileLoaded) {
  IniStore store;
  Load(store, Utf16LeFile(L"HKCU\\a=1\r\n"));
  EXPECT_TRUE(store.Handles(HKEY_CURRENT_USER, L"Setup"));
  EXPECT_TRUE(store.Handles(HKEY_LOCAL_MACHINE, L""));
  EXPECT_TRUE(store.Handles(nullptr, L"Global"));
  EXPECT_FALSE(store.Handles(HKEY_CLASSES_ROOT, L".vok"));
  EXPECT_FALSE(store.Handles(HKEY_LOCAL_MACHINE, L"\\Software\\Microsoft"));
  EXPECT_FALSE(store.Handles(HKEY_USERS, L"x"));
  store.Discard();
  EXPECT_FALSE(store.Handles(HKEY_CURRENT_USER, L"Setup")) << "a discarded store serves nothing";
}

// ---- Writing back ----

TEST_F(IniStoreTest, WriteBackIsSortedUtf16WithMarkByteForByte) {
  IniStore store;
  // Read as ANSI, out of order, with lines that are not entries: written back sorted, UTF-16 LE.
  Load(store, AnsiFile(L"; comment\r\nHKCU\\Setup\\ShellExt=1\n[section]\r\n\r\n"
                       L"HKCU\\Setup\\MenuItems\\AlwaysArc=\"*.iso\"\r\n"));
  ASSERT_TRUE(store.Save());
  const std::wstring expected =
      L"Global\\AppData=1\r\nGlobal\\Integration=1\r\nGlobal\\SaveSettings=1\r\n"
      L"HKCU\\Setup\\MenuItems\\AlwaysArc=\"*.iso\"\r\nHKCU\\Setup\\ShellExt=1\r\n";
  EXPECT_EQ(ShowBytes(Utf16LeFile(expected)), ShowBytes(FileBytes()));
  EXPECT_FALSE(FileExists(path_ + L".new")) << "the new file was left beside the settings file";
  store.Discard();
}

TEST_F(IniStoreTest, WriteBackOrdersByCodeUnitsAndKeepsEveryKind) {
  IniStore store;
  Load(store, Utf8File(L"b=1\r\nB=2\r\na=\"\"\r\nZ=bin:zz\r\n_=not an entry\r\nA\u00e9=x\r\nAz=y\r\n"));
  store.Set(L"HKLM\\n", L"4294967295", IniValueKind::Plain);
  ASSERT_TRUE(store.Save());
  // 'A' < 'B' < 'G' < 'H' < 'Z' < 'a' < 'b' and 'z' (0x7A) < U+00E9.
  const std::wstring expected = L"Az=y\r\nA\u00e9=x\r\nB=2\r\n" + kGlobals +
                                L"HKLM\\n=4294967295\r\nZ=bin:zz\r\na=\"\"\r\nb=1\r\n";
  EXPECT_EQ(ShowBytes(Utf16LeFile(expected)), ShowBytes(FileBytes()));
  store.Discard();
}

TEST_F(IniStoreTest, AFileOfNonEntriesIsReplacedByTheThreeGlobalLines) {
  IniStore store;
  Load(store, AnsiFile(L"[Settings]\r\n; nothing here\r\n  indented=1\r\n"));
  EXPECT_EQ(3u, EntriesOf(store).size());
  ASSERT_TRUE(store.Save());
  EXPECT_EQ(ShowBytes(Utf16LeFile(kGlobals)), ShowBytes(FileBytes()));
  store.Discard();
}

TEST_F(IniStoreTest, SaveSettingsZeroNeverRewritesTheFile) {
  const std::string original = AnsiFile(L"Global\\SaveSettings=0\r\nHKCU\\a=1\r\n");
  {
    IniStore store;
    Load(store, original);
    store.Set(L"HKCU\\a", L"2", IniValueKind::Plain);
    EXPECT_FALSE(store.Save());
  }  // the destructor does not write either
  EXPECT_EQ(original, FileBytes());
}

TEST_F(IniStoreTest, DestructionWritesBackAndDiscardDoesNot) {
  {
    IniStore store;
    Load(store, AnsiFile(L"HKCU\\a=1\r\n"));
    store.Set(L"HKCU\\a", L"changed", IniValueKind::Quoted);
  }
  EXPECT_EQ(ShowBytes(Utf16LeFile(kGlobals + L"HKCU\\a=\"changed\"\r\n")), ShowBytes(FileBytes()));

  ASSERT_TRUE(DeleteFileW(path_.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND);
  {
    IniStore store;
    Load(store, AnsiFile(L"HKCU\\a=1\r\n"));
    ASSERT_TRUE(DeleteFileW(path_.c_str()));  // as the uninstall passes do
    store.Discard();
    EXPECT_FALSE(store.Save());
    EXPECT_FALSE(store.loaded());
    store.EnsureLoaded();  // no new search after a discard
    EXPECT_FALSE(store.loaded());
  }
  EXPECT_FALSE(FileExists(path_)) << "a discarded store recreated its file";
}

TEST_F(IniStoreTest, ReleaseForgetsEverythingWithoutWriting) {
  const std::string original = AnsiFile(L"Global\\Integration=0\r\nHKCU\\a=1\r\n");
  IniStore store;
  Load(store, original);
  store.Set(L"HKCU\\a", L"2", IniValueKind::Plain);
  store.Release();
  EXPECT_FALSE(store.loaded());
  EXPECT_FALSE(store.loadTried());
  EXPECT_TRUE(store.Integration);
  EXPECT_EQ(nullptr, store.entries());
  EXPECT_FALSE(store.Save());
  EXPECT_EQ(original, FileBytes());
  // It can be loaded again.
  EXPECT_TRUE(store.LoadFile(path_.c_str()));
  EXPECT_FALSE(store.Integration);
  store.Discard();
}

// A write-back that cannot replace the file leaves the old one as it was and says so.
TEST_F(IniStoreTest, AFailedWriteBackLeavesTheOldFileIntact) {
  const std::string original = AnsiFile(L"HKCU\\a=1\r\n");
  const struct {
    const char* how;
    bool lockTarget;
    bool readOnlyTarget;
  } cases[] = {
      {"target held open without sharing", true, false},
      {"target read-only", false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    IniStore store;
    Load(store, original);
    store.Set(L"HKCU\\a", L"2", IniValueKind::Plain);
    UniqueFileHandle lock;
    if (c.lockTarget) {
      lock.reset(CreateFileW(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
      ASSERT_TRUE(lock.valid());
    }
    if (c.readOnlyTarget) {
      ASSERT_TRUE(SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_READONLY));
    }
    EXPECT_FALSE(store.Save());
    lock.reset();
    SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(original, FileBytes());
    EXPECT_FALSE(FileExists(path_ + L".new")) << "the new file was left behind";
    // Once the obstacle is gone the same store writes.
    EXPECT_TRUE(store.Save());
    EXPECT_EQ(ShowBytes(Utf16LeFile(kGlobals + L"HKCU\\a=2\r\n")), ShowBytes(FileBytes()));
    store.Discard();
    ASSERT_TRUE(WriteFileBytes(path_, original));
  }
}

TEST_F(IniStoreTest, WithoutRoomForANewFileBesideItTheFileIsRewrittenInPlace) {
  // A folder in the way of the new file: nothing can be created beside the settings file.
  ASSERT_TRUE(MakeFolders(path_ + L".new"));
  IniStore store;
  Load(store, AnsiFile(L"HKCU\\a=1\r\n"));
  store.Set(L"HKCU\\b", L"x", IniValueKind::Quoted);
  ASSERT_TRUE(store.Save());
  EXPECT_EQ(ShowBytes(Utf16LeFile(kGlobals + L"HKCU\\a=1\r\nHKCU\\b=\"x\"\r\n")), ShowBytes(FileBytes()));
  EXPECT_TRUE(FolderExists(path_ + L".new"));
  store.Discard();
}

// ---- Hostile input ----

TEST_F(IniStoreTest, RandomBytesNeitherCrashNorOverflow) {
  std::mt19937 random(20261209);
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(round);
    std::string bytes(static_cast<size_t>(random() % 20000), '\0');
    for (char& b : bytes) b = static_cast<char>(random() & 0xFF);
    // Every fourth file wears a UTF-16 or UTF-8 mark, so each decoder meets garbage.
    if (round % 4 == 1) bytes.insert(0, "\xFF\xFE");
    if (round % 4 == 2) bytes.insert(0, "\xFE\xFF");
    if (round % 4 == 3) bytes.insert(0, "\xEF\xBB\xBF");
    IniStore store;
    Load(store, bytes);
    for (const IniEntry* e = store.entries(); e; e = e->next) {
      ASSERT_FALSE(e->name.empty());
      const wchar_t first = e->name[0];
      ASSERT_TRUE((first >= L'A' && first <= L'Z') || (first >= L'a' && first <= L'z')) << e->name.c_str();
    }
    // A round trip of whatever was parsed keeps the same entries.
    ASSERT_TRUE(store.Save());
    const std::vector<std::wstring> before = EntriesOf(store);
    store.Discard();
    IniStore reread;
    ASSERT_TRUE(reread.LoadFile(path_.c_str()));
    std::vector<std::wstring> sortedBefore = before, after = EntriesOf(reread);
    std::sort(sortedBefore.begin(), sortedBefore.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(Join(sortedBefore), Join(after));
    reread.Discard();
  }
}

TEST_F(IniStoreTest, HugeFilesLongLinesAndLongNamesRoundTrip) {
  const std::wstring longValue(100000, L'v');
  const std::wstring longName = L"HKCU\\" + std::wstring(2000, L'n');
  std::wstring text = L"HKCU\\long=" + longValue + L"\r\n" + longName + L"=\"x\"\r\n";
  // Pad towards 10 MiB with many short entries and one enormous non-entry line.
  text += L"#" + std::wstring(3 * 1024 * 1024, L'#') + L"\r\n";
  for (int i = 0; text.size() < 5 * 1024 * 1024; ++i) text += L"HKCU\\Bulk\\v" + std::to_wstring(i) + L"=1\r\n";
  const std::string bytes = Utf16LeFile(text);
  ASSERT_GE(bytes.size(), 10u * 1024 * 1024);

  IniStore store;
  Load(store, bytes);
  ASSERT_NE(nullptr, store.Lookup(L"HKCU\\long"));
  EXPECT_EQ(longValue, store.Lookup(L"HKCU\\long"));
  ASSERT_NE(nullptr, store.Lookup(longName.c_str()));
  EXPECT_STREQ(L"x", store.Lookup(longName.c_str()));
  // A name of 1024 characters or more cannot be formed from an address: it is cut, never overrun.
  EXPECT_TRUE(store.KeyExists(HKEY_CURRENT_USER, std::wstring(2000, L'n').c_str()));
  store.Remove(HKEY_CURRENT_USER, L"Bulk", nullptr);
  EXPECT_FALSE(store.KeyExists(HKEY_CURRENT_USER, L"Bulk"));
  ASSERT_TRUE(store.Save());
  store.Discard();

  IniStore reread;
  ASSERT_TRUE(reread.LoadFile(path_.c_str()));
  EXPECT_EQ(Join({L"Global\\AppData|1|0", L"Global\\Integration|1|0", L"Global\\SaveSettings|1|0",
                  L"HKCU\\long|" + longValue + L"|0", longName + L"|x|1"}),
            Join(EntriesOf(reread)));
  reread.Discard();
}

}  // namespace
