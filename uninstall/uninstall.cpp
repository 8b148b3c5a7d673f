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

enum class Confirmation { Confirmed, Declined, NotShown };

// Asks whether to uninstall. A box that could not be shown at all asked nobody: that is no
// answer, and certainly not a "yes". Windows documents 0 for it; Wine gives -1 when the box's
// window cannot be made. A yes/no box has no other answer.
Confirmation AskToUninstall() {
  const int answer =
      ShowMessage(nullptr, LocalizedString(IDS_CONTINUEUNINSTALL), LocalizedString(IDS_UNINSTALLVOK), kQuestionFlags);
  if (answer == IDYES) return Confirmation::Confirmed;
  return answer == IDNO ? Confirmation::Declined : Confirmation::NotShown;
}

// A silent run shows nothing, whatever happens; the log still tells what would have been shown.
void ShowMessageUnlessSilent(const wchar_t* text, const wchar_t* caption, UINT flags) {
  if (RunOptions.Silent) {
    LogLine("message not shown, the run is silent: \"%s\"", text);
  } else {
    ShowMessage(nullptr, text, caption, flags);
  }
}

}  // namespace

uint32_t RunUninstall(bool* restartScheduled) {
  *restartScheduled = false;
  wchar_t programPath[kPathCapacity] = {};
  wchar_t programFolder[kPathCapacity];
  // Without the program folder as the current folder, the bare names below would name files
  // elsewhere: stop rather than delete there.
  if (!ModulePath(nullptr, programPath, kPathCapacity) || !ProgramFolderOf(programPath, programFolder, kPathCapacity) ||
      !SetCurrentDirectoryW(programFolder)) {
    LogLine("uninstall: the program's own path or folder cannot be used: nothing removed");
    return kExitPathUnusable;
  }
  AppendSeparator(programFolder, kPathCapacity);

  const Confirmation confirmation = RunOptions.Silent ? Confirmation::Confirmed : AskToUninstall();
  if (confirmation == Confirmation::NotShown) {
    LogLine("uninstall: the confirmation could not be shown: nothing removed");
    return kExitConfirmationNotShown;
  }
  if (confirmation == Confirmation::Declined) {
    LogLine("uninstall: not confirmed: nothing removed");
    return kExitDone;
  }

  // Like the runtime's "rb": read and write sharing, but not delete sharing, so a list line naming
  // the list itself cannot delete it during the passes.
  UniqueFileHandle list(CreateFileW(kUninstallListName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!list) {
    if (!HoldsOnlyTheProgram(programFolder, programPath)) {
      wchar_t message[kListErrorCapacity];
      FormatWithArgument(message, kListErrorCapacity, LocalizedString(IDS_CANNOTOPENLIST), kUninstallListName);
      ShowMessageUnlessSilent(message, LocalizedString(IDS_UNINSTALLVOK), kErrorFlags);
      LogLine("uninstall: %s cannot be opened and the folder holds more than the program: nothing removed",
              kUninstallListName);
      return kExitListMissing;
    }
    LogLine("uninstall: %s is gone and the folder holds only the program: an interrupted uninstall is finished",
            kUninstallListName);
  }

  // The language library goes before the files do; these texts are needed afterwards.
  wchar_t rebootRequired[kSavedStringCapacity];
  wchar_t caption[kSavedStringCapacity];
  CopyBounded(rebootRequired, LocalizedString(IDS_REBOOTREQUIRED), kSavedStringCapacity);
  CopyBounded(caption, LocalizedString(IDS_UNINSTALLVOK), kSavedStringCapacity);
  WarningNoticeTexts warningTexts;
  SaveWarningNoticeTexts(warningTexts);

  // Only the installation the integration points at takes it away; a copy elsewhere, or an older
  // installation beside a newer one, removes its own files and leaves the rest as it is.
  wchar_t otherFolder[kPathCapacity] = {};
  const bool integrationIsOurs = IntegrationIsOurs(programFolder, otherFolder);
  if (integrationIsOurs) {
    RemoveIntegration();
  } else {
    LogLine("uninstall: the integration belongs to the installation in %s (it is named by the installed-programs "
            "entry or App Paths, and holds %s): it stays, with the settings and the owner records; only this "
            "folder's listed files go",
            otherFolder, kUninstallerName);
    wchar_t message[kSavedStringCapacity + kPathCapacity];
    FormatWithArgument(message, kSavedStringCapacity + kPathCapacity, LocalizedString(IDS_INTEGRATIONELSEWHERE),
                       otherFolder);
    ShowMessageUnlessSilent(message, caption, kNoticeFlags);
  }
  UnloadLanguageLibrary();
  // A Windows Installer package owns the files and the installed-programs entry: leave them (and
  // the list) alone.
  if (RunOptions.MsiMode) {
    LogLine("uninstall: a Windows Installer package owns the files: none is deleted");
    return kExitDone;
  }

  for (const wchar_t* name : kHelpIndexFiles) {
    SetFileAttributesW(name, 0);
    if (DeleteFileW(name)) LogLine("deleted %s%s", programFolder, name);
  }

  ListPassOutcome outcome;
  if (list) {
    ListReader reader(list.get());
    outcome = RunListPasses(reader, programFolder, programPath);
    *restartScheduled = outcome.restartScheduled;
    list.reset();
    const bool deleted = DeleteFileW(kUninstallListName);
    LogLine("list: deleted %s%s -> %e", programFolder, kUninstallListName, ErrorUnless(deleted));
  }
  // A settings file that survived the passes (in the per-user folder, or not in the list) gets
  // the removal's deletions now. One the passes deleted must not come back at process exit, or the
  // folder could never be removed: the store is released without writing either way.
  if (integrationIsOurs && g_iniStore.loaded() && PathExists(g_iniStore.filePath())) SaveSettingsNow();
  DiscardIniStore();

  wchar_t currentFolder[kPathCapacity] = {};
  CurrentFolder(currentFolder, kPathCapacity);  // empty when it cannot be read

  if (outcome.rebootNeeded) {
    ShowMessageUnlessSilent(rebootRequired, caption, kNoticeFlags);
    if (currentFolder[0] != 0 && NamesEqual(FileNamePart(currentFolder), kScheduledFolderName)) {
      const bool recorded = MoveFileExW(currentFolder, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
      LogLine("folder %s scheduled for removal at the next restart -> %e", currentFolder, ErrorUnless(recorded));
      if (recorded) *restartScheduled = true;
    }
  }

  wchar_t tempFolder[kPathCapacity] = {};
  const DWORD tempLength = GetTempPathW(kPathCapacity, tempFolder);
  wchar_t batchPath[kPathCapacity] = {};
  const SelfRemovalBatch batch =
      tempLength == 0 || tempLength >= kPathCapacity || currentFolder[0] == 0
          ? SelfRemovalBatch::NotWritten
          : CreateSelfRemovalBatch(tempFolder, programPath, currentFolder, RunOptions.Silent, batchPath);
  if (batch == SelfRemovalBatch::NotWritten) {
    LogLine("self-removal: no batch file could be written in the temporary folder: the program and its folder stay");
    return kExitCannotMake;
  }

  // This process must not hold the program folder as its current folder, or the folder could not
  // be removed; the batch runs in the temporary folder.
  SetCurrentDirectoryW(L"..");
  const bool started = StartSelfRemovalBatch(tempFolder, batchPath);
  LogLine("self-removal: the batch file %s %s", batchPath, started ? L"started" : L"could not be started");
  // Only now that the rest goes by itself: until then the entry lets the user start the uninstall
  // again and finish it.
  if (integrationIsOurs && started && batch == SelfRemovalBatch::RemovesProgram) DeleteUninstallEntry();
  // The batch file could not name the program without risking another file: the user removes it.
  if (batch == SelfRemovalBatch::KeepsProgram) {
    LogLine("self-removal: the batch file cannot name the program exactly: the program and its folder stay");
    if (RunOptions.Silent) {
      LogLine("message not shown, the run is silent: the program file is to be deleted by hand");
    } else {
      ShowWarningNotice(warningTexts, programPath);
    }
  }
  return started && batch == SelfRemovalBatch::RemovesProgram ? kExitDone : kExitCannotMake;
}
