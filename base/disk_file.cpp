#include "base/disk_file.h"

#include <climits>
#include <cwchar>

#include "base/bounded_text.h"
#include "base/error_reporter.h"
#include "base/handles.h"
#include "base/paths.h"

namespace {

// Pipes and consoles refuse very large reads on some systems; the retry asks for this much.
constexpr DWORD kDeviceReadLimit = 20000;
// A read of a locked range fails as a whole; the retry asks for this much.
constexpr DWORD kLockedReadLimit = 32768;
constexpr DWORD kStreamWritePiece = 0x4000;

// A name the object could not store in full would later be closed, reported and deleted under a
// shorter one, another file's.
bool NameFits(const wchar_t* name) noexcept {
  if (wcsnlen(name, kPathCapacity) < kPathCapacity) return true;
  SetLastError(ERROR_FILENAME_EXCED_RANGE);
  return false;
}

// DeleteFileW through each form of the name until one succeeds; the last error stays in place.
bool DeleteThrough(PathForms& forms) noexcept {
  for (const wchar_t* form = forms.Next(); form; form = forms.Next()) {
    if (DeleteFileW(form)) return true;
  }
  return false;
}

bool ReadInto(HANDLE handle, void* buffer, DWORD byteCount, DWORD& got) noexcept {
  got = 0;
  return ReadFile(handle, buffer, byteCount, &got, nullptr) != FALSE;
}

}  // namespace

DiskFile::DiskFile() noexcept
    : handle_(INVALID_HANDLE_VALUE),
      handleKind_(FileHandleKindOrdinary),
      createdHere_(false),
      readStopped_(false),
      reachedByPlainForm_(false),
      name_{},
      failure_(FileFailureNone) {}

DiskFile::~DiskFile() {
  if (!IsOpen()) return;
  if (createdHere_) {
    Delete();
  } else {
    Close();
  }
}

bool DiskFile::IsOpen() const noexcept { return handle_ != INVALID_HANDLE_VALUE; }

bool DiskFile::Open(const wchar_t* name, uint32_t mode) {
  Close();
  failure_ = FileFailureNone;
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (!NameFits(name)) return false;
  DWORD access = GENERIC_READ;
  if (mode & kOpenWriteOnly) {
    access = GENERIC_WRITE;
  } else if (mode & kOpenReadWrite) {
    access = GENERIC_READ | GENERIC_WRITE;
  }
  DWORD sharing = (mode & kOpenDenyRead) ? 0 : FILE_SHARE_READ;
  if (mode & kOpenShareWrite) sharing |= FILE_SHARE_WRITE;

  HANDLE handle = INVALID_HANDLE_VALUE;
  // The first attempt's error counts, unless a later one says the file is not there.
  DWORD error = ERROR_INVALID_NAME;
  bool attempted = false;
  PathForms forms(name);
  for (const wchar_t* form = forms.Next(); form; form = forms.Next()) {
    handle = CreateFileW(form, access, sharing, /*security=*/nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                         /*template=*/nullptr);
    if (handle != INVALID_HANDLE_VALUE) break;
    if (!attempted || GetLastError() == ERROR_FILE_NOT_FOUND) error = GetLastError();
    attempted = true;
  }
  if (handle == INVALID_HANDLE_VALUE) {
    if (error == ERROR_FILE_NOT_FOUND) failure_ = FileFailureNotFound;
    SetLastError(error);
  }
  handleKind_ = FileHandleKindOrdinary;
  createdHere_ = false;
  reachedByPlainForm_ = false;
  if (handle == INVALID_HANDLE_VALUE) return false;
  handle_ = handle;
  CopyBounded(name_, name, kPathCapacity);
  readStopped_ = false;
  return true;
}

bool DiskFile::OpenReporting(const wchar_t* name) {
  if (Open(name, 0)) return true;
  const DWORD error = GetLastError();
  g_errorReporter.ReportOpenError(name);
  SetLastError(error);
  return false;
}

