// The passes over a real list in a real folder: what goes, what stays, what is scheduled.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/handles.h"
#include "support/pending_renames.h"
#include "support/temp_folder.h"
#include "uninstall/uninstall_list.h"

namespace {

class ListPasses : public testing::Test {
 protected:
  ListPasses() : install_(L"vokinst"), outside_(L"vokoutside") {}

  std::wstring Folder() const { return install_.path() + L"\\"; }
  std::wstring ProgramPath() const { return install_.Join(L"uninstall.exe"); }

  ListPassOutcome RunList(const std::string& listBytes) {
    const std::wstring listPath = install_.Join(L"Uninstall.lst");
    EXPECT_TRUE(WriteFileBytes(listPath, listBytes));
    UniqueFileHandle list(CreateFileW(listPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(list.valid());
    ListReader reader(list.get());
    return RunListPasses(reader, Folder().c_str(), ProgramPath().c_str());
  }

  // Narrow (ASCII) form of a test path for list lines.
  static std::string Ascii(const std::wstring& text) { return std::string(text.begin(), text.end()); }

  PendingRenamesGuard pending_;  // restores the restart-deletion list of the prefix afterwards
  TempFolder install_;
  TempFolder outside_;
};

TEST_F(ListPasses, FoldersListedBeforeTheirContentsGoInLaterPasses) {
  ASSERT_TRUE(MakeFolders(install_.Join(L"sub\\inner")));
  ASSERT_TRUE(WriteFileBytes(install_.Join(L"sub\\inner\\deep.txt"), "d"));
  ASSERT_TRUE(WriteFileBytes(install_.Join(L"a.txt"), "a"));
  ASSERT_TRUE(WriteFileBytes(install_.Join(L"readonly.txt"), "r"));
  ASSERT_TRUE(SetFileAttributesW(install_.Join(L"readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY));

  const ListPassOutcome outcome =
      RunList("sub\r\nsub\\inner\\\r\nsub\\inner\\deep.txt\r\na.txt \t\r\n   \r\n\r\nreadonly.txt\nmissing.txt\n");

  for (const wchar_t* gone : {L"sub", L"sub\\inner", L"sub\\inner\\deep.txt", L"a.txt", L"readonly.txt"}) {
    EXPECT_FALSE(FileExists(install_.Join(gone))) << testing::PrintToString(std::wstring(gone));
  }
  // Pass 1: the two files; pass 2: "inner"; pass 3: "sub"; pass 4 deletes nothing.
  EXPECT_EQ(4u, outcome.passes);
  EXPECT_FALSE(outcome.rebootNeeded) << "folders not yet empty and missing entries are no reason to restart";
  EXPECT_TRUE(pending_.Added().empty()) << "nothing scheduled";
}

TEST_F(ListPasses, LeadingBlanksBelongToTheName) {
  ASSERT_TRUE(WriteFileBytes(install_.Join(L" lead.txt"), "blank"));
  ASSERT_TRUE(WriteFileBytes(install_.Join(L"lead.txt"), "plain"));
  RunList(" lead.txt\r\n");
  EXPECT_FALSE(FileExists(install_.Join(L" lead.txt")));
  EXPECT_TRUE(FileExists(install_.Join(L"lead.txt")));
}

TEST_F(ListPasses, NamesInTheAnsiCodePageAreConverted) {
  const std::wstring name = L"\u00e9t\u00e9.txt";  // "été.txt": E9 74 E9 in code page 1252
  ASSERT_EQ(1252u, GetACP()) << "the test's list bytes are written for the English ANSI code page";
  ASSERT_TRUE(WriteFileBytes(install_.Join(name), "x"));
  RunList("\xe9t\xe9.txt\r\n");
  EXPECT_FALSE(FileExists(install_.Join(name)));
}

TEST_F(ListPasses, HostileLinesLeaveEverythingOutsideUntouched) {
  const std::wstring victim = outside_.Join(L"victim.txt");
  ASSERT_TRUE(WriteFileBytes(victim, "decoy"));
  ASSERT_TRUE(WriteFileBytes(install_.Join(L"file"), "inside"));
  // "C:victim.txt" would resolve against the current folder of drive C:, so make that the decoy's.
  wchar_t savedCurrent[2048] = {};
  GetCurrentDirectoryW(2048, savedCurrent);
  ASSERT_TRUE(SetCurrentDirectoryW(outside_.path().c_str()));

  const std::wstring outsideName = outside_.path().substr(outside_.path().rfind(L'\\') + 1);
  const std::string lines[] = {
      Ascii(victim),                                      // absolute
      "..\\" + Ascii(outsideName) + "\\victim.txt",       // climbing
      "sub\\..\\..\\" + Ascii(outsideName) + "\\victim.txt",
      "C:victim.txt",                                     // drive-relative
      Ascii(victim.substr(2)),                            // root-relative "\users\...\victim.txt"
      "\\\\?\\" + Ascii(victim),                          // extended-length prefix
      "\\\\.\\" + Ascii(victim),                          // device prefix
      "\\\\localhost\\C$" + Ascii(victim.substr(2)),      // UNC
      "file:stream",                                      // alternate data stream of an inside file
      "..",
      ".",
  };
  std::string list;
  for (const std::string& line : lines) list += line + "\r\n";
  const ListPassOutcome outcome = RunList(list);
  SetCurrentDirectoryW(savedCurrent);

  EXPECT_EQ("decoy", ReadFileBytes(victim));
  EXPECT_TRUE(FolderExists(outside_.path()));
  EXPECT_EQ("inside", ReadFileBytes(install_.Join(L"file"))) << "a stream line touches not even its file";
  EXPECT_TRUE(FolderExists(install_.path())) << "\".\" names the folder itself, not an entry in it";
  EXPECT_EQ(1u, outcome.passes);
  EXPECT_FALSE(outcome.rebootNeeded);
}

TEST_F(ListPasses, ALinkedSubfolderIsNotFollowed) {
  const std::wstring victim = outside_.Join(L"victim.txt");
  ASSERT_TRUE(WriteFileBytes(victim, "decoy"));
  const ScopedLink link(install_.Join(L"link"), outside_.path(), /*folder=*/true);
  ASSERT_EQ("decoy", ReadFileBytes(install_.Join(L"link\\victim.txt"))) << "the link does not lead to its target";
  ASSERT_TRUE(MakeFolders(install_.Join(L"real")));
  ASSERT_TRUE(WriteFileBytes(install_.Join(L"real\\inside.txt"), "inside"));
  RunList("link\\victim.txt\r\nreal\\inside.txt\r\n");
  EXPECT_EQ("decoy", ReadFileBytes(victim));
  EXPECT_FALSE(FileExists(install_.Join(L"real\\inside.txt"))) << "an ordinary sub-folder still works";
}

TEST_F(ListPasses, AFileInUseIsScheduledUnderItsOwnNameWhenItCannotBeRenamed) {
  const std::wstring busy = install_.Join(L"busy.dll");
  ASSERT_TRUE(WriteFileBytes(busy, "busy"));
  // Open without delete sharing: neither DeleteFileW nor MoveFileW can take it.
  UniqueFileHandle holder(CreateFileW(busy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(holder.valid());

  const ListPassOutcome outcome = RunList("busy.dll\r\n");
  holder.reset();

  EXPECT_TRUE(outcome.rebootNeeded);
  EXPECT_TRUE(FileExists(busy));
  EXPECT_FALSE(FileExists(busy + L".0.tmp"));
  EXPECT_EQ(std::vector<std::wstring>{busy}, pending_.Added());
}

TEST_F(ListPasses, TheUninstallerAndTheListArePassedOverWhenInUse) {
  ASSERT_TRUE(WriteFileBytes(ProgramPath(), "exe"));
  UniqueFileHandle holder(
      CreateFileW(ProgramPath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(holder.valid());

  // The list is held open by the passes themselves (read and write sharing only).
  const ListPassOutcome outcome = RunList("uninstall.exe\r\nUNINSTALL.LST\r\n");
  holder.reset();

  EXPECT_FALSE(outcome.rebootNeeded);
  EXPECT_TRUE(FileExists(ProgramPath()));
  EXPECT_TRUE(FileExists(install_.Join(L"Uninstall.lst")));
  EXPECT_TRUE(pending_.Added().empty());
}

}  // namespace
