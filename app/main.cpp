// The entry point: prepare the process, read the options, run setup or uninstall mode.
#include <windows.h>
#include <shellapi.h>

#include "app/handover.h"
#include "app/options.h"
#include "base/bounded_text.h"
#include "base/error_reporter.h"
#include "base/handles.h"
#include "base/paths.h"
#include "base/run_log.h"
#include "base/run_state.h"
#include "base/system.h"
#include "integration/app_registration.h"
#include "integration/default_apps.h"
#include "integration/dialogs/setup_dialogs.h"
#include "localization/language.h"
#include "localization/warning_notice.h"
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
// completion dialog shows (not for a Windows Installer package), the offer of the Default apps page
// where Windows opens chosen extensions with another app, and the program group opens in the file
// manager when the user is there to see it.
void RunSetupMode() {
  static const SetupDialogParameters parameters = {&HandOverBeforeSaving};
  const INT_PTR confirmed = DialogBoxParamW(ResourceModule, kSetupDialogName, nullptr, SetupDialogProc,
                                            reinterpret_cast<LPARAM>(&parameters));
  if (confirmed == -1) {
    // The dialog could not be made at all (a language library without it, no rich-edit class):
    // nothing was applied, and the installer must not read that as a completed setup.
    LogLine("setup: the settings dialog could not be made: nothing applied");
    ExitCode = kExitSetupCancelled;
    return;
  }
  if (confirmed == 0) {  // ExitCode is already kExitSetupCancelled
    LogLine("setup: cancelled: nothing applied");
    return;
  }
  // The completion dialog would tell the user the archiver is installed; the exit code tells the
  // installer that it is not (ExitCode is already kExitIntegrationRefused).
  if (confirmed == kSetupStoppedAtRefusedWrite) {
    LogLine("setup: no completion dialog and no program group opened: the integration stopped");
    return;
  }
  if (!RunOptions.MsiMode) DialogBoxParamW(ResourceModule, kDoneDialogName, nullptr, DoneDialogProc, 0);
  OfferDefaultAppsPage();
  if (ProgramGroupFolder[0] != L'\0' && !RunOptions.Silent && !RunOptions.MsiMode && !RunOptions.NoExplorer &&
      PathExists(ProgramGroupFolder))
    ShellExecuteW(/*owner=*/nullptr, L"open", ProgramGroupFolder, /*parameters=*/nullptr, /*directory=*/L"",
                  SW_SHOWNORMAL);
}

void ShowProgramSurvivedNotice() {
  WarningNoticeTexts texts;
  SaveWarningNoticeTexts(texts);
  wchar_t programPath[kPathCapacity] = {};
  (void)ModulePath(nullptr, programPath, kPathCapacity);  // a cut path is left empty
  ShowWarningNotice(texts, programPath);
}

// Whether no other setup or uninstall of this program is under way; the mutex then stays in
// `owner` for the rest of the run (not inheritable: the batch file must not keep it). Global, so
// that runs in other sessions count; the session's own namespace where Windows refuses that. When
// no mutex can be had at all, the run goes on unguarded rather than never.
bool TakeRunMutex(UniqueKernelHandle& owner) {
  for (const wchar_t* name : {L"Global\\OvenixSetupRun", L"Local\\OvenixSetupRun"}) {
    owner.reset(CreateMutexW(/*attributes=*/nullptr, /*initialOwner=*/FALSE, name));
    if (owner) return GetLastError() != ERROR_ALREADY_EXISTS;
    if (GetLastError() != ERROR_ACCESS_DENIED) break;
  }
  return true;
}

