#include "base/system.h"

#include <gtest/gtest.h>

#include <string>

#include "base/handles.h"
#include "support/process.h"

// GetVersion packs the numbers that WindowsVersion takes from GetVersionExW the other way round.
TEST(WindowsVersion, IsTheSystemsMajorVersionTimes256PlusItsMinor) {
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)  // deprecated, and exactly the other source of the same numbers
#endif
  const DWORD packed = GetVersion();
  EXPECT_EQ(LOBYTE(LOWORD(packed)) * 256u + HIBYTE(LOWORD(packed)), WindowsVersion());
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

// Anyone who can write into the program's folder could put a library there under a name that
// Windows' own DLLs ask for: once the search is hardened, such a name loads from nowhere else.
TEST(HardenDllSearchPath, ALibraryBesideTheProgramIsNotFoundByName) {
  const std::wstring planted = OwnModuleFolder() + L"\\vok-planted.dll";
  ASSERT_TRUE(CopyFileW(BuildPath(VOK_PLANTED_LIBRARY).c_str(), planted.c_str(), FALSE));
  HardenDllSearchPath();
  UniqueModule loaded(LoadLibraryW(L"vok-planted.dll"));
  EXPECT_FALSE(loaded.valid()) << "a library beside the program was loaded";
  loaded.reset();
  DeleteFileW(planted.c_str());
}

TEST(ScaledFontHeight, ScalesFrom96DpiTowardZero) {
  const struct {
    int32_t height, dpi, expected;
  } cases[] = {{-12, 96, -12}, {-12, 120, -15}, {-12, 144, -18}, {-13, 120, -16}, {13, 120, 16}, {-12, 0, 0}};
  for (const auto& c : cases)
    EXPECT_EQ(c.expected, ScaleFontHeightForDpi(c.height, c.dpi)) << c.height << " at " << c.dpi << " dpi";
}
