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

constexpr wchar_t kFileNameValue[] = L"FileName";
constexpr wchar_t kNullFileValue[] = L"NullFile";
constexpr wchar_t kNullFileState[] = L"*";  // saved for an entry that had only an empty "NullFile"

const wchar_t* DataFileName(bool isVok) { return isVok ? L"voknew.dat" : L"zipnew.dat"; }

// HKCR\<ext>\ShellNew, opened once for all a step does with it.
SettingKey ShellNewKey(const wchar_t* ext) { return SettingKey(HKEY_CLASSES_ROOT, ext, L"ShellNew"); }

// See MayChangeShellNew.
bool MayChange(SettingKey& key, bool isVok, bool shellNewSaved) {
  if (shellNewSaved) return true;
  wchar_t fileName[kPathCapacity];
  return key.ReadExactString(kFileNameValue, fileName, kPathCapacity) == ExactString::Read &&
         NamesEqual(FileNamePart(fileName), DataFileName(isVok));
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

bool PrepareShellNew(bool shellExt, bool isVok, bool isZip) {
  g_vokTemplate[0] = 0x56;
  g_zipTemplate[0] = 0x50;
  // Only the item of the extension's own type is asked: the others decide nothing here.
  if (!shellExt || (!isVok && !isZip)) return shellExt;
  return ReadUserNumber(kMenuItemsKey, isVok ? L"NewVOK" : L"NewZIP", 1) != 0;
}

bool SaveShellNewState(const wchar_t* ext, wchar_t* state, size_t capacity) {
  if (capacity == 0) return false;
  state[0] = L'\0';
  if (ext == nullptr || ext[0] == L'\0') return false;
  SettingKey key = ShellNewKey(ext);

  DWORD subkeys = 0;
  DWORD values = 0;
  const DWORD counted = key.CountContents(&subkeys, &values);
  if (counted == ERROR_FILE_NOT_FOUND) return true;  // no entry to keep
  if (counted != ERROR_SUCCESS || subkeys != 0 || values > 1) return false;
  if (values == 0) return true;

  // The one value is either the file Explorer copies or the empty-file marker; anything else (a
  // "Data", "Command" or "ItemName" entry, another type, an empty file name) is kept by leaving it.
  switch (key.ReadExactString(kFileNameValue, state, capacity)) {
    case ExactString::Read:
      return state[0] != L'\0';
    case ExactString::NotExact:
      return false;
    case ExactString::Missing:
      break;
  }
  wchar_t nullFile[1];
  if (key.ReadExactString(kNullFileValue, nullFile, 1) != ExactString::Read) return false;
  CopyBounded(state, kNullFileState, capacity);
  return true;
}

bool MayChangeShellNew(const wchar_t* ext, bool isVok, bool shellNewSaved) {
  SettingKey key = ShellNewKey(ext);
  return MayChange(key, isVok, shellNewSaved);
}

void CreateShellNewEntry(const wchar_t* ext, bool isVok, bool shellNewSaved) {
  if (ext == nullptr || ext[0] == L'\0') return;
  SettingKey key = ShellNewKey(ext);
  if (!MayChange(key, isVok, shellNewSaved)) {
    LogLine("New menu entry of %s: left to its owner, no entry of the archiver's", ext);
    return;
  }
  key.Delete();

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
  (void)key.WriteString(kFileNameValue, dataFile);
}

void RestoreShellNewEntry(const wchar_t* ext, bool existed, bool isVok, const wchar_t* savedShellNew) {
  if (ext == nullptr || ext[0] == L'\0') return;
  SettingKey key = ShellNewKey(ext);
  if (!MayChange(key, isVok, savedShellNew != nullptr)) {
    LogLine("New menu entry of %s: left to its owner", ext);
    return;
  }
  if (!existed) {
    key.Delete();
    return;
  }

  const wchar_t* saved = savedShellNew ? savedShellNew : L"";
  LogLine("New menu entry of %s: given back: \"%s\"", ext, saved);
  key.DeleteValue(kFileNameValue);
  if (saved[0] == L'\0') {
    // The previous owner had no entry: do not leave the archiver's emptied key behind, or
    // Explorer keeps a ShellNew key that offers nothing.
    key.DeleteIfEmpty();
    return;
  }
  if (saved[0] == L'*') {
    (void)key.WriteString(kNullFileValue, L"");
  } else {
    (void)key.WriteString(kFileNameValue, saved);
  }
}
