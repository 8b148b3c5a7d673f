#include "base/paths.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "support/private_registry.h"
#include "support/process.h"
#include "support/temp_folder.h"

namespace {

// ---- Path arithmetic ----

TEST(PathArithmetic, FileNamePart) {
  struct Case {
    const wchar_t* path;
    const wchar_t* name;
  };
  const Case cases[] = {
      {L"C:\\dir\\file.txt", L"file.txt"}, {L"C:name", L"name"},   {L"dir/sub\\file", L"file"},
      {L"dir\\sub/file", L"file"},         {L"", L""},             {L"plain", L"plain"},
      {L"C:\\dir\\", L""},                 {L"\\\\srv\\share", L"share"}, {L"C:", L""},
      {L"x", L"x"},
  };
  for (const Case& c : cases) {
    EXPECT_STREQ(c.name, FileNamePart(c.path)) << "path: " << c.path;
    const size_t length = wcslen(c.path), nameLength = wcslen(c.name);
    EXPECT_EQ(c.path + (length - nameLength), FileNamePart(c.path)) << "points into the path: " << c.path;
  }
}

TEST(PathArithmetic, LastCharacter) {
  const wchar_t* empty = L"";
  EXPECT_EQ(empty, LastCharacter(empty));
  const wchar_t* path = L"C:\\a.";
  EXPECT_EQ(path + 4, LastCharacter(path));
}

TEST(PathArithmetic, TruncateToFolder) {
  struct Case {
    const wchar_t* path;
    const wchar_t* folder;
  };
  const Case cases[] = {
      {L"C:\\x", L"C:\\"},   {L"\\x", L"\\"},         {L"name", L""},          {L"C:\\dir\\x", L"C:\\dir"},
      {L"dir\\x", L"dir"},   {L"C:x", L"C:"},         {L"", L""},              {L"C:\\dir\\", L"C:\\dir"},
      {L"a/b/c", L"a/b"},    {L"\\\\srv\\share\\f", L"\\\\srv\\share"},
  };
  for (const Case& c : cases) {
    wchar_t buffer[64];
    wcscpy(buffer, c.path);
    TruncateToFolder(buffer);
    EXPECT_STREQ(c.folder, buffer) << "path: " << c.path;
  }
}

TEST(PathArithmetic, AppendSeparator) {
  struct Case {
    const wchar_t* path;
    size_t capacity;
    const wchar_t* result;
    size_t returned;
  };
  const Case cases[] = {
      {L"", 10, L"", 0},
      {L"C:", 10, L"C:\\", 2},
      {L"C:\\", 10, L"C:\\", 3},
      {L"dir/", 10, L"dir/\\", 4},  // only the backslash counts
      {L"abc", 4, L"abc", 3},        // fills capacity - 1: no room
      {L"abc", 5, L"abc\\", 3},
  };
  for (const Case& c : cases) {
    wchar_t buffer[16];
    wmemset(buffer, L'#', 16);
    wcscpy(buffer, c.path);
    EXPECT_EQ(c.returned, AppendSeparator(buffer, c.capacity)) << c.path << " cap " << c.capacity;
    EXPECT_STREQ(c.result, buffer) << c.path << " cap " << c.capacity;
    EXPECT_EQ(L'#', buffer[c.capacity]) << "wrote past the capacity: " << c.path;
  }
}

TEST(PathArithmetic, JoinPathCutsAndAllowsTheSameBuffer) {
  wchar_t buffer[kPathCapacity] = L"C:\\dir";
  JoinPath(buffer, L"file.txt", buffer, kPathCapacity);
  EXPECT_STREQ(L"C:\\dir\\file.txt", buffer);
  JoinPath(L"C:\\dir\\", L"f", buffer, kPathCapacity);
  EXPECT_STREQ(L"C:\\dir\\f", buffer);
  JoinPath(L"", L"f", buffer, kPathCapacity);
  EXPECT_STREQ(L"f", buffer);

  wchar_t small[9];
  wmemset(small, L'#', 9);
  JoinPath(L"C:\\dir", L"file.txt", small, 8);
  EXPECT_STREQ(L"C:\\dir\\", small) << "7 characters and the terminator";
  EXPECT_EQ(L'#', small[8]);
}

TEST(PathArithmetic, ReplaceFileNameStaysInsideTheCapacity) {
  wchar_t buffer[16];
  wmemset(buffer, L'#', 16);
  wcscpy(buffer, L"C:\\d\\*.txt");
  ReplaceFileName(buffer, L"found.txt", 16);
  EXPECT_STREQ(L"C:\\d\\found.txt", buffer);
  ReplaceFileName(buffer, L"a-much-longer-name", 12);
  EXPECT_STREQ(L"C:\\d\\a-much", buffer) << "cut so that 12 characters with terminator fit";
  EXPECT_EQ(L'#', buffer[15]);
}

TEST(PathArithmetic, Classification) {
  struct Case {
    const wchar_t* path;
    bool drive, absolute, wildcards;
  };
  const Case cases[] = {
      {L"C:\\a", true, true, false},     {L"c:/a", true, true, false},
      {L"C:a", true, false, false},      {L"1:\\a", false, false, false},
      {L"\\\\srv\\s", false, true, false}, {L"\\a", false, false, false},
      {L"a\\b", false, false, false},    {L"", false, false, false},
      {L"\\\\?\\C:\\a", false, true, false}, {L"\\\\?\\C:\\a?", false, true, true},
      {L"C:\\*.txt", true, true, true},  {L"?", false, false, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.drive, HasDriveLetter(c.path)) << c.path;
    EXPECT_EQ(c.absolute, IsAbsolutePath(c.path)) << c.path;
    EXPECT_EQ(c.wildcards, ContainsWildcards(c.path)) << c.path;
  }
  EXPECT_FALSE(ContainsWildcards(nullptr));
}

TEST(ExtendedLength, FormsAgainstAGivenCurrentFolder) {
  struct Case {
    const wchar_t* source;
    const wchar_t* current;
    const wchar_t* expected;  // null: fails
  };
  const Case cases[] = {
      {L"C:\\a", L"D:\\w", L"\\\\?\\C:\\a"},
      {L"\\\\srv\\share\\a", L"D:\\w", L"\\\\?\\UNC\\srv\\share\\a"},
      {L"a\\b", L"D:\\w", L"\\\\?\\D:\\w\\a\\b"},
      {L".\\a", L"D:\\w", L"\\\\?\\D:\\w\\a"},
      {L"./a", L"D:\\w", L"\\\\?\\D:\\w\\a"},
      {L"..\\a", L"D:\\w", L"\\\\?\\D:\\w\\..\\a"},
      {L"\\a", L"D:\\w", L"\\\\?\\D:\\a"},
      {L"/a", L"D:\\w", L"\\\\?\\D:/a"},
      {L"a/b", L"D:\\", L"\\\\?\\D:\\a/b"},  // forward slashes are not converted
      {L"C:a", L"D:\\w", nullptr},  // drive-relative: "D:\w\C:a" would be a stream of a file "C"
      {L"d:a\\b", L"D:\\w", nullptr},
      {L"C:", L"D:\\w", nullptr},
      {L"", L"D:\\w", nullptr},
      {L"a", L"", nullptr},
      {L"\\\\?\\C:\\a", L"D:\\w", nullptr},  // already extended: nothing else to try
  };
  for (const Case& c : cases) {
    wchar_t buffer[64] = L"sentinel";
    const bool made = ExtendedLengthPathFrom(c.source, c.current, buffer, 64);
    EXPECT_EQ(c.expected != nullptr, made) << c.source;
    EXPECT_STREQ(c.expected ? c.expected : L"sentinel", buffer) << c.source;
  }
}

TEST(ExtendedLength, CapacityLimits) {
  struct Case {
    const wchar_t* source;
    size_t capacity;
    bool made;
  };
  const Case cases[] = {
      {L"C:\\a", 9, true},   {L"C:\\a", 8, false},  // needs capacity > length + 4
      {L"\\\\s\\t", 12, true}, {L"\\\\s\\t", 11, false},  // needs capacity > length + 6
      {L"\\ab", 10, true},   {L"\\ab", 9, false},
      {L"ab", 12, true},     {L"ab", 11, false},         // "D:\w\" is 5 long: capacity > 2 + 5 + 4
  };
  for (const Case& c : cases) {
    wchar_t buffer[32];
    wmemset(buffer, L'#', 32);
    EXPECT_EQ(c.made, ExtendedLengthPathFrom(c.source, L"D:\\w", buffer, c.capacity))
        << c.source << " cap " << c.capacity;
    EXPECT_EQ(L'#', buffer[c.capacity]) << "wrote past the capacity";
  }
  std::wstring longFolder = L"D:\\" + std::wstring(2045, L'x');  // 2048 characters
  wchar_t buffer[8192];
  EXPECT_FALSE(ExtendedLengthPathFrom(L"a", longFolder.c_str(), buffer, 8192))
      << "a current folder longer than 2047 characters fails";
  longFolder.pop_back();  // 2047 characters: no room left for the separator
  wcscpy(buffer, L"sentinel");
  EXPECT_FALSE(ExtendedLengthPathFrom(L"a", longFolder.c_str(), buffer, 8192))
      << "the folder and the name would run together into a sibling's name";
  EXPECT_STREQ(L"sentinel", buffer);
  EXPECT_TRUE(ExtendedLengthPathFrom(L"C:\\a", longFolder.c_str(), buffer, 8192));
  EXPECT_STREQ(L"\\\\?\\C:\\a", buffer);
  longFolder.back() = L'\\';  // 2047 characters ending in the separator
  ASSERT_TRUE(ExtendedLengthPathFrom(L"a", longFolder.c_str(), buffer, 8192));
  EXPECT_EQ(L"\\\\?\\" + longFolder + L"a", std::wstring(buffer));
  longFolder.pop_back();  // 2046 characters: the separator fits
  ASSERT_TRUE(ExtendedLengthPathFrom(L"a", longFolder.c_str(), buffer, 8192));
  EXPECT_EQ(L"\\\\?\\" + longFolder + L"\\a", std::wstring(buffer));
}

class CurrentFolderFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    GetCurrentDirectoryW(kPathCapacity, saved_);
    ASSERT_TRUE(SetCurrentDirectoryW(temp_.path().c_str()));
  }
  void TearDown() override { SetCurrentDirectoryW(saved_); }
  TempFolder temp_{L"vokcwd"};
  wchar_t saved_[kPathCapacity] = {};
};

