#include "integration/previous_owner.h"

#include <cwchar>

#include "base/bounded_text.h"
#include "base/growable_array.h"
#include "base/run_log.h"
#include "integration/associations.h"
#include "settings/ini_store.h"
#include "settings/registry.h"

// The owner records live in the registry's 64-bit view, where every build of the archiver looks
// for them. This program is a 64-bit program, whose default view that is; a 32-bit build would
// have to ask for KEY_WOW64_64KEY on every record access.
static_assert(sizeof(void*) == 8, "owner records are accessed in the default view, the 64-bit one");

namespace {

constexpr size_t kKeyCapacity = 128;
constexpr const wchar_t* kRecordsKey = L"\\Software\\Ovenix\\Owners";
constexpr const wchar_t* kRecordsChild = L"Owners";  // the same key, below the program's own key
constexpr const wchar_t* kProgramKey = L"\\Software\\Ovenix";
// In an extension's record beside its owner: setup created HKCR\<ext>\OpenWithProgids (DWORD 1).
constexpr const wchar_t* kOpenWithCreatedValue = L"OpenWithProgids";
// The program's own key in the registry, for reaching it while a settings file serves the relative one.
constexpr const wchar_t* kRegistryProgramKey = L"\\Software\\Ovenix\\";

// The values of a saved previous owner, in the order they are written.
constexpr const wchar_t* kSavedStateValues[] = {kSavedExistValue, kSavedTypeValue, kShellNewStateValue};
constexpr size_t kSavedStateValueCount = sizeof(kSavedStateValues) / sizeof(kSavedStateValues[0]);

bool IsExistValue(const wchar_t* name) { return std::wcscmp(name, kSavedExistValue) == 0; }

const wchar_t* RootName(HKEY root) { return root == HKEY_CURRENT_USER ? L"HKCU" : L"HKLM"; }

// Calls action(extension) for every extension the archiver may have saved a previous owner for:
// every extension of every archive type, the recovery volumes' ".rev", and ".ace".
template <typename Action>
void ForEachSavedOwnerExtension(Action action) {
  for (const ArchiveType& type : ArchiveTypes) {
    const wchar_t* cursor = type.extensionGroup;
    wchar_t extension[kExtensionCapacity];
    while (NextGroupExtension(&cursor, extension, kExtensionCapacity)) action(extension);
  }
  action(kRecoveryExtension);
  action(kAceExtension);
}

// "HKLM\Software\Ovenix\Owners\.7z", for the log.
struct RecordName {
  wchar_t text[kKeyCapacity + 8];
  RecordName(HKEY root, const wchar_t* key) { FormatBounded(text, kKeyCapacity + 8, L"%ls%ls", RootName(root), key); }
};

bool AnySavedValue(HKEY root, const wchar_t* key) {
  for (const wchar_t* name : kSavedStateValues)
    if (SettingValueExists(root, key, name)) return true;
  return false;
}

// Writes the three values into (root, key); the first refusal ends it with its error.
DWORD WriteOwnerValues(HKEY root, const wchar_t* key, const PreviousOwner& owner) {
  DWORD result = WriteSettingNumber(root, key, kSavedExistValue, owner.existed ? 1 : 0);
  if (result == ERROR_SUCCESS) result = WriteSettingString(root, key, kSavedTypeValue, owner.type);
  // A "New" entry of an earlier save must not stand for this one.
  if (result == ERROR_SUCCESS && owner.shellNewSaved) {
    result = WriteSettingString(root, key, kShellNewStateValue, owner.shellNew);
  } else {
    DeleteSettingValue(root, key, kShellNewStateValue);
  }
  return result;
}

void ReadOwnerValues(HKEY root, const wchar_t* key, PreviousOwner& owner) {
  owner.existed = ReadSettingNumber(root, key, kSavedExistValue, 1) != 0;
  (void)ReadSettingString(root, key, kSavedTypeValue, owner.type, L"", kSavedTypeCapacity);
  owner.shellNewSaved = SettingValueExists(root, key, kShellNewStateValue);
  (void)ReadSettingString(root, key, kShellNewStateValue, owner.shellNew, L"", kShellNewStateCapacity);
}

void DeleteSettingsOwner(const wchar_t* stateKey) {
  for (const wchar_t* name : kSavedStateValues) DeleteSettingValue(HKEY_CURRENT_USER, stateKey, name);
}

// A key of ours that holds nothing any more goes; one that holds anything stays.
void DeleteKeyIfEmpty(HKEY root, const wchar_t* key) {
  DWORD subkeys = 0;
  DWORD values = 0;
  if (CountSettingKeyContents(root, key, &subkeys, &values) == ERROR_SUCCESS && subkeys == 0 && values == 0)
    DeleteSettingKey(root, key);
}

// The owner's values go; the record's key (and the keys above it) only when nothing else is in it.
void DeleteRecordedOwner(HKEY root, const wchar_t* record) {
  for (const wchar_t* name : kSavedStateValues) DeleteSettingValue(root, record, name);
  DeleteKeyIfEmpty(root, record);
  DeleteKeyIfEmpty(root, kRecordsKey);
  DeleteKeyIfEmpty(root, kProgramKey);
}

// How the settings keep what they were given, for the log: a settings file that is never written
// back keeps nothing beyond this run.
const wchar_t* SettingsCopy() {
  if (!IniHandles(HKEY_CURRENT_USER, L"")) return L" and in the user's settings";
  return g_iniStore.WritesBack() ? L" and in the settings file"
                                 : L" (not in the settings file: it is never written back)";
}

}  // namespace

