// The self-removal batch file: the bytes cmd will read, and how the file is put in place.
#include "uninstall/self_removal.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "base/handles.h"
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
const char kBatch[] = "C:\\users\\tester\\Temp\\Uninstall_Vok.Bat";

// Paths with no exact form in the OEM code page (L-stroke) and, as they do not exist, no short form.
const wchar_t kUnnamedProgram[] = L"C:\\vok-none\\\u0141\\uninstall.exe";
const wchar_t kUnnamedFolder[] = L"C:\\vok-none\\\u0141";
const wchar_t kUnnamedBatch[] = L"C:\\vok-none\\\u0141\\Uninstall_Vok.Bat";

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
  if (batchNamed) text += std::string("del \"") + kBatch + "\"\r\n";
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
      {"asking", false, L"C:\\Program Files\\Ovenix\\uninstall.exe", L"C:\\Program Files\\Ovenix",
       L"C:\\users\\tester\\Temp\\Uninstall_Vok.Bat", true, true},
      {"silent", true, L"C:\\Program Files\\Ovenix\\uninstall.exe", L"C:\\Program Files\\Ovenix",
       L"C:\\users\\tester\\Temp\\Uninstall_Vok.Bat", true, true},
      {"program unnamed", false, kUnnamedProgram, kUnnamedFolder, L"C:\\users\\tester\\Temp\\Uninstall_Vok.Bat",
       false, true},
      {"folder unnamed", false, L"C:\\Program Files\\Ovenix\\uninstall.exe", kUnnamedFolder,
       L"C:\\users\\tester\\Temp\\Uninstall_Vok.Bat", false, true},
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

class CreateBatch : public testing::Test {
 protected:
  CreateBatch() : folder_(L"vokbatch"), batch_(folder_.Join(L"Uninstall_Vok.Bat")) {}
  SelfRemovalBatch Create(const wchar_t* program = L"C:\\Program Files\\Ovenix\\uninstall.exe",
                          const wchar_t* folder = L"C:\\Program Files\\Ovenix") {
    return CreateSelfRemovalBatch(batch_.c_str(), program, folder, /*silent=*/true);
  }
  std::string Expected(bool programNamed = true) const {
    std::string text = ExpectedBatch(true, programNamed);
    const std::string last = std::string("del \"") + kBatch + "\"\r\n";
    std::string batchBytes(batch_.begin(), batch_.end());  // the test folder's path is ASCII
    return text.substr(0, text.size() - last.size()) + "del \"" + batchBytes + "\"\r\n";
  }
  TempFolder folder_;
  std::wstring batch_;
};

TEST_F(CreateBatch, ReplacesAStaleReadOnlyFile) {
  ASSERT_TRUE(WriteFileBytes(batch_, "echo stale\r\n"));
  ASSERT_TRUE(SetFileAttributesW(batch_.c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_EQ(SelfRemovalBatch::RemovesProgram, Create());
  EXPECT_EQ(Expected(), ReadFileBytes(batch_));
}

TEST_F(CreateBatch, ReplacesAnEmptyFolderButNotAFullOne) {
  ASSERT_TRUE(CreateDirectoryW(batch_.c_str(), nullptr));
  ASSERT_EQ(SelfRemovalBatch::RemovesProgram, Create());
  EXPECT_EQ(Expected(), ReadFileBytes(batch_));

  ASSERT_TRUE(DeleteFileW(batch_.c_str()));
  ASSERT_TRUE(MakeFolders(batch_ + L"\\inside"));
  EXPECT_EQ(SelfRemovalBatch::NotWritten, Create()) << "a folder with contents is never removed";
  EXPECT_TRUE(FolderExists(batch_ + L"\\inside"));
}

TEST_F(CreateBatch, RemovesALinkAtTheNameButNotItsTarget) {
  TempFolder other(L"voktarget");
  const std::wstring target = other.Join(L"target.txt");
  ASSERT_TRUE(WriteFileBytes(target, "target"));
  if (!CreateSymbolicLinkW(batch_.c_str(), target.c_str(), 0)) {
    GTEST_SKIP() << "cannot create a file link here (error " << GetLastError() << ")";
  }
  ASSERT_EQ(SelfRemovalBatch::RemovesProgram, Create());
  EXPECT_EQ("target", ReadFileBytes(target)) << "the link's target was written through";
  EXPECT_EQ(Expected(), ReadFileBytes(batch_));
  const DWORD attributes = GetFileAttributesW(batch_.c_str());
  EXPECT_EQ(0u, attributes & FILE_ATTRIBUTE_REPARSE_POINT) << "a new plain file stands at the name";
}

TEST_F(CreateBatch, WithoutAnExactProgramPathKeepsOnlyTheLinesThatNameNothingElse) {
  ASSERT_EQ(SelfRemovalBatch::KeepsProgram, Create(kUnnamedProgram, kUnnamedFolder));
  EXPECT_EQ(Expected(/*programNamed=*/false), ReadFileBytes(batch_));
}

}  // namespace
