#include "integration/previous_owner.h"

#include <cwchar>

#include "base/bounded_text.h"
#include "base/growable_array.h"  // PackedStringList
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
// The program's own key by its absolute path: the registry's, also while a settings file serves the
// relative one.
constexpr const wchar_t* kProgramKey = L"\\Software\\Ovenix";
// In an extension's record beside its owner: setup created HKCR\<ext>\OpenWithProgids (DWORD 1).
constexpr const wchar_t* kOpenWithCreatedValue = L"OpenWithProgids";

// The values of a saved previous owner, in the order they are written.
constexpr const wchar_t* kSavedStateValues[] = {kSavedExistValue, kSavedTypeValue, kShellNewStateValue};
constexpr size_t kSavedStateValueCount = sizeof(kSavedStateValues) / sizeof(kSavedStateValues[0]);

bool IsExistValue(const wchar_t* name) { return std::wcscmp(name, kSavedExistValue) == 0; }

const wchar_t* RootName(HKEY root) { return root == HKEY_CURRENT_USER ? L"HKCU" : L"HKLM"; }

// Calls action(extension) for every extension the archiver may have saved a previous owner for:
// every extension of every archive type, the recovery volumes' ".rev", and ".ace".
template <typename Action>
void ForEachSavedOwnerExtension(Action action) {
  ForEachArchiveExtension([&action](const ArchiveType&, const wchar_t* extension) { action(extension); });
  action(kRecoveryExtension);
  action(kAceExtension);
}

// "HKLM\Software\Ovenix\Owners\.7z", for the log.
struct RecordName {
  wchar_t text[kKeyCapacity + 8];
  RecordName(HKEY root, const wchar_t* ext) {
    FormatBounded(text, kKeyCapacity + 8, L"%ls%ls\\%ls", RootName(root), kRecordsKey, ext);
  }
};

// The extension's owner record: <root>\Software\Ovenix\Owners\<ext>.
SettingKey RecordKey(HKEY root, const wchar_t* ext) { return SettingKey(root, kRecordsKey, ext); }

// "Setup\<ext>", the key of the extension's saved state in the settings, for a SettingKey (which
// copies it).
struct StateKeyName {
  wchar_t text[kKeyCapacity];
  explicit StateKeyName(const wchar_t* ext) { ExtensionStateKey(ext, text, kKeyCapacity); }
};

// Marks "Exist" as not saved: no stored value reads as this (setup writes 0 or 1).
constexpr DWORD kNoExistValue = 0xFFFFFFFF;

// Reads the values of a saved owner from `key`; true when any of them is there. The "New" entry is
// read where it can count (withShellNew: an extension of a type that has one).
bool ReadOwnerValues(SettingKey& key, PreviousOwner& owner, bool withShellNew = true) {
  const DWORD exist = key.ReadNumber(kSavedExistValue, kNoExistValue);
  owner.existed = exist != 0;
  const ExactString type = key.ReadExactString(kSavedTypeValue, owner.type, kSavedTypeCapacity);
  const ExactString shellNew = withShellNew
                                   ? key.ReadExactString(kShellNewStateValue, owner.shellNew, kShellNewStateCapacity)
                                   : ExactString::Missing;
  owner.shellNewSaved = shellNew == ExactString::Read;
  return exist != kNoExistValue || type != ExactString::Missing || shellNew != ExactString::Missing;
}

// Writes the three values into `key`; the first refusal ends it with its error.
DWORD WriteOwnerValues(SettingKey& key, const PreviousOwner& owner) {
  DWORD result = key.WriteNumber(kSavedExistValue, owner.existed ? 1 : 0);
  if (result == ERROR_SUCCESS) result = key.WriteString(kSavedTypeValue, owner.type);
  // A "New" entry of an earlier save must not stand for this one.
  if (result == ERROR_SUCCESS && owner.shellNewSaved) {
    result = key.WriteString(kShellNewStateValue, owner.shellNew);
  } else {
    key.DeleteValue(kShellNewStateValue);
  }
  return result;
}

void DeleteOwnerValues(SettingKey& key) {
  for (const wchar_t* name : kSavedStateValues) key.DeleteValue(name);
}

// How the settings keep what they were given, for the log: a settings file that is never written
// back keeps nothing beyond this run.
const wchar_t* SettingsCopy() {
  if (!IniHandles(HKEY_CURRENT_USER, L"")) return L" and in the user's settings";
  return g_iniStore.WritesBack() ? L" and in the settings file"
                                 : L" (not in the settings file: it is never written back)";
}

}  // namespace

