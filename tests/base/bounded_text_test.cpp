#include "base/bounded_text.h"

#include <gtest/gtest.h>

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

TEST(BoundedText, NamesCompareWithoutCase) {
  EXPECT_TRUE(NamesEqual(L"Ovenix.ZIP", L"ovenix.zip"));
  EXPECT_FALSE(NamesEqual(L"Ovenix.REV", L"Ovenix.ZIP"));
}
