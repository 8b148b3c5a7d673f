#include "integration/associations.h"

#include <windows.h>
#include <shlobj.h>

#include <cwchar>

#include "base/bounded_text.h"
#include "base/paths.h"
#include "integration/shell_new.h"
#include "localization/localized_strings.h"
#include "resources/resource_ids.h"
#include "settings/registry.h"

namespace {

constexpr size_t kCommandCapacity = kPathCapacity + 16;
constexpr size_t kSavedTypeCapacity = 512;
constexpr size_t kKeyCapacity = 128;
constexpr unsigned kVolumeKeysClaimed = 30;    // ".v00" to ".v29"
constexpr unsigned kVolumeKeysReleased = 100;  // ".v00" to ".v99": release sweeps wider than setup claims

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

// An old-style volume key (".v%02u") with its current default value: empty when there is none
// (and for one too long for the buffer, which is no type name).
struct VolumeKey {
  wchar_t name[16];
  wchar_t type[kPathCapacity];
  explicit VolumeKey(unsigned number) {
    std::swprintf(name, 16, L".v%02u", number);
    (void)ReadSettingString(HKEY_CLASSES_ROOT, name, L"", type, L"", kPathCapacity);
  }
};

// Old-style volume keys are claimed only where nobody has given them a type (or the archiver
// already has them): nothing of them is saved, so nothing of another program could come back.
void ClaimVolumeKeys() {
  for (unsigned number = 0; number < kVolumeKeysClaimed; ++number) {
    const VolumeKey volume(number);
    if (volume.type[0] == L'\0' || NamesArchiverProgId(volume.type))
      (void)WriteSettingString(HKEY_CLASSES_ROOT, volume.name, L"", kArchiveProgId);
  }
}

// A volume key that still names the archiver had no type before it was claimed: its default value
// goes, and the key with it unless another program has put something into it since.
void ReleaseVolumeKeys() {
  for (unsigned number = 0; number < kVolumeKeysReleased; ++number) {
    const VolumeKey volume(number);
    if (!NamesArchiverProgId(volume.type)) continue;
    DeleteSettingValue(HKEY_CLASSES_ROOT, volume.name, L"");
    if (ClassesKeyIsEmpty(volume.name)) DeleteSettingKey(HKEY_CLASSES_ROOT, volume.name);
  }
}

// Saves the previous owner of ext under "Setup\<ext>" ("Exist", "Type", "ShellNew", in this order).
// False when the store refused any of them (a settings file cannot hold a line break, say): the
// owner could not be given back, so the values written are taken away again.
bool SavePreviousOwner(const wchar_t* ext, const wchar_t* stateKey) {
  wchar_t previousType[kSavedTypeCapacity];
  (void)ReadSettingString(HKEY_CLASSES_ROOT, ext, L"", previousType, L"", kSavedTypeCapacity);
  wchar_t previousShellNew[kShellNewStateCapacity];
  SaveShellNewState(ext, previousShellNew, kShellNewStateCapacity);
  const bool saved = WriteUserNumber(stateKey, L"Exist", SettingKeyExists(HKEY_CLASSES_ROOT, ext) ? 1 : 0) == 0 &&
                     WriteUserString(stateKey, L"Type", previousType) == 0 &&
                     WriteUserString(stateKey, L"ShellNew", previousShellNew) == 0;
  if (!saved) {
    DeleteSettingValue(HKEY_CURRENT_USER, stateKey, L"Exist");
    DeleteSettingValue(HKEY_CURRENT_USER, stateKey, L"Type");
    DeleteSettingValue(HKEY_CURRENT_USER, stateKey, L"ShellNew");
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
  (void)ReadSettingString(HKEY_CLASSES_ROOT, key, L"", icon, L"", kPathCapacity);
  if (icon[0] == L'\0') {
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
  if (!IsOwnedAssociation(ext)) return;
  if (associate && wantShellNew) return;

  const bool existed = ReadUserNumber(stateKey, L"Exist", 1) != 0;
  if (!associate) {
    wchar_t type[kSavedTypeCapacity];
    (void)ReadUserString(stateKey, L"Type", type, L"", kSavedTypeCapacity);
    if (NamesArchiverProgId(type)) type[0] = L'\0';

    if (existed) {
      (void)WriteSettingString(HKEY_CLASSES_ROOT, ext, L"", type);
    } else {
      // RegDeleteKeyW refuses a key with subkeys: the archiver's own ShellNew subkey has to go
      // first, or the extension key it made survives uninstall as an empty key.
      if (isVok || isZip) {
        wchar_t shellNewKey[kKeyCapacity];
        JoinKey(ext, L"\\ShellNew", shellNewKey, kKeyCapacity);
        DeleteSettingKey(HKEY_CLASSES_ROOT, shellNewKey);
      }
      (void)WriteSettingString(HKEY_CLASSES_ROOT, ext, L"", L"");
      DeleteSettingKey(HKEY_CLASSES_ROOT, ext);
    }
    if (isVok) ReleaseVolumeKeys();
  }
  if (isVok || isZip) RestoreShellNewEntry(ext, existed);
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
  AssociateExtension(L".ace", /*associate=*/false, /*shellExt=*/false, /*isVok=*/false, /*isZip=*/false);
}