// The line that opens a run's part of the log: when, which program, how it was started and where
// its settings live.
void LogRunHeader() {
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  wchar_t when[32];
  FormatBounded(when, 32, L"%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
                now.wSecond);
  wchar_t version[16];
  FormatBounded(version, 16, kDisplayVersionFormat, kVersionMajor, kVersionMinor, kVersionBeta);
  wchar_t settingsFile[kPathCapacity];
  g_iniStore.FileInUse(settingsFile);
  LogLine("==== %s uninstall %s, command line: %s; settings: %s%s", when, version, GetCommandLineW(),
          settingsFile[0] != L'\0' ? L"the settings file " : L"the registry", settingsFile);
}

// The options: the installer's "sfxcmd" variable first, then the command line.
void ReadOptions(RunRequests* requests) {
  wchar_t sfxCommand[kSfxCommandCapacity] = {};
  const DWORD length = GetEnvironmentVariableW(L"sfxcmd", sfxCommand, kSfxCommandCapacity);
  if (length >= kSfxCommandCapacity) sfxCommand[0] = 0;  // too long to have been read at all
  ParseOptions(/*fromInstaller=*/true, sfxCommand, requests);
  ParseOptions(/*fromInstaller=*/false, GetCommandLineW(), requests);
}

// Whether the command line holds a switch that the run cannot act on, each kind logged.
bool HoldsUnusableSwitch(const RunRequests& requests) {
  if (requests.overlongSwitch)
    LogLine("the command line holds a switch longer than %u characters, more than the program can hold: nothing done",
            static_cast<unsigned>(kCommandTokenCapacity - 1));
  if (requests.unknownSwitch)
    LogLine("the command line holds a switch the program does not know, or one whose value is missing or invalid: "
            "nothing done");
  return requests.overlongSwitch || requests.unknownSwitch;
}

// Does what the options ask: the batch file's pause and notice, then setup or uninstall mode.
void RunRequested(const RunRequests& requests) {
  // The self-removal batch file's runs: it starts them while the uninstaller may still run.
  if (requests.wait) Sleep(2000);
  if (requests.warning) {
    if (RunOptions.Silent) {
      LogLine("message not shown, the run is silent: the program file survived the removal");
    } else {
      ShowProgramSurvivedNotice();
    }
  }
  if (!requests.setup && !requests.uninstall) return;

  // Two runs at once would share the batch file and keep each other's program file in use.
  UniqueKernelHandle runMutex;
  if (!TakeRunMutex(runMutex)) {
    LogLine("another setup or uninstall of the archiver is under way: nothing done");
    ExitCode = kExitAlreadyRunning;
    return;
  }
  if (requests.setup) RunSetupMode();
  if (requests.uninstall) {
    bool restartScheduled = false;
    const uint32_t uninstallCode = RunUninstall(&restartScheduled);
    ExitCode = UninstallExitCode(uninstallCode, restartScheduled, requests.restartExitCode);
  }
}

// Prepares the process, reads the options and does what they ask; returns the exit code.
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

  RunRequests requests = {};
  ReadOptions(&requests);
  // Relative to the current folder of the start, before the uninstall changes it.
  if (requests.logPath[0] != L'\0' && OpenRunLog(requests.logPath)) LogRunHeader();
  // A tool that guessed our switches must not read "nothing done" as success.
  if (HoldsUnusableSwitch(requests)) {
    ExitCode = kExitUnknownSwitch;
  } else {
    RunRequested(requests);
  }

  g_boldDialogFont = nullptr;
  return static_cast<int>(ExitCode);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // Before anything touches a drive: a drive that is not ready (a removed card, a network drive
  // gone) or a file that cannot be opened must fail the call, not show the system's box that
  // nobody at an unattended run answers. What the starting tool set stays; the batch file's cmd
  // and the program's runs from it inherit the mode.
  const UINT inheritedErrorMode = SetErrorMode(0);
  SetErrorMode(inheritedErrorMode | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  // Running out of memory ends the run with exit code 8 and shows nothing.
  const int exitCode = RunGuarded([](void* context) { return RunProgram(static_cast<HINSTANCE>(context)); }, instance);
  LogLine("exit code %u", static_cast<unsigned>(exitCode));
  return exitCode;
}
