#include "base/text_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/handles.h"
#include "support/temp_folder.h"

namespace {

std::vector<std::wstring> Drain(PackedStringList& list) {
  std::vector<std::wstring> lines;
  wchar_t* text = nullptr;
  while (list.NextString(text)) lines.push_back(text);
  return lines;
}

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int v : values) bytes += static_cast<char>(v);
  return bytes;
}

// ---- ReadTextFileLines ----

class TextFileFixture : public ::testing::Test {
 protected:
  std::vector<std::wstring> LinesOf(const std::string& bytes) {
    const std::wstring path = temp_.Join(L"text.txt");
    EXPECT_TRUE(WriteFileBytes(path, bytes));
    PackedStringList lines;
    EXPECT_TRUE(ReadTextFileLines(path.c_str(), lines));
    return Drain(lines);
  }
  TempFolder temp_{L"voktext"};
};

struct LinesCase {
  const char* what;
  std::string bytes;
  std::vector<std::wstring> lines;
};

TEST_F(TextFileFixture, DecodesAndSplitsLines) {
  const LinesCase cases[] = {
      {"empty file", "", {}},
      {"CR LF lines with blanks", "  x  \r\n\r\n\t\r\ny", {L"  x", L"y"}},
      {"LF only, CR only, runs of both", "a\nb\rc\r\r\n\n\rd\n", {L"a", L"b", L"c", L"d"}},
      {"trailing tabs and blanks go, leading stay", "\t a \t \r\n", {L"\t a"}},
      {"zero byte ends ANSI text", Bytes({'a', '\n', 'b', 0, 'c', '\n', 'd'}), {L"a", L"b"}},
      {"UTF-8 with its mark", "\xEF\xBB\xBFh\xC3\xA9llo\r\n\xE2\x82\xAC", {L"h\u00E9llo", L"\u20AC"}},
      {"UTF-8 with a character beyond the BMP", "\xEF\xBB\xBF\xF0\x9F\x98\x80!", {L"\xD83D\xDE00!"}},
      {"zero byte ends UTF-8 text", Bytes({0xEF, 0xBB, 0xBF, 'a', 0, 'b'}), {L"a"}},
      {"UTF-16 little-endian", Bytes({0xFF, 0xFE, 'A', 0, '\r', 0, '\n', 0, 'B', 0, 0x3A, 0x04}),
       {L"A", L"B\u043A"}},
      {"UTF-16 big-endian", Bytes({0xFE, 0xFF, 0, 'A', 0, '\n', 0x04, 0x3A}), {L"A", L"\u043A"}},
      {"FF FE 41 00 is UTF-16", Bytes({0xFF, 0xFE, 0x41, 0x00}), {L"A"}},
      {"an odd final UTF-16 byte is ignored", Bytes({0xFF, 0xFE, 'A', 0, 'B'}), {L"A"}},
      {"zero unit ends UTF-16 text", Bytes({0xFF, 0xFE, 'A', 0, 0, 0, 'B', 0}), {L"A"}},
      {"invalid UTF-8 after the mark is ANSI", "\xEF\xBB\xBF\x80x", {L"\u00EF\u00BB\u00BF\u20ACx"}},
  };
  for (const LinesCase& c : cases) EXPECT_EQ(c.lines, LinesOf(c.bytes)) << c.what;
}

// The mark-like ANSI cases depend on the ANSI code page; Wine's English locale (like Windows in
// Western Europe) uses 1252.
TEST_F(TextFileFixture, MarkLikeStartsInCodePage1252) {
  if (GetACP() != 1252) GTEST_SKIP() << "ANSI code page " << GetACP();
  const LinesCase cases[] = {
      {"FF FE 41 42 is ANSI", Bytes({0xFF, 0xFE, 0x41, 0x42}), {L"\u00FF\u00FEAB"}},
      {"only a UTF-16 mark is ANSI", Bytes({0xFF, 0xFE}), {L"\u00FF\u00FE"}},
      {"only a UTF-8 mark is ANSI", Bytes({0xEF, 0xBB, 0xBF}), {L"\u00EF\u00BB\u00BF"}},
      {"UTF-8 without a mark is ANSI", "h\xC3\xA9", {L"h\u00C3\u00A9"}},
      {"UTF-16 mark with only CR LF high bytes is ANSI", Bytes({0xFF, 0xFE, 'a', '\r', 'b', '\n'}),
       {L"\u00FF\u00FEa", L"b"}},
  };
  for (const LinesCase& c : cases) EXPECT_EQ(c.lines, LinesOf(c.bytes)) << c.what;
}

