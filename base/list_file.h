// The installer's list "Uninstall.lst": one name a line, relative to the program folder, in the
// ANSI code page. Reading it and the rules a name must keep are shared by the uninstall (which
// deletes what it names) and by setup (which adds up the sizes of the named files).
#pragma once

#include <windows.h>

#include <cstddef>

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

// The next name of the list into `name` (kListPieceBytes + 1 characters): a piece with its
// trailing blanks stripped and converted from the ANSI code page. Empty pieces, pieces that do not
// convert and names that are not IsPlainRelativeName are passed over. False at the end.
[[nodiscard]] bool NextListName(ListReader& list, wchar_t* name) noexcept;
