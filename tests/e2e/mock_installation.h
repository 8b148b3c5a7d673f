// End-to-end helpers: a folder laid out like an installation of the archiver, the built
// uninstall.exe run inside it, a driver that answers its message boxes, and the registry areas the
// integration writes.
//
// Mock installations belong under C:\vok-e2e\ or C:\Program Files\Ovenix (the scenario reset
// clears both before every scenario program); the helper deletes its folder again when it ends.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/process.h"

// The files of an installation as the installer lays them down (relative names), beside the
// uninstaller: the archiver, its shell extension libraries, help file and the ShellNew data files.
extern const wchar_t* const kMockInstallationFiles[];
extern const size_t kMockInstallationFileCount;

class MockInstallation {
 public:
  // Creates the folder (and its parents), copies the built uninstall.exe in as "uninstall.exe" and
  // writes every file of kMockInstallationFiles with small dummy contents.
  explicit MockInstallation(const std::wstring& folder);
  // Deletes whatever is left of the folder (nothing, after a successful uninstall). A drive root is
  // never deleted, only what the helper put there.
  ~MockInstallation();
  MockInstallation(const MockInstallation&) = delete;
  MockInstallation& operator=(const MockInstallation&) = delete;

  const std::wstring& folder() const { return folder_; }
  std::wstring Join(const std::wstring& relative) const;
  std::wstring UninstallExe() const { return Join(L"uninstall.exe"); }
  bool ready() const { return ready_; }

  bool AddFile(const std::wstring& relative, const std::string& bytes = "mock");
  bool AddFolder(const std::wstring& relative);
  // Copies the end-to-end agent program in under `relative` (for laying down the integration from
  // this folder, or running the uninstall driver in-process).
  bool AddAgent(const std::wstring& relative);
  // Writes "Uninstall.lst": the lines in the ANSI code page, each ended by CR LF.
  bool WriteList(const std::vector<std::wstring>& lines);
  bool WriteListBytes(const std::string& bytes);
  // The list naming every file the constructor made, the uninstaller last, plus extra lines.
  std::vector<std::wstring> StandardList(const std::vector<std::wstring>& extra = {}) const;

  // Runs uninstall.exe from this folder with the arguments ("" for none) and environment changes.
  ProcessResult RunUninstall(const std::wstring& arguments, const EnvironmentChanges& environment = {},
                             DWORD timeoutMs = 60000) const;
  // Runs an agent copied in by AddAgent with its command.
  ProcessResult RunAgent(const std::wstring& relative, const std::wstring& command) const;

 private:
  std::wstring folder_;
  std::vector<std::wstring> made_;  // relative names of every file this helper wrote
  bool ready_ = false;
};

// %TEMP% as this process sees it, with its trailing backslash (the uninstaller inherits the same
// TEMP).
std::wstring TemporaryFolder();
// The folders in TemporaryFolder() named by 32 hexadecimal digits, as the uninstaller names the
// folder of its self-removal batch file; full paths, sorted.
std::vector<std::wstring> BatchFolders();
// The batch folders that are there now and not in `before`.
std::vector<std::wstring> NewBatchFolders(const std::vector<std::wstring>& before);
// Whether no batch folder is left but those in `before`. A Wine difference: Wine's cmd holds the
// batch file open until it ends, so the batch's last line, which deletes the file and then removes
// its folder, meets a folder that is not empty yet. Under Wine a batch folder that is empty once
// cmd has ended is removed here, as the batch removes it on Windows; one that still holds anything
// stays and counts.
bool NoNewBatchFolderLeft(const std::vector<std::wstring>& before);
// Waits until the installation folder is gone and NoNewBatchFolderLeft(before) (the batch has run).
bool WaitForSelfRemoval(const std::wstring& folder, const std::vector<std::wstring>& before, DWORD timeoutMs = 30000);

// A message box shown by a process whose image lies in watchedFolder.
struct SeenMessage {
  std::wstring caption;
  std::wstring text;
  int answer;
};

// Answers the message boxes of programs started from one folder, from a thread of its own: each
// one found is recorded and ended with the answer for its kind (a box with a "No" button gets
// yesNoAnswer; any other box is confirmed with IDOK).
class MessageBoxDriver {
 public:
  MessageBoxDriver(const std::wstring& watchedFolder, int yesNoAnswer);
  ~MessageBoxDriver();
  MessageBoxDriver(const MessageBoxDriver&) = delete;
  MessageBoxDriver& operator=(const MessageBoxDriver&) = delete;

  std::vector<SeenMessage> Seen() const;

 private:
  void Run();
  bool Belongs(HWND window) const;

  std::wstring watchedFolder_;
  int yesNoAnswer_;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<SeenMessage> seen_;
  std::vector<HWND> answered_;
  std::thread thread_;
};

// The registry areas the integration writes, one line per key and value (SnapshotRegistry).
std::vector<std::wstring> IntegrationRegistryLines();
// Every file and folder below the desktop and Start menu folders (the user's and all users'),
// one full path each, sorted.
std::vector<std::wstring> ShortcutFolderLines();

// The test run maps the drive letter M: to C:\vok-e2e\drive (a link in the prefix's dosdevices
// folder made by tests/e2e/CMakeLists.txt; Wine's DefineDosDeviceW makes a name that file access
// does not resolve). Makes the target folder and returns "M:\" when the letter leads there, or an
// empty text (no mapping: the caller skips).
std::wstring MappedTestDriveRoot();
