#include "uninstall/self_removal.h"

#include <cstring>
#include <cwchar>

#include "base/handles.h"
#include "base/paths.h"

namespace {

constexpr size_t kDoubledPathCapacity = 2 * kPathCapacity + 1;
constexpr size_t kRemovalAttempts = 5;
constexpr size_t kCommandLineCapacity = kPathCapacity + 64;

// The lines of the batch file; "%P", "%F" and "%B" stand for the program path, the program folder
// and the batch file's own path (a literal "%" never occurs in them).
constexpr char kWaitLine[] = "\"%P\" /wait\r\n";
constexpr char kAttemptLines[] = "del \"%P\"\r\nrd \"%F\"\r\nif not exist \"%P\" goto done\r\n";
constexpr char kDoneLine[] = ":done\r\n";
constexpr char kWarningLine[] = "if exist \"%P\" \"%P\" /warning\r\n";
constexpr char kRemoveSelfLine[] = "del \"%B\"\r\n";

// Bytes a line needs when every path it names takes the most a path can take, terminator included.
constexpr size_t LongestLine(const char* format) {
  size_t bytes = 1;
  for (; *format; ++format) {
    if (*format == '%') {
      bytes += kBatchPathBytes - 1;
      ++format;
    } else {
      ++bytes;
    }
  }
  return bytes;
}

// Room for three paths of the largest size and the text around them.
constexpr size_t kLineBytes = 3 * kBatchPathBytes + 64;
static_assert(LongestLine(kWaitLine) <= kLineBytes && LongestLine(kAttemptLines) <= kLineBytes &&
                  LongestLine(kDoneLine) <= kLineBytes && LongestLine(kWarningLine) <= kLineBytes &&
                  LongestLine(kRemoveSelfLine) <= kLineBytes,
              "a batch line with paths of the largest size must fit the line buffer");

struct BatchPaths {
  const char* program;
  const char* folder;
  const char* batch;
};

// `path` with every "%" doubled; false when it does not fit.
bool DoublePercent(const wchar_t* path, wchar_t* destination, size_t capacity) {
  size_t length = 0;
  for (const wchar_t* p = path; *p; ++p) {
    const size_t needed = (*p == L'%') ? 2 : 1;
    if (length + needed >= capacity) return false;
    destination[length++] = *p;
    if (*p == L'%') destination[length++] = L'%';
  }
  destination[length] = 0;
  return true;
}

bool WriteBytes(HANDLE file, const char* bytes, size_t length) {
  DWORD written = 0;
  return WriteFile(file, bytes, static_cast<DWORD>(length), &written, nullptr) && written == length;
}

// Writes one line of the table with its paths filled in; false when it cannot be written whole.
bool WriteLine(HANDLE file, const char* format, const BatchPaths& paths) {
  // Static: a line of this size would crowd the stack of the program's only thread.
  static char line[kLineBytes];
  size_t length = 0;
  for (const char* f = format; *f; ++f) {
    const char literal[2] = {*f, 0};
    const char* piece = literal;
    if (*f == '%') {
      ++f;
      piece = *f == 'P' ? paths.program : *f == 'F' ? paths.folder : paths.batch;
    }
    const size_t add = std::strlen(piece);
    if (length + add >= kLineBytes) return false;
    std::memcpy(line + length, piece, add);
    length += add;
  }
  return WriteBytes(file, line, length);
}

}  // namespace

bool ExactBatchText(const wchar_t* path, UINT codePage, char* destination, size_t capacity) noexcept {
  if (capacity == 0) return false;
  destination[0] = 0;
  wchar_t doubled[kDoubledPathCapacity];
  if (!DoublePercent(path, doubled, kDoubledPathCapacity)) return false;
  if (doubled[0] == 0) return true;
  // UTF-8 and UTF-7 take neither the no-best-fit flag nor the used-default report; their
  // conversion is exact except for invalid UTF-16, which the error flag catches.
  const bool unicodePage = codePage == CP_UTF8 || codePage == CP_UTF7;
  BOOL usedDefault = FALSE;
  const int length = WideCharToMultiByte(codePage, unicodePage ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS,
                                         doubled, -1, destination, static_cast<int>(capacity), nullptr,
                                         unicodePage ? nullptr : &usedDefault);
  if (length == 0 || usedDefault) {
    destination[0] = 0;
    return false;
  }
  return true;
}

