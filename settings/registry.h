// The registry access layer: every setting the program keeps and every registry entry that setup
// creates or removal deletes goes through these operations.
//
// An address is (root, subkey, value name). Roots are HKEY_CLASSES_ROOT, HKEY_CURRENT_USER,
// HKEY_LOCAL_MACHINE, or nullptr ("none", used only by the INI store for its Global entries).
// Under HKCU and HKLM a subkey without a leading backslash is relative to "Software\Ovenix"; one
// with a leading backslash is an absolute path below the root. Under any other root the subkey is
// used unchanged. A null subkey or value name counts as empty; the empty value name is the key's
// default value.
//
// Every operation works on one key, a SettingKey (below): the address-based functions make one for
// the single value they read or write, and callers that work on several values of a key make one
// and keep it, so that the key is opened once for all of them. The route is decided once per key,
// in this order:
//   1. When the INI settings file is in use (settings/ini_store.h) and the address lies inside the
//      program's own key (root none, HKCU or HKLM with a relative subkey), the file's in-memory
//      entries serve the operation and the registry is not touched. The first such question of
//      the process makes the store look for its file.
//   2. Otherwise, when the file switched registry access off (IsIntegrationAllowed() is false),
//      the operation does nothing and gives the neutral result stated below.
//   3. Otherwise the registry is used.
// Without an INI file every operation reaches the registry.
//
// Each registry key is opened at its first use, for reading and writing where the account may
// write it (for reading otherwise), and created by the first write when it is missing.
//
// Registry paths (after ProgramKeyPath) of 512 characters or more are refused, never cut (a cut
// path names another key): the operation touches nothing, reads yield the default, writes return
// ERROR_FILENAME_EXCED_RANGE.
//
// Not thread-safe: the program has one thread; RegistryView and the tree-deletion counter are
// process-wide.
#pragma once

#include <windows.h>

#include <cstddef>

#include "base/handles.h"

// Size of every registry path buffer of this layer, terminator included.
constexpr size_t kRegistryPathCapacity = 512;

// Forms the registry path of (root, subkey):
//   HKCU/HKLM, empty subkey            -> "Software\Ovenix"
//   HKCU/HKLM, "Setup"                 -> "Software\Ovenix\Setup"
//   HKCU/HKLM, "\Software\X"           -> "Software\X"   (absolute below the root)
//   any other root (HKCR, none), "a\b" -> "a\b" unchanged (a leading backslash is kept)
// Returns false, with path set to empty (when capacity > 0), when the result does not fit in
// min(capacity, kRegistryPathCapacity) characters including the terminator.
[[nodiscard]] bool ProgramKeyPath(HKEY root, const wchar_t* subkey, wchar_t* path, size_t capacity);

// The access-mask addition OR-ed into the opens that read values and the creates/opens that write
// values (not into the existence test, value deletion or key deletion). 0 at start. Callers that
// need the 32-bit registry view set KEY_WOW64_32KEY around their writes and set 0 again before
// they return.
REGSAM RegistryView();
void SetRegistryView(REGSAM flags);

// False only when a loaded INI file holds Global\Integration = 0 (and after DiscardIniStore of
// such a store); true when no INI file is in use. Does not itself start the search for the INI
// file, so before the first settings operation of the process it answers true.
[[nodiscard]] bool IsIntegrationAllowed();

// True when the key exists (INI: some entry name starts with the key's prefix). Neutral: false.
// The registry test opens with KEY_QUERY_VALUE in the default view.
[[nodiscard]] bool SettingKeyExists(HKEY root, const wchar_t* subkey);

// The value as a 32-bit number; never fails towards the caller. Neutral and on any failure: the
// default. Registry: a value longer than 4 bytes yields the default; a shorter one (say a REG_SZ
// of 2 bytes) replaces only the leading bytes of the default; the stored type is not looked at.
// INI: the entry's text read as a decimal number (low 32 bits), the default when there is none.
[[nodiscard]] DWORD ReadSettingNumber(HKEY root, const wchar_t* subkey, const wchar_t* valueName,
                                      DWORD defaultValue);

// Copies the value's text into destination (capacity in characters, at most capacity - 1 copied,
// always terminated when capacity > 0; capacity 0: nothing written, false).
// Registry: true when read; on failure (missing key or value, data larger than the buffer) the
// destination holds the default (cut to fit) and the result is false. INI: the entry's text or
// the default, and true. Neutral (registry access off): the default, and true.
bool ReadSettingString(HKEY root, const wchar_t* subkey, const wchar_t* valueName, wchar_t* destination,
                       const wchar_t* defaultText, size_t capacity);

