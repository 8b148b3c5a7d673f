#include "integration/shortcuts.h"

#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cwchar>

#include "base/bounded_text.h"
#include "base/disk_file.h"
#include "base/growable_array.h"
#include "base/handles.h"
#include "base/paths.h"
#include "base/run_log.h"
#include "base/system.h"
#include "integration/app_registration.h"
#include "integration/integration_settings.h"
#include "localization/localized_strings.h"
#include "resources/resource_ids.h"
#include "settings/registry.h"

namespace {

// The shell link object and the two interfaces used on it, defined here: the program links no GUID
// library for three identifiers.
constexpr CLSID kShellLinkClass = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kShellLinkInterface = {0x000214F9, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kPersistFileInterface = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

constexpr wchar_t kShortcutName[] = L"Ovenix.lnk";
constexpr wchar_t kGroupName[] = L"Ovenix";

// The program group: target file in the program folder and shortcut name. A name or target of 0
// with a string ID takes the localized text.
struct GroupEntry {
  const wchar_t* targetFile;  // null: the text of targetStringId
  UINT targetStringId;
  const wchar_t* shortcutName;  // null: the text of nameStringId
  UINT nameStringId;
  bool withIcon;
};
constexpr GroupEntry kGroupEntries[] = {
    {kArchiverExe, 0, kArchiverName, 0, true},
    {L"Ovenix.chm", 0, nullptr, IDS_OVENIXHELP, false},
    {L"Vok.txt", 0, nullptr, IDS_VOKHELP, false},
    {nullptr, IDS_WHATSNEWNAME, nullptr, IDS_WHATSNEW, false},
};

const wchar_t* Outcome(bool done) { return done ? L"ok" : L"failed"; }

// Deletes a shortcut (or any file of a group) that is there, and says so in the log.
void RemoveShortcutFile(const wchar_t* path) {
  if (!PathExists(path)) return;
  const bool removed = RemoveFile(path);
  LogLine("shortcut: removed %s -> %s", path, Outcome(removed));
}

// Deletes the files directly in the folder; subfolders cannot be removed this way and stay.
void DeleteFilesIn(const wchar_t* folder) {
  wchar_t pattern[kPathCapacity];
  JoinPath(folder, L"*", pattern, kPathCapacity);
  DirectoryScanner scanner;
  scanner.SetPattern(pattern);
  ScanEntry entry;
  while (scanner.Next(entry)) RemoveShortcutFile(entry.name);
}

// A name that stays in the folder it is joined to: not empty, not ".", and without a separator,
// a drive colon or a parent reference.
bool IsPlainName(const wchar_t* name) {
  return name[0] != 0 && wcscmp(name, L".") != 0 && wcspbrk(name, L"\\/:") == nullptr &&
         wcsstr(name, L"..") == nullptr;
}

// The fixed text, or the localized text of the string ID when it is a plain name, else the
// program's own text: a translation must not lead a shortcut out of its group (where removal never
// finds it) or a target out of the program folder.
void EntryText(const wchar_t* fixed, UINT stringId, wchar_t* buffer, size_t capacity) {
  if (fixed) {
    CopyBounded(buffer, fixed, capacity);
    return;
  }
  LocalizedStringInto(stringId, buffer, capacity);
  if (!IsPlainName(buffer)) ProgramStringInto(stringId, buffer, capacity);
}

// Adds a shortcut for every entry whose target exists in the program folder.
void AddGroupShortcuts(const wchar_t* group, const wchar_t* workDir, const wchar_t* description,
                       const wchar_t* iconLocation) {
  for (const GroupEntry& entry : kGroupEntries) {
    wchar_t name[kPathCapacity];
    EntryText(entry.shortcutName, entry.nameStringId, name, LocalizedStringCapacity);
    AppendBounded(name, L".lnk", kPathCapacity);
    wchar_t shortcut[kPathCapacity];
    JoinPath(group, name, shortcut, kPathCapacity);

    wchar_t targetFile[LocalizedStringCapacity];
    EntryText(entry.targetFile, entry.targetStringId, targetFile, LocalizedStringCapacity);
    wchar_t target[kPathCapacity];
    if (!ProgramFilePath(targetFile, target, kPathCapacity)) continue;
    if (!PathExists(target)) continue;
    CreateShellLink(target, shortcut, workDir, description, entry.withIcon ? iconLocation : nullptr);
  }
}

// Empties an existing group folder of its files (stale shortcuts go), makes sure it exists and
// fills it. A group that is a junction or symbolic link is neither emptied nor filled: the files
// behind it are not ours, and shortcuts written through it would never be found by removal, which
// does not follow links. Returns whether the group was rebuilt.
bool RebuildGroup(const wchar_t* group, const wchar_t* workDir, const wchar_t* description,
                  const wchar_t* iconLocation) {
  const DWORD attributes = QueryAttributes(group);
  if (attributes != INVALID_FILE_ATTRIBUTES && AttrIsReparsePoint(attributes)) {
    LogLine("program group %s: left alone, it is a link to another folder", group);
    return false;
  }
  if (attributes != INVALID_FILE_ATTRIBUTES) DeleteFilesIn(group);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const bool created = CreateDirectoryW(group, nullptr);
    LogLine("folder: created %s -> %s", group, Outcome(created));
  }
  AddGroupShortcuts(group, workDir, description, iconLocation);
  return true;
}

// Creates the shortcut when wanted, deletes it otherwise.
void UpdateOneShortcut(bool wanted, const wchar_t* target, const wchar_t* shortcut, const wchar_t* workDir,
                       const wchar_t* description, const wchar_t* iconLocation) {
  if (wanted) {
    CreateShellLink(target, shortcut, workDir, description, iconLocation);
  } else {
    RemoveShortcutFile(shortcut);
  }
}

}  // namespace

