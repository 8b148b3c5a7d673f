#include "base/paths.h"

#include <shlobj.h>

#include <cwchar>

#include "base/bounded_text.h"
#include "base/handles.h"

namespace {

constexpr wchar_t kExtendedPrefix[] = L"\\\\?\\";
constexpr size_t kExtendedPrefixLength = 4;

bool IsSlash(wchar_t c) noexcept { return c == L'\\' || c == L'/'; }

bool StartsWithExtendedPrefix(const wchar_t* path) noexcept {
  return wcsncmp(path, kExtendedPrefix, kExtendedPrefixLength) == 0;
}

bool IsDotComponent(const wchar_t* component, size_t length) noexcept {
  return (length == 1 && component[0] == L'.') || (length == 2 && component[0] == L'.' && component[1] == L'.');
}

// A backslash-separated component "." or ".." (forward slashes do not separate in the extended form).
bool HasDotComponent(const wchar_t* path) noexcept {
  const wchar_t* component = path;
  for (const wchar_t* p = path;; ++p) {
    if (*p != 0 && *p != L'\\') continue;
    if (IsDotComponent(component, static_cast<size_t>(p - component))) return true;
    if (*p == 0) return false;
    component = p + 1;
  }
}

// FILETIME in 100 ns steps to nanoseconds; wraps after the year 2185, which no file system gives.
uint64_t FileTimeNanoseconds(const FILETIME& time) noexcept {
  return ((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime) * 100;
}

void FillFromFindData(const wchar_t* pattern, const WIN32_FIND_DATAW& found, ScanEntry& entry) noexcept {
  CopyBounded(entry.name, pattern, kPathCapacity);
  ReplaceFileName(entry.name, found.cFileName, kPathCapacity);
  entry.size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
  entry.attributes = found.dwFileAttributes;
  entry.rawCreated = found.ftCreationTime;
  entry.rawAccessed = found.ftLastAccessTime;
  entry.rawModified = found.ftLastWriteTime;
  entry.created = FileTimeNanoseconds(found.ftCreationTime);
  entry.accessed = FileTimeNanoseconds(found.ftLastAccessTime);
  entry.modified = FileTimeNanoseconds(found.ftLastWriteTime);
}

void FillKindFlags(ScanEntry& entry) noexcept {
  entry.isFolder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  entry.isReparsePoint = (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// FindFirstFileW on the pattern, then on its extended-length form. Returns the search handle or
// INVALID_HANDLE_VALUE; entry.error is set when the failure was more than "nothing found".
HANDLE StartSearch(const wchar_t* pattern, ScanEntry& entry) noexcept {
  WIN32_FIND_DATAW found;
  HANDLE search = INVALID_HANDLE_VALUE;
  // A wildcard pattern keeps both attempts: "*." is a pattern of its own, not a trimmed name.
  PathForms forms(pattern, /*plainAlways=*/ContainsWildcards(pattern));
  for (const wchar_t* form = forms.Next(); form; form = forms.Next()) {
    search = FindFirstFileW(form, &found);
    if (search != INVALID_HANDLE_VALUE) break;
  }
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    entry.error = error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && error != ERROR_NO_MORE_FILES;
    return INVALID_HANDLE_VALUE;
  }
  FillFromFindData(pattern, found, entry);
  return search;
}

// The archiver's folder settings, read from the real registry whatever the settings store does.
constexpr wchar_t kDataFolderKey[] = L"Software\\Ovenix\\Paths";

// The program's own folder: the executable's path without its name; empty when that path cannot
// be had whole.
void ProgramFolder(wchar_t* destination, size_t capacity) noexcept {
  if (ModulePath(nullptr, destination, capacity)) TruncateToFolder(destination);
}

}  // namespace

// ---- Path arithmetic ----

const wchar_t* FileNamePart(const wchar_t* path) noexcept {
  const wchar_t* name = path;
  for (const wchar_t* p = path; *p; ++p) {
    if (IsSlash(*p)) name = p + 1;
  }
  if (name == path && path[0] != 0 && path[1] == L':') name = path + 2;
  return name;
}

wchar_t* FileNamePart(wchar_t* path) noexcept {
  return const_cast<wchar_t*>(FileNamePart(static_cast<const wchar_t*>(path)));
}

const wchar_t* LastCharacter(const wchar_t* path) noexcept {
  const size_t length = wcslen(path);
  return length == 0 ? path : path + length - 1;
}

wchar_t* LastCharacter(wchar_t* path) noexcept {
  return const_cast<wchar_t*>(LastCharacter(static_cast<const wchar_t*>(path)));
}

size_t AppendSeparator(wchar_t* path, size_t capacity) noexcept {
  const size_t length = wcsnlen(path, capacity);
  if (length != 0 && path[length - 1] != L'\\' && length + 1 < capacity) {
    path[length] = L'\\';
    path[length + 1] = 0;
  }
  return length;
}

void JoinPath(const wchar_t* folder, const wchar_t* name, wchar_t* destination, size_t capacity) noexcept {
  wchar_t joined[kPathCapacity];
  CopyBounded(joined, folder, kPathCapacity);
  AppendSeparator(joined, kPathCapacity);
  AppendBounded(joined, name, kPathCapacity);
  CopyBounded(destination, joined, capacity);
}

void ReplaceFileName(wchar_t* path, const wchar_t* newName, size_t capacity) noexcept {
  wchar_t* name = FileNamePart(path);
  const size_t offset = static_cast<size_t>(name - path);
  if (offset >= capacity) return;
  CopyBounded(name, newName, capacity - offset);
}

void TruncateToFolder(wchar_t* path) noexcept {
  wchar_t* name = FileNamePart(path);
  const size_t offset = static_cast<size_t>(name - path);
  const bool drivePrefix = path[0] != 0 && path[1] == L':';
  if (offset < 2 || (drivePrefix && offset < 4)) {
    *name = 0;
  } else {
    name[-1] = 0;
  }
}

bool HasDriveLetter(const wchar_t* path) noexcept {
  if (path[0] == 0) return false;
  // CharUpperW upper-cases a single character passed in the low word of the pointer.
  const wchar_t upper = static_cast<wchar_t>(
      reinterpret_cast<uintptr_t>(CharUpperW(reinterpret_cast<LPWSTR>(static_cast<uintptr_t>(path[0])))));
  return upper >= L'A' && upper <= L'Z' && path[1] == L':';
}

bool IsAbsolutePath(const wchar_t* path) noexcept {
  if (path[0] == L'\\' && path[1] == L'\\') return true;
  return HasDriveLetter(path) && IsSlash(path[2]);
}

bool ContainsWildcards(const wchar_t* path) noexcept {
  if (!path) return false;
  if (StartsWithExtendedPrefix(path)) path += kExtendedPrefixLength;
  return wcspbrk(path, L"*?") != nullptr;
}

bool ExtendedLengthPathFrom(const wchar_t* source, const wchar_t* currentFolder, wchar_t* destination,
                            size_t capacity) noexcept {
  if (!source) return false;
  const size_t a = wcslen(source);
  if (a == 0) return false;
  // Already in the extended-length form: there is no other form to retry with.
  if (StartsWithExtendedPrefix(source)) return false;

  if (IsAbsolutePath(source) && HasDriveLetter(source)) {
    if (capacity <= a + 4) return false;
    CopyBounded(destination, kExtendedPrefix, capacity);
    AppendBounded(destination, source, capacity);
    return true;
  }
  // "C:name" is relative to the current folder of drive C, which is not known here; appended to
  // another folder it would name a stream of a file "C".
  if (HasDriveLetter(source)) return false;
  if (IsAbsolutePath(source)) {  // \\server\share\...
    if (capacity <= a + 6) return false;
    CopyBounded(destination, kExtendedPrefix, capacity);
    AppendBounded(destination, L"UNC", capacity);
    AppendBounded(destination, source + 1, capacity);
    return true;
  }

  if (!currentFolder) return false;
  const size_t currentLength = wcslen(currentFolder);
  if (currentLength == 0 || currentLength > kPathCapacity - 1) return false;
  if (IsSlash(source[0])) {  // relative to the current drive's root
    if (capacity <= a + 6 || currentLength < 2) return false;
    const wchar_t drive[3] = {currentFolder[0], currentFolder[1], 0};
    CopyBounded(destination, kExtendedPrefix, capacity);
    AppendBounded(destination, drive, capacity);
    AppendBounded(destination, source, capacity);
    return true;
  }
  wchar_t folder[kPathCapacity];
  CopyBounded(folder, currentFolder, kPathCapacity);
  AppendSeparator(folder, kPathCapacity);
  const size_t folderLength = wcslen(folder);
  // A 2047-character folder leaves no room for the separator: "dir" + "a" would be "dira".
  if (folder[folderLength - 1] != L'\\') return false;
  if (capacity <= a + folderLength + 4) return false;
  if (source[0] == L'.' && IsSlash(source[1])) source += 2;
  CopyBounded(destination, kExtendedPrefix, capacity);
  AppendBounded(destination, folder, capacity);
  AppendBounded(destination, source, capacity);
  return true;
}

bool ToExtendedLengthPath(const wchar_t* source, wchar_t* destination, size_t capacity) noexcept {
  if (!source || source[0] == 0) return false;
  if (IsAbsolutePath(source)) return ExtendedLengthPathFrom(source, nullptr, destination, capacity);
  wchar_t current[kPathCapacity];
  if (!CurrentFolder(current, kPathCapacity - 1)) return false;
  return ExtendedLengthPathFrom(source, current, destination, capacity);
}

bool PlainFormTrimsName(const wchar_t* path) noexcept {
  if (!path || path[0] == 0 || StartsWithExtendedPrefix(path)) return false;
  const wchar_t last = *LastCharacter(path);
  if (last != L'.' && last != L' ') return false;
  const wchar_t* name = FileNamePart(path);
  return !IsDotComponent(name, wcslen(name));
}

PathForms::PathForms(const wchar_t* path, bool plainAlways) noexcept
    : path_(path), plainAllowed_(plainAlways || !PlainFormTrimsName(path)) {
  extended_[0] = 0;
}

const wchar_t* PathForms::Next() noexcept {
  if (!path_) return nullptr;
  if (step_ == 0) {
    step_ = 1;
    if (plainAllowed_) return path_;
  }
  if (step_ == 1) {
    step_ = 2;
    const DWORD error = GetLastError();
    bool made = ToExtendedLengthPath(path_, extended_, kExtendedPathCapacity);
    // Only the unchanged form resolves "." and ".."; without it such a path is refused.
    if (made && !plainAllowed_ && HasDotComponent(extended_ + kExtendedPrefixLength)) made = false;
    if (made) {
      SetLastError(error);
      return extended_;
    }
    SetLastError(plainAllowed_ ? error : ERROR_INVALID_NAME);
  }
  return nullptr;
}

// ---- The program's own path and the current folder ----

bool ModulePath(HMODULE module, wchar_t* destination, size_t capacity) noexcept {
  if (capacity == 0) return false;
  const DWORD limit = capacity > MAXDWORD ? MAXDWORD : static_cast<DWORD>(capacity);
  const DWORD length = GetModuleFileNameW(module, destination, limit);
  // A length of the whole capacity means the path was cut (and, on older systems, not terminated).
  if (length == 0 || length >= limit) {
    destination[0] = L'\0';
    return false;
  }
  return true;
}

bool CurrentFolder(wchar_t* destination, size_t capacity) noexcept {
  if (capacity == 0) return false;
  const DWORD limit = capacity > MAXDWORD ? MAXDWORD : static_cast<DWORD>(capacity);
  const DWORD length = GetCurrentDirectoryW(limit, destination);
  // Too small a buffer gives the size needed and leaves the buffer undefined.
  if (length == 0 || length >= limit) {
    destination[0] = L'\0';
    return false;
  }
  return true;
}

// ---- Attributes and existence ----

DWORD QueryAttributes(const wchar_t* path) noexcept {
  if (!path) return INVALID_FILE_ATTRIBUTES;
  PathForms forms(path);
  DWORD attributes = INVALID_FILE_ATTRIBUTES;
  for (const wchar_t* form = forms.Next(); form; form = forms.Next()) {
    attributes = GetFileAttributesW(form);
    if (attributes != INVALID_FILE_ATTRIBUTES) break;
  }
  return attributes;
}

bool PathExists(const wchar_t* path) noexcept { return QueryAttributes(path) != INVALID_FILE_ATTRIBUTES; }

bool PathExistsOrMatches(const wchar_t* path) noexcept {
  if (!ContainsWildcards(path)) return PathExists(path);
  DirectoryScanner scanner;
  scanner.SetPattern(path);
  ScanEntry entry;
  return scanner.Next(entry);
}

bool AttrIsFolder(DWORD attributes) noexcept {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool AttrIsReparsePoint(DWORD attributes) noexcept { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

// ---- Directory scanning ----

DirectoryScanner::DirectoryScanner() noexcept : firstCall_(true), handle_(INVALID_HANDLE_VALUE) { pattern_[0] = 0; }

DirectoryScanner::~DirectoryScanner() { UniqueFindHandle closer(handle_); }

void DirectoryScanner::SetPattern(const wchar_t* pattern) noexcept {
  CopyBounded(pattern_, pattern, kPathCapacity);
  firstCall_ = true;
}

bool DirectoryScanner::Next(ScanEntry& entry) noexcept {
  for (;;) {
    entry.error = false;
    if (pattern_[0] == 0) return false;
    if (firstCall_) {
      UniqueFindHandle previous(handle_);  // a search of an earlier pattern ends here
      handle_ = StartSearch(pattern_, entry);
      if (handle_ == INVALID_HANDLE_VALUE) return false;
    } else {
      WIN32_FIND_DATAW found;
      if (!FindNextFileW(handle_, &found)) {
        entry.error = GetLastError() != ERROR_NO_MORE_FILES;
        return false;
      }
      FillFromFindData(pattern_, found, entry);
    }
    FillKindFlags(entry);
    firstCall_ = false;
    const wchar_t* name = FileNamePart(entry.name);
    if (wcscmp(name, L".") != 0 && wcscmp(name, L"..") != 0) return true;
  }
}

bool LookupSingle(const wchar_t* path, ScanEntry& entry) noexcept {
  entry.error = false;
  if (!path || path[0] == 0 || ContainsWildcards(path)) return false;
  UniqueFindHandle search(StartSearch(path, entry));
  if (!search) return false;
  FillKindFlags(entry);
  return true;
}

// ---- The archiver's per-user data folder ----

bool UserAppDataFolder(wchar_t* destination, size_t capacity) noexcept {
  if (capacity == 0) return false;
  destination[0] = 0;
  ComPtr<IMalloc> allocator;
  if (FAILED(SHGetMalloc(reinterpret_cast<IMalloc**>(allocator.put_void())))) return false;
  LPITEMIDLIST items = nullptr;
  bool result = false;
  if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_APPDATA, &items)) && items) {
    // SHGetPathFromIDListW writes up to MAX_PATH characters whatever the caller's buffer holds.
    wchar_t folder[MAX_PATH + 1] = {};
    if (SHGetPathFromIDListW(items, folder) && folder[0] != 0) {
      CopyBounded(destination, folder, capacity);
      AppendSeparator(destination, capacity);
      AppendBounded(destination, kArchiverDataFolderName, capacity);
      result = PathExists(destination);
    } else {
      destination[0] = 0;
    }
    allocator->Free(items);
  }
  return result;
}

void ArchiverDataFolder(wchar_t* destination, size_t capacity) noexcept {
  if (capacity == 0) return;
  destination[0] = 0;
  UniqueHkey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kDataFolderKey, 0, KEY_QUERY_VALUE, key.put()) == ERROR_SUCCESS) {
    const size_t byteCapacity = capacity * sizeof(wchar_t);
    DWORD size = byteCapacity > MAXDWORD ? MAXDWORD : static_cast<DWORD>(byteCapacity);
    DWORD type = REG_NONE;
    const LSTATUS status =
        RegQueryValueExW(key.get(), L"AppData", nullptr, &type, reinterpret_cast<BYTE*>(destination), &size);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
      destination[0] = 0;  // missing, too long for the buffer, or not text
    } else {
      // Stored strings need not carry their terminator.
      const size_t characters = size / sizeof(wchar_t);
      destination[characters < capacity ? characters : capacity - 1] = 0;
    }
  }
  if (destination[0] != 0 && PathExists(destination)) return;
  if (UserAppDataFolder(destination, capacity)) return;
  ProgramFolder(destination, capacity);
}

bool CandidateFolder(int index, wchar_t* destination, size_t capacity) noexcept {
  switch (index) {
    case 0:
      ArchiverDataFolder(destination, capacity);
      return true;
    case 1:
      ProgramFolder(destination, capacity);
      return true;
    default:
      return false;
  }
}

void LocateDataFile(const wchar_t* name, wchar_t* destination, size_t capacity) noexcept {
  if (capacity == 0) return;
  destination[0] = 0;
  for (int index = 0; CandidateFolder(index, destination, capacity); ++index) {
    AppendSeparator(destination, capacity);
    AppendBounded(destination, name, capacity);
    if (PathExistsOrMatches(destination)) return;
  }
}
