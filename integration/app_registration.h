// The App Paths entry of "Ovenix.exe" and the archiver's entry in the list of installed programs.
// All writes go through the settings store under HKEY_LOCAL_MACHINE.
#pragma once

#include <cstddef>

// Version of this build, shown in the uninstall entry.
constexpr int kVersionMajor = 6;
constexpr int kVersionMinor = 1;
constexpr int kVersionBeta = 1;
// "6.01.1": major, minor with two digits, beta number.
constexpr const wchar_t* kDisplayVersionFormat = L"%d.%02d.%d";

// Shown as "Publisher" in the list of installed programs.
constexpr const wchar_t kPublisherName[] = L"Ovenix Software";

// The full path of the file `name` in the folder of the running program. False, with an empty
// destination, when the program's own path cannot be obtained or does not fit the capacity.
[[nodiscard]] bool ProgramFilePath(const wchar_t* name, wchar_t* destination, size_t capacity);

// Absolute keys (leading backslash: not relative to the program's own key).
constexpr const wchar_t kAppPathsKey[] = L"\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Ovenix.exe";
constexpr const wchar_t kUninstallKey[] =
    L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ovenix archiver";

// Writes the App Paths entry (default value and "Path", in the default and in the 32-bit view)
// and "exe64" in HKLM\Software\Ovenix, all naming "Ovenix.exe" beside the running program.
// Returns false, having written nothing, when the first write is refused with access denied; other
// write failures are ignored. The store's registry view is 0 again on return.
[[nodiscard]] bool RegisterAppPath();

// Writes the uninstall entry (default view): display name and version, this program's quoted path
// as the uninstall command, the icon (an existing "DisplayIcon" file is kept), the install location
// (with a trailing backslash), the publisher, then the silent command (the same and " /S"), the
// size in kilobytes of the files "Uninstall.lst" names that exist (without a list, of the program
// file) and today's local date as yyyyMMdd. Write failures are ignored.
void WriteUninstallEntry();

// The installation folder the machine's integration points at: the uninstall entry's
// "InstallLocation", or, where the entry names none, the App Paths "Path" of the archiver (the
// 64-bit view, this program's own). Empty when neither names a folder (or registry access is off).
void RegisteredInstallationFolder(wchar_t* folder, size_t capacity);

// Deletes the uninstall entry. The uninstall driver does so only once its self-removal batch file
// has started, so that an uninstall that was interrupted, or could not finish, can be started
// again from the list of installed programs.
void DeleteUninstallEntry();

// Appends the version name ("6.01 <beta> 1 (<64-bit>)" with localized words), preceded by a blank
// when the text is not empty; cut to the capacity.
void AppendVersionName(wchar_t* text, size_t capacity);