bool GetSpecialFolder(wchar_t* buffer, size_t capacity, int csidl) {
  // SHGetFolderPathW writes up to MAX_PATH characters without being told the capacity.
  if (capacity >= MAX_PATH && SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer) == S_OK) {
    return true;
  }
  CopyBounded(buffer, kUnknownFolder, capacity);
  return false;
}

bool CreateShellLink(const wchar_t* target, const wchar_t* shortcutPath, const wchar_t* workingDirectory,
                     const wchar_t* description, const wchar_t* iconLocation) {
  ComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(kShellLinkClass, nullptr, CLSCTX_INPROC_SERVER, kShellLinkInterface,
                              link.put_void()))) {
    return false;
  }
  ComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(kPersistFileInterface, file.put_void()))) return false;
  // An existing shortcut keeps what is not set below (a missing file simply fails to load).
  (void)file->Load(shortcutPath, STGM_READWRITE);
  link->SetPath(target);
  if (description) link->SetDescription(description);
  link->SetIconLocation(iconLocation ? iconLocation : L"", 0);
  if (workingDirectory) link->SetWorkingDirectory(workingDirectory);
  const bool saved = SUCCEEDED(file->Save(shortcutPath, TRUE));
  LogLine("shortcut: created %s -> %s: %s", shortcutPath, target, Outcome(saved));
  return saved;
}

