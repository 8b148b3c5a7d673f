#include "base/system.h"

#include <gtest/gtest.h>

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

TEST(ScaledFontHeight, ScalesFrom96DpiTowardZero) {
  const struct {
    int32_t height, dpi, expected;
  } cases[] = {{-12, 96, -12}, {-12, 120, -15}, {-12, 144, -18}, {-13, 120, -16}, {13, 120, 16}, {-12, 0, 0}};
  for (const auto& c : cases)
    EXPECT_EQ(c.expected, ScaleFontHeightForDpi(c.height, c.dpi)) << c.height << " at " << c.dpi << " dpi";
}
