// Uninstall mode: removes the installation this program belongs to.
#pragma once

// Removes the installation whose folder holds this program's executable: asks for confirmation
// (unless RunOptions.Silent), removes the shell and registry integration, deletes every file and
// folder named in "Uninstall.lst" of that folder (never anything outside it), schedules files in
// use for deletion at the next restart, and hands the removal of the executable and the folder to
// a hidden batch file in the temporary folder. With RunOptions.MsiMode no file is touched.
// Expects OLE to be initialised (the shortcut removal uses the shell link object). Changes the
// process's current folder (to the parent of the program folder on return). Reports nothing to the
// caller: the only message boxes are the confirmation, an unreadable list, the reboot notice and
// the notice to delete the program by hand when the batch file cannot name it exactly.
void RunUninstall();
