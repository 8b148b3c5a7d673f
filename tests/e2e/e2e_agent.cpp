// A helper program for the end-to-end tests, copied into a mock installation and run from there,
// so that the code under test sees that folder as its program folder:
//   agent apply          lays the whole integration down (every archive type, every shortcut,
//                        the shell extension) and writes the installed-programs entry; exit 0
//                        when ApplyIntegration ran all its steps
//   agent remove         takes the integration and the installed-programs entry away again
//   agent uninstall-msi  runs the uninstall driver silently in Windows Installer mode (a mode the
//                        command line of uninstall.exe cannot select together with uninstalling);
//                        its exit code is the driver's
//   agent uninstall-unasked  runs the uninstall driver asking, on a thread where no window can be
//                        made, so its confirmation cannot be shown; its exit code is the driver's
//   agent <other>        stands in for a program that must never be started: it records its start
//                        in a file "<its own path>.started"; exit 2
#include <windows.h>

#include <cwchar>

#include "base/bounded_text.h"
#include "base/handles.h"
#include "base/paths.h"
#include "base/run_state.h"
#include "integration/app_registration.h"
#include "integration/integration.h"
#include "integration/integration_settings.h"
#include "localization/language.h"
#include "uninstall/uninstall.h"

// Refuses every window of the thread, as a desktop that nobody can see refuses a box.
LRESULT CALLBACK RefuseWindows(int code, WPARAM wParam, LPARAM lParam) {
  return code == HCBT_CREATEWND ? 1 : CallNextHookEx(nullptr, code, wParam, lParam);
}

int main() {
  const wchar_t* commandLine = GetCommandLineW();
  LoadLanguageLibrary(GetModuleHandleW(nullptr));
  OleSession ole;
  if (std::wcsstr(commandLine, L" apply") != nullptr) {
    IntegrationSettings settings = {};
    for (size_t i = 0; i < kArchiveTypeCount; ++i) settings.Associate[i] = 1;
    settings.Desktop = settings.StartMenu = settings.Programs = 1;
    settings.ShellExt = settings.CascadedMenu = settings.MenuIcons = 1;
    SaveIntegrationSettings(settings);
    wchar_t groupFolder[2048] = {};
    const bool applied = ApplyIntegration(settings, groupFolder, 2048);
    WriteUninstallEntry();
    return applied ? 0 : 1;
  }
  if (std::wcsstr(commandLine, L" remove") != nullptr) {
    RemoveIntegration();
    DeleteUninstallEntry();
    return 0;
  }
  bool restartScheduled = false;
  if (std::wcsstr(commandLine, L" uninstall-msi") != nullptr) {
    RunOptions.Silent = true;
    RunOptions.MsiMode = true;
    return static_cast<int>(RunUninstall(&restartScheduled));
  }
  if (std::wcsstr(commandLine, L" uninstall-unasked") != nullptr) {
    if (!SetWindowsHookExW(WH_CBT, RefuseWindows, nullptr, GetCurrentThreadId())) return 3;
    return static_cast<int>(RunUninstall(&restartScheduled));
  }
  wchar_t record[2048] = {};
  if (ModulePath(nullptr, record, 2048)) {
    AppendBounded(record, L".started", 2048);
    UniqueFileHandle(CreateFileW(record, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  }
  return 2;
}