TEST_F(CurrentFolderFixture, RelativePathUsesTheProcessCurrentFolder) {
  wchar_t buffer[kPathCapacity];
  ASSERT_TRUE(ToExtendedLengthPath(L"a\\b", buffer, kPathCapacity));
  EXPECT_EQ(L"\\\\?\\" + temp_.path() + L"\\a\\b", std::wstring(buffer));
  ASSERT_TRUE(ToExtendedLengthPath(L"\\a", buffer, kPathCapacity));
  EXPECT_EQ(L"\\\\?\\" + temp_.path().substr(0, 2) + L"\\a", std::wstring(buffer));
}

// ---- File system: attributes, scanning ----

class FileSystemFixture : public ::testing::Test {
 protected:
  TempFolder temp_{L"vokpaths"};
};

TEST_F(FileSystemFixture, AttributesAndExistence) {
  ASSERT_TRUE(WriteFileBytes(temp_.Join(L"file.txt"), "12345"));
  ASSERT_TRUE(MakeFolders(temp_.Join(L"sub")));
  EXPECT_TRUE(PathExists(temp_.Join(L"file.txt").c_str()));
  EXPECT_FALSE(AttrIsFolder(QueryAttributes(temp_.Join(L"file.txt").c_str())));
  EXPECT_TRUE(AttrIsFolder(QueryAttributes(temp_.Join(L"sub").c_str())));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, QueryAttributes(temp_.Join(L"missing").c_str()));
  EXPECT_FALSE(AttrIsFolder(INVALID_FILE_ATTRIBUTES));
  EXPECT_TRUE(AttrIsReparsePoint(FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_FALSE(AttrIsReparsePoint(FILE_ATTRIBUTE_DIRECTORY));

  struct Case {
    const wchar_t* relative;
    bool matches;
  };
  const Case cases[] = {{L"file.txt", true}, {L"*.txt", true}, {L"f?le.*", true},
                        {L"*.dat", false},   {L"missing", false}, {L"s*", true}};
  for (const Case& c : cases) {
    EXPECT_EQ(c.matches, PathExistsOrMatches(temp_.Join(c.relative).c_str())) << c.relative;
  }
}

TEST_F(FileSystemFixture, TrailingDotNameIsReachedThroughTheExtendedForm) {
  const std::wstring exact = L"\\\\?\\" + temp_.Join(L"dotted.");
  ASSERT_TRUE(WriteFileBytes(exact, "x"));
  // The plain form drops the dot and names a file that does not exist; the extended form finds it.
  EXPECT_TRUE(PathExists(temp_.Join(L"dotted.").c_str()));
  EXPECT_FALSE(PathExists(temp_.Join(L"dotted").c_str()));

  // With a look-alike beside it, each name reaches its own entry: the plain form of "dotted."
  // would name the folder "dotted".
  ASSERT_TRUE(MakeFolders(temp_.Join(L"dotted")));
  ASSERT_TRUE(WriteFileBytes(L"\\\\?\\" + temp_.Join(L"blank "), "12345"));
  struct Case {
    const wchar_t* name;
    bool folder;  // what the name itself is
  } const cases[] = {{L"dotted.", false}, {L"dotted", true}, {L"blank ", false}};
  for (const Case& c : cases) {
    const std::wstring path = temp_.Join(c.name);
    EXPECT_EQ(c.folder, AttrIsFolder(QueryAttributes(path.c_str()))) << c.name;
    ScanEntry entry;
    ASSERT_TRUE(LookupSingle(path.c_str(), entry)) << c.name;
    EXPECT_EQ(c.folder, entry.isFolder) << c.name;
    EXPECT_STREQ(c.name, FileNamePart(entry.name));
  }
  EXPECT_FALSE(PathExists(temp_.Join(L"blank").c_str()));
  // The extended form does not resolve "." or "..": a trimmed name with them is refused, not
  // tried in a form that names something else.
  for (const wchar_t* refused : {L"dotted\\..\\dotted.", L".\\dotted."}) {
    SetLastError(0);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, QueryAttributes(temp_.Join(refused).c_str())) << refused;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), GetLastError()) << refused;
  }
  EXPECT_TRUE(PathExists(temp_.Join(L"dotted\\..\\dotted").c_str())) << "untrimmed names keep the plain form";
  DeleteFileW(exact.c_str());
  DeleteFileW((L"\\\\?\\" + temp_.Join(L"blank ")).c_str());
  RemoveDirectoryW(temp_.Join(L"dotted").c_str());
}