bool DiskFile::Create(const wchar_t* name, uint32_t mode) {
  Close();
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (!NameFits(name)) return false;
  const DWORD sharing = (mode & kCreateShareRead) ? FILE_SHARE_READ : 0;
  const DWORD access = (mode & kCreateWriteOnly) ? GENERIC_WRITE : GENERIC_READ | GENERIC_WRITE;
  HANDLE handle = INVALID_HANDLE_VALUE;
  // The plain form silently drops a trailing dot or space, creating a different name; only the
  // extended-length form keeps the name exactly.
  const bool plainAlways = (mode & kCreateTrailingDotPlain) != 0;
  PathForms forms(name, plainAlways);
  const wchar_t* madeThrough = nullptr;
  for (const wchar_t* form = forms.Next(); form; form = forms.Next()) {
    handle = CreateFileW(form, access, sharing, /*security=*/nullptr, CREATE_ALWAYS, 0, /*template=*/nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      madeThrough = form;
      break;
    }
  }
  handleKind_ = FileHandleKindOrdinary;
  createdHere_ = true;
  // A trimmed name made through the unchanged form is deleted through that form too.
  reachedByPlainForm_ = plainAlways && madeThrough == name;
  CopyBounded(name_, name, kPathCapacity);
  if (handle == INVALID_HANDLE_VALUE) return false;
  handle_ = handle;
  readStopped_ = false;
  failure_ = FileFailureNone;
  return true;
}

bool DiskFile::Close() {
  bool closed = true;
  if (IsOpen()) {
    if (handleKind_ == FileHandleKindOrdinary) closed = CloseHandle(handle_) != FALSE;
    handle_ = INVALID_HANDLE_VALUE;
  }
  handleKind_ = FileHandleKindOrdinary;
  if (!closed) {
    const DWORD error = GetLastError();
    g_errorReporter.ReportCloseError(name_);
    SetLastError(error);
  }
  return closed;
}

bool DiskFile::Delete() {
  if (handleKind_ == FileHandleKindStandardStream) return false;
  if (IsOpen()) Close();
  PathForms forms(name_, reachedByPlainForm_);
  return DeleteThrough(forms);
}

void DiskFile::UseStandardStreams() {
  Close();
  handleKind_ = FileHandleKindStandardStream;
  createdHere_ = false;
  readStopped_ = false;
  failure_ = FileFailureNone;
  name_[0] = 0;
  // Reads and writes fetch the current standard handle each time; this one only marks the object
  // as open.
  handle_ = GetStdHandle(STD_INPUT_HANDLE);
  if (handle_ == nullptr) handle_ = INVALID_HANDLE_VALUE;
}

int32_t DiskFile::RawRead(void* buffer, uint32_t byteCount) {
  const bool stream = handleKind_ == FileHandleKindStandardStream;
  const HANDLE handle = stream ? GetStdHandle(STD_INPUT_HANDLE) : handle_;
  // The result is a signed 32-bit count.
  const DWORD wanted = byteCount > static_cast<uint32_t>(INT32_MAX) ? static_cast<DWORD>(INT32_MAX) : byteCount;
  DWORD got = 0;
  if (ReadInto(handle, buffer, wanted, got)) return static_cast<int32_t>(got);

  const DWORD error = GetLastError();
  const DWORD type = GetFileType(handle);
  SetLastError(error);
  if ((type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE) && wanted > kDeviceReadLimit) {
    return ReadInto(handle, buffer, kDeviceReadLimit, got) ? static_cast<int32_t>(got) : -1;
  }
  if (stream && error == ERROR_BROKEN_PIPE) return 0;  // the writer has gone: end of input
  if (!stream && wanted > kLockedReadLimit && error == ERROR_LOCK_VIOLATION) {
    return ReadInto(handle, buffer, kLockedReadLimit, got) ? static_cast<int32_t>(got) : -1;
  }
  return -1;
}

int32_t DiskFile::Read(void* buffer, uint32_t byteCount) {
  for (;;) {
    if (readStopped_) return 0;
    const int32_t result = RawRead(buffer, byteCount);
    if (result != -1) return result;
    failure_ = FileFailureReadFailed;
    if (handleKind_ == FileHandleKindStandardStream) return -1;
    if (!g_errorReporter.ReportReadError(name_)) readStopped_ = true;
  }
}

