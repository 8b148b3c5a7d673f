// The archiver's place among Windows' default apps: its registered capabilities
// (RegisteredApplications, the list the Default apps page and Default Programs show), its entry
// under HKCR\Applications, which "Open with" reads, and the check after setup of which program
// Windows really starts for each chosen extension.
//
// Since Windows 8 the user's choice of an app for an extension (UserChoice, protected by a hash)
// outranks the class key that setup writes, and only the user can change it. Nothing here writes
// such a choice: the archiver is offered, and setup says truthfully what opens what.
//
// Registry access goes through the settings store (settings/registry.h), under HKCR or by
// absolute paths below HKLM and HKCU, so with a settings file in use everything here still lands
// in the registry, where Windows reads it. With registry access off (Global\Integration=0)
// nothing is written, deleted or checked.
#pragma once

#include <windows.h>

struct IntegrationSettings;

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

// For every extension of every archive type the record chooses, asks Windows which program the
// shell starts for it (AssocQueryStringW with ASSOCSTR_EXECUTABLE: the answer of the running
// account, its choice in Windows included) and logs a line: it opens with the archiver (the
// archiver's exe beside this program: full paths, case ignored); with another program because it
// was left to its owner (its class names none of the archiver's ProgIDs, as setup takes over only
// what it can give back exactly); with another program chosen in Windows (its class is the
// archiver's); or no answer (the query failed). A line before them names the account. Does
// nothing with registry access off.
void CheckWhatOpensChosenExtensions(const IntegrationSettings& settings);

// How many extensions the last check of this process found opening with another program by a
// choice in Windows (0 before any check).
unsigned ExtensionsChosenForAnotherApp();
