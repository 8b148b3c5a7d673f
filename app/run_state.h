// The run record: the options of this run, its exit code and the program group folder setup
// found. The only part of app/ that the folders below it may include; it depends on nothing.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kInitSelectionCapacity = 40;  // characters, terminator included
constexpr size_t kProgramGroupFolderCapacity = 2048;

// Written only by option parsing; fixed once both parse passes (installer, command line) are done.
struct RunOptionsRecord {
  wchar_t InitSelection[kInitSelectionCapacity];  // letter/value pairs for the setup dialog; empty if absent
  bool Silent;      // no questions, no notices; dialogs confirm themselves
  bool MsiMode;     // a Windows Installer package owns the installation
  bool NoExplorer;  // do not open the program group folder after setup
};

extern RunOptionsRecord RunOptions;  // zeroed at start
extern uint32_t ExitCode;            // 0, or 1 when the setup dialog is cancelled
// The program group folder that setup created under the Start menu's Programs folder; empty until then.
extern wchar_t ProgramGroupFolder[kProgramGroupFolderCapacity];
