// The self-removal batch file: the bytes cmd will read, and how the file is put in place.
#include "uninstall/self_removal.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "base/handles.h"
#include "support/process.h"
#include "support/temp_folder.h"

namespace {

std::string Exact(const wchar_t* path, UINT codePage, bool* exact) {
  char bytes[kBatchPathBytes];
  std::memset(bytes, 'X', sizeof bytes);  // sentinel: the result must be terminated
  *exact = ExactBatchText(path, codePage, bytes, sizeof bytes);
  return bytes;
}

TEST(ExactBatchText, DoublesPercentAndRefusesLookAlikes) {
  struct Case {
    const wchar_t* path;
    UINT codePage;
    bool exact;
    const char* bytes;
  } const cases[] = {
      {L"C:\\Program Files\\Ovenix", 850, true, "C:\\Program Files\\Ovenix"},
      {L"C:\\100%\\a%b%%.exe", 850, true, "C:\\100%%\\a%%b%%%%.exe"},
      {L"C:\\\u00f6l", 850, true, "C:\\\x94l"},   // o-umlaut: 0x94 in OEM, 0xF6 in ANSI
      {L"C:\\\u00f6l", 437, true, "C:\\\x94l"},
      {L"C:\\\u00f6l", 1252, true, "C:\\\xf6l"},
      {L"C:\\\u0141\u00f3d\u017a", 850, false, ""},  // L-stroke: best fit would write a plain "L"
      {L"C:\\\u221e", 850, false, ""},              // infinity: best fit would write "8"
      {L"C:\\\u0141", CP_UTF8, true, "C:\\\xc5\x81"},
      {L"", 850, true, ""},
  };
  for (const Case& c : cases) {
    bool exact = !c.exact;
    const std::string bytes = Exact(c.path, c.codePage, &exact);
    EXPECT_EQ(c.exact, exact) << testing::PrintToString(std::wstring(c.path)) << " in " << c.codePage;
    EXPECT_EQ(std::string(c.bytes), bytes) << testing::PrintToString(std::wstring(c.path)) << " in " << c.codePage;
  }
}

TEST(ExactBatchText, FailsWhenTheCapacityIsTooSmall) {
  char bytes[8];
  std::memset(bytes, 'X', sizeof bytes);
  EXPECT_FALSE(ExactBatchText(L"C:\\longer than eight", 850, bytes, sizeof bytes));
  EXPECT_EQ(0, bytes[0]);
}

TEST(BatchPathBytes, UsesTheShortFormForAPathWithoutAnOemForm) {
  const UINT oem = GetOEMCP();
  TempFolder folder(L"vok\u0141\u00f3d\u017a");  // "Łódź": no exact form in code pages 437 and 850
  bool exact = true;
  Exact(folder.path().c_str(), oem, &exact);
  ASSERT_FALSE(exact) << "OEM code page " << oem << " unexpectedly has an exact form";
  char bytes[kBatchPathBytes];
  const bool named = BatchPathBytes(folder.path().c_str(), bytes, sizeof bytes);

  wchar_t shortPath[2048] = {};
  const DWORD length = GetShortPathNameW(folder.path().c_str(), shortPath, 2048);
  const std::string expected = Exact(shortPath, oem, &exact);
  if (length == 0 || !exact) GTEST_SKIP() << "this volume gives no usable short form";
  EXPECT_TRUE(named);
  EXPECT_EQ(expected, std::string(bytes));

  // Without a short form (the path does not exist) there is no exact form at all: a best-fit
  // conversion would write "noneL", another file's name.
  const std::wstring missing = folder.path() + L"\\none\u0141";
  std::memset(bytes, 'X', sizeof bytes);
  EXPECT_FALSE(BatchPathBytes(missing.c_str(), bytes, sizeof bytes));
  EXPECT_EQ(std::string(), std::string(bytes));
}

struct BatchCase {
  bool silent;
  const char* expected;
};

const char kProgram[] = "C:\\Program Files\\Ovenix\\uninstall.exe";
const char kFolder[] = "C:\\Program Files\\Ovenix";
const char kBatchFolder[] = "C:\\users\\tester\\Temp\\0123456789ABCDEF0123456789ABCDEF";
const char kBatch[] = "C:\\users\\tester\\Temp\\0123456789ABCDEF0123456789ABCDEF\\Uninstall_Vok.Bat";
const wchar_t kBatchPath[] = L"C:\\users\\tester\\Temp\\0123456789ABCDEF0123456789ABCDEF\\Uninstall_Vok.Bat";

// Paths with no exact form in the OEM code page (L-stroke) and, as they do not exist, no short form.
const wchar_t kUnnamedProgram[] = L"C:\\vok-none\\\u0141\\uninstall.exe";
const wchar_t kUnnamedFolder[] = L"C:\\vok-none\\\u0141";
const wchar_t kUnnamedBatch[] = L"C:\\vok-none\\\u0141\\0123456789ABCDEF0123456789ABCDEF\\Uninstall_Vok.Bat";

std::string ExpectedBatch(bool silent, bool programNamed = true, bool batchNamed = true) {
  std::string text;
  if (programNamed) {
    text += std::string("\"") + kProgram + "\" /wait\r\n";
    for (int i = 0; i < 5; ++i) {
      text += std::string("del \"") + kProgram + "\"\r\n";
      text += std::string("rd \"") + kFolder + "\"\r\n";
      text += std::string("if not exist \"") + kProgram + "\" goto done\r\n";
    }
  }
  text += ":done\r\n";
  if (!silent && programNamed) {
    text += std::string("if exist \"") + kProgram + "\" \"" + kProgram + "\" /warning\r\n";
  }
  if (batchNamed) text += std::string("del \"") + kBatch + "\" & rd \"" + kBatchFolder + "\"\r\n";
  return text;
}

TEST(WriteSelfRemovalLines, WritesTheLinesWithCrLfAndLeavesOutEveryLineNamingAPathWithoutExactForm) {
  struct Case {
    const char* label;
    bool silent;
    const wchar_t* program;
    const wchar_t* folder;
    const wchar_t* batch;
    bool programNamed, batchNamed;
  } const cases[] = {
      {"asking", false, L"C:\\Program Files\\Ovenix\\uninstall.exe", L"C:\\Program Files\\Ovenix", kBatchPath,
       true, true},
      {"silent", true, L"C:\\Program Files\\Ovenix\\uninstall.exe", L"C:\\Program Files\\Ovenix", kBatchPath,
       true, true},
      {"program unnamed", false, kUnnamedProgram, kUnnamedFolder, kBatchPath, false, true},
      {"folder unnamed", false, L"C:\\Program Files\\Ovenix\\uninstall.exe", kUnnamedFolder, kBatchPath, false,
       true},
      {"batch unnamed", false, L"C:\\Program Files\\Ovenix\\uninstall.exe", L"C:\\Program Files\\Ovenix",
       kUnnamedBatch, true, false},
  };
  TempFolder folder(L"vokbat");
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::wstring path = folder.Join(L"case" + std::to_wstring(n++) + L".bat");
    bool removesProgram = !c.programNamed;  // sentinel
    {
      UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
      ASSERT_TRUE(file.valid());
      EXPECT_TRUE(WriteSelfRemovalLines(file.get(), c.program, c.folder, c.batch, c.silent, &removesProgram));
    }
    EXPECT_EQ(c.programNamed, removesProgram);
    EXPECT_EQ(ExpectedBatch(c.silent, c.programNamed, c.batchNamed), ReadFileBytes(path));
  }
}

