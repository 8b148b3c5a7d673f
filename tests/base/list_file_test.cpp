// The installer's list: its pieces, their blanks and the names that may be acted on.
#include "base/list_file.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/handles.h"
#include "support/temp_folder.h"

namespace {

std::vector<std::string> ReadAllPieces(ListReader& reader) {
  std::vector<std::string> pieces;
  char piece[kListPieceBytes + 1];
  std::memset(piece, 'X', sizeof piece);  // sentinel: a piece must be terminated by the reader
  while (reader.NextPiece(piece)) pieces.emplace_back(piece);
  return pieces;
}

UniqueFileHandle OpenForReading(const std::wstring& path) {
  return UniqueFileHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
}

TEST(StripTrailingBlanks, StripsOnlyTheFourBlanksAtTheEnd) {
  struct Case {
    const char* line;
    const char* expected;
  } const cases[] = {
      {"a.txt \t\r\n", "a.txt"},   {"  lead.txt  \n", "  lead.txt"}, {"a b.txt\r\n", "a b.txt"},
      {" \t \r\n", ""},            {"", ""},                         {"a\v \n", "a\v"},
      {"x\r\r\n\n", "x"},          {"\tx", "\tx"},
  };
  for (const Case& c : cases) {
    char buffer[64];
    strcpy(buffer, c.line);
    StripTrailingBlanks(buffer);
    EXPECT_STREQ(c.expected, buffer) << "line: \"" << c.line << "\"";
  }
}

TEST(IsPlainRelativeName, AcceptsOrdinaryNamesAndRejectsEveryWayOut) {
  struct Case {
    const wchar_t* name;
    bool expected;
  } const cases[] = {
      {L"Ovenix.exe", true},
      {L"sub\\file.dll", true},
      {L"sub/file.dll", true},
      {L"  leading blanks.txt", true},
      {L"a..b", true},
      {L"..a", true},
      {L"sub\\..data", true},
      {L"", false},
      {L"C:\\victim", false},
      {L"C:victim", false},
      {L"\\victim", false},
      {L"/victim", false},
      {L"\\\\server\\share\\victim", false},
      {L"\\\\?\\C:\\victim", false},
      {L"\\\\.\\C:\\victim", false},
      {L"\\??\\C:\\victim", false},
      {L"..", false},
      {L"..\\..\\victim", false},
      {L"sub\\..\\..\\victim", false},
      {L"sub/../../victim", false},
      {L"sub\\..", false},
      {L"file:stream", false},
      {L"file::$DATA", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, IsPlainRelativeName(c.name)) << "name: " << testing::PrintToString(std::wstring(c.name));
  }
}

TEST(ListReader, SplitsLinesAndLongLinesIntoPiecesAndRewinds) {
  TempFolder folder(L"voklist");
  const std::string longLine(5000, 'n');
  const std::string content = "first\r\nsecond\n\nno-newline-before" + std::string("\n") + longLine + "\nlast";
  const std::wstring path = folder.Join(L"Uninstall.lst");
  ASSERT_TRUE(WriteFileBytes(path, content));
  UniqueFileHandle file = OpenForReading(path);
  ASSERT_TRUE(file.valid());
  ListReader reader(file.get());

  const std::vector<std::string> expected = {
      "first\r\n", "second\n", "\n", "no-newline-before\n", std::string(2047, 'n'), std::string(2047, 'n'),
      std::string(906, 'n') + "\n", "last"};
  EXPECT_EQ(expected, ReadAllPieces(reader));
  ASSERT_TRUE(reader.Rewind());
  EXPECT_EQ(expected, ReadAllPieces(reader)) << "a second pass reads the same pieces";
}

TEST(ListReader, ANulByteEndsTheTextOfItsPiece) {
  TempFolder folder(L"voklist");
  const std::wstring path = folder.Join(L"Uninstall.lst");
  ASSERT_TRUE(WriteFileBytes(path, std::string("ab\0cd\nnext\n", 11)));
  UniqueFileHandle file = OpenForReading(path);
  ListReader reader(file.get());
  EXPECT_EQ((std::vector<std::string>{"ab", "next\n"}), ReadAllPieces(reader));
}

}  // namespace
