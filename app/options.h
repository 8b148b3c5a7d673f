// The run options, from the installer's "sfxcmd" variable and from the command line.
#pragma once

#include <cstddef>

constexpr size_t kCommandTokenCapacity = 1024;

// Parses one command-line text into RunOptions. fromInstaller is true for the "sfxcmd" value: there
// only the silent switch counts. Sets *setupRequested when the "setup" option is given (never clears
// it) and always writes *uninstallRequested: true only for the command-line pass when it holds no
// switch other than the silent one.
void ParseOptions(bool fromInstaller, const wchar_t* text, bool* setupRequested, bool* uninstallRequested);

// Copies the next token of source, unquoted, into destination (at most capacity - 1 characters; the
// rest of an over-long token is consumed and dropped; always terminated when capacity > 0). Blanks
// inside double quotes belong to the token; two double quotes in a row give one literal quote.
// Returns the position just after the token (the blank or the end that ended it), or null when only
// blanks remain (the destination is then left empty).
const wchar_t* NextCommandToken(const wchar_t* source, wchar_t* destination, size_t capacity);

// Case-insensitive comparison of at most count characters of each string, where a string shorter
// than count takes part with its terminator: "setupX" matches "setup" over 5, "setu" does not.
bool MatchOptionName(const wchar_t* token, const wchar_t* optionName, int count);
