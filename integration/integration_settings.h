// The integration choices of setup (which archive types to associate, which shortcuts, the shell
// extension), the table of associable archive types and the table of context-menu items.
//
// Everything is stored per user under HKCU\Software\Ovenix through the settings store
// (settings/registry.h), so with an INI settings file in use it lives in that file instead.
#pragma once

#include <windows.h>

#include <cstddef>

// The archiver's names in the system, one constant per meaning.
constexpr const wchar_t* kArchiverExe = L"Ovenix.exe";  // the archiver, beside this program
constexpr const wchar_t* kArchiverName = L"Ovenix";     // shown for it: program lists, shell, shortcuts
// Its ProgIDs under HKEY_CLASSES_ROOT: every archive type but ".zip", ".zip", recovery volumes.
constexpr const wchar_t* kArchiveProgId = L"Ovenix";
constexpr const wchar_t* kZipProgId = L"Ovenix.ZIP";
constexpr const wchar_t* kRecoveryProgId = L"Ovenix.REV";

constexpr size_t kArchiveTypeCount = 17;
constexpr size_t kAssociateSlots = 20;  // 17 archive types and 3 spare positions
constexpr size_t kContextMenuItemCount = 19;

constexpr int kVokTypeIndex = 0;  // the archiver's own format
constexpr int kZipTypeIndex = 1;

// 26 one-byte flags, each 0 or 1. The init selection addresses them by position: Associate[0..19]
// are positions 0 to 19, then Desktop (20) to MenuIcons (25). Positions 17 to 19 are spare: only
// the init selection sets them and nothing reads them.
struct IntegrationSettings {
  unsigned char Associate[kAssociateSlots];
  unsigned char Desktop;
  unsigned char StartMenu;
  unsigned char Programs;
  unsigned char ShellExt;
  unsigned char CascadedMenu;
  unsigned char MenuIcons;
};
static_assert(sizeof(IntegrationSettings) == 26, "the init selection addresses the flags by position");

struct ArchiveType {
  int index;
  const wchar_t* mainExtension;   // names the settings key "Setup\<main extension>"
  const wchar_t* extensionGroup;  // every extension of the type, main first, e.g. ".gz.tgz"
  int checkBox;                   // control of the setup dialog that shows the type
};
extern const ArchiveType ArchiveTypes[kArchiveTypeCount];

struct ContextMenuItem {
  const wchar_t* valueName;  // DWORD 0 or 1 under HKCU\Software\Ovenix\Setup\MenuItems
  DWORD defaultValue;
  int checkBox;  // control of the context-menu items dialog
};
extern const ContextMenuItem ContextMenuItems[kContextMenuItemCount];

// "Setup\<extension>" (extension with its dot), relative to Software\Ovenix: the key of one
// extension's association flag and of the state saved before the archiver took it over. Cut to
// capacity (always terminated).
void ExtensionStateKey(const wchar_t* extension, wchar_t* key, size_t capacity);
// The previous owner's state in that key, saved before the archiver takes the extension over:
// whether HKCR\<extension> existed (DWORD), its previous default value (REG_SZ, at most 511
// characters) and its previous "New" menu entry (REG_SZ; missing when that entry was left to its
// owner).
constexpr const wchar_t* kSavedExistValue = L"Exist";
constexpr const wchar_t* kSavedTypeValue = L"Type";
constexpr const wchar_t* kShellNewStateValue = L"ShellNew";
constexpr size_t kSavedTypeCapacity = 512;

// Beside the items, the menu-items key holds the file masks that the shell extension always
// treats as archives: a REG_SZ of at most 1023 characters.
constexpr const wchar_t* kMenuItemsKey = L"Setup\\MenuItems";
constexpr const wchar_t* kAlwaysArcValue = L"AlwaysArc";
constexpr const wchar_t* kAlwaysArcDefault = L"*.iso";
constexpr size_t kAlwaysArcCapacity = 1024;

// One extension of a group is at most 49 characters.
constexpr size_t kExtensionCapacity = 50;

// Walks an extension group: a group is cut before every dot after its first character
// (".bz2.tbz2.bz.tbz" gives ".bz2", ".tbz2", ".bz", ".tbz"). Copies the piece that starts at
// *cursor into extension (cut to capacity - 1 characters, always terminated), moves *cursor to
// the next piece and returns true; returns false, with extension empty, when nothing is left.
// Start with *cursor = the group.
[[nodiscard]] bool NextGroupExtension(const wchar_t** cursor, wchar_t* extension, size_t capacity);

// Calls action(type, extension) for every extension of every archive type, in table and group order.
template <typename Action>
void ForEachArchiveExtension(Action action) {
  for (const ArchiveType& type : ArchiveTypes) {
    const wchar_t* cursor = type.extensionGroup;
    wchar_t extension[kExtensionCapacity];
    while (NextGroupExtension(&cursor, extension, kExtensionCapacity)) action(type, extension);
  }
}

// Fills every field from the store (defaults where nothing is stored). Positions 17 to 19 keep
// what the caller put there. ".jar" is selected only while the archiver already owns it, ".iso"
// not while another program has claimed it (both read under HKEY_CLASSES_ROOT).
void LoadIntegrationSettings(IntegrationSettings& settings);

// Writes the 23 stored values: "Set" of the 17 types in index order, then "Desktop",
// "StartMenu", "Programs", "ShellExt", "CascadedMenu", "MenuIcons". Write failures are ignored.
void SaveIntegrationSettings(const IntegrationSettings& settings);

// Overrides fields from the installer's init selection (letter and value pairs, e.g. "a101d1";
// null or empty: no change). See integration_settings.cpp for the letters.
void ApplyInitSelection(const wchar_t* initSelection, IntegrationSettings& settings);

// True when HKCR\<extension> has the default value "Ovenix" or "Ovenix.ZIP" (user locale, case
// ignored). "Ovenix.REV" does not count. Reads through the settings store, so with system
// integration switched off in the INI file it answers false.
[[nodiscard]] bool IsOwnedAssociation(const wchar_t* extension);