TEST_F(FileSystemFixture, ScannerDeliversEveryEntryButTheDotFolders) {
  ASSERT_TRUE(WriteFileBytes(temp_.Join(L"a.txt"), "abc"));
  ASSERT_TRUE(WriteFileBytes(temp_.Join(L"b.dat"), std::string(70000, 'x')));
  ASSERT_TRUE(MakeFolders(temp_.Join(L"sub")));

  DirectoryScanner scanner;
  const std::wstring pattern = temp_.Join(L"*");
  scanner.SetPattern(pattern.c_str());
  std::set<std::wstring> names;
  ScanEntry entry;
  while (scanner.Next(entry)) {
    names.insert(FileNamePart(entry.name));
    EXPECT_EQ(temp_.path() + L"\\" + FileNamePart(entry.name), std::wstring(entry.name));
    const std::wstring name = FileNamePart(entry.name);
    if (name == L"sub") {
      EXPECT_TRUE(entry.isFolder);
    } else {
      EXPECT_FALSE(entry.isFolder) << name;
      EXPECT_EQ(name == L"a.txt" ? 3u : 70000u, entry.size) << name;
      EXPECT_NE(0u, entry.modified);
      const uint64_t raw = (static_cast<uint64_t>(entry.rawModified.dwHighDateTime) << 32) |
                           entry.rawModified.dwLowDateTime;
      EXPECT_EQ(raw * 100, entry.modified);
    }
  }
  EXPECT_FALSE(entry.error);
  EXPECT_EQ((std::set<std::wstring>{L"a.txt", L"b.dat", L"sub"}), names);
  EXPECT_FALSE(scanner.Next(entry)) << "the end stays the end";

  // A new pattern starts a new search.
  const std::wstring txt = temp_.Join(L"*.txt");
  scanner.SetPattern(txt.c_str());
  ASSERT_TRUE(scanner.Next(entry));
  EXPECT_STREQ(L"a.txt", FileNamePart(entry.name));
  EXPECT_FALSE(scanner.Next(entry));
}

