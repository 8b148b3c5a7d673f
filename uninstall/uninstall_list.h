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

#include "base/handles.h"

constexpr wchar_t kUninstallListName[] = L"Uninstall.lst";
// A line is read in pieces of at most this many bytes; each piece is a name of its own.
constexpr size_t kListPieceBytes = 2047;

// Strips trailing tabs, line feeds, carriage returns and spaces (only these four) in place.
void StripTrailingBlanks(char* line) noexcept;

// Reads an open list file piece by piece, as text lines of at most kListPieceBytes bytes.
class ListReader {
 public:
  explicit ListReader(HANDLE file) noexcept : file_(file) {}
  ListReader(const ListReader&) = delete;
  ListReader& operator=(const ListReader&) = delete;

  // Copies the next piece into `piece` (kListPieceBytes + 1 bytes): the bytes up to and including
  // the next line feed, at most kListPieceBytes of them, terminated. A NUL byte read from the file
  // ends the text there (the rest of the piece is still consumed). False at the end of the file or
  // on a read error (piece then empty).
  [[nodiscard]] bool NextPiece(char* piece) noexcept;
  // Back to the start of the file; false when the file pointer cannot be moved.
  [[nodiscard]] bool Rewind() noexcept;

 private:
  bool Fill() noexcept;

  HANDLE file_;
  char buffer_[4096] = {};
  DWORD filled_ = 0;
  DWORD position_ = 0;
  bool ended_ = false;
};

// True when a list name may be acted on at all: not empty, not starting with a backslash or slash
// (root-relative, UNC, "\\?\", "\\.\", "\??\"), no ':' anywhere (drive letters, streams) and no
// component "..". Leading blanks are part of an ordinary name.
[[nodiscard]] bool IsPlainRelativeName(const wchar_t* name) noexcept;

// True when fullPath, normalised by GetFullPathNameW, lies strictly below folder (also normalised;
// a trailing backslash is optional). Case is ignored (ordinal). False when either cannot be
// normalised within kPathCapacity characters. Touches no file.
[[nodiscard]] bool LiesInsideFolder(const wchar_t* fullPath, const wchar_t* folder) noexcept;

// The first free name "<fullPath>.<n>.tmp" for n = 0..999 (GetFileAttributesW fails for it); the
// name for 999 is taken whether it exists or not. Cut to capacity.
void TemporaryNameFor(const wchar_t* fullPath, wchar_t* destination, size_t capacity) noexcept;

struct ListPassOutcome {
  bool rebootNeeded = false;  // some entry was in use and is scheduled for the next restart
  unsigned passes = 0;        // passes run, the last of which deleted nothing
};

// Runs the passes over the open list. programFolder is the folder with a trailing backslash that
// every name is put in front of; programPath the running uninstaller (its name part is passed over
// when it cannot be deleted). An entry that cannot be deleted while it exists is moved to
// TemporaryNameFor (if that fails, it keeps its name) and scheduled with
// MOVEFILE_DELAY_UNTIL_REBOOT. Entries named like the list itself are passed over when they
// cannot be deleted. The list's file pointer is left at its end.
ListPassOutcome RunListPasses(ListReader& list, const wchar_t* programFolder, const wchar_t* programPath);