TEST(WriteSelfRemovalLines, ReportsAFailedWrite) {
  TempFolder folder(L"vokbat");
  const std::wstring path = folder.Join(L"readonly.bat");
  ASSERT_TRUE(WriteFileBytes(path, ""));
  UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(file.valid());
  bool removesProgram = false;
  EXPECT_FALSE(WriteSelfRemovalLines(file.get(), L"C:\\P\\uninstall.exe", L"C:\\P", L"C:\\t\\Uninstall_Vok.Bat",
                                     false, &removesProgram));
}

TEST(WriteSelfRemovalLines, ADriveRootStaysARoot) {
  TempFolder folder(L"vokbat");
  const std::wstring path = folder.Join(L"root.bat");
  {
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    ASSERT_TRUE(file.valid());
    EXPECT_TRUE(
        WriteSelfRemovalLines(file.get(), L"M:\\uninstall.exe", L"M:\\", L"C:\\t\\Uninstall_Vok.Bat", true, nullptr));
  }
  const std::string bytes = ReadFileBytes(path);
  EXPECT_NE(std::string::npos, bytes.find("\r\nrd \"M:\\\"\r\n")) << bytes;
}

// The batch made in a test folder that stands in for the temporary folder.
class CreateBatch : public testing::Test {
 protected:
  CreateBatch() : temp_(L"vokbatch") {}
  SelfRemovalBatch Create(const wchar_t* program = L"C:\\Program Files\\Ovenix\\uninstall.exe",
                          const wchar_t* folder = L"C:\\Program Files\\Ovenix") {
    return CreateIn(temp_.path() + L"\\", program, folder);
  }
  SelfRemovalBatch CreateIn(const std::wstring& tempFolder, const wchar_t* program, const wchar_t* folder) {
    std::wmemset(batchPath_, L'X', 2047);  // sentinel: the path must be written or emptied
    batchPath_[2047] = 0;
    return CreateSelfRemovalBatch(tempFolder.c_str(), program, folder, /*silent=*/true, batchPath_);
  }
  std::wstring BatchFolder() const {
    const std::wstring path = batchPath_;
    return path.substr(0, path.rfind(L'\\'));
  }
  // The silent lines, with the batch's own path and folder (ASCII, as the test folder's are).
  std::string Expected(bool programNamed = true) const {
    const std::string text = ExpectedBatch(true, programNamed);
    const std::string last = std::string("del \"") + kBatch + "\" & rd \"" + kBatchFolder + "\"\r\n";
    const std::wstring path = batchPath_, folder = BatchFolder();
    return text.substr(0, text.size() - last.size()) + "del \"" + std::string(path.begin(), path.end()) +
           "\" & rd \"" + std::string(folder.begin(), folder.end()) + "\"\r\n";
  }
  TempFolder temp_;
  wchar_t batchPath_[2048] = {};
};

