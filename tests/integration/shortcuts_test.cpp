// Shortcut files and folder removal, in a temp folder of the test: CreateShellLink round trips
// through IShellLinkW, GetSpecialFolder limits, RemoveFolderTree and reparse points.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

#include "base/handles.h"
#include "integration/shortcuts.h"
#include "integration_layout.h"
#include "support/temp_folder.h"

namespace {

class ShortcutFileTest : public ::testing::Test {
 protected:
  OleSession ole_;
  TempFolder temp_{L"vokshortcut"};
};

struct LinkCase {
  const char* label;
  const wchar_t* workingDirectory;
  const wchar_t* description;
  const wchar_t* iconLocation;
};

TEST_F(ShortcutFileTest, CreatedShortcutResolvesToWhatWasGiven) {
  const LinkCase cases[] = {
      {"all properties", L"C:\\work dir", L"Archiver ä description", L"C:\\icons\\vok.ico"},
      {"no working directory", nullptr, L"desc", L"C:\\icons\\vok.ico"},
      {"no description, no icon", L"C:\\w", nullptr, nullptr},
  };
  const std::wstring target = temp_.Join(L"Ovenix.exe");
  ASSERT_TRUE(WriteFileBytes(target, "MZ"));
  int n = 0;
  for (const LinkCase& c : cases) {
    SCOPED_TRACE(c.label);
    const std::wstring link = temp_.Join(L"case" + std::to_wstring(n++) + L".lnk");
    ASSERT_TRUE(CreateShellLink(target.c_str(), link.c_str(), c.workingDirectory, c.description, c.iconLocation));
    const ShortcutInfo info = ReadShortcut(link);
    ASSERT_TRUE(info.loaded);
    EXPECT_EQ(target, info.target);
    EXPECT_EQ(std::wstring(c.description ? c.description : L""), info.description);
    EXPECT_EQ(std::wstring(c.workingDirectory ? c.workingDirectory : L""), info.workingDirectory);
    EXPECT_EQ(std::wstring(c.iconLocation ? c.iconLocation : L""), info.iconLocation);
    EXPECT_EQ(0, info.iconIndex);
  }
}

TEST_F(ShortcutFileTest, RewritingKeepsPropertiesNotGivenAgain) {
  const std::wstring first = temp_.Join(L"first.exe"), second = temp_.Join(L"second.exe");
  ASSERT_TRUE(WriteFileBytes(first, "MZ"));
  ASSERT_TRUE(WriteFileBytes(second, "MZ"));
  const std::wstring link = temp_.Join(L"keep.lnk");
  ASSERT_TRUE(CreateShellLink(first.c_str(), link.c_str(), L"C:\\kept", L"kept description", L"C:\\a.ico"));
  ASSERT_TRUE(CreateShellLink(second.c_str(), link.c_str(), nullptr, nullptr, nullptr));
  const ShortcutInfo info = ReadShortcut(link);
  ASSERT_TRUE(info.loaded);
  EXPECT_EQ(second, info.target);
  EXPECT_EQ(L"kept description", info.description);
  EXPECT_EQ(L"C:\\kept", info.workingDirectory);
  EXPECT_EQ(L"", info.iconLocation) << "the icon location is always set, empty when none is given";
}

TEST_F(ShortcutFileTest, UnsavableShortcutReportsFailure) {
  const std::wstring target = temp_.Join(L"t.exe");
  ASSERT_TRUE(WriteFileBytes(target, "MZ"));
  const std::wstring link = temp_.Join(L"no such folder\\x.lnk");
  EXPECT_FALSE(CreateShellLink(target.c_str(), link.c_str(), nullptr, nullptr, nullptr));
  EXPECT_FALSE(FileExists(link));
}

TEST(GetSpecialFolderTest, SmallBufferOrUnknownFolderGivesUnknownFolder) {
  struct Case {
    const char* label;
    size_t capacity;
    int csidl;
    bool ok;
    const wchar_t* expected;  // null: the real folder
  };
  const Case cases[] = {
      {"desktop", 2048, CSIDL_DESKTOPDIRECTORY, true, nullptr},
      {"exactly MAX_PATH", MAX_PATH, CSIDL_DESKTOPDIRECTORY, true, nullptr},
      {"one below MAX_PATH", MAX_PATH - 1, CSIDL_DESKTOPDIRECTORY, false, L"unknown_folder"},
      {"tiny buffer is cut", 8, CSIDL_DESKTOPDIRECTORY, false, L"unknown"},
      {"no such CSIDL", 2048, 0x7F, false, L"unknown_folder"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    wchar_t buffer[2048];
    wcscpy(buffer, L"<sentinel>");
    EXPECT_EQ(c.ok, GetSpecialFolder(buffer, c.capacity, c.csidl));
    EXPECT_EQ(c.expected ? std::wstring(c.expected) : SpecialFolder(c.csidl), std::wstring(buffer));
  }
}

class RemoveFolderTreeTest : public ::testing::Test {
 protected:
  TempFolder temp_{L"vokremove"};
};

TEST_F(RemoveFolderTreeTest, DeletesFolderWithEverythingInIt) {
  const std::wstring group = temp_.Join(L"Ovenix");
  ASSERT_TRUE(MakeFolders(group + L"\\sub\\deeper"));
  ASSERT_TRUE(WriteFileBytes(group + L"\\a.lnk", "x"));
  ASSERT_TRUE(WriteFileBytes(group + L"\\sub\\deeper\\b.txt", "x"));
  ASSERT_TRUE(SetFileAttributesW((group + L"\\a.lnk").c_str(), FILE_ATTRIBUTE_READONLY));
  RemoveFolderTree(group.c_str());
  EXPECT_FALSE(FileExists(group));
  EXPECT_TRUE(FolderExists(temp_.path())) << "only the named folder goes";
}

TEST_F(RemoveFolderTreeTest, LeavesFilesAndMissingPathsAlone) {
  const std::wstring file = temp_.Join(L"Ovenix");
  ASSERT_TRUE(WriteFileBytes(file, "a file, not a group"));
  RemoveFolderTree(file.c_str());
  EXPECT_TRUE(FileExists(file));
  RemoveFolderTree(temp_.Join(L"missing").c_str());  // must not fail or touch anything
  EXPECT_TRUE(FileExists(file));
}

TEST_F(RemoveFolderTreeTest, NeverFollowsAJunction) {
  const std::wstring target = temp_.Join(L"someone else's");
  ASSERT_TRUE(MakeFolders(target));
  ASSERT_TRUE(WriteFileBytes(target + L"\\precious.txt", "keep me"));
  const std::wstring junction = temp_.Join(L"Ovenix");
  const ScopedLink link(junction, target, /*folder=*/true);
  ASSERT_TRUE(link.made()) << "error " << GetLastError();
  RemoveFolderTree(junction.c_str());
  EXPECT_TRUE(FileExists(junction)) << "a reparse point is never removed";
  EXPECT_EQ("keep me", ReadFileBytes(target + L"\\precious.txt"));
}

}  // namespace
