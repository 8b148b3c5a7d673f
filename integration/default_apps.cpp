#include "integration/default_apps.h"

#include "base/bounded_text.h"
#include "base/paths.h"
#include "base/system.h"
#include "integration/app_registration.h"
#include "integration/integration_settings.h"
#include "settings/registry.h"

namespace {

constexpr wchar_t kFileAssociationsKey[] = L"\\Software\\Ovenix\\Capabilities\\FileAssociations";
constexpr wchar_t kSupportedTypesKey[] = L"Applications\\Ovenix.exe\\SupportedTypes";
constexpr wchar_t kApplicationsKey[] = L"Applications";
constexpr wchar_t kProgramKey[] = L"\\Software\\Ovenix";
constexpr size_t kIconCapacity = kPathCapacity + 4;

// The roots a registration may live under, in the order they are tried: machine-wide, then, where
// the machine's keys are refused, for the running user alone.
const HKEY kRegistrationRoots[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};

// Default programs (RegisteredApplications and capabilities) came with Windows 6.0.
bool HasDefaultPrograms() { return WindowsVersion() >= 0x600; }

// Calls action(extension, progId) for every extension of every archive type, in table order.
template <typename Action>
void ForEachArchiveExtension(Action action) {
  for (const ArchiveType& type : ArchiveTypes) {
    const wchar_t* progId = type.index == kZipTypeIndex ? kZipProgId : kArchiveProgId;
    const wchar_t* cursor = type.extensionGroup;
    wchar_t extension[kExtensionCapacity];
    while (NextGroupExtension(&cursor, extension, kExtensionCapacity)) action(extension, progId);
  }
}

void WriteApplicationEntry() {
  (void)WriteSettingString(HKEY_CLASSES_ROOT, kApplicationKey, L"FriendlyAppName", kArchiverName);
  ForEachArchiveExtension([](const wchar_t* extension, const wchar_t*) {
    (void)WriteSettingString(HKEY_CLASSES_ROOT, kSupportedTypesKey, extension, L"");
  });
}

// False, having written nothing, when the root refuses the first write with access denied.
bool WriteCapabilities(HKEY root) {
  if (WriteSettingString(root, kCapabilitiesKey, L"ApplicationName", kArchiverName) == ERROR_ACCESS_DENIED)
    return false;
  (void)WriteSettingString(root, kCapabilitiesKey, L"ApplicationDescription", kArchiverName);
  wchar_t icon[kIconCapacity];
  (void)ProgramFilePath(kArchiverExe, icon, kPathCapacity);
  AppendBounded(icon, L",0", kIconCapacity);
  (void)WriteSettingString(root, kCapabilitiesKey, L"ApplicationIcon", icon);
  ForEachArchiveExtension([root](const wchar_t* extension, const wchar_t* progId) {
    (void)WriteSettingString(root, kFileAssociationsKey, extension, progId);
  });
  // Last, so that the list never names a key that is not there yet. Its data is the key's path
  // below the same root.
  (void)WriteSettingString(root, kRegisteredApplicationsKey, kArchiverName, kCapabilitiesKey + 1);
  return true;
}

bool KeyIsEmpty(HKEY root, const wchar_t* subkey) {
  DWORD subkeys = 0;
  DWORD values = 0;
  return CountSettingKeyContents(root, subkey, &subkeys, &values) == ERROR_SUCCESS && subkeys == 0 && values == 0;
}

}  // namespace

void WriteDefaultAppsRegistration() {
  WriteApplicationEntry();
  if (!HasDefaultPrograms()) return;
  for (HKEY root : kRegistrationRoots)
    if (WriteCapabilities(root)) return;
}

void DeleteDefaultAppsRegistration() {
  DeleteSettingTree(HKEY_CLASSES_ROOT, kApplicationKey);
  if (KeyIsEmpty(HKEY_CLASSES_ROOT, kApplicationsKey)) DeleteSettingKey(HKEY_CLASSES_ROOT, kApplicationsKey);
  // On Windows 5.x a value of that name is not ours: this program never wrote one there.
  if (!HasDefaultPrograms()) return;
  for (HKEY root : kRegistrationRoots) {
    DeleteSettingValue(root, kRegisteredApplicationsKey, kArchiverName);
    DeleteSettingTree(root, kCapabilitiesKey);
    // Only where the capabilities made it: an earlier setup's settings may live in it.
    if (KeyIsEmpty(root, kProgramKey)) DeleteSettingKey(root, kProgramKey);
  }
}
