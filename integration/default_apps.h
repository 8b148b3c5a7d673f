// The archiver's place among Windows' default apps: its registered capabilities
// (RegisteredApplications, the list the Default apps page and Default Programs show), its entry
// under HKCR\Applications, which "Open with" reads, the check after setup of which program Windows
// really starts for each chosen extension, and the offer to open the page where the user makes
// the archiver the default.
//
// Since Windows 8 the user's choice of an app for an extension (UserChoice, protected by a hash)
// outranks the class key that setup writes, and only the user can change it. Nothing here writes
// such a choice: the archiver is offered, and setup says truthfully what opens what.
//
// Registry access goes through the settings store (settings/registry.h), under HKCR or by
// absolute paths below HKLM and HKCU, so with a settings file in use everything here still lands
// in the registry, where Windows reads it. With registry access off (Global\Integration=0)
// nothing is written, deleted or checked, and so nothing is offered.
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/paths.h"

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
// archiver's); or no answer (the query failed). A line before them names the account. Remembers
// for OfferDefaultAppsPage how many were chosen in Windows. Does nothing with registry access off.
void CheckWhatOpensChosenExtensions(const IntegrationSettings& settings);

// Where the user makes the archiver the default.
struct DefaultAppsPage {
  wchar_t target[kPathCapacity];  // an address for the shell, or a program's full path
  const wchar_t* parameters;      // the program's command line; null for an address
  UINT questionId;                // the question of the box that offers the page
};
// Windows 10.0 and later: the Default apps page of Settings,
// "ms-settings:defaultapps?registeredAppMachine=Ovenix" ("registeredAppUser=" when the
// registration is per user), which recent builds open at the archiver's own page. Windows 6.x: the
// Default Programs page of the control panel, control.exe of the system folder with
// "/name Microsoft.DefaultPrograms /page pageDefaultProgram". False below 6.0 (neither exists) or
// when the system folder cannot be read.
[[nodiscard]] bool DefaultAppsPageFor(uint32_t windowsVersion, bool registeredPerUser, DefaultAppsPage& page);

// Called after the completion dialog. When the last check found extensions chosen for another app
// in Windows, asks in a message box (texts of the language file: how many, and whether to open the
// page now) and opens the page on Yes. Never in a silent run nor for a Windows Installer package
// (the log then says the box was not shown); nothing below Windows 6.0.
void OfferDefaultAppsPage();
