// The previous owner of an extension: what setup saves before it points the extension at the
// archiver, and what release gives back.
//
// It is kept in two places:
//   - the settings, "Setup\<ext>" under the user's Software\Ovenix ("Exist", "Type", "ShellNew"),
//     in the registry or in the settings file: the archiver and its earlier versions read it there;
//   - an owner record of its own, "Software\Ovenix\Owners\<ext>" with the same three values
//     (and "OpenWithProgids" = 1 where setup created HKCR\<ext>\OpenWithProgids),
//     always in the registry and never in a settings file, in the hive that holds the extension's
//     class key (HKCU when HKCU\Software\Classes\<ext> exists, since a write through
//     HKEY_CLASSES_ROOT lands there; HKLM otherwise).
// The associations are machine-wide, but the settings belong to one account and one store. The
// record is found by whoever removes the archiver later: another administrator, SYSTEM under a
// deployment tool, a user whose profile was reset, a run whose settings file the setup never wrote.
// Release reads the record first (another account's setup may have saved a later owner there),
// then the settings.
//
// Every access goes through the settings store (settings/registry.h); with registry access off in
// the settings file the records are neither read nor written.
#pragma once

#include <windows.h>

#include <cstddef>

#include "integration/integration_settings.h"
#include "integration/shell_new.h"
#include "settings/registry.h"

struct PreviousOwner {
  bool existed = true;                   // HKCR\<ext> existed before; a missing "Exist" reads as existed
  wchar_t type[kSavedTypeCapacity] = {};  // its previous default value, empty when it had none
  bool shellNewSaved = false;            // its "New" menu entry gives back exactly and was saved
  wchar_t shellNew[kShellNewStateCapacity] = {};  // that entry (see SaveShellNewState)
};

enum class OwnerSource { Unknown, Record, Settings };

// The hive whose classes hold ext's key, and so its owner record: HKEY_CURRENT_USER when
// HKCU\Software\Classes\<ext> exists, else HKEY_LOCAL_MACHINE.
[[nodiscard]] HKEY OwnerRecordRoot(const wchar_t* ext);

// The two keys that keep one extension's previous owner, each opened once for all that is done
// with the extension. Making it asks in which hive the extension's class key lives.
struct OwnerKeys {
  explicit OwnerKeys(const wchar_t* extension);
  const wchar_t* ext;  // the caller's text, which must outlive the object
  HKEY recordRoot;
  SettingKey record;    // <recordRoot>\Software\Ovenix\Owners\<ext>
  SettingKey settings;  // "Setup\<ext>" of the user's settings
};

// Saves `owner` as the extension's previous owner, in the owner record and in the settings
// ("ShellNew" only when owner.shellNewSaved; a value of an earlier save is deleted). True when both
// took it; false, with nothing of it left in either, when one of them refused (the extension is
// then not to be taken over). Logs where the owner is kept.
[[nodiscard]] bool SavePreviousOwner(OwnerKeys& keys, const PreviousOwner& owner);

// Reads the extension's previous owner: from its owner record when that holds one, else from the
// settings; `owner` keeps its defaults (existed, no type, no "New" entry) when neither has it. The
// "New" entry is read only withShellNew (the types that have one).
OwnerSource ReadPreviousOwner(OwnerKeys& keys, PreviousOwner& owner, bool withShellNew = true);

// Writes the owner record from `owner`, read from the settings (a setup of an earlier version kept
// it there only).
void RecordPreviousOwner(OwnerKeys& keys, const PreviousOwner& owner);

// Deletes the extension's owner record and the previous owner in the settings (the extension's
// "Set" choice stays). The record's key goes as a whole, the Open-with fact below with it.
void ForgetPreviousOwner(OwnerKeys& keys);

// Keeps, in the extension's owner record, that setup created HKCR\<ext>\OpenWithProgids (the key
// may go again once the archiver's value is out of it), for extensions taken over and left alike.
void NoteOpenWithKeyCreated(OwnerKeys& keys);
// Whether setup created that key. ForgetPreviousOwner forgets it with the record.
[[nodiscard]] bool OpenWithKeyWasCreated(OwnerKeys& keys);

// The Owners key of each hive, and the program key above it, where either is left empty.
void DeleteEmptyOwnerKeys();

// Deletes the program's own key of root (HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE: Software\Ovenix,
// in the registry or in the settings file), sparing the owner records of extensions the archiver
// still owns, so that a later run can give them back; records of other extensions go.
void DeleteProgramSettings(HKEY root);

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