TEST_F(CreateBatch, WritesTheBatchIntoANewFolderNamedBy32HexadecimalDigits) {
  ASSERT_EQ(SelfRemovalBatch::RemovesProgram, Create());
  const std::wstring path = batchPath_;
  const std::wstring prefix = temp_.path() + L"\\";
  ASSERT_EQ(prefix.size() + 32 + std::wcslen(L"\\Uninstall_Vok.Bat"), path.size()) << testing::PrintToString(path);
  EXPECT_EQ(prefix, path.substr(0, prefix.size()));
  const std::wstring name = path.substr(prefix.size(), 32);
  EXPECT_EQ(std::wstring::npos, name.find_first_not_of(L"0123456789ABCDEF")) << testing::PrintToString(name);
  EXPECT_EQ(L"\\Uninstall_Vok.Bat", path.substr(prefix.size() + 32));
  EXPECT_EQ(Expected(), ReadFileBytes(path));
}

TEST_F(CreateBatch, WritesNothingWhereNoFolderCanBeMade) {
  EXPECT_EQ(SelfRemovalBatch::NotWritten, CreateIn(temp_.Join(L"missing\\"), L"C:\\P\\uninstall.exe", L"C:\\P"));
  EXPECT_EQ(std::wstring(), std::wstring(batchPath_));
  EXPECT_EQ(std::vector<std::wstring>(), ListFileTree(temp_.path()));
}

// Anyone may make "<temp>\Uninstall_Vok.Bat" first: a file kept open, a folder, a link elsewhere.
TEST_F(CreateBatch, LeavesAFileOrFolderAtTheOldFixedNameAlone) {
  const std::wstring fixed = temp_.Join(L"Uninstall_Vok.Bat");
  ASSERT_TRUE(WriteFileBytes(fixed, "someone else's"));
  {
    UniqueFileHandle held(CreateFileW(fixed.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.valid());
    EXPECT_EQ(SelfRemovalBatch::RemovesProgram, Create()) << "a file kept open";
  }
  EXPECT_EQ("someone else's", ReadFileBytes(fixed));

  ASSERT_TRUE(DeleteFileW(fixed.c_str()));
  ASSERT_TRUE(CreateDirectoryW(fixed.c_str(), nullptr));
  EXPECT_EQ(SelfRemovalBatch::RemovesProgram, Create()) << "an empty folder";
  EXPECT_TRUE(FolderExists(fixed));
}

TEST_F(CreateBatch, LeavesALinkAtTheOldFixedNameAlone) {
  const std::wstring fixed = temp_.Join(L"Uninstall_Vok.Bat");
  TempFolder other(L"voktarget");
  const std::wstring target = other.Join(L"target.txt");
  ASSERT_TRUE(WriteFileBytes(target, "target"));
  const ScopedLink link(fixed, target, /*folder=*/false);
  if (!link.made()) GTEST_SKIP() << "this system allows no file link here (error " << GetLastError() << ")";
  EXPECT_EQ(SelfRemovalBatch::RemovesProgram, Create());
  EXPECT_EQ("target", ReadFileBytes(fixed)) << "the link is gone or leads elsewhere";
  EXPECT_EQ("target", ReadFileBytes(target));
}

// The well-known SIDs and the test's own account (the uninstaller's, as it runs in this process).
struct Sid {
  alignas(DWORD) BYTE bytes[SECURITY_MAX_SID_SIZE] = {};
};
Sid WellKnownSid(WELL_KNOWN_SID_TYPE type) {
  Sid sid;
  DWORD size = sizeof sid.bytes;
  CreateWellKnownSid(type, nullptr, sid.bytes, &size);
  return sid;
}
Sid AccountSid() {
  Sid sid;
  UniqueKernelHandle token;
  alignas(TOKEN_USER) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
  DWORD size = 0;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()) &&
      GetTokenInformation(token.get(), TokenUser, user, sizeof user, &size)) {
    CopySid(sizeof sid.bytes, sid.bytes, reinterpret_cast<TOKEN_USER*>(user)->User.Sid);
  }
  return sid;
}

