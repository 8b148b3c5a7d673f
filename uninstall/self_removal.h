// The batch file that removes the uninstaller's own executable and the program folder after the
// process has ended (a running program cannot delete its own file).
//
// The batch file is read by cmd, which reads batch files in the OEM code page and expands "%" even
// inside quotes. Every path is therefore written with "%" doubled, in the OEM code page when each
// of its characters has an exact OEM form (no best-fit look-alikes, which could name another path),
// otherwise as its short form when the volume has one that does. A path with neither is never
// written at all: the lines that would name it are left out.
#pragma once

#include <windows.h>

#include <cstddef>

constexpr wchar_t kSelfRemovalBatchName[] = L"Uninstall_Vok.Bat";
// Capacity in bytes of one path as written into the batch file (a 2048-character path with every
// character a doubled "%" and up to four bytes for each). A path whose bytes do not fit has no
// exact form.
constexpr size_t kBatchPathBytes = 8 * 2048 + 1;

// `path` with every "%" doubled, converted to codePage with no best-fit substitution. False when a
// character has no exact form in that code page or the result does not fit capacity bytes
// (destination is then empty). The destination is terminated.
[[nodiscard]] bool ExactBatchText(const wchar_t* path, UINT codePage, char* destination, size_t capacity) noexcept;

// The bytes that name `path` in a batch line, chosen as the header comment says. False, with an
// empty destination, when the path has no exact form in the OEM code page and no short form that
// has one.
[[nodiscard]] bool BatchPathBytes(const wchar_t* path, char* destination, size_t capacity) noexcept;

// Writes the lines, each ending in CR LF:
//   "P" /wait
//   5 times: del "P" / rd "F" / if not exist "P" goto done
//   :done
//   if exist "P" "P" /warning      (only when not silent)
//   del "B"
// where P is programPath, F the program folder (no trailing backslash except at a drive root) and
// B the batch file's own path, each as BatchPathBytes gives it. When P or F has no exact form, the
// lines naming either are left out and *removesProgram is set to false (true otherwise); when B
// has none, the last line is left out. False when a write fails.
[[nodiscard]] bool WriteSelfRemovalLines(HANDLE file, const wchar_t* programPath, const wchar_t* folder,
                                         const wchar_t* batchPath, bool silent, bool* removesProgram) noexcept;

enum class SelfRemovalBatch {
  NotWritten,      // no batch file stands at the path: it could not be created or written in full
  RemovesProgram,  // written with every line
  KeepsProgram,    // written without the lines for the program and its folder (no exact form)
};

// Removes whatever stands at batchPath (the name itself: a link is removed, never its target; a
// folder only when it is empty), creates the file new (CREATE_NEW) and writes the lines into it.
// A file that could not be written in full is deleted again: a line cut short could name a
// shorter, different path.
[[nodiscard]] SelfRemovalBatch CreateSelfRemovalBatch(const wchar_t* batchPath, const wchar_t* programPath,
                                                      const wchar_t* folder, bool silent) noexcept;

// Starts `"<COMSPEC>" /d /v:off /c .\Uninstall_Vok.Bat` hidden, inheriting handles, with
// batchFolder (the folder holding the batch file) as the child's current folder. The only variable
// part of the command line is the quoted COMSPEC: cmd would otherwise strip the quotes around a
// batch path holding "&", "(", ")" or "^", and expand "%" (and "!" with delayed expansion) in it.
// "/d" keeps AutoRun commands from the registry out. Without COMSPEC nothing starts. Returns
// whether a process started.
bool StartSelfRemovalBatch(const wchar_t* batchFolder) noexcept;
