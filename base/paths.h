// Path arithmetic on caller-owned wide buffers, and the small set of file-system operations the
// program shares (attributes, existence, directory scanning, the archiver's data folder).
//
// Buffers: every function that writes a path takes the capacity in characters (conventionally
// kPathCapacity), never writes past it, always terminates and silently cuts what does not fit.
// The separator is the backslash; the functions that say so also accept the forward slash.
// The arithmetic functions never touch the disk. The file-system functions try the path unchanged
// first and, only when that fails, once more in its extended-length form; a path whose unchanged
// form Windows would trim into another name is tried in its extended-length form only (PathForms).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

constexpr size_t kPathCapacity = 2048;
// Room for the extended-length form of any conventional path, a relative one resolved against a
// current folder of up to 2047 characters included.
constexpr size_t kExtendedPathCapacity = 2 * kPathCapacity + 16;

// ---- Path arithmetic (no file-system access) ----

// The name part: just after the last backslash or forward slash; with neither, just after a
// leading drive prefix ("C:name" gives "name"); else the whole path.
const wchar_t* FileNamePart(const wchar_t* path) noexcept;
wchar_t* FileNamePart(wchar_t* path) noexcept;

// The last character, or the start of an empty path.
const wchar_t* LastCharacter(const wchar_t* path) noexcept;
wchar_t* LastCharacter(wchar_t* path) noexcept;

// Appends a backslash unless the path is empty, already ends in a backslash (a trailing '/' does not
// count) or has no room (length + 1 must stay below capacity). Returns the length before.
size_t AppendSeparator(wchar_t* path, size_t capacity) noexcept;

// destination = folder + separator + name, cut to capacity. destination may be folder.
void JoinPath(const wchar_t* folder, const wchar_t* name, wchar_t* destination, size_t capacity) noexcept;

// Overwrites the name part with newName; capacity counts from the start of path.
void ReplaceFileName(wchar_t* path, const wchar_t* newName, size_t capacity) noexcept;

// Cuts the name part off: "C:\x" -> "C:\", "\x" -> "\", "x" -> "", "C:\dir\x" -> "C:\dir",
// "dir\x" -> "dir".
void TruncateToFolder(wchar_t* path) noexcept;

// A letter (upper-cased with CharUpperW) followed by ':'.
bool HasDriveLetter(const wchar_t* path) noexcept;
// Starts with two backslashes, or a drive letter followed by a backslash or forward slash.
bool IsAbsolutePath(const wchar_t* path) noexcept;
// '*' or '?' anywhere after an optional leading "\\?\"; false for null.
bool ContainsWildcards(const wchar_t* path) noexcept;

// The extended-length form of source, with a relative source resolved against currentFolder:
//   "C:\a" -> "\\?\C:\a"; "\\srv\share\a" -> "\\?\UNC\srv\share\a";
//   with currentFolder "D:\w": "a\b" -> "\\?\D:\w\a\b", ".\a" -> "\\?\D:\w\a",
//   "..\a" -> "\\?\D:\w\..\a", "\a" -> "\\?\D:\a".
// False (destination left unchanged) for an empty source, for a drive-relative source ("C:name",
// which would become a stream of a file "C"), for a result that does not fit the capacity, and, for
// a relative source, when currentFolder is empty, longer than 2047 characters, or 2047 characters
// without a trailing backslash (no room for the separator).
// Forward slashes are not converted. Pure arithmetic: currentFolder is only used for relative paths.
[[nodiscard]] bool ExtendedLengthPathFrom(const wchar_t* source, const wchar_t* currentFolder,
                                          wchar_t* destination, size_t capacity) noexcept;
// The same against the process's current folder (GetCurrentDirectoryW).
[[nodiscard]] bool ToExtendedLengthPath(const wchar_t* source, wchar_t* destination, size_t capacity) noexcept;

// True when Windows would trim the plain form of the path into another name: its name part
// (other than "." and "..") ends in a dot or a blank ("dir\x." names "dir\x"). Such a path names
// what it says only in its extended-length form. False for a path already in that form.
bool PlainFormTrimsName(const wchar_t* path) noexcept;

