#include "support/process.h"

#include <map>

#include "base/handles.h"

namespace {

std::wstring Widen(const char* text) {
  std::wstring wide;
  for (; *text; ++text) wide += static_cast<wchar_t>(static_cast<unsigned char>(*text));
  return wide;
}

// Environment block for CreateProcessW: this process's variables with the changes applied.
std::wstring BuildEnvironment(const EnvironmentChanges& changes) {
  std::map<std::wstring, std::wstring> variables;  // upper-case name -> "Name=value"
  wchar_t* block = GetEnvironmentStringsW();
  for (const wchar_t* entry = block; entry && *entry; entry += wcslen(entry) + 1) {
    const std::wstring text = entry;
    const size_t equals = text.find(L'=', 1);
    std::wstring name = text.substr(0, equals);
    CharUpperBuffW(&name[0], static_cast<DWORD>(name.size()));
    variables[name] = text;
  }
  if (block) FreeEnvironmentStringsW(block);
  for (const auto& change : changes) {
    std::wstring name = change.first;
    CharUpperBuffW(&name[0], static_cast<DWORD>(name.size()));
    if (change.second.empty())
      variables.erase(name);
    else
      variables[name] = change.first + L"=" + change.second;
  }
  std::wstring environment;
  for (const auto& variable : variables) environment += variable.second + L'\0';
  environment += L'\0';
  return environment;
}

}  // namespace

ProcessResult RunProcess(const std::wstring& commandLine, const std::wstring& currentFolder,
                         const EnvironmentChanges& environment, DWORD timeoutMs) {
  ProcessResult result;
  std::wstring mutableCommandLine = commandLine;
  std::wstring block = BuildEnvironment(environment);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(nullptr, &mutableCommandLine[0], nullptr, nullptr, /*inheritHandles=*/FALSE,
                      CREATE_UNICODE_ENVIRONMENT, &block[0], currentFolder.empty() ? nullptr : currentFolder.c_str(),
                      &startup, &info))
    return result;
  UniqueKernelHandle process(info.hProcess), thread(info.hThread);
  result.started = true;
  if (WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.get(), 259);
    WaitForSingleObject(process.get(), 5000);
    return result;
  }
  result.finished = true;
  GetExitCodeProcess(process.get(), &result.exitCode);
  return result;
}

std::wstring BuildPath(const char* path) {
  std::wstring windowsPath = Widen(path);
  if (!windowsPath.empty() && windowsPath[0] == L'/') windowsPath = L"Z:" + windowsPath;  // seen through Wine's Z: drive
  for (wchar_t& c : windowsPath)
    if (c == L'/') c = L'\\';
  return windowsPath;
}

std::wstring BuiltUninstallExe() { return BuildPath(VOK_UNINSTALL_EXE); }

std::wstring OwnModulePath() {
  wchar_t path[2048] = {};
  GetModuleFileNameW(nullptr, path, 2048);
  return path;
}

std::wstring OwnModuleFolder() {
  std::wstring path = OwnModulePath();
  return path.substr(0, path.find_last_of(L"\\/"));
}

std::wstring Quoted(const std::wstring& argument) { return L"\"" + argument + L"\""; }

bool RunningUnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    if (condition()) return true;
    if (GetTickCount64() >= deadline) return condition();
    Sleep(50);
  }
}
