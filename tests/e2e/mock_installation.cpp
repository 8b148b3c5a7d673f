#include "e2e/mock_installation.h"

#include <algorithm>
#include <chrono>

#include <shlobj.h>

#include "base/handles.h"
#include "support/registry_snapshot.h"
#include "support/temp_folder.h"
#include "support/text.h"

const wchar_t* const kMockInstallationFiles[] = {
    L"Ovenix.exe", L"vokext.dll", L"vokext32.dll", L"ovenix.chm", L"voknew.dat", L"zipnew.dat", L"readme.txt",
};
const size_t kMockInstallationFileCount = sizeof kMockInstallationFiles / sizeof kMockInstallationFiles[0];

namespace {

std::wstring AgentExe() { return BuildPath(VOK_E2E_AGENT_EXE); }

bool IsDriveRoot(const std::wstring& folder) { return folder.size() == 3 && folder[1] == L':'; }

std::wstring ImagePathOf(HWND window) {
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!process) return std::wstring();
  wchar_t path[2048] = {};
  DWORD size = 2048;
  if (!QueryFullProcessImageNameW(process.get(), 0, path, &size)) return std::wstring();
  return path;
}

}  // namespace

MockInstallation::MockInstallation(const std::wstring& folder) : folder_(folder) {
  if (!IsDriveRoot(folder_) && !MakeFolders(folder_)) return;
  if (!CopyFileW(BuiltUninstallExe().c_str(), UninstallExe().c_str(), FALSE)) return;
  made_.push_back(L"uninstall.exe");
  for (size_t i = 0; i < kMockInstallationFileCount; ++i) {
    if (!AddFile(kMockInstallationFiles[i], "mock " + Narrow(kMockInstallationFiles[i], CP_ACP))) return;
  }
  ready_ = true;
}

MockInstallation::~MockInstallation() {
  if (!IsDriveRoot(folder_)) {
    DeleteTreeForTest(folder_);
    return;
  }
  for (auto name = made_.rbegin(); name != made_.rend(); ++name) {
    const std::wstring path = Join(*name);
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!DeleteFileW(path.c_str())) RemoveDirectoryW(path.c_str());
  }
}

std::wstring MockInstallation::Join(const std::wstring& relative) const {
  if (!folder_.empty() && folder_.back() == L'\\') return folder_ + relative;
  return folder_ + L"\\" + relative;
}

bool MockInstallation::AddFile(const std::wstring& relative, const std::string& bytes) {
  if (!WriteFileBytes(Join(relative), bytes)) return false;
  made_.push_back(relative);
  return true;
}

bool MockInstallation::AddFolder(const std::wstring& relative) {
  if (!MakeFolders(Join(relative))) return false;
  made_.push_back(relative);
  return true;
}

bool MockInstallation::AddAgent(const std::wstring& relative) {
  if (!CopyFileW(AgentExe().c_str(), Join(relative).c_str(), FALSE)) return false;
  made_.push_back(relative);
  return true;
}

bool MockInstallation::WriteList(const std::vector<std::wstring>& lines) {
  std::string bytes;
  for (const std::wstring& line : lines) bytes += Narrow(line, CP_ACP) + "\r\n";
  return WriteListBytes(bytes);
}

bool MockInstallation::WriteListBytes(const std::string& bytes) {
  if (!WriteFileBytes(Join(L"Uninstall.lst"), bytes)) return false;
  made_.push_back(L"Uninstall.lst");
  return true;
}

std::vector<std::wstring> MockInstallation::StandardList(const std::vector<std::wstring>& extra) const {
  std::vector<std::wstring> lines(kMockInstallationFiles, kMockInstallationFiles + kMockInstallationFileCount);
  lines.insert(lines.end(), extra.begin(), extra.end());
  lines.push_back(L"uninstall.exe");
  return lines;
}

ProcessResult MockInstallation::RunUninstall(const std::wstring& arguments, const EnvironmentChanges& environment,
                                             DWORD timeoutMs) const {
  std::wstring commandLine = Quoted(UninstallExe());
  if (!arguments.empty()) commandLine += L" " + arguments;
  return RunProcess(commandLine, folder_, environment, timeoutMs);
}

ProcessResult MockInstallation::RunAgent(const std::wstring& relative, const std::wstring& command) const {
  return RunProcess(Quoted(Join(relative)) + L" " + command, folder_, {}, 60000);
}

std::wstring TemporaryFolder() {
  wchar_t temp[2048] = {};
  GetTempPathW(2048, temp);
  return temp;
}

std::vector<std::wstring> BatchFolders() {
  std::vector<std::wstring> folders;
  const std::wstring temp = TemporaryFolder();
  WIN32_FIND_DATAW data;
  UniqueFindHandle find(FindFirstFileW((temp + L"*").c_str(), &data));
  for (bool more = find.valid(); more; more = FindNextFileW(find.get(), &data)) {
    const std::wstring name = data.cFileName;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name.size() == 32 &&
        name.find_first_not_of(L"0123456789ABCDEFabcdef") == std::wstring::npos) {
      folders.push_back(temp + name);
    }
  }
  std::sort(folders.begin(), folders.end());
  return folders;
}