bool BatchPathBytes(const wchar_t* path, char* destination, size_t capacity) noexcept {
  if (capacity == 0) return false;
  const UINT oemCodePage = GetOEMCP();
  if (ExactBatchText(path, oemCodePage, destination, capacity)) return true;
  wchar_t shortPath[kPathCapacity];
  const DWORD shortLength = GetShortPathNameW(path, shortPath, kPathCapacity);
  if (shortLength > 0 && shortLength < kPathCapacity &&
      ExactBatchText(shortPath, oemCodePage, destination, capacity)) {
    return true;
  }
  // Any other form (best fit in the ANSI or OEM code page) could name another program's file.
  destination[0] = 0;
  return false;
}

bool WriteSelfRemovalLines(HANDLE file, const wchar_t* programPath, const wchar_t* folder, const wchar_t* batchPath,
                           bool silent, bool* removesProgram) noexcept {
  // Static: three paths of kBatchPathBytes would crowd the stack of the program's only thread.
  static char program[kBatchPathBytes];
  static char programFolder[kBatchPathBytes];
  static char batch[kBatchPathBytes];
  // Both are needed: the folder goes only after the program file has gone.
  const bool programNamed = BatchPathBytes(programPath, program, kBatchPathBytes) &&
                            BatchPathBytes(folder, programFolder, kBatchPathBytes);
  const bool batchNamed = BatchPathBytes(batchPath, batch, kBatchPathBytes);
  if (removesProgram) *removesProgram = programNamed;
  const BatchPaths paths = {program, programFolder, batch};

  // The first failed write ends the file: whatever follows would be written after a gap.
  bool written = true;
  if (programNamed) {
    written = WriteLine(file, kWaitLine, paths);
    for (size_t i = 0; i < kRemovalAttempts && written; ++i) written = WriteLine(file, kAttemptLines, paths);
  }
  written = written && WriteLine(file, kDoneLine, paths);
  if (programNamed && !silent) written = written && WriteLine(file, kWarningLine, paths);
  if (batchNamed) written = written && WriteLine(file, kRemoveSelfLine, paths);
  return written;
}

SelfRemovalBatch CreateSelfRemovalBatch(const wchar_t* batchPath, const wchar_t* programPath, const wchar_t* folder,
                                        bool silent) noexcept {
  // GetFileAttributesW reports a link's own attributes; DeleteFileW and RemoveDirectoryW remove the
  // link itself. A read-only attribute is cleared only on a plain file, where it is the file's own.
  const DWORD attributes = GetFileAttributesW(batchPath);
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      RemoveDirectoryW(batchPath);
    } else {
      if ((attributes & FILE_ATTRIBUTE_READONLY) != 0 && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        SetFileAttributesW(batchPath, FILE_ATTRIBUTE_NORMAL);
      }
      DeleteFileW(batchPath);
    }
  }
  UniqueFileHandle file(CreateFileW(batchPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return SelfRemovalBatch::NotWritten;
  bool removesProgram = false;
  if (!WriteSelfRemovalLines(file.get(), programPath, folder, batchPath, silent, &removesProgram)) {
    file.reset();
    DeleteFileW(batchPath);
    return SelfRemovalBatch::NotWritten;
  }
  return removesProgram ? SelfRemovalBatch::RemovesProgram : SelfRemovalBatch::KeepsProgram;
}

bool StartSelfRemovalBatch(const wchar_t* batchFolder) noexcept {
  wchar_t comspec[kPathCapacity] = {};
  const DWORD length = GetEnvironmentVariableW(L"COMSPEC", comspec, kPathCapacity);
  if (length == 0 || length >= kPathCapacity) return false;  // missing, or too long to have been read
  wchar_t commandLine[kCommandLineCapacity];
  const int composed = _snwprintf(commandLine, kCommandLineCapacity, L"\"%ls\" /d /v:off /c .\\%ls", comspec,
                                  kSelfRemovalBatchName);
  if (composed < 0 || static_cast<size_t>(composed) >= kCommandLineCapacity) return false;

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, commandLine, nullptr, nullptr, /*inheritHandles=*/TRUE, /*creationFlags=*/0,
                      /*environment=*/nullptr, batchFolder, &startup, &process)) {
    return false;
  }
  UniqueKernelHandle processHandle(process.hProcess);
  UniqueKernelHandle threadHandle(process.hThread);
  return true;
}
