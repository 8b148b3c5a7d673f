// The language library and folder against the real registry (a private tree) and real modules:
// resource-only libraries built for the tests, loaded the way start-up loads "voklng.dll".
#include <gtest/gtest.h>

#include <string>

#include "localization/language.h"
#include "localization/localized_strings.h"
#include "support/private_registry.h"
#include "support/process.h"
#include "support/registry_snapshot.h"
#include "support/temp_folder.h"
#include "language_test_util.h"

namespace {

const wchar_t kGeneralKey[] = L"Software\\Ovenix\\General";
const wchar_t kPlainLibrary[] = L"language_library_plain.dll";
const wchar_t kRtlLibrary[] = L"language_library_rtl.dll";

HMODULE Program() { return GetModuleHandleW(nullptr); }

std::wstring StringFrom(HMODULE module, UINT id) {
  wchar_t buffer[1024] = L"<none>";
  if (LoadStringW(module, id, buffer, 1024) <= 0) return L"<none>";
  return buffer;
}

DWORD ProcessLayout() {
  DWORD layout = 0xDEAD;
  if (!GetProcessDefaultLayout(&layout)) return 0xDEAD;
  return layout;
}

// Every test starts with no language library, an empty table and left-to-right layout, and
// leaves them so.
class LanguageData : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }
  void Reset() {
    UnloadLanguageLibrary();
    g_languageTable.Clear();
    RightToLeft = false;
    SetProcessDefaultLayout(0);
  }

  void UseLanguageFolder(const std::wstring& value) {
    ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, kGeneralKey, L"LanguageFolder", value));
  }
  // Puts a built test library into the language folder as "voklng.dll".
  void InstallLibrary(const wchar_t* builtName) {
    const std::wstring source = OwnModuleFolder() + L"\\" + builtName;
    ASSERT_TRUE(CopyFileW(source.c_str(), languages_.Join(L"voklng.dll").c_str(), FALSE)) << "copy " << source.c_str();
  }
  void WriteLanguageFile(const std::wstring& path, const std::string& lines) {
    ASSERT_TRUE(WriteFileBytes(path, "***messages**\r\n" + lines));
  }

  PrivateRegistry registry_;
  TempFolder languages_{L"voklanguages"};
};

TEST_F(LanguageData, WithoutALibraryTheProgramIsTheResourceModule) {
  LoadLanguageLibrary(Program());
  EXPECT_FALSE(g_languageLibrary.loaded());
  EXPECT_EQ(Program(), ResourceModule);
  EXPECT_EQ(Program(), g_programModule);
}

TEST_F(LanguageData, LibraryInTheLanguageFolderBecomesTheResourceModule) {
  InstallLibrary(kPlainLibrary);
  UseLanguageFolder(languages_.path());
  LoadLanguageLibrary(Program());
  ASSERT_TRUE(g_languageLibrary.loaded());
  EXPECT_NE(Program(), ResourceModule);
  EXPECT_EQ(Program(), g_programModule);
  EXPECT_EQ(L"Library title", StringFrom(ResourceModule, 5101));
  EXPECT_EQ(L"<none>", StringFrom(ResourceModule, 5106));

  UnloadLanguageLibrary();
  EXPECT_FALSE(g_languageLibrary.loaded());
  EXPECT_EQ(Program(), ResourceModule);
  UnloadLanguageLibrary();  // nothing loaded: nothing changes
  EXPECT_EQ(Program(), ResourceModule);
  // Released: the uninstall driver can now delete the file.
  EXPECT_TRUE(DeleteFileW(languages_.Join(L"voklng.dll").c_str()));
}

TEST_F(LanguageData, LoadingAgainReleasesTheFormerLibrary) {
  InstallLibrary(kPlainLibrary);
  UseLanguageFolder(languages_.path());
  LoadLanguageLibrary(Program());
  ASSERT_TRUE(g_languageLibrary.loaded());
  ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, kGeneralKey, L"LanguageFolder", languages_.Join(L"none")));
  LoadLanguageLibrary(Program());
  EXPECT_FALSE(g_languageLibrary.loaded());
  EXPECT_EQ(Program(), ResourceModule);
  EXPECT_TRUE(DeleteFileW(languages_.Join(L"voklng.dll").c_str())) << "the first library is still loaded";
}

TEST_F(LanguageData, LanguageFolderWithEnvironmentReference) {
  InstallLibrary(kPlainLibrary);
  ASSERT_TRUE(SetEnvironmentVariableW(L"VOKTEST_LANGUAGES", languages_.path().c_str()));
  UseLanguageFolder(L"%VOKTEST_LANGUAGES%\\");
  LoadLanguageLibrary(Program());
  SetEnvironmentVariableW(L"VOKTEST_LANGUAGES", nullptr);
  EXPECT_TRUE(g_languageLibrary.loaded());
}

