// The language file grammar, run through real files in both encodings.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "localization/language.h"
#include "support/private_registry.h"
#include "support/temp_folder.h"
#include "language_test_util.h"

using namespace std::string_literals;

namespace {

struct Expectation {
  const char* key;
  std::wstring text;  // L"<missing>": no entry
};

struct GrammarCase {
  const char* name;
  std::wstring body;  // the lines after the marker line
  std::vector<Expectation> expected;
  bool rightToLeft;
};

const std::wstring kMissing = L"<missing>";

std::string Repeat(char c, size_t n) { return std::string(n, c); }
std::wstring WRepeat(wchar_t c, size_t n) { return std::wstring(n, c); }

// "$SETUPCONTEXTITEMS:" is 19 bytes; the key keeps 49, so 30 characters of the name.
const std::wstring kLongName = L"IDC_" + WRepeat(L'X', 56);  // 60 characters
const std::string kLongKeyCut = "$SETUPCONTEXTITEMS:IDC_" + Repeat('X', 26);

const GrammarCase kGrammarCases[] = {
    {"EntryBeforeAnySectionIsAString", L"IDS_BETA beta text\r\n", {{"s:IDS_BETA", L"beta text"}}, false},
    {"QuotesKeepBlanks", L"IDS_BETA \"  two  \"\r\n", {{"s:IDS_BETA", L"  two  "}}, false},
    {"BlanksWithoutQuotesAreLost", L"IDS_BETA   two  \r\n", {{"s:IDS_BETA", L"two"}}, false},
    {"TwoQuotesGiveAnEmptyText", L"IDS_BETA \"\"\r\n", {{"s:IDS_BETA", L""}}, false},
    {"CommaAtLineEndGivesAnEmptyText", L"IDS_32BIT,\r\nIDS_64BIT 64\r\n",
     {{"s:IDS_32BIT", L""}, {"s:IDS_64BIT", L"64"}}, false},
    {"CommaThenBlanks", L"IDS_32BIT,  \t x y\r\n", {{"s:IDS_32BIT", L"x y"}}, false},
    {"Escapes", L"IDS_A a\\qb\\nc\\r\\td\\\\e\\\"f\r\n", {{"s:IDS_A", L"a\\qb\nc\r\td\\e\"f"}}, false},
    {"BackslashAtLineEnd", L"IDS_A ab\\\r\nIDS_B b\r\n", {{"s:IDS_A", L"ab\\"}, {"s:IDS_B", L"b"}}, false},
    {"QuoteInsideNeedsNoEscape", L"IDS_A say \"hi\" now\r\n", {{"s:IDS_A", L"say \"hi\" now"}}, false},
    {"OnlyOuterQuotesAreRemoved", L"IDS_A \"\"x\"\"\r\n", {{"s:IDS_A", L"\"x\""}}, false},
    {"LowerCaseRtlIsLeftToRight", L":DIRECTION rtl\r\n", {}, false},
    {"RtlThenLtrEndsLeftToRight", L":DIRECTION RTL\r\n:DIRECTION LTR\r\n", {}, false},
    {"RtlSetsRightToLeft", L":DIRECTION\tRTL trailing words\r\nIDS_A a\r\n", {{"s:IDS_A", L"a"}}, true},
    {"RtlMustBeTheWholeWord", L":DIRECTION RTLX\r\n", {}, false},
    {"DirectionWithoutWordIsLeftToRight", L":DIRECTION RTL\r\n:DIRECTION\r\n", {}, false},
    {"DirectionKeepsThePrefix", L":DIALOG D\r\n:DIRECTION RTL\r\nX x\r\n", {{"$D:X", L"x"}}, true},
    {"OtherSectionWordsAreComments",
     L":DIALOG SETUPDLG\r\nCAPTION c1\r\n:DIALOGX OTHER\r\nIDOK ok\r\n: DIALOG X\r\nSIZE 1*1\r\n:dialog Y\r\nZ z\r\n",
     {{"$SETUPDLG:CAPTION", L"c1"},
      {"$SETUPDLG:IDOK", L"ok"},
      {"$SETUPDLG:SIZE", L"1*1"},
      {"$SETUPDLG:Z", L"z"},
      {"$OTHER:IDOK", kMissing},
      {"$X:SIZE", kMissing}},
     false},
    {"SectionWordEndsAtAnyControlCharacter", L":DIALOG\tD1\r\nA a\r\n:MENU\x01M\r\nB b\r\n",
     {{"$D1:A", L"a"}, {"@:B", L"b"}}, false},
    {"StringsSectionResetsThePrefix", L":DIALOG D\r\n:STRINGS\r\nIDS_A a\r\n", {{"s:IDS_A", L"a"}, {"$D:IDS_A", kMissing}},
     false},
    {"MenuSection", L":MENU MAIN\r\nFILE f\r\n", {{"@MAIN:FILE", L"f"}}, false},
    {"DialogWithoutName", L":DIALOG\r\nX y\r\n", {{"$:X", L"y"}}, false},
    {"CommentLines", L"; IDS_A x\r\n# IDS_B y\r\n1ABC z\r\n  IDS_C indented\r\n\tIDS_D tab\r\n_E e\r\n",
     {{"s:IDS_A", kMissing}, {"s:IDS_C", kMissing}, {"s:1ABC", kMissing}, {"s:_E", kMissing}}, false},
    {"KeysKeepTheirCase", L"ids_beta lower\r\nIDS_BETA upper\r\n", {{"s:ids_beta", L"lower"}, {"s:IDS_BETA", L"upper"}},
     false},
    {"LastLineWithoutLineBreak", L"IDS_A a\r\nIDS_B last", {{"s:IDS_A", L"a"}, {"s:IDS_B", L"last"}}, false},
    {"NulEndsTheText", L"IDS_A a\r\nIDS_B b\0IDS_C c\r\nIDS_D d\r\n"s,
     {{"s:IDS_B", L"b"}, {"s:IDS_C", kMissing}, {"s:IDS_D", kMissing}}, false},
    {"CrLfCrAndLfEndLinesAlike", L"IDS_A a\r\nIDS_B b\rIDS_C c\nIDS_D d\n\rIDS_E e",
     {{"s:IDS_A", L"a"}, {"s:IDS_B", L"b"}, {"s:IDS_C", L"c"}, {"s:IDS_D", L"d"}, {"s:IDS_E", L"e"}}, false},
    {"LongNameIsCutTo49Bytes", L":DIALOG SETUPCONTEXTITEMS\r\n" + kLongName + L" long\r\n",
     {{kLongKeyCut.c_str(), L"long"}}, false},
    {"NameAloneOnItsLineIsIgnored", L"IDS_ALONE\r\nIDS_NEXT next value\r\n",
     {{"s:IDS_ALONE", kMissing}, {"s:IDS_NEXT", L"next value"}}, false},
    {"LaterDuplicateWins", L"IDS_A first\r\nIDS_B b\r\nIDS_A second\r\n", {{"s:IDS_A", L"second"}, {"s:IDS_B", L"b"}},
     false},
    {"MarkerLineRestIsNeverALineStart", L"", {{"s:IDS_MARKER", kMissing}}, false},
};

class LanguageGrammar : public ::testing::TestWithParam<bool /*utf16*/> {
 protected:
  PrivateRegistry registry_;
  TempFolder folder_{L"voklanggrammar"};

