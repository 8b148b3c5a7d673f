// The run's log: what a run changed on the machine and what it decided, one line per action, for
// the people who deploy and support the archiver. Written only when the command line names a file
// ("-log=<path>"); until OpenRunLog succeeds every call here does nothing.
//
// The file is UTF-8 with a byte-order mark and CR LF line ends, appended to when it exists. Each
// line goes out with a WriteFile of its own as it is logged (no flush to the disk), so a run that is
// killed leaves every line up to its last action. A log that cannot be opened or written changes
// nothing else the run does: every call here ignores its own failures.
//
// Single-threaded: one process-wide log.
#pragma once

#include <cstddef>

// Values longer than this many characters are written cut, marked as cut.
constexpr size_t kLoggedValueCharacters = 512;

// Opens the log for appending (created when missing; a relative path is taken from the current
// folder now). False when it cannot be opened: the run then goes on without a log.
bool OpenRunLog(const wchar_t* path) noexcept;
// True while a log is open.
bool RunLogOpen() noexcept;

// Appends one line. The format is ASCII text with these conversions: "%s" a wide string (null:
// "(none)"; longer than kLoggedValueCharacters: cut there and followed by "[... cut, N characters
// in all]"; every C0 control character U+0000 to U+001F and DEL written as its control picture,
// U+2400 plus its code and U+2421 for DEL, so that no value ends or begins a line), "%u" an
// unsigned 32-bit number, "%e" a Windows error code as "ok" for 0 and "error N" otherwise, "%%" a
// percent sign. The arguments must match the conversions.
void LogLine(const char* format, ...) noexcept;

// For "%e" after a Windows call that sets the last error when it fails: 0 when it succeeded,
// otherwise GetLastError(). Call it before anything else can change the last error.
unsigned ErrorUnless(bool succeeded) noexcept;
