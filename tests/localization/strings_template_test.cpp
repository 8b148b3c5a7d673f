// The template language file for translators and the shipped right-to-left sample: both read
// back through the real language-file loader.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <cwchar>
#include <string>

#include "localization/language.h"
#include "localization/localized_strings.h"
#include "resources/resource_ids.h"
#include "support/language_file.h"
#include "support/temp_folder.h"
#include "support/text.h"
#include "tools/language_template/language_template.h"

namespace {

std::wstring FoundText(const char* key) {
  wchar_t buffer[2048];
  wcscpy(buffer, L"<sentinel>");
  if (!FindText(key, buffer, 2048)) return L"<missing>";
  return buffer;
}

INT_PTR CALLBACK PassiveDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

bool HasPrefix(const char* name, const std::string& prefix) { return strncmp(name, prefix.c_str(), prefix.size()) == 0; }

const wchar_t* const kDialogs[] = {DLG_SETUP_NAME, DLG_DONE_NAME, DLG_SETUPCONTEXTITEMS_NAME};

// ---- Escaping ----

TEST(LanguageTemplate, QuotedValuesReadBackExactly) {
  const std::wstring values[] = {
      L"plain",
      L"",
      L"  leading and trailing blanks  ",
      L"\ttab at both ends\t",
      L"ends with a backslash\\",
      L"\\n is not a line break here",
      L"two\r\nlines",
      L"\"quoted at both ends\"",
      L"\"",
      L"\"\"",
      L"a \"quote\" inside",
      L"C:\\Program Files\\Ovenix\\",
      L"percent %s and %d stay",
      L"\x05E2\x05D1\x05E8\x05D9\x05EA and \x4E2D\x6587",
  };
  std::wstring body = L":STRINGS\r\n";
  for (size_t i = 0; i < std::size(values); ++i) body += L"V" + std::to_wstring(i) + L" " + QuoteLanguageValue(values[i]) + L"\r\n";
  ScopedLanguageFile file(body);
  ASSERT_TRUE(file.loaded());
  for (size_t i = 0; i < std::size(values); ++i) {
    const std::string key = "s:V" + std::to_string(i);
    EXPECT_EQ(FoundText(key.c_str()), values[i]) << "value " << i << ": " << Narrow(values[i]);
  }
}

// ---- The program's template ----

class ProgramTemplate : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::wstring path = folder_.Join(L"uninstall.lng");
    ASSERT_TRUE(WriteLanguageTemplate(GetModuleHandleW(nullptr), path.c_str()));
    ASSERT_TRUE(g_languageTable.LoadFromFile(path.c_str()));
  }
  void TearDown() override { g_languageTable.Clear(); }
  TempFolder folder_{L"voktemplate"};
};

TEST_F(ProgramTemplate, EveryStringKeyReadsBackAsTheResourceText) {
  int strings = 0;
  for (const LanguageKey& key : LanguageKeyTable) {
    if (!HasPrefix(key.name, "s:")) continue;
    ++strings;
    EXPECT_EQ(FoundText(key.name), ProgramString(key.id)) << key.name;
    EXPECT_EQ(std::wstring(LocalizedString(key.id)), ProgramString(key.id)) << key.name;
  }
  EXPECT_EQ(strings, 31);
  EXPECT_FALSE(g_languageTable.IsRightToLeft());
}

TEST_F(ProgramTemplate, EveryDialogKeyReadsBackAsTheControlsText) {
  const HMODULE richEdit = LoadLibraryW(L"riched20.dll");  // the explanation box of SETUPDLG
  ASSERT_NE(richEdit, nullptr);
  for (const wchar_t* dialogName : kDialogs) {
    // The texts as the dialog manager shows them, not as the template writer parsed them.
    const HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), dialogName, nullptr, PassiveDialogProc, 0);
    ASSERT_NE(dialog, nullptr) << Narrow(dialogName);
    const std::string prefix = "$" + Narrow(dialogName) + ":";
    EXPECT_EQ(FoundText((prefix + "CAPTION").c_str()), WindowText(dialog)) << prefix;
    EXPECT_EQ(FoundText((prefix + "SIZE").c_str()), L"<missing>") << "the template leaves the size alone";
    for (const LanguageKey& key : LanguageKeyTable) {
      if (!HasPrefix(key.name, prefix)) continue;
      EXPECT_EQ(FoundText(key.name), WindowText(GetDlgItem(dialog, static_cast<int>(key.id)))) << key.name;
    }
    DestroyWindow(dialog);
  }
}

TEST_F(ProgramTemplate, HoldsNoEntryBesidesTheKeysAndCaptions) {
  EXPECT_EQ(g_languageTable.EntryCount(), LanguageKeyCount + std::size(kDialogs));
}

TEST(LanguageTemplate, TheBuildWroteTheCurrentTemplate) {
  const std::wstring built = ReadFileBytesAsWide(VOK_BUILT_LANGUAGE_TEMPLATE);
  EXPECT_EQ(built, L"\xFEFF" + BuildLanguageTemplate(GetModuleHandleW(nullptr)))
      << "the template in the build folder is stale or missing";
}

// ---- The right-to-left sample ----

class HebrewSample : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(g_languageTable.LoadFromFile(VOK_SAMPLE_RTL_LANGUAGE)); }
  void TearDown() override { g_languageTable.Clear(); }
};

bool HasHebrewLetter(const std::wstring& text) {
  for (const wchar_t c : text) {
    if (c >= 0x05D0 && c <= 0x05EA) return true;
  }
  return false;
}

std::wstring FormatDirectives(const std::wstring& text) {
  std::wstring directives;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'%') directives += text.substr(i++, 2);
  }
  return directives;
}

TEST_F(HebrewSample, IsRightToLeftAndTranslatesEveryKey) {
  EXPECT_TRUE(g_languageTable.IsRightToLeft());
  for (const LanguageKey& key : LanguageKeyTable) {
    const std::wstring text = FoundText(key.name);
    EXPECT_NE(text, L"<missing>") << key.name;
    EXPECT_FALSE(text.empty()) << key.name;
  }
  for (const wchar_t* dialogName : kDialogs) {
    const std::string caption = "$" + Narrow(dialogName) + ":CAPTION";
    EXPECT_TRUE(HasHebrewLetter(FoundText(caption.c_str()))) << caption;
  }
}

TEST_F(HebrewSample, StringsKeepTheFormatsAndFileNamesOfTheProgram) {
  for (const LanguageKey& key : LanguageKeyTable) {
    if (!HasPrefix(key.name, "s:")) continue;
    const std::wstring text = LocalizedString(key.id);
    EXPECT_EQ(FormatDirectives(text), FormatDirectives(ProgramString(key.id))) << key.name;
  }
  for (const uint32_t id : {IDS_OVENIXHELP, IDS_VOKHELP, IDS_WHATSNEW, IDS_WHATSNEWNAME}) {
    EXPECT_EQ(std::wstring(LocalizedString(id)).find_first_of(L"\\/:*?\"<>|"), std::wstring::npos) << id;
  }
  EXPECT_TRUE(HasHebrewLetter(LocalizedString(IDS_UNINSTALLVOK)));
  EXPECT_TRUE(HasHebrewLetter(LocalizedString(IDS_CONTINUEUNINSTALL)));
  EXPECT_EQ(std::wstring(LocalizedString(IDS_HOMEURL)).rfind(L"https://", 0), 0u);
}

}  // namespace