TEST_F(TextFileFixture, LargeFilesSpanManyReads) {
  std::string bytes;
  for (int i = 0; i < 3000; ++i) bytes += "line " + std::to_string(i) + "\r\n";
  ASSERT_GT(bytes.size(), 8192u);
  const std::vector<std::wstring> lines = LinesOf(bytes);
  ASSERT_EQ(3000u, lines.size());
  EXPECT_EQ(L"line 0", lines.front());
  EXPECT_EQ(L"line 1234", lines[1234]);
  EXPECT_EQ(L"line 2999", lines.back());

  std::string wide = Bytes({0xFF, 0xFE});  // exactly 4096 bytes: the read that follows gives 0
  while (wide.size() < 4096) wide += Bytes({'z', 0});
  const std::vector<std::wstring> one = LinesOf(wide);
  ASSERT_EQ(1u, one.size());
  EXPECT_EQ(std::wstring(2047, L'z'), one[0]);
}

TEST_F(TextFileFixture, AppendsToTheCallersListAndFailsOnlyWhenItCannotOpen) {
  PackedStringList lines;
  lines.AddString(L"already there");
  EXPECT_FALSE(ReadTextFileLines(temp_.Join(L"missing.txt").c_str(), lines));
  ASSERT_TRUE(WriteFileBytes(temp_.Join(L"more.txt"), "one\ntwo"));
  EXPECT_TRUE(ReadTextFileLines(temp_.Join(L"more.txt").c_str(), lines));
  EXPECT_EQ((std::vector<std::wstring>{L"already there", L"one", L"two"}), Drain(lines));

  ASSERT_TRUE(WriteFileBytes(temp_.Join(L"locked.txt"), "x"));
  UniqueFileHandle lock(
      CreateFileW(temp_.Join(L"locked.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  PackedStringList none;
  EXPECT_FALSE(ReadTextFileLines(temp_.Join(L"locked.txt").c_str(), none));
  EXPECT_EQ(0u, none.CharacterCount());
}

TEST(TextFileStdin, ReadsStandardInputWithoutAPath) {
  HANDLE read = nullptr, write = nullptr;
  ASSERT_TRUE(CreatePipe(&read, &write, nullptr, 1 << 16));
  UniqueKernelHandle readEnd(read), writeEnd(write);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(write, "first\r\nsecond\r\n", 15, &written, nullptr));
  writeEnd.reset();
  const HANDLE saved = GetStdHandle(STD_INPUT_HANDLE);
  SetStdHandle(STD_INPUT_HANDLE, read);
  PackedStringList lines;
  const bool ok = ReadTextFileLines(nullptr, lines);
  SetStdHandle(STD_INPUT_HANDLE, saved);
  EXPECT_TRUE(ok);
  EXPECT_EQ((std::vector<std::wstring>{L"first", L"second"}), Drain(lines));
}

// ---- Encoding pieces ----

TEST(TextEncodingDetection, Table) {
  struct Case {
    const char* what;
    std::string bytes;
    TextEncoding expected;
  };
  const Case cases[] = {
      {"empty", "", TextEncoding::Ansi},
      {"plain", "abc", TextEncoding::Ansi},
      {"UTF-8 mark and text", "\xEF\xBB\xBF" "a", TextEncoding::Utf8},
      {"UTF-8 mark alone", "\xEF\xBB\xBF", TextEncoding::Ansi},
      {"UTF-8 mark, invalid text", "\xEF\xBB\xBF\xC3", TextEncoding::Ansi},
      {"UTF-16 LE", Bytes({0xFF, 0xFE, 'a', 0}), TextEncoding::Utf16},
      {"UTF-16 LE, 3 bytes", Bytes({0xFF, 0xFE, 'a'}), TextEncoding::Ansi},
      {"UTF-16 LE, high byte 0x42", Bytes({0xFF, 0xFE, 0x41, 0x42}), TextEncoding::Ansi},
      {"UTF-16 LE, high byte 31", Bytes({0xFF, 0xFE, 0x41, 31}), TextEncoding::Utf16},
      {"UTF-16 LE, high bytes CR and LF only", Bytes({0xFF, 0xFE, 1, 13, 1, 10}), TextEncoding::Ansi},
      {"UTF-16 BE, 3 bytes", Bytes({0xFE, 0xFF, 0}), TextEncoding::Utf16},
      {"UTF-16 BE", Bytes({0xFE, 0xFF, 0, 'a'}), TextEncoding::Utf16},
      {"UTF-16 BE, no low high byte", Bytes({0xFE, 0xFF, 'a', 'b'}), TextEncoding::Ansi},
      {"UTF-16 mark alone", Bytes({0xFF, 0xFE}), TextEncoding::Ansi},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(static_cast<int>(c.expected),
              static_cast<int>(DetectTextEncoding(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size())))
        << c.what;
  }
}

TEST(Utf8Validity, Table) {
  struct Case {
    const char* what;
    std::string bytes;
    bool valid;
  };
  const Case cases[] = {
      {"empty", "", true},
      {"ASCII", "abc", true},
      {"two bytes", "\xC3\xA9", true},
      {"three bytes", "\xE2\x82\xAC", true},
      {"four bytes", "\xF0\x9F\x98\x80", true},
      {"five bytes (loose rule)", "\xF8\x88\x80\x80\x80", true},
      {"six bytes (loose rule)", "\xFC\x84\x80\x80\x80\x80", true},
      {"overlong form passes", "\xC0\x80", true},
      {"lone continuation byte", "\x80", false},
      {"seven leading ones", "\xFE\x80\x80\x80\x80\x80\x80", false},
      {"eight leading ones", "\xFF", false},
      {"cut short", "\xE2\x82", false},
      {"bad continuation", "\xC3\x41", false},
      {"embedded zero byte", Bytes({'a', 0, 'b'}), true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.valid, IsValidUtf8(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size())) << c.what;
  }
}

TEST(Utf8Decoding, Table) {
  struct Case {
    const char* what;
    const char* source;
    size_t capacity;
    const wchar_t* expected;
    bool result;
  };
  const Case cases[] = {
      {"ASCII", "abc", 16, L"abc", true},
      {"two and three bytes", "\xC3\xA9\xE2\x82\xAC", 16, L"\u00E9\u20AC", true},
      {"surrogate pair", "\xF0\x9F\x98\x80", 16, L"\xD83D\xDE00", true},
      {"largest code point", "\xF4\x8F\xBF\xBF", 16, L"\xDBFF\xDFFF", true},
      {"above U+10FFFF is dropped, decoding goes on", "a\xF4\x90\x80\x80" "b", 16, L"ab", false},
      {"invalid lead stops", "ab\x80" "cd", 16, L"ab", false},
      {"five-byte lead stops", "a\xF8\x88\x80\x80\x80", 16, L"a", false},
      {"bad continuation stops", "a\xC3(b", 16, L"a", false},
      {"cut short by the terminator", "a\xE2\x82", 16, L"a", false},
      {"full buffer cuts, result unchanged", "abcdef", 4, L"abc", true},
      {"a pair needs two units of room", "a\xF0\x9F\x98\x80", 3, L"a", true},
      {"empty", "", 1, L"", true},
  };
  for (const Case& c : cases) {
    wchar_t buffer[20];
    wmemset(buffer, L'#', 20);
    EXPECT_EQ(c.result, Utf8ToWide(c.source, buffer, c.capacity)) << c.what;
    EXPECT_STREQ(c.expected, buffer) << c.what;
    EXPECT_EQ(L'#', buffer[c.capacity]) << c.what << ": wrote past the capacity";
  }
  wchar_t untouched = L'#';
  Utf8ToWide("abc", &untouched, 0);
  EXPECT_EQ(L'#', untouched) << "capacity 0 writes nothing";
}

TEST(AnsiConversion, BoundsAndRoundTrip) {
  wchar_t wide[8];
  wmemset(wide, L'#', 8);
  EXPECT_TRUE(AnsiToWide("abcd", wide, 5)) << "exactly fits";
  EXPECT_STREQ(L"abcd", wide);
  EXPECT_EQ(L'#', wide[5]);

  wmemset(wide, L'#', 8);
  EXPECT_FALSE(AnsiToWide("abcdefgh", wide, 5)) << "does not fit";
  EXPECT_EQ(0, wide[4]) << "the last character is the terminator";
  EXPECT_EQ(L'#', wide[5]) << "nothing past the capacity";

  wchar_t sentinel = L'#';
  EXPECT_FALSE(AnsiToWide("a", &sentinel, 0));
  EXPECT_EQ(L'#', sentinel);

  char narrow[8];
  memset(narrow, '#', 8);
  EXPECT_FALSE(WideToAnsi(L"abcdefgh", narrow, 5));
  EXPECT_EQ(0, narrow[4]);
  EXPECT_EQ('#', narrow[5]);
  EXPECT_FALSE(AnsiToWide(nullptr, wide, 8));
  EXPECT_EQ(0, wide[0]);

  if (GetACP() == 1252) {
    const wchar_t* text = L"gr\u00FC\u00DF \u20AC";
    char ansi[16];
    ASSERT_TRUE(WideToAnsi(text, ansi, sizeof ansi));
    EXPECT_STREQ("gr\xFC\xDF \x80", ansi);
    wchar_t back[16];
    ASSERT_TRUE(AnsiToWide(ansi, back, 16));
    EXPECT_STREQ(text, back);
  }
}

}  // namespace