// Reads one value as it is stored, whatever its type: *type (may be null) and *size (bytes) are set
// whenever the value exists, and its data is copied into data (may be null: only type and size are
// asked) when *size on entry is large enough. Returns ERROR_SUCCESS, ERROR_MORE_DATA (the value
// exists but is larger than *size on entry; data unchanged), ERROR_FILE_NOT_FOUND (no such key or
// value) or another Windows error code. INI: the entry's text as REG_SZ with its terminator.
// Neutral (registry access off): ERROR_ACCESS_DENIED, nothing read.
[[nodiscard]] DWORD ReadSettingValue(HKEY root, const wchar_t* subkey, const wchar_t* valueName, DWORD* type,
                                     void* data, DWORD* size);

// True when ReadSettingValue finds the value (of any type and size).
[[nodiscard]] bool SettingValueExists(HKEY root, const wchar_t* subkey, const wchar_t* valueName);

enum class ExactString {
  Missing,   // no such key or value
  Read,      // a REG_SZ whose data is the text and exactly one terminating NUL, copied whole
  NotExact,  // anything else: another type, no terminator, a NUL inside, longer than capacity - 1
};
// Reads a value only when a REG_SZ of at most capacity - 1 characters can give it back bit for bit:
// the destination then holds it (empty otherwise). A value that is there but is not such a string
// (or is too long) is NotExact, never cut. Neutral (registry access off): NotExact.
[[nodiscard]] ExactString ReadExactSettingString(HKEY root, const wchar_t* subkey, const wchar_t* valueName,
                                                 wchar_t* destination, size_t capacity);

// The number of subkeys and values of a registry key (its default value counts when it is set).
// ERROR_SUCCESS, ERROR_FILE_NOT_FOUND for a missing key, or another Windows error code. Keys of the
// INI store are not counted (ERROR_NOT_SUPPORTED); neutral (registry access off): ERROR_ACCESS_DENIED.
[[nodiscard]] DWORD CountSettingKeyContents(HKEY root, const wchar_t* subkey, DWORD* subkeys, DWORD* values);

struct SettingsStore;

// One key of the settings store, opened once for everything done with it: its values are read,
// written and deleted through one registry handle (or, for the program's own key while a settings
// file serves it, through the file's entries under it). Its route (the header comment) is decided
// once, when it is made; RegistryView() is taken then too. Nothing is opened before the first use;
// the key is created by the first write when it is missing. Each operation behaves as the
// address-based function of the same name below describes; subkeys of 512 characters or more are
// refused by every route. Not copyable.
class SettingKey {
 public:
  SettingKey(HKEY root, const wchar_t* subkey) noexcept;
  // The key parent\child: a child key named by its parent's path and its own name.
  SettingKey(HKEY root, const wchar_t* parent, const wchar_t* child) noexcept;
  SettingKey(const SettingKey&) = delete;
  SettingKey& operator=(const SettingKey&) = delete;

  [[nodiscard]] bool Exists();
  [[nodiscard]] DWORD ReadNumber(const wchar_t* valueName, DWORD defaultValue);
  bool ReadString(const wchar_t* valueName, wchar_t* destination, const wchar_t* defaultText, size_t capacity);
  [[nodiscard]] DWORD ReadValue(const wchar_t* valueName, DWORD* type, void* data, DWORD* size);
  [[nodiscard]] bool HasValue(const wchar_t* valueName);
  [[nodiscard]] ExactString ReadExactString(const wchar_t* valueName, wchar_t* destination, size_t capacity);
  [[nodiscard]] DWORD CountContents(DWORD* subkeys, DWORD* values);
  // True when the key exists and holds neither a value nor a subkey (false for the settings file's
  // keys and with registry access off).
  [[nodiscard]] bool IsEmpty();
  // The name of the registry subkey at index (RegEnumKeyExW, cut never: false for a longer name), or
  // false at the end; always false for the settings file's keys and with registry access off.
  [[nodiscard]] bool SubkeyName(DWORD index, wchar_t* name, size_t capacity);

  // True when a write through this object created the registry key (it was not there before).
  [[nodiscard]] bool CreatedByWrite() const { return created_; }

