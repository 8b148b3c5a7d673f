// Explorer's "New" menu entries of the vok and ZIP types: HKCR\<ext>\ShellNew "FileName" naming an
// empty-archive data file in the program's folder ("voknew.dat", "zipnew.dat"), and the previous
// owner's entry ("FileName", or an empty "NullFile") saved and put back.
//
// These steps run inside AssociateExtension (integration/associations.h), which hands them the
// previous owner's saved entry; all registry access goes through the settings store
// (settings/registry.h), HKCR in the default view.
#pragma once

#include <cstddef>

constexpr size_t kVokTemplateLength = 24;
constexpr size_t kZipTemplateLength = 22;
constexpr size_t kShellNewStateCapacity = 2048;

// Completes the two empty-archive templates and decides whether the extension wants a ShellNew
// entry: shellExt, unless the menu item "NewVOK" (for isVok) or "NewZIP" (for isZip) under
// HKCU\Software\Ovenix\Setup\MenuItems is 0 (both default to 1; only the item of the extension's
// own type is read).
[[nodiscard]] bool PrepareShellNew(bool shellExt, bool isVok, bool isZip);

// The state to save as "ShellNew" for an extension about to be taken over: the "FileName" of
// HKCR\<ext>\ShellNew, "*" for an empty "NullFile", empty when there is no ShellNew key (or an empty
// one). True when that text gives the entry back exactly: the key holds nothing but a non-empty
// REG_SZ "FileName" of at most capacity - 1 characters, or nothing but an empty REG_SZ "NullFile",
// and no subkey. False for any other entry (other values, other types, subkeys), which is then
// another program's to keep: state is empty and the key is never changed (see MayChangeShellNew).
[[nodiscard]] bool SaveShellNewState(const wchar_t* ext, wchar_t* state, size_t capacity);

// Whether the archiver may change HKCR\<ext>\ShellNew: the previous owner's entry was saved
// exactly (shellNewSaved: its saved state holds a "ShellNew" value), or the entry's "FileName"
// names the archiver's own data file of the type ("voknew.dat" for isVok, else "zipnew.dat",
// whatever folder it is in).
[[nodiscard]] bool MayChangeShellNew(const wchar_t* ext, bool isVok, bool shellNewSaved);

// Replaces HKCR\<ext>\ShellNew by the archiver's entry, where MayChangeShellNew allows it: the key
// is deleted (a key with subkeys stays, with its other values), the data file beside the program is
// (re)written when missing or of the wrong size, and "FileName" is set to its path even when the
// file could not be written.
void CreateShellNewEntry(const wchar_t* ext, bool isVok, bool shellNewSaved);

// Gives HKCR\<ext>\ShellNew back to the previous owner, where MayChangeShellNew allows it (with
// savedShellNew, the saved "ShellNew" text, null when none was saved): when the extension key did
// not exist before (existed false) the ShellNew key is deleted; otherwise the archiver's
// "FileName" goes, the saved "FileName" or "NullFile" comes back, and a ShellNew key left with no
// value and no subkey is deleted rather than left empty.
void RestoreShellNewEntry(const wchar_t* ext, bool existed, bool isVok, const wchar_t* savedShellNew);

