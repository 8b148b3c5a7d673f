#include "base/disk_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/error_reporter.h"
#include "base/handles.h"
#include "base/paths.h"
#include "support/temp_folder.h"

namespace {

class DiskFileFixture : public ::testing::Test {
 protected:
  std::wstring Path(const wchar_t* name) const { return temp_.Join(name); }
  // Names with a trailing dot are reached only through the extended-length form.
  std::wstring Exact(const wchar_t* name) const { return L"\\\\?\\" + temp_.Join(name); }
  TempFolder temp_{L"vokfile"};
};

TEST_F(DiskFileFixture, OpenFailuresTellNotFoundApart) {
  DiskFile file;
  SetLastError(0);
  EXPECT_FALSE(file.Open(Path(L"missing.txt").c_str(), 0));
  EXPECT_EQ(FileFailureNotFound, file.Failure());
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError()) << "the last error stays in place";
  EXPECT_FALSE(file.IsOpen());

  ASSERT_TRUE(WriteFileBytes(Path(L"locked.txt"), "data"));
  UniqueFileHandle lock(
      CreateFileW(Path(L"locked.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(lock);
  EXPECT_FALSE(file.Open(Path(L"locked.txt").c_str(), 0));
  EXPECT_EQ(FileFailureNone, file.Failure()) << "a locked file is not a missing one";
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
  lock.reset();

  ASSERT_TRUE(file.Open(Path(L"locked.txt").c_str(), 0));
  EXPECT_EQ(FileFailureNone, file.Failure());
  EXPECT_STREQ(Path(L"locked.txt").c_str(), file.Name());
  EXPECT_FALSE(file.CreatedHere());

  const uint32_t reports = g_errorReporter.ReportCount();
  DiskFile reporting;
  EXPECT_FALSE(reporting.OpenReporting(Path(L"missing.txt").c_str()));
  EXPECT_EQ(reports + 1, g_errorReporter.ReportCount()) << "OpenReporting tells the reporter";
}

TEST_F(DiskFileFixture, OpenModeBitsSetAccessAndSharing) {
  struct Case {
    const char* what;
    uint32_t firstMode;
    uint32_t secondMode;
    bool secondOpens;
    bool firstCanWrite;
  };
  const Case cases[] = {
      {"readers share with readers", 0, 0, true, false},
      {"mode 0 refuses a second writer", 0, kOpenReadWrite, false, false},
      {"share-write lets a writer in", kOpenShareWrite, kOpenReadWrite | kOpenShareWrite, true, false},
      {"deny-read keeps readers out", kOpenDenyRead, 0, false, false},
      {"read-write can write", kOpenReadWrite, 0, false, true},  // the reader would need write sharing
      {"write-only wins over read-write", kOpenWriteOnly | kOpenReadWrite | kOpenShareWrite,
       kOpenShareWrite, true, true},
  };
  ASSERT_TRUE(WriteFileBytes(Path(L"shared.txt"), "0123456789"));
  for (const Case& c : cases) {
    DiskFile first, second;
    ASSERT_TRUE(first.Open(Path(L"shared.txt").c_str(), c.firstMode)) << c.what;
    EXPECT_EQ(c.secondOpens, second.Open(Path(L"shared.txt").c_str(), c.secondMode)) << c.what;
    EXPECT_EQ(c.firstCanWrite, first.Write("ab", 2)) << c.what;
  }
  // A write-only file cannot be read: the read error stops reading.
  DiskFile writeOnly;
  ASSERT_TRUE(writeOnly.Open(Path(L"shared.txt").c_str(), kOpenWriteOnly));
  char buffer[4];
  EXPECT_EQ(0, writeOnly.Read(buffer, 4));
  EXPECT_EQ(FileFailureReadFailed, writeOnly.Failure());
}

TEST_F(DiskFileFixture, ReadErrorStopsReadingForGood) {
  ASSERT_TRUE(WriteFileBytes(Path(L"r.txt"), "content"));
  DiskFile file;
  ASSERT_TRUE(file.Open(Path(L"r.txt").c_str(), kOpenWriteOnly));
  char buffer[16];
  const uint32_t before = g_errorReporter.ReportCount();
  EXPECT_EQ(0, file.Read(buffer, sizeof buffer));
  EXPECT_TRUE(file.ReadStopped());
  EXPECT_EQ(before + 1, g_errorReporter.ReportCount()) << "one read error reported";
  EXPECT_EQ(0, file.Read(buffer, sizeof buffer));
  EXPECT_EQ(before + 1, g_errorReporter.ReportCount()) << "the handle is not read again";

  // Opening again clears the stop.
  ASSERT_TRUE(file.Open(Path(L"r.txt").c_str(), 0));
  EXPECT_FALSE(file.ReadStopped());
  EXPECT_EQ(7, file.Read(buffer, sizeof buffer));
}

TEST_F(DiskFileFixture, WriteReadSeekTellLengthRoundTrip) {
  std::string content;
  for (int i = 0; i < 5000; ++i) content += static_cast<char>('a' + i % 26);
  {
    DiskFile file;
    ASSERT_TRUE(file.Create(Path(L"rw.bin").c_str(), 0));
    EXPECT_TRUE(file.CreatedHere());
    ASSERT_TRUE(file.Write(content.data(), static_cast<uint32_t>(content.size())));
    EXPECT_EQ(5000u, file.Tell());
    EXPECT_EQ(5000u, file.Length());
    EXPECT_EQ(5000u, file.Tell()) << "Length restores the position";

    struct Case {
      const char* what;
      int64_t offset;
      DWORD method;
      uint64_t position;
    };
    const Case cases[] = {
        {"from the start", 100, FILE_BEGIN, 100},
        {"forward from here", 50, FILE_CURRENT, 150},
        {"back from here", -20, FILE_CURRENT, 130},
        {"back from the end", -10, FILE_END, 4990},
        {"the end", 0, FILE_END, 5000},
        {"beyond 4 GiB", int64_t{5} << 30, FILE_BEGIN, uint64_t{5} << 30},
    };
    for (const Case& c : cases) {
      file.Seek(c.offset, c.method);
      EXPECT_EQ(c.position, file.Tell()) << c.what;
    }
    file.Seek(-10, FILE_END);
    char tail[16] = {};
    EXPECT_EQ(10, file.Read(tail, sizeof tail)) << "Seek(-10, FILE_END) leaves 10 bytes";
    EXPECT_EQ(content.substr(4990), std::string(tail, 10));
    EXPECT_EQ(0, file.Read(tail, sizeof tail)) << "end of file";

    const uint32_t reports = g_errorReporter.ReportCount();
    file.Seek(-6000, FILE_END);  // before the start
    EXPECT_EQ(reports + 1, g_errorReporter.ReportCount()) << "a failed seek is reported";
    EXPECT_TRUE(file.Close());
    EXPECT_FALSE(file.IsOpen());
    EXPECT_TRUE(file.Close()) << "closing a closed file succeeds";
  }
  EXPECT_EQ(content, ReadFileBytes(Path(L"rw.bin"))) << "a closed file is kept";

  DiskFile reader;
  ASSERT_TRUE(reader.Open(Path(L"rw.bin").c_str(), 0));
  std::vector<char> back(8000);
  EXPECT_EQ(5000, reader.Read(back.data(), 8000));
  EXPECT_EQ(content, std::string(back.data(), 5000));
}

TEST_F(DiskFileFixture, WritingZeroBytesNeedsNoFile) {
  DiskFile closed;
  EXPECT_TRUE(closed.Write("x", 0)) << "no system call is made, so no handle is needed";
  const uint32_t reports = g_errorReporter.ReportCount();
  EXPECT_FALSE(closed.Write("x", 1)) << "one byte does need a handle";
  EXPECT_GT(g_errorReporter.ReportCount(), reports) << "the failure went to the reporter";
}

TEST_F(DiskFileFixture, CreatedFileIsDeletedUnlessClosed) {
  {
    DiskFile abandoned;
    ASSERT_TRUE(abandoned.Create(Path(L"abandoned.tmp").c_str(), 0));
    ASSERT_TRUE(abandoned.Write("half", 4));
    EXPECT_TRUE(FileExists(Path(L"abandoned.tmp")));
  }
  EXPECT_FALSE(FileExists(Path(L"abandoned.tmp"))) << "destroyed without Close: deleted";
  {
    DiskFile kept;
    ASSERT_TRUE(kept.Create(Path(L"kept.tmp").c_str(), 0));
    ASSERT_TRUE(kept.Write("all", 3));
    EXPECT_TRUE(kept.Close());
  }
  EXPECT_EQ("all", ReadFileBytes(Path(L"kept.tmp")));
  {
    DiskFile opened;
    ASSERT_TRUE(opened.Open(Path(L"kept.tmp").c_str(), 0));
  }
  EXPECT_TRUE(FileExists(Path(L"kept.tmp"))) << "an opened file is only closed";
  {
    DiskFile unwound;
    try {
      ASSERT_TRUE(unwound.Create(Path(L"unwound.tmp").c_str(), 0));
      g_errorReporter.FailOutOfMemory();
    } catch (VOK_EXIT) {
    }
  }
  EXPECT_FALSE(FileExists(Path(L"unwound.tmp"))) << "unwound past without Close: deleted";
  {
    // Its look-alike "twin" (what the plain form of "twin." names) is someone else's.
    ASSERT_TRUE(WriteFileBytes(Path(L"twin"), "other"));
    DiskFile abandonedDotted;
    ASSERT_TRUE(abandonedDotted.Create(Path(L"twin.").c_str(), 0));
  }
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(Exact(L"twin.").c_str()));
  EXPECT_EQ("other", ReadFileBytes(Path(L"twin")));
  {
    auto* heap = new DiskFile;
    ASSERT_TRUE(heap->Create(Path(L"virtual.tmp").c_str(), 0));
    delete heap;  // through the virtual destructor
  }
  EXPECT_FALSE(FileExists(Path(L"virtual.tmp")));
}

TEST_F(DiskFileFixture, CreateModeBits) {
  {
    DiskFile exclusive;
    ASSERT_TRUE(exclusive.Create(Path(L"excl.txt").c_str(), 0));
    DiskFile other;
    EXPECT_FALSE(other.Open(Path(L"excl.txt").c_str(), kOpenShareWrite)) << "no sharing without 0x10";
    exclusive.Close();
  }
  {
    DiskFile shared;
    ASSERT_TRUE(shared.Create(Path(L"shared.txt").c_str(), kCreateShareRead | kCreateWriteOnly));
    ASSERT_TRUE(shared.Write("abc", 3));
    DiskFile other;
    EXPECT_TRUE(other.Open(Path(L"shared.txt").c_str(), kOpenShareWrite)) << "0x10 lets readers in";
    char buffer[4];
    EXPECT_EQ(0, shared.Read(buffer, 4)) << "write-only";
    shared.Close();
  }
  {
    DiskFile truncating;
    ASSERT_TRUE(truncating.Create(Path(L"shared.txt").c_str(), 0));
    truncating.Close();
    EXPECT_EQ("", ReadFileBytes(Path(L"shared.txt"))) << "Create truncates";
  }
}

TEST_F(DiskFileFixture, TrailingDotOrSpaceNamesAreCreatedExactly) {
  struct Case {
    const wchar_t* name;
    uint32_t mode;
    const wchar_t* exactName;  // name that must exist afterwards (reached through \\?\)
    const wchar_t* absentName;
  };
  const Case cases[] = {
      {L"dot.", 0, L"dot.", L"dot"},
      {L"blank ", 0, L"blank ", L"blank"},
      {L"plain.", kCreateTrailingDotPlain, L"plain", L"plain."},  // the system drops the dot
  };
  for (const Case& c : cases) {
    DiskFile file;
    ASSERT_TRUE(file.Create(Path(c.name).c_str(), c.mode)) << c.name;
    ASSERT_TRUE(file.Close());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(Exact(c.exactName).c_str())) << c.name;
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(Exact(c.absentName).c_str())) << c.name;
    // Opening and deleting by the same name reach the exact name: the plain-made "plain" is not
    // "plain.", so that name opens and deletes nothing.
    const bool exact = wcscmp(c.name, c.exactName) == 0;
    DiskFile reopened;
    EXPECT_EQ(exact, reopened.Open(Path(c.name).c_str(), 0)) << c.name;
    reopened.Close();
    EXPECT_EQ(exact, RemoveFile(Path(c.name).c_str())) << c.name;
    EXPECT_EQ(exact, GetFileAttributesW(Exact(c.exactName).c_str()) == INVALID_FILE_ATTRIBUTES) << c.name;
  }

