#include "support/temp_folder.h"

#include <windows.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "base/handles.h"
#include "support/process.h"

TempFolder::TempFolder(const std::wstring& hint) {
  static unsigned counter = 0;
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, temp);
  for (;;) {
    path_ = std::wstring(temp) + hint + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++counter);
    if (CreateDirectoryW(path_.c_str(), nullptr)) break;
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
}

TempFolder::~TempFolder() { DeleteTreeForTest(path_); }

std::wstring TempFolder::Join(const std::wstring& relative) const { return path_ + L"\\" + relative; }

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!file) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  return ok && written == bytes.size();
}

std::string ReadFileBytes(const std::wstring& path) {
  std::string bytes;
  UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return bytes;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
  return bytes;
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool FolderExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool MakeFolders(const std::wstring& path) {
  for (size_t i = 3; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == L'\\') {
      const std::wstring part = path.substr(0, i);
      if (!FolderExists(part) && !CreateDirectoryW(part.c_str(), nullptr)) return false;
    }
  }
  return FolderExists(path);
}

bool DeleteTreeForTest(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return DeleteFileW(path.c_str()) != 0;
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    WIN32_FIND_DATAW data;
    std::vector<std::wstring> children;
    UniqueFindHandle find(FindFirstFileW((path + L"\\*").c_str(), &data));
    if (find) {
      do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") children.push_back(path + L"\\" + name);
      } while (FindNextFileW(find.get(), &data));
      find.reset();
      for (const std::wstring& child : children) DeleteTreeForTest(child);
    }
  }
  return RemoveDirectoryW(path.c_str()) != 0;
}

namespace {

void AppendTree(const std::wstring& folder, std::vector<std::wstring>& lines) {
  WIN32_FIND_DATAW data;
  UniqueFindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &data));
  if (!find) return;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = folder + L"\\" + name;
    const bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    lines.push_back(path + (isFolder ? L"\\" : L""));
    if (isFolder && !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) AppendTree(path, lines);
  } while (FindNextFileW(find.get(), &data));
}

}  // namespace

std::vector<std::wstring> ListFileTree(const std::wstring& folder) {
  std::vector<std::wstring> lines;
  AppendTree(folder, lines);
  std::sort(lines.begin(), lines.end());
  return lines;
}

namespace {

// Runs the Unix command `words` with the Unix names of `paths` after them through Wine's own
// exports (absent on Windows); true when it ends with exit code 0.
bool RunUnixCommand(std::vector<std::string> words, std::initializer_list<std::wstring> paths) {
  using Spawn = LONG(WINAPI*)(char* const* argv, int wait);
  using UnixName = char*(CDECL*)(const wchar_t* path);  // on the process heap
  const auto spawn = reinterpret_cast<Spawn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "__wine_unix_spawnvp")));
  const auto unixName = reinterpret_cast<UnixName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!spawn || !unixName) return false;
  for (const std::wstring& path : paths) {
    char* name = unixName(path.c_str());
    if (!name) return false;
    words.push_back(name);
    HeapFree(GetProcessHeap(), 0, name);
  }
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);
  return spawn(argv.data(), /*wait=*/1) == 0;
}

// A junction (mount point) made with FSCTL_SET_REPARSE_POINT.
bool MakeMountPoint(const std::wstring& link, const std::wstring& target) {
  if (!CreateDirectoryW(link.c_str(), nullptr)) return false;
  UniqueFileHandle handle(CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!handle) {
    RemoveDirectoryW(link.c_str());
    return false;
  }
  const std::wstring substitute = L"\\??\\" + target;
  const USHORT substituteBytes = static_cast<USHORT>(substitute.size() * sizeof(wchar_t));
  const USHORT printBytes = static_cast<USHORT>(target.size() * sizeof(wchar_t));
  // REPARSE_DATA_BUFFER of a mount point: tag, data length, reserved, the offsets and lengths of
  // the two names, then the names, each terminated.
  std::string buffer(8 + 8 + substituteBytes + 2 + printBytes + 2, '\0');
  auto put16 = [&](size_t at, USHORT v) { memcpy(&buffer[at], &v, 2); };
  const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
  memcpy(&buffer[0], &tag, 4);
  put16(4, static_cast<USHORT>(buffer.size() - 8));
  put16(8, 0);
  put16(10, substituteBytes);
  put16(12, static_cast<USHORT>(substituteBytes + 2));
  put16(14, printBytes);
  memcpy(&buffer[16], substitute.c_str(), substituteBytes);
  memcpy(&buffer[16 + substituteBytes + 2], target.c_str(), printBytes);
  DWORD returned = 0;
  if (DeviceIoControl(handle.get(), FSCTL_SET_REPARSE_POINT, &buffer[0], static_cast<DWORD>(buffer.size()), nullptr,
                      0, &returned, nullptr)) {
    return true;
  }
  handle.reset();
  RemoveDirectoryW(link.c_str());
  return false;
}

}  // namespace

ScopedLink::ScopedLink(const std::wstring& link, const std::wstring& target, bool folder)
    : link_(link), folder_(folder) {
  if (RunningUnderWine()) {
    made_ = RunUnixCommand({"ln", "-s"}, {target, link});
    EXPECT_TRUE(made_) << "ln -s could not make a link to " << testing::PrintToString(target);
    return;
  }
  const DWORD flags = (folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
  made_ = (folder && MakeMountPoint(link, target)) || CreateSymbolicLinkW(link.c_str(), target.c_str(), flags);
}

ScopedLink::~ScopedLink() {
  if (!made_) return;
  if (RunningUnderWine()) {
    RunUnixCommand({"rm"}, {link_});
  } else if (folder_) {
    RemoveDirectoryW(link_.c_str());
  } else {
    DeleteFileW(link_.c_str());
  }
}
