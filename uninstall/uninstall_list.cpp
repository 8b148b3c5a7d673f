#include "uninstall/uninstall_list.h"

#include <cwchar>

#include "base/bounded_text.h"
#include "base/handles.h"
#include "base/paths.h"
#include "base/run_log.h"

namespace {

constexpr unsigned kLastTemporaryCounter = 999;

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Length of the path once normalised, or 0 when it cannot be normalised within the capacity.
size_t NormalisedPath(const wchar_t* path, wchar_t* destination, size_t capacity) {
  const DWORD length = GetFullPathNameW(path, static_cast<DWORD>(capacity), destination, nullptr);
  return (length == 0 || length >= capacity) ? 0 : length;
}

// Whether a named entry is present at all: a failed deletion of an absent entry is passed over.
bool Exists(DWORD attributes) { return attributes != INVALID_FILE_ATTRIBUTES; }

// The path of an existing folder with every link on the way resolved; false when it cannot be
// opened or the result does not fit.
bool FinalFolderPath(const wchar_t* folder, wchar_t* destination, size_t capacity) {
  UniqueFileHandle handle(CreateFileW(folder, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle) return false;
  const DWORD length = GetFinalPathNameByHandleW(handle.get(), destination, static_cast<DWORD>(capacity),
                                                 FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  return length > 0 && length < capacity;
}

// True when the entry's folder, with links (junctions, symbolic links) resolved, is not the
// program folder or below it: the composed path then leads out although its text stays inside.
// The entry itself may be a link; deleting it removes the link, never its target.
// programFinal is the program folder's own resolved path (empty when it could not be resolved:
// then every folder on the way is checked for the link attribute instead).
bool LeadsOutThroughLink(const wchar_t* fullPath, size_t folderLength, const wchar_t* programFinal) {
  wchar_t parent[kPathCapacity];
  CopyBounded(parent, fullPath, kPathCapacity);
  wchar_t* name = FileNamePart(parent);
  if (name <= parent + folderLength) return false;  // directly in the program folder
  name[-1] = 0;
  if (programFinal[0] != 0) {
    wchar_t parentFinal[kPathCapacity];
    if (!FinalFolderPath(parent, parentFinal, kPathCapacity)) return true;  // nothing there to delete
    const size_t programLength = std::wcslen(programFinal);
    const bool rootFinal = programLength > 0 && programFinal[programLength - 1] == L'\\';
    return !(CompareStringOrdinal(parentFinal, static_cast<int>(programLength), programFinal,
                                  static_cast<int>(programLength), /*ignoreCase=*/TRUE) == CSTR_EQUAL &&
             (rootFinal || parentFinal[programLength] == L'\\'));
  }
  for (size_t i = folderLength;; ++i) {
    const wchar_t c = parent[i];
    if (c != 0 && !IsSeparator(c)) continue;
    parent[i] = 0;
    const DWORD attributes = GetFileAttributesW(parent);
    parent[i] = c;
    if (Exists(attributes) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return true;
    if (c == 0) break;
  }
  return false;
}

// Whether the system recorded the entry for deletion at the next restart.
bool ScheduleForRestart(const wchar_t* fullPath) {
  wchar_t temporaryName[kPathCapacity];
  TemporaryNameFor(fullPath, temporaryName, kPathCapacity);
  // A file that cannot be renamed either (open without delete sharing) is scheduled under its own
  // name; one that can (a mapped image, on Windows) gets out of the way of a reinstallation.
  const bool moved = MoveFileW(fullPath, temporaryName);
  if (moved) LogLine("list: %s is in use: moved aside to %s", fullPath, temporaryName);
  const wchar_t* scheduled = moved ? temporaryName : fullPath;
  const bool recorded = MoveFileExW(scheduled, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  LogLine("list: %s scheduled for deletion at the next restart -> %e", scheduled, ErrorUnless(recorded));
  return recorded;
}

}  // namespace

bool LiesInsideFolder(const wchar_t* fullPath, const wchar_t* folder) noexcept {
  wchar_t normalPath[kPathCapacity];
  wchar_t normalFolder[kPathCapacity];
  const size_t pathLength = NormalisedPath(fullPath, normalPath, kPathCapacity);
  size_t folderLength = NormalisedPath(folder, normalFolder, kPathCapacity);
  if (pathLength == 0 || folderLength == 0) return false;
  if (normalFolder[folderLength - 1] != L'\\') {
    if (folderLength + 1 >= kPathCapacity) return false;
    normalFolder[folderLength++] = L'\\';
    normalFolder[folderLength] = 0;
  }
  if (pathLength <= folderLength) return false;  // the folder itself, or something above it
  return CompareStringOrdinal(normalPath, static_cast<int>(folderLength), normalFolder,
                              static_cast<int>(folderLength), /*ignoreCase=*/TRUE) == CSTR_EQUAL;
}

void TemporaryNameFor(const wchar_t* fullPath, wchar_t* destination, size_t capacity) noexcept {
  if (capacity == 0) return;
  for (unsigned counter = 0;; ++counter) {
    // _snwprintf may leave the buffer unterminated when the text is cut.
    _snwprintf(destination, capacity, L"%ls.%u.tmp", fullPath, counter);
    destination[capacity - 1] = 0;
    if (counter == kLastTemporaryCounter || GetFileAttributesW(destination) == INVALID_FILE_ATTRIBUTES) return;
  }
}

ListPassOutcome RunListPasses(ListReader& list, const wchar_t* programFolder, const wchar_t* programPath) {
  ListPassOutcome outcome;
  const wchar_t* programName = FileNamePart(programPath);
  const size_t folderLength = std::wcslen(programFolder);
  wchar_t programFinal[kPathCapacity];
  if (!FinalFolderPath(programFolder, programFinal, kPathCapacity)) programFinal[0] = 0;
  wchar_t name[kListPieceBytes + 1];
  wchar_t fullPath[kPathCapacity];
  for (;;) {
    unsigned deletedInPass = 0;
    ++outcome.passes;
    while (NextListName(list, name)) {
      // A cut path would name another entry: such a line is passed over, not shortened.
      if (folderLength + std::wcslen(name) >= kPathCapacity) continue;
      CopyBounded(fullPath, programFolder, kPathCapacity);
      AppendBounded(fullPath, name, kPathCapacity);
      if (!LiesInsideFolder(fullPath, programFolder)) {
        LogLine("list: \"%s\" passed over: it names something outside the program folder", name);
        continue;
      }
      if (LeadsOutThroughLink(fullPath, folderLength, programFinal)) {
        LogLine("list: \"%s\" passed over: its folder is gone, or leads out of the program folder through a link", name);
        continue;
      }

      const DWORD attributes = GetFileAttributesW(fullPath);
      SetFileAttributesW(fullPath, 0);  // clears read-only; 0 is taken as "normal"
      if (Exists(attributes) && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        if (RemoveDirectoryW(fullPath)) {
          ++deletedInPass;
          LogLine("list: removed the folder %s", fullPath);
        }
        continue;
      }
      if (DeleteFileW(fullPath)) {
        ++deletedInPass;
        LogLine("list: deleted %s", fullPath);
        continue;
      }
      if (!Exists(attributes)) continue;
      const wchar_t* entryName = FileNamePart(fullPath);
      if (NamesEqual(entryName, programName)) continue;          // the batch file deletes it
      if (NamesEqual(entryName, kUninstallListName)) continue;   // deleted after the passes
      outcome.rebootNeeded = true;
      if (ScheduleForRestart(fullPath)) outcome.restartScheduled = true;
    }
    if (deletedInPass == 0 || !list.Rewind()) break;
  }
  return outcome;
}
