#include "integration/associations.h"

#include <windows.h>
#include <shlobj.h>

#include <cwchar>

#include "base/bounded_text.h"
#include "base/growable_array.h"
#include "base/paths.h"
#include "base/run_log.h"
#include "integration/shell_new.h"
#include "localization/localized_strings.h"
#include "resources/resource_ids.h"
#include "settings/ini_store.h"
#include "settings/registry.h"

namespace {

constexpr size_t kCommandCapacity = kPathCapacity + 16;
constexpr size_t kKeyCapacity = 128;
constexpr unsigned kVolumeKeysClaimed = 30;    // ".v00" to ".v29"
constexpr unsigned kVolumeKeysReleased = 100;  // ".v00" to ".v99": release sweeps wider than setup claims

constexpr const wchar_t* kAceExtension = L".ace";  // no archive type of ours, but released when it names us
// The program's own key, for reaching the registry while a settings file serves the relative one.
constexpr const wchar_t* kRegistryProgramKey = L"\\Software\\Ovenix\\";

// The values of a saved previous owner, in the order they are written.
constexpr const wchar_t* kSavedStateValues[] = {kSavedExistValue, kSavedTypeValue, kShellNewStateValue};
constexpr size_t kSavedStateValueCount = sizeof(kSavedStateValues) / sizeof(kSavedStateValues[0]);

bool IsExistValue(const wchar_t* name) { return std::wcscmp(name, kSavedExistValue) == 0; }

// Calls action(extension) for every extension the archiver may have saved a previous owner for:
// every extension of every archive type, and ".ace".
template <typename Action>
void ForEachKnownExtension(Action action) {
  for (const ArchiveType& type : ArchiveTypes) {
    const wchar_t* cursor = type.extensionGroup;
    wchar_t extension[kExtensionCapacity];
    while (NextGroupExtension(&cursor, extension, kExtensionCapacity)) action(extension);
  }
  action(kAceExtension);
}

struct ProgIdRow {
  const wchar_t* progId;
  UINT typeNameId;
  const wchar_t* iconIndex;  // ",0" archive icon, ",1" recovery-volume icon
};

void JoinKey(const wchar_t* first, const wchar_t* second, wchar_t* key, size_t capacity) {
  CopyBounded(key, first, capacity);
  AppendBounded(key, second, capacity);
}

bool NamesArchiverProgId(const wchar_t* type) {
  return NamesEqual(type, kArchiveProgId) || NamesEqual(type, kZipProgId);
}

// An old-style volume key (".v%02u") with its current default value, when that is a string the
// archiver could write back exactly; any other value (another type, too long) is another
// program's.
struct VolumeKey {
  wchar_t name[16];
  wchar_t type[kPathCapacity];
  ExactString state;
  explicit VolumeKey(unsigned number) {
    FormatBounded(name, 16, L".v%02u", number);
    state = ReadExactSettingString(HKEY_CLASSES_ROOT, name, L"", type, kPathCapacity);
  }
  bool NamesArchiver() const { return state == ExactString::Read && NamesArchiverProgId(type); }
  bool Unclaimed() const { return state == ExactString::Missing || (state == ExactString::Read && type[0] == L'\0'); }
};

// Old-style volume keys are claimed only where nobody has given them a type (or the archiver
// already has them): nothing of them is saved, so nothing of another program could come back.
void ClaimVolumeKeys() {
  for (unsigned number = 0; number < kVolumeKeysClaimed; ++number) {
    const VolumeKey volume(number);
    if (volume.Unclaimed() || volume.NamesArchiver()) {
      (void)WriteSettingString(HKEY_CLASSES_ROOT, volume.name, L"", kArchiveProgId);
    } else {
      LogLine("association %s: left to its owner: it has a type of another program", volume.name);
    }
  }
}

// A volume key that still names the archiver had no type before it was claimed: its default value
// goes, and the key with it unless another program has put something into it since.
void ReleaseVolumeKeys() {
  for (unsigned number = 0; number < kVolumeKeysReleased; ++number) {
    const VolumeKey volume(number);
    if (!volume.NamesArchiver()) continue;
    DeleteSettingValue(HKEY_CLASSES_ROOT, volume.name, L"");
    if (ClassesKeyIsEmpty(volume.name)) DeleteSettingKey(HKEY_CLASSES_ROOT, volume.name);
  }
}

// Saves the previous owner of ext under "Setup\<ext>" ("Exist", "Type", "ShellNew", in this order)
// and returns true, or returns false, having saved nothing, when that owner could not be given back
// exactly: its default value is not a string the stored form holds bit for bit (another type, a
// NUL inside, 512 characters or more), or the store refused it (a settings file cannot hold a line
// break). The extension is then left to its owner. A "New" menu entry that cannot be given back
// exactly is not saved ("ShellNew" stays missing) and is never touched (MayChangeShellNew).
bool SavePreviousOwner(const wchar_t* ext, const wchar_t* stateKey) {
  wchar_t previousType[kSavedTypeCapacity];
  if (ReadExactSettingString(HKEY_CLASSES_ROOT, ext, L"", previousType, kSavedTypeCapacity) == ExactString::NotExact) {
    LogLine("association %s: left to its owner: its type is not a string the saved state gives back exactly "
            "(another type, a NUL inside, or 512 characters or more)",
            ext);
    return false;
  }
  wchar_t previousShellNew[kShellNewStateCapacity];
  const bool shellNewExact = SaveShellNewState(ext, previousShellNew, kShellNewStateCapacity);
  const bool existed = SettingKeyExists(HKEY_CLASSES_ROOT, ext);
  const bool saved = WriteUserNumber(stateKey, kSavedExistValue, existed ? 1 : 0) == 0 &&
                     WriteUserString(stateKey, kSavedTypeValue, previousType) == 0;
  if (!saved) {
    DeleteSettingValue(HKEY_CURRENT_USER, stateKey, kSavedExistValue);
    DeleteSettingValue(HKEY_CURRENT_USER, stateKey, kSavedTypeValue);
    LogLine("association %s: left to its owner: the settings cannot hold its type \"%s\"", ext, previousType);
  }
  // Written last, and only when exact; a value of an earlier save must not stand for this one.
  const bool shellNewSaved =
      saved && shellNewExact && WriteUserString(stateKey, kShellNewStateValue, previousShellNew) == 0;
  if (!shellNewSaved) DeleteSettingValue(HKEY_CURRENT_USER, stateKey, kShellNewStateValue);
  if (saved) {
    LogLine("association %s: taken over; previous owner saved: the key %s, type \"%s\"", ext,
            existed ? L"existed" : L"did not exist", previousType);
    if (shellNewSaved) {
      if (previousShellNew[0] != L'\0') LogLine("New menu entry of %s: saved as \"%s\"", ext, previousShellNew);
    } else {
      LogLine("New menu entry of %s: left to its owner, it is not a single FileName or an empty NullFile", ext);
    }
  }
  return saved;
}

DWORD WriteTypeName(const ProgIdRow& row) {
  return WriteSettingString(HKEY_CLASSES_ROOT, row.progId, L"", LocalizedString(row.typeNameId));
}

// The open command, and the icon unless one is already set (a theme or the user may have chosen
// another).
void WriteCommandAndIcon(const ProgIdRow& row, const wchar_t* command, const wchar_t* executable) {
  wchar_t key[kKeyCapacity];
  JoinKey(row.progId, L"\\shell\\open\\command", key, kKeyCapacity);
  (void)WriteSettingString(HKEY_CLASSES_ROOT, key, L"", command);

  JoinKey(row.progId, L"\\DefaultIcon", key, kKeyCapacity);
  wchar_t icon[kPathCapacity];
  const ExactString current = ReadExactSettingString(HKEY_CLASSES_ROOT, key, L"", icon, kPathCapacity);
  if (current == ExactString::Missing || (current == ExactString::Read && icon[0] == L'\0')) {
    wchar_t location[kPathCapacity + 4];
    JoinKey(executable, row.iconIndex, location, kPathCapacity + 4);
    (void)WriteSettingString(HKEY_CLASSES_ROOT, key, L"", location);
  }
}

}  // namespace

