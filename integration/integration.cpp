#include "integration/integration.h"

#include <windows.h>
#include <shlobj.h>

#include "base/paths.h"
#include "base/run_state.h"
#include "integration/app_registration.h"
#include "integration/associations.h"
#include "integration/default_apps.h"
#include "integration/integration_settings.h"
#include "integration/previous_owner.h"
#include "integration/shell_extension.h"
#include "integration/shortcuts.h"
#include "settings/registry.h"

namespace {

// Removed with their whole trees: the per-extension release never touches them. (".rev" is an
// extension like the others: its release gives it back.)
constexpr const wchar_t* kClassTreesToRemove[] = {kArchiveProgId, kZipProgId, kRecoveryProgId};

constexpr wchar_t kThemesKey[] = L"Interface\\Themes";

}  // namespace

bool ApplyIntegration(const IntegrationSettings& settings, wchar_t* groupFolder, size_t groupFolderCapacity) {
  if (!RegisterAppPath()) return false;
  UpdateShellExtensions(/*removing=*/false, settings);
  AssociateArchiveTypes(settings);
  if (!RegisterProgIds()) return false;

  wchar_t icon[kPathCapacity];
  ReadUserString(kThemesKey, L"ShellExtIcon", icon, L"", kPathCapacity);
  const wchar_t* iconLocation = icon[0] != L'\0' && PathExists(icon) ? icon : nullptr;
  UpdateShortcuts(settings, groupFolder, groupFolderCapacity, iconLocation);
#ifndef VOK_WITHOUT_OPENS_WITH_CHECK  // a benchmark build measures setup without it (scripts/bench.sh)
  CheckWhatOpensChosenExtensions(settings);
#endif
  return true;
}

void RemoveIntegration() {
  const IntegrationSettings none = {};
  // Releasing the associations reads the saved previous owners, which the last steps delete.
  AssociateArchiveTypes(none);
  ReleaseRecoveryExtension();
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr);
  UpdateShellExtensions(/*removing=*/true, none);
  UpdateShortcuts(none, nullptr, 0, nullptr);
  for (const wchar_t* key : kClassTreesToRemove) DeleteSettingTree(HKEY_CLASSES_ROOT, key);
  // With registry access off every association stayed as it was, and so do the owners to give back.
  if (IsIntegrationAllowed()) {
    DeleteProgramSettings(HKEY_CURRENT_USER);
  } else {
    DeleteUserSettingsKeepingSavedOwners();
  }
  if (!RunOptions.MsiMode) {
    DeleteSettingKey(HKEY_LOCAL_MACHINE, kAppPathsKey);
    // Registration wrote App Paths in the 32-bit view as well.
    DeleteSettingKey32(HKEY_LOCAL_MACHINE, kAppPathsKey);
  }
}
