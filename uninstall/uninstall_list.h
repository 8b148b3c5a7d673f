// The installer's list "Uninstall.lst" and the passes that delete what it names.
//
// The list holds one name per line, relative to the program folder, in the ANSI code page. A pass
// tries every line in order; passes repeat until one deletes nothing, so a folder listed before
// its contents goes in a later pass. A line never makes the passes touch anything outside the
// program folder: names that are absolute, drive-qualified, carry a device or extended-length
// prefix, climb with "..", name an alternate data stream, or whose full path does not fit, are
// passed over without any file-system call; so is a name whose folder leads out of the program
// folder through a link (junction or symbolic link).
#pragma once

#include <windows.h>

#include <cstddef>

#include "base/list_file.h"

// True when fullPath, normalised by GetFullPathNameW, lies strictly below folder (also normalised;
// a trailing backslash is optional). Case is ignored (ordinal). False when either cannot be
// normalised within kPathCapacity characters. Touches no file.
[[nodiscard]] bool LiesInsideFolder(const wchar_t* fullPath, const wchar_t* folder) noexcept;

// The first free name "<fullPath>.<n>.tmp" for n = 0..999 (GetFileAttributesW fails for it); the
// name for 999 is taken whether it exists or not. Cut to capacity.
void TemporaryNameFor(const wchar_t* fullPath, wchar_t* destination, size_t capacity) noexcept;

struct ListPassOutcome {
  bool rebootNeeded = false;      // some entry was in use and is to be deleted at the next restart
  bool restartScheduled = false;  // the system recorded such an entry for deletion at the next restart
  unsigned passes = 0;            // passes run, the last of which deleted nothing
};

// Runs the passes over the open list. programFolder is the folder with a trailing backslash that
// every name is put in front of; programPath the running uninstaller (its name part is passed over
// when it cannot be deleted). An entry that cannot be deleted while it exists is moved to
// TemporaryNameFor (if that fails, it keeps its name) and scheduled with
// MOVEFILE_DELAY_UNTIL_REBOOT. Entries named like the list itself are passed over when they
// cannot be deleted. The list's file pointer is left at its end.
ListPassOutcome RunListPasses(ListReader& list, const wchar_t* programFolder, const wchar_t* programPath);
