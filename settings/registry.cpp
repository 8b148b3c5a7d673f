#include "settings/registry.h"

#include <cstring>
#include <cwchar>

#include "base/bounded_text.h"
#include "base/growable_array.h"
#include "base/handles.h"
#include "base/run_log.h"
#include "settings/ini_store.h"
#ifdef VOK_TEST_SEAMS
#include "settings/registry_test_seam.h"
#endif

namespace {

const wchar_t kProgramKey[] = L"Software\\Ovenix";
// RegEnumKeyExW name buffer of a deletion pass: a longer subkey name ends the enumeration.
constexpr DWORD kTreeNameCapacity = 200;

REGSAM g_registryView = 0;
// Keys deleted by the running tree-deletion pass.
unsigned long g_treeDeletionCount = 0;

const wchar_t* OrEmpty(const wchar_t* text) { return text ? text : L""; }

bool IsProgramRoot(HKEY root) { return root == HKEY_CURRENT_USER || root == HKEY_LOCAL_MACHINE; }

// For the log: the root as regedit names it, and the default value as "@".
const wchar_t* RootName(HKEY root) {
  return root == HKEY_CLASSES_ROOT ? L"HKCR" : root == HKEY_CURRENT_USER ? L"HKCU" : L"HKLM";
}
const wchar_t* ValueName(const wchar_t* name) { return name && *name ? name : L"@"; }

// Registry access is off: what the program would have changed outside its own settings.
void LogSkipped(const wchar_t* action, HKEY root, const wchar_t* subkey, const wchar_t* valueName) {
  LogLine("registry: %s %s\\%s : %s skipped (registry access is off in the settings file)", action, RootName(root),
          OrEmpty(subkey), ValueName(valueName));
}

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

// Opens the key of a value read: the view addition applies.
bool OpenForReading(HKEY root, const wchar_t* path, UniqueHkey& key) {
  return RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | g_registryView, key.put()) ==
         ERROR_SUCCESS;
}

DWORD WriteRegistryValue(HKEY root, const wchar_t* subkey, const wchar_t* valueName, DWORD type,
                         const BYTE* data, DWORD size) {
  wchar_t path[kRegistryPathCapacity];
  if (!ProgramKeyPath(root, subkey, path, kRegistryPathCapacity)) return ERROR_FILENAME_EXCED_RANGE;
#ifdef VOK_TEST_SEAMS
  // Only the tests' copy of this file has the check (settings/registry_test_seam.h).
  DWORD refused = 0;
  if (TakeRegistryWriteFailure(root, path, &refused)) return refused;
#endif
  UniqueHkey key;
  LSTATUS result = RegCreateKeyExW(root, path, 0, /*lpClass=*/nullptr, REG_OPTION_NON_VOLATILE,
                                   KEY_WRITE | g_registryView, /*security=*/nullptr, key.put(), /*disposition=*/nullptr);
  if (result == ERROR_SUCCESS) result = RegSetValueExW(key.get(), OrEmpty(valueName), 0, type, data, size);
  const wchar_t* view = (g_registryView & KEY_WOW64_32KEY) != 0 ? L" (32-bit view)" : L"";
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
            reinterpret_cast<const wchar_t*>(data), view, static_cast<unsigned>(result));
  }
  return static_cast<DWORD>(result);
}

// One deletion pass over (root, path): children first, then the key; counts what it deleted.
void DeletionPass(HKEY root, const wchar_t* path) {
  if (path[0] == L'\0') return;
  {
    UniqueHkey key;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
    for (DWORD index = 0;; ++index) {
      wchar_t name[kTreeNameCapacity];
      DWORD nameLength = kTreeNameCapacity;
      if (RegEnumKeyExW(key.get(), index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        break;
      // A child path that does not fit is skipped rather than cut: the cut path would be another key.
      wchar_t childPath[kRegistryPathCapacity];
      if (JoinWhole(childPath, kRegistryPathCapacity, path, L"\\", name)) DeletionPass(root, childPath);
    }
  }
  if (RegDeleteKeyW(root, path) == ERROR_SUCCESS) ++g_treeDeletionCount;
}

// The routing steps before the registry: true when the operation is finished (served by the INI
// store, or skipped because registry access is off).
enum class Route { Ini, Skip, Registry };

Route RouteOf(HKEY root, const wchar_t* subkey) {
  if (IniHandles(root, subkey)) return Route::Ini;
  if (!IsIntegrationAllowed()) return Route::Skip;
  return Route::Registry;
}

// The key prefix / entry name of an address for the INI store.
struct EntryName {
  wchar_t text[kIniEntryNameCapacity];
  EntryName(HKEY root, const wchar_t* subkey, const wchar_t* valueName) {
    IniEntryName(root, subkey, valueName, text, kIniEntryNameCapacity);
  }
};

}  // namespace

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

bool SettingKeyExists(HKEY root, const wchar_t* subkey) {
  switch (RouteOf(root, subkey)) {
    case Route::Ini:
      return g_iniStore.KeyExists(root, subkey);
    case Route::Skip:
      return false;
    case Route::Registry:
      break;
  }
  wchar_t path[kRegistryPathCapacity];
  if (!ProgramKeyPath(root, subkey, path, kRegistryPathCapacity)) return false;
  UniqueHkey key;
  return RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE, key.put()) == ERROR_SUCCESS;
}

