#include "integration/associations.h"

#include <windows.h>
#include <shlobj.h>

#include <cwchar>

#include "base/bounded_text.h"
#include "base/paths.h"
#include "base/run_log.h"
#include "integration/previous_owner.h"
#include "integration/shell_new.h"
#include "localization/localized_strings.h"
#include "resources/resource_ids.h"
#include "settings/registry.h"

namespace {

constexpr size_t kCommandCapacity = kPathCapacity + 16;
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

// Takes ext over from its previous owner: saves that owner (in its owner record and in the
// settings) and returns true, or returns false, having saved nothing, when the owner could not be
// given back exactly: its default value is not a string the saved state holds bit for bit
// (another type, a NUL inside, 512 characters or more), or the record or the settings refused it
// (a settings file cannot hold a line break). The extension is then left to its owner. A "New"
// menu entry that cannot be given back exactly is not saved ("ShellNew" stays missing) and is
// never touched (MayChangeShellNew).
bool SaveOwnerBeforeTakeover(const wchar_t* ext) {
  PreviousOwner owner;
  if (ReadExactSettingString(HKEY_CLASSES_ROOT, ext, L"", owner.type, kSavedTypeCapacity) == ExactString::NotExact) {
    LogLine("association %s: left to its owner: its type is not a string the saved state gives back exactly "
            "(another type, a NUL inside, or 512 characters or more)",
            ext);
    return false;
  }
  owner.shellNewSaved = SaveShellNewState(ext, owner.shellNew, kShellNewStateCapacity);
  owner.existed = SettingKeyExists(HKEY_CLASSES_ROOT, ext);
  if (!SavePreviousOwner(ext, owner)) return false;
  if (!owner.shellNewSaved) {
    LogLine("New menu entry of %s: left to its owner, it is not a single FileName or an empty NullFile", ext);
  } else if (owner.shellNew[0] != L'\0') {
    LogLine("New menu entry of %s: saved as \"%s\"", ext, owner.shellNew);
  }
  return true;
}

// Gives the type of ext back to its previous owner.
void GiveBackType(const wchar_t* ext, const PreviousOwner& owner, OwnerSource source) {
  const wchar_t* from = source == OwnerSource::Record ? L"its owner record" : L"the settings";
  if (source == OwnerSource::Unknown) {
    LogLine("association %s: its previous owner is not known (no owner record, nothing in the settings): "
            "the archiver's type goes",
            ext);
  }
  const wchar_t* type = NamesArchiverProgId(owner.type) ? L"" : owner.type;
  if (owner.existed) {
    if (source != OwnerSource::Unknown) LogLine("association %s: given back from %s: type \"%s\"", ext, from, type);
    (void)WriteSettingString(HKEY_CLASSES_ROOT, ext, L"", type);
    return;
  }
  LogLine("association %s: given back from %s: the key goes, it did not exist before", ext, from);
  // Whatever another program has put into the key since (a value, a subkey) keeps it, without the
  // archiver's type.
  DeleteSettingValue(HKEY_CLASSES_ROOT, ext, L"");
  if (ClassesKeyIsEmpty(ext)) DeleteSettingKey(HKEY_CLASSES_ROOT, ext);
}

// One extension and the ProgID the archiver points it at.
struct Claim {
  const wchar_t* ext;
  const wchar_t* progId;
  bool isVok;  // carries the volume keys and a "New" entry
  bool isZip;  // carries a "New" entry
};

// Windows offers every ProgID named in "<ext>\OpenWithProgids" in "Open with" and on the Default
// apps page, whoever is the extension's default: being offered is not taking over, so it is done
// for an extension left to its owner too. The key goes again only where setup created it.
void OpenWithKey(const wchar_t* ext, wchar_t* key, size_t capacity) {
  JoinKey(ext, L"\\OpenWithProgids", key, capacity);
}

void OfferInOpenWith(const Claim& claim) {
  if (!IsIntegrationAllowed()) return;
  wchar_t key[kKeyCapacity];
  OpenWithKey(claim.ext, key, kKeyCapacity);
  const bool created = !SettingKeyExists(HKEY_CLASSES_ROOT, key);
  if (WriteSettingEmptyValue(HKEY_CLASSES_ROOT, key, claim.progId) == ERROR_SUCCESS && created)
    NoteOpenWithKeyCreated(claim.ext);
}

// Every other program's value stays, and with it the key.
void WithdrawFromOpenWith(const Claim& claim) {
  if (!IsIntegrationAllowed()) return;
  wchar_t key[kKeyCapacity];
  OpenWithKey(claim.ext, key, kKeyCapacity);
  DeleteSettingValue(HKEY_CLASSES_ROOT, key, claim.progId);
  if (ForgetOpenWithKeyCreated(claim.ext) && ClassesKeyIsEmpty(key)) DeleteSettingKey(HKEY_CLASSES_ROOT, key);
}

// Associates (associate true) or releases one extension; see AssociateExtension.
void AssociateOrRelease(const Claim& claim, bool associate, bool wantShellNew) {
  const wchar_t* ext = claim.ext;
  const bool hasShellNew = claim.isVok || claim.isZip;
  if (associate) {
    // Saved only while another program (or nobody) owns the extension, so running setup again
    // never replaces the previous owner by the archiver itself. With registry access off the
    // classes cannot be read at all: the state saved by an earlier run is kept as it is.
    if (IsIntegrationAllowed()) {
      if (!ArchiverOwnsExtension(ext)) {
        if (!SaveOwnerBeforeTakeover(ext)) {
          OfferInOpenWith(claim);
          return;
        }
      } else {
        RecordPreviousOwnerFromSettings(ext);  // saved by an earlier version, in the settings only
      }
    }
    (void)WriteSettingString(HKEY_CLASSES_ROOT, ext, L"", claim.progId);
    OfferInOpenWith(claim);
    if (claim.isVok) ClaimVolumeKeys();
    if (wantShellNew && hasShellNew) {
      PreviousOwner owner;
      (void)ReadPreviousOwner(ext, owner);
      CreateShellNewEntry(ext, claim.isVok, owner.shellNewSaved);
      return;
    }
  }

  // Whatever another program owns now is its business, even if the archiver had it once; the
  // owner saved for it is of no use any more. With registry access off nothing was found at all.
  if (!ArchiverOwnsExtension(ext)) {
    if (associate || !IsIntegrationAllowed()) return;
    WithdrawFromOpenWith(claim);
    PreviousOwner stale;
    if (ReadPreviousOwner(ext, stale) == OwnerSource::Unknown) return;
    LogLine("association %s: left to the program that has claimed it since", ext);
    ForgetPreviousOwner(ext);
    return;
  }

  PreviousOwner owner;
  const OwnerSource source = ReadPreviousOwner(ext, owner);
  // Without the previous owner's key, the ShellNew subkey goes here too (RegDeleteKeyW refuses a
  // key with subkeys).
  if (hasShellNew) RestoreShellNewEntry(ext, owner.existed, claim.isVok, owner.shellNewSaved ? owner.shellNew : nullptr);
  if (associate) return;
  if (claim.isVok) ReleaseVolumeKeys();
  // Before the type: an OpenWithProgids key setup created keeps the extension's key otherwise.
  WithdrawFromOpenWith(claim);
  // The type goes back last: until then the extension is still the archiver's, so that an
  // uninstall interrupted on the way finds it again and finishes the release.
  GiveBackType(ext, owner, source);
  ForgetPreviousOwner(ext);
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
  // Recovery volumes are associated whatever the selection, their previous owner saved like any other.
  AssociateOrRelease({kRecoveryExtension, kRecoveryProgId, false, false}, /*associate=*/true, /*wantShellNew=*/false);
  (void)WriteTypeName(recovery);
  WriteCommandAndIcon(recovery, command, executable);

  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
  return true;
}

void AssociateExtension(const wchar_t* ext, bool associate, bool shellExt, bool isVok, bool isZip) {
  // An empty name would address HKEY_CLASSES_ROOT itself.
  if (ext == nullptr || ext[0] == L'\0') return;
  const bool wantShellNew = PrepareShellNew(shellExt, isVok, isZip);
  AssociateOrRelease({ext, isZip ? kZipProgId : kArchiveProgId, isVok, isZip}, associate, wantShellNew);
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

bool ArchiverOwnsExtension(const wchar_t* ext) {
  if (ext == nullptr || !NamesEqual(ext, kRecoveryExtension)) return IsOwnedAssociation(ext);
  wchar_t type[kSavedTypeCapacity];
  (void)ReadSettingString(HKEY_CLASSES_ROOT, ext, L"", type, L"", kSavedTypeCapacity);
  return NamesEqual(type, kRecoveryProgId);
}

void ReleaseRecoveryExtension() {
  AssociateOrRelease({kRecoveryExtension, kRecoveryProgId, false, false}, /*associate=*/false, /*wantShellNew=*/false);
}
