#include "integration/app_registration.h"

#include <windows.h>

#include <cstdint>
#include <cwchar>

#include "base/bounded_text.h"
#include "base/handles.h"
#include "base/list_file.h"
#include "base/paths.h"
#include "integration/integration_settings.h"
#include "localization/localized_strings.h"
#include "resources/resource_ids.h"
#include "settings/registry.h"

namespace {

constexpr size_t kPieceCapacity = 100;  // each piece of the version name is formatted in this much
constexpr size_t kCommandCapacity = kPathCapacity + 8;  // the quoted program path and " /S"

// Kilobytes, rounded up, of the files named in the installer's list that exist beside the program
// (folder, with its trailing backslash), or of the program file alone when there is no list. The
// folder itself is never walked: it may be a drive root.
uint32_t EstimatedSizeInKilobytes(const wchar_t* folder, const wchar_t* programPath) {
  wchar_t path[kPathCapacity];
  JoinPath(folder, kUninstallListName, path, kPathCapacity);
  UniqueFileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  uint64_t bytes = 0;
  ScanEntry entry;
  if (!file) {
    if (LookupSingle(programPath, entry)) bytes = entry.size;
  } else {
    ListReader list(file.get());
    wchar_t name[kListPieceBytes + 1];
    while (NextListName(list, name)) {
      // A cut path would name another file.
      if (wcslen(folder) + wcslen(name) >= kPathCapacity) continue;
      JoinPath(folder, name, path, kPathCapacity);
      if (LookupSingle(path, entry) && !entry.isFolder) bytes += entry.size;
    }
  }
  const uint64_t kilobytes = (bytes + 1023) / 1024;
  return kilobytes > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(kilobytes);
}

}  // namespace

bool ProgramFilePath(const wchar_t* name, wchar_t* destination, size_t capacity) {
  if (capacity == 0) return false;
  wchar_t own[kPathCapacity];
  if (!ModulePath(nullptr, own, kPathCapacity)) {
    destination[0] = L'\0';
    return false;
  }
  ReplaceFileName(own, name, kPathCapacity);
  if (wcslen(own) >= capacity) {
    destination[0] = L'\0';
    return false;
  }
  CopyBounded(destination, own, capacity);
  return true;
}

bool RegisterAppPath() {
  wchar_t exePath[kPathCapacity];
  (void)ProgramFilePath(kArchiverExe, exePath, kPathCapacity);
  wchar_t folder[kPathCapacity];
  CopyBounded(folder, exePath, kPathCapacity);
  TruncateToFolder(folder);

  // Without write access to HKEY_LOCAL_MACHINE the whole integration is abandoned: test the first
  // write only, before anything else is written.
  {
    SettingKey appPath(HKEY_LOCAL_MACHINE, kAppPathsKey);
    if (appPath.WriteString(L"", exePath) == ERROR_ACCESS_DENIED) return false;
    (void)WriteSettingString(HKEY_LOCAL_MACHINE, L"", L"exe64", exePath);
    (void)appPath.WriteString(L"Path", folder);
  }
  // 32-bit programs look the archiver up in their own view of App Paths.
  SetRegistryView(KEY_WOW64_32KEY);
  {
    SettingKey appPath32(HKEY_LOCAL_MACHINE, kAppPathsKey);
    (void)appPath32.WriteString(L"", exePath);
    (void)appPath32.WriteString(L"Path", folder);
  }
  SetRegistryView(0);
  return true;
}

void AppendVersionName(wchar_t* text, size_t capacity) {
  if (capacity == 0) return;
  if (text[0] != L'\0') AppendBounded(text, L" ", capacity);

  wchar_t piece[kPieceCapacity];
  FormatBounded(piece, kPieceCapacity, L"%d.%02d", kVersionMajor, kVersionMinor);
  AppendBounded(text, piece, capacity);

  // " <beta> <n>" and " (<64-bit>)": the localized words may be long; each piece is cut to fit.
  wchar_t number[16];
  FormatBounded(number, 16, L"%d", kVersionBeta);
  CopyBounded(piece, L" ", kPieceCapacity);
  AppendBounded(piece, LocalizedString(IDS_BETA), kPieceCapacity);
  AppendBounded(piece, L" ", kPieceCapacity);
  AppendBounded(piece, number, kPieceCapacity);
  AppendBounded(text, piece, capacity);

  CopyBounded(piece, L" (", kPieceCapacity);
  AppendBounded(piece, LocalizedString(IDS_64BIT), kPieceCapacity);
  AppendBounded(piece, L")", kPieceCapacity);
  AppendBounded(text, piece, capacity);
}