// The forms a file-system operation tries for one path, in order: the path unchanged, then its
// extended-length form (ToExtendedLengthPath). When PlainFormTrimsName, the unchanged form is left
// out (unless plainAlways), and so is an extended form that still holds a "." or ".." component,
// which that form does not resolve: such a path gets no form at all. Usage:
//   PathForms forms(path);
//   for (const wchar_t* form = forms.Next(); form; form = forms.Next()) { ... }
class PathForms {
 public:
  explicit PathForms(const wchar_t* path, bool plainAlways = false) noexcept;
  PathForms(const PathForms&) = delete;
  PathForms& operator=(const PathForms&) = delete;
  // The next form, or null when none is left. Keeps the caller's last error, except that a path
  // with no form at all leaves ERROR_INVALID_NAME.
  const wchar_t* Next() noexcept;

 private:
  const wchar_t* path_;
  bool plainAllowed_;
  int step_ = 0;
  wchar_t extended_[kExtendedPathCapacity];
};

// ---- Attributes and existence ----

// GetFileAttributesW through PathForms; INVALID_FILE_ATTRIBUTES when the path is missing or unreadable.
DWORD QueryAttributes(const wchar_t* path) noexcept;
// A file or a folder exists there.
bool PathExists(const wchar_t* path) noexcept;
// Without wildcards PathExists; with wildcards, whether anything (other than "." and "..") matches.
bool PathExistsOrMatches(const wchar_t* path) noexcept;
bool AttrIsFolder(DWORD attributes) noexcept;
bool AttrIsReparsePoint(DWORD attributes) noexcept;

// ---- The program's own path and the current folder ----

// The full path of the module's file (module null: the program's executable) into destination.
// False, with destination empty, when it cannot be read or does not fit the capacity: a cut path
// would name some other file.
bool ModulePath(HMODULE module, wchar_t* destination, size_t capacity) noexcept;
// The process's current folder into destination; false, with destination empty, when it cannot be
// read or does not fit the capacity.
bool CurrentFolder(wchar_t* destination, size_t capacity) noexcept;

// ---- Directory scanning ----

struct ScanEntry {
  wchar_t name[kPathCapacity];  // the pattern with its name part replaced by the found name
  uint64_t size;
  uint32_t attributes;
  bool isFolder;
  bool isReparsePoint;
  uint64_t modified;  // nanoseconds since 1601-01-01 UTC
  uint64_t created;
  uint64_t accessed;
  FILETIME rawCreated;
  FILETIME rawAccessed;
  FILETIME rawModified;
  bool error;  // the last step failed for a reason other than that nothing (more) was found
};

class DirectoryScanner {
 public:
  DirectoryScanner() noexcept;
  ~DirectoryScanner();
  DirectoryScanner(const DirectoryScanner&) = delete;
  DirectoryScanner& operator=(const DirectoryScanner&) = delete;

  // A path with a wildcard name part, or a plain path; cut to 2047 characters. The next Next
  // starts a new search.
  void SetPattern(const wchar_t* pattern) noexcept;
  // Fills entry with the next match ("." and ".." are skipped) and returns true; false at the end
  // (entry.error false) or on a failure (entry.error true). An empty pattern gives false.
  bool Next(ScanEntry& entry) noexcept;

 private:
  wchar_t pattern_[kPathCapacity];
  bool firstCall_;
  HANDLE handle_;
};

// Fills entry for exactly this path (searched through PathForms) and returns true when it exists;
// false for a path with wildcards or one that is not found (entry.error tells a failure from "not
// found").
bool LookupSingle(const wchar_t* path, ScanEntry& entry) noexcept;

// ---- The archiver's per-user data folder ----

// The archiver's folder below the roaming application data folder.
constexpr const wchar_t* kArchiverDataFolderName = L"Ovenix";

// "<roaming application data>\Ovenix" into destination; true when that folder exists (it is never
// created). False also when the special folder cannot be found.
bool UserAppDataFolder(wchar_t* destination, size_t capacity) noexcept;
// The folder the archiver keeps its data in: HKCU "Software\Ovenix\Paths" value "AppData" when it
// names an existing path (read from the real registry, whatever the settings store does), else
// UserAppDataFolder when it exists, else the program's own folder. Always fills destination.
void ArchiverDataFolder(wchar_t* destination, size_t capacity) noexcept;
// index 0: ArchiverDataFolder; index 1: the program's own folder. False for any other index,
// destination then unchanged.
bool CandidateFolder(int index, wchar_t* destination, size_t capacity) noexcept;
// destination = the first candidate folder + name that exists (wildcards allowed in name), or the
// program folder's candidate when it exists in neither.
void LocateDataFile(const wchar_t* name, wchar_t* destination, size_t capacity) noexcept;
