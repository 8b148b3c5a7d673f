// The key table, its ID index, the SIZE rule and the dialog geometry arithmetic, and the
// program's own English resources checked against what their callers need.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <cwchar>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "localization/localized_strings.h"
#include "resources/resource_ids.h"
#include "support/text.h"
#include "tools/language_template/language_template.h"

namespace {

std::string PrefixOf(const char* name) {
  const char* colon = strchr(name, ':');
  return colon ? std::string(name, colon) : std::string(name);
}

// ---- The key table ----

TEST(KeyTable, NamesAreUniqueFitTheLanguageFileKeyLimitAndHaveAKnownPrefix) {
  std::set<std::string> names;
  std::set<std::pair<std::string, uint32_t>> prefixIds;
  const std::set<std::string> prefixes = {"s", "$SETUPDLG", "$DONEDLG", "$SETUPCONTEXTITEMS"};
  for (const LanguageKey& key : LanguageKeyTable) {
    ASSERT_NE(key.name, nullptr);
    // The language file cuts keys at 49 bytes: a longer name could never be matched.
    EXPECT_LE(strlen(key.name), 49u) << key.name;
    EXPECT_TRUE(names.insert(key.name).second) << "duplicate name " << key.name;
    EXPECT_TRUE(prefixIds.insert({PrefixOf(key.name), key.id}).second) << "duplicate prefix and ID " << key.name;
    EXPECT_EQ(prefixes.count(PrefixOf(key.name)), 1u) << key.name;
  }
  EXPECT_EQ(names.size(), LanguageKeyCount);
}

TEST(KeyTable, StringKeysCoverExactlyTheStringTableRange) {
  std::vector<uint32_t> ids;
  for (const LanguageKey& key : LanguageKeyTable) {
    if (PrefixOf(key.name) == "s") ids.push_back(key.id);
  }
  const std::vector<uint32_t> expected = {5101, 5102, 5103, 5104, 5105, 5106, 5107, 5108, 5109, 5110,
                                          5111, 5112, 5113, 5114, 5115, 5116, 5120, 5121, 5122, 5123,
                                          5124, 5125, 5130, 5135, 5140, 5141, 5142, 5143, 5144, 5145, 5150};
  EXPECT_EQ(ids, expected);
}

TEST(KeyTable, TableOrderStartsEachGroupAsListed) {
  const std::vector<std::pair<size_t, std::string>> anchors = {
      {0, "s:IDS_UNINSTTITLE"},          {26, "s:IDS_64BIT"},     {29, "s:IDS_DEFAULTPROGRAMSQUESTION"},
      {30, "s:IDS_INTEGRATIONELSEWHERE"}, {31, "$SETUPDLG:IDC_ASSOCWITH"}, {46, "$SETUPDLG:IDC_ASSOCZ"},
      {48, "$SETUPDLG:IDC_ASSOC001"},    {60, "$SETUPDLG:IDHELP"},          {61, "$DONEDLG:IDOK"},
      {68, "$DONEDLG:IDC_THANKS"},       {69, "$SETUPCONTEXTITEMS:IDC_CONTEXTMENUITEMS"},
      {82, "$SETUPCONTEXTITEMS:IDC_CONTEXTNEWMENU"}, {95, "$SETUPCONTEXTITEMS:IDHELP"},
  };
  for (const auto& [position, name] : anchors) {
    EXPECT_EQ(LanguageKeyTable[position].name, name) << "position " << position;
  }
}

TEST(KeyTable, EveryDialogKeyNamesAControlOfTheProgramsDialog) {
  for (const wchar_t* dialogName : {DLG_SETUP_NAME, DLG_DONE_NAME, DLG_SETUPCONTEXTITEMS_NAME}) {
    const DialogTemplateTexts dialog = ReadDialogTemplateTexts(GetModuleHandleW(nullptr), dialogName);
    ASSERT_TRUE(dialog.found) << "dialog resource missing";
    std::string prefix = "$";
    for (const wchar_t* c = dialogName; *c; ++c) prefix.push_back(static_cast<char>(*c));
    size_t keys = 0;
    for (const LanguageKey& key : LanguageKeyTable) {
      if (PrefixOf(key.name) != prefix) continue;
      ++keys;
      const bool present = std::any_of(dialog.controls.begin(), dialog.controls.end(),
                                       [&](const DialogTemplateTexts::Control& c) { return c.id == key.id; });
      EXPECT_TRUE(present) << key.name << " (" << key.id << ") has no control with a text in the template";
    }
    EXPECT_GT(keys, 0u) << prefix;
  }
}

// ---- The key-ID index ----

TEST(KeyIdIndex, IsASortedPermutationOfTheTable) {
  std::vector<uint64_t> index(LanguageKeyCount, 0xDEADBEEF);
  BuildKeyIdIndex(index.data());
  std::vector<uint64_t> sortedPositions = index;
  std::sort(sortedPositions.begin(), sortedPositions.end());
  for (size_t i = 0; i < LanguageKeyCount; ++i) ASSERT_EQ(sortedPositions[i], i);
  for (size_t i = 1; i < LanguageKeyCount; ++i) {
    const LanguageKey& before = LanguageKeyTable[index[i - 1]];
    const LanguageKey& after = LanguageKeyTable[index[i]];
    const int byPrefix = PrefixOf(before.name).compare(PrefixOf(after.name));
    EXPECT_TRUE(byPrefix < 0 || (byPrefix == 0 && before.id < after.id)) << before.name << " before " << after.name;
  }
}

TEST(KeyIdIndex, FindsEveryKeyByPrefixAndIdAndNothingElse) {
  std::vector<uint64_t> index(LanguageKeyCount);
  BuildKeyIdIndex(index.data());
  for (size_t position = 0; position < LanguageKeyCount; ++position) {
    const LanguageKey& key = LanguageKeyTable[position];
    EXPECT_EQ(SearchKeyIdIndex(index.data(), index.size(), PrefixOf(key.name).c_str(), key.id), position) << key.name;
  }
  struct Miss {
    const char* prefix;
    uint32_t id;
  };
  const Miss misses[] = {
      {"s", 5117},           // between the string IDs
      {"s", 5100},           // below all
      {"s", 0xFFFFFFFFu},    // above all, unsigned
      {"$SETUPDLG", 5125},   // the rich-edit box has no key
      {"$DONEDLG", 5102},    // the folder box has no key
      {"$SETUPDLG", 2},      // IDCANCEL is a key of SETUPCONTEXTITEMS only
      {"$SETUPDLG:", 1},     // the prefix never includes the colon
      {"S", 5101},           // case matters
      {"", 5101},
  };
  for (const Miss& miss : misses) {
    EXPECT_EQ(SearchKeyIdIndex(index.data(), index.size(), miss.prefix, miss.id), LanguageKeyCount)
        << "prefix '" << miss.prefix << "' id " << miss.id;
  }
  EXPECT_EQ(SearchKeyIdIndex(index.data(), 0, "s", 5101), LanguageKeyCount) << "an empty index finds nothing";
}

// ---- The SIZE rule ----

TEST(DialogScaleText, AppliesOnlyToTwoPositiveNumbersThatAreNotBoth100) {
  struct Case {
    const wchar_t* text;
    bool applies;
    int x, y;
  };
  const Case cases[] = {
      {L"125*110", true, 125, 110},
      {L"100*100", false, 0, 0},
      {L"100*120", true, 100, 120},
      {L"0*120", false, 0, 0},
      {L"120", false, 0, 0},          // no asterisk
      {L"120*", false, 0, 0},         // Y reads 0
      {L"-50*120", false, 0, 0},
      {L"120*-5", false, 0, 0},
      {L"120 *110", true, 120, 110},  // X stops at the blank
      {L"120* 110", false, 0, 0},     // no blanks skipped: Y reads 0
      {L" 120*110", false, 0, 0},     // X reads 0
      {L"120*110*90", true, 120, 110},
      {L"80x*90%", true, 80, 90},
      {L"*", false, 0, 0},
      {L"", false, 0, 0},
      {L"--5*10", false, 0, 0},
      {L"99999999999999*150", true, INT_MAX, 150},  // saturates instead of wrapping round
      {L"4294967396*150", true, INT_MAX, 150},      // 2^32 + 100 must not read as 100
  };
  for (const Case& c : cases) {
    DialogScale scale;
    scale.x = -7;
    scale.y = -7;
    const bool applies = ParseDialogScale(c.text, &scale);
    EXPECT_EQ(applies, c.applies) << "\"" << std::string(c.text, c.text + wcslen(c.text)) << "\"";
    if (applies && c.applies) {
      EXPECT_EQ(scale.x, c.x);
      EXPECT_EQ(scale.y, c.y);
    } else {
      EXPECT_EQ(scale.x, -7) << "untouched when the scale does not apply";
      EXPECT_EQ(scale.y, -7);
    }
  }
}

// ---- Geometry arithmetic ----

TEST(DialogGeometry, WorkedExampleComesOutAsWritten) {
  const RECT window = {100, 100, 500, 400};
  const RECT client = {0, 0, 394, 271};
  const DialogFrame frame = MeasureDialogFrame(window, client);
  EXPECT_EQ(frame.nx, 7);
  EXPECT_EQ(frame.ny, 30);
  const WindowPlacement placement = ScaleDialogPlacement(window, client, DialogScale{125, 110});
  EXPECT_EQ(placement.width, 499);
  EXPECT_EQ(placement.height, 328);
  EXPECT_EQ(placement.left, 51);
  EXPECT_EQ(placement.top, 87);  // -27 / 2 truncates to -13
}

TEST(DialogGeometry, DialogPlacementCases) {
  struct Case {
    RECT window, client;
    DialogScale scale;
    WindowPlacement expected;
  };
  const Case cases[] = {
      // Growing near the screen's corner: the centred position would be negative, it is 0.
      {{10, 5, 410, 305}, {0, 0, 394, 271}, {150, 150}, {0, 0, 598, 436}},
      // Shrinking moves the corner right and down.
      {{100, 100, 500, 400}, {0, 0, 394, 271}, {50, 50}, {198, 168, 204, 165}},
      // A negative odd difference truncates toward zero: (101 - 104) / 2 = -1, not -2.
      {{50, 50, 150, 150}, {0, 0, 95, 80}, {104, 104}, {49, 49, 104, 104}},
  };
  for (const Case& c : cases) {
    const WindowPlacement p = ScaleDialogPlacement(c.window, c.client, c.scale);
    EXPECT_EQ(p.left, c.expected.left);
    EXPECT_EQ(p.top, c.expected.top);
    EXPECT_EQ(p.width, c.expected.width);
    EXPECT_EQ(p.height, c.expected.height);
  }
}

TEST(DialogGeometry, ChildPlacementCases) {
  struct Case {
    RECT child, dialog;
    DialogFrame frame;
    int frameMetric;
    DialogScale scale;
    int dropped;
    WindowPlacement expected;
    bool mirrored = false;
  };
  const Case cases[] = {
      // x = (130 - 3 - 100) * 125 / 100 = 33; y = (160 - (30 - 3) - 100) * 110 / 100 = 36;
      // width = 81 * 125 / 100 = 101; height = 21 * 110 / 100 = 23.
      {{130, 160, 210, 180}, {100, 100, 500, 400}, {7, 30}, 3, {125, 110}, 0, {33, 36, 101, 23}},
      // A drop-down combo box: its list height is scaled separately and added (101 * 110 / 100 = 111).
      {{130, 160, 210, 180}, {100, 100, 500, 400}, {7, 30}, 3, {125, 110}, 101, {33, 36, 101, 23 + 111}},
      // A child left of the client origin gets a negative x, truncated toward zero: (95-3-100)*150/100 = -12.
      {{95, 120, 105, 130}, {100, 100, 500, 400}, {7, 30}, 3, {150, 150}, 0, {-12, -10, 16, 16}},
      // Mirrored dialog: x from the right side, (500 - 3 - 480) * 125 / 100 = 21.
      {{400, 160, 480, 180}, {100, 100, 500, 400}, {7, 30}, 3, {125, 110}, 0, {21, 36, 101, 23}, true},
  };
  for (const Case& c : cases) {
    const WindowPlacement p = ScaleChildPlacement(c.child, c.dialog, c.frame, c.frameMetric, c.scale, c.dropped, c.mirrored);
    EXPECT_EQ(p.left, c.expected.left);
    EXPECT_EQ(p.top, c.expected.top);
    EXPECT_EQ(p.width, c.expected.width);
    EXPECT_EQ(p.height, c.expected.height);
  }
}

TEST(DialogGeometry, HugePercentagesStayInsideTheIntRange) {
  const RECT window = {100, 100, 500, 400};
  const RECT client = {0, 0, 394, 271};
  const WindowPlacement p = ScaleDialogPlacement(window, client, DialogScale{INT_MAX, INT_MAX});
  EXPECT_EQ(p.width, INT_MAX);
  EXPECT_EQ(p.height, INT_MAX);
  EXPECT_EQ(p.left, 0);
  EXPECT_EQ(p.top, 0);
  const WindowPlacement child =
      ScaleChildPlacement(RECT{130, 160, 210, 180}, window, DialogFrame{7, 30}, 3, DialogScale{INT_MAX, INT_MAX}, 500);
  EXPECT_EQ(child.width, 1739461754);  // 81 * INT_MAX / 100, computed without wrapping round
  EXPECT_EQ(child.height, INT_MAX);
}

// ---- The program's English string table, checked against its callers ----

int CountFormatDirectives(const std::wstring& text, std::wstring* directives) {
  int count = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != L'%') continue;
    ++count;
    directives->append(text.substr(i, 2));
    ++i;
  }
  return count;
}

