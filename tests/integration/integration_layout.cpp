#include "integration_layout.h"

#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cwchar>
#include <utility>
#include <vector>

#include "base/handles.h"
#include "base/run_log.h"
#include "base/run_state.h"
#include "integration/app_registration.h"
#include "integration/default_apps_test_seam.h"
#include "integration/integration.h"
#include "integration/shell_extension.h"
#include "integration/shortcuts.h"
#include "localization/language.h"
#include "settings/registry_test_seam.h"
#include "support/registry_snapshot.h"

namespace {

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
  return text.compare(0, wcslen(prefix), prefix) == 0;
}

bool ParseRecord(const std::wstring& text, IntegrationSettings& settings) {
  settings = {};
  if (text == L"default") {
    LoadIntegrationSettings(settings);
    return true;
  }
  if (text.size() != sizeof(IntegrationSettings)) return false;
  unsigned char* flags = reinterpret_cast<unsigned char*>(&settings);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != L'0' && text[i] != L'1') return false;
    flags[i] = text[i] == L'1' ? 1 : 0;
  }
  return true;
}

bool WriteWideFile(const std::wstring& path, const std::wstring& text) {
  return WriteFileBytes(path, std::string(reinterpret_cast<const char*>(text.c_str()), text.size() * sizeof(wchar_t)));
}

struct ChildArguments {
  std::wstring action;
  IntegrationSettings record = {};
  bool denyFirst = false, denyProgId = false, msi = false, language = false;
  std::wstring out, log;
};

// --answer options: what the seam answers instead of Windows for an extension.
std::vector<std::pair<std::wstring, std::wstring>> g_answers;

HRESULT AnswerAsGiven(ASSOCF flags, ASSOCSTR what, const wchar_t* extension, const wchar_t* extra, wchar_t* answer,
                      DWORD* length) {
  for (const auto& given : g_answers) {
    if (given.first != extension) continue;
    if (given.second.empty()) return HRESULT_FROM_WIN32(ERROR_NO_ASSOCIATION);
    if (given.second.size() >= *length) return E_POINTER;
    wcscpy(answer, given.second.c_str());
    return S_OK;
  }
  return AssocQueryStringW(flags, what, extension, extra, answer, length);
}

int RunChild(const ChildArguments& arguments) {
  OleSession ole;
  LoadLanguageLibrary(GetModuleHandleW(nullptr));
  if (arguments.language) LoadLanguageFile(L"uninstall.lng");
  RunOptions.MsiMode = arguments.msi;
  if (arguments.denyFirst) FailNextRegistryWrites(1);
  if (arguments.denyProgId) FailRegistryWritesToKey(HKEY_CLASSES_ROOT, L"Ovenix");
  if (!arguments.log.empty()) OpenRunLog(arguments.log.c_str());
  DefaultAppsTestHooks hooks;
  hooks.queryAssociation = AnswerAsGiven;
  SetDefaultAppsTestHooks(&hooks);

  const std::wstring sentinel = L"<unchanged>";
  wchar_t text[2048];
  wcscpy(text, sentinel.c_str());
  int exitCode = 0;
  const std::wstring& action = arguments.action;
  if (action == L"apply") {
    exitCode = ApplyIntegration(arguments.record, text, 2048) ? 0 : 1;
  } else if (action == L"remove") {
    RemoveIntegration();
  } else if (action == L"shortcuts") {
    UpdateShortcuts(arguments.record, text, 2048, nullptr);
  } else if (action == L"shellext-apply" || action == L"shellext-remove") {
    UpdateShellExtensions(action == L"shellext-remove", arguments.record);
  } else if (action == L"uninstall-entry") {
    WriteUninstallEntry();
  } else {
    exitCode = 2;
  }
  FailNextRegistryWrites(0);
  FailRegistryWritesToKey(nullptr, nullptr);
  SetDefaultAppsTestHooks(nullptr);
  if (!arguments.out.empty() && !WriteWideFile(arguments.out, text)) exitCode = 3;
  return exitCode;
}

}  // namespace

