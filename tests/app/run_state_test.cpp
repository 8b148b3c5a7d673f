#include "app/run_state.h"

#include <gtest/gtest.h>

#include "base/bounded_text.h"
#include "base/handles.h"

TEST(WindowsVersion, IsCachedAndNeverZero) {
  const uint32_t first = WindowsVersion();
  EXPECT_NE(0u, first);
  EXPECT_GE(first, 0x0501u);
  EXPECT_EQ(first, WindowsVersion());
}

TEST(LoadSystemLibrary, LoadsFromTheSystemFolderOnly) {
  UniqueModule richEdit(LoadSystemLibrary(L"riched20.dll"));
  ASSERT_TRUE(richEdit.valid());
  wchar_t loaded[2048] = {}, expected[2048] = {};
  GetModuleFileNameW(richEdit.get(), loaded, 2048);
  GetSystemDirectoryW(expected, 2048);
  EXPECT_EQ(0, _wcsnicmp(loaded, expected, wcslen(expected))) << "loaded from elsewhere";
  EXPECT_EQ(nullptr, LoadSystemLibrary(L"no-such-library-here.dll"));
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