void WriteUninstallEntry() {
  wchar_t displayName[kPathCapacity];
  CopyBounded(displayName, kArchiverName, kPathCapacity);
  AppendVersionName(displayName, kPathCapacity);
  wchar_t displayVersion[kPieceCapacity];
  FormatBounded(displayVersion, kPieceCapacity, kDisplayVersionFormat, kVersionMajor, kVersionMinor, kVersionBeta);

  wchar_t ownPath[kPathCapacity];
  ModulePath(nullptr, ownPath, kPathCapacity);  // empty when it cannot be had
  // The folder keeps its last backslash: "InstallLocation" ends with one.
  wchar_t folder[kPathCapacity];
  CopyBounded(folder, ownPath, kPathCapacity);
  *FileNamePart(folder) = L'\0';

  SettingKey entry(HKEY_LOCAL_MACHINE, kUninstallKey);
  (void)entry.WriteString(L"DisplayName", displayName);
  (void)entry.WriteString(L"DisplayVersion", displayVersion);
  (void)entry.WriteNumber(L"VersionMajor", kVersionMajor);
  (void)entry.WriteNumber(L"VersionMinor", kVersionMinor);
  // Quoted: with blanks in an unquoted path, Windows would try "C:\Program.exe" first.
  wchar_t command[kCommandCapacity];
  CopyBounded(command, L"\"", kCommandCapacity);
  AppendBounded(command, ownPath, kCommandCapacity);
  AppendBounded(command, L"\"", kCommandCapacity);
  (void)entry.WriteString(L"UninstallString", command);

  // An icon the installer (or an earlier run) pointed at an existing file stays.
  wchar_t icon[kPathCapacity];
  entry.ReadString(L"DisplayIcon", icon, L"", kPathCapacity);
  if (icon[0] == L'\0' || !PathExists(icon)) {
    JoinPath(folder, kArchiverExe, icon, kPathCapacity);
    (void)entry.WriteString(L"DisplayIcon", icon);
  }

  (void)entry.WriteString(L"InstallLocation", folder);
  (void)entry.WriteNumber(L"NoModify", 1);
  (void)entry.WriteNumber(L"NoRepair", 1);
  (void)entry.WriteNumber(L"Language", 0);
  (void)entry.WriteString(L"Publisher", kPublisherName);

  // For tools that remove programs without a person: the silent command and the size.
  AppendBounded(command, L" /S", kCommandCapacity);
  (void)entry.WriteString(L"QuietUninstallString", command);
  (void)entry.WriteNumber(L"EstimatedSize",
                           ownPath[0] != L'\0' ? EstimatedSizeInKilobytes(folder, ownPath) : 0);
  SYSTEMTIME today;
  GetLocalTime(&today);
  wchar_t date[kPieceCapacity];
  FormatBounded(date, kPieceCapacity, L"%04u%02u%02u", today.wYear, today.wMonth, today.wDay);
  (void)entry.WriteString(L"InstallDate", date);
}

void RegisteredInstallationFolder(wchar_t* folder, size_t capacity) {
  if (capacity == 0) return;
  (void)ReadSettingString(HKEY_LOCAL_MACHINE, kUninstallKey, L"InstallLocation", folder, L"", capacity);
  if (folder[0] == L'\0') (void)ReadSettingString(HKEY_LOCAL_MACHINE, kAppPathsKey, L"Path", folder, L"", capacity);
}

void DeleteUninstallEntry() { DeleteSettingKey(HKEY_LOCAL_MACHINE, kUninstallKey); }