bool DiskFile::Write(const void* buffer, uint32_t byteCount) {
  if (byteCount == 0) return true;
  if (handleKind_ == FileHandleKindStandardStream) {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    const char* bytes = static_cast<const char*>(buffer);
    for (uint32_t done = 0; done < byteCount;) {
      const DWORD piece = byteCount - done < kStreamWritePiece ? byteCount - done : kStreamWritePiece;
      DWORD written = 0;
      if (!WriteFile(output, bytes + done, piece, &written, nullptr)) return false;
      done += piece;
    }
    return true;
  }
  for (;;) {
    DWORD written = 0;
    if (WriteFile(handle_, buffer, byteCount, &written, nullptr)) {
      if (written == byteCount) return true;
      // A short write leaves the file incomplete; it is a failure, not a success.
      SetLastError(ERROR_HANDLE_DISK_FULL);
    }
    const DWORD error = GetLastError();
    const uint64_t position = Tell();
    const uint64_t freeSpace = FreeSpaceFor(name_);
    SetLastError(error);
    if (byteCount < freeSpace && position - byteCount <= 0xFFFFFFFFull && position + byteCount > 0xFFFFFFFFull) {
      g_errorReporter.ReportFileTooLarge(name_);
      SetLastError(error);
    }
    if (!g_errorReporter.AskRetryWrite(name_)) {
      SetLastError(error);
      return false;
    }
  }
}

bool DiskFile::RawSeek(int64_t offset, DWORD method) {
  if (!IsOpen()) return true;
  if (offset < 0 && method == FILE_CURRENT) {
    offset += static_cast<int64_t>(Tell());
    method = FILE_BEGIN;
  } else if (offset < 0 && method == FILE_END) {
    offset += static_cast<int64_t>(Length());
    method = FILE_BEGIN;
  }
  LONG high = static_cast<LONG>(offset >> 32);
  SetLastError(NO_ERROR);  // INVALID_SET_FILE_POINTER is also a valid low half
  const DWORD low = SetFilePointer(handle_, static_cast<LONG>(offset & 0xFFFFFFFF), &high, method);
  return !(low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

void DiskFile::Seek(int64_t offset, DWORD method) {
  if (!RawSeek(offset, method)) g_errorReporter.ReportSeekError(name_);
}

uint64_t DiskFile::Tell() {
  if (!IsOpen()) g_errorReporter.ReportSeekError(name_);
  LONG high = 0;
  SetLastError(NO_ERROR);
  const DWORD low = SetFilePointer(handle_, 0, &high, FILE_CURRENT);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
    g_errorReporter.ReportSeekError(name_);
    return 0;
  }
  return (static_cast<uint64_t>(static_cast<DWORD>(high)) << 32) | low;
}

uint64_t DiskFile::Length() {
  const uint64_t position = Tell();
  Seek(0, FILE_END);
  const uint64_t end = Tell();
  Seek(static_cast<int64_t>(position), FILE_BEGIN);
  return end;
}

bool RemoveFile(const wchar_t* name) {
  if (!name) return false;
  PathForms forms(name);
  return DeleteThrough(forms);
}

uint64_t FreeSpaceFor(const wchar_t* fileName) {
  if (!fileName) return 0;
  wchar_t folder[kPathCapacity];
  const size_t folderLength = static_cast<size_t>(FileNamePart(fileName) - fileName);
  CopyBounded(folder, fileName, (folderLength < kPathCapacity - 1 ? folderLength : kPathCapacity - 1) + 1);
  ULARGE_INTEGER callerFree = {}, total = {}, totalFree = {};
  if (!GetDiskFreeSpaceExW(folder[0] != 0 ? folder : nullptr, &callerFree, &total, &totalFree)) return 0;
  if (callerFree.HighPart > totalFree.HighPart) return 0;
  return callerFree.QuadPart;
}
