// Text files to UTF-16 lines, and conversions between UTF-16 and the ANSI code page (CP_ACP).
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/growable_array.h"

enum class TextEncoding {
  Ansi,   // the system ANSI code page
  Utf16,  // byte order given by the byte-order mark FF FE (little-endian) or FE FF (big-endian)
  Utf8,   // with the mark EF BB BF
};

// Reads the whole file (the standard input when path is null or empty), decodes it and appends its
// lines to lines: a line ends at CR, LF or any run of them; blanks and tabs at a line's end are
// removed; empty lines are not added; the first NUL of the decoded text ends the text.
// False when the file cannot be opened (nothing appended). A read error inside the file keeps what
// was read so far and still answers true. Throws VOK_EXIT 8 when memory runs out.
[[nodiscard]] bool ReadTextFileLines(const wchar_t* path, PackedStringList& lines);

// Utf8 needs the UTF-8 mark followed by valid UTF-8; Utf16 needs a UTF-16 mark and at least one
// high-order byte below 32 other than 10 and 13; everything else is Ansi.
TextEncoding DetectTextEncoding(const uint8_t* bytes, size_t size) noexcept;

// Loose check: lead bytes with 0 or 2..6 leading one bits, each followed by its continuation
// bytes (10xxxxxx). Overlong forms and encoded surrogates pass.
bool IsValidUtf8(const uint8_t* bytes, size_t size) noexcept;

// Decodes the NUL-terminated UTF-8 source into destination (capacity code units, terminator
// included; always terminated when capacity > 0, cut when full). False when an invalid sequence
// stopped decoding or a code point above U+10FFFF was dropped.
bool Utf8ToWide(const char* source, wchar_t* destination, size_t capacity) noexcept;

// NUL-terminated ANSI text to UTF-16. The destination always holds a terminated string when
// capacity > 0 (its first and last characters are set to NUL around the conversion). False when
// the conversion fails, which includes a source that does not fit.
bool AnsiToWide(const char* source, wchar_t* destination, size_t capacity) noexcept;
// NUL-terminated UTF-16 text to ANSI; capacity in bytes; same guarantees as AnsiToWide.
bool WideToAnsi(const wchar_t* source, char* destination, size_t capacity) noexcept;
