#include "uninstall/self_removal.h"

#include <cstring>
#include <cwchar>

#include "base/bounded_text.h"
#include "base/handles.h"
#include "base/paths.h"
#include "base/text_file.h"

namespace {

constexpr size_t kDoubledPathCapacity = 2 * kPathCapacity + 1;
constexpr size_t kLineBytes = 2 * kBatchPathBytes + 64;
constexpr size_t kRemovalAttempts = 5;
constexpr size_t kCommandLineCapacity = 2 * kPathCapacity + 16;

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

// Appends text to a line buffer of kLineBytes; the buffer is large enough for every line written.
void Append(char* line, size_t* length, const char* text) {
  const size_t add = std::strlen(text);
  if (*length + add >= kLineBytes) return;
  std::memcpy(line + *length, text, add);
  *length += add;
  line[*length] = 0;
}

bool WriteBytes(HANDLE file, const char* bytes, size_t length) {
  DWORD written = 0;
  return WriteFile(file, bytes, static_cast<DWORD>(length), &written, nullptr) && written == length;
}

// Writes the pieces one after another as one line; a null piece ends the list.
bool WriteLine(HANDLE file, const char* const* pieces) {
  char line[kLineBytes];
  size_t length = 0;
  line[0] = 0;
  for (const char* const* piece = pieces; *piece; ++piece) Append(line, &length, *piece);
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

void BatchPathBytes(const wchar_t* path, char* destination, size_t capacity) noexcept {
  if (capacity == 0) return;
  const UINT oemCodePage = GetOEMCP();
  if (ExactBatchText(path, oemCodePage, destination, capacity)) return;
  wchar_t shortPath[kPathCapacity];
  const DWORD shortLength = GetShortPathNameW(path, shortPath, kPathCapacity);
  if (shortLength > 0 && shortLength < kPathCapacity &&
      ExactBatchText(shortPath, oemCodePage, destination, capacity)) {
    return;
  }
  wchar_t doubled[kDoubledPathCapacity];
  if (!DoublePercent(path, doubled, kDoubledPathCapacity)) CopyBounded(doubled, path, kDoubledPathCapacity);
  if (!WideToAnsi(doubled, destination, capacity)) destination[capacity - 1] = 0;
}

bool WriteSelfRemovalLines(HANDLE file, const wchar_t* programPath, const wchar_t* folder, const wchar_t* batchPath,
                           bool silent) noexcept {
  // Static: three paths of kBatchPathBytes would crowd the stack of the program's only thread.
  static char program[kBatchPathBytes];
  static char programFolder[kBatchPathBytes];
  static char batch[kBatchPathBytes];
  BatchPathBytes(programPath, program, kBatchPathBytes);
  BatchPathBytes(folder, programFolder, kBatchPathBytes);
  BatchPathBytes(batchPath, batch, kBatchPathBytes);

  const char* const wait[] = {"\"", program, "\" /wait\r\n", nullptr};
  const char* const attempt[] = {"del \"", program, "\"\r\n",                          //
                                 "rd \"", programFolder, "\"\r\n",                     //
                                 "if not exist \"", program, "\" goto done\r\n", nullptr};
  const char* const done[] = {":done\r\n", nullptr};
  const char* const warning[] = {"if exist \"", program, "\" \"", program, "\" /warning\r\n", nullptr};
  const char* const removeSelf[] = {"del \"", batch, "\"\r\n", nullptr};

  bool written = WriteLine(file, wait);
  for (size_t i = 0; i < kRemovalAttempts; ++i) written = WriteLine(file, attempt) && written;
  written = WriteLine(file, done) && written;
  if (!silent) written = WriteLine(file, warning) && written;
  return WriteLine(file, removeSelf) && written;
}

bool CreateSelfRemovalBatch(const wchar_t* batchPath, const wchar_t* programPath, const wchar_t* folder,
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
  if (!file) return false;
  // The result of the writes is not examined: a batch file cut short still runs what it holds.
  (void)WriteSelfRemovalLines(file.get(), programPath, folder, batchPath, silent);
  return true;
}

bool StartSelfRemovalBatch(const wchar_t* batchPath) noexcept {
  wchar_t comspec[kPathCapacity] = {};
  const DWORD length = GetEnvironmentVariableW(L"COMSPEC", comspec, kPathCapacity);
  if (length >= kPathCapacity) comspec[0] = 0;  // too long to have been read
  // Room for both paths in full: a command line cut short would name another batch file.
  wchar_t commandLine[kCommandLineCapacity];
  _snwprintf(commandLine, kCommandLineCapacity, L"%ls /c \"%ls\"", comspec, batchPath);
  commandLine[kCommandLineCapacity - 1] = 0;

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, commandLine, nullptr, nullptr, /*inheritHandles=*/TRUE, /*creationFlags=*/0,
                      /*environment=*/nullptr, /*currentDirectory=*/nullptr, &startup, &process)) {
    return false;
  }
  UniqueKernelHandle processHandle(process.hProcess);
  UniqueKernelHandle threadHandle(process.hThread);
  return true;
}
