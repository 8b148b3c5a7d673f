// The entry point: prepare the process, read the options, run setup or uninstall mode.
#include <windows.h>

#include "app/options.h"
#include "app/run_state.h"
#include "base/error_reporter.h"
#include "base/handles.h"
#include "base/paths.h"
#include "localization/language.h"

namespace {

constexpr size_t kSfxCommandCapacity = 1024;

int RunProgram(HINSTANCE instance) {
  HardenDllSearchPath();
  LoadLanguageLibrary(instance);
  LoadLanguageFile(L"uninstall.lng");
  OleSession ole;
  // The setup dialog's description is a rich-edit control: its class must exist before the dialog.
  UniqueModule richEdit(LoadSystemLibrary(L"riched20.dll"));

  ProgramIcon = LoadIconW(ResourceModule, L"VOKICON");
  if (!ProgramIcon && ResourceModule != instance) ProgramIcon = LoadIconW(instance, L"VOKICON");
  UniqueGdiObject font(CreateFontW(ScaledFontHeight(-12), 0, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, 0, 0, L"MS Shell Dlg"));
  BoldDialogFont = static_cast<HFONT>(font.get());

  bool setupRequested = false;
  bool uninstallRequested = false;
  wchar_t sfxCommand[kSfxCommandCapacity] = {};
  const DWORD length = GetEnvironmentVariableW(L"sfxcmd", sfxCommand, kSfxCommandCapacity);
  if (length >= kSfxCommandCapacity) sfxCommand[0] = 0;  // too long to have been read at all
  ParseOptions(/*fromInstaller=*/true, sfxCommand, &setupRequested, &uninstallRequested);
  ParseOptions(/*fromInstaller=*/false, GetCommandLineW(), &setupRequested, &uninstallRequested);

  // Setup mode (the settings dialog, the hand-over, the completion dialog and the program group)
  // and uninstall mode are connected here as their subsystems arrive.
  (void)setupRequested;
  (void)uninstallRequested;

  BoldDialogFont = nullptr;
  return static_cast<int>(ExitCode);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // Running out of memory ends the run with exit code 8 and shows nothing.
  return RunGuarded([](void* context) { return RunProgram(static_cast<HINSTANCE>(context)); }, instance);
}
