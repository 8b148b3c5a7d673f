// The containment of list names, and the temporary names of entries in use.
#include "uninstall/uninstall_list.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "support/temp_folder.h"

namespace {

TEST(LiesInsideFolder, OnlyPathsStrictlyBelowTheFolder) {
  struct Case {
    const wchar_t* path;
    const wchar_t* folder;
    bool expected;
  } const cases[] = {
      {L"C:\\inst\\a.txt", L"C:\\inst\\", true},
      {L"C:\\INST\\sub\\a.txt", L"C:\\inst\\", true},
      {L"C:\\inst\\a.txt", L"C:\\inst", true},
      {L"C:\\inst\\ lead", L"C:\\inst\\", true},
      {L"C:\\inst", L"C:\\inst\\", false},
      {L"C:\\inst\\", L"C:\\inst\\", false},
      {L"C:\\inst\\.", L"C:\\inst\\", false},
      {L"C:\\instX\\a.txt", L"C:\\inst\\", false},
      {L"C:\\inst\\sub\\..\\..\\victim", L"C:\\inst\\", false},
      {L"C:\\other\\a.txt", L"C:\\inst\\", false},
      {L"M:\\a.txt", L"M:\\", true},
      {L"M:\\", L"M:\\", false},
      {L"N:\\a.txt", L"M:\\", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, LiesInsideFolder(c.path, c.folder))
        << testing::PrintToString(std::wstring(c.path)) << " in " << testing::PrintToString(std::wstring(c.folder));
  }
}

TEST(TemporaryNameFor, TakesTheFirstFreeCounter) {
  TempFolder folder(L"voktmp");
  const std::wstring file = folder.Join(L"a.dll");
  wchar_t name[2048];
  wcscpy(name, L"sentinel");
  TemporaryNameFor(file.c_str(), name, 2048);
  EXPECT_EQ(file + L".0.tmp", std::wstring(name));

  ASSERT_TRUE(WriteFileBytes(file + L".0.tmp", "x"));
  ASSERT_TRUE(CreateDirectoryW((file + L".1.tmp").c_str(), nullptr));  // a folder occupies the name too
  TemporaryNameFor(file.c_str(), name, 2048);
  EXPECT_EQ(file + L".2.tmp", std::wstring(name));

  TemporaryNameFor(file.c_str(), name, 12);
  EXPECT_EQ(11u, wcslen(name)) << "cut to the capacity and terminated";
}

}  // namespace
