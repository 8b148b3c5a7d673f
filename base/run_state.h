// The run record: the options of this run, its exit code and the program group folder setup
// found. Option parsing writes the options, the entry point and the setup dialog the exit code,
// setup the folder; integration/ and the layers above it read them. So the record lies at the
// bottom, in base/, where any layer may reach it, and this header depends on nothing.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kInitSelectionCapacity = 40;  // characters, terminator included
constexpr size_t kProgramGroupFolderCapacity = 2048;

// Written only by option parsing; fixed once both parse passes (installer, command line) are done.
struct RunOptionsRecord {
  wchar_t InitSelection[kInitSelectionCapacity];  // letter/value pairs for the setup dialog; empty if absent
  bool Silent;      // no questions, no notices; dialogs confirm themselves
  bool MsiMode;     // a Windows Installer package owns the installation
  bool NoExplorer;  // do not open the program group folder after setup
};

// The process exit codes. Deployment tools judge a run by its exit code alone, so every failure
// has one; where Windows has an error code that says the same, it is that code.
// A run that scheduled deletions for the next restart may end with the code its command line asks
// for instead of kExitDone ("restartexitcode=<n>"), never instead of a failure's code.
constexpr uint32_t kExitDone = 0;            // done; also when files wait for the next restart, or the user declined
constexpr uint32_t kExitSetupCancelled = 1;  // setup cancelled, or its dialog could not be made
constexpr uint32_t kExitListMissing = 2;     // ERROR_FILE_NOT_FOUND: no "Uninstall.lst", nothing removed
constexpr uint32_t kExitPathUnusable = 3;    // ERROR_PATH_NOT_FOUND: the program's own path or folder cannot be used
constexpr uint32_t kExitIntegrationRefused = 5;  // ERROR_ACCESS_DENIED: setup's integration stopped at a refused write
constexpr uint32_t kExitOutOfMemory = 8;     // ERROR_NOT_ENOUGH_MEMORY
constexpr uint32_t kExitCannotMake = 82;     // ERROR_CANNOT_MAKE: a batch file could not be written or started
constexpr uint32_t kExitUnknownSwitch = 87;  // ERROR_INVALID_PARAMETER: an unknown, invalid or over-long switch
constexpr uint32_t kExitAlreadyRunning = 1618;  // ERROR_INSTALL_ALREADY_RUNNING: another setup or uninstall runs
// ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION: the uninstall's confirmation could not be shown, so
// nobody was asked and nothing was removed.
constexpr uint32_t kExitConfirmationNotShown = 1459;

extern RunOptionsRecord RunOptions;  // zeroed at start
extern uint32_t ExitCode;            // one of the kExit codes; kExitDone at start
// The program group folder that setup created under the Start menu's Programs folder; empty until then.
extern wchar_t ProgramGroupFolder[kProgramGroupFolderCapacity];
