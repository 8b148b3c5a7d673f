// The run options, from the installer's "sfxcmd" variable and from the command line.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kCommandTokenCapacity = 1024;
// The largest n of "restartexitcode=<n>": exit codes that every deployment tool reads alike.
constexpr uint32_t kMaxRestartExitCode = 65535;

// What the two option sources ask of this run besides the RunOptions they set. Parsing only
// records; the entry point acts once both passes are done.
struct RunRequests {
  bool setup;          // "setup"
  bool uninstall;      // written by every pass; true only from a command line without mode switches
  bool wait;           // "wait": the self-removal batch file's pause
  bool warning;        // "warning": the notice that the program file survived
  bool unknownSwitch;  // the command line holds a switch that no option names, or one whose value is
                      // missing or invalid: the run does nothing
  bool overlongSwitch;  // the command line holds a switch longer than a token can hold: the run does nothing
  uint32_t restartExitCode;  // "restartexitcode=<n>": the exit code of a run that scheduled anything for
                             // the next restart; 0 without one
  wchar_t logPath[kCommandTokenCapacity];  // "log=<path>": the run's log file; empty without one
};

// Parses one command-line text into RunOptions and *requests. fromInstaller is true for the
// "sfxcmd" value: there only the silent switch counts and everything else is ignored. Sets the
// option requests it finds (never clears one) and always writes requests->uninstall: true only for
// the command-line pass when it holds no switch other than the silent one (and options that
// leave uninstall mode alone: "log=" and "restartexitcode="). A switch token longer than
// kCommandTokenCapacity - 1 characters is never cut to size and acted on: it sets overlongSwitch
// and nothing else, whatever it starts with.
void ParseOptions(bool fromInstaller, const wchar_t* text, RunRequests* requests);

// Copies the next token of source, unquoted, into destination (at most capacity - 1 characters; the
// rest of an over-long token is consumed and dropped; always terminated when capacity > 0). Blanks
// inside double quotes belong to the token; two double quotes in a row give one literal quote.
// Returns the position just after the token (the blank or the end that ended it), or null when only
// blanks remain (the destination is then left empty). When cut is not null, *cut tells whether
// characters of the token were dropped (always written; false when only blanks remain).
const wchar_t* NextCommandToken(const wchar_t* source, wchar_t* destination, size_t capacity,
                                bool* cut = nullptr);

// Case-insensitive comparison of at most count characters of each string, where a string shorter
// than count takes part with its terminator: "setupX" matches "setup" over 5, "setu" does not.
bool MatchOptionName(const wchar_t* token, const wchar_t* optionName, int count);

// The exit code of an uninstall run that ended with runCode: a run that did everything it was
// asked (kExitDone) and scheduled anything for deletion at the next restart ends with
// restartExitCode instead, when the command line asked for one (not 0). Every other code, a
// failure's, stays as it is. Logs the decision when something was scheduled.
[[nodiscard]] uint32_t UninstallExitCode(uint32_t runCode, bool restartScheduled, uint32_t restartExitCode);