bool RegisterProgIds() {
  wchar_t executable[kPathCapacity];
  ModulePath(nullptr, executable, kPathCapacity);  // empty: the bare name, relative to the current folder
  ReplaceFileName(executable, kArchiverExe, kPathCapacity);

  wchar_t command[kCommandCapacity];
  CopyBounded(command, L"\"", kCommandCapacity);
  AppendBounded(command, executable, kCommandCapacity);
  AppendBounded(command, L"\" \"%1\"", kCommandCapacity);

  const ProgIdRow archive = {kArchiveProgId, IDS_OVENIXARC, L",0"};
  const ProgIdRow zip = {kZipProgId, IDS_OVENIXZIPARC, L",0"};
  const ProgIdRow recovery = {kRecoveryProgId, IDS_VOKRECVOL, L",1"};

  // Without write access to the classes nothing at all is written, and the caller stops.
  if (WriteTypeName(archive) == ERROR_ACCESS_DENIED) return false;
  WriteCommandAndIcon(archive, command, executable);
  (void)WriteTypeName(zip);
  WriteCommandAndIcon(zip, command, executable);
  (void)WriteSettingString(HKEY_CLASSES_ROOT, kRecoveryExtension, L"", kRecoveryProgId);
  (void)WriteTypeName(recovery);
  WriteCommandAndIcon(recovery, command, executable);

  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
  return true;
}

