// Starting programs from a test: the built uninstall.exe, or a copy of a test program laid out
// like an installation.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

struct ProcessResult {
  bool started = false;   // CreateProcessW succeeded
  bool finished = false;  // ended within the timeout (otherwise it was terminated)
  DWORD exitCode = 0xDEADBEEF;
};

using EnvironmentChanges = std::vector<std::pair<std::wstring, std::wstring>>;  // empty value: remove

// Runs commandLine (program path first, quoted as needed) in currentFolder (empty: inherit), with
// the environment changes applied on top of this process's environment, and waits at most
// timeoutMs. A process still running then is terminated and reported as not finished.
ProcessResult RunProcess(const std::wstring& commandLine, const std::wstring& currentFolder = L"",
                         const EnvironmentChanges& environment = {}, DWORD timeoutMs = 60000);

// A path the build gave (a Unix path when the tests run under Wine) as a Windows path.
std::wstring BuildPath(const char* path);
// The built uninstall.exe as a Windows path.
std::wstring BuiltUninstallExe();
// This test program's own full path and folder.
std::wstring OwnModulePath();
std::wstring OwnModuleFolder();
// Quotes a command-line argument for CreateProcessW.
std::wstring Quoted(const std::wstring& argument);

// Whether the test runs under Wine (its ntdll exports wine_get_version), for the checks that meet
// a difference between Wine and Windows.
bool RunningUnderWine();

// Polls the condition every 50 ms until it holds or timeoutMs passed; returns its last answer.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);
