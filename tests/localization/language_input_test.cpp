// Finding the language text in a file (marker search, encodings, read limits) and bad input.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "base/handles.h"
#include "localization/language.h"
#include "support/private_registry.h"
#include "support/temp_folder.h"
#include "language_test_util.h"

using namespace std::string_literals;

namespace {

const std::wstring kMissing = L"<missing>";

class LanguageInput : public ::testing::Test {
 protected:
  // Writes bytes to a file of the temp folder and loads it into table_.
  bool LoadBytes(const std::string& bytes) {
    const std::wstring path = folder_.Join(L"input-" + std::to_wstring(++files_) + L".lng");
    EXPECT_TRUE(WriteFileBytes(path, bytes));
    return table_.LoadFromFile(path.c_str());
  }
  void ExpectInvariants() {
    for (size_t i = 0; i < table_.EntryCount(); ++i) {
      const LanguageEntry& entry = table_.Entry(i);
      ASSERT_LE(strlen(entry.key), kLanguageKeyMaxBytes) << "entry " << i;
      ASSERT_LE(entry.textLength, kLanguageValueMaxChars) << "entry " << i;
      ASSERT_EQ(wcslen(entry.text), entry.textLength) << "entry " << i;
      ASSERT_TRUE(entry.key[0] == 's' || entry.key[0] == '$' || entry.key[0] == '@') << entry.key;
    }
  }

