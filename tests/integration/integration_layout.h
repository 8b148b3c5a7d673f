// Test programs of the integration run the product from a folder laid out like an installation:
// the program folder of the running exe decides which libraries, targets and INI file it sees.
// InstallationLayout copies this test program into a temp folder (under any exe name) beside the
// files a case needs and runs the copy in "child" mode, which performs one integration action and
// ends. The parent then inspects the registry and the shell folders.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "integration/integration_settings.h"
#include "support/process.h"
#include "support/temp_folder.h"

// Child command line: --child <action> [options]
//   actions: apply, remove, shortcuts, shellext-apply, shellext-remove, uninstall-entry
//   options: --record=<26 digits 0/1> or --record=default (LoadIntegrationSettings)
//            --deny-first      the first registry write is refused with access denied
//            --deny-progid     writes to HKCR\Ovenix (the first ProgID write) are refused
//            --msi             RunOptions.MsiMode
//            --lng             load "uninstall.lng" from the program folder first
//            --out=<file>      the action's text result (group folder), UTF-16
//            --log=<file>      the run log goes to <file>
//            --answer=<ext>=<program>  Windows "opens" <ext> with <program> (empty: no answer)
// Exit code: 0 done (or true), 1 the action returned false, 2 bad command line.
// Returns -1 when this process is not a child; call it first thing in main.
int RunChildIfAsked();

class InstallationLayout {
 public:
  // files: names created beside the exe (each with a few bytes of content).
  explicit InstallationLayout(const std::vector<std::wstring>& files, const std::wstring& exeName = L"uninstall.exe");

  const std::wstring& folder() const { return temp_.path(); }
  std::wstring Join(const std::wstring& name) const { return temp_.Join(name); }
  std::wstring ExePath() const { return temp_.Join(exeName_); }
  bool ready() const { return ready_; }

  // Runs the copy with "--child <action> <options>"; the result's exitCode is the child's.
  ProcessResult Run(const std::wstring& action, const std::wstring& options = L"") const;
  // Runs and reads back the --out text.
  ProcessResult RunWithOutput(const std::wstring& action, const std::wstring& options, std::wstring& output) const;

 private:
  TempFolder temp_;
  std::wstring exeName_;
  bool ready_ = false;
};

// 26 digits for --record=.
std::wstring RecordText(const IntegrationSettings& settings);
IntegrationSettings EverythingOn();

// Reads a UTF-16 file written by the child; "<missing>" when absent.
std::wstring ReadWideFile(const std::wstring& path);

// The special folder's path (SHGetFolderPathW), empty when unknown.
std::wstring SpecialFolder(int csidl);

// Deletes everything the integration may have written to the real registry of the test prefix and
// every shortcut and group it may have made, so the next case starts clean.
void CleanIntegrationState();

// Shortcut properties read back through IShellLinkW (COM must be initialised).
struct ShortcutInfo {
  bool loaded = false;
  std::wstring target, description, workingDirectory, iconLocation;
  int iconIndex = -1;
};
ShortcutInfo ReadShortcut(const std::wstring& path);
