#include "uninstall/self_removal.h"

#include <ntsecapi.h>

#include <cstring>
#include <cwchar>

#include "base/bounded_text.h"
#include "base/handles.h"
#include "base/paths.h"

namespace {

constexpr size_t kDoubledPathCapacity = 2 * kPathCapacity + 1;
constexpr size_t kRemovalAttempts = 5;
constexpr size_t kFolderNameBytes = 16;  // random bytes, written as twice as many hexadecimal digits
constexpr size_t kFolderNameAttempts = 5;
// The batch file relative to the temporary folder: "<32 hexadecimal digits>\Uninstall_Vok.Bat".
constexpr size_t kBatchRelativeLength = 2 * kFolderNameBytes + 1 + (sizeof kSelfRemovalBatchName / sizeof(wchar_t) - 1);
constexpr wchar_t kCommandInterpreter[] = L"cmd.exe";
constexpr size_t kCommandLineCapacity = kPathCapacity + kBatchRelativeLength + 32;
// Room for an ACL of three allow entries, each with a SID of the largest size.
constexpr size_t kAclBytes = sizeof(ACL) + 3 * (sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + SECURITY_MAX_SID_SIZE);

// The lines of the batch file; "%P", "%F", "%B" and "%D" stand for the program path, the program
// folder, the batch file's own path and its folder (a literal "%" never occurs in them).
constexpr char kWaitLine[] = "\"%P\" /wait\r\n";
constexpr char kAttemptLines[] = "del \"%P\"\r\nrd \"%F\"\r\nif not exist \"%P\" goto done\r\n";
constexpr char kDoneLine[] = ":done\r\n";
constexpr char kWarningLine[] = "if exist \"%P\" \"%P\" /warning\r\n";
// One line: cmd has read it whole before it deletes the file it reads from.
constexpr char kRemoveSelfLine[] = "del \"%B\" & rd \"%D\"\r\n";

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
  const char* batchFolder;
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
      piece = *f == 'P' ? paths.program : *f == 'F' ? paths.folder : *f == 'B' ? paths.batch : paths.batchFolder;
    }
    const size_t add = std::strlen(piece);
    if (length + add >= kLineBytes) return false;
    std::memcpy(line + length, piece, add);
    length += add;
  }
  return WriteBytes(file, line, length);
}

// A name no other process can predict: random bytes from the system's generator, as hexadecimal
// digits (never the time or the process id, which anyone can guess).
bool RandomFolderName(wchar_t (&name)[2 * kFolderNameBytes + 1]) {
  unsigned char bytes[kFolderNameBytes];
  if (!RtlGenRandom(bytes, sizeof bytes)) return false;
  constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
  for (size_t i = 0; i < kFolderNameBytes; ++i) {
    name[2 * i] = kDigits[bytes[i] >> 4];
    name[2 * i + 1] = kDigits[bytes[i] & 0xF];
  }
  name[2 * kFolderNameBytes] = 0;
  return true;
}

// A security descriptor whose DACL inherits nothing from the parent (SE_DACL_PROTECTED) and gives
// full access to SYSTEM, Administrators and the running account only, passed on to every file and
// folder made inside. Under SYSTEM the account repeats SYSTEM, which changes nothing.
struct PrivateFolderSecurity {
  SECURITY_DESCRIPTOR descriptor;
  alignas(DWORD) unsigned char acl[kAclBytes];  // the DACL the descriptor points to
};

bool MakePrivateFolderSecurity(PrivateFolderSecurity& security) {
  alignas(DWORD) unsigned char system[SECURITY_MAX_SID_SIZE];
  alignas(DWORD) unsigned char administrators[SECURITY_MAX_SID_SIZE];
  alignas(TOKEN_USER) unsigned char user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD systemSize = sizeof system;
  DWORD administratorsSize = sizeof administrators;
  DWORD userSize = 0;
  UniqueKernelHandle token;
  if (!CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &systemSize) ||
      !CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &administratorsSize) ||
      !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()) ||
      !GetTokenInformation(token.get(), TokenUser, user, sizeof user, &userSize)) {
    return false;
  }
  ACL* acl = reinterpret_cast<ACL*>(security.acl);
  if (!InitializeAcl(acl, sizeof security.acl, ACL_REVISION)) return false;
  for (PSID sid : {PSID(system), PSID(administrators), reinterpret_cast<TOKEN_USER*>(user)->User.Sid}) {
    if (!AddAccessAllowedAceEx(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, FILE_ALL_ACCESS, sid)) {
      return false;
    }
  }
  return InitializeSecurityDescriptor(&security.descriptor, SECURITY_DESCRIPTOR_REVISION) &&
         SetSecurityDescriptorDacl(&security.descriptor, /*daclPresent=*/TRUE, acl, /*daclDefaulted=*/FALSE) &&
         SetSecurityDescriptorControl(&security.descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
}

