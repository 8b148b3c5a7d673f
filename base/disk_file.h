// A file of raw bytes over a Windows file handle, or the process's standard input and output.
//
// Every operation on a name tries it unchanged first and once more in its extended-length form
// ("\\?\", see base/paths.h); a name whose unchanged form Windows would trim into another one (a
// trailing dot or blank) is reached through its extended-length form only (PathForms). Read, write, seek and close failures go to g_errorReporter, which
// never shows anything; the object then carries on as each operation says.
#pragma once

#include <windows.h>

#include <cstdint>

// Open mode bits. 0 opens for reading and lets others read.
constexpr uint32_t kOpenReadWrite = 0x1;   // reading and writing
constexpr uint32_t kOpenWriteOnly = 0x2;   // writing only (wins over kOpenReadWrite)
constexpr uint32_t kOpenShareWrite = 0x4;  // let others write as well
constexpr uint32_t kOpenDenyRead = 0x8;    // do not let others read

// Create mode bits. 0 creates for reading and writing, shared with nobody.
constexpr uint32_t kCreateWriteOnly = 0x2;
constexpr uint32_t kCreateShareRead = 0x10;
// Make the plain attempt even when the name ends in a dot or a space (the system then drops the
// trailing character); without it such a name is created exactly, through its extended-length form.
constexpr uint32_t kCreateTrailingDotPlain = 0x20;

enum FileHandleKind : int32_t {
  FileHandleKindOrdinary = 0,
  FileHandleKindStandardStream = 1,  // reads use the standard input, writes the standard output
};

enum FileFailure : int32_t {
  FileFailureNone = 0,
  FileFailureNotFound = 1,  // the last Open failed with ERROR_FILE_NOT_FOUND
  FileFailureReadFailed = 2,  // the last raw read failed
};

class DiskFile {
 public:
  DiskFile() noexcept;
  // An open file made by Create is deleted; any other open file is closed. A writer therefore
  // closes explicitly once its file is complete.
  virtual ~DiskFile();
  DiskFile(const DiskFile&) = delete;
  DiskFile& operator=(const DiskFile&) = delete;

  // Opens an existing file (mode: kOpen* bits). On failure the system's last error stays in place
  // and Failure() is FileFailureNotFound when the file does not exist, else FileFailureNone.
  // An open handle is closed first. A name of 2048 characters or more, which the object
  // could not keep in full, is refused (ERROR_FILENAME_EXCED_RANGE).
  [[nodiscard]] virtual bool Open(const wchar_t* name, uint32_t mode);
  // True when nothing was open. A failed CloseHandle is reported to g_errorReporter. A standard
  // stream is never closed, only forgotten; the kind returns to ordinary file.
  virtual bool Close();
  // Bytes read (up to byteCount); 0 at the end of the file or, for an ordinary file, after a read
  // error (every later Read then returns 0 without touching the handle); -1 when reading a
  // standard stream fails.
  virtual int32_t Read(void* buffer, uint32_t byteCount);
  // method: FILE_BEGIN, FILE_CURRENT or FILE_END. A negative offset from the current position or
  // the end is allowed. Without an open handle nothing happens. Failures go to the reporter.
  virtual void Seek(int64_t offset, DWORD method);
  // The current position; 0 when it cannot be queried (reported).
  virtual uint64_t Tell();
  virtual bool IsOpen() const noexcept;

  // Open with mode 0; a failure is also reported to g_errorReporter (nothing is shown).
  [[nodiscard]] bool OpenReporting(const wchar_t* name);
  // Creates (or truncates) a file (mode: kCreate* bits). False with the last error in place on
  // failure. An open handle is closed first. Names of 2048 characters or more are refused
  // as by Open, before anything is created.
  [[nodiscard]] bool Create(const wchar_t* name, uint32_t mode);
  // Closes and deletes the file by its name; false for a standard stream.
  bool Delete();
  // Writes all bytes. 0 bytes succeed at once. An ordinary file is written in one call; a
  // standard stream in pieces of at most 16 KiB, stopping at the first failed piece.
  [[nodiscard]] bool Write(const void* buffer, uint32_t byteCount);
  // Size in bytes, found by seeking to the end and back.
  uint64_t Length();

  // Makes the object stand for the standard streams (closing an open file first).
  void UseStandardStreams();

  FileFailure Failure() const noexcept { return failure_; }
  FileHandleKind HandleKind() const noexcept { return handleKind_; }
  bool CreatedHere() const noexcept { return createdHere_; }
  bool ReadStopped() const noexcept { return readStopped_; }
  // The name as last passed to Open or Create (names that would not fit are refused).
  const wchar_t* Name() const noexcept { return name_; }

 private:
  int32_t RawRead(void* buffer, uint32_t byteCount);
  bool RawSeek(int64_t offset, DWORD method);

  HANDLE handle_;
  FileHandleKind handleKind_;
  bool createdHere_;
  bool readStopped_;
  bool reachedByPlainForm_;  // Create made a trimmed name through its unchanged form (mode 0x20)
  wchar_t name_[2048];
  FileFailure failure_;
};

// DeleteFileW of the name, then of its extended-length form (PathForms). The last error is left in
// place.
bool RemoveFile(const wchar_t* name);

// Bytes free to the caller on the volume of the file's folder (the current drive for a bare name);
// 0 when the query fails.
uint64_t FreeSpaceFor(const wchar_t* fileName);
