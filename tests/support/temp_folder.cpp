#include "support/temp_folder.h"

#include <windows.h>

#include <algorithm>

#include "base/handles.h"

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
