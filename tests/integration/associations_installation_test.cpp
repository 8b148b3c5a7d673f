// Entry point of the association tests. The code under test takes the archiver's path and the
// ShellNew data files from the folder of the running program, so the tests never run from the
// build tree: the program copies itself into a temporary folder laid out like an installation
// (the copy named "uninstall.exe", beside a dummy "Ovenix.exe"), runs the copy with the same
// arguments and returns its exit code. The folder name has a blank in it so that the quoting of
// the open command is exercised.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "base/handles.h"
#include "support/process.h"
#include "support/temp_folder.h"
#include "associations_installation.h"

namespace {

const wchar_t kInstalledMarker[] = L"VOK_ASSOCIATIONS_INSTALLED";

// The arguments of this process as typed (everything after the program name).
std::wstring ArgumentTail() {
  const wchar_t* line = GetCommandLineW();
  if (*line == L'"') {
    ++line;
    while (*line && *line != L'"') ++line;
    if (*line) ++line;
  } else {
    while (*line && *line != L' ' && *line != L'\t') ++line;
  }
  return line;
}

// Starts the copy with this process's standard handles, so its test output shows in the log.
int RunInstalledCopy(const std::wstring& exe, const std::wstring& folder) {
  std::wstring commandLine = Quoted(exe) + ArgumentTail();
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION info = {};
  SetEnvironmentVariableW(kInstalledMarker, L"1");
  const BOOL started = CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, /*inheritHandles=*/TRUE, 0,
                                      nullptr, folder.c_str(), &startup, &info);
  SetEnvironmentVariableW(kInstalledMarker, nullptr);
  if (!started) {
    std::fprintf(stderr, "could not start the installed copy (error %lu)\n", GetLastError());
    return 3;
  }
  UniqueKernelHandle process(info.hProcess), thread(info.hThread);
  if (WaitForSingleObject(process.get(), 240000) != WAIT_OBJECT_0) {
    TerminateProcess(process.get(), 259);
    WaitForSingleObject(process.get(), 5000);
    std::fprintf(stderr, "the installed copy did not finish in time\n");
    return 4;
  }
  DWORD exitCode = 5;
  GetExitCodeProcess(process.get(), &exitCode);
  return static_cast<int>(exitCode);
}

int RelaunchFromInstallation() {
  TempFolder installation(L"Ovenix Folder");
  const std::wstring copy = installation.Join(L"uninstall.exe");
  if (!CopyFileW(OwnModulePath().c_str(), copy.c_str(), /*failIfExists=*/TRUE) ||
      !WriteFileBytes(installation.Join(L"Ovenix.exe"), "MZ dummy archiver")) {
    std::fprintf(stderr, "could not lay out the installation folder (error %lu)\n", GetLastError());
    return 2;
  }
  std::fflush(stdout);
  return RunInstalledCopy(copy, installation.path());
}

}  // namespace

bool RunningFromInstallation() {
  wchar_t marker[4] = {};
  return GetEnvironmentVariableW(kInstalledMarker, marker, 4) != 0;
}

std::wstring InstallationFile(const wchar_t* name) { return OwnModuleFolder() + L"\\" + name; }

int main(int argc, char** argv) {
  if (!RunningFromInstallation()) return RelaunchFromInstallation();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
