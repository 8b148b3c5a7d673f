// Uninstall mode: removes the installation this program belongs to.
#pragma once

#include <cstdint>

// Removes the installation whose folder holds this program's executable: asks for confirmation
// (unless RunOptions.Silent), removes the shell and registry integration, deletes every file and
// folder named in "Uninstall.lst" of that folder (never anything outside it), schedules files in
// use for deletion at the next restart (and the folder with them when it is named "Ovenix"),
// deletes the installed-programs entry, and hands the removal of the executable and the folder to
// a hidden batch file in the temporary folder. Without the list, a folder that holds nothing but
// the program (left so by an interrupted run) is finished all the same; any other stops the run
// before anything is removed. With RunOptions.MsiMode no file and not the entry are touched.
// Expects OLE to be initialised (the shortcut removal uses the shell link object). Changes the
// process's current folder (to the parent of the program folder on return). Shows message boxes
// only without RunOptions.Silent: the confirmation, an unreadable list, the reboot notice and the
// notice to delete the program by hand when the batch file cannot name it exactly.
// Returns the exit code: kExitDone (also when the user declines, or files wait for the restart),
// kExitPathUnusable, kExitListMissing, kExitConfirmationNotShown when the confirmation could not
// be shown (nothing removed), or kExitCannotMake when the batch file that removes the program and
// its folder could not be written or started. *restartScheduled tells whether the system recorded
// anything (a listed entry in use, the folder) for deletion at the next restart; false when the
// run stopped before that.
[[nodiscard]] uint32_t RunUninstall(bool* restartScheduled);
