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
//   del "B" & rd "D"
// where P is programPath, F the program folder (no trailing backslash except at a drive root), B
// the batch file's own path and D the folder holding it, each as BatchPathBytes gives it. When P
// or F has no exact form, the lines naming either are left out and *removesProgram is set to false
// (true otherwise); when B or D has none, the last line is left out. False when a write fails.
[[nodiscard]] bool WriteSelfRemovalLines(HANDLE file, const wchar_t* programPath, const wchar_t* folder,
                                         const wchar_t* batchPath, bool silent, bool* removesProgram) noexcept;

enum class SelfRemovalBatch {
  NotWritten,      // no batch file and no batch folder: they could not be made or written in full
  RemovesProgram,  // written with every line
  KeepsProgram,    // written without the lines for the program and its folder (no exact form)
};

// Makes a new folder inside tempFolder (a path ending in a backslash) and writes the batch file
// "Uninstall_Vok.Bat" into it (CREATE_NEW); batchPath (kPathCapacity characters) receives the
// file's full path, or is empty when NotWritten.
//
// In a temporary folder that every account may write to (C:\Windows\Temp under SYSTEM), a fixed
// name could be taken first by anyone, or swapped between its writing and its run. The folder's
// name is therefore 32 hexadecimal digits from the system's random generator, the creation fails
// when the name exists (then up to five names are tried; any other failure gives up at once), and
// its security descriptor lets only SYSTEM, Administrators and the running account in, with no
// entry inherited from the temporary folder; the batch file inherits the same entries. A batch
// file that could not be written in full is deleted again with its folder: a line cut short could
// name a shorter, different path. Whatever else stands in the temporary folder is never touched.
[[nodiscard]] SelfRemovalBatch CreateSelfRemovalBatch(const wchar_t* tempFolder, const wchar_t* programPath,
                                                      const wchar_t* folder, bool silent, wchar_t* batchPath) noexcept;

// Starts `"<system folder>\cmd.exe" /d /v:off /c .\<batch folder name>\Uninstall_Vok.Bat` hidden,
// inheriting handles, with tempFolder as the child's current folder: a process's current folder
// cannot be removed, and the batch removes its own folder last. batchPath is the path that
// CreateSelfRemovalBatch gave for that tempFolder. The interpreter comes from the system folder by
// full path, never from the environment (an elevated run would otherwise start whatever the
// user's COMSPEC names). The command line holds no path but the system folder's and the
// hexadecimal folder name, so cmd has nothing in it to unquote or expand; "/d" keeps AutoRun
// commands from the registry out. Returns whether a process started.
bool StartSelfRemovalBatch(const wchar_t* tempFolder, const wchar_t* batchPath) noexcept;