TEST_F(LanguageData, NotALibrary) {
  ASSERT_TRUE(WriteFileBytes(languages_.Join(L"voklng.dll"), "MZ but not a library"));
  UseLanguageFolder(languages_.path());
  LoadLanguageLibrary(Program());
  EXPECT_FALSE(g_languageLibrary.loaded());
  EXPECT_EQ(Program(), ResourceModule);
}

// ---- Right to left ----

struct DirectionCase {
  const char* name;
  const wchar_t* library;  // null: none
  const char* file;        // null: no language file
  bool rightToLeft;
};

TEST_F(LanguageData, DirectionFromFileAndLibrary) {
  const DirectionCase cases[] = {
      {"NothingIsLeftToRight", nullptr, nullptr, false},
      {"RtlDialogInTheLibrary", kRtlLibrary, nullptr, true},
      {"RtlDialogWinsOverAnLtrFile", kRtlLibrary, ":DIRECTION LTR\r\n", true},
      {"RtlDialogWithAFileWithoutDirection", kRtlLibrary, "IDS_BETA b\r\n", true},
      {"RtlFileWithAPlainLibrary", kPlainLibrary, ":DIRECTION RTL\r\n", true},
      {"LtrFileWithAPlainLibrary", kPlainLibrary, ":DIRECTION LTR\r\n", false},
      {"RtlFileAlone", nullptr, ":DIRECTION RTL\r\n", true},
      {"LowerCaseRtlFile", nullptr, ":DIRECTION rtl\r\n", false},
  };
  for (const DirectionCase& directionCase : cases) {
    SCOPED_TRACE(directionCase.name);
    Reset();
    DeleteFileW(languages_.Join(L"voklng.dll").c_str());
    DeleteFileW(languages_.Join(L"uninstall.lng").c_str());
    if (directionCase.library) InstallLibrary(directionCase.library);
    if (directionCase.file) WriteLanguageFile(languages_.Join(L"uninstall.lng"), directionCase.file);
    UseLanguageFolder(languages_.path());

    LoadLanguageLibrary(Program());
    LoadLanguageFile(L"uninstall.lng");
    EXPECT_EQ(directionCase.rightToLeft, RightToLeft);
    EXPECT_EQ(directionCase.rightToLeft ? static_cast<DWORD>(LAYOUT_RTL) : 0u, ProcessLayout());
    // The direction outlives the library.
    UnloadLanguageLibrary();
    EXPECT_EQ(directionCase.rightToLeft, RightToLeft);
  }
}

// ---- Strings: file, then library, then program ----

TEST_F(LanguageData, StringFallbackChain) {
  const std::wstring programTitle = StringFrom(Program(), 5101);
  const std::wstring programNotice = StringFrom(Program(), 5106);
  ASSERT_NE(L"<none>", programTitle);
  ASSERT_NE(L"<none>", programNotice);

  InstallLibrary(kPlainLibrary);
  UseLanguageFolder(languages_.path());
  // IDS_WARN32BIT is given an empty text: found in the file, it wins over every resource.
  WriteLanguageFile(languages_.Join(L"uninstall.lng"),
                    "IDS_BETA file beta\r\nIDS_WARN32BIT \"\"\r\nIDS_NOT_IN_THE_TABLE x\r\n");
  LoadLanguageLibrary(Program());
  LoadLanguageFile(L"uninstall.lng");
  ASSERT_TRUE(g_languageLibrary.loaded());
  ASSERT_EQ(3u, g_languageTable.EntryCount());

  EXPECT_STREQ(L"file beta", LocalizedString(5140));           // file over library
  EXPECT_STREQ(L"Library title", LocalizedString(5101));       // library over program
  EXPECT_STREQ(programNotice.c_str(), LocalizedString(5106));  // missing in the library
  EXPECT_STREQ(L"", LocalizedString(5130));                    // empty in the file

  UnloadLanguageLibrary();
  EXPECT_STREQ(programTitle.c_str(), LocalizedString(5101));
  EXPECT_STREQ(L"file beta", LocalizedString(5140));
}