void RemoveFolderTree(const wchar_t* folder) {
  const DWORD attributes = GetFileAttributesW(folder);
  // A junction or symbolic link is never followed: its target belongs to someone else.
  if (attributes == INVALID_FILE_ATTRIBUTES || !AttrIsFolder(attributes) || AttrIsReparsePoint(attributes)) {
    return;
  }
  // The source list ends with two terminators.
  const size_t length = wcslen(folder);
  GrowableArray<wchar_t> from(static_cast<uint64_t>(length) + 2);
  wmemcpy(from.Data(), folder, length);
  from[length] = L'\0';
  from[length + 1] = L'\0';
  SHFILEOPSTRUCTW operation = {};
  operation.wFunc = FO_DELETE;
  operation.pFrom = from.Data();
  // No box of the shell's either, not even for an error: an unattended run would wait for an
  // answer forever. The log gets the shell's result instead.
  operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
  const int result = SHFileOperationW(&operation);
  if (result == 0) {
    LogLine("folder: removed %s with its contents -> ok", folder);
    return;
  }
  // The shell's result is a Windows error code or one of its own older codes, which may share a
  // number with a Windows code: named as the shell's, with what is left.
  LogLine("folder: removing %s with its contents failed: the shell file operation returned %u%s", folder,
          static_cast<unsigned>(result),
          PathExists(folder) ? L"; the folder stays with what could not be deleted" : L"; the folder is gone");
}

void UpdateShortcuts(const IntegrationSettings& settings, wchar_t* groupFolder, size_t groupFolderCapacity,
                     const wchar_t* iconLocation) {
  if (!IsIntegrationAllowed()) {
    LogLine("shortcuts: left as they are (shortcut changes are off in the settings file)");
    return;
  }

  wchar_t target[kPathCapacity];
  (void)ProgramFilePath(kArchiverExe, target, kPathCapacity);
  // Windows 6.0 and later keep the archiver's shortcuts for all users.
  const bool modern = WindowsVersion() >= 0x600;

  wchar_t desktop[kPathCapacity];
  wchar_t shortcut[kPathCapacity];
  if (modern) {
    // A per-user shortcut of an earlier version would show twice beside the all users' one.
    if (GetSpecialFolder(desktop, kPathCapacity, CSIDL_DESKTOPDIRECTORY)) {
      JoinPath(desktop, kShortcutName, shortcut, kPathCapacity);
      RemoveShortcutFile(shortcut);
    }
    GetSpecialFolder(desktop, kPathCapacity, CSIDL_COMMON_DESKTOPDIRECTORY);
  } else if (!GetSpecialFolder(desktop, kPathCapacity, CSIDL_DESKTOPDIRECTORY)) {
    return;
  }

  wchar_t workDir[kPathCapacity];
  GetSpecialFolder(workDir, kPathCapacity, CSIDL_DESKTOPDIRECTORY);
  wchar_t description[LocalizedStringCapacity];
  CopyBounded(description, LocalizedString(IDS_OVENIXDESC), LocalizedStringCapacity);

  JoinPath(desktop, kShortcutName, shortcut, kPathCapacity);
  UpdateOneShortcut(settings.Desktop != 0, target, shortcut, nullptr, description, iconLocation);

  wchar_t startMenu[kPathCapacity];
  GetSpecialFolder(startMenu, kPathCapacity, modern ? CSIDL_COMMON_STARTMENU : CSIDL_STARTMENU);
  JoinPath(startMenu, kShortcutName, shortcut, kPathCapacity);
  UpdateOneShortcut(settings.StartMenu != 0, target, shortcut, workDir, description, iconLocation);

  const bool programs = settings.Programs != 0;
  wchar_t group[kPathCapacity];
  GetSpecialFolder(group, kPathCapacity, CSIDL_PROGRAMS);
  JoinPath(group, kGroupName, group, kPathCapacity);
  if (programs) {
    if (RebuildGroup(group, workDir, description, iconLocation) && groupFolder) {
      CopyBounded(groupFolder, group, groupFolderCapacity);
    }
  } else {
    RemoveFolderTree(group);
  }

  if (GetSpecialFolder(group, kPathCapacity, CSIDL_COMMON_PROGRAMS)) {
    JoinPath(group, kGroupName, group, kPathCapacity);
    if (programs) {
      if (RebuildGroup(group, workDir, description, iconLocation) && groupFolder && PathExists(group)) {
        CopyBounded(groupFolder, group, groupFolderCapacity);
      }
    } else {
      RemoveFolderTree(group);
    }
  }
}