std::vector<std::wstring> NewBatchFolders(const std::vector<std::wstring>& before) {
  std::vector<std::wstring> added;
  for (const std::wstring& folder : BatchFolders()) {
    if (std::find(before.begin(), before.end(), folder) == before.end()) added.push_back(folder);
  }
  return added;
}

bool NoNewBatchFolderLeft(const std::vector<std::wstring>& before) {
  std::vector<std::wstring> added = NewBatchFolders(before);
  if (RunningUnderWine()) {
    // Only a folder seen empty: on Wine, an attempt to remove a folder that still holds the batch
    // file hides the file for a moment, and cmd's "del" of it can then fail for good.
    for (const std::wstring& folder : added) {
      if (ListFileTree(folder).empty()) RemoveDirectoryW(folder.c_str());
    }
    added = NewBatchFolders(before);
  }
  return added.empty();
}

bool WaitForSelfRemoval(const std::wstring& folder, const std::vector<std::wstring>& before, DWORD timeoutMs) {
  return WaitUntil([&] { return !FileExists(folder) && NoNewBatchFolderLeft(before); }, timeoutMs);
}

MessageBoxDriver::MessageBoxDriver(const std::wstring& watchedFolder, int yesNoAnswer)
    : watchedFolder_(watchedFolder), yesNoAnswer_(yesNoAnswer) {
  if (!watchedFolder_.empty() && watchedFolder_.back() != L'\\') watchedFolder_ += L'\\';
  thread_ = std::thread([this] { Run(); });
}

MessageBoxDriver::~MessageBoxDriver() {
  stop_ = true;
  thread_.join();
}

std::vector<SeenMessage> MessageBoxDriver::Seen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return seen_;
}

bool MessageBoxDriver::Belongs(HWND window) const {
  wchar_t className[64] = {};
  GetClassNameW(window, className, 64);
  if (std::wstring(className) != L"#32770" || !IsWindowVisible(window)) return false;
  const std::wstring image = ImagePathOf(window);
  return image.size() > watchedFolder_.size() &&
         CompareStringOrdinal(image.c_str(), static_cast<int>(watchedFolder_.size()), watchedFolder_.c_str(),
                              static_cast<int>(watchedFolder_.size()), TRUE) == CSTR_EQUAL;
}

void MessageBoxDriver::Run() {
  while (!stop_) {
    std::vector<HWND> windows;
    EnumWindows(
        [](HWND window, LPARAM list) -> BOOL {
          reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    for (HWND window : windows) {
      if (std::find(answered_.begin(), answered_.end(), window) != answered_.end() || !Belongs(window)) continue;
      SeenMessage message;
      message.caption = WindowText(window);
      message.text = WindowText(GetDlgItem(window, 0xFFFF));  // the message box's text control
      message.answer = GetDlgItem(window, IDNO) != nullptr ? yesNoAnswer_ : IDOK;
      PostMessageW(window, WM_COMMAND, MAKEWPARAM(message.answer, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(window, message.answer)));
      answered_.push_back(window);
      std::lock_guard<std::mutex> lock(mutex_);
      seen_.push_back(message);
    }
    Sleep(100);
  }
}

std::vector<std::wstring> IntegrationRegistryLines() {
  struct Area {
    HKEY root;
    const wchar_t* subkey;
  } const areas[] = {
      {HKEY_LOCAL_MACHINE, L"Software\\Classes"},
      {HKEY_CURRENT_USER, L"Software\\Classes"},
      {HKEY_CURRENT_USER, L"Software\\Ovenix"},
      {HKEY_LOCAL_MACHINE, L"Software\\Ovenix"},
      {HKEY_LOCAL_MACHINE, L"Software\\RegisteredApplications"},
      {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"},
      {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths"},
      {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions"},
  };
  std::vector<std::wstring> lines;
  for (const Area& area : areas) {
    const std::wstring prefix = std::wstring(area.root == HKEY_LOCAL_MACHINE ? L"HKLM\\" : L"HKCU\\");
    for (const std::wstring& line : SnapshotRegistry(area.root, area.subkey)) lines.push_back(prefix + line);
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::vector<std::wstring> ShortcutFolderLines() {
  const int folders[] = {CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_STARTMENU, CSIDL_COMMON_STARTMENU};
  std::vector<std::wstring> lines;
  for (int csidl : folders) {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) continue;
    const std::vector<std::wstring> files = ListFileTree(path);
    lines.insert(lines.end(), files.begin(), files.end());
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::wstring MappedTestDriveRoot() {
  const std::wstring target = L"C:\\vok-e2e\\drive";
  const std::wstring root = L"M:\\";
  if (!MakeFolders(target)) return std::wstring();
  const std::wstring marker = L"vok-drive-marker.txt";
  if (!WriteFileBytes(target + L"\\" + marker, "marker")) return std::wstring();
  const bool mapped = ReadFileBytes(root + marker) == "marker";
  DeleteFileW((target + L"\\" + marker).c_str());
  return mapped ? root : std::wstring();
}
