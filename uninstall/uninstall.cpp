#include "uninstall/uninstall.h"

#include <windows.h>

#include <cwchar>

#include "base/bounded_text.h"
#include "base/handles.h"
#include "base/paths.h"
#include "base/run_log.h"
#include "base/run_state.h"
#include "integration/app_registration.h"
#include "integration/integration.h"
#include "localization/language.h"
#include "localization/localized_strings.h"
#include "localization/message_box.h"
#include "localization/warning_notice.h"
#include "resources/resource_ids.h"
#include "settings/ini_store.h"
#include "uninstall/self_removal.h"
#include "uninstall/uninstall_list.h"

namespace {

constexpr size_t kSavedStringCapacity = 256;
constexpr size_t kListErrorCapacity = 200;
constexpr UINT kQuestionFlags = MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND;
constexpr UINT kErrorFlags = MB_OK | MB_ICONERROR | MB_SETFOREGROUND;
constexpr UINT kNoticeFlags = MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND;
constexpr const wchar_t* kHelpIndexFiles[] = {L"ovenix.gid", L"ovenix.fts"};
constexpr wchar_t kScheduledFolderName[] = L"Ovenix";
// The uninstaller the installer lays into every installation folder.
constexpr wchar_t kUninstallerName[] = L"uninstall.exe";

// The program folder from the program path: cut at the last backslash, which stays when it follows
// a drive colon (a drive root stays a root). False when the path has no backslash.
bool ProgramFolderOf(const wchar_t* programPath, wchar_t* folder, size_t capacity) {
  CopyBounded(folder, programPath, capacity);
  wchar_t* lastBackslash = std::wcsrchr(folder, L'\\');
  if (lastBackslash == nullptr) return false;
  if (lastBackslash > folder && lastBackslash[-1] == L':') {
    lastBackslash[1] = 0;
  } else {
    lastBackslash[0] = 0;
  }
  return true;
}

// Whether the program folder holds nothing but the program itself: what an uninstall leaves that
// was interrupted after its list was deleted. Only such a folder may go without the list; anything
// else in it could be the user's. False when the folder cannot be read to its end.
bool HoldsOnlyTheProgram(const wchar_t* programFolder, const wchar_t* programPath) {
  wchar_t pattern[kPathCapacity];
  JoinPath(programFolder, L"*", pattern, kPathCapacity);
  DirectoryScanner scanner;
  scanner.SetPattern(pattern);
  ScanEntry entry;
  while (scanner.Next(entry)) {
    if (!NamesEqual(FileNamePart(entry.name), FileNamePart(programPath))) return false;
  }
  return !entry.error;
}

// A folder as GetFullPathNameW spells it, without a trailing backslash, so that folders named in
// different ways compare equal; empty when it cannot be formed.
void ComparableFolder(const wchar_t* folder, wchar_t* comparable) {
  const DWORD length = GetFullPathNameW(folder, kPathCapacity, comparable, /*filePart=*/nullptr);
  if (length == 0 || length >= kPathCapacity) {
    comparable[0] = 0;
    return;
  }
  for (size_t end = length; end > 0 && comparable[end - 1] == L'\\'; --end) comparable[end - 1] = 0;
}

// Whether the integration on the machine is this installation's: the folder the installed-programs
// entry (or, without one, App Paths) names is this program's folder, or no folder is named, or the
// folder named holds no uninstaller any more (that installation was moved or deleted by hand).
// Otherwise the integration points at another installation (a newer one, or this is a copy of the
// program elsewhere), whose folder goes into otherFolder.
bool IntegrationIsOurs(const wchar_t* programFolder, wchar_t* otherFolder) {
  RegisteredInstallationFolder(otherFolder, kPathCapacity);
  if (otherFolder[0] == 0) return true;
  wchar_t named[kPathCapacity];
  wchar_t ours[kPathCapacity];
  ComparableFolder(otherFolder, named);
  ComparableFolder(programFolder, ours);
  if (named[0] == 0 || CompareStringOrdinal(named, -1, ours, -1, /*ignoreCase=*/TRUE) == CSTR_EQUAL) return true;
  wchar_t uninstaller[kPathCapacity];
  JoinPath(named, kUninstallerName, uninstaller, kPathCapacity);
  return !PathExists(uninstaller);
}

// A silent run shows nothing, whatever happens; the log still tells what would have been shown.
void ShowMessageUnlessSilent(const wchar_t* text, const wchar_t* caption, UINT flags) {
  if (RunOptions.Silent) {
    LogLine("message not shown, the run is silent: \"%s\"", text);
  } else {
    ShowMessage(nullptr, text, caption, flags);
  }
}

// What the steps of one run share.
struct UninstallRun {
  wchar_t programPath[kPathCapacity] = {};
  wchar_t programFolder[kPathCapacity] = {};  // with a trailing backslash
  UniqueFileHandle list;                       // holds nothing when the list is missing or done with
  // Texts shown after the language library is gone.
  wchar_t rebootRequired[kSavedStringCapacity] = {};
  wchar_t caption[kSavedStringCapacity] = {};
  WarningNoticeTexts warningTexts = {};
  bool integrationIsOurs = false;
  bool rebootNeeded = false;                  // a listed entry in use waits for the next restart
  wchar_t currentFolder[kPathCapacity] = {};  // the current folder; empty when it cannot be read
  wchar_t tempFolder[kPathCapacity] = {};
  wchar_t batchPath[kPathCapacity] = {};
  SelfRemovalBatch batch = SelfRemovalBatch::NotWritten;
};

// Finds the program's path and folder and makes the folder the current one, so that the bare
// names of the later steps name files in it. False, with a log line, when any of it fails.
bool EnterProgramFolder(UninstallRun& run) {
  if (!ModulePath(nullptr, run.programPath, kPathCapacity) ||
      !ProgramFolderOf(run.programPath, run.programFolder, kPathCapacity) || !SetCurrentDirectoryW(run.programFolder)) {
    LogLine("uninstall: the program's own path or folder cannot be used: nothing removed");
    return false;
  }
  AppendSeparator(run.programFolder, kPathCapacity);
  return true;
}

enum class Confirmation { Confirmed, Declined, NotShown };

// Asks whether to uninstall; a silent run is confirmed. A box that could not be shown at all
// asked nobody: that is no answer, and certainly not a "yes". Windows documents 0 for it; Wine
// gives -1 when the box's window cannot be made. A yes/no box has no other answer.
Confirmation ConfirmUninstall() {
  if (RunOptions.Silent) return Confirmation::Confirmed;
  const int answer =
      ShowMessage(nullptr, LocalizedString(IDS_CONTINUEUNINSTALL), LocalizedString(IDS_UNINSTALLVOK), kQuestionFlags);
  if (answer == IDYES) return Confirmation::Confirmed;
  if (answer == IDNO) {
    LogLine("uninstall: not confirmed: nothing removed");
    return Confirmation::Declined;
  }
  LogLine("uninstall: the confirmation could not be shown: nothing removed");
  return Confirmation::NotShown;
}

// Opens the installer's list into run.list. Like the runtime's "rb": read and write sharing, but
// not delete sharing, so a list line naming the list itself cannot delete it during the passes.
// Without the list, a folder that holds only the program goes on (an interrupted uninstall is
// finished); any other folder could hold the user's files: false, after telling so.
bool OpenList(UninstallRun& run) {
  run.list.reset(CreateFileW(kUninstallListName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (run.list) return true;
  if (!HoldsOnlyTheProgram(run.programFolder, run.programPath)) {
    wchar_t message[kListErrorCapacity];
    FormatWithArgument(message, kListErrorCapacity, LocalizedString(IDS_CANNOTOPENLIST), kUninstallListName);
    ShowMessageUnlessSilent(message, LocalizedString(IDS_UNINSTALLVOK), kErrorFlags);
    LogLine("uninstall: %s cannot be opened and the folder holds more than the program: nothing removed",
            kUninstallListName);
    return false;
  }
  LogLine("uninstall: %s is gone and the folder holds only the program: an interrupted uninstall is finished",
          kUninstallListName);
  return true;
}

// Copies the texts that the later steps show, in the loaded language.
void SaveTexts(UninstallRun& run) {
  CopyBounded(run.rebootRequired, LocalizedString(IDS_REBOOTREQUIRED), kSavedStringCapacity);
  CopyBounded(run.caption, LocalizedString(IDS_UNINSTALLVOK), kSavedStringCapacity);
  SaveWarningNoticeTexts(run.warningTexts);
}

// Removes the integration when it is this installation's and returns true. A copy elsewhere, or an
// older installation beside a newer one, leaves the integration as it is and tells the user whose
// it is: false.
bool RemoveIntegrationIfOurs(const UninstallRun& run) {
  wchar_t otherFolder[kPathCapacity] = {};
  if (IntegrationIsOurs(run.programFolder, otherFolder)) {
    RemoveIntegration();
    return true;
  }
  LogLine("uninstall: the integration belongs to the installation in %s (it is named by the installed-programs "
          "entry or App Paths, and holds %s): it stays, with the settings and the owner records; only this "
          "folder's listed files go",
          otherFolder, kUninstallerName);
  wchar_t message[kSavedStringCapacity + kPathCapacity];
  FormatWithArgument(message, kSavedStringCapacity + kPathCapacity, LocalizedString(IDS_INTEGRATIONELSEWHERE),
                     otherFolder);
  ShowMessageUnlessSilent(message, run.caption, kNoticeFlags);
  return false;
}

// Whether a Windows Installer package owns the files, the list and the installed-programs entry,
// which are then left alone.
bool FilesBelongToWindowsInstaller() {
  if (!RunOptions.MsiMode) return false;
  LogLine("uninstall: a Windows Installer package owns the files: none is deleted");
  return true;
}

// The help viewer's index files in the program folder, which the list does not name.
void DeleteHelpIndexFiles(const wchar_t* programFolder) {
  for (const wchar_t* name : kHelpIndexFiles) {
    SetFileAttributesW(name, 0);
    if (DeleteFileW(name)) LogLine("deleted %s%s", programFolder, name);
  }
}

// Runs the passes over the list, if there is one, then closes and deletes it. Returns whether the
// system recorded a listed entry in use for deletion at the next restart.
bool RunPassesAndDeleteList(UninstallRun& run) {
  if (!run.list) return false;
  ListReader reader(run.list.get());
  const ListPassOutcome outcome = RunListPasses(reader, run.programFolder, run.programPath);
  run.rebootNeeded = outcome.rebootNeeded;
  run.list.reset();
  const bool deleted = DeleteFileW(kUninstallListName);
  LogLine("list: deleted %s%s -> %e", run.programFolder, kUninstallListName, ErrorUnless(deleted));
  return outcome.restartScheduled;
}

// A settings file that survived the passes (in the per-user folder, or not in the list) gets the
// removal's deletions now. One the passes deleted must not come back at process exit, or the
// folder could never be removed: the store is released without writing either way.
void WriteBackSettings(bool integrationIsOurs) {
  if (integrationIsOurs && g_iniStore.loaded() && PathExists(g_iniStore.filePath())) SaveSettingsNow();
  DiscardIniStore();
}

// When a listed entry waits for the next restart: tells the user, and schedules the program folder
// to go with it when it has the archiver's own name. Returns whether the folder was recorded.
bool ScheduleFolderForRestart(const UninstallRun& run) {
  if (!run.rebootNeeded) return false;
  ShowMessageUnlessSilent(run.rebootRequired, run.caption, kNoticeFlags);
  if (run.currentFolder[0] == 0 || !NamesEqual(FileNamePart(run.currentFolder), kScheduledFolderName)) return false;
  const bool recorded = MoveFileExW(run.currentFolder, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  LogLine("folder %s scheduled for removal at the next restart -> %e", run.currentFolder, ErrorUnless(recorded));
  return recorded;
}

// Writes the batch file that removes the program and its folder into the temporary folder. False,
// with a log line, when none could be written.
bool WriteRemovalBatch(UninstallRun& run) {
  const DWORD tempLength = GetTempPathW(kPathCapacity, run.tempFolder);
  run.batch = tempLength == 0 || tempLength >= kPathCapacity || run.currentFolder[0] == 0
                  ? SelfRemovalBatch::NotWritten
                  : CreateSelfRemovalBatch(run.tempFolder, run.programPath, run.currentFolder, RunOptions.Silent,
                                           run.batchPath);
  if (run.batch != SelfRemovalBatch::NotWritten) return true;
  LogLine("self-removal: no batch file could be written in the temporary folder: the program and its folder stay");
  return false;
}

// Leaves the program folder, which could not be removed while this process holds it as its current
// folder, and starts the batch file, which runs in the temporary folder. Returns whether it started.
bool StartRemovalBatch(const UninstallRun& run) {
  SetCurrentDirectoryW(L"..");
  const bool started = StartSelfRemovalBatch(run.tempFolder, run.batchPath);
  LogLine("self-removal: the batch file %s %s", run.batchPath, started ? L"started" : L"could not be started");
  return started;
}

// The batch file could not name the program without risking another file: the user removes it.
void AskToDeleteProgramByHand(const UninstallRun& run) {
  if (run.batch != SelfRemovalBatch::KeepsProgram) return;
  LogLine("self-removal: the batch file cannot name the program exactly: the program and its folder stay");
  if (RunOptions.Silent) {
    LogLine("message not shown, the run is silent: the program file is to be deleted by hand");
  } else {
    ShowWarningNotice(run.warningTexts, run.programPath);
  }
}

}  // namespace

uint32_t RunUninstall(bool* restartScheduled) {
  *restartScheduled = false;
  UninstallRun run;
  // First: the later steps name files by bare names, which must name them in the program folder.
  if (!EnterProgramFolder(run)) return kExitPathUnusable;
  // Before anything is touched: without a yes, nothing is removed.
  const Confirmation confirmation = ConfirmUninstall();
  if (confirmation == Confirmation::NotShown) return kExitConfirmationNotShown;
  if (confirmation == Confirmation::Declined) return kExitDone;
  // Before the integration goes: a folder without its list may hold the user's files.
  if (!OpenList(run)) return kExitListMissing;
  // While the language library is loaded: the later notices are shown after it is gone.
  SaveTexts(run);
  // With the library loaded, for its notice; also under a Windows Installer package, so before that stop.
  run.integrationIsOurs = RemoveIntegrationIfOurs(run);
  // Before any file goes: the library is a listed file, and a loaded library cannot be deleted.
  UnloadLanguageLibrary();
  // Before any file goes: a Windows Installer package removes its own.
  if (FilesBelongToWindowsInstaller()) return kExitDone;
  // Not in the list, yet they would keep the folder; after that stop, like every deletion.
  DeleteHelpIndexFiles(run.programFolder);
  // Once the integration no longer points at the listed files and the library no longer holds one.
  *restartScheduled = RunPassesAndDeleteList(run);
  // After the passes, which may have deleted the settings file.
  WriteBackSettings(run.integrationIsOurs);
  // For the next two steps: the program folder, spelled as the system spells the current folder.
  CurrentFolder(run.currentFolder, kPathCapacity);
  // Once the passes know what is in use; before the batch file, which may fail and stop the run.
  if (ScheduleFolderForRestart(run)) *restartScheduled = true;
  // Last of the removal: the program and its folder remain, which a running program cannot delete.
  if (!WriteRemovalBatch(run)) return kExitCannotMake;
  // Before the entry goes: only a started batch file finishes the removal.
  const bool started = StartRemovalBatch(run);
  // Only now that the rest goes by itself: until then the entry lets the user run the uninstall again.
  const bool programGoes = started && run.batch == SelfRemovalBatch::RemovesProgram;
  if (run.integrationIsOurs && programGoes) DeleteUninstallEntry();
  // Last: the notice waits for the user, and nothing else should wait with it.
  AskToDeleteProgramByHand(run);
  return programGoes ? kExitDone : kExitCannotMake;
}
