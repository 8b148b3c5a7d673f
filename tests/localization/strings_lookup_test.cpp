// LocalizedString and friends against a real language file on disk, a real resource-only language
// library and the test program's own resources (the program's string table).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "base/handles.h"
#include "localization/language.h"
#include "localization/localized_strings.h"
#include "resources/resource_ids.h"
#include "support/language_file.h"
#include "support/process.h"
#include "support/text.h"

namespace {


// The test language library, mapped as data the way the program maps "voklng.dll".
class StringsWithLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::wstring path = OwnModuleFolder() + L"\\strings_test_library.dll";
    library_.reset(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(library_) << "cannot map " << Narrow(path) << ", error " << GetLastError();
  }
  UniqueModule library_;
};

// ---- Fallback chain: file -> ResourceModule -> program module ----

TEST_F(StringsWithLibrary, EachSourceAnswersInTurn) {
  ScopedLanguageFile file(
      L":STRINGS\r\n"
      L"IDS_UNINSTTITLE From the file\r\n"
      L"IDS_BETA \"\"\r\n"          // an empty text found in the file is the result
      L"IDS_ASSOC001 not a string key\r\n"
      L"IDS_UNINSTALLVOK File caption\r\n");
  ASSERT_TRUE(file.loaded());
  ScopedResourceModule resources(library_.get());

  struct Case {
    uint32_t id;
    std::wstring expected;
    const char* why;
  };
  const Case cases[] = {
      {IDS_UNINSTTITLE, L"From the file", "the file wins over the library"},
      {IDS_UNINSTALLVOK, L"File caption", "the file wins over the program"},
      {IDS_BETA, L"", "an empty text in the file is not replaced by the resources"},
      {IDS_UNINSTALLCOMPLETED, L"Library: removal completed", "not in the file: the library"},
      {IDS_64BIT, L"library-64", "not in the file: the library"},
      {IDS_CONTINUEUNINSTALL, ProgramString(IDS_CONTINUEUNINSTALL), "in neither: the program"},
      {5117, L"Library text without a key", "an ID without a key is never read from the file"},
      {5999, L"", "in no source: empty"},
  };
  for (const Case& c : cases) {
    wchar_t buffer[256];
    wmemset(buffer, L'#', 256);
    wchar_t* result = LocalizedStringInto(c.id, buffer, 256);
    EXPECT_EQ(result, buffer);
    EXPECT_EQ(std::wstring(buffer), c.expected) << c.id << ": " << c.why;
    EXPECT_EQ(std::wstring(LocalizedString(c.id)), c.expected) << c.id << ": " << c.why;
  }
}

TEST_F(StringsWithLibrary, WithoutAFileTheLibraryThenTheProgramAnswer) {
  ScopedResourceModule resources(library_.get());
  EXPECT_EQ(std::wstring(LocalizedString(IDS_BETA)), L"library-beta");
  // 5106 is missing from the library: the program's own module answers.
  EXPECT_EQ(std::wstring(LocalizedString(IDS_UNINSTALLVOK)), ProgramString(IDS_UNINSTALLVOK));
  EXPECT_FALSE(ProgramString(IDS_UNINSTALLVOK).empty());
}

// ---- FindStringKey ----

TEST(FindStringKey, NeedsALoadedFileAndAStringKey) {
  char key[LanguageKeyBufferSize];
  strcpy(key, "sentinel");
  EXPECT_FALSE(FindStringKey(IDS_BETA, key)) << "an empty table answers nothing";
  EXPECT_STREQ(key, "sentinel");

  ScopedLanguageFile file(L"IDS_UNINSTTITLE x\r\n");
  ASSERT_TRUE(file.loaded());
  EXPECT_TRUE(FindStringKey(IDS_BETA, key)) << "any key of the table, not just those in the file";
  EXPECT_STREQ(key, "s:IDS_BETA");
  EXPECT_TRUE(FindStringKey(IDS_INSTHELP6, key));
  EXPECT_STREQ(key, "s:IDS_INSTHELP6");
  strcpy(key, "sentinel");
  EXPECT_FALSE(FindStringKey(5117, key)) << "5117 is a control of SETUPDLG, not a string key";
  EXPECT_FALSE(FindStringKey(5125 + 1, key));
  EXPECT_STREQ(key, "sentinel");
}

// ---- Buffers ----

TEST(LocalizedStringBuffers, NinthCallReusesTheFirstBuffer) {
  std::vector<const wchar_t*> results;
  for (int i = 0; i < 9; ++i) results.push_back(LocalizedString(IDS_BETA));
  for (int i = 0; i < 8; ++i) {
    for (int j = i + 1; j < 8; ++j) EXPECT_NE(results[i], results[j]) << "calls " << i << " and " << j;
  }
  EXPECT_EQ(results[8], results[0]);
}