int RunChildIfAsked() {
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!argv) return -1;
  if (count < 3 || std::wstring(argv[1]) != L"--child") {
    LocalFree(argv);
    return -1;
  }
  ChildArguments arguments;
  arguments.action = argv[2];
  bool valid = true;
  for (int i = 3; i < count; ++i) {
    const std::wstring option = argv[i];
    if (StartsWith(option, L"--record=")) {
      valid = valid && ParseRecord(option.substr(9), arguments.record);
    } else if (option == L"--deny-first") {
      arguments.denyFirst = true;
    } else if (option == L"--deny-progid") {
      arguments.denyProgId = true;
    } else if (option == L"--msi") {
      arguments.msi = true;
    } else if (option == L"--lng") {
      arguments.language = true;
    } else if (StartsWith(option, L"--out=")) {
      arguments.out = option.substr(6);
    } else if (StartsWith(option, L"--log=")) {
      arguments.log = option.substr(6);
    } else if (StartsWith(option, L"--answer=") && option.find(L'=', 9) != std::wstring::npos) {
      const size_t split = option.find(L'=', 9);
      g_answers.push_back({option.substr(9, split - 9), option.substr(split + 1)});
    } else {
      valid = false;
    }
  }
  LocalFree(argv);
  return valid ? RunChild(arguments) : 2;
}

InstallationLayout::InstallationLayout(const std::vector<std::wstring>& files, const std::wstring& exeName)
    : temp_(L"vokinst"), exeName_(exeName) {
  ready_ = CopyFileW(OwnModulePath().c_str(), ExePath().c_str(), /*failIfExists=*/TRUE) != FALSE;
  for (const std::wstring& name : files) {
    ready_ = WriteFileBytes(temp_.Join(name), "dummy " + std::string(name.begin(), name.end())) && ready_;
  }
}

ProcessResult InstallationLayout::Run(const std::wstring& action, const std::wstring& options) const {
  std::wstring commandLine = Quoted(ExePath()) + L" --child " + action;
  if (!options.empty()) commandLine += L" " + options;
  return RunProcess(commandLine, folder(), {}, 90000);
}

ProcessResult InstallationLayout::RunWithOutput(const std::wstring& action, const std::wstring& options,
                                                std::wstring& output) const {
  const std::wstring outFile = temp_.Join(L"child-output.txt");
  DeleteFileW(outFile.c_str());
  const ProcessResult result = Run(action, options + L" " + Quoted(L"--out=" + outFile));
  output = ReadWideFile(outFile);
  return result;
}

std::wstring RecordText(const IntegrationSettings& settings) {
  const unsigned char* flags = reinterpret_cast<const unsigned char*>(&settings);
  std::wstring text;
  for (size_t i = 0; i < sizeof(IntegrationSettings); ++i) text += flags[i] ? L'1' : L'0';
  return text;
}

IntegrationSettings EverythingOn() {
  IntegrationSettings settings;
  memset(&settings, 1, sizeof settings);
  return settings;
}

std::wstring ReadWideFile(const std::wstring& path) {
  if (!FileExists(path)) return L"<missing>";
  const std::string bytes = ReadFileBytes(path);
  return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
}

std::wstring SpecialFolder(int csidl) {
  wchar_t path[MAX_PATH];
  if (SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) return L"";
  return path;
}