TEST_F(LanguageData, KeyIdIndexIsPreparedWhenTheFileOpens) {
  EXPECT_EQ(0u, g_languageTable.KeyIdCount());
  WriteLanguageFile(languages_.Join(L"uninstall.lng"), "IDS_BETA b\r\n");
  UseLanguageFolder(languages_.path());
  LoadLanguageFile(L"uninstall.lng");
  ASSERT_EQ(LanguageKeyCount, g_languageTable.KeyIdCount());
  // Every key-table position once, ordered by prefix and then by ID.
  std::vector<bool> seen(LanguageKeyCount, false);
  const uint64_t* index = g_languageTable.KeyIdIndex();
  for (size_t i = 0; i < LanguageKeyCount; ++i) {
    ASSERT_LT(index[i], LanguageKeyCount);
    EXPECT_FALSE(seen[index[i]]) << "position " << index[i] << " twice";
    seen[index[i]] = true;
    if (i == 0) continue;
    const std::string previous = LanguageKeyTable[index[i - 1]].name;
    const std::string current = LanguageKeyTable[index[i]].name;
    const std::string previousPrefix = previous.substr(0, previous.find(':'));
    const std::string currentPrefix = current.substr(0, current.find(':'));
    ASSERT_LE(previousPrefix, currentPrefix) << previous << " before " << current;
    if (previousPrefix == currentPrefix) {
      EXPECT_LT(LanguageKeyTable[index[i - 1]].id, LanguageKeyTable[index[i]].id) << previous << " before " << current;
    }
  }
}

// ---- Where the language file is looked for ----

TEST_F(LanguageData, BareNameIsLookedForBesideTheProgram) {
  const std::wstring name = L"voktest-" + std::to_wstring(GetCurrentProcessId()) + L".lng";
  const std::wstring besideProgram = OwnModuleFolder() + L"\\" + name;
  WriteLanguageFile(besideProgram, "IDS_BETA beside the program\r\n");
  LoadLanguageFile(name.c_str());
  DeleteFileW(besideProgram.c_str());
  EXPECT_EQ(L"beside the program", TextOf(g_languageTable, "s:IDS_BETA"));
}

TEST_F(LanguageData, LanguageFolderCopyWinsOverTheGivenPath) {
  TempFolder program(L"vokprogram");
  WriteLanguageFile(program.Join(L"uninstall.lng"), "IDS_BETA program folder\r\n");
  WriteLanguageFile(languages_.Join(L"uninstall.lng"), "IDS_BETA language folder\r\n");
  LoadLanguageFile(program.Join(L"uninstall.lng").c_str());
  EXPECT_EQ(L"program folder", TextOf(g_languageTable, "s:IDS_BETA"));
  UseLanguageFolder(languages_.path());
  LoadLanguageFile(program.Join(L"uninstall.lng").c_str());
  EXPECT_EQ(L"language folder", TextOf(g_languageTable, "s:IDS_BETA"));
}

TEST_F(LanguageData, MissingLanguageFileLeavesTheTableEmpty) {
  WriteLanguageFile(languages_.Join(L"uninstall.lng"), "IDS_BETA b\r\n");
  UseLanguageFolder(languages_.path());
  LoadLanguageFile(L"uninstall.lng");
  ASSERT_EQ(1u, g_languageTable.EntryCount());
  LoadLanguageFile(languages_.Join(L"absent.lng").c_str());
  EXPECT_EQ(0u, g_languageTable.EntryCount());
  wchar_t buffer[8] = L"sentry";
  EXPECT_FALSE(FindText("s:IDS_BETA", buffer, 8));
  EXPECT_FALSE(RightToLeft);
}

// ---- ApplyLanguageFolder ----

struct FolderCase {
  const char* name;
  const wchar_t* value;  // "LanguageFolder"; null: no value; "<LANG>" stands for the language folder
  std::wstring input;    // "<OTHER>" stands for a folder that is not the language folder
  const wchar_t* expected;  // "<INPUT>": unchanged; otherwise with <LANG> replaced
};

std::wstring Substitute(std::wstring text, const std::wstring& pattern, const std::wstring& replacement) {
  for (size_t at = text.find(pattern); at != std::wstring::npos; at = text.find(pattern, at + replacement.size())) {
    text.replace(at, pattern.size(), replacement);
  }
  return text;
}

