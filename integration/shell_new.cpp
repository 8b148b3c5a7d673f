#include "integration/shell_new.h"

#include <windows.h>

#include "base/bounded_text.h"
#include "base/handles.h"
#include "base/paths.h"
#include "base/run_log.h"
#include "integration/integration_settings.h"
#include "settings/registry.h"

namespace {

// Empty archives that Explorer copies for "New". Both are held with their first byte zero and
// completed only when they are about to be used, so the program image itself carries no complete
// archive header for scanners to trip over.
unsigned char g_vokTemplate[kVokTemplateLength] = {
    0x00, 0x6F, 0x6B, 0x21, 0x1A, 0x07, 0x01, 0x00, 0xC1, 0xDF, 0x5F, 0x56,
    0x03, 0x01, 0x04, 0x00, 0x1D, 0x77, 0x56, 0x51, 0x03, 0x05, 0x04, 0x00};
unsigned char g_zipTemplate[kZipTemplateLength] = {0x00, 0x4B, 0x05, 0x06};  // end of central directory

constexpr size_t kShellNewKeyCapacity = kExtensionCapacity + 16;
constexpr wchar_t kFileNameValue[] = L"FileName";
constexpr wchar_t kNullFileValue[] = L"NullFile";
constexpr wchar_t kNullFileState[] = L"*";  // saved for an entry that had only an empty "NullFile"

const wchar_t* DataFileName(bool isVok) { return isVok ? L"voknew.dat" : L"zipnew.dat"; }

void ShellNewKey(const wchar_t* ext, wchar_t* key, size_t capacity) {
  CopyBounded(key, ext, capacity);
  AppendBounded(key, L"\\ShellNew", capacity);
}

// The program's own path with its file name replaced; empty folder part when the module path
// cannot be had, so the name is then relative to the current folder.
void ProgramFolderFile(const wchar_t* name, wchar_t* path, size_t capacity) {
  ModulePath(nullptr, path, capacity);
  ReplaceFileName(path, name, capacity);
}

HANDLE CreateForWriting(const wchar_t* path) {
  return CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, /*securityAttributes=*/nullptr,
                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, /*templateFile=*/nullptr);
}

// Byte-exact "wb": created or truncated, others may read and write meanwhile. Like every file
// operation of the program, a failure is retried once with the extended-length form of the path.
bool WriteWholeFile(const wchar_t* path, const unsigned char* bytes, DWORD length) {
  UniqueFileHandle file(CreateForWriting(path));
  if (!file) {
    wchar_t extended[kPathCapacity];
    if (ToExtendedLengthPath(path, extended, kPathCapacity)) file.reset(CreateForWriting(extended));
  }
  if (!file) return false;
  DWORD written = 0;
  return WriteFile(file.get(), bytes, length, &written, /*overlapped=*/nullptr) && written == length;
}

}  // namespace

bool ClassesKeyIsEmpty(const wchar_t* subkey) {
  DWORD subkeys = 0;
  DWORD values = 0;
  return CountSettingKeyContents(HKEY_CLASSES_ROOT, subkey, &subkeys, &values) == ERROR_SUCCESS && subkeys == 0 &&
         values == 0;
}

bool PrepareShellNew(bool shellExt, bool isVok, bool isZip) {
  g_vokTemplate[0] = 0x56;
  g_zipTemplate[0] = 0x50;
  const DWORD newVok = ReadUserNumber(kMenuItemsKey, L"NewVOK", 1);
  const DWORD newZip = ReadUserNumber(kMenuItemsKey, L"NewZIP", 1);
  return shellExt && !(isVok && newVok == 0) && !(isZip && newZip == 0);
}