TEST_F(FileSystemFixture, ScannerEndsWithoutErrorOnEmptyOrMissingFolders) {
  ASSERT_TRUE(MakeFolders(temp_.Join(L"empty")));
  struct Case {
    const char* what;
    std::wstring pattern;
  };
  const Case cases[] = {
      {"empty folder", temp_.Join(L"empty\\*")},
      {"missing folder", temp_.Join(L"missing\\*")},
      {"missing file", temp_.Join(L"empty\\none.txt")},
  };
  for (const Case& c : cases) {
    DirectoryScanner scanner;
    scanner.SetPattern(c.pattern.c_str());
    ScanEntry entry;
    entry.error = true;  // sentinel
    EXPECT_FALSE(scanner.Next(entry)) << c.what;
    EXPECT_FALSE(entry.error) << c.what;
  }
  DirectoryScanner unset;
  ScanEntry entry;
  EXPECT_FALSE(unset.Next(entry)) << "no pattern";
}

TEST_F(FileSystemFixture, ScannerFlagsAFailureThatIsNotNotFound) {
  // A file used as a folder fails with ERROR_DIRECTORY (Wine: ERROR_INVALID_NAME), not with
  // "nothing found".
  ASSERT_TRUE(WriteFileBytes(temp_.Join(L"file.txt"), "x"));
  DirectoryScanner scanner;
  const std::wstring pattern = temp_.Join(L"file.txt\\*");
  scanner.SetPattern(pattern.c_str());
  ScanEntry entry;
  EXPECT_FALSE(scanner.Next(entry));
  EXPECT_TRUE(entry.error);
}

