// File associations: the archiver's three ProgIDs under HKEY_CLASSES_ROOT, the extensions that
// point at them, and the previous owner of every extension, saved before it is taken over and
// given back when it is released.
//
// Every access goes through the settings store (settings/registry.h): HKCR in the default
// registry view; the saved previous state under HKCU\Software\Ovenix\Setup\<ext> ("Exist",
// "Type", "ShellNew"). Paths (the archiver "Ovenix.exe", the ShellNew data files) are taken
// from the folder of the running program. No COM needed.
#pragma once

#include "integration/integration_settings.h"

// The recovery-volume extension, under HKEY_CLASSES_ROOT (its ProgID: kRecoveryProgId).
constexpr const wchar_t* kRecoveryExtension = L".rev";

// Writes the three ProgIDs (type names, open commands, DefaultIcon values only where empty) and
// ".rev", then tells the shell that associations changed. Returns false, having written nothing,
// when the very first write is refused with ERROR_ACCESS_DENIED; true otherwise (later write
// failures are ignored).
[[nodiscard]] bool RegisterProgIds();

// Associates (associate true) or releases one extension (with its dot). shellExt is the record's
// ShellExt flag; isVok / isZip tell whether the extension belongs to type 0 or type 1, which also
// carry the ShellNew entries. Before taking over an extension the archiver does not own, saves
// its previous state; an extension the archiver does not own is never touched on release.
// Results of the writes are ignored.
void AssociateExtension(const wchar_t* ext, bool associate, bool shellExt, bool isVok, bool isZip);

// AssociateExtension for every extension of every archive type, in table and group order, with
// Associate[index] and ShellExt of the record. An all-zero record releases everything.
void AssociateArchiveTypes(const IntegrationSettings& settings);

// Releases ".ace" (not an archive type of ours) when its association still names one of the
// archiver's ProgIDs; leaves it alone otherwise. Setup calls it after applying the integration.
void ReleaseAceExtension();

// For a setup whose settings live in a settings file: moves the previous owners that an earlier
// setup saved in the registry (HKCU\Software\Ovenix\Setup\<ext>: "Exist", "Type", "ShellNew") into
// the file, where every later run reads them. Only for extensions the archiver still owns and for
// which the file holds no saved state; values that could not be carried over exactly stay where
// they are. The moved values are deleted from the registry, nothing else there is touched (an
// installation that uses the registry may still read the rest). Does nothing while the registry
// is the store or registry access is off.
void MoveSavedOwnersIntoSettingsFile();

// Deletes the user's settings (HKCU\Software\Ovenix) like DeleteSettingTree, except the saved
// previous owners of the extensions: the removal calls it when registry access is off, so that
// the associations it had to leave can still be given back by a later run.
void DeleteUserSettingsKeepingSavedOwners();