TEST_F(LanguageData, ApplyLanguageFolderCases) {
  ASSERT_TRUE(WriteFileBytes(languages_.Join(L"ovenix.chm"), "help"));
  ASSERT_TRUE(CreateDirectoryW(languages_.Join(L"folder.chm").c_str(), nullptr));
  ASSERT_TRUE(SetEnvironmentVariableW(L"VOKTEST_LANGUAGES", languages_.path().c_str()));
  const FolderCase cases[] = {
      {"NoValue", nullptr, L"<OTHER>\\ovenix.chm", L"<INPUT>"},
      {"FileThere", L"<LANG>", L"<OTHER>\\ovenix.chm", L"<LANG>\\ovenix.chm"},
      {"TrailingBackslashIsNotDoubled", L"<LANG>\\", L"<OTHER>\\ovenix.chm", L"<LANG>\\ovenix.chm"},
      {"FolderOfThatNameCounts", L"<LANG>", L"<OTHER>\\folder.chm", L"<LANG>\\folder.chm"},
      {"FileMissing", L"<LANG>", L"<OTHER>\\absent.chm", L"<INPUT>"},
      {"EnvironmentReference", L"%VOKTEST_LANGUAGES%", L"<OTHER>\\ovenix.chm", L"<LANG>\\ovenix.chm"},
      {"BareName", L"<LANG>", L"ovenix.chm", L"<LANG>\\ovenix.chm"},
      {"DrivePrefix", L"<LANG>", L"C:ovenix.chm", L"<LANG>\\ovenix.chm"},
      {"ForwardSlashes", L"<LANG>", L"x/y/ovenix.chm", L"<LANG>\\ovenix.chm"},
      {"EmptyValue", L"", L"<OTHER>\\ovenix.chm", L"<INPUT>"},
      {"FolderWithoutTheFile", L"<OTHER>", L"<OTHER>\\ovenix.chm", L"<INPUT>"},
  };
  const std::wstring other = L"C:\\nowhere-vok";
  // With the language folder as the current folder, a bare name found there would be wrongly
  // taken for the language folder's copy (the empty-value case).
  wchar_t savedCurrent[2048] = L"";
  GetCurrentDirectoryW(2048, savedCurrent);
  ASSERT_TRUE(SetCurrentDirectoryW(languages_.path().c_str()));
  for (const FolderCase& folderCase : cases) {
    SCOPED_TRACE(folderCase.name);
    DeleteRegTree(HKEY_CURRENT_USER, L"Software\\Ovenix");
    if (folderCase.value) {
      UseLanguageFolder(Substitute(Substitute(folderCase.value, L"<LANG>", languages_.path()), L"<OTHER>", other));
    }
    const std::wstring input = Substitute(folderCase.input, L"<OTHER>", other);
    const std::wstring expected = Substitute(Substitute(folderCase.expected, L"<INPUT>", input), L"<LANG>", languages_.path());
    wchar_t result[2048] = L"sentry";
    ApplyLanguageFolder(input.c_str(), result, 2048);
    EXPECT_EQ(expected, std::wstring(result));
    // In place gives the same.
    wchar_t inPlace[2048];
    wcscpy(inPlace, input.c_str());
    ApplyLanguageFolder(inPlace, inPlace, 2048);
    EXPECT_EQ(expected, std::wstring(inPlace));
  }
  SetCurrentDirectoryW(savedCurrent);
  SetEnvironmentVariableW(L"VOKTEST_LANGUAGES", nullptr);
}

TEST_F(LanguageData, ApplyLanguageFolderCutsToTheCapacity) {
  ASSERT_TRUE(WriteFileBytes(languages_.Join(L"ovenix.chm"), "help"));
  UseLanguageFolder(languages_.path());
  wchar_t result[12];
  for (wchar_t& c : result) c = L'#';
  ApplyLanguageFolder(L"C:\\x\\ovenix.chm", result, 8);
  EXPECT_EQ(languages_.path().substr(0, 7), std::wstring(result));
  EXPECT_EQ(L'#', result[8]);
}

TEST_F(LanguageData, LanguageFolderThatDoesNotFitBesideALongPath) {
  // The value may take 2 x (2047 - length of the given path) bytes; a longer one is not used.
  ASSERT_TRUE(WriteFileBytes(languages_.Join(L"ovenix.chm"), "help"));
  UseLanguageFolder(languages_.path());
  const size_t valueLength = languages_.path().size();
  const std::wstring fits = L"C:\\" + std::wstring(2047 - valueLength - 1 - 3 - 11, L'a') + L"\\ovenix.chm";
  const std::wstring tooLong = L"C:\\" + std::wstring(2047 - valueLength - 3 - 11, L'a') + L"\\ovenix.chm";
  ASSERT_EQ(2047 - valueLength - 1, fits.size());
  wchar_t result[2048];
  ApplyLanguageFolder(fits.c_str(), result, 2048);
  EXPECT_EQ(languages_.Join(L"ovenix.chm"), std::wstring(result));
  ApplyLanguageFolder(tooLong.c_str(), result, 2048);
  EXPECT_EQ(tooLong, std::wstring(result));
}

}  // namespace