  // "x." and "x" side by side: each name opens, tests and deletes its own file.
  ASSERT_TRUE(WriteFileBytes(Exact(L"x."), "dotted"));
  ASSERT_TRUE(WriteFileBytes(Path(L"x"), "plain"));
  {
    DiskFile dotted;
    ASSERT_TRUE(dotted.Open(Path(L"x.").c_str(), 0));
    char buffer[8] = {};
    EXPECT_EQ(6, dotted.Read(buffer, sizeof buffer - 1));
    EXPECT_STREQ("dotted", buffer);
  }
  EXPECT_TRUE(RemoveFile(Path(L"x.").c_str()));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(Exact(L"x.").c_str()));
  EXPECT_EQ("plain", ReadFileBytes(Path(L"x")));
  DiskFile missing;
  EXPECT_FALSE(missing.Open(Path(L"x.").c_str(), 0)) << "the plain form would open \"x\"";
  EXPECT_EQ(FileFailureNotFound, missing.Failure());
  EXPECT_FALSE(RemoveFile(Path(L"x.").c_str()));
  EXPECT_EQ("plain", ReadFileBytes(Path(L"x")));
  // The extended form does not resolve "..": refused rather than tried in another form.
  ASSERT_TRUE(MakeFolders(Path(L"sub")));
  EXPECT_FALSE(missing.Open(Path(L"sub\\..\\x.").c_str(), 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), GetLastError());
  EXPECT_FALSE(missing.Create(Path(L"sub\\..\\y.").c_str(), 0));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(Exact(L"y.").c_str()));
}