DWORD ReadSettingNumber(HKEY root, const wchar_t* subkey, const wchar_t* valueName, DWORD defaultValue) {
  switch (RouteOf(root, subkey)) {
    case Route::Ini: {
      const wchar_t* text = IniLookup(EntryName(root, subkey, valueName).text);
      return text ? static_cast<DWORD>(IniDecimalValue(text)) : defaultValue;
    }
    case Route::Skip:
      return defaultValue;
    case Route::Registry:
      break;
  }
  wchar_t path[kRegistryPathCapacity];
  if (!ProgramKeyPath(root, subkey, path, kRegistryPathCapacity)) return defaultValue;
  UniqueHkey key;
  if (!OpenForReading(root, path, key)) return defaultValue;
  // The buffer holds the default beforehand, so data shorter than 4 bytes replaces only its
  // leading bytes; the stored type is not looked at.
  DWORD number = defaultValue;
  DWORD size = sizeof number;
  const LSTATUS queried =
      RegQueryValueExW(key.get(), OrEmpty(valueName), nullptr, nullptr, reinterpret_cast<BYTE*>(&number), &size);
  return queried == ERROR_SUCCESS && size != 0 ? number : defaultValue;
}

bool ReadSettingString(HKEY root, const wchar_t* subkey, const wchar_t* valueName, wchar_t* destination,
                       const wchar_t* defaultText, size_t capacity) {
  if (capacity == 0) return false;
  defaultText = OrEmpty(defaultText);
  CopyBounded(destination, defaultText, capacity);
  switch (RouteOf(root, subkey)) {
    case Route::Ini: {
      const wchar_t* text = IniLookup(EntryName(root, subkey, valueName).text);
      CopyBounded(destination, text ? text : defaultText, capacity);
      return true;
    }
    case Route::Skip:
      return true;
    case Route::Registry:
      break;
  }
  wchar_t path[kRegistryPathCapacity];
  if (!ProgramKeyPath(root, subkey, path, kRegistryPathCapacity)) return false;
  UniqueHkey key;
  if (!OpenForReading(root, path, key)) return false;
  // The byte size handed to the registry must fit a DWORD.
  const size_t usable = capacity > MAXDWORD / sizeof(wchar_t) ? MAXDWORD / sizeof(wchar_t) : capacity;
  DWORD size = static_cast<DWORD>(usable * sizeof(wchar_t));
  const LSTATUS queried =
      RegQueryValueExW(key.get(), OrEmpty(valueName), nullptr, nullptr, reinterpret_cast<BYTE*>(destination), &size);
  if (queried != ERROR_SUCCESS) {
    CopyBounded(destination, defaultText, capacity);
    return false;
  }
  const size_t end = size / sizeof(wchar_t);
  destination[end < usable - 1 ? end : usable - 1] = L'\0';
  return true;
}

DWORD ReadSettingValue(HKEY root, const wchar_t* subkey, const wchar_t* valueName, DWORD* type, void* data,
                       DWORD* size) {
  switch (RouteOf(root, subkey)) {
    case Route::Ini: {
      const wchar_t* text = IniLookup(EntryName(root, subkey, valueName).text);
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
    case Route::Skip:
      return ERROR_ACCESS_DENIED;
    case Route::Registry:
      break;
  }
  wchar_t path[kRegistryPathCapacity];
  if (!ProgramKeyPath(root, subkey, path, kRegistryPathCapacity)) return ERROR_FILENAME_EXCED_RANGE;
  UniqueHkey key;
  const LSTATUS opened =
      RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | g_registryView, key.put());
  if (opened != ERROR_SUCCESS) return static_cast<DWORD>(opened);
  return static_cast<DWORD>(
      RegQueryValueExW(key.get(), OrEmpty(valueName), nullptr, type, static_cast<BYTE*>(data), size));
}

bool SettingValueExists(HKEY root, const wchar_t* subkey, const wchar_t* valueName) {
  DWORD size = 0;
  return ReadSettingValue(root, subkey, valueName, nullptr, nullptr, &size) == ERROR_SUCCESS;
}