// The DACL of a file or folder, read into `descriptor`; null when there is none (everyone has access).
ACL* DaclOf(const std::wstring& path, BYTE (&descriptor)[4096], SECURITY_DESCRIPTOR_CONTROL* control) {
  DWORD needed = 0, revision = 0;
  BOOL present = FALSE, defaulted = FALSE;
  ACL* dacl = nullptr;
  if (!GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, descriptor, sizeof descriptor, &needed) ||
      !GetSecurityDescriptorControl(descriptor, control, &revision) ||
      !GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present) {
    return nullptr;
  }
  return dacl;
}

ACCESS_ALLOWED_ACE* AceOf(ACL* dacl, DWORD index) {
  void* ace = nullptr;
  return GetAce(dacl, index, &ace) ? static_cast<ACCESS_ALLOWED_ACE*>(ace) : nullptr;
}

TEST_F(CreateBatch, OnlySystemAdministratorsAndTheRunningAccountHaveAccess) {
  ASSERT_EQ(SelfRemovalBatch::RemovesProgram, Create());
  alignas(DWORD) BYTE descriptor[4096] = {};
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  if (RunningUnderWine()) {
    // A Wine difference: Wine 8 keeps no security descriptor for a file or folder and answers with
    // one made from the Unix mode bits (and gives a new file no inherited entries). The folder's
    // bits still show that everyone else was left out.
    Sid everyone = WellKnownSid(WinWorldSid);
    ACL* dacl = DaclOf(BatchFolder(), descriptor, &control);
    ASSERT_NE(nullptr, dacl) << "no DACL: everyone has access";
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
      ACCESS_ALLOWED_ACE* ace = AceOf(dacl, i);
      ASSERT_NE(nullptr, ace);
      EXPECT_FALSE(EqualSid(&ace->SidStart, everyone.bytes)) << "entry " << i << " is for everyone";
    }
    return;
  }
  Sid expected[] = {WellKnownSid(WinLocalSystemSid), WellKnownSid(WinBuiltinAdministratorsSid), AccountSid()};
  struct Checked {
    std::wstring path;
    BYTE aceFlags;  // the folder's own entries are passed on; the file's are inherited from it
  } const checked[] = {{BatchFolder(), OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE}, {batchPath_, INHERITED_ACE}};
  for (const Checked& c : checked) {
    SCOPED_TRACE(testing::PrintToString(c.path));
    ACL* dacl = DaclOf(c.path, descriptor, &control);
    ASSERT_NE(nullptr, dacl) << "no DACL: everyone has access";
    if (c.aceFlags != INHERITED_ACE) {
      EXPECT_NE(0, control & SE_DACL_PROTECTED) << "the parent's entries may come in";
    }
    ASSERT_EQ(3u, dacl->AceCount);
    for (DWORD i = 0; i < 3; ++i) {
      ACCESS_ALLOWED_ACE* ace = AceOf(dacl, i);
      ASSERT_NE(nullptr, ace);
      EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, ace->Header.AceType) << "entry " << i;
      EXPECT_EQ(c.aceFlags, ace->Header.AceFlags) << "entry " << i;
      EXPECT_EQ(static_cast<DWORD>(FILE_ALL_ACCESS), ace->Mask) << "entry " << i;
      EXPECT_TRUE(EqualSid(&ace->SidStart, expected[i].bytes)) << "entry " << i;
    }
  }
}

TEST_F(CreateBatch, WithoutAnExactProgramPathKeepsOnlyTheLinesThatNameNothingElse) {
  ASSERT_EQ(SelfRemovalBatch::KeepsProgram, Create(kUnnamedProgram, kUnnamedFolder));
  EXPECT_EQ(Expected(/*programNamed=*/false), ReadFileBytes(batchPath_));
}

}  // namespace