TEST_F(DiskFileFixture, NamesTooLongToKeepAreRefused) {
  // A folder chain deep enough for a 2048-character name; each component stays below 255.
  std::wstring deep = temp_.path();
  std::vector<std::wstring> folders;
  while (deep.size() < 1800) {
    deep += L"\\" + std::wstring(200, static_cast<wchar_t>(L'a' + folders.size()));
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr));
    folders.push_back(deep);
  }
  const std::wstring name = deep + L"\\" + std::wstring(2048 - deep.size() - 1, L'n');
  ASSERT_EQ(2048u, name.size());
  // The name the object would keep if it cut the name to its 2048-character buffer.
  const std::wstring cut = name.substr(0, 2047);
  ASSERT_TRUE(WriteFileBytes(L"\\\\?\\" + cut, "someone else's"));
  {
    DiskFile file;
    SetLastError(0);
    EXPECT_FALSE(file.Create(name.c_str(), 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), GetLastError());
    EXPECT_FALSE(file.Open(name.c_str(), 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), GetLastError());
    EXPECT_FALSE(file.IsOpen());
  }
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((L"\\\\?\\" + name).c_str())) << "nothing was made";
  EXPECT_EQ("someone else's", ReadFileBytes(L"\\\\?\\" + cut)) << "an abandoned file is deleted by its full name only";
  {
    DiskFile fits;
    ASSERT_TRUE(fits.Open(cut.c_str(), 0)) << "2047 characters fit";
    EXPECT_STREQ(cut.c_str(), fits.Name());
  }
  DeleteFileW((L"\\\\?\\" + cut).c_str());
  for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
    RemoveDirectoryW((L"\\\\?\\" + *folder).c_str());
  }
}