TEST_F(FileSystemFixture, LookupSingle) {
  ASSERT_TRUE(WriteFileBytes(temp_.Join(L"one.txt"), "1234567"));
  ScanEntry entry;
  ASSERT_TRUE(LookupSingle(temp_.Join(L"one.txt").c_str(), entry));
  EXPECT_EQ(7u, entry.size);
  EXPECT_FALSE(entry.isFolder);
  EXPECT_EQ(temp_.Join(L"one.txt"), std::wstring(entry.name));
  ASSERT_TRUE(LookupSingle(temp_.path().c_str(), entry));
  EXPECT_TRUE(entry.isFolder);
  EXPECT_FALSE(LookupSingle(temp_.Join(L"*.txt").c_str(), entry)) << "wildcards are refused";
  EXPECT_FALSE(LookupSingle(temp_.Join(L"two.txt").c_str(), entry));
  EXPECT_FALSE(entry.error);
}

// ---- Data folder ----

// HKCU is private to the fixture; the program folder is this test program's folder, where the
// fixture places (and removes) files with a name no one else uses.
class DataFolderFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    dataFolder_ = temp_.Join(L"data");
    ASSERT_TRUE(MakeFolders(dataFolder_));
    name_ = L"vok-locate-" + std::to_wstring(GetCurrentProcessId()) + L".dat";
    programFolder_ = OwnModuleFolder();
  }
  void TearDown() override { DeleteFileW((programFolder_ + L"\\" + name_).c_str()); }

  void SetAppData(const void* data, DWORD size, DWORD type) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Ovenix\\Paths", 0, nullptr, 0,
                                             KEY_SET_VALUE, nullptr, &key, nullptr));
    UniqueHkey owner(key);
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, L"AppData", 0, type, static_cast<const BYTE*>(data), size));
  }
  void SetAppData(const std::wstring& folder) {
    SetAppData(folder.c_str(), static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)), REG_SZ);
  }
  std::wstring Fallback() {
    wchar_t folder[kPathCapacity];
    if (UserAppDataFolder(folder, kPathCapacity)) return folder;
    return programFolder_;
  }

  PrivateRegistry registry_;
  TempFolder temp_{L"vokdata"};
  std::wstring dataFolder_, programFolder_, name_;
};

