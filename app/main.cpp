// The entry point: prepare the process, read the options, run setup or uninstall mode.
#include <windows.h>
#include <shellapi.h>

#include "app/handover.h"
#include "app/options.h"
#include "app/run_state.h"
#include "base/error_reporter.h"
#include "base/handles.h"
#include "base/paths.h"
#include "base/system.h"
#include "integration/dialogs/setup_dialogs.h"
#include "localization/language.h"
#include "settings/ini_store.h"
#include "uninstall/uninstall.h"

namespace {

constexpr size_t kSfxCommandCapacity = 1024;

// Runs inside the settings dialog once the user confirmed, before anything is saved or applied:
// the installer's settings file becomes the archiver's, and when no settings file was in use the
// store looks once more, so that setup stores the choices and the previous owners of the
// associations where every later run (the uninstall among them) reads them.
void HandOverBeforeSaving() {
  RunPostSetupHandOver();
  SearchIniFileAgain();
}

// The settings dialog, which hands the installer's files over when it is confirmed; then the
// completion dialog shows (not for a Windows Installer package) and the program group opens in the
// file manager when the user is there to see it.
void RunSetupMode() {
  static const SetupDialogParameters parameters = {&HandOverBeforeSaving};
  const INT_PTR confirmed = DialogBoxParamW(ResourceModule, kSetupDialogName, nullptr, SetupDialogProc,
                                            reinterpret_cast<LPARAM>(&parameters));
  if (confirmed == -1) {
    // The dialog could not be made at all (a language library without it, no rich-edit class):
    // nothing was applied, and the installer must not read that as a completed setup.
    ExitCode = 1;
    return;
  }
  if (confirmed == 0) return;  // cancelled: ExitCode is already 1
  if (!RunOptions.MsiMode) DialogBoxParamW(ResourceModule, kDoneDialogName, nullptr, DoneDialogProc, 0);
  if (ProgramGroupFolder[0] != L'\0' && !RunOptions.Silent && !RunOptions.MsiMode && !RunOptions.NoExplorer &&
      PathExists(ProgramGroupFolder))
    ShellExecuteW(/*owner=*/nullptr, L"open", ProgramGroupFolder, /*parameters=*/nullptr, /*directory=*/L"",
                  SW_SHOWNORMAL);
}

int RunProgram(HINSTANCE instance) {
  HardenDllSearchPath();
  LoadLanguageLibrary(instance);
  LoadLanguageFile(L"uninstall.lng");
  OleSession ole;
  // The setup dialog's description is a rich-edit control: its class must exist before the dialog.
  UniqueModule richEdit(LoadSystemLibrary(L"riched20.dll"));

  g_programIcon = LoadIconW(ResourceModule, L"VOKICON");
  if (!g_programIcon && ResourceModule != instance) g_programIcon = LoadIconW(instance, L"VOKICON");
  UniqueGdiObject font(CreateFontW(ScaledFontHeight(-12), 0, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, 0, 0, L"MS Shell Dlg"));
  g_boldDialogFont = static_cast<HFONT>(font.get());

  bool setupRequested = false;
  bool uninstallRequested = false;
  wchar_t sfxCommand[kSfxCommandCapacity] = {};
  const DWORD length = GetEnvironmentVariableW(L"sfxcmd", sfxCommand, kSfxCommandCapacity);
  if (length >= kSfxCommandCapacity) sfxCommand[0] = 0;  // too long to have been read at all
  ParseOptions(/*fromInstaller=*/true, sfxCommand, &setupRequested, &uninstallRequested);
  ParseOptions(/*fromInstaller=*/false, GetCommandLineW(), &setupRequested, &uninstallRequested);

  if (setupRequested) RunSetupMode();
  if (uninstallRequested) RunUninstall();

  g_boldDialogFont = nullptr;
  return static_cast<int>(ExitCode);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // Running out of memory ends the run with exit code 8 and shows nothing.
  return RunGuarded([](void* context) { return RunProgram(static_cast<HINSTANCE>(context)); }, instance);
}