  // Writes header + marker line + body in the chosen encoding and loads it.
  bool Load(const std::wstring& body, LanguageTable& table, const std::string& name = "test.lng") {
    const std::wstring text = L"Translator: nobody\r\n"s + L"***messages**IDS_MARKER marker line\r\n" + body;
    const std::string bytes = GetParam() ? "\xFF\xFE"s + Utf16Bytes(text) : AnsiBytes(text);
    const std::wstring path = folder_.Join(std::wstring(name.begin(), name.end()));
    EXPECT_TRUE(WriteFileBytes(path, bytes));
    return table.LoadFromFile(path.c_str());
  }
};

TEST_P(LanguageGrammar, Cases) {
  for (const GrammarCase& grammarCase : kGrammarCases) {
    SCOPED_TRACE(grammarCase.name);
    LanguageTable table;
    ASSERT_TRUE(Load(grammarCase.body, table));
    for (const Expectation& expectation : grammarCase.expected) {
      EXPECT_EQ(expectation.text, TextOf(table, expectation.key)) << "key " << expectation.key;
    }
    EXPECT_EQ(grammarCase.rightToLeft, table.IsRightToLeft());
    // Every stored key keeps the limits, whatever the case.
    for (size_t i = 0; i < table.EntryCount(); ++i) {
      EXPECT_LE(strlen(table.Entry(i).key), kLanguageKeyMaxBytes);
      EXPECT_EQ(wcslen(table.Entry(i).text), table.Entry(i).textLength);
    }
  }
}

TEST_P(LanguageGrammar, EntriesKeepFileOrderAndEveryLineIsStored) {
  LanguageTable table;
  ASSERT_TRUE(Load(L"IDS_Z z\r\nUNKNOWN_KEY u\r\n:MENU M\r\nITEM i\r\nIDS_A a\r\n", table));
  ASSERT_EQ(4u, table.EntryCount());
  const char* expectedKeys[] = {"s:IDS_Z", "s:UNKNOWN_KEY", "@M:ITEM", "@M:IDS_A"};
  for (size_t i = 0; i < 4; ++i) EXPECT_STREQ(expectedKeys[i], table.Entry(i).key) << "entry " << i;
}

TEST_P(LanguageGrammar, DelimiterIsSearchedInTheFirst99Characters) {
  // A name of 98 characters still has its blank at position 99; one of 99 does not.
  const std::wstring name98 = L"A" + WRepeat(L'b', 97);
  const std::wstring name99 = L"C" + WRepeat(L'd', 98);
  LanguageTable table;
  ASSERT_TRUE(Load(name98 + L" found\r\n" + name99 + L" lost\r\n" + name99 + L"\r\n", table));
  ASSERT_EQ(1u, table.EntryCount());
  const std::string cutKey = "s:A" + Repeat('b', 46);
  EXPECT_EQ(L"found", TextOf(table, cutKey.c_str()));
}

TEST_P(LanguageGrammar, LongSectionArgumentIsCut) {
  LanguageTable table;
  ASSERT_TRUE(Load(L":DIALOG " + WRepeat(L'D', 300) + L"\r\nX x\r\n", table));
  ASSERT_EQ(1u, table.EntryCount());
  EXPECT_EQ("$" + Repeat('D', 48), std::string(table.Entry(0).key));
}

TEST_P(LanguageGrammar, ValueIsCutAt65536Characters) {
  LanguageTable table;
  ASSERT_TRUE(Load(L"IDS_EXACT " + WRepeat(L'e', 65536) + L"\r\nIDS_LONG " + WRepeat(L'l', 100000) +
                       L"\r\nIDS_AFTER after\r\n",
                   table));
  EXPECT_EQ(WRepeat(L'e', 65536), TextOf(table, "s:IDS_EXACT"));
  EXPECT_EQ(WRepeat(L'l', 65536), TextOf(table, "s:IDS_LONG"));
  EXPECT_EQ(L"after", TextOf(table, "s:IDS_AFTER"));
}

INSTANTIATE_TEST_SUITE_P(BothEncodings, LanguageGrammar, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Utf16" : "Ansi"; });

// ---- FindText ----

class LanguageLookup : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::wstring text = L"***messages**\nIDS_A alpha\nIDS_EMPTY \"\"\n";
    ASSERT_TRUE(table_.ParseText(text.c_str(), text.size()));
  }
  LanguageTable table_;
};