HKEY OwnerRecordRoot(const wchar_t* ext) {
  wchar_t userClass[kKeyCapacity];
  FormatBounded(userClass, kKeyCapacity, L"\\Software\\Classes\\%ls", ext);
  return SettingKeyExists(HKEY_CURRENT_USER, userClass) ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

OwnerKeys::OwnerKeys(const wchar_t* extension)
    : ext(extension),
      recordRoot(OwnerRecordRoot(extension)),
      record(RecordKey(recordRoot, extension)),
      settings(HKEY_CURRENT_USER, StateKeyName(extension).text) {}

bool SavePreviousOwner(OwnerKeys& keys, const PreviousOwner& owner) {
  const RecordName recordName(keys.recordRoot, keys.ext);
  const DWORD recorded = WriteOwnerValues(keys.record, owner);
  const DWORD stored = recorded == ERROR_SUCCESS ? WriteOwnerValues(keys.settings, owner) : 0;
  if (recorded != ERROR_SUCCESS || stored != ERROR_SUCCESS) {
    DeleteOwnerValues(keys.record);
    keys.record.DeleteIfEmpty();
    DeleteOwnerValues(keys.settings);
    if (recorded != ERROR_SUCCESS) {
      LogLine("association %s: left to its owner: its owner record %s cannot be written -> %e", keys.ext,
              recordName.text, static_cast<unsigned>(recorded));
    } else {
      LogLine("association %s: left to its owner: the settings cannot hold its type \"%s\"", keys.ext, owner.type);
    }
    return false;
  }
  LogLine("association %s: taken over; previous owner saved: the key %s, type \"%s\"; kept in %s%s", keys.ext,
          owner.existed ? L"existed" : L"did not exist", owner.type, recordName.text, SettingsCopy());
  return true;
}

OwnerSource ReadPreviousOwner(OwnerKeys& keys, PreviousOwner& owner, bool withShellNew) {
  owner = PreviousOwner{};
  if (keys.record.Exists() && ReadOwnerValues(keys.record, owner, withShellNew)) return OwnerSource::Record;
  owner = PreviousOwner{};
  if (ReadOwnerValues(keys.settings, owner, withShellNew)) return OwnerSource::Settings;
  owner = PreviousOwner{};
  return OwnerSource::Unknown;
}

void RecordPreviousOwner(OwnerKeys& keys, const PreviousOwner& owner) {
  const DWORD recorded = WriteOwnerValues(keys.record, owner);
  if (recorded != ERROR_SUCCESS) {
    DeleteOwnerValues(keys.record);
    keys.record.DeleteIfEmpty();
  }
  LogLine("association %s: previous owner copied from the settings into the owner record %s -> %e", keys.ext,
          RecordName(keys.recordRoot, keys.ext).text, static_cast<unsigned>(recorded));
}

void ForgetPreviousOwner(OwnerKeys& keys) {
  if (keys.record.Exists()) keys.record.Delete();
  DeleteOwnerValues(keys.settings);
}

void NoteOpenWithKeyCreated(OwnerKeys& keys) { (void)keys.record.WriteNumber(kOpenWithCreatedValue, 1); }

bool OpenWithKeyWasCreated(OwnerKeys& keys) { return keys.record.ReadNumber(kOpenWithCreatedValue, 0) != 0; }

void DeleteEmptyOwnerKeys() {
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    SettingKey(root, kRecordsKey).DeleteIfEmpty();
    SettingKey(root, kProgramKey).DeleteIfEmpty();
  }
}

void DeleteProgramSettings(HKEY root) {
  // The records that are there, each kept while the archiver still owns its extension.
  SettingKey records(root, kRecordsKey);
  bool spared = false;
  wchar_t ext[kExtensionCapacity];
  for (DWORD index = 0; records.SubkeyName(index, ext, kExtensionCapacity);) {
    if (ArchiverOwnsExtension(ext)) {
      LogLine("association %s: the archiver still owns it: its owner record %s stays", ext,
              RecordName(root, ext).text);
      spared = true;
      ++index;
    } else {
      RecordKey(root, ext).Delete();
    }
  }
  if (spared) {
    DeleteSettingTreeExcept(root, L"", kRecordsChild);
  } else {
    DeleteSettingTree(root, L"");
  }
  // With a settings file as the store the tree above was the file's; the registry's program key
  // goes where nothing but emptied records' keys is left in it.
  records.DeleteIfEmpty();
  SettingKey(root, kProgramKey).DeleteIfEmpty();
}

void MoveSavedOwnersIntoSettingsFile() {
  if (!IniHandles(HKEY_CURRENT_USER, L"")) return;  // the registry is the store: nothing to move
  ForEachSavedOwnerExtension([](const wchar_t* ext) {
    if (!ArchiverOwnsExtension(ext)) return;  // nothing of it is ours to give back any more
    const StateKeyName stateKey(ext);
    SettingKey file(HKEY_CURRENT_USER, stateKey.text);
    PreviousOwner kept;
    if (ReadOwnerValues(file, kept)) return;  // the file keeps its own
    SettingKey registry(HKEY_CURRENT_USER, kProgramKey, stateKey.text);

    // A value that could not be carried over exactly keeps all of them where they are.
    const DWORD exist = registry.ReadNumber(kSavedExistValue, kNoExistValue);
    wchar_t type[kSavedTypeCapacity];
    const ExactString typeRead = registry.ReadExactString(kSavedTypeValue, type, kSavedTypeCapacity);
    wchar_t shellNew[kShellNewStateCapacity];
    const ExactString shellNewRead = registry.ReadExactString(kShellNewStateValue, shellNew, kShellNewStateCapacity);
    if (typeRead == ExactString::NotExact || shellNewRead == ExactString::NotExact) return;
    const bool moved[] = {exist != kNoExistValue, typeRead == ExactString::Read, shellNewRead == ExactString::Read};
    if (!moved[0] && !moved[1] && !moved[2]) return;

    bool written = !moved[0] || file.WriteNumber(kSavedExistValue, exist) == 0;
    written = written && (!moved[1] || file.WriteString(kSavedTypeValue, type) == 0);
    written = written && (!moved[2] || file.WriteString(kShellNewStateValue, shellNew) == 0);
    LogLine(written ? "association %s: previous owner moved from the registry into the settings file"
                    : "association %s: previous owner stays in the registry: the settings file cannot hold it",
            ext);
    for (size_t i = 0; i < kSavedStateValueCount; ++i) {
      if (moved[i]) (written ? registry : file).DeleteValue(kSavedStateValues[i]);
    }
    // A key that held nothing but the owner (one of a group's further extensions) goes with it.
    if (written) registry.DeleteIfEmpty();
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
