// The batch file that removes the uninstaller's own executable and the program folder after the
// process has ended (a running program cannot delete its own file).
//
// The batch file is read by cmd, which reads batch files in the OEM code page and expands "%" even
// inside quotes. Every path is therefore written with "%" doubled, in the OEM code page when each
// of its characters has an exact OEM form (no best-fit look-alikes, which could name another path);
// otherwise as its short form when the volume has one that does; otherwise converted to the ANSI
// code page as it stands.
#pragma once

#include <windows.h>

#include <cstddef>

constexpr wchar_t kSelfRemovalBatchName[] = L"Uninstall_Vok.Bat";
// Capacity in bytes of one path as written into the batch file (a 2048-character path with every
// character a doubled "%" and two bytes each).
constexpr size_t kBatchPathBytes = 8 * 2048 + 1;

// `path` with every "%" doubled, converted to codePage with no best-fit substitution. False when a
// character has no exact form in that code page or the result does not fit capacity bytes
// (destination is then empty). The destination is terminated.
[[nodiscard]] bool ExactBatchText(const wchar_t* path, UINT codePage, char* destination, size_t capacity) noexcept;

// The bytes that name `path` in a batch line, chosen as the header comment says. Terminated; cut
// only when capacity is below kBatchPathBytes.
void BatchPathBytes(const wchar_t* path, char* destination, size_t capacity) noexcept;

// Writes the lines, each ending in CR LF:
//   "P" /wait
//   5 times: del "P" / rd "F" / if not exist "P" goto done
//   :done
//   if exist "P" "P" /warning      (only when not silent)
//   del "B"
// where P is programPath, F the program folder (no trailing backslash except at a drive root) and
// B the batch file's own path, each as BatchPathBytes gives it. False when a write fails.
[[nodiscard]] bool WriteSelfRemovalLines(HANDLE file, const wchar_t* programPath, const wchar_t* folder,
                                         const wchar_t* batchPath, bool silent) noexcept;

// Removes whatever stands at batchPath (the name itself: a link is removed, never its target; a
// folder only when it is empty), creates the file new (CREATE_NEW) and writes the lines into it.
// False when the file cannot be created; a failed write leaves what was written.
[[nodiscard]] bool CreateSelfRemovalBatch(const wchar_t* batchPath, const wchar_t* programPath, const wchar_t* folder,
                                          bool silent) noexcept;

// Starts "<COMSPEC> /c "<batchPath>"" hidden, in the current folder, inheriting handles. Without
// COMSPEC the command line starts with " /c" and nothing starts. Returns whether a process started.
bool StartSelfRemovalBatch(const wchar_t* batchPath) noexcept;
