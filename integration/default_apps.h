// The archiver's place among Windows' default apps: its registered capabilities
// (RegisteredApplications, the list the Default apps page and Default Programs show) and its entry
// under HKCR\Applications, which "Open with" reads.
//
// Registry access goes through the settings store (settings/registry.h), under HKCR or by
// absolute paths below HKLM and HKCU, so with a settings file in use everything here still lands
// in the registry, where Windows reads it. With registry access off (Global\Integration=0)
// nothing is written or deleted.
#pragma once

#include <windows.h>

// The capabilities key and the list that names it, absolute below HKLM (or HKCU when registered
// per user); the archiver's entry for "Open with", under HKCR.
constexpr const wchar_t kCapabilitiesKey[] = L"\\Software\\Ovenix\\Capabilities";
constexpr const wchar_t kRegisteredApplicationsKey[] = L"\\Software\\RegisteredApplications";
constexpr const wchar_t kApplicationKey[] = L"Applications\\Ovenix.exe";

// Writes HKCR\Applications\Ovenix.exe: "FriendlyAppName" (the archiver's name) and, under
// "SupportedTypes", an empty string named by every extension of every archive type. On Windows 6.0
// and later also the capabilities: "ApplicationName" and "ApplicationDescription" (the archiver's
// name), "ApplicationIcon" (the archiver's exe beside this program, icon 0) and under
// "FileAssociations" every extension of every archive type with its ProgID; last the value
// "Ovenix" under RegisteredApplications that names the key. Machine-wide; per user (HKCU) when
// HKLM refuses the first capabilities write with access denied. Other failures are ignored.
void WriteDefaultAppsRegistration();

// Deletes HKCR\Applications\Ovenix.exe with all it holds, then HKCR\Applications where it is left
// empty; on Windows 6.0 and later, below HKLM and below HKCU, the RegisteredApplications value,
// the capabilities key and Software\Ovenix where that is left empty.
void DeleteDefaultAppsRegistration();