// Makes a new private folder with a random name in tempFolder; on success folder (kPathCapacity
// characters) holds its path. A name that exists is never used, whatever stands there.
bool CreateBatchFolder(const wchar_t* tempFolder, wchar_t* folder) {
  // A cut path would be another folder.
  if (std::wcslen(tempFolder) + kBatchRelativeLength >= kPathCapacity) return false;
  PrivateFolderSecurity security;
  if (!MakePrivateFolderSecurity(security)) return false;
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, &security.descriptor, /*bInheritHandle=*/FALSE};
  for (size_t attempt = 0; attempt < kFolderNameAttempts; ++attempt) {
    wchar_t name[2 * kFolderNameBytes + 1];
    if (!RandomFolderName(name)) return false;
    CopyBounded(folder, tempFolder, kPathCapacity);
    AppendBounded(folder, name, kPathCapacity);
    if (CreateDirectoryW(folder, &attributes)) return true;
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return false;
  }
  return false;
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
  static char batchFolder[kBatchPathBytes];
  // Both are needed: the folder goes only after the program file has gone.
  const bool programNamed = BatchPathBytes(programPath, program, kBatchPathBytes) &&
                            BatchPathBytes(folder, programFolder, kBatchPathBytes);
  wchar_t batchFolderPath[kPathCapacity];
  CopyBounded(batchFolderPath, batchPath, kPathCapacity);
  TruncateToFolder(batchFolderPath);
  const bool batchNamed = BatchPathBytes(batchPath, batch, kBatchPathBytes) &&
                          BatchPathBytes(batchFolderPath, batchFolder, kBatchPathBytes);
  if (removesProgram) *removesProgram = programNamed;
  const BatchPaths paths = {program, programFolder, batch, batchFolder};

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

SelfRemovalBatch CreateSelfRemovalBatch(const wchar_t* tempFolder, const wchar_t* programPath, const wchar_t* folder,
                                        bool silent, wchar_t* batchPath) noexcept {
  batchPath[0] = 0;
  wchar_t batchFolder[kPathCapacity];
  if (!CreateBatchFolder(tempFolder, batchFolder)) return SelfRemovalBatch::NotWritten;
  JoinPath(batchFolder, kSelfRemovalBatchName, batchPath, kPathCapacity);
  UniqueFileHandle file(CreateFileW(batchPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  bool removesProgram = false;
  if (!file || !WriteSelfRemovalLines(file.get(), programPath, folder, batchPath, silent, &removesProgram)) {
    file.reset();
    DeleteFileW(batchPath);
    RemoveDirectoryW(batchFolder);
    batchPath[0] = 0;
    return SelfRemovalBatch::NotWritten;
  }
  return removesProgram ? SelfRemovalBatch::RemovesProgram : SelfRemovalBatch::KeepsProgram;
}

bool StartSelfRemovalBatch(const wchar_t* tempFolder, const wchar_t* batchPath) noexcept {
  const size_t tempLength = std::wcslen(tempFolder);
  if (std::wcsncmp(batchPath, tempFolder, tempLength) != 0 ||
      std::wcslen(batchPath + tempLength) != kBatchRelativeLength) {
    return false;
  }
  wchar_t interpreter[kPathCapacity];
  const UINT systemLength = GetSystemDirectoryW(interpreter, kPathCapacity);
  if (systemLength == 0 || systemLength + 1 + std::wcslen(kCommandInterpreter) >= kPathCapacity) return false;
  JoinPath(interpreter, kCommandInterpreter, interpreter, kPathCapacity);
  // Sized for the longest interpreter path and the fixed-length rest: nothing is ever cut.
  wchar_t commandLine[kCommandLineCapacity];
  FormatBounded(commandLine, kCommandLineCapacity, L"\"%ls\" /d /v:off /c .\\%ls", interpreter,
                batchPath + tempLength);

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(interpreter, commandLine, nullptr, nullptr, /*inheritHandles=*/TRUE, /*creationFlags=*/0,
                      /*environment=*/nullptr, tempFolder, &startup, &process)) {
    return false;
  }
  UniqueKernelHandle processHandle(process.hProcess);
  UniqueKernelHandle threadHandle(process.hThread);
  return true;
}
