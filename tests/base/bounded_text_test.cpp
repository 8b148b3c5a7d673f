#include "base/bounded_text.h"

#include <gtest/gtest.h>

#include <string>

TEST(BoundedText, CopyCutsAtCapacityAndTerminates) {
  wchar_t buffer[4] = {L'#', L'#', L'#', L'#'};
  CopyBounded(buffer, L"abcdef", 4);
  EXPECT_STREQ(L"abc", buffer);
  wchar_t untouched[2] = {L'#', L'#'};
  CopyBounded(untouched, L"abc", 0);
  EXPECT_EQ(L'#', untouched[0]);
  char narrow[3] = {'#', '#', '#'};
  CopyBounded(narrow, "xyz", 3);
  EXPECT_STREQ("xy", narrow);
}

TEST(BoundedText, AppendStaysInsideAndSkipsAFullBuffer) {
  wchar_t buffer[6] = L"ab";
  AppendBounded(buffer, L"cdefgh", 6);
  EXPECT_STREQ(L"abcde", buffer);
  AppendBounded(buffer, L"z", 6);
  EXPECT_STREQ(L"abcde", buffer);
}

TEST(BoundedText, FormatCutsAtCapacityAndTerminates) {
  wchar_t buffer[8];
  wmemset(buffer, L'#', 8);
  FormatBounded(buffer, 6, L".v%02u %ls", 7u, L"name");
  EXPECT_STREQ(L".v07 ", buffer);
  EXPECT_EQ(L'#', buffer[6]) << "wrote past the capacity";
}

TEST(BoundedText, NamesCompareWithoutCase) {
  EXPECT_TRUE(NamesEqual(L"Ovenix.ZIP", L"ovenix.zip"));
  EXPECT_FALSE(NamesEqual(L"Ovenix.REV", L"Ovenix.ZIP"));
}

TEST(FormatWithArgument, SubstitutesOnlyTheFirstStringArgument) {
  const struct {
    const wchar_t* pattern;
    const wchar_t* argument;
    size_t capacity;
    const wchar_t* expected;
  } cases[] = {
      {L"Delete %s yourself.", L"C:\\x.exe", 64, L"Delete C:\\x.exe yourself."},
      {L"100%% sure: %s", L"yes", 64, L"100% sure: yes"},
      {L"%s and %s and %d and %n", L"a", 64, L"a and %s and %d and %n"},
      {L"no argument", L"ignored", 64, L"no argument"},
      {L"%s", L"abcdef", 4, L"abc"},
  };
  for (const auto& c : cases) {
    wchar_t out[64];
    wmemset(out, L'#', 64);
    FormatWithArgument(out, c.capacity, c.pattern, c.argument);
    EXPECT_STREQ(c.expected, out) << testing::PrintToString(std::wstring(c.pattern));
  }
}