void AssociateExtension(const wchar_t* ext, bool associate, bool shellExt, bool isVok, bool isZip) {
  // An empty name would address HKEY_CLASSES_ROOT itself.
  if (ext == nullptr || ext[0] == L'\0') return;

  const bool wantShellNew = PrepareShellNew(shellExt, isVok, isZip);
  wchar_t stateKey[kKeyCapacity];
  ExtensionStateKey(ext, stateKey, kKeyCapacity);

  if (associate) {
    // Saved only while another program (or nobody) owns the extension, so running setup again
    // never replaces the previous owner by the archiver itself. With registry access off the
    // classes cannot be read at all: the state saved by an earlier run is kept as it is.
    if (IsIntegrationAllowed() && !IsOwnedAssociation(ext) && !SavePreviousOwner(ext, stateKey)) return;
    (void)WriteSettingString(HKEY_CLASSES_ROOT, ext, L"", isZip ? kZipProgId : kArchiveProgId);
    if (isVok) ClaimVolumeKeys();
    if (wantShellNew && (isVok || isZip)) CreateShellNewEntry(ext, isVok);
  }

  // Whatever another program owns now is its business, even if the archiver had it once.
  if (!IsOwnedAssociation(ext)) {
    if (!associate && SettingValueExists(HKEY_CURRENT_USER, stateKey, kSavedTypeValue))
      LogLine("association %s: left to the program that has claimed it since", ext);
    return;
  }
  if (associate && wantShellNew) return;

  const bool existed = ReadUserNumber(stateKey, kSavedExistValue, 1) != 0;
  // The type goes back last: until then the extension is still the archiver's, so that an
  // uninstall interrupted on the way finds it again and finishes the release. Without the previous
  // owner's key, the ShellNew subkey goes here too (RegDeleteKeyW refuses a key with subkeys).
  if (isVok || isZip) RestoreShellNewEntry(ext, existed, isVok);
  if (!associate) {
    if (isVok) ReleaseVolumeKeys();
    wchar_t type[kSavedTypeCapacity];
    (void)ReadUserString(stateKey, kSavedTypeValue, type, L"", kSavedTypeCapacity);
    if (NamesArchiverProgId(type)) type[0] = L'\0';

    if (existed) {
      LogLine("association %s: given back: type \"%s\"", ext, type);
      (void)WriteSettingString(HKEY_CLASSES_ROOT, ext, L"", type);
    } else {
      LogLine("association %s: given back: the key goes, it did not exist before", ext);
      DeleteSettingKey(HKEY_CLASSES_ROOT, ext);
      // A key that another program has put a subkey into stays, without the archiver's type.
      if (SettingKeyExists(HKEY_CLASSES_ROOT, ext)) (void)WriteSettingString(HKEY_CLASSES_ROOT, ext, L"", L"");
    }
  }
}

void AssociateArchiveTypes(const IntegrationSettings& settings) {
  for (const ArchiveType& type : ArchiveTypes) {
    const wchar_t* cursor = type.extensionGroup;
    wchar_t extension[kExtensionCapacity];
    while (NextGroupExtension(&cursor, extension, kExtensionCapacity)) {
      AssociateExtension(extension, settings.Associate[type.index] != 0, settings.ShellExt != 0,
                         type.index == kVokTypeIndex, type.index == kZipTypeIndex);
    }
  }
}

void ReleaseAceExtension() {
  AssociateExtension(kAceExtension, /*associate=*/false, /*shellExt=*/false, /*isVok=*/false, /*isZip=*/false);
}

void MoveSavedOwnersIntoSettingsFile() {
  if (!IniHandles(HKEY_CURRENT_USER, L"")) return;  // the registry is the store: nothing to move
  ForEachKnownExtension([](const wchar_t* ext) {
    if (!IsOwnedAssociation(ext)) return;  // nothing of it is ours to give back any more
    wchar_t fileKey[kKeyCapacity];
    ExtensionStateKey(ext, fileKey, kKeyCapacity);
    for (const wchar_t* name : kSavedStateValues)
      if (SettingValueExists(HKEY_CURRENT_USER, fileKey, name)) return;  // the file keeps its own
    wchar_t registryKey[kKeyCapacity];
    JoinKey(kRegistryProgramKey, fileKey, registryKey, kKeyCapacity);

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
    DWORD subkeys = 0;
    DWORD values = 0;
    if (written && CountSettingKeyContents(HKEY_CURRENT_USER, registryKey, &subkeys, &values) == ERROR_SUCCESS &&
        subkeys == 0 && values == 0) {
      DeleteSettingKey(HKEY_CURRENT_USER, registryKey);
    }
  });
}

void DeleteUserSettingsKeepingSavedOwners() {
  // Each saved value as three strings: its key, its name and its text ("Exist" in decimal digits).
  PackedStringList kept;
  ForEachKnownExtension([&kept](const wchar_t* ext) {
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
