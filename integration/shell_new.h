// Explorer's "New" menu entries of the vok and ZIP types: HKCR\<ext>\ShellNew "FileName" naming an
// empty-archive data file in the program's folder ("voknew.dat", "zipnew.dat"), and the previous
// owner's entry ("FileName", or an empty "NullFile") saved and put back.
//
// These steps run inside AssociateExtension (integration/associations.h); all registry access
// goes through the settings store (settings/registry.h), HKCR in the default view.
#pragma once

#include <cstddef>

constexpr size_t kVokTemplateLength = 24;
constexpr size_t kZipTemplateLength = 22;
constexpr size_t kShellNewStateCapacity = 2048;

// Completes the two empty-archive templates and decides whether the extension wants a ShellNew
// entry: shellExt, unless the menu item "NewVOK" (for isVok) or "NewZIP" (for isZip) under
// HKCU\Software\Ovenix\Setup\MenuItems is 0 (both default to 1).
[[nodiscard]] bool PrepareShellNew(bool shellExt, bool isVok, bool isZip);

// The state to save as "ShellNew" for an extension about to be taken over: the current
// "FileName" of HKCR\<ext>\ShellNew, "*" when there is no "FileName" but a "NullFile", else
// empty. Writes into state (cut to capacity - 1 characters, always terminated; empty on any
// failure to read).
void SaveShellNewState(const wchar_t* ext, wchar_t* state, size_t capacity);

// Replaces HKCR\<ext>\ShellNew by the archiver's entry: the key is deleted (a key with subkeys
// stays, with its other values), the data file beside the program is (re)written when missing or
// of the wrong size, and "FileName" is set to its path even when the file could not be written.
void CreateShellNewEntry(const wchar_t* ext, bool isVok);

// Gives HKCR\<ext>\ShellNew back to the previous owner: when the extension key did not exist
// before (existed false) the ShellNew key is deleted; otherwise the archiver's "FileName" goes,
// the saved "FileName" or "NullFile" comes back, and a ShellNew key left with no value and no
// subkey is deleted rather than left empty.
void RestoreShellNewEntry(const wchar_t* ext, bool existed);

// True when HKCR\<subkey> exists and holds neither a value nor a subkey; false otherwise and
// whenever registry access is switched off.
[[nodiscard]] bool ClassesKeyIsEmpty(const wchar_t* subkey);