bool SaveShellNewState(const wchar_t* ext, wchar_t* state, size_t capacity) {
  if (capacity == 0) return false;
  state[0] = L'\0';
  if (ext == nullptr || ext[0] == L'\0') return false;
  wchar_t key[kShellNewKeyCapacity];
  ShellNewKey(ext, key, kShellNewKeyCapacity);

  DWORD subkeys = 0;
  DWORD values = 0;
  const DWORD counted = CountSettingKeyContents(HKEY_CLASSES_ROOT, key, &subkeys, &values);
  if (counted == ERROR_FILE_NOT_FOUND) return true;  // no entry to keep
  if (counted != ERROR_SUCCESS || subkeys != 0 || values > 1) return false;
  if (values == 0) return true;

  // The one value is either the file Explorer copies or the empty-file marker; anything else (a
  // "Data", "Command" or "ItemName" entry, another type, an empty file name) is kept by leaving it.
  switch (ReadExactSettingString(HKEY_CLASSES_ROOT, key, kFileNameValue, state, capacity)) {
    case ExactString::Read:
      return state[0] != L'\0';
    case ExactString::NotExact:
      return false;
    case ExactString::Missing:
      break;
  }
  wchar_t nullFile[1];
  if (ReadExactSettingString(HKEY_CLASSES_ROOT, key, kNullFileValue, nullFile, 1) != ExactString::Read) return false;
  CopyBounded(state, kNullFileState, capacity);
  return true;
}

bool MayChangeShellNew(const wchar_t* ext, bool isVok, bool shellNewSaved) {
  if (shellNewSaved) return true;
  wchar_t key[kShellNewKeyCapacity];
  ShellNewKey(ext, key, kShellNewKeyCapacity);
  wchar_t fileName[kPathCapacity];
  return ReadExactSettingString(HKEY_CLASSES_ROOT, key, kFileNameValue, fileName, kPathCapacity) == ExactString::Read &&
         NamesEqual(FileNamePart(fileName), DataFileName(isVok));
}

void CreateShellNewEntry(const wchar_t* ext, bool isVok, bool shellNewSaved) {
  if (ext == nullptr || ext[0] == L'\0') return;
  if (!MayChangeShellNew(ext, isVok, shellNewSaved)) {
    LogLine("New menu entry of %s: left to its owner, no entry of the archiver's", ext);
    return;
  }
  wchar_t key[kShellNewKeyCapacity];
  ShellNewKey(ext, key, kShellNewKeyCapacity);
  DeleteSettingKey(HKEY_CLASSES_ROOT, key);

  wchar_t dataFile[kPathCapacity];
  ProgramFolderFile(DataFileName(isVok), dataFile, kPathCapacity);
  const unsigned char* bytes = isVok ? g_vokTemplate : g_zipTemplate;
  const size_t length = isVok ? kVokTemplateLength : kZipTemplateLength;

  // A file of the right size is kept whatever it holds: a user may have put a differently
  // commented empty archive there.
  ScanEntry entry;
  if (!LookupSingle(dataFile, entry) || entry.isFolder || entry.size != length) {
    (void)WriteWholeFile(dataFile, bytes, static_cast<DWORD>(length));
  }
  (void)WriteSettingString(HKEY_CLASSES_ROOT, key, kFileNameValue, dataFile);
}

void RestoreShellNewEntry(const wchar_t* ext, bool existed, bool isVok, const wchar_t* savedShellNew) {
  if (ext == nullptr || ext[0] == L'\0') return;
  if (!MayChangeShellNew(ext, isVok, savedShellNew != nullptr)) {
    LogLine("New menu entry of %s: left to its owner", ext);
    return;
  }
  wchar_t key[kShellNewKeyCapacity];
  ShellNewKey(ext, key, kShellNewKeyCapacity);
  if (!existed) {
    DeleteSettingKey(HKEY_CLASSES_ROOT, key);
    return;
  }

  const wchar_t* saved = savedShellNew ? savedShellNew : L"";
  LogLine("New menu entry of %s: given back: \"%s\"", ext, saved);
  DeleteSettingValue(HKEY_CLASSES_ROOT, key, kFileNameValue);
  if (saved[0] == L'\0') {
    // The previous owner had no entry: do not leave the archiver's emptied key behind, or
    // Explorer keeps a ShellNew key that offers nothing.
    if (ClassesKeyIsEmpty(key)) DeleteSettingKey(HKEY_CLASSES_ROOT, key);
    return;
  }
  if (saved[0] == L'*') {
    (void)WriteSettingString(HKEY_CLASSES_ROOT, key, kNullFileValue, L"");
  } else {
    (void)WriteSettingString(HKEY_CLASSES_ROOT, key, kFileNameValue, saved);
  }
}