void CleanIntegrationState() {
  static const wchar_t* const kClassKeys[] = {
      L"Ovenix", L"Ovenix.ZIP", L"Ovenix.REV", L".rev",
      L"CLSID\\{5E0A1C32-8EE4-4F7B-9C21-7D3B6A90E514}", L"CLSID\\{5E0A1C32-64E4-4F7B-9C21-7D3B6A90E514}",
      L"*\\shellex\\ContextMenuHandlers\\Ovenix", L"*\\shellex\\ContextMenuHandlers\\Ovenix32",
      L"Folder\\shellex\\ContextMenuHandlers\\Ovenix", L"Folder\\shellex\\ContextMenuHandlers\\Ovenix32",
      L"Folder\\shellex\\DragDropHandlers\\Ovenix", L"Folder\\shellex\\DragDropHandlers\\Ovenix32",
      L"Drive\\shellex\\DragDropHandlers\\Ovenix", L"Drive\\shellex\\DragDropHandlers\\Ovenix32",
      L"lnkfile\\shellex\\ContextMenuHandlers\\Ovenix", L"lnkfile\\shellex\\ContextMenuHandlers\\Ovenix32",
      L"exefile\\shellex\\PropertySheetHandlers\\{5E0A1C32-8EE4-4F7B-9C21-7D3B6A90E514}",
      L"exefile\\shellex\\PropertySheetHandlers\\{5E0A1C32-64E4-4F7B-9C21-7D3B6A90E514}",
  };
  for (const wchar_t* key : kClassKeys) {
    DeleteRegTree(HKEY_CLASSES_ROOT, key);
    DeleteRegTree(HKEY_CLASSES_ROOT, key, KEY_WOW64_32KEY);
  }
  // Extensions still pointing at the archiver (a case that did not remove its integration).
  for (const ArchiveType& type : ArchiveTypes) {
    const wchar_t* cursor = type.extensionGroup;
    wchar_t extension[kExtensionCapacity];
    while (NextGroupExtension(&cursor, extension, kExtensionCapacity)) {
      const std::wstring owner = RegString(HKEY_CLASSES_ROOT, extension, L"", L"");
      if (owner == L"Ovenix" || owner == L"Ovenix.ZIP") DeleteRegTree(HKEY_CLASSES_ROOT, extension);
    }
  }
  for (int number = 0; number < 100; ++number) {
    wchar_t key[8];
    swprintf(key, 8, L".v%02d", number);
    DeleteRegTree(HKEY_CLASSES_ROOT, key);
  }
  const wchar_t kApproved[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
  for (const ShellExtensionLibrary& library : kShellExtensionLibraries) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kApproved, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
      UniqueHkey owner(key);
      RegDeleteValueW(key, library.clsid);
    }
  }
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\RegisteredApplications", 0, KEY_SET_VALUE, &key) ==
      ERROR_SUCCESS) {
    UniqueHkey owner(key);
    RegDeleteValueW(key, L"Ovenix");
  }
  DeleteRegTree(HKEY_LOCAL_MACHINE, L"Software\\Ovenix");
  DeleteRegTree(HKEY_LOCAL_MACHINE, L"Software\\Ovenix", KEY_WOW64_32KEY);
  DeleteRegTree(HKEY_CURRENT_USER, L"Software\\Ovenix");
  DeleteRegTree(HKEY_LOCAL_MACHINE, kAppPathsKey + 1);
  DeleteRegTree(HKEY_LOCAL_MACHINE, kAppPathsKey + 1, KEY_WOW64_32KEY);
  DeleteRegTree(HKEY_LOCAL_MACHINE, kUninstallKey + 1);

  for (int csidl : {CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_STARTMENU, CSIDL_COMMON_STARTMENU}) {
    const std::wstring folder = SpecialFolder(csidl);
    if (!folder.empty()) DeleteFileW((folder + L"\\Ovenix.lnk").c_str());
  }
  for (int csidl : {CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS}) {
    const std::wstring folder = SpecialFolder(csidl);
    if (!folder.empty()) DeleteTreeForTest(folder + L"\\Ovenix");
  }
}

ShortcutInfo ReadShortcut(const std::wstring& path) {
  ShortcutInfo info;
  ComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void()))) {
    return info;
  }
  ComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.put_void()))) return info;
  if (FAILED(file->Load(path.c_str(), STGM_READ))) return info;
  info.loaded = true;
  wchar_t text[MAX_PATH * 4];
  if (SUCCEEDED(link->GetPath(text, MAX_PATH * 4, nullptr, SLGP_RAWPATH))) info.target = text;
  if (SUCCEEDED(link->GetDescription(text, MAX_PATH * 4))) info.description = text;
  if (SUCCEEDED(link->GetWorkingDirectory(text, MAX_PATH * 4))) info.workingDirectory = text;
  int index = -1;
  if (SUCCEEDED(link->GetIconLocation(text, MAX_PATH * 4, &index))) {
    info.iconLocation = text;
    info.iconIndex = index;
  }
  return info;
}