TEST(LocalizedStringBuffers, EightResultsHeldAtOnceStayIntact) {
  const uint32_t ids[8] = {IDS_UNINSTTITLE, IDS_OVENIXHELP, IDS_VOKHELP, IDS_WHATSNEW,
                           IDS_WHATSNEWNAME, IDS_UNINSTALLVOK, IDS_BETA, IDS_64BIT};
  const wchar_t* held[8];
  for (int i = 0; i < 8; ++i) held[i] = LocalizedString(ids[i]);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(std::wstring(held[i]), ProgramString(ids[i])) << ids[i];
}

TEST(LocalizedStringBuffers, LongTextsAreCutToTheCapacity) {
  std::wstring longText(3000, L'x');
  longText[1022] = L'A';
  longText[1023] = L'B';
  ScopedLanguageFile file(L"IDS_OVENIXDESC " + longText + L"\r\nIDS_VOKHELP file\r\n");
  ASSERT_TRUE(file.loaded());

  const std::wstring rotated = LocalizedString(IDS_OVENIXDESC);
  EXPECT_EQ(rotated.size(), LocalizedStringCapacity - 1);
  EXPECT_EQ(rotated.back(), L'A');

  struct Case {
    uint32_t id;
    size_t capacity;
    std::wstring expected;
  };
  const std::wstring program = ProgramString(IDS_UNINSTALLVOK);
  const Case cases[] = {
      {IDS_VOKHELP, 1, L""},                              // from the file
      {IDS_VOKHELP, 3, L"fi"},
      {IDS_UNINSTALLVOK, 1, L""},                         // from the resources
      {IDS_UNINSTALLVOK, 5, program.substr(0, 4)},
      {IDS_UNINSTALLVOK, program.size() + 1, program},
  };
  for (const Case& c : cases) {
    wchar_t buffer[16 + 64];
    wmemset(buffer, L'#', 80);
    LocalizedStringInto(c.id, buffer, c.capacity);
    EXPECT_EQ(std::wstring(buffer), c.expected) << c.id << " capacity " << c.capacity;
    EXPECT_EQ(buffer[c.capacity], L'#') << "written past the capacity " << c.capacity;
  }
  wchar_t untouched = L'#';
  EXPECT_EQ(LocalizedStringInto(IDS_VOKHELP, &untouched, 0), &untouched);
  EXPECT_EQ(untouched, L'#') << "capacity 0 writes nothing";
}

// ---- FindDialogText ----

TEST(FindDialogText, FormsTheKeyFromTheNames) {
  ScopedLanguageFile file(
      L":DIALOG SETUPDLG\r\n"
      L"CAPTION Setup caption\r\n"
      L"SIZE 120*110\r\n"
      L"IDOK \"  OK  \"\r\n"
      L"EMPTY \"\"\r\n"
      L":DIALOG DONEDLG\r\n"
      L"IDOK Done\r\n");
  ASSERT_TRUE(file.loaded());
  struct Case {
    const wchar_t* dialog;
    const wchar_t* item;
    bool found;
    const wchar_t* text;
  };
  const Case cases[] = {
      {L"SETUPDLG", L"CAPTION", true, L"Setup caption"},
      {L"SETUPDLG", L"SIZE", true, L"120*110"},
      {L"SETUPDLG", L"IDOK", true, L"  OK  "},
      {L"SETUPDLG", L"EMPTY", true, L""},
      {L"DONEDLG", L"IDOK", true, L"Done"},
      {L"DONEDLG", L"CAPTION", false, L""},
      {L"setupdlg", L"CAPTION", false, L""},
      {L"SETUPCONTEXTITEMS", L"IDOK", false, L""},
      {L"", L"IDOK", false, L""},
  };
  for (const Case& c : cases) {
    wchar_t buffer[32];
    wmemset(buffer, L'#', 32);
    EXPECT_EQ(FindDialogText(c.dialog, c.item, buffer, 32), c.found) << Narrow(c.dialog) << ":" << Narrow(c.item);
    EXPECT_EQ(std::wstring(buffer), c.text) << Narrow(c.dialog) << ":" << Narrow(c.item);
  }
  // A name too long for the 80-character key finds nothing and does not overrun.
  const std::wstring longName(200, L'D');
  wchar_t buffer[8];
  EXPECT_FALSE(FindDialogText(longName.c_str(), L"CAPTION", buffer, 8));
}

}  // namespace
