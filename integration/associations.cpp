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

// Whether a class key's type names the archiver: "Ovenix.REV" for recovery volumes, "Ovenix" or
// "Ovenix.ZIP" for every other extension.
bool TypeNamesArchiver(const wchar_t* ext, const wchar_t* type) {
  return NamesEqual(ext, kRecoveryExtension) ? NamesEqual(type, kRecoveryProgId) : NamesArchiverProgId(type);
}

// An old-style volume key (".v%02u") with its current default value, when that is a string the
// archiver could write back exactly; any other value (another type, too long) is another
// program's.
struct VolumeKey {
  wchar_t name[16];
  SettingKey key;
  wchar_t type[kSavedTypeCapacity];
  ExactString state;
  explicit VolumeKey(unsigned number) : name(), key(HKEY_CLASSES_ROOT, VolumeName(number, name)) {
    state = key.ReadExactString(L"", type, kSavedTypeCapacity);
  }
  static const wchar_t* VolumeName(unsigned number, wchar_t (&name)[16]) {
    FormatBounded(name, 16, L".v%02u", number);
    return name;
  }
  bool NamesArchiver() const { return state == ExactString::Read && NamesArchiverProgId(type); }
  bool Unclaimed() const { return state == ExactString::Missing || (state == ExactString::Read && type[0] == L'\0'); }
};

// Old-style volume keys are claimed only where nobody has given them a type (or the archiver
// already has them): nothing of them is saved, so nothing of another program could come back.
void ClaimVolumeKeys() {
  for (unsigned number = 0; number < kVolumeKeysClaimed; ++number) {
    VolumeKey volume(number);
    if (volume.Unclaimed() || volume.NamesArchiver()) {
      (void)volume.key.WriteString(L"", kArchiveProgId);
    } else {
      LogLine("association %s: left to its owner: it has a type of another program", volume.name);
    }
  }
}

// A volume key that still names the archiver had no type before it was claimed: its default value
// goes, and the key with it unless another program has put something into it since.
void ReleaseVolumeKeys() {
  for (unsigned number = 0; number < kVolumeKeysReleased; ++number) {
    VolumeKey volume(number);
    if (!volume.NamesArchiver()) continue;
    volume.key.DeleteValue(L"");
    volume.key.DeleteIfEmpty();
  }
}

// One extension and the ProgID the archiver points it at.
struct Claim {
  const wchar_t* ext;
  const wchar_t* progId;
  bool isVok;  // carries the volume keys and a "New" entry
  bool isZip;  // carries a "New" entry
};

// The keys one extension's association lives in, each opened once for everything done with it,
// and what its class key held when the work began.
struct ExtensionKeys {
  explicit ExtensionKeys(const Claim& claim)
      : classKey(HKEY_CLASSES_ROOT, claim.ext), openWith(HKEY_CLASSES_ROOT, claim.ext, L"OpenWithProgids"),
        owner(claim.ext) {
    typeState = classKey.ReadExactString(L"", type, kSavedTypeCapacity);
  }
  bool NamesArchiver(const Claim& claim) const {
    return typeState == ExactString::Read && TypeNamesArchiver(claim.ext, type);
  }

  SettingKey classKey;  // HKCR\<ext>
  // HKCR\<ext>\OpenWithProgids: Windows offers every ProgID named there in "Open with" and on the
  // Default apps page, whoever is the extension's default.
  SettingKey openWith;
  OwnerKeys owner;      // its saved previous owner
  wchar_t type[kSavedTypeCapacity];
  ExactString typeState;
};

// Takes the extension over from its previous owner: saves that owner (in its owner record and in
// the settings) into `owner` and returns true, or returns false, having saved nothing, when the
// owner could not be given back exactly: its default value is not a string the saved state holds
// bit for bit (another type, a NUL inside, 512 characters or more), or the record or the settings
// refused it (a settings file cannot hold a line break). The extension is then left to its owner.
// A "New" menu entry that cannot be given back exactly is not saved ("ShellNew" stays missing) and
// is never touched (MayChangeShellNew).
bool SaveOwnerBeforeTakeover(ExtensionKeys& keys, PreviousOwner& owner) {
  const wchar_t* ext = keys.owner.ext;
  if (keys.typeState == ExactString::NotExact) {
    LogLine("association %s: left to its owner: its type is not a string the saved state gives back exactly "
            "(another type, a NUL inside, or 512 characters or more)",
            ext);
    return false;
  }
  CopyBounded(owner.type, keys.type, kSavedTypeCapacity);
  owner.shellNewSaved = SaveShellNewState(ext, owner.shellNew, kShellNewStateCapacity);
  owner.existed = keys.classKey.Exists();
  if (!SavePreviousOwner(keys.owner, owner)) return false;
  if (!owner.shellNewSaved) {
    LogLine("New menu entry of %s: left to its owner, it is not a single FileName or an empty NullFile", ext);
  } else if (owner.shellNew[0] != L'\0') {
    LogLine("New menu entry of %s: saved as \"%s\"", ext, owner.shellNew);
  }
  return true;
}

// Gives the type of the extension back to its previous owner.
void GiveBackType(ExtensionKeys& keys, const PreviousOwner& owner, OwnerSource source) {
  const wchar_t* ext = keys.owner.ext;
  const wchar_t* from = source == OwnerSource::Record ? L"its owner record" : L"the settings";
  if (source == OwnerSource::Unknown) {
    LogLine("association %s: its previous owner is not known (no owner record, nothing in the settings): "
            "the archiver's type goes",
            ext);
  }
  const wchar_t* type = NamesArchiverProgId(owner.type) ? L"" : owner.type;
  if (owner.existed) {
    if (source != OwnerSource::Unknown) LogLine("association %s: given back from %s: type \"%s\"", ext, from, type);
    (void)keys.classKey.WriteString(L"", type);
    return;
  }
  LogLine("association %s: given back from %s: the key goes, it did not exist before", ext, from);
  // Whatever another program has put into the key since (a value, a subkey) keeps it, without the
  // archiver's type.
  keys.classKey.DeleteValue(L"");
  keys.classKey.DeleteIfEmpty();
}