ExactString ReadExactSettingString(HKEY root, const wchar_t* subkey, const wchar_t* valueName, wchar_t* destination,
                                   size_t capacity) {
  if (capacity == 0) return ExactString::NotExact;
  destination[0] = L'\0';
  const size_t usable = capacity > MAXDWORD / sizeof(wchar_t) ? MAXDWORD / sizeof(wchar_t) : capacity;
  DWORD type = REG_NONE;
  DWORD size = static_cast<DWORD>(usable * sizeof(wchar_t));
  const DWORD read = ReadSettingValue(root, subkey, valueName, &type, destination, &size);
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

DWORD CountSettingKeyContents(HKEY root, const wchar_t* subkey, DWORD* subkeys, DWORD* values) {
  switch (RouteOf(root, subkey)) {
    case Route::Ini:
      return ERROR_NOT_SUPPORTED;
    case Route::Skip:
      return ERROR_ACCESS_DENIED;
    case Route::Registry:
      break;
  }
  wchar_t path[kRegistryPathCapacity];
  if (!ProgramKeyPath(root, subkey, path, kRegistryPathCapacity)) return ERROR_FILENAME_EXCED_RANGE;
  UniqueHkey key;
  const LSTATUS opened = RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE | g_registryView, key.put());
  if (opened != ERROR_SUCCESS) return static_cast<DWORD>(opened);
  return static_cast<DWORD>(RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, subkeys, nullptr, nullptr, values,
                                             nullptr, nullptr, nullptr, nullptr));
}

DWORD WriteSettingString(HKEY root, const wchar_t* subkey, const wchar_t* valueName, const wchar_t* text) {
  text = OrEmpty(text);
  switch (RouteOf(root, subkey)) {
    case Route::Ini: {
      // A line break cannot be stored in the file without splitting the entry: refused.
      const EntryName name(root, subkey, valueName);
      const DWORD result = IniSet(name.text, text, IniValueKind::Quoted) ? ERROR_SUCCESS : ERROR_INVALID_DATA;
      LogLine("settings file: set %s = \"%s\" -> %e", name.text, text, static_cast<unsigned>(result));
      return result;
    }
    case Route::Skip:
      LogSkipped(L"set", root, subkey, valueName);
      return ERROR_SUCCESS;
    case Route::Registry:
      break;
  }
  const size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
  if (bytes > MAXDWORD) return ERROR_INVALID_PARAMETER;
  return WriteRegistryValue(root, subkey, valueName, REG_SZ, reinterpret_cast<const BYTE*>(text),
                            static_cast<DWORD>(bytes));
}

DWORD WriteSettingNumber(HKEY root, const wchar_t* subkey, const wchar_t* valueName, DWORD value) {
  switch (RouteOf(root, subkey)) {
    case Route::Ini: {
      wchar_t digits[20];
      FormatBounded(digits, 20, L"%lu", static_cast<unsigned long>(value));
      const EntryName name(root, subkey, valueName);
      const DWORD result = IniSet(name.text, digits, IniValueKind::Plain) ? ERROR_SUCCESS : ERROR_INVALID_DATA;
      LogLine("settings file: set %s = %u -> %e", name.text, static_cast<unsigned>(value), static_cast<unsigned>(result));
      return result;
    }
    case Route::Skip:
      LogSkipped(L"set", root, subkey, valueName);
      return ERROR_SUCCESS;
    case Route::Registry:
      break;
  }
  return WriteRegistryValue(root, subkey, valueName, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                            sizeof value);
}

DWORD WriteSettingEmptyValue(HKEY root, const wchar_t* subkey, const wchar_t* valueName) {
  switch (RouteOf(root, subkey)) {
    case Route::Ini:
      return ERROR_NOT_SUPPORTED;
    case Route::Skip:
      LogSkipped(L"set", root, subkey, valueName);
      return ERROR_SUCCESS;
    case Route::Registry:
      break;
  }
  return WriteRegistryValue(root, subkey, valueName, REG_NONE, nullptr, 0);
}

namespace {

// The deletions share their routing: with the INI store in charge the entry (valueName) or every
// entry under the key (null valueName) leaves the file; with registry access off nothing happens.
// True, with the full registry path, only when the registry is to be changed.
bool RoutedToRegistryForDeletion(HKEY root, const wchar_t* subkey, const wchar_t* valueName, wchar_t* path) {
  switch (RouteOf(root, subkey)) {
    case Route::Ini: {
      const unsigned removed = static_cast<unsigned>(IniRemove(root, subkey, valueName));
      if (removed != 0) {
        LogLine("settings file: delete %s (%u entries)", EntryName(root, subkey, valueName).text, removed);
      }
      return false;
    }
    case Route::Skip:
      LogSkipped(L"delete", root, subkey, valueName);
      return false;
    case Route::Registry:
      break;
  }
  return ProgramKeyPath(root, subkey, path, kRegistryPathCapacity);
}

bool KeyOpens(HKEY root, const wchar_t* path) {
  UniqueHkey key;
  return RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE, key.put()) == ERROR_SUCCESS;
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

}  // namespace