  DWORD WriteString(const wchar_t* valueName, const wchar_t* text);
  DWORD WriteNumber(const wchar_t* valueName, DWORD value);
  DWORD WriteEmptyValue(const wchar_t* valueName);
  void DeleteValue(const wchar_t* valueName);
  // Deletes the key itself (DeleteSettingKey, DeleteSettingKey32); the object then stands for it
  // as if it had not been opened yet.
  void Delete();
  void DeleteFrom32BitView();
  // Deletes the key where it holds nothing (IsEmpty).
  void DeleteIfEmpty();
  void DeleteTree();
  void DeleteTreeExcept(const wchar_t* keptChild);

 private:
  friend struct SettingsStore;
  friend struct RegistryKeyAccess;
  void SetAddress(const wchar_t* subkey);
  const SettingsStore* store_;
  HKEY root_;
  bool fits_;  // the subkey and its registry path fit their buffers
  REGSAM view_;
  wchar_t subkey_[kRegistryPathCapacity];  // as given: the settings file names its entries by it
  wchar_t path_[kRegistryPathCapacity];    // the registry path (ProgramKeyPath)
  UniqueHkey handle_;                      // the open registry key
  // What the handle may do: nothing yet, nothing (the key is missing), read, or read and write.
  enum class Opened : unsigned char { NotYet, Missing, ReadOnly, ReadWrite } opened_ = Opened::NotYet;
  bool created_ = false;
};

// Writes text as REG_SZ (terminator included in the data) or value as REG_DWORD, creating the key
// when needed (RegCreateKeyExW with KEY_READ | KEY_WRITE | RegistryView()). Returns the Windows error code of
// the first failing call, 0 on success. INI: a quoted string / unsigned decimal entry, 0; a
// name or text holding CR or LF is refused with ERROR_INVALID_DATA (the file has no escaping).
// Neutral: 0, nothing written. Callers test for ERROR_ACCESS_DENIED (5).
DWORD WriteSettingString(HKEY root, const wchar_t* subkey, const wchar_t* valueName, const wchar_t* text);
DWORD WriteSettingNumber(HKEY root, const wchar_t* subkey, const wchar_t* valueName, DWORD value);
// Writes a value without type or data (REG_NONE, zero bytes), the form of the ProgID values under
// HKCR\<ext>\OpenWithProgids. INI: refused with ERROR_NOT_SUPPORTED (the file holds only strings
// and numbers). Neutral: 0, nothing written.
DWORD WriteSettingEmptyValue(HKEY root, const wchar_t* subkey, const wchar_t* valueName);

// Deletes one value (failures ignored). INI: the entries with exactly that name; an empty value
// name removes every entry under the key, subkeys included.
void DeleteSettingValue(HKEY root, const wchar_t* subkey, const wchar_t* valueName);

// Deletes the key itself, in the default view (RegDeleteKeyW); a key with subkeys survives.
// INI: every entry under the key, subkeys included.
void DeleteSettingKey(HKEY root, const wchar_t* subkey);

// The same in the 32-bit registry view (RegDeleteKeyExW with KEY_WOW64_32KEY), whatever
// RegistryView() holds: removes a key that a KEY_WOW64_32KEY write created (under HKLM\Software
// and HKCR that is the Wow6432Node side). Same INI routing and neutral result as DeleteSettingKey.
void DeleteSettingKey32(HKEY root, const wchar_t* subkey);

// Deletes the key with all its subkeys in one walk, each key opened once. A subkey whose name is
// 200 characters or longer stops the enumeration of its parent: that subkey, the later ones and the
// parent survive; so does a subkey that cannot be deleted, and its parent with it. The root itself
// is never deleted. INI: as DeleteSettingKey.
void DeleteSettingTree(HKEY root, const wchar_t* subkey);

// DeleteSettingTree, sparing one child key: while (root, subkey)\keptChild exists, every other
// subkey tree and every value of the key goes, and the key stays for the kept child; without that
// child it is DeleteSettingTree. Names longer than 199 characters are passed over. INI: as
// DeleteSettingKey (the store never holds the kept child's entries apart).
void DeleteSettingTreeExcept(HKEY root, const wchar_t* subkey, const wchar_t* keptChild);

// Shorthands with HKEY_CURRENT_USER as the root.
[[nodiscard]] DWORD ReadUserNumber(const wchar_t* subkey, const wchar_t* valueName, DWORD defaultValue);
bool ReadUserString(const wchar_t* subkey, const wchar_t* valueName, wchar_t* destination,
                    const wchar_t* defaultText, size_t capacity);
DWORD WriteUserString(const wchar_t* subkey, const wchar_t* valueName, const wchar_t* text);
DWORD WriteUserNumber(const wchar_t* subkey, const wchar_t* valueName, DWORD value);