void OwnerRecordKey(const wchar_t* ext, wchar_t* key, size_t capacity) {
  FormatBounded(key, capacity, L"%ls\\%ls", kRecordsKey, ext);
}

HKEY OwnerRecordRoot(const wchar_t* ext) {
  wchar_t userClass[kKeyCapacity];
  FormatBounded(userClass, kKeyCapacity, L"\\Software\\Classes\\%ls", ext);
  return SettingKeyExists(HKEY_CURRENT_USER, userClass) ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

bool SavePreviousOwner(const wchar_t* ext, const PreviousOwner& owner) {
  const HKEY root = OwnerRecordRoot(ext);
  wchar_t record[kKeyCapacity];
  OwnerRecordKey(ext, record, kKeyCapacity);
  wchar_t stateKey[kKeyCapacity];
  ExtensionStateKey(ext, stateKey, kKeyCapacity);
  const RecordName recordName(root, record);

  const DWORD recorded = WriteOwnerValues(root, record, owner);
  const DWORD stored = recorded == ERROR_SUCCESS ? WriteOwnerValues(HKEY_CURRENT_USER, stateKey, owner) : 0;
  if (recorded != ERROR_SUCCESS || stored != ERROR_SUCCESS) {
    DeleteRecordedOwner(root, record);
    DeleteSettingsOwner(stateKey);
    if (recorded != ERROR_SUCCESS) {
      LogLine("association %s: left to its owner: its owner record %s cannot be written -> %e", ext, recordName.text,
              static_cast<unsigned>(recorded));
    } else {
      LogLine("association %s: left to its owner: the settings cannot hold its type \"%s\"", ext, owner.type);
    }
    return false;
  }
  LogLine("association %s: taken over; previous owner saved: the key %s, type \"%s\"; kept in %s%s", ext,
          owner.existed ? L"existed" : L"did not exist", owner.type, recordName.text, SettingsCopy());
  return true;
}

OwnerSource ReadPreviousOwner(const wchar_t* ext, PreviousOwner& owner) {
  owner = PreviousOwner{};
  const HKEY root = OwnerRecordRoot(ext);
  wchar_t record[kKeyCapacity];
  OwnerRecordKey(ext, record, kKeyCapacity);
  if (AnySavedValue(root, record)) {
    ReadOwnerValues(root, record, owner);
    return OwnerSource::Record;
  }
  wchar_t stateKey[kKeyCapacity];
  ExtensionStateKey(ext, stateKey, kKeyCapacity);
  if (!AnySavedValue(HKEY_CURRENT_USER, stateKey)) return OwnerSource::Unknown;
  ReadOwnerValues(HKEY_CURRENT_USER, stateKey, owner);
  return OwnerSource::Settings;
}

void RecordPreviousOwnerFromSettings(const wchar_t* ext) {
  const HKEY root = OwnerRecordRoot(ext);
  wchar_t record[kKeyCapacity];
  OwnerRecordKey(ext, record, kKeyCapacity);
  wchar_t stateKey[kKeyCapacity];
  ExtensionStateKey(ext, stateKey, kKeyCapacity);
  if (AnySavedValue(root, record) || !AnySavedValue(HKEY_CURRENT_USER, stateKey)) return;
  PreviousOwner owner;
  ReadOwnerValues(HKEY_CURRENT_USER, stateKey, owner);
  const DWORD recorded = WriteOwnerValues(root, record, owner);
  if (recorded != ERROR_SUCCESS) DeleteRecordedOwner(root, record);
  LogLine("association %s: previous owner copied from the settings into the owner record %s -> %e", ext,
          RecordName(root, record).text, static_cast<unsigned>(recorded));
}

void ForgetPreviousOwner(const wchar_t* ext) {
  wchar_t record[kKeyCapacity];
  OwnerRecordKey(ext, record, kKeyCapacity);
  DeleteRecordedOwner(OwnerRecordRoot(ext), record);
  wchar_t stateKey[kKeyCapacity];
  ExtensionStateKey(ext, stateKey, kKeyCapacity);
  DeleteSettingsOwner(stateKey);
}

void NoteOpenWithKeyCreated(const wchar_t* ext) {
  wchar_t record[kKeyCapacity];
  OwnerRecordKey(ext, record, kKeyCapacity);
  (void)WriteSettingNumber(OwnerRecordRoot(ext), record, kOpenWithCreatedValue, 1);
}

bool ForgetOpenWithKeyCreated(const wchar_t* ext) {
  const HKEY root = OwnerRecordRoot(ext);
  wchar_t record[kKeyCapacity];
  OwnerRecordKey(ext, record, kKeyCapacity);
  const bool created = ReadSettingNumber(root, record, kOpenWithCreatedValue, 0) != 0;
  if (!created) return false;
  DeleteSettingValue(root, record, kOpenWithCreatedValue);
  DeleteKeyIfEmpty(root, record);
  DeleteKeyIfEmpty(root, kRecordsKey);
  DeleteKeyIfEmpty(root, kProgramKey);
  return true;
}

void DeleteProgramSettings(HKEY root) {
  bool spared = false;
  ForEachSavedOwnerExtension([root, &spared](const wchar_t* ext) {
    wchar_t record[kKeyCapacity];
    OwnerRecordKey(ext, record, kKeyCapacity);
    if (!SettingKeyExists(root, record)) return;
    if (ArchiverOwnsExtension(ext)) {
      LogLine("association %s: the archiver still owns it: its owner record %s stays", ext,
              RecordName(root, record).text);
      spared = true;
    } else {
      DeleteSettingKey(root, record);
    }
  });
  if (spared) {
    DeleteSettingTreeExcept(root, L"", kRecordsChild);
  } else {
    DeleteSettingTree(root, L"");
  }
  // With a settings file as the store the tree above was the file's; the registry's program key
  // goes where nothing but emptied records' keys is left in it.
  DeleteKeyIfEmpty(root, kRecordsKey);
  DeleteKeyIfEmpty(root, kProgramKey);
}

void MoveSavedOwnersIntoSettingsFile() {
  if (!IniHandles(HKEY_CURRENT_USER, L"")) return;  // the registry is the store: nothing to move
  ForEachSavedOwnerExtension([](const wchar_t* ext) {
    if (!ArchiverOwnsExtension(ext)) return;  // nothing of it is ours to give back any more
    wchar_t fileKey[kKeyCapacity];
    ExtensionStateKey(ext, fileKey, kKeyCapacity);
    if (AnySavedValue(HKEY_CURRENT_USER, fileKey)) return;  // the file keeps its own
    wchar_t registryKey[kKeyCapacity];
    FormatBounded(registryKey, kKeyCapacity, L"%ls%ls", kRegistryProgramKey, fileKey);

    // A value that could not be carried over exactly keeps all of them where they are.
    const bool hasExist = SettingValueExists(HKEY_CURRENT_USER, registryKey, kSavedExistValue);
    const DWORD existed = ReadSettingNumber(HKEY_CURRENT_USER, registryKey, kSavedExistValue, 1);
    wchar_t type[kSavedTypeCapacity];
    const ExactString typeRead =
        ReadExactSettingString(HKEY_CURRENT_USER, registryKey, kSavedTypeValue, type, kSavedTypeCapacity);
    wchar_t shellNew[kShellNewStateCapacity];
    const ExactString shellNewRead =
        ReadExactSettingString(HKEY_CURRENT_USER, registryKey, kShellNewStateValue, shellNew, kShellNewStateCapacity);
    if (typeRead == ExactString::NotExact || shellNewRead == ExactString::NotExact) return;
    const bool moved[] = {hasExist, typeRead == ExactString::Read, shellNewRead == ExactString::Read};
    if (!moved[0] && !moved[1] && !moved[2]) return;

    bool written = !moved[0] || WriteUserNumber(fileKey, kSavedExistValue, existed) == 0;
    written = written && (!moved[1] || WriteUserString(fileKey, kSavedTypeValue, type) == 0);
    written = written && (!moved[2] || WriteUserString(fileKey, kShellNewStateValue, shellNew) == 0);
    LogLine(written ? "association %s: previous owner moved from the registry into the settings file"
                    : "association %s: previous owner stays in the registry: the settings file cannot hold it",
            ext);
    for (size_t i = 0; i < kSavedStateValueCount; ++i) {
      if (!moved[i]) continue;
      DeleteSettingValue(HKEY_CURRENT_USER, written ? registryKey : fileKey, kSavedStateValues[i]);
    }
    // A key that held nothing but the owner (one of a group's further extensions) goes with it.
    if (written) DeleteKeyIfEmpty(HKEY_CURRENT_USER, registryKey);
  });
}

void DeleteUserSettingsKeepingSavedOwners() {
  // Each saved value as three strings: its key, its name and its text ("Exist" in decimal digits).
  PackedStringList kept;
  ForEachSavedOwnerExtension([&kept](const wchar_t* ext) {
    wchar_t key[kKeyCapacity];
    ExtensionStateKey(ext, key, kKeyCapacity);
    for (const wchar_t* name : kSavedStateValues) {
      if (!SettingValueExists(HKEY_CURRENT_USER, key, name)) continue;
      wchar_t text[kShellNewStateCapacity];
      if (IsExistValue(name)) {
        FormatBounded(text, kShellNewStateCapacity, L"%lu", static_cast<unsigned long>(ReadUserNumber(key, name, 1)));
      } else {
        (void)ReadUserString(key, name, text, L"", kShellNewStateCapacity);
      }
      kept.AddString(key);
      kept.AddString(name);
      kept.AddString(text);
    }
  });
  LogLine("settings: the user's settings go but the saved previous owners, as registry access is off");
  DeleteSettingTree(HKEY_CURRENT_USER, L"");
  wchar_t* key = nullptr;
  wchar_t* name = nullptr;
  wchar_t* text = nullptr;
  while (kept.NextString(key) && kept.NextString(name) && kept.NextString(text)) {
    if (IsExistValue(name)) {
      (void)WriteUserNumber(key, name, static_cast<DWORD>(std::wcstoul(text, nullptr, 10)));
    } else {
      (void)WriteUserString(key, name, text);
    }
  }
}