TEST_F(DiskFileFixture, DeleteAndRemoveFile) {
  DiskFile file;
  ASSERT_TRUE(file.Create(Path(L"gone.txt").c_str(), 0));
  EXPECT_TRUE(file.Delete()) << "closes and deletes";
  EXPECT_FALSE(file.IsOpen());
  EXPECT_FALSE(FileExists(Path(L"gone.txt")));
  EXPECT_FALSE(RemoveFile(Path(L"gone.txt").c_str()));
  EXPECT_FALSE(RemoveFile(nullptr));

  // A path longer than the classic limit.
  std::wstring deep = temp_.path();
  for (int i = 0; i < 6; ++i) {
    deep += L"\\" + std::wstring(60, static_cast<wchar_t>(L'a' + i));
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr));
  }
  const std::wstring longName = deep + L"\\long.txt";
  ASSERT_GT(longName.size(), static_cast<size_t>(MAX_PATH));
  {
    DiskFile writer;
    ASSERT_TRUE(writer.Create(longName.c_str(), 0));
    ASSERT_TRUE(writer.Write("deep", 4));
    EXPECT_TRUE(writer.Close());
    DiskFile reader;
    ASSERT_TRUE(reader.Open(longName.c_str(), 0));
    char buffer[8] = {};
    EXPECT_EQ(4, reader.Read(buffer, 8));
    EXPECT_STREQ("deep", buffer);
  }
  EXPECT_TRUE(PathExists(longName.c_str()));
  EXPECT_TRUE(RemoveFile(longName.c_str()));
  EXPECT_FALSE(PathExists(longName.c_str()));
  for (int i = 0; i < 6; ++i) {
    RemoveDirectoryW((L"\\\\?\\" + deep).c_str());
    deep.resize(deep.rfind(L'\\'));
  }
}