void DeleteSettingValue(HKEY root, const wchar_t* subkey, const wchar_t* valueName) {
  wchar_t path[kRegistryPathCapacity];
  if (!RoutedToRegistryForDeletion(root, subkey, valueName, path)) return;
  UniqueHkey key;
  if (RegOpenKeyExW(root, path, 0, KEY_WRITE, key.put()) != ERROR_SUCCESS) return;
  LogDeletion(root, path, valueName, L"", RegDeleteValueW(key.get(), OrEmpty(valueName)));
}

void DeleteSettingKey(HKEY root, const wchar_t* subkey) {
  wchar_t path[kRegistryPathCapacity];
  // An empty path would name the root itself.
  if (!RoutedToRegistryForDeletion(root, subkey, nullptr, path) || path[0] == L'\0') return;
  LogDeletion(root, path, nullptr, L"", RegDeleteKeyW(root, path));
}

void DeleteSettingKey32(HKEY root, const wchar_t* subkey) {
  wchar_t path[kRegistryPathCapacity];
  if (!RoutedToRegistryForDeletion(root, subkey, nullptr, path) || path[0] == L'\0') return;
  LogDeletion(root, path, nullptr, L" (32-bit view)", RegDeleteKeyExW(root, path, KEY_WOW64_32KEY, 0));
}

namespace {

void DeleteTreeAt(HKEY root, const wchar_t* path) {
  const bool logged = RunLogOpen() && path[0] != L'\0' && KeyOpens(root, path);
  // Deleting children while enumerating by rising index skips some of them; the next pass gets
  // them. Stops after the first pass that deletes nothing (the key is gone, or cannot be deleted).
  do {
    g_treeDeletionCount = 0;
    DeletionPass(root, path);
  } while (g_treeDeletionCount != 0);
  if (logged) {
    LogLine("registry: delete tree %s\\%s -> %s", RootName(root), path,
            KeyOpens(root, path) ? L"some keys could not be deleted" : L"ok");
  }
}

}  // namespace

void DeleteSettingTree(HKEY root, const wchar_t* subkey) {
  wchar_t path[kRegistryPathCapacity];
  if (!RoutedToRegistryForDeletion(root, subkey, nullptr, path)) return;
  DeleteTreeAt(root, path);
}

void DeleteSettingTreeExcept(HKEY root, const wchar_t* subkey, const wchar_t* keptChild) {
  wchar_t path[kRegistryPathCapacity];
  if (!RoutedToRegistryForDeletion(root, subkey, nullptr, path) || path[0] == L'\0') return;
  wchar_t keptPath[kRegistryPathCapacity];
  if (!JoinWhole(keptPath, kRegistryPathCapacity, path, L"\\", OrEmpty(keptChild)) || !KeyOpens(root, keptPath)) {
    DeleteTreeAt(root, path);
    return;
  }
  UniqueHkey key;
  if (RegOpenKeyExW(root, path, 0, KEY_READ | KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) return;
  // The names first: deleting while enumerating would shift the indexes.
  PackedStringList children;
  for (DWORD index = 0;; ++index) {
    wchar_t name[kTreeNameCapacity];
    DWORD nameLength = kTreeNameCapacity;
    if (RegEnumKeyExW(key.get(), index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    if (CompareStringOrdinal(name, -1, OrEmpty(keptChild), -1, /*ignoreCase=*/TRUE) != CSTR_EQUAL)
      children.AddString(name);
  }
  wchar_t* name = nullptr;
  while (children.NextString(name)) {
    wchar_t childPath[kRegistryPathCapacity];
    if (JoinWhole(childPath, kRegistryPathCapacity, path, L"\\", name)) DeleteTreeAt(root, childPath);
  }
  // The key's own values; one that cannot be deleted is stepped over.
  for (DWORD index = 0;;) {
    wchar_t value[kTreeNameCapacity];
    DWORD valueLength = kTreeNameCapacity;
    if (RegEnumValueW(key.get(), index, value, &valueLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    const LSTATUS deleted = RegDeleteValueW(key.get(), value);
    LogDeletion(root, path, value, L"", deleted);
    if (deleted != ERROR_SUCCESS) ++index;
  }
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