// Being offered is not taking over, so this is done for an extension left to its owner too. The
// key goes again only where setup created it.
void OfferInOpenWith(ExtensionKeys& keys, const Claim& claim) {
  if (keys.openWith.WriteEmptyValue(claim.progId) == ERROR_SUCCESS && keys.openWith.CreatedByWrite())
    NoteOpenWithKeyCreated(keys.owner);
}

// Every other program's value stays, and with it the key. The owner record that knows whether
// setup made the key goes right after (ForgetPreviousOwner).
void WithdrawFromOpenWith(ExtensionKeys& keys, const Claim& claim) {
  if (!keys.openWith.Exists()) return;
  keys.openWith.DeleteValue(claim.progId);
  if (OpenWithKeyWasCreated(keys.owner)) keys.openWith.DeleteIfEmpty();
}

void Associate(ExtensionKeys& keys, const Claim& claim, bool wantShellNew) {
  const wchar_t* ext = claim.ext;
  // Saved only while another program (or nobody) owns the extension, so running setup again never
  // replaces the previous owner by the archiver itself.
  PreviousOwner owner;
  if (!keys.NamesArchiver(claim)) {
    if (!SaveOwnerBeforeTakeover(keys, owner)) {
      OfferInOpenWith(keys, claim);
      return;
    }
  } else if (ReadPreviousOwner(keys.owner, owner) == OwnerSource::Settings) {
    RecordPreviousOwner(keys.owner, owner);  // saved by an earlier version, in the settings only
  }
  (void)keys.classKey.WriteString(L"", claim.progId);
  OfferInOpenWith(keys, claim);
  if (claim.isVok) ClaimVolumeKeys();
  if (!claim.isVok && !claim.isZip) return;
  if (wantShellNew) {
    CreateShellNewEntry(ext, claim.isVok, owner.shellNewSaved);
  } else {
    RestoreShellNewEntry(ext, owner.existed, claim.isVok, owner.shellNewSaved ? owner.shellNew : nullptr);
  }
}

void Release(ExtensionKeys& keys, const Claim& claim) {
  PreviousOwner owner;
  const OwnerSource source = ReadPreviousOwner(keys.owner, owner, claim.isVok || claim.isZip);
  // Whatever another program owns now is its business, even if the archiver had it once; the
  // owner saved for it is of no use any more.
  if (!keys.NamesArchiver(claim)) {
    WithdrawFromOpenWith(keys, claim);
    if (source != OwnerSource::Unknown) LogLine("association %s: left to the program that has claimed it since", claim.ext);
    ForgetPreviousOwner(keys.owner);
    return;
  }
  // Without the previous owner's key, the ShellNew subkey goes here too (RegDeleteKeyW refuses a
  // key with subkeys).
  if (claim.isVok || claim.isZip)
    RestoreShellNewEntry(claim.ext, owner.existed, claim.isVok, owner.shellNewSaved ? owner.shellNew : nullptr);
  if (claim.isVok) ReleaseVolumeKeys();
  // Before the type: an OpenWithProgids key setup created keeps the extension's key otherwise.
  WithdrawFromOpenWith(keys, claim);
  // The type goes back last: until then the extension is still the archiver's, so that an
  // uninstall interrupted on the way finds it again and finishes the release.
  GiveBackType(keys, owner, source);
  ForgetPreviousOwner(keys.owner);
}

// Associates (associate true) or releases one extension; see AssociateExtension. With registry
// access off the classes cannot even be read: everything stays as it is, the owners saved by an
// earlier run included.
void AssociateOrRelease(const Claim& claim, bool associate, bool wantShellNew) {
  if (!IsIntegrationAllowed()) {
    LogLine("association %s: left as it is (registry access is off in the settings file)", claim.ext);
    return;
  }
  ExtensionKeys keys(claim);
  if (associate) {
    Associate(keys, claim, wantShellNew);
  } else {
    Release(keys, claim);
  }
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
  ForEachArchiveExtension([&settings](const ArchiveType& type, const wchar_t* extension) {
    AssociateExtension(extension, settings.Associate[type.index] != 0, settings.ShellExt != 0,
                       type.index == kVokTypeIndex, type.index == kZipTypeIndex);
  });
  // Once for all extensions rather than after each: the keys above the owner records.
  if (IsIntegrationAllowed()) DeleteEmptyOwnerKeys();
}

void ReleaseAceExtension() {
  AssociateExtension(kAceExtension, /*associate=*/false, /*shellExt=*/false, /*isVok=*/false, /*isZip=*/false);
}

bool ArchiverOwnsExtension(const wchar_t* ext) {
  if (ext == nullptr || ext[0] == L'\0') return false;  // an empty name would address HKCR itself
  wchar_t type[kSavedTypeCapacity];
  (void)ReadSettingString(HKEY_CLASSES_ROOT, ext, L"", type, L"", kSavedTypeCapacity);
  return TypeNamesArchiver(ext, type);
}

void ReleaseRecoveryExtension() {
  AssociateOrRelease({kRecoveryExtension, kRecoveryProgId, false, false}, /*associate=*/false, /*wantShellNew=*/false);
}
