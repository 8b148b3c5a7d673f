// The post-setup hand-over: installer files that become the installed archiver's files.
// Run once, right after the settings dialog was confirmed and before the completion dialog.
#pragma once

// Copies the named file from the folder of the installer archive (the full path in the
// environment variable "sfxname") into the archiver's data folder, unless a file of that name is
// already there: an existing file is never overwritten. The data folder is not created; when it
// does not exist the destination is the program folder.
// Returns true when there was nothing to do (destination present, or "sfxname" missing or empty)
// or the copy was attempted (its own result is not reported); false when the installer's folder
// has no such file.
bool HandOverFile(const wchar_t* fileName);

// HandOverFile("ovenix.ini"); the result is not used.
void RunPostSetupHandOver();