TEST(EnglishStrings, EveryStringKeyHasAText) {
  for (const LanguageKey& key : LanguageKeyTable) {
    if (PrefixOf(key.name) != "s") continue;
    const std::wstring text = ProgramString(key.id);
    EXPECT_FALSE(text.empty()) << key.name;
    EXPECT_LT(text.size(), LocalizedStringCapacity) << key.name << " would be cut by LocalizedString";
    EXPECT_EQ(text.find_first_not_of(L" \t"), 0u) << key.name << " starts with a blank";
  }
}

TEST(EnglishStrings, FormatsCarryExactlyTheArgumentsTheirCallersPass) {
  struct Case {
    uint32_t id;
    const wchar_t* directives;  // every % directive in order
  };
  const Case cases[] = {
      {IDS_UNINSTALLSHOULDDELETE, L"%s"},  // the program path
      {IDS_CANNOTOPENLIST, L"%s"},         // the list file name
      {IDS_INTEGRATIONELSEWHERE, L"%s"},   // the other installation's folder
      {IDS_UNINSTALLCOMPLETED, L""},       // put into "%s\n" as an argument: any % would be literal,
      {IDS_UNINSTALLVOK, L""},             // but a translator copies what we write
      {IDS_CONTINUEUNINSTALL, L""},        {IDS_REBOOTREQUIRED, L""},
      {IDS_BETA, L""},                     {IDS_64BIT, L""},
      {IDS_32BIT, L""},
      {IDS_DEFAULTAPPSCOUNT, L"%s"},  // the number of extensions, formatted by FormatWithArgument
      {IDS_DEFAULTAPPSQUESTION, L""},      {IDS_DEFAULTPROGRAMSQUESTION, L""},
  };
  for (const Case& c : cases) {
    std::wstring directives;
    CountFormatDirectives(ProgramString(c.id), &directives);
    EXPECT_EQ(directives, c.directives) << "string " << c.id;
  }
  // The formatted messages fit their callers' buffers with a long path (512 and 200 characters).
  EXPECT_LT(ProgramString(IDS_UNINSTALLCOMPLETED).size() + ProgramString(IDS_UNINSTALLSHOULDDELETE).size(), 300u);
  EXPECT_LT(ProgramString(IDS_CANNOTOPENLIST).size(), 150u);
}

TEST(EnglishStrings, ShortcutAndFileNamesAreValidFileNames) {
  for (const uint32_t id : {IDS_OVENIXHELP, IDS_VOKHELP, IDS_WHATSNEW, IDS_WHATSNEWNAME}) {
    const std::wstring name = ProgramString(id);
    EXPECT_EQ(name.find_first_of(L"\\/:*?\"<>|"), std::wstring::npos) << "string " << id;
    EXPECT_NE(name.back(), L'.') << "string " << id;
    EXPECT_NE(name.back(), L' ') << "string " << id;
  }
  EXPECT_NE(ProgramString(IDS_WHATSNEWNAME).find(L'.'), std::wstring::npos) << "a file name with an extension";
}

TEST(EnglishStrings, HomePageIsAnHttpsAddress) {
  const std::wstring url = ProgramString(IDS_HOMEURL);
  EXPECT_EQ(url.rfind(L"https://", 0), 0u);
  EXPECT_EQ(url.find_first_of(L" \t\""), std::wstring::npos);
}

}  // namespace