TEST_F(DiskFileFixture, FreeSpace) {
  ASSERT_TRUE(WriteFileBytes(Path(L"f.txt"), "x"));
  EXPECT_GT(FreeSpaceFor(Path(L"f.txt").c_str()), 0u);
  EXPECT_GT(FreeSpaceFor(L"bare-name.txt"), 0u) << "a bare name queries the current drive";
  EXPECT_EQ(0u, FreeSpaceFor(nullptr));
}

// The standard-stream kind, with the process's standard handles pointed at pipes for the test.
class StandardStreamFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    savedInput_ = GetStdHandle(STD_INPUT_HANDLE);
    savedOutput_ = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE read = nullptr, write = nullptr;
    ASSERT_TRUE(CreatePipe(&read, &write, nullptr, 1 << 20));
    pipeRead_.reset(read);
    pipeWrite_.reset(write);
  }
  void TearDown() override {
    SetStdHandle(STD_INPUT_HANDLE, savedInput_);
    SetStdHandle(STD_OUTPUT_HANDLE, savedOutput_);
  }
  HANDLE savedInput_ = nullptr, savedOutput_ = nullptr;
  UniqueKernelHandle pipeRead_, pipeWrite_;
};

TEST_F(StandardStreamFixture, ReadsStandardInputUntilTheWriterGoes) {
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(pipeWrite_.get(), "hello", 5, &written, nullptr));
  pipeWrite_.reset();  // the writer has gone: broken pipe after the data
  ASSERT_TRUE(SetStdHandle(STD_INPUT_HANDLE, pipeRead_.get()));
  DiskFile input;
  input.UseStandardStreams();
  EXPECT_EQ(FileHandleKindStandardStream, input.HandleKind());
  char buffer[16] = {};
  EXPECT_EQ(5, input.Read(buffer, sizeof buffer));
  EXPECT_STREQ("hello", buffer);
  EXPECT_EQ(0, input.Read(buffer, sizeof buffer)) << "a broken pipe ends input";
  EXPECT_FALSE(input.Delete()) << "a standard stream is never deleted";
  EXPECT_TRUE(input.Close());
  EXPECT_EQ(FileHandleKindOrdinary, input.HandleKind());
  // The pipe was not closed by the file object: this read still reaches it (and finds the end).
  DWORD got = 1;
  EXPECT_FALSE(ReadFile(pipeRead_.get(), buffer, 1, &got, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_BROKEN_PIPE), GetLastError());
}

TEST_F(StandardStreamFixture, WritesStandardOutputInPieces) {
  ASSERT_TRUE(SetStdHandle(STD_OUTPUT_HANDLE, pipeWrite_.get()));
  std::string content(40000, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
  DiskFile output;
  output.UseStandardStreams();
  EXPECT_TRUE(output.Write(content.data(), static_cast<uint32_t>(content.size())));
  output.Close();
  SetStdHandle(STD_OUTPUT_HANDLE, savedOutput_);
  pipeWrite_.reset();
  std::string back;
  char buffer[8192];
  DWORD got = 0;
  while (ReadFile(pipeRead_.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) back.append(buffer, got);
  EXPECT_EQ(content.size(), back.size());
  EXPECT_TRUE(content == back) << "every piece arrives in order";
}

}  // namespace