TEST_F(DataFolderFixture, ArchiverDataFolderPrefersAnExistingRegisteredFolder) {
  wchar_t folder[kPathCapacity] = L"sentinel";
  ArchiverDataFolder(folder, kPathCapacity);
  EXPECT_EQ(Fallback(), std::wstring(folder)) << "no value";

  SetAppData(dataFolder_);
  ArchiverDataFolder(folder, kPathCapacity);
  EXPECT_EQ(dataFolder_, std::wstring(folder));

  SetAppData(temp_.Join(L"missing"));
  ArchiverDataFolder(folder, kPathCapacity);
  EXPECT_EQ(Fallback(), std::wstring(folder)) << "a folder that does not exist";

  const DWORD number = 5;
  SetAppData(&number, sizeof number, REG_DWORD);
  ArchiverDataFolder(folder, kPathCapacity);
  EXPECT_EQ(Fallback(), std::wstring(folder)) << "a value that is not text";

  // Stored without its terminator: still read as the folder.
  SetAppData(dataFolder_.c_str(), static_cast<DWORD>(dataFolder_.size() * sizeof(wchar_t)), REG_SZ);
  wmemset(folder, L'#', kPathCapacity);
  ArchiverDataFolder(folder, kPathCapacity);
  EXPECT_EQ(dataFolder_, std::wstring(folder));

  // Too long for the caller's buffer: not used, and nothing is written past the capacity.
  SetAppData(dataFolder_);
  wchar_t small[12];
  wmemset(small, L'#', 12);
  ArchiverDataFolder(small, 10);
  EXPECT_EQ(L'#', small[10]);
  EXPECT_EQ(0, small[wcsnlen(small, 10)]);
}

TEST_F(DataFolderFixture, CandidateFolders) {
  SetAppData(dataFolder_);
  wchar_t folder[kPathCapacity] = L"sentinel";
  ASSERT_TRUE(CandidateFolder(0, folder, kPathCapacity));
  EXPECT_EQ(dataFolder_, std::wstring(folder));
  ASSERT_TRUE(CandidateFolder(1, folder, kPathCapacity));
  EXPECT_EQ(programFolder_, std::wstring(folder));
  wcscpy(folder, L"sentinel");
  EXPECT_FALSE(CandidateFolder(2, folder, kPathCapacity));
  EXPECT_FALSE(CandidateFolder(-1, folder, kPathCapacity));
  EXPECT_STREQ(L"sentinel", folder);
}

TEST_F(DataFolderFixture, LocateDataFileSearchesDataFolderThenProgramFolder) {
  SetAppData(dataFolder_);
  const std::wstring inData = dataFolder_ + L"\\" + name_;
  const std::wstring inProgram = programFolder_ + L"\\" + name_;
  struct Case {
    const char* what;
    bool inData, inProgram;
    std::wstring expected;
  };
  const Case cases[] = {
      {"in both", true, true, inData},
      {"only in the data folder", true, false, inData},
      {"only in the program folder", false, true, inProgram},
      {"in neither", false, false, inProgram},
  };
  for (const Case& c : cases) {
    DeleteFileW(inData.c_str());
    DeleteFileW(inProgram.c_str());
    if (c.inData) {
      ASSERT_TRUE(WriteFileBytes(inData, "d"));
    }
    if (c.inProgram) {
      ASSERT_TRUE(WriteFileBytes(inProgram, "p"));
    }
    wchar_t found[kPathCapacity] = L"sentinel";
    LocateDataFile(name_.c_str(), found, kPathCapacity);
    EXPECT_EQ(c.expected, std::wstring(found)) << c.what;
  }
  ASSERT_TRUE(WriteFileBytes(inProgram, "p"));
  wchar_t found[kPathCapacity];
  const std::wstring pattern = L"vok-locate-" + std::to_wstring(GetCurrentProcessId()) + L".d?t";
  LocateDataFile(pattern.c_str(), found, kPathCapacity);
  EXPECT_EQ(programFolder_ + L"\\" + pattern, std::wstring(found)) << "a wildcard name matches by scanning";
}

}  // namespace