TEST_F(LanguageLookup, CutsToCapacityAndTerminates) {
  wchar_t buffer[4] = {L'#', L'#', L'#', L'#'};
  ASSERT_TRUE(table_.FindText("s:IDS_A", buffer, 4));
  EXPECT_STREQ(L"alp", buffer);
  wchar_t untouched[2] = {L'#', L'#'};
  EXPECT_TRUE(table_.FindText("s:IDS_A", untouched, 0));
  EXPECT_EQ(L'#', untouched[0]);
}

TEST_F(LanguageLookup, MissingKeyLeavesTheBufferAlone) {
  wchar_t buffer[8] = L"sentry";
  const char* missing[] = {"s:IDS_", "s:IDS_AA", "s:IDS_B", "", "s:ids_a", "$X:IDS_A", "z"};
  for (const char* key : missing) {
    EXPECT_FALSE(table_.FindText(key, buffer, 8)) << key;
    EXPECT_STREQ(L"sentry", buffer) << key;
  }
}

TEST_F(LanguageLookup, EmptyTextIsFound) {
  wchar_t buffer[8] = L"sentry";
  EXPECT_TRUE(table_.FindText("s:IDS_EMPTY", buffer, 8));
  EXPECT_STREQ(L"", buffer);
}

TEST_F(LanguageLookup, EmptyTableFindsNothing) {
  LanguageTable empty;
  wchar_t buffer[8] = L"sentry";
  EXPECT_FALSE(empty.FindText("s:IDS_A", buffer, 8));
  EXPECT_STREQ(L"sentry", buffer);
  table_.Clear();
  EXPECT_FALSE(table_.FindText("s:IDS_A", buffer, 8));
  EXPECT_EQ(0u, table_.EntryCount());
}

TEST_F(LanguageLookup, ManyKeysAreAllFound) {
  // Enough entries for the halving search to take many steps, written in reverse order.
  std::wstring text = L"***messages**\n";
  for (int i = 999; i >= 0; --i) text += L"K" + std::to_wstring(i) + L" v" + std::to_wstring(i) + L"\n";
  LanguageTable table;
  ASSERT_TRUE(table.ParseText(text.c_str(), text.size()));
  ASSERT_EQ(1000u, table.EntryCount());
  for (int i = 0; i < 1000; ++i) {
    const std::string key = "s:K" + std::to_string(i);
    ASSERT_EQ(L"v" + std::to_wstring(i), TextOf(table, key.c_str())) << key;
  }
}

}  // namespace
