#include "settings/registry.h"

#include <cstring>
#include <cwchar>

#include "base/bounded_text.h"
#include "base/run_log.h"
#include "settings/ini_store.h"
#ifdef VOK_TEST_SEAMS
#include "settings/registry_test_seam.h"
#endif

namespace {

const wchar_t kProgramKey[] = L"Software\\Ovenix";
// RegEnumKeyExW name buffer of a tree deletion: a longer subkey name ends the enumeration.
constexpr DWORD kTreeNameCapacity = 200;

REGSAM g_registryView = 0;

const wchar_t* OrEmpty(const wchar_t* text) { return text ? text : L""; }

bool IsProgramRoot(HKEY root) { return root == HKEY_CURRENT_USER || root == HKEY_LOCAL_MACHINE; }

// For the log: the root as regedit names it, and the default value as "@".
const wchar_t* RootName(HKEY root) {
  return root == HKEY_CLASSES_ROOT ? L"HKCR" : root == HKEY_CURRENT_USER ? L"HKCU" : L"HKLM";
}
const wchar_t* ValueName(const wchar_t* name) { return name && *name ? name : L"@"; }

// Copies pieces into path when together they fit in the capacity; otherwise leaves path empty.
bool JoinWhole(wchar_t* path, size_t capacity, const wchar_t* first, const wchar_t* second,
               const wchar_t* third) {
  const size_t length = wcslen(first) + wcslen(second) + wcslen(third);
  if (capacity == 0) return false;
  path[0] = L'\0';
  if (length >= capacity) return false;
  AppendBounded(path, first, capacity);
  AppendBounded(path, second, capacity);
  AppendBounded(path, third, capacity);
  return true;
}

// What was there and went, or could not go; nothing for what was not there to begin with.
void LogDeletion(HKEY root, const wchar_t* path, const wchar_t* valueName, const wchar_t* view, LSTATUS result) {
  if (result == ERROR_FILE_NOT_FOUND) return;
  if (valueName) {
    LogLine("registry: delete %s\\%s : %s -> %e", RootName(root), path, ValueName(valueName),
            static_cast<unsigned>(result));
  } else {
    LogLine("registry: delete key %s\\%s%s -> %e", RootName(root), path, view, static_cast<unsigned>(result));
  }
}

// The key below `key` that a tree deletion works on; false when its path does not fit.
bool ChildPath(const wchar_t* path, const wchar_t* name, wchar_t* childPath) {
  return JoinWhole(childPath, kRegistryPathCapacity, path, L"\\", name);
}

// Deletes every subkey of the open key `key` (at `path`) with everything below it, each key opened
// at most once, and returns whether all of them went. Always enumerates the first subkey left: one
// that cannot go is stepped over, so one walk meets every subkey once. A name of kTreeNameCapacity
// characters or more ends the enumeration. Most keys of a tree are leaves, so each subkey is first
// deleted as it is (the registry refuses a key that has subkeys) and opened only when that fails.
bool DeleteSubkeyTrees(HKEY key, const wchar_t* path, const wchar_t* keptChild) {
  bool allGone = true;
  for (DWORD index = 0;;) {
    wchar_t name[kTreeNameCapacity];
    DWORD nameLength = kTreeNameCapacity;
    const LSTATUS listed = RegEnumKeyExW(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
    if (listed == ERROR_NO_MORE_ITEMS) return allGone;
    if (listed != ERROR_SUCCESS) return false;  // a name too long for the buffer, or the key went away
    if (keptChild && CompareStringOrdinal(name, -1, keptChild, -1, /*ignoreCase=*/TRUE) == CSTR_EQUAL) {
      ++index;
      continue;
    }
    if (RegDeleteKeyW(key, name) == ERROR_SUCCESS) continue;  // a leaf: the next one moved up
    wchar_t childPath[kRegistryPathCapacity];
    bool emptied = false;
    // A child path that does not fit is passed over rather than cut: the cut path is another key.
    if (ChildPath(path, name, childPath)) {
      UniqueHkey child;
      if (RegOpenKeyExW(key, name, 0, KEY_READ, child.put()) == ERROR_SUCCESS)
        emptied = DeleteSubkeyTrees(child.get(), childPath, nullptr);
    }
    if (emptied && RegDeleteKeyW(key, name) == ERROR_SUCCESS) continue;  // the next one moved up
    allGone = false;
    ++index;
  }
}

// The values of the open key `key`; one that cannot be deleted is stepped over.
void DeleteValues(HKEY root, HKEY key, const wchar_t* path) {
  for (DWORD index = 0;;) {
    wchar_t value[kTreeNameCapacity];
    DWORD valueLength = kTreeNameCapacity;
    if (RegEnumValueW(key, index, value, &valueLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    const LSTATUS deleted = RegDeleteValueW(key, value);
    LogDeletion(root, path, value, L"", deleted);
    if (deleted != ERROR_SUCCESS) ++index;
  }
}

// The tree at (root, path); with a kept child that exists, everything but that child, and the key
// stays for it.
void DeleteTreeAt(HKEY root, const wchar_t* path, const wchar_t* keptChild) {
  bool emptied = false;
  {
    UniqueHkey key;
    if (RegOpenKeyExW(root, path, 0, KEY_READ | KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) return;
    if (keptChild) {
      UniqueHkey kept;
      if (RegOpenKeyExW(key.get(), keptChild, 0, KEY_QUERY_VALUE, kept.put()) != ERROR_SUCCESS) keptChild = nullptr;
    }
    emptied = DeleteSubkeyTrees(key.get(), path, keptChild);
    if (keptChild) {
      DeleteValues(root, key.get(), path);
      return;
    }
  }
  const LSTATUS deleted = emptied ? RegDeleteKeyW(root, path) : ERROR_DIR_NOT_EMPTY;
  LogLine("registry: delete tree %s\\%s -> %s", RootName(root), path,
          deleted == ERROR_SUCCESS ? L"ok" : L"some keys could not be deleted");
}

}  // namespace

// ---- The three stores ------------------------------------------------------------------------

// How a key's operations are carried out, once for each store: the registry, the settings file
// (for the program's own key while a file is in use) and none at all (registry access switched off
// in that file). A SettingKey is given one of them when it is made.
struct SettingsStore {
  bool (*exists)(SettingKey& key);
  DWORD (*readNumber)(SettingKey& key, const wchar_t* valueName, DWORD defaultValue);
  bool (*readString)(SettingKey& key, const wchar_t* valueName, wchar_t* destination, const wchar_t* defaultText,
                     size_t capacity);
  DWORD (*readValue)(SettingKey& key, const wchar_t* valueName, DWORD* type, void* data, DWORD* size);
  DWORD (*countContents)(SettingKey& key, DWORD* subkeys, DWORD* values);
  bool (*subkeyName)(SettingKey& key, DWORD index, wchar_t* name, size_t capacity);
  DWORD (*write)(SettingKey& key, const wchar_t* valueName, DWORD type, const void* data, DWORD size);
  void (*deleteValue)(SettingKey& key, const wchar_t* valueName);
  void (*deleteKey)(SettingKey& key, REGSAM view);
  void (*deleteTree)(SettingKey& key, const wchar_t* keptChild);
};

// The registry store's access to a key's handle, opened at its first use.
struct RegistryKeyAccess {
  // The open key, for reading (and for writing where the account may write it); null when it is
  // missing or its path does not fit.
  static HKEY ForReading(SettingKey& key) {
    if (key.opened_ == SettingKey::Opened::NotYet) {
      key.opened_ = SettingKey::Opened::Missing;
      if (!key.fits_) return nullptr;
      // Read and write at once, so that the writes of the same key need no second open. An account
      // that may not write it (HKLM without elevation, on Windows) still may read it.
      const REGSAM readable = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | key.view_;
      const LSTATUS opened = RegOpenKeyExW(key.root_, key.path_, 0, readable | KEY_SET_VALUE, key.handle_.put());
      if (opened == ERROR_SUCCESS) {
        key.opened_ = SettingKey::Opened::ReadWrite;
      } else if (opened == ERROR_ACCESS_DENIED &&
                 RegOpenKeyExW(key.root_, key.path_, 0, readable, key.handle_.put()) == ERROR_SUCCESS) {
        key.opened_ = SettingKey::Opened::ReadOnly;
      }
    }
    return key.handle_.get();
  }

  // The key created when missing; its error code when that fails.
  static LSTATUS ForWriting(SettingKey& key, HKEY* handle) {
    *handle = nullptr;
    if (!key.fits_) return ERROR_FILENAME_EXCED_RANGE;
    if (key.opened_ != SettingKey::Opened::ReadWrite) {
      UniqueHkey created;
      DWORD disposition = 0;
      const LSTATUS result = RegCreateKeyExW(key.root_, key.path_, 0, /*lpClass=*/nullptr, REG_OPTION_NON_VOLATILE,
                                             KEY_READ | KEY_WRITE | key.view_, /*security=*/nullptr, created.put(),
                                             &disposition);
      if (result != ERROR_SUCCESS) return result;
      key.handle_ = std::move(created);
      key.created_ = key.created_ || disposition == REG_CREATED_NEW_KEY;
      key.opened_ = SettingKey::Opened::ReadWrite;
    }
    *handle = key.handle_.get();
    return ERROR_SUCCESS;
  }

  static void Forget(SettingKey& key) {
    key.handle_.reset();
    key.opened_ = SettingKey::Opened::NotYet;
  }

  static const wchar_t* Path(const SettingKey& key) { return key.path_; }
  static HKEY Root(const SettingKey& key) { return key.root_; }
  static const wchar_t* Subkey(const SettingKey& key) { return key.subkey_; }
  static bool Fits(const SettingKey& key) { return key.fits_; }
  static REGSAM View(const SettingKey& key) { return key.view_; }
};

namespace {

using Access = RegistryKeyAccess;

// ---- The registry ----

bool RegistryExists(SettingKey& key) { return Access::ForReading(key) != nullptr; }

DWORD RegistryReadNumber(SettingKey& key, const wchar_t* valueName, DWORD defaultValue) {
  HKEY handle = Access::ForReading(key);
  if (!handle) return defaultValue;
  // The buffer holds the default beforehand, so data shorter than 4 bytes replaces only its
  // leading bytes; the stored type is not looked at.
  DWORD number = defaultValue;
  DWORD size = sizeof number;
  const LSTATUS queried =
      RegQueryValueExW(handle, OrEmpty(valueName), nullptr, nullptr, reinterpret_cast<BYTE*>(&number), &size);
  return queried == ERROR_SUCCESS && size != 0 ? number : defaultValue;
}

bool RegistryReadString(SettingKey& key, const wchar_t* valueName, wchar_t* destination, const wchar_t* defaultText,
                        size_t capacity) {
  HKEY handle = Access::ForReading(key);
  if (!handle) return false;
  // The byte size handed to the registry must fit a DWORD.
  const size_t usable = capacity > MAXDWORD / sizeof(wchar_t) ? MAXDWORD / sizeof(wchar_t) : capacity;
  DWORD size = static_cast<DWORD>(usable * sizeof(wchar_t));
  const LSTATUS queried =
      RegQueryValueExW(handle, OrEmpty(valueName), nullptr, nullptr, reinterpret_cast<BYTE*>(destination), &size);
  if (queried != ERROR_SUCCESS) {
    CopyBounded(destination, defaultText, capacity);
    return false;
  }
  const size_t end = size / sizeof(wchar_t);
  destination[end < usable - 1 ? end : usable - 1] = L'\0';
  return true;
}

DWORD RegistryReadValue(SettingKey& key, const wchar_t* valueName, DWORD* type, void* data, DWORD* size) {
  if (!Access::Fits(key)) return ERROR_FILENAME_EXCED_RANGE;
  HKEY handle = Access::ForReading(key);
  if (!handle) return ERROR_FILE_NOT_FOUND;
  return static_cast<DWORD>(RegQueryValueExW(handle, OrEmpty(valueName), nullptr, type, static_cast<BYTE*>(data), size));
}

DWORD RegistryCountContents(SettingKey& key, DWORD* subkeys, DWORD* values) {
  if (!Access::Fits(key)) return ERROR_FILENAME_EXCED_RANGE;
  HKEY handle = Access::ForReading(key);
  if (!handle) return ERROR_FILE_NOT_FOUND;
  return static_cast<DWORD>(RegQueryInfoKeyW(handle, nullptr, nullptr, nullptr, subkeys, nullptr, nullptr, values,
                                             nullptr, nullptr, nullptr, nullptr));
}

bool RegistrySubkeyName(SettingKey& key, DWORD index, wchar_t* name, size_t capacity) {
  HKEY handle = Access::ForReading(key);
  DWORD length = static_cast<DWORD>(capacity > MAXDWORD ? MAXDWORD : capacity);
  return handle && capacity > 0 &&
         RegEnumKeyExW(handle, index, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

DWORD RegistryWrite(SettingKey& key, const wchar_t* valueName, DWORD type, const void* data, DWORD size) {
  const HKEY root = Access::Root(key);
  const wchar_t* path = Access::Path(key);
  if (!Access::Fits(key)) return ERROR_FILENAME_EXCED_RANGE;
#ifdef VOK_TEST_SEAMS
  // Only the tests' copy of this file has the check (settings/registry_test_seam.h).
  DWORD refused = 0;
  if (TakeRegistryWriteFailure(root, path, &refused)) return refused;
#endif
  HKEY handle = nullptr;
  LSTATUS result = Access::ForWriting(key, &handle);
  if (result == ERROR_SUCCESS)
    result = RegSetValueExW(handle, OrEmpty(valueName), 0, type, static_cast<const BYTE*>(data), size);
  const wchar_t* view = (Access::View(key) & KEY_WOW64_32KEY) != 0 ? L" (32-bit view)" : L"";
  if (type == REG_DWORD) {
    DWORD number = 0;
    memcpy(&number, data, sizeof number);
    LogLine("registry: set %s\\%s : %s = DWORD:%u%s -> %e", RootName(root), path, ValueName(valueName), number, view,
            static_cast<unsigned>(result));
  } else if (type == REG_NONE) {
    LogLine("registry: set %s\\%s : %s = NONE:%s -> %e", RootName(root), path, ValueName(valueName), view,
            static_cast<unsigned>(result));
  } else {
    LogLine("registry: set %s\\%s : %s = SZ:%s%s -> %e", RootName(root), path, ValueName(valueName),
            static_cast<const wchar_t*>(data), view, static_cast<unsigned>(result));
  }
  return static_cast<DWORD>(result);
}

void RegistryDeleteValue(SettingKey& key, const wchar_t* valueName) {
  HKEY handle = Access::ForReading(key);
  if (!handle) return;
  LogDeletion(Access::Root(key), Access::Path(key), valueName, L"", RegDeleteValueW(handle, OrEmpty(valueName)));
}

void RegistryDeleteKey(SettingKey& key, REGSAM view) {
  const wchar_t* path = Access::Path(key);
  // An empty path would name the root itself.
  if (!Access::Fits(key) || path[0] == L'\0') return;
  Access::Forget(key);
  const LSTATUS deleted = view != 0 ? RegDeleteKeyExW(Access::Root(key), path, view, 0)
                                    : RegDeleteKeyW(Access::Root(key), path);
  LogDeletion(Access::Root(key), path, nullptr, view != 0 ? L" (32-bit view)" : L"", deleted);
}

void RegistryDeleteTree(SettingKey& key, const wchar_t* keptChild) {
  const wchar_t* path = Access::Path(key);
  if (!Access::Fits(key) || path[0] == L'\0') return;  // the root itself is never deleted
  Access::Forget(key);
  DeleteTreeAt(Access::Root(key), path, keptChild && keptChild[0] ? keptChild : nullptr);
}

// ---- The settings file ----

// The key prefix / entry name of an address for the settings file.
struct EntryName {
  wchar_t text[kIniEntryNameCapacity];
  EntryName(const SettingKey& key, const wchar_t* valueName) {
    IniEntryName(Access::Root(key), Access::Subkey(key), valueName, text, kIniEntryNameCapacity);
  }
};

bool FileExists(SettingKey& key) { return g_iniStore.KeyExists(Access::Root(key), Access::Subkey(key)); }

DWORD FileReadNumber(SettingKey& key, const wchar_t* valueName, DWORD defaultValue) {
  const wchar_t* text = IniLookup(EntryName(key, valueName).text);
  return text ? static_cast<DWORD>(IniDecimalValue(text)) : defaultValue;
}

bool FileReadString(SettingKey& key, const wchar_t* valueName, wchar_t* destination, const wchar_t* defaultText,
                    size_t capacity) {
  const wchar_t* text = IniLookup(EntryName(key, valueName).text);
  CopyBounded(destination, text ? text : defaultText, capacity);
  return true;
}

DWORD FileReadValue(SettingKey& key, const wchar_t* valueName, DWORD* type, void* data, DWORD* size) {
  const wchar_t* text = IniLookup(EntryName(key, valueName).text);
  if (!text) return ERROR_FILE_NOT_FOUND;
  const size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
  if (bytes > MAXDWORD) return ERROR_MORE_DATA;
  if (type) *type = REG_SZ;
  const DWORD room = *size;
  *size = static_cast<DWORD>(bytes);
  if (!data) return ERROR_SUCCESS;
  if (room < bytes) return ERROR_MORE_DATA;
  memcpy(data, text, bytes);
  return ERROR_SUCCESS;
}

DWORD FileCountContents(SettingKey&, DWORD*, DWORD*) { return ERROR_NOT_SUPPORTED; }
bool NoSubkeys(SettingKey&, DWORD, wchar_t*, size_t) { return false; }

DWORD FileWrite(SettingKey& key, const wchar_t* valueName, DWORD type, const void* data, DWORD) {
  const EntryName name(key, valueName);
  if (type == REG_SZ) {
    // A line break cannot be stored in the file without splitting the entry: refused.
    const wchar_t* text = static_cast<const wchar_t*>(data);
    const DWORD result = IniSet(name.text, text, IniValueKind::Quoted) ? ERROR_SUCCESS : ERROR_INVALID_DATA;
    LogLine("settings file: set %s = \"%s\" -> %e", name.text, text, static_cast<unsigned>(result));
    return result;
  }
  if (type != REG_DWORD) return ERROR_NOT_SUPPORTED;  // the file holds strings and numbers only
  DWORD value = 0;
  memcpy(&value, data, sizeof value);
  wchar_t digits[20];
  FormatBounded(digits, 20, L"%lu", static_cast<unsigned long>(value));
  const DWORD result = IniSet(name.text, digits, IniValueKind::Plain) ? ERROR_SUCCESS : ERROR_INVALID_DATA;
  LogLine("settings file: set %s = %u -> %e", name.text, static_cast<unsigned>(value), static_cast<unsigned>(result));
  return result;
}

// The entries with that name; an empty name takes every entry under the key, subkeys included.
void FileDeleteValue(SettingKey& key, const wchar_t* valueName) {
  const unsigned removed = static_cast<unsigned>(IniRemove(Access::Root(key), Access::Subkey(key), valueName));
  if (removed != 0) LogLine("settings file: delete %s (%u entries)", EntryName(key, valueName).text, removed);
}

void FileDeleteKey(SettingKey& key, REGSAM) { FileDeleteValue(key, nullptr); }
void FileDeleteTree(SettingKey& key, const wchar_t*) { FileDeleteValue(key, nullptr); }

// ---- No store: registry access is off ----

void LogSkipped(const wchar_t* action, const SettingKey& key, const wchar_t* valueName) {
  LogLine("registry: %s %s\\%s : %s skipped (registry access is off in the settings file)", action,
          RootName(Access::Root(key)), Access::Subkey(key), ValueName(valueName));
}

bool SkipExists(SettingKey&) { return false; }
DWORD SkipReadNumber(SettingKey&, const wchar_t*, DWORD defaultValue) { return defaultValue; }
bool SkipReadString(SettingKey&, const wchar_t*, wchar_t*, const wchar_t*, size_t) { return true; }
DWORD SkipReadValue(SettingKey&, const wchar_t*, DWORD*, void*, DWORD*) { return ERROR_ACCESS_DENIED; }
DWORD SkipCountContents(SettingKey&, DWORD*, DWORD*) { return ERROR_ACCESS_DENIED; }
DWORD SkipWrite(SettingKey& key, const wchar_t* valueName, DWORD, const void*, DWORD) {
  LogSkipped(L"set", key, valueName);
  return ERROR_SUCCESS;
}
void SkipDeleteValue(SettingKey& key, const wchar_t* valueName) { LogSkipped(L"delete", key, valueName); }
void SkipDeleteKey(SettingKey& key, REGSAM) { LogSkipped(L"delete", key, nullptr); }
void SkipDeleteTree(SettingKey& key, const wchar_t*) { LogSkipped(L"delete", key, nullptr); }

const SettingsStore kRegistryStore = {RegistryExists,      RegistryReadNumber,    RegistryReadString,
                                      RegistryReadValue,   RegistryCountContents, RegistrySubkeyName,
                                      RegistryWrite,       RegistryDeleteValue,   RegistryDeleteKey,
                                      RegistryDeleteTree};
const SettingsStore kFileStore = {FileExists,      FileReadNumber, FileReadString, FileReadValue,
                                  FileCountContents, NoSubkeys,    FileWrite,      FileDeleteValue,
                                  FileDeleteKey,   FileDeleteTree};
const SettingsStore kNoStore = {SkipExists,      SkipReadNumber, SkipReadString, SkipReadValue,
                                SkipCountContents, NoSubkeys,    SkipWrite,      SkipDeleteValue,
                                SkipDeleteKey,   SkipDeleteTree};

// The one place that decides where an address goes.
const SettingsStore& StoreFor(HKEY root, const wchar_t* subkey) {
  if (IniHandles(root, subkey)) return kFileStore;
  if (!IsIntegrationAllowed()) return kNoStore;
  return kRegistryStore;
}

}  // namespace

// ---- Keys --------------------------------------------------------------------------------------

SettingKey::SettingKey(HKEY root, const wchar_t* subkey) noexcept
    : store_(&kRegistryStore), root_(root), fits_(false), view_(g_registryView) {
  SetAddress(OrEmpty(subkey));
}

SettingKey::SettingKey(HKEY root, const wchar_t* parent, const wchar_t* child) noexcept
    : store_(&kRegistryStore), root_(root), fits_(false), view_(g_registryView) {
  subkey_[0] = L'\0';
  path_[0] = L'\0';
  wchar_t subkey[kRegistryPathCapacity];
  // A name that does not fit is refused, never cut: the cut name is another key.
  if (JoinWhole(subkey, kRegistryPathCapacity, OrEmpty(parent), L"\\", OrEmpty(child))) SetAddress(subkey);
}

// Takes (root_, subkey) as the key's address and decides its route.
void SettingKey::SetAddress(const wchar_t* subkey) {
  subkey_[0] = L'\0';
  path_[0] = L'\0';
  fits_ = wcslen(subkey) < kRegistryPathCapacity && ProgramKeyPath(root_, subkey, path_, kRegistryPathCapacity);
  if (!fits_) return;  // refused everywhere as the registry refuses it: nothing read, written or deleted
  CopyBounded(subkey_, subkey, kRegistryPathCapacity);
  store_ = &StoreFor(root_, subkey);
}

bool SettingKey::Exists() { return store_->exists(*this); }

DWORD SettingKey::ReadNumber(const wchar_t* valueName, DWORD defaultValue) {
  return store_->readNumber(*this, valueName, defaultValue);
}

bool SettingKey::ReadString(const wchar_t* valueName, wchar_t* destination, const wchar_t* defaultText,
                            size_t capacity) {
  if (capacity == 0) return false;
  defaultText = OrEmpty(defaultText);
  CopyBounded(destination, defaultText, capacity);
  return fits_ && store_->readString(*this, valueName, destination, defaultText, capacity);
}

DWORD SettingKey::ReadValue(const wchar_t* valueName, DWORD* type, void* data, DWORD* size) {
  return store_->readValue(*this, valueName, type, data, size);
}

bool SettingKey::HasValue(const wchar_t* valueName) {
  DWORD size = 0;
  return ReadValue(valueName, nullptr, nullptr, &size) == ERROR_SUCCESS;
}

ExactString SettingKey::ReadExactString(const wchar_t* valueName, wchar_t* destination, size_t capacity) {
  if (capacity == 0) return ExactString::NotExact;
  destination[0] = L'\0';
  const size_t usable = capacity > MAXDWORD / sizeof(wchar_t) ? MAXDWORD / sizeof(wchar_t) : capacity;
  DWORD type = REG_NONE;
  DWORD size = static_cast<DWORD>(usable * sizeof(wchar_t));
  const DWORD read = ReadValue(valueName, &type, destination, &size);
  if (read == ERROR_FILE_NOT_FOUND) return ExactString::Missing;
  // The text and one terminator, nothing before it that would end the string early.
  const size_t characters = size / sizeof(wchar_t);
  const bool exact = read == ERROR_SUCCESS && type == REG_SZ && size % sizeof(wchar_t) == 0 && characters != 0 &&
                     destination[characters - 1] == L'\0' && wcslen(destination) == characters - 1;
  if (!exact) {
    destination[0] = L'\0';
    return ExactString::NotExact;
  }
  return ExactString::Read;
}

DWORD SettingKey::CountContents(DWORD* subkeys, DWORD* values) { return store_->countContents(*this, subkeys, values); }

bool SettingKey::SubkeyName(DWORD index, wchar_t* name, size_t capacity) {
  return store_->subkeyName(*this, index, name, capacity);
}

bool SettingKey::IsEmpty() {
  DWORD subkeys = 0;
  DWORD values = 0;
  return CountContents(&subkeys, &values) == ERROR_SUCCESS && subkeys == 0 && values == 0;
}

DWORD SettingKey::WriteString(const wchar_t* valueName, const wchar_t* text) {
  text = OrEmpty(text);
  const size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
  if (bytes > MAXDWORD) return ERROR_INVALID_PARAMETER;
  return store_->write(*this, valueName, REG_SZ, text, static_cast<DWORD>(bytes));
}

DWORD SettingKey::WriteNumber(const wchar_t* valueName, DWORD value) {
  return store_->write(*this, valueName, REG_DWORD, &value, sizeof value);
}

DWORD SettingKey::WriteEmptyValue(const wchar_t* valueName) {
  return store_->write(*this, valueName, REG_NONE, nullptr, 0);
}

void SettingKey::DeleteValue(const wchar_t* valueName) { store_->deleteValue(*this, valueName); }
void SettingKey::Delete() { store_->deleteKey(*this, 0); }
void SettingKey::DeleteFrom32BitView() { store_->deleteKey(*this, KEY_WOW64_32KEY); }

void SettingKey::DeleteIfEmpty() {
  if (IsEmpty()) Delete();
}

void SettingKey::DeleteTree() { store_->deleteTree(*this, nullptr); }
void SettingKey::DeleteTreeExcept(const wchar_t* keptChild) { store_->deleteTree(*this, OrEmpty(keptChild)); }

// ---- Addresses: one value, one key ---------------------------------------------------------------

bool ProgramKeyPath(HKEY root, const wchar_t* subkey, wchar_t* path, size_t capacity) {
  subkey = OrEmpty(subkey);
  if (capacity > kRegistryPathCapacity) capacity = kRegistryPathCapacity;
  if (!IsProgramRoot(root)) return JoinWhole(path, capacity, subkey, L"", L"");
  if (subkey[0] == L'\\') return JoinWhole(path, capacity, subkey + 1, L"", L"");
  return JoinWhole(path, capacity, kProgramKey, subkey[0] ? L"\\" : L"", subkey);
}

REGSAM RegistryView() { return g_registryView; }
void SetRegistryView(REGSAM flags) { g_registryView = flags; }

bool IsIntegrationAllowed() { return g_iniStore.Integration; }

bool SettingKeyExists(HKEY root, const wchar_t* subkey) { return SettingKey(root, subkey).Exists(); }

DWORD ReadSettingNumber(HKEY root, const wchar_t* subkey, const wchar_t* valueName, DWORD defaultValue) {
  return SettingKey(root, subkey).ReadNumber(valueName, defaultValue);
}

bool ReadSettingString(HKEY root, const wchar_t* subkey, const wchar_t* valueName, wchar_t* destination,
                       const wchar_t* defaultText, size_t capacity) {
  return SettingKey(root, subkey).ReadString(valueName, destination, defaultText, capacity);
}

DWORD ReadSettingValue(HKEY root, const wchar_t* subkey, const wchar_t* valueName, DWORD* type, void* data,
                       DWORD* size) {
  return SettingKey(root, subkey).ReadValue(valueName, type, data, size);
}

bool SettingValueExists(HKEY root, const wchar_t* subkey, const wchar_t* valueName) {
  return SettingKey(root, subkey).HasValue(valueName);
}

ExactString ReadExactSettingString(HKEY root, const wchar_t* subkey, const wchar_t* valueName, wchar_t* destination,
                                   size_t capacity) {
  return SettingKey(root, subkey).ReadExactString(valueName, destination, capacity);
}

DWORD CountSettingKeyContents(HKEY root, const wchar_t* subkey, DWORD* subkeys, DWORD* values) {
  return SettingKey(root, subkey).CountContents(subkeys, values);
}

DWORD WriteSettingString(HKEY root, const wchar_t* subkey, const wchar_t* valueName, const wchar_t* text) {
  return SettingKey(root, subkey).WriteString(valueName, text);
}

DWORD WriteSettingNumber(HKEY root, const wchar_t* subkey, const wchar_t* valueName, DWORD value) {
  return SettingKey(root, subkey).WriteNumber(valueName, value);
}

DWORD WriteSettingEmptyValue(HKEY root, const wchar_t* subkey, const wchar_t* valueName) {
  return SettingKey(root, subkey).WriteEmptyValue(valueName);
}

void DeleteSettingValue(HKEY root, const wchar_t* subkey, const wchar_t* valueName) {
  SettingKey(root, subkey).DeleteValue(valueName);
}

void DeleteSettingKey(HKEY root, const wchar_t* subkey) { SettingKey(root, subkey).Delete(); }

void DeleteSettingKey32(HKEY root, const wchar_t* subkey) { SettingKey(root, subkey).DeleteFrom32BitView(); }

void DeleteSettingTree(HKEY root, const wchar_t* subkey) { SettingKey(root, subkey).DeleteTree(); }

void DeleteSettingTreeExcept(HKEY root, const wchar_t* subkey, const wchar_t* keptChild) {
  SettingKey(root, subkey).DeleteTreeExcept(keptChild);
}

DWORD ReadUserNumber(const wchar_t* subkey, const wchar_t* valueName, DWORD defaultValue) {
  return ReadSettingNumber(HKEY_CURRENT_USER, subkey, valueName, defaultValue);
}
bool ReadUserString(const wchar_t* subkey, const wchar_t* valueName, wchar_t* destination,
                    const wchar_t* defaultText, size_t capacity) {
  return ReadSettingString(HKEY_CURRENT_USER, subkey, valueName, destination, defaultText, capacity);
}
DWORD WriteUserString(const wchar_t* subkey, const wchar_t* valueName, const wchar_t* text) {
  return WriteSettingString(HKEY_CURRENT_USER, subkey, valueName, text);
}
DWORD WriteUserNumber(const wchar_t* subkey, const wchar_t* valueName, DWORD value) {
  return WriteSettingNumber(HKEY_CURRENT_USER, subkey, valueName, value);
}