  PrivateRegistry registry_;
  TempFolder folder_{L"voklanginput"};
  LanguageTable table_;
  int files_ = 0;
};

// Filler without asterisks, so it can never hold a marker.
std::string Filler(size_t bytes) { return std::string(bytes, 'x'); }

const std::string kAnsiText = "***messages**\r\nIDS_A found\r\n";
const std::wstring kWideText = L"***messages**\r\nIDS_A found\r\n";

struct MarkerCase {
  const char* name;
  std::string bytes;
  bool found;
};

TEST_F(LanguageInput, MarkerPositions) {
  const MarkerCase cases[] = {
      {"AnsiAtStart", kAnsiText, true},
      {"AnsiAtLastOffset", Filler(2093056) + kAnsiText, true},
      {"AnsiAfterLastOffset", Filler(2093057) + kAnsiText, false},
      {"Utf16AtLastOffset", Filler(2093056) + Utf16Bytes(kWideText), true},
      {"Utf16AfterLastOffset", Filler(2093057) + Utf16Bytes(kWideText), false},
      {"AnsiStraddlesFirstBlock", Filler(8192 - 6) + kAnsiText, true},
      {"AnsiStraddlesSecondBlock", Filler(2 * 8192 - 12) + kAnsiText, true},
      {"Utf16StraddlesBlockAtOddOffset", Filler(8192 - 13) + Utf16Bytes(kWideText), true},
      {"Utf16EndsOneByteIntoNextBlock", Filler(8192 - 25) + Utf16Bytes(kWideText), true},
      {"AnsiEndsOnBlockBoundary", Filler(8192 - 13) + kAnsiText, true},
      {"MarkerOnlyAtEndOfFile", Filler(100) + "***messages**", true},
      {"TwelveCharactersAreNoMarker", "***messages*\r\nIDS_A found\r\n", false},
      {"UpperCaseIsNoMarker", "***MESSAGES**\r\nIDS_A found\r\n", false},
      {"EmptyFile", "", false},
  };
  for (const MarkerCase& markerCase : cases) {
    SCOPED_TRACE(markerCase.name);
    const bool loaded = LoadBytes(markerCase.bytes);
    EXPECT_EQ(markerCase.found, loaded);
    const bool expectEntry = markerCase.found && markerCase.bytes.find("IDS_A") != std::string::npos;
    const bool expectEntryWide = markerCase.found && markerCase.bytes.find("I\0D\0S\0_\0A"s) != std::string::npos;
    EXPECT_EQ(expectEntry || expectEntryWide ? L"found" : kMissing, TextOf(table_, "s:IDS_A"));
    if (!markerCase.found) {
      EXPECT_EQ(0u, table_.EntryCount());
    }
  }
}

TEST_F(LanguageInput, Utf16WithByteOrderMark) {
  // Text outside the ANSI code page proves the file was read as UTF-16.
  const std::wstring text = L"***messages**\r\nIDS_A \x041F\x0440\x0438\x0432\x0435\x0442\r\n:DIRECTION RTL\r\n";
  ASSERT_TRUE(LoadBytes("\xFF\xFE"s + Utf16Bytes(text)));
  EXPECT_EQ(L"\x041F\x0440\x0438\x0432\x0435\x0442", TextOf(table_, "s:IDS_A"));
  EXPECT_TRUE(table_.IsRightToLeft());
  ASSERT_EQ(1u, table_.EntryCount());  // the byte-order mark made no entry and no key
}

TEST_F(LanguageInput, AnsiTextIsConvertedFromTheCodePage) {
  // 0xE9 is a letter with an accent in the ANSI code page of the test prefix (1252).
  ASSERT_EQ(1252u, GetACP()) << "the expectation below assumes code page 1252";
  ASSERT_TRUE(LoadBytes("***messages**\r\nIDS_A caf\xE9\r\n"));
  EXPECT_EQ(L"caf\x00E9", TextOf(table_, "s:IDS_A"));
}

TEST_F(LanguageInput, TextBeforeTheMarkerIsIgnored) {
  ASSERT_TRUE(LoadBytes("IDS_A before\r\n:DIRECTION RTL\r\n\x01\x02 binary \xFF\xFE\r\n***messages** IDS_B rest\r\nIDS_C after\r\n"));
  EXPECT_EQ(kMissing, TextOf(table_, "s:IDS_A"));
  EXPECT_EQ(kMissing, TextOf(table_, "s:IDS_B"));
  EXPECT_EQ(L"after", TextOf(table_, "s:IDS_C"));
  EXPECT_FALSE(table_.IsRightToLeft());
}

TEST_F(LanguageInput, FirstMarkerPositionDecidesTheEncoding) {
  // A UTF-16 marker early and an ANSI one later: the text is UTF-16, and the ANSI entry after it
  // is read as garbage, not as an entry.
  const std::string bytes = Filler(10) + Utf16Bytes(L"***messages**\r\nIDS_W wide\r\n") + Filler(5) +
                            "\r\n***messages**\r\nIDS_N narrow\r\n";
  ASSERT_TRUE(LoadBytes(bytes));
  EXPECT_EQ(L"wide", TextOf(table_, "s:IDS_W"));
  EXPECT_EQ(kMissing, TextOf(table_, "s:IDS_N"));
}

TEST_F(LanguageInput, CutUtf16UnitIsDropped) {
  ASSERT_TRUE(LoadBytes("\xFF\xFE"s + Utf16Bytes(L"***messages**\r\nIDS_A abc") + "d"));
  EXPECT_EQ(L"abc", TextOf(table_, "s:IDS_A"));
  // A lone high surrogate at the end is kept as it is; nothing reads past it.
  ASSERT_TRUE(LoadBytes("\xFF\xFE"s + Utf16Bytes(L"***messages**\r\nIDS_A ab\xD800")));
  EXPECT_EQ(L"ab\xD800", TextOf(table_, "s:IDS_A"));
}

TEST_F(LanguageInput, ReadStopsAfterTwoMebibytes) {
  // UTF-16: 2 MiB are 1,048,576 characters. An entry that starts 8 characters before the end of
  // the read loses the rest of its value; a later one is not read at all.
  const size_t limitChars = 1048576;
  std::wstring text = L"***messages**\r\nIDS_EARLY early\r\n";
  text += L";" + std::wstring(limitChars - 8 - text.size() - 3, L'c') + L"\r\n";
  ASSERT_EQ(limitChars - 8, text.size());
  text += L"IDS_CUT abcdefgh\r\nIDS_LATE late\r\n";
  ASSERT_TRUE(LoadBytes(Utf16Bytes(text)));
  EXPECT_EQ(L"early", TextOf(table_, "s:IDS_EARLY"));
  EXPECT_EQ(L"", TextOf(table_, "s:IDS_CUT"));  // "IDS_CUT " fills the 8 characters exactly
  EXPECT_EQ(kMissing, TextOf(table_, "s:IDS_LATE"));
}

TEST_F(LanguageInput, AnsiTextIsCutAfterAMillionCharacters) {
  // 2 MiB of ANSI bytes are read, but only the first 1,048,576 characters are parsed.
  const size_t limitChars = 1048576;
  std::string text = "***messages**\r\n";
  text += ";" + std::string(limitChars - 10 - text.size() - 3, 'c') + "\r\n";
  ASSERT_EQ(limitChars - 10, text.size());
  text += "IDS_CUT abcdefgh\r\nIDS_LATE late\r\n";
  ASSERT_TRUE(LoadBytes(text));
  EXPECT_EQ(L"ab", TextOf(table_, "s:IDS_CUT"));
  EXPECT_EQ(kMissing, TextOf(table_, "s:IDS_LATE"));
}

TEST_F(LanguageInput, RandomBytes) {
  std::mt19937 random(20261209);
  for (int round = 0; round < 6; ++round) {
    SCOPED_TRACE(round);
    std::string bytes(65536 + round * 4099, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    // Without a marker (one would be a 1 in 2^104 chance) nothing is loaded.
    EXPECT_FALSE(LoadBytes(bytes));
    EXPECT_EQ(0u, table_.EntryCount());
    // With a marker in front, either encoding: whatever is parsed keeps every limit.
    const std::string marker = round % 2 ? Utf16Bytes(L"***messages**") : "***messages**";
    EXPECT_TRUE(LoadBytes(marker + bytes));
    ExpectInvariants();
  }
}

TEST_F(LanguageInput, RandomLinesOfLetters) {
  // Lines made of letters, blanks, commas, quotes, backslashes and section words: many entries.
  std::mt19937 random(7);
  const char alphabet[] = "aZ ,\t\"\\:nrt\r\nSTRINGSDIALOGMENUDIRECTIONRTL";
  std::string bytes = "***messages**\r\n";
  for (int i = 0; i < 200000; ++i) bytes.push_back(alphabet[random() % (sizeof(alphabet) - 1)]);
  ASSERT_TRUE(LoadBytes(bytes));
  EXPECT_GT(table_.EntryCount(), 100u);
  ExpectInvariants();
}

TEST_F(LanguageInput, ThreeMebibyteFile) {
  std::string bytes = "***messages**\r\n";
  int lines = 0;
  while (bytes.size() < 3 * 1048576) {
    bytes += "IDS_" + std::to_string(lines) + " value number " + std::to_string(lines) + "\r\n";
    ++lines;
  }
  ASSERT_TRUE(LoadBytes(bytes));
  ExpectInvariants();
  // The parse ends after 1,048,576 characters: the entries before that are there, later ones not.
  EXPECT_GT(table_.EntryCount(), 30000u);
  EXPECT_LT(table_.EntryCount(), static_cast<size_t>(lines) / 2);
  EXPECT_EQ(L"value number 0", TextOf(table_, "s:IDS_0"));
  EXPECT_EQ(L"value number 20000", TextOf(table_, "s:IDS_20000"));
  const std::string last = "s:IDS_" + std::to_string(lines - 1);
  EXPECT_EQ(kMissing, TextOf(table_, last.c_str()));
}

TEST_F(LanguageInput, HundredThousandCharacterLine) {
  std::wstring text = L"***messages**\r\nIDS_LONG " + std::wstring(100000, L'w') + L"\r\nIDS_NEXT next\r\n" +
                      std::wstring(100000, L'y') + L" trailing\r\nIDS_LAST last";
  for (bool utf16 : {false, true}) {
    SCOPED_TRACE(utf16 ? "utf16" : "ansi");
    ASSERT_TRUE(LoadBytes(utf16 ? Utf16Bytes(text) : AnsiBytes(text)));
    EXPECT_EQ(std::wstring(65536, L'w'), TextOf(table_, "s:IDS_LONG"));
    EXPECT_EQ(L"next", TextOf(table_, "s:IDS_NEXT"));
    EXPECT_EQ(L"last", TextOf(table_, "s:IDS_LAST"));
    EXPECT_EQ(3u, table_.EntryCount());  // the long name without a blank in 99 characters is ignored
  }
}

TEST_F(LanguageInput, FileThatCannotBeOpened) {
  EXPECT_FALSE(table_.LoadFromFile(folder_.Join(L"missing.lng").c_str()));
  EXPECT_FALSE(table_.LoadFromFile(folder_.path().c_str()));  // a folder
  EXPECT_EQ(0u, table_.EntryCount());
}

TEST_F(LanguageInput, FileOpenForWritingElsewhereIsRead) {
  const std::wstring path = folder_.Join(L"busy.lng");
  ASSERT_TRUE(WriteFileBytes(path, kAnsiText));
  UniqueFileHandle writer(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(writer.valid());
  const bool loaded = table_.LoadFromFile(path.c_str());
  writer.reset();
  EXPECT_TRUE(loaded);
  EXPECT_EQ(L"found", TextOf(table_, "s:IDS_A"));
}

TEST_F(LanguageInput, LoadingAgainReplacesTheTable) {
  ASSERT_TRUE(LoadBytes("***messages**\r\nIDS_A first\r\n:DIRECTION RTL\r\n"));
  ASSERT_TRUE(table_.IsRightToLeft());
  ASSERT_TRUE(LoadBytes("***messages**\r\nIDS_B second\r\n"));
  EXPECT_EQ(kMissing, TextOf(table_, "s:IDS_A"));
  EXPECT_EQ(L"second", TextOf(table_, "s:IDS_B"));
  EXPECT_FALSE(table_.IsRightToLeft());
  EXPECT_FALSE(LoadBytes("no marker"));
  EXPECT_EQ(kMissing, TextOf(table_, "s:IDS_B"));
}

}  // namespace
